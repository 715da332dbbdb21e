#include "Widget/Views/MessageView.hpp"

#include "Widget/Views/KelvoMark.hpp"

namespace kelvo {

using namespace platform::views;

View MessageView::body(const platform::WidgetEnvironment& environment) const {
    return VStack(HorizontalAlignment::leading, 0,
                  {KelvoMark{28}.body(environment), Spacer(8),
                   Text(message).font(Font::system(13, FontWeight::semibold)).lineLimit(3)})
        .frame(std::nullopt, infinity, std::nullopt, infinity, Alignment::leading());
}

}  // namespace kelvo
