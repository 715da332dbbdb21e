#include "Platform/Views/TextEngine.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <strings.h>
#include <unordered_map>
#include <vector>

#include <pango/pangocairo.h>

namespace platform::views {
namespace {

constexpr const char* systemFamily = "Inter";
constexpr const char* roundedFamily = "Quicksand";
// Unwrapped texts still get a width, so that a line limit can ellipsize them.
constexpr double unwrappedWidth = 100000;
// Shaped texts are kept in two generations of this many: see `Engine::layout`.
constexpr std::size_t generationSize = 256;

int pangoUnits(double points) { return static_cast<int>(std::lround(points * PANGO_SCALE)); }
double points(int units) { return static_cast<double>(units) / PANGO_SCALE; }

struct FontKey {
    double size;
    int weight;
    bool rounded;
    bool mono;
    friend bool operator==(const FontKey&, const FontKey&) = default;
};

FontKey keyOf(const Font& f) {
    return {f.size, numericWeight(f.weight), f.design == FontDesign::rounded, f.monospacedDigit};
}

struct LayoutKey {
    std::string text;
    FontKey font;
    int width;  // pango units; -1: unwrapped
    int maxLines;
    TextAlignment alignment;
    friend bool operator==(const LayoutKey&, const LayoutKey&) = default;
};

LayoutKey keyFor(std::string text, const Font& font, double maxWidth, int maxLines, TextAlignment alignment) {
    return {std::move(text), keyOf(font), std::isfinite(maxWidth) ? pangoUnits(std::max(0.0, maxWidth)) : -1, maxLines,
            alignment};
}

template <class T>
void combine(std::size_t& seed, const T& v) {
    seed ^= std::hash<T>{}(v) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

struct FontKeyHash {
    std::size_t operator()(const FontKey& k) const {
        std::size_t h = 0;
        combine(h, k.size);
        combine(h, k.weight);
        combine(h, k.rounded);
        combine(h, k.mono);
        return h;
    }
};

struct LayoutKeyHash {
    std::size_t operator()(const LayoutKey& k) const {
        std::size_t h = FontKeyHash{}(k.font);
        combine(h, k.text);
        combine(h, k.width);
        combine(h, k.maxLines);
        combine(h, static_cast<int>(k.alignment));
        return h;
    }
};

// A one-line text's glyphs placed from its origin as pango's renderer places them, the baseline
// apart.
struct LineGlyphs {
    PangoFont* font = nullptr;  // owned; none where the text is more than one plain run
    std::vector<cairo_glyph_t> glyphs;
    int baseline = 0;
};

struct CachedLayout {
    PangoLayout* layout = nullptr;
    TextMeasurement measurement;
    // Found at its first drawing from glyphs: a text repainted each second would otherwise walk
    // the layout's lines every time.
    mutable std::optional<LineGlyphs> line;
};

// Rounded digits come from a font without tabular figures, so each digit is drawn centred in a
// cell as wide as the widest digit. A run is either one digit or a stretch of other characters.
struct Run {
    std::string text;
    bool digit = false;
};

std::vector<Run> runsOf(std::string_view text) {
    std::vector<Run> runs;
    for (char c : text) {
        bool digit = c >= '0' && c <= '9';
        if (digit || runs.empty() || runs.back().digit) runs.push_back({std::string(1, c), digit});
        else runs.back().text += c;
    }
    return runs;
}

// Pango starts a new paragraph at each of these, and a negative layout height limits the lines of
// each paragraph, not of the whole text.
constexpr std::string_view paragraphSeparator = "\xE2\x80\xA9";  // U+2029

bool startsParagraphs(std::string_view text) {
    return text.find_first_of("\n\r") != std::string_view::npos || text.find(paragraphSeparator) != std::string_view::npos;
}

std::size_t withoutTrailingSeparators(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0) {
        if (text[end - 1] == '\n' || text[end - 1] == '\r') --end;
        else if (text.substr(0, end).ends_with(paragraphSeparator)) end -= paragraphSeparator.size();
        else break;
    }
    return end;
}

// Pango ends a text at its first NUL; a NUL shows as nothing and the rest of the text stays.
std::string shownText(std::string_view text) {
    std::string out(text);
    std::erase(out, '\0');
    return out;
}

bool hasDigit(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The same text with every digit a zero: what a live timer keeps from one second to the next.
std::string zeroed(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= '1' && c <= '9') c = '0';
    return out;
}

// A zeroed text with `digit` for each of its zeros.
std::string withEveryDigit(std::string zero, char digit) {
    for (char& c : zero)
        if (c == '0') c = digit;
    return zero;
}

// A live timer in tabular digits, shaped once: each second only its digits' glyphs and advances
// change, so drawing it is putting them in and showing the glyphs, with no shaping.
struct TimerShape {
    PangoFont* font = nullptr;        // owned
    PangoGlyphString* glyphs = nullptr;  // owned; the zeroed text's, refilled at each draw
    std::vector<int> digitByte;       // per glyph: the byte of its digit in the text, or -1
    int baseline = 0;
    int width = -1;                   // the layout's width limit in pango units; -1: none
};

bool needsCells(std::string_view text, const Font& font) {
    if (font.design != FontDesign::rounded || !font.monospacedDigit) return false;
    return !startsParagraphs(text) && hasDigit(text);
}

class Engine {
public:
    Engine() {
        map_ = pango_cairo_font_map_new();
        pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(map_), 72);
        context_ = pango_font_map_create_context(map_);
        pango_cairo_context_set_resolution(context_, 72);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        pango_cairo_context_set_font_options(context_, options);
        cairo_font_options_destroy(options);
        pango_context_set_round_glyph_positions(context_, FALSE);

