#include "Host/WidgetHost/FreeSpot.hpp"

#include <algorithm>

namespace widgethost {
namespace {

// How many areas cover each candidate row, with adding over a range of rows and finding the first
// row nobody covers, each in logarithmic time.
class RowCover {
public:
    explicit RowCover(size_t rows) : size_(rows), least_(4 * rows), pending_(4 * rows) {}
    void add(size_t first, size_t last, int amount) { add(1, 0, size_ - 1, first, last, amount); }
    /// The first row that no area covers, or the row count when every one is covered.
    size_t firstFree() const { return least_[1] > 0 ? size_ : firstFree(1, 0, size_ - 1); }

private:
    void add(size_t node, size_t from, size_t to, size_t first, size_t last, int amount) {
        if (last < from || to < first) return;
        if (first <= from && to <= last) {
            least_[node] += amount;
            pending_[node] += amount;
            return;
        }
        size_t middle = (from + to) / 2;
        add(2 * node, from, middle, first, last, amount);
        add(2 * node + 1, middle + 1, to, first, last, amount);
        least_[node] = pending_[node] + std::min(least_[2 * node], least_[2 * node + 1]);
    }
    size_t firstFree(size_t node, size_t from, size_t to, int above = 0) const {
        if (from == to) return from;
        above += pending_[node];
        size_t middle = (from + to) / 2;
        if (least_[2 * node] + above == 0) return firstFree(2 * node, from, middle, above);
        return firstFree(2 * node + 1, middle + 1, to, above);
    }

    size_t size_;
    std::vector<int> least_;    // the fewest areas over any row below the node
    std::vector<int> pending_;  // areas added over the node's whole range, not yet in its children
};

}  // namespace

std::optional<WidgetPosition> freeSpot(const DesktopArea& output, int width, int height,
                                       const std::vector<DesktopArea>& occupied, int gap) {
    const int left = output.x + gap, right = output.x + output.width - gap - width;
    const int top = output.y + gap, bottom = output.y + output.height - gap - height;
    if (left > right || top > bottom) return std::nullopt;

    // 1. Candidate corners: the output's edges and just past each occupied area (with the gap),
    //    each once and only where the widget still fits on the output. A free spot that is leftmost
    //    and topmost always lies on one candidate column and one candidate row.
    std::vector<int> xs{left}, ys{top};
    for (const auto& area : occupied) {
        if (int x = area.x + area.width + gap; x > left && x <= right) xs.push_back(x);
        if (int y = area.y + area.height + gap; y > top && y <= bottom) ys.push_back(y);
    }
    for (auto* list : {&xs, &ys}) {
        std::sort(list->begin(), list->end());
        list->erase(std::unique(list->begin(), list->end()), list->end());
    }

    // 2. The rows an area forbids, as a range of candidate rows; empty where it forbids none.
    auto rowsOf = [&](const DesktopArea& area) {
        auto first = std::lower_bound(ys.begin(), ys.end(), area.y - height - gap + 1);
        auto end = std::lower_bound(ys.begin(), ys.end(), area.y + area.height + gap);
        return std::pair<size_t, size_t>(first - ys.begin(), end - ys.begin());
    };

    // 3. Sweep the columns from the left. An area covers a column from where its left edge comes
    //    within reach of the widget's right edge until the column passes its right edge; each area
    //    enters and leaves the cover once, and each column asks for its topmost free row once.
    std::vector<const DesktopArea*> byLeft, byRight;
    for (const auto& area : occupied) byLeft.push_back(&area);
    byRight = byLeft;
    std::sort(byLeft.begin(), byLeft.end(), [](auto* a, auto* b) { return a->x < b->x; });
    std::sort(byRight.begin(), byRight.end(), [](auto* a, auto* b) { return a->x + a->width < b->x + b->width; });
    RowCover cover(ys.size());
    auto change = [&](const DesktopArea& area, int amount) {
        auto [first, end] = rowsOf(area);
        if (first < end) cover.add(first, end - 1, amount);
    };
    size_t entered = 0, gone = 0;
    for (int x : xs) {
        for (; entered < byLeft.size() && byLeft[entered]->x < x + width + gap; ++entered) change(*byLeft[entered], +1);
        for (; gone < byRight.size() && byRight[gone]->x + byRight[gone]->width + gap <= x; ++gone)
            change(*byRight[gone], -1);
        if (size_t row = cover.firstFree(); row < ys.size()) return WidgetPosition{x, ys[row]};
    }
    return std::nullopt;
}

WidgetPosition leastCoveredCorner(const DesktopArea& output, int width, int height, const DesktopArea& cover, int gap) {
    auto covered = [&](int x, int y) {
        long long across = std::max(0, std::min(x + width, cover.x + cover.width) - std::max(x, cover.x));
        long long down = std::max(0, std::min(y + height, cover.y + cover.height) - std::max(y, cover.y));
        return across * down;
    };
    const int left = output.x + gap, right = std::max(left, output.x + output.width - gap - width);
    const int top = output.y + gap, bottom = std::max(top, output.y + output.height - gap - height);
    WidgetPosition best{left, top};
    for (auto [x, y] : {std::pair{right, top}, std::pair{left, bottom}, std::pair{right, bottom}})
        if (covered(x, y) < covered(best.x, best.y)) best = {x, y};
    return best;
}

}  // namespace widgethost
