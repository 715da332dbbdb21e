#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Widget/Model/WidgetSnapshot.hpp"
#include "tests/Widget/support/TestContainer.hpp"

namespace kelvo {
namespace {

using nlohmann::json;
using testing::minimalSnapshot;

json fullSnapshot() {
    json doc = minimalSnapshot();
    doc["canTrack"] = true;
    doc["deepLink"] = "kelvo://entry/7";
    doc["running"] = {{"name", "Design review"}, {"project", "Web"}, {"startTime", 1796760000000.5}};
    doc["today"] = {{"dayStart", 1796684400000}, {"baseSeconds", 3600.25}};
    doc["recent"] = json::array({{{"id", "a"}, {"name", "One"}, {"project", "P"}}, {{"id", "b"}, {"name", "Two"}}});
    return doc;
}

struct Case {
    const char* what;
    std::function<void(json&)> change;
    friend void PrintTo(const Case& c, std::ostream* out) { *out << c.what; }
};

class RejectedDocument : public ::testing::TestWithParam<Case> {};

TEST_P(RejectedDocument, GivesNoSnapshot) {
    json doc = fullSnapshot();
    GetParam().change(doc);
    EXPECT_FALSE(WidgetSnapshot::decode(doc.dump())) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Strictness, RejectedDocument,
    ::testing::Values(
        Case{"updatedAt missing", [](json& d) { d.erase("updatedAt"); }},
        Case{"updatedAt null", [](json& d) { d["updatedAt"] = nullptr; }},
        Case{"updatedAt as a string", [](json& d) { d["updatedAt"] = "1796760000000"; }},
        Case{"appRunning as 1", [](json& d) { d["appRunning"] = 1; }},
        Case{"loggedIn as a string", [](json& d) { d["loggedIn"] = "true"; }},
        Case{"offline missing", [](json& d) { d.erase("offline"); }},
        Case{"offline as 0", [](json& d) { d["offline"] = 0; }},
        Case{"canTrack as 1", [](json& d) { d["canTrack"] = 1; }},
        Case{"deepLink as a number", [](json& d) { d["deepLink"] = 5; }},
        Case{"recent missing", [](json& d) { d.erase("recent"); }},
        Case{"recent null", [](json& d) { d["recent"] = nullptr; }},
        Case{"recent as an object", [](json& d) { d["recent"] = json::object(); }},
        Case{"recent element without id", [](json& d) { d["recent"][1].erase("id"); }},
        Case{"recent element without name", [](json& d) { d["recent"][0].erase("name"); }},
        Case{"recent element with a numeric id", [](json& d) { d["recent"][0]["id"] = 3; }},
        Case{"recent element that is a string", [](json& d) { d["recent"].push_back("x"); }},
        Case{"recent project as a number", [](json& d) { d["recent"][0]["project"] = 1; }},
        Case{"strings missing", [](json& d) { d.erase("strings"); }},
        Case{"strings without offline", [](json& d) { d["strings"].erase("offline"); }},
        Case{"strings with a null text", [](json& d) { d["strings"]["today"] = nullptr; }},
        Case{"strings as an array", [](json& d) { d["strings"] = json::array(); }},
        Case{"running without startTime", [](json& d) { d["running"].erase("startTime"); }},
        Case{"running with a string name", [](json& d) { d["running"]["name"] = 7; }},
        Case{"running as a string", [](json& d) { d["running"] = "yes"; }},
        Case{"today without baseSeconds", [](json& d) { d["today"].erase("baseSeconds"); }},
        Case{"today with a string dayStart", [](json& d) { d["today"]["dayStart"] = "today"; }},
        Case{"today baseSeconds as a boolean", [](json& d) { d["today"]["baseSeconds"] = true; }},
        Case{"the document is an array", [](json& d) { d = json::array({d}); }}));

TEST(SnapshotDecoding, RejectsBytesThatAreNotOneJsonObject) {
    std::string good = fullSnapshot().dump();
    const std::vector<std::string> documents = {
        "",
        "null",
        good.substr(0, good.size() / 2),          // caught half-written
        good + "}",                               // trailing garbage
        "{\"updatedAt\": 1, \"appRunning\": tru",
        std::string("{\"strings\": \"\xff\xfe\"}"),  // not UTF-8
    };
    for (const auto& document : documents) EXPECT_FALSE(WidgetSnapshot::decode(document)) << document;

    json invalidUtf8 = fullSnapshot();
    std::string bytes = invalidUtf8.dump();
    bytes.replace(bytes.find("Design review"), 6, "Des\xc3\x28n");
    EXPECT_FALSE(WidgetSnapshot::decode(bytes));
}

// Bytes the parser would take but that are no JSON text, numbers no double holds as written, and
// nesting beyond 1024 levels are refused wherever they are, even under keys the snapshot ignores.
TEST(SnapshotDecoding, RefusesWhatIsNotPlainJson) {
    std::string good = fullSnapshot().dump();
    auto withFuture = [&](const std::string& value) { return "{\"future\":" + value + "," + good.substr(1); };
    auto nested = [](int levels) { return std::string(levels, '[') + std::string(levels, ']'); };
    struct Row {
        const char* what;
        std::string document;
        bool accepted;
    };
    const Row rows[] = {
        {"as written", good, true},
        {"byte order mark", "\xEF\xBB\xBF" + good, false},
        {"NUL after the object", good + std::string(1, '\0'), false},
        {"NUL between values", withFuture(std::string("1") + '\0' + " "), false},
        {"an integer beyond 64 bits", withFuture("123456789012345678901234"), false},
        {"a negative integer beyond 64 bits", withFuture("-9223372036854775809"), false},
        {"the largest unsigned integer", withFuture("18446744073709551615"), true},
        {"a number beyond a double", withFuture("1e400"), false},
        {"1024 levels in all", withFuture(nested(1023)), true},
        {"1025 levels in all", withFuture(nested(1024)), false},
        {"an ignored object with the snapshot's keys", withFuture(R"({"updatedAt":"x","recent":5,"strings":[]})"), true},
    };
    for (const auto& row : rows) EXPECT_EQ(WidgetSnapshot::decode(row.document).has_value(), row.accepted) << row.what;
}

// A key written twice counts as first written, null included; the later value is not even checked.
TEST(SnapshotDecoding, TheFirstOfARepeatedKeyCounts) {
    std::string good = fullSnapshot().dump();
    auto first = [&](const std::string& member) { return "{" + member + "," + good.substr(1); };
    auto decoded = [](const std::string& document) {
        auto snapshot = WidgetSnapshot::decode(document);
        return snapshot ? json::parse(snapshot->encode()) : json();
    };

    json expected = fullSnapshot();
    expected["updatedAt"] = 5;
    EXPECT_EQ(decoded(first(R"("updatedAt":5)")), expected);

    expected = fullSnapshot();
    expected.erase("canTrack");
    expected["recent"] = json::array();
    EXPECT_EQ(decoded(first(R"("canTrack":null,"recent":[])")), expected);

    expected = fullSnapshot();
    expected["running"] = {{"startTime", 2}};
    EXPECT_EQ(decoded(first(R"("running":{"startTime":2,"startTime":"x"})")), expected);

    EXPECT_FALSE(WidgetSnapshot::decode(first(R"("updatedAt":null)")));
    EXPECT_FALSE(WidgetSnapshot::decode(first(R"("strings":{"today":"Heute"})")));
}

TEST(SnapshotDecoding, SmallestDocumentLeavesOptionalsAbsent) {
    auto snapshot = WidgetSnapshot::decode(minimalSnapshot().dump());
    ASSERT_TRUE(snapshot);
    EXPECT_FALSE(snapshot->canTrack);
    EXPECT_FALSE(snapshot->deepLink);
    EXPECT_FALSE(snapshot->running);
    EXPECT_FALSE(snapshot->today);
    EXPECT_TRUE(snapshot->recent.empty());
    EXPECT_EQ(snapshot->strings.offline, "Offline");
}

TEST(SnapshotDecoding, NullOptionalsAndUnknownKeysAreIgnored) {
    json doc = fullSnapshot();
    doc["canTrack"] = nullptr;
    doc["today"] = nullptr;
    doc["running"] = {{"startTime", 1796760000000}, {"name", nullptr}, {"color", "red"}};
    doc["recent"][0]["project"] = nullptr;
    doc["future"] = {{"nested", true}};
    doc["strings"]["unused"] = 3;
    auto snapshot = WidgetSnapshot::decode(doc.dump());
    ASSERT_TRUE(snapshot);
    EXPECT_FALSE(snapshot->canTrack);
    EXPECT_FALSE(snapshot->today);
    ASSERT_TRUE(snapshot->running);
    EXPECT_FALSE(snapshot->running->name);
    EXPECT_FALSE(snapshot->running->project);
    EXPECT_FALSE(snapshot->recent[0].project);
}

TEST(SnapshotDecoding, KeepsFractionalMilliseconds) {
    json doc = minimalSnapshot();
    doc["updatedAt"] = 1700000000000.5;
    auto snapshot = WidgetSnapshot::decode(doc.dump());
    ASSERT_TRUE(snapshot);
    EXPECT_DOUBLE_EQ(snapshot->updatedAt.secondsSince1970(), 1700000000.0005);
    EXPECT_EQ(json::parse(snapshot->encode())["updatedAt"].get<double>(), 1700000000000.5);
}

TEST(SnapshotEncoding, RoundTripsEveryFieldAndWritesNoNulls) {
    auto decoded = WidgetSnapshot::decode(fullSnapshot().dump());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(json::parse(decoded->encode()), fullSnapshot());

    auto minimal = WidgetSnapshot::decode(minimalSnapshot().dump());
    ASSERT_TRUE(minimal);
    json written = json::parse(minimal->encode());
    EXPECT_EQ(written, minimalSnapshot());
    EXPECT_FALSE(written.contains("canTrack"));
}

TEST(SnapshotRules, ActionsEnabled) {
    struct Row {
        bool appRunning, loggedIn, offline;
        std::optional<bool> canTrack;
        bool expected;
    };
    const Row rows[] = {
        {false, true, false, true, false},         {true, false, false, true, false},
        {true, true, true, std::nullopt, false},   {true, true, false, std::nullopt, true},
        {true, true, true, true, true},            {true, true, false, false, false},
    };
    for (const auto& row : rows) {
        WidgetSnapshot s;
        s.appRunning = row.appRunning;
        s.loggedIn = row.loggedIn;
        s.offline = row.offline;
        s.canTrack = row.canTrack;
        EXPECT_EQ(s.actionsEnabled(), row.expected)
            << row.appRunning << row.loggedIn << row.offline << row.canTrack.value_or(-1);
    }
}

}  // namespace
}  // namespace kelvo