        measurer_.measure = [this](std::string_view text, const Font& font, double maxWidth, int maxLines) {
            return measure(text, font, maxWidth, maxLines);
        };
        measurer_.lineHeight = [this](const Font& font) { return lineHeight(font); };
    }

    ~Engine() {
        clear();
        g_object_unref(context_);
        g_object_unref(map_);
    }

    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    const TextMeasurer& measurer() const { return measurer_; }

    TextMeasurement measure(std::string_view text, const Font& font, double maxWidth, int maxLines) {
        if (needsCells(text, font)) {
            double width = cellWidth(text, font);
            if (width <= maxWidth + 1e-6) return {width, lineHeight(font), 1, false};
            // Proportional digits may fit where the cells do not, but then the text changes width
            // as it changes (a live timer every second): count it as cut, so the layout shrinks it.
            TextMeasurement m = layout(text, font, maxWidth, maxLines, TextAlignment::leading).measurement;
            m.truncated = true;
            return m;
        }
        return layout(text, font, maxWidth, maxLines, TextAlignment::leading).measurement;
    }

    double lineHeight(const Font& font) {
        auto key = keyOf(font);
        if (auto it = lineHeights_.find(key); it != lineHeights_.end()) return it->second;
        double h = layout("Hg", font, infinity, 1, TextAlignment::leading).measurement.height;
        lineHeights_.emplace(key, h);
        return h;
    }

    void draw(cairo_t* cr, const draw::Text& t, RGBA color, bool reuseTimers = true) {
        cairo_save(cr);
        cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
        if (needsCells(t.text, t.font) && cellWidth(t.text, t.font) <= t.wrapWidth + 1e-6) {
            drawCells(cr, t, reuseTimers);
        } else if (!reuseTimers || !drawTimer(cr, t)) {
            const auto& cached = layout(t.text, t.font, t.wrapWidth, t.maxLines, t.alignment);
            PangoRectangle logical;
            pango_layout_get_extents(cached.layout, nullptr, &logical);
            // Lines are aligned among themselves inside the wrap width; the block sits at the frame.
            cairo_move_to(cr, t.frame.x - points(logical.x), t.frame.y);
            if (!reuseTimers || !showLine(cr, cached)) pango_cairo_show_layout(cr, cached.layout);
        }
        cairo_restore(cr);
    }

    std::size_t kept() const { return recent_.size() + older_.size(); }

