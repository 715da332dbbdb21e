#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "Platform/System/Date.hpp"
#include "Platform/Views/ButtonRegion.hpp"
#include "Platform/Views/Color.hpp"
#include "Platform/Views/Layout.hpp"
#include "Platform/Views/View.hpp"

// What a widget window derives from a laid-out widget, apart from GTK: the buttons a screen reader
// meets, the text it reads, what to paint again and how a pressed button looks.
namespace widgethost::desktop::detail {

/// A button as a screen reader meets it.
struct AccessibleButton {
    std::size_t region = 0;  // index into the laid-out buttons
    std::string name;
    bool enabled = false;
    platform::views::Rect frame;

    friend bool operator==(const AccessibleButton&, const AccessibleButton&) = default;
};

/// The buttons to expose, in tree order: hidden ones and ones without area are left out.
std::vector<AccessibleButton> accessibleButtons(const std::vector<platform::views::ButtonRegion>& buttons);

/// A text a screen reader reads: fixed, or a live timer's, which reads as of the moment it is read.
struct ReadableText {
    std::string text;
    std::optional<platform::Date> timerFrom;

    friend bool operator==(const ReadableText&, const ReadableText&) = default;
};

/// The texts a screen reader reads in a view tree, in tree order: texts, label titles and live
/// timers; an accessibility label stands for what it labels; hidden subtrees say nothing.
std::vector<ReadableText> readableTexts(const platform::views::View& root);

/// The widget's texts as one accessible text: the non-blank ones, in order, joined by new lines; a
/// live timer reads as `shown` shows it.
std::string accessibleText(const std::vector<ReadableText>& texts, const platform::views::Layout& shown);

/// What has to be painted again between two layouts of the same widget: the frames (old and new) of
/// the texts that changed, as a live timer's does each second; nothing when the layouts paint alike;
/// no answer at all when more than texts changed and everything has to be painted.
std::optional<std::vector<platform::views::Rect>> changedTexts(const platform::views::Layout& before,
                                                               const platform::views::Layout& after);

/// Where to paint `changed` frames of `after` again: a live timer's text only where its glyphs can be,
/// since the texts around it, whose frames touch its own, stay as they are; any other frame whole.
std::vector<platform::views::Rect> repaintParts(const platform::views::Layout& after,
                                                const std::vector<platform::views::Rect>& changed);

/// The index of the topmost button under (x, y), or `buttons.size()` when there is none.
std::size_t buttonAt(const std::vector<platform::views::ButtonRegion>& buttons, double x, double y);

/// The shade laid over a pressed button: darker on a light widget, lighter on a dark one.
platform::views::RGBA pressedShade(platform::views::Appearance appearance);

/// The corner radius of the pressed shade: the frame's capsule.
double pressedShadeRadius(const platform::views::Rect& frame);

}  // namespace widgethost::desktop::detail
