#include "Host/KelvoApp/StatePublisher.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "Host/KelvoApp/AppSnapshot.hpp"
#include "Platform/System/Files.hpp"
#include "tests/Host/KelvoApp/TestDirectory.hpp"

namespace kelvo::app {
namespace {

WidgetSnapshot minimal() {
    WidgetSnapshot snapshot;
    snapshot.appRunning = true;
    snapshot.loggedIn = true;
    snapshot.strings = englishStrings();
    return snapshot;
}

std::optional<WidgetSnapshot> readBack(const std::filesystem::path& file) {
    auto bytes = platform::readRegularFile(file, 1 << 20);
    return bytes ? WidgetSnapshot::decode(*bytes) : std::nullopt;
}

TEST(StatePublisherTests, UpdatedAtGrowsAtEveryWriteWhateverTheClockDoes) {
    test::TestDirectory directory;
    StatePublisher publisher(directory / "com.kelvo.desktop");  // made on the first write
    const double clock[] = {1717970400123.75, 1717970400123.75, 1717970390000, 1717970400124, 1717970500000};
    Date previous = Date::fromMilliseconds(0);
    for (double ms : clock) {
        auto stamp = publisher.publish(minimal(), Date::fromMilliseconds(ms));
        ASSERT_TRUE(stamp);
        EXPECT_GT(*stamp, previous) << ms;
        EXPECT_GE(stamp->millisecondsSince1970, std::floor(ms));
        auto written = readBack(publisher.statePath());
        ASSERT_TRUE(written);
        EXPECT_EQ(written->updatedAt, *stamp);
        previous = *stamp;
    }
    // Only the state file remains: no temporary files beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory / "com.kelvo.desktop"), {}), 1);
}

TEST(StatePublisherTests, ANewRunContinuesAfterTheStateAlreadyWritten) {
    test::TestDirectory directory;
    Date later = Date::fromMilliseconds(1800000000000);
    {
        StatePublisher first(directory.path());
        ASSERT_TRUE(first.publish(minimal(), later));
    }
    StatePublisher second(directory.path());
    EXPECT_EQ(second.lastUpdatedAt(), later);
    auto stamp = second.publish(minimal(), Date::fromMilliseconds(1700000000000));
    ASSERT_TRUE(stamp);
    EXPECT_GT(*stamp, later);
}

TEST(StatePublisherTests, AFailedWriteIsReportedAndDoesNotCountAsWritten) {
    test::TestDirectory directory;
    StatePublisher publisher(directory.path());
    // A non-empty directory where the file belongs: the final rename must fail, even for root.
    std::filesystem::create_directories(publisher.statePath() / "occupied");

    EXPECT_FALSE(publisher.publish(minimal(), Date::fromMilliseconds(2000)));
    EXPECT_FALSE(publisher.lastUpdatedAt());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory.path()), {}), 1);  // no temporary left
}

}  // namespace
}  // namespace kelvo::app