    std::vector<std::string> missingFonts() {
        std::vector<std::string> missing;
        for (const char* family : {systemFamily, roundedFamily}) {
            PangoFontDescription* desc = pango_font_description_new();
            pango_font_description_set_family(desc, family);
            pango_font_description_set_absolute_size(desc, 13 * PANGO_SCALE);
            PangoFont* loaded = pango_font_map_load_font(map_, context_, desc);
            bool ok = false;
            if (loaded) {
                PangoFontDescription* actual = pango_font_describe(loaded);
                const char* name = pango_font_description_get_family(actual);
                ok = name && strcasecmp(name, family) == 0;
                pango_font_description_free(actual);
                g_object_unref(loaded);
            }
            pango_font_description_free(desc);
            if (!ok) missing.push_back("font \"" + std::string(family) + "\"");
        }
        // Names in any script and emoji come from fallback fonts; without them they draw as boxes.
        for (auto [fallback, sample] : {std::pair{"an emoji font", "\xF0\x9F\x98\x80"}, std::pair{"a CJK font", "\xE4\xB8\xAD"}}) {
            if (pango_layout_get_unknown_glyphs_count(layout(sample, Font::system(13), infinity, 0, TextAlignment::leading).layout) > 0)
                missing.emplace_back(fallback);
        }
        return missing;
    }

private:
    PangoFontMap* map_ = nullptr;
    PangoContext* context_ = nullptr;
    TextMeasurer measurer_;
    using Layouts = std::unordered_map<LayoutKey, CachedLayout, LayoutKeyHash>;
    Layouts recent_;  // used since the last turn
    Layouts older_;   // used in the generation before
    std::unordered_map<FontKey, double, FontKeyHash> lineHeights_;
    std::unordered_map<FontKey, double, FontKeyHash> digitCells_;
    // Per zeroed text; none where its glyphs cannot be had by putting digits in.
    std::unordered_map<LayoutKey, std::optional<TimerShape>, LayoutKeyHash> timerShapes_;
    std::unordered_map<FontKey, std::array<PangoGlyphInfo, 10>, FontKeyHash> timerDigits_;
    // Per zeroed text: where its pixels can lie for any digits, from its frame's origin.
    std::unordered_map<LayoutKey, Rect, LayoutKeyHash> liveBounds_;

    static void release(Layouts& layouts) {
        for (auto& [key, cached] : layouts) {
            g_object_unref(cached.layout);
            if (cached.line && cached.line->font) g_object_unref(cached.line->font);
        }
        layouts.clear();
    }

    void clear() {
        release(recent_);
        release(older_);
        clearTimerShapes();
    }

    void clearTimerShapes() {
        for (auto& [key, shape] : timerShapes_) {
            if (!shape) continue;
            g_object_unref(shape->font);
            pango_glyph_string_free(shape->glyphs);
        }
        timerShapes_.clear();
    }

    // What was not used for a whole generation goes. A live timer shapes a new text every second;
    // those go after two generations, while the widget's other texts stay.
    void turnWhenFull() {
        if (recent_.size() < generationSize) return;
        release(older_);
        older_ = std::move(recent_);
        recent_ = Layouts{};
    }

    static PangoFontDescription* description(const Font& font) {
        PangoFontDescription* desc = pango_font_description_new();
        pango_font_description_set_family(desc, font.design == FontDesign::rounded ? roundedFamily : systemFamily);
        pango_font_description_set_weight(desc, static_cast<PangoWeight>(numericWeight(font.weight)));
        pango_font_description_set_absolute_size(desc, font.size * PANGO_SCALE);
        return desc;
    }

