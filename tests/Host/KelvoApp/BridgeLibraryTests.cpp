#include "Host/KelvoApp/BridgeLibrary.hpp"

#include <gtest/gtest.h>

namespace kelvo::app {
namespace {

TEST(BridgeLibraryTests, LooksBesideTheProgramFirstAndInTheLoaderPathLast) {
    auto list = BridgeLibrary::candidates(std::nullopt, "/opt/kelvo/bin/kelvo-app");
    ASSERT_GE(list.size(), 2u);
    EXPECT_EQ(list.front(), "/opt/kelvo/lib/libKelvoWidgetBridge.so.1");
    EXPECT_EQ(list.back(), "libKelvoWidgetBridge.so.1");
}

TEST(BridgeLibraryTests, AnExplicitFileIsTheOnlyCandidate) {
    auto list = BridgeLibrary::candidates(std::filesystem::path("/tmp/libOther.so"), "/opt/kelvo/bin/kelvo-app");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.front(), "/tmp/libOther.so");
}

TEST(BridgeLibraryTests, FailuresSayWhatEachCandidateGave) {
    auto loaded = BridgeLibrary::load({"/nonexistent/libKelvoWidgetBridge.so.1", "libm.so.6"});
    ASSERT_FALSE(loaded);
    const auto& error = loaded.error().message;
    EXPECT_NE(error.find("/nonexistent/libKelvoWidgetBridge.so.1"), std::string::npos) << error;
    // The C maths library loads but is no bridge.
    EXPECT_NE(error.find("libm.so.6 lacks kelvo_widget_reload_all_timelines"), std::string::npos) << error;
}

#ifdef KELVO_WIDGET_BRIDGE_FILE
TEST(BridgeLibraryTests, LoadsTheBuiltLibraryAfterAFailedCandidate) {
    auto loaded = BridgeLibrary::load({"/nonexistent/lib.so", KELVO_WIDGET_BRIDGE_FILE});
    ASSERT_TRUE(loaded) << loaded.error().message;
    EXPECT_EQ(loaded->path, KELVO_WIDGET_BRIDGE_FILE);
    // This test program has no manifest, so it is granted no container.
    EXPECT_FALSE(loaded->container("group.com.kelvo.desktop"));
}
#endif

}  // namespace
}  // namespace kelvo::app
