#include "Widget/Views/RecentListView.hpp"

#include <algorithm>

#include "Widget/Views/RecentRow.hpp"

namespace kelvo {

using namespace platform::views;

namespace {
constexpr std::size_t maxRows = 3;
}

bool RecentListView::canStart(const WidgetSnapshot& snapshot) {
    return snapshot.appRunning && snapshot.loggedIn && snapshot.canTrack.value_or(true) && !snapshot.offline &&
           !snapshot.running;
}

View RecentListView::body(const platform::WidgetEnvironment& environment) const {
    std::vector<View> children;
    children.push_back(Text(snapshot.strings.recent)
                           .font(Font::system(11, FontWeight::medium))
                           .foregroundStyle(Color::secondary())
                           .frame(std::nullopt, 20, Alignment::center()));
    if (snapshot.recent.empty()) {
        children.push_back(Text(snapshot.strings.noRecent)
                               .font(Font::system(12, FontWeight::medium))
                               .foregroundStyle(Color::secondary())
                               .lineLimit(3));
    } else {
        bool startable = canStart(snapshot);
        std::size_t count = std::min(snapshot.recent.size(), maxRows);
        for (std::size_t i = 0; i < count; ++i)
            children.push_back(RecentRow{snapshot.recent[i], startable, snapshot.strings.startTracking}.body(environment));
    }
    children.push_back(Spacer(0));
    return VStack(HorizontalAlignment::leading, 9, std::move(children))
        .frame(std::nullopt, infinity, std::nullopt, infinity, Alignment::topLeading());
}

}  // namespace kelvo