    const CachedLayout& layout(std::string_view text, const Font& font, double maxWidth, int maxLines,
                               TextAlignment alignment) {
        LayoutKey key = keyFor(shownText(text), font, maxWidth, maxLines, alignment);
        if (auto it = recent_.find(key); it != recent_.end()) return it->second;
        if (auto node = older_.extract(key)) {
            turnWhenFull();
            return recent_.insert(std::move(node)).position->second;
        }

        PangoLayout* layout = pango_layout_new(context_);
        pango_layout_set_text(layout, key.text.data(), static_cast<int>(key.text.size()));
        PangoFontDescription* desc = description(font);
        pango_layout_set_font_description(layout, desc);
        pango_font_description_free(desc);
        PangoAttrList* attrs = pango_attr_list_new();
        // A word broken across lines gets no hyphen: names are data, and a hyphen is not in them.
        pango_attr_list_insert(attrs, pango_attr_insert_hyphens_new(FALSE));
        if (font.monospacedDigit && font.design != FontDesign::rounded)
            pango_attr_list_insert(attrs, pango_attr_font_features_new("tnum 1"));
        pango_layout_set_attributes(layout, attrs);
        pango_attr_list_unref(attrs);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        pango_layout_set_alignment(layout, alignment == TextAlignment::center     ? PANGO_ALIGN_CENTER
                                           : alignment == TextAlignment::trailing ? PANGO_ALIGN_RIGHT
                                                                                  : PANGO_ALIGN_LEFT);
        int width = key.width >= 0 ? key.width : (maxLines > 0 ? pangoUnits(unwrappedWidth) : -1);
        pango_layout_set_width(layout, width);
        if (maxLines > 0) {
            pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
            if (!startsParagraphs(key.text)) {
                pango_layout_set_height(layout, -maxLines);
            } else {
                // A negative height limits lines per paragraph; the limit is on the whole text.
                double line = lineHeight(font);
                pango_layout_set_height(layout, pangoUnits(line * (maxLines + 0.5)));
            }
        }

        PangoRectangle logical;
        pango_layout_get_extents(layout, nullptr, &logical);
        TextMeasurement m;
        m.width = points(logical.width);
        m.height = points(logical.height);
        m.lines = pango_layout_get_line_count(layout);
        m.truncated = pango_layout_is_ellipsized(layout);
        if (maxLines > 0 && !m.truncated && m.lines > 0) {
            // Lines dropped below the height limit end the text early without an ellipsis.
            PangoLayoutLine* last = pango_layout_get_line_readonly(layout, m.lines - 1);
            std::size_t shown = last ? static_cast<std::size_t>(last->start_index + last->length) : key.text.size();
            m.truncated = shown < withoutTrailingSeparators(key.text);
        }
        turnWhenFull();
        auto [it, inserted] = recent_.emplace(std::move(key), CachedLayout{layout, m, std::nullopt});
        return it->second;
    }

    // The one line and run of a shaped text, when it has exactly that.
    static const PangoGlyphItem* onlyRun(PangoLayout* layout) {
        if (pango_layout_get_line_count(layout) != 1 || pango_layout_is_ellipsized(layout)) return nullptr;
        PangoLayoutLine* line = pango_layout_get_line_readonly(layout, 0);
        if (!line->runs || line->runs->next) return nullptr;
        return static_cast<const PangoGlyphItem*>(line->runs->data);
    }

    static bool sameGlyphs(const PangoGlyphString* a, const PangoGlyphString* b) {
        if (a->num_glyphs != b->num_glyphs) return false;
        for (int i = 0; i < a->num_glyphs; ++i) {
            const auto &x = a->glyphs[i], &y = b->glyphs[i];
            if (x.glyph != y.glyph || x.geometry.width != y.geometry.width || x.geometry.x_offset != y.geometry.x_offset ||
                x.geometry.y_offset != y.geometry.y_offset || a->log_clusters[i] != b->log_clusters[i])
                return false;
        }
        return true;
    }

    // Puts the digits of `text` into the shape's glyphs; false where they would not fit its width.
    static bool fill(TimerShape& shape, std::string_view text, const std::array<PangoGlyphInfo, 10>& digits) {
        int width = 0;
        for (int i = 0; i < shape.glyphs->num_glyphs; ++i) {
            auto& glyph = shape.glyphs->glyphs[i];
            if (int at = shape.digitByte[i]; at >= 0) glyph.glyph = digits[text[at] - '0'].glyph, glyph.geometry.width = digits[text[at] - '0'].geometry.width;
            width += glyph.geometry.width;
        }
        return shape.width < 0 || width <= shape.width;
    }

