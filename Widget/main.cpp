#include "Platform/System/Localization.hpp"
#include "Platform/Widgets/WidgetBundleMain.hpp"
#include "Widget/TimerWidget.hpp"

int main() {
    platform::setUpLocaleOnFirstUse();
    return platform::widgetBundleMain(kelvo::KelvoWidgetBundle());
}