    // Shapes the zeroed text once, and checks against shaping that putting in each digit gives the
    // glyphs the text with that digit everywhere has: tabular digits in one font, nothing between
    // them that depends on which digit it is, a leading line with no offset to move.
    std::optional<TimerShape> shapeTimer(const draw::Text& t, const std::string& zero) {
        if (t.alignment != TextAlignment::leading || zero.find_first_not_of("0123456789:.,- ") != std::string::npos)
            return std::nullopt;
        PangoLayout* base = layout(zero, t.font, t.wrapWidth, t.maxLines, t.alignment).layout;
        const PangoGlyphItem* run = onlyRun(base);
        PangoRectangle logical;
        pango_layout_get_extents(base, nullptr, &logical);
        if (!run || logical.x != 0) return std::nullopt;
        TimerShape shape;
        shape.font = PANGO_FONT(g_object_ref(run->item->analysis.font));
        shape.glyphs = pango_glyph_string_copy(run->glyphs);
        shape.baseline = pango_layout_get_baseline(base);
        shape.width = pango_layout_get_width(base);
        for (int i = 0; i < shape.glyphs->num_glyphs; ++i) {
            int at = shape.glyphs->log_clusters[i];
            bool alone = (i == 0 || shape.glyphs->log_clusters[i - 1] != at) &&
                         (i + 1 == shape.glyphs->num_glyphs || shape.glyphs->log_clusters[i + 1] != at);
            shape.digitByte.push_back(zero[at] == '0' && alone ? at : -1);
        }
        std::array<PangoGlyphInfo, 10> digits{};
        bool usable = true;
        for (int d = 0; d < 10 && usable; ++d) {
            std::string all = withEveryDigit(zero, static_cast<char>('0' + d));
            PangoLayout* shaped = layout(all, t.font, t.wrapWidth, t.maxLines, t.alignment).layout;
            const PangoGlyphItem* other = onlyRun(shaped);
            if (!other || other->item->analysis.font != shape.font || pango_layout_get_baseline(shaped) != shape.baseline) {
                usable = false;
                break;
            }
            for (int i = 0; i < shape.glyphs->num_glyphs && i < other->glyphs->num_glyphs; ++i)
                if (shape.digitByte[i] >= 0) digits[d] = other->glyphs->glyphs[i];
            usable = fill(shape, all, digits) && sameGlyphs(shape.glyphs, other->glyphs);
        }
        for (int i = 0; usable && i < shape.glyphs->num_glyphs; ++i) usable = shape.glyphs->glyphs[i].geometry.y_offset == 0;
        if (!usable) {
            g_object_unref(shape.font);
            pango_glyph_string_free(shape.glyphs);
            return std::nullopt;
        }
        timerDigits_[keyOf(t.font)] = digits;
        return shape;
    }

    bool drawTimer(cairo_t* cr, const draw::Text& t) {
        if (!t.font.monospacedDigit || t.font.design == FontDesign::rounded || !hasDigit(t.text)) return false;
        std::string zero = zeroed(t.text);
        LayoutKey key = keyFor(zero, t.font, t.wrapWidth, t.maxLines, t.alignment);
        auto it = timerShapes_.find(key);
        if (it == timerShapes_.end()) {
            // A few shapes serve every second of every timer; different ones come with new layouts.
            if (timerShapes_.size() >= generationSize) clearTimerShapes();
            it = timerShapes_.emplace(std::move(key), shapeTimer(t, zero)).first;
        }
        if (!it->second || !fill(*it->second, t.text, timerDigits_.at(keyOf(t.font)))) return false;
        cairo_move_to(cr, t.frame.x, t.frame.y);
        showGlyphs(cr, it->second->font, it->second->glyphs, it->second->baseline);
        return true;
    }

    // Where pango's renderer puts each glyph of a run drawn from an origin; false where it would
    // draw more than plain glyphs (the box of a missing one).
    static bool place(PangoFont* font, const PangoGlyphString* run, int baseline, LineGlyphs& out) {
        out.font = font;
        out.baseline = baseline;
        int position = 0;
        for (int i = 0; i < run->num_glyphs; ++i) {
            const PangoGlyphInfo& g = run->glyphs[i];
            if (g.glyph != PANGO_GLYPH_EMPTY) {
                if (g.glyph & PANGO_GLYPH_UNKNOWN_FLAG) return false;
                out.glyphs.push_back({g.glyph, static_cast<double>(position + g.geometry.x_offset) / PANGO_SCALE, 0});
            }
            position += g.geometry.width;
        }
        return true;
    }

    // Glyph runs of one font gathered for a single cairo call: each call, with its run through
    // pango's renderer, costs as much as the glyphs it shows (and on X11 a request of its own).
    struct GlyphBatch {
        PangoFont* font = nullptr;
        std::vector<cairo_glyph_t> glyphs;

        // Adds a run at the current point, to the last bit where pango would show it there; false
        // where its font differs from the batch's.
        bool add(cairo_t* cr, const LineGlyphs& line) {
            if (!line.font || (font && line.font != font)) return false;
            font = line.font;
            double x = 0, y = 0;
            cairo_get_current_point(cr, &x, &y);
            double baseline = line.baseline == 0 ? y : y + static_cast<double>(line.baseline) / PANGO_SCALE;
            for (cairo_glyph_t g : line.glyphs) glyphs.push_back({g.index, x + g.x, baseline});
            return true;
        }

        bool show(cairo_t* cr) const {
            if (!font) return true;
            cairo_scaled_font_t* scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font));
            if (!scaled || cairo_scaled_font_status(scaled) != CAIRO_STATUS_SUCCESS) return false;
            cairo_set_scaled_font(cr, scaled);
            cairo_show_glyphs(cr, glyphs.data(), static_cast<int>(glyphs.size()));
            return true;
        }
    };

    static void showGlyphs(cairo_t* cr, PangoFont* font, PangoGlyphString* glyphs, int baseline) {
        LineGlyphs line;
        GlyphBatch batch;
        if (place(font, glyphs, baseline, line) && batch.add(cr, line) && batch.show(cr)) return;
        for (int i = 0; i < glyphs->num_glyphs; ++i) glyphs->glyphs[i].geometry.y_offset = baseline;
        pango_cairo_show_glyph_string(cr, font, glyphs);
        for (int i = 0; i < glyphs->num_glyphs; ++i) glyphs->glyphs[i].geometry.y_offset = 0;
    }

    // A one-line text's glyphs, without the layout's line iteration; no font where it is more than
    // one plain run.
    static const LineGlyphs& lineOf(const CachedLayout& cached) {
        if (cached.line) return *cached.line;
        LineGlyphs line;
        const PangoGlyphItem* run = onlyRun(cached.layout);
        PangoRectangle logical;
        pango_layout_get_extents(cached.layout, nullptr, &logical);
        bool plain = run && logical.x == 0;
        for (int i = 0; plain && i < run->glyphs->num_glyphs; ++i) plain = run->glyphs->glyphs[i].geometry.y_offset == 0;
        if (plain && place(run->item->analysis.font, run->glyphs, pango_layout_get_baseline(cached.layout), line))
            g_object_ref(line.font);
        else
            line = {};
        return cached.line.emplace(std::move(line));
    }

    static bool showLine(cairo_t* cr, const CachedLayout& cached) {
        GlyphBatch batch;
        return batch.add(cr, lineOf(cached)) && batch.show(cr);
    }

    static Rect unite(const Rect& a, const Rect& b) {
        if (a.width <= 0 || a.height <= 0) return b;
        double x = std::min(a.x, b.x), y = std::min(a.y, b.y);
        return {x, y, std::max(a.x + a.width, b.x + b.width) - x, std::max(a.y + a.height, b.y + b.height) - y};
    }

    static Rect inkOf(PangoLayout* layout, double dx) {
        PangoRectangle ink;
        pango_layout_get_extents(layout, &ink, nullptr);
        return {dx + points(ink.x), points(ink.y), points(ink.width), points(ink.height)};
    }

public:
    Rect liveBounds(const draw::Text& t) {
        Rect frame = t.frame;
        Rect fallback{frame.x - 2, frame.y - 2, frame.width + 4, frame.height + 4};
        if (!t.font.monospacedDigit || !hasDigit(t.text) || startsParagraphs(t.text)) return fallback;
        std::string zero = zeroed(t.text);
        LayoutKey key = keyFor(zero, t.font, t.wrapWidth, t.maxLines, t.alignment);
        auto it = liveBounds_.find(key);
        if (it == liveBounds_.end()) {
            if (liveBounds_.size() >= generationSize) liveBounds_.clear();
            Rect ink;
            for (char d = '0'; d <= '9'; ++d) {
                std::string all = withEveryDigit(zero, d);
                if (needsCells(all, t.font) && cellWidth(all, t.font) <= t.wrapWidth + 1e-6) {
                    placeCells(all, t.font, 0, [&](const CachedLayout& run, double x) { ink = unite(ink, inkOf(run.layout, x)); });
                } else {
                    PangoLayout* shaped = layout(all, t.font, t.wrapWidth, t.maxLines, t.alignment).layout;
                    PangoRectangle logical;
                    pango_layout_get_extents(shaped, nullptr, &logical);
                    ink = unite(ink, inkOf(shaped, -points(logical.x)));
                }
            }
            // A glyph lands on a whole pixel, up to half a pixel from its place, and its edges are
            // shaded: a point around covers both at any scale.
            it = liveBounds_.emplace(std::move(key), Rect{ink.x - 1, ink.y - 1, ink.width + 2, ink.height + 2}).first;
        }
        const Rect& r = it->second;
        return {frame.x + r.x, frame.y + r.y, r.width, r.height};
    }

private:
    double cell(const Font& font) {
        auto key = keyOf(font);
        if (auto it = digitCells_.find(key); it != digitCells_.end()) return it->second;
        double widest = 0;
        for (char d = '0'; d <= '9'; ++d)
            widest = std::max(widest, layout(std::string(1, d), font, infinity, 0, TextAlignment::leading).measurement.width);
        digitCells_.emplace(key, widest);
        return widest;
    }

    // Places each run of a text in digit cells from `x`, digits centred in theirs; gives back
    // where the text ends.
    template <class Visit>
    double placeCells(std::string_view text, const Font& font, double x, Visit&& visit) {
        double c = cell(font);
        for (const auto& run : runsOf(text)) {
            const auto& cached = layout(run.text, font, infinity, 0, TextAlignment::leading);
            double advance = cached.measurement.width;
            visit(cached, x + (run.digit ? (c - advance) / 2 : 0));
            x += run.digit ? c : advance;
        }
        return x;
    }

    double cellWidth(std::string_view text, const Font& font) {
        return placeCells(text, font, 0, [](const CachedLayout&, double) {});
    }

    void drawCells(cairo_t* cr, const draw::Text& t, bool fromGlyphs) {
        // All cells in one call where they are plain runs of one font; otherwise each on its own.
        GlyphBatch batch;
        bool batched = fromGlyphs;
        placeCells(t.text, t.font, t.frame.x, [&](const CachedLayout& run, double x) {
            cairo_move_to(cr, x, t.frame.y);
            batched = batched && batch.add(cr, lineOf(run));
        });
        if (batched && batch.show(cr)) return;
        placeCells(t.text, t.font, t.frame.x, [&](const CachedLayout& run, double x) {
            cairo_move_to(cr, x, t.frame.y);
            if (!fromGlyphs || !showLine(cr, run)) pango_cairo_show_layout(cr, run.layout);
        });
    }
};

Engine& engine() {
    thread_local Engine instance;
    return instance;
}

}  // namespace

const TextMeasurer& pangoTextMeasurer() { return engine().measurer(); }

void drawText(cairo_t* cr, const draw::Text& text, RGBA color) { engine().draw(cr, text, color); }

void drawTextShapedWhole(cairo_t* cr, const draw::Text& text, RGBA color) { engine().draw(cr, text, color, false); }

Rect liveTextBounds(const draw::Text& text) { return engine().liveBounds(text); }

std::size_t keptTextLayouts() { return engine().kept(); }

std::vector<std::string> missingFonts() { return engine().missingFonts(); }

}  // namespace platform::views
