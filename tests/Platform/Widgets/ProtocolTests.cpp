#include "Platform/Widgets/Protocol.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Platform/System/JsonDepth.hpp"

namespace platform::protocol {
namespace {

using nlohmann::json;

TEST(Protocol, WhatOneSideEncodesTheOtherDecodes) {
    EncodedTimeline timeline{{{Date::fromMilliseconds(1000.25), std::make_shared<const std::string>(R"({"a":1})"),
                               std::make_shared<const json>(json{{"type", "text"}})},
                              {Date::fromMilliseconds(2000), nullptr, nullptr},
                              {Date::fromMilliseconds(3000), nullptr, nullptr,
                               std::make_shared<const std::string>(R"({"text":"\u00e9","type":"text"})")}},
                             TimelineReloadPolicy::after(Date::fromMilliseconds(8.64e15))};
    auto answer = parseLine(resultAnswerLine("a", timeline, maxAnswerBytes));
    ASSERT_TRUE(answer);
    EXPECT_EQ((*answer)["id"], "a");
    EXPECT_EQ((*answer)["jsonrpc"], "2.0");
    auto decoded = decodeTimeline((*answer)["result"]);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->entries.size(), 3u);
    EXPECT_FALSE(decoded->entries[1].content);
    EXPECT_FALSE(decoded->entries[1].view);
    EXPECT_EQ(decoded->entries[0].date, timeline.entries[0].date);
    EXPECT_EQ(*decoded->entries[0].content, *timeline.entries[0].content);
    EXPECT_EQ(*decoded->entries[0].view, *timeline.entries[0].view);
    ASSERT_TRUE(decoded->entries[2].view);  // an extension's text arrives as the same tree
    EXPECT_EQ(*decoded->entries[2].view, json::parse(*timeline.entries[2].viewText));
    EXPECT_EQ(decoded->policy.date, timeline.policy.date);

    EntryRequest request{"Clock", WidgetFamily::systemMedium, true, WidgetRenderingMode::accented};
    auto back = decodeEntryRequest(toJson(request));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->kind, request.kind);
    EXPECT_EQ(back->family, request.family);
    EXPECT_TRUE(back->isPreview);
    EXPECT_EQ(back->renderingMode, request.renderingMode);

    IntentValue intent{"Start", {{"id", "7"}, {"none", std::nullopt}}};
    EXPECT_EQ(decodeIntent(toJson(intent)), intent);
}

// An answer carries its request's id as the host wrote it, whole numbers to the last digit.
TEST(Protocol, AnswersCarryTheIdAsSent) {
    for (const json& id : {json(7), json(-3), json(9007199254740993), json(18446744073709551615u), json(1.5),
                           json("r-1"), json(nullptr)}) {
        auto line = resultAnswerLine(id, EncodedEntry{Date::fromMilliseconds(0), nullptr, nullptr}, maxAnswerBytes);
        EXPECT_EQ(line.substr(0, line.find(',')), R"({"id":)" + id.dump()) << id;
    }
}

// Contents are only for inspection: where one would take the line past its limit it is written as
// null, earlier entries first; the views always go, even past the limit, for the caller to refuse.
TEST(Protocol, ContentsLeftOutWhereTheLineWouldPassItsLimit) {
    auto content = std::make_shared<const std::string>(R"({"big":")" + std::string(1000, 'x') + R"("})");
    auto view = std::make_shared<const std::string>(R"({"type":"text"})");
    EncodedTimeline timeline{{{Date::fromMilliseconds(1), content, nullptr, view},
                              {Date::fromMilliseconds(2), content, nullptr, view}},
                             TimelineReloadPolicy::never()};
    std::size_t bare = resultAnswerLine(1, timeline, 0).size(), one = bare + content->size() - 4;
    for (auto [limit, kept] : {std::pair{one + content->size() - 4, std::vector{true, true}},
                               {one, {true, false}}, {one - 1, {false, false}}, {bare - 1, {false, false}}}) {
        SCOPED_TRACE(limit);
        auto line = resultAnswerLine(1, timeline, limit);
        EXPECT_EQ(line.size(), limit < bare ? bare : bare + (kept[0] + kept[1]) * (content->size() - 4));
        auto decoded = decodeTimeline((*parseLine(line))["result"]);
        ASSERT_TRUE(decoded);
        for (std::size_t i = 0; i < kept.size(); ++i) {
            EXPECT_EQ(bool(decoded->entries[i].content), kept[i]) << i;
            EXPECT_TRUE(decoded->entries[i].view) << i;
        }
    }
}

TEST(Protocol, LinesNestedTooDeepAreNotParsed) {
    std::string deep = std::string(maxJsonDepth + 1, '[') + std::string(maxJsonDepth + 1, ']');
    EXPECT_FALSE(parseLine(deep));
    EXPECT_FALSE(parseLine("{"));
    EXPECT_TRUE(parseLine(deep.substr(1, 2 * maxJsonDepth)));
}

TEST(Protocol, DecodesATimelineAndSortsItsEntries) {
    auto result = json::parse(R"({"entries": [
        {"date": 2000.5, "content": {"a": 1}, "view": {"type": "text"}},
        {"date": 1000, "content": null, "view": null}],
        "policy": {"kind": "after", "date": 86400000}})");
    auto timeline = decodeTimeline(result);
    ASSERT_TRUE(timeline) << timeline.error().message;
    ASSERT_EQ(timeline->entries.size(), 2u);
    EXPECT_EQ(timeline->entries[0].date, Date::fromMilliseconds(1000));
    EXPECT_FALSE(timeline->entries[0].view);
    EXPECT_FALSE(timeline->entries[0].content);
    EXPECT_EQ(timeline->entries[1].date, Date::fromMilliseconds(2000.5));
    ASSERT_TRUE(timeline->entries[1].view);
    EXPECT_EQ(json::parse(*timeline->entries[1].content)["a"], 1);
    EXPECT_EQ(timeline->policy.kind, TimelineReloadPolicy::Kind::after);
    EXPECT_EQ(timeline->policy.date, Date::fromMilliseconds(86400000));
}

TEST(Protocol, MalformedTimelinesAreRefusedWithAReason) {
    const char* cases[] = {
        R"([])",
        R"({"policy": {"kind": "never"}})",
        R"({"entries": {}, "policy": {"kind": "never"}})",
        R"({"entries": []})",
        R"({"entries": [], "policy": {"kind": "sometimes"}})",
        R"({"entries": [], "policy": {"kind": "after"}})",
        R"({"entries": [], "policy": {"kind": "after", "date": "tomorrow"}})",
        R"({"entries": [{"content": null}], "policy": {"kind": "never"}})",
        R"({"entries": [{"date": "1000"}], "policy": {"kind": "never"}})",
        R"({"entries": [{"date": 1000, "view": "text"}], "policy": {"kind": "never"}})",
        R"({"entries": [{"date": true}], "policy": {"kind": "never"}})",
        // Dates beyond any clock's range would overflow a conversion to timer ticks.
        R"({"entries": [], "policy": {"kind": "after", "date": 1e17}})",
        R"({"entries": [], "policy": {"kind": "after", "date": 1e300}})",
        R"({"entries": [{"date": -9e15}], "policy": {"kind": "never"}})",
    };
    for (const char* text : cases) {
        auto timeline = decodeTimeline(json::parse(text));
        ASSERT_FALSE(timeline) << text;
        EXPECT_FALSE(timeline.error().message.empty()) << text;
    }
}

TEST(Protocol, TooManyEntriesAreRefused) {
    json entries = json::array();
    for (size_t i = 0; i <= maxTimelineEntries; ++i) entries.push_back({{"date", i}});
    EXPECT_FALSE(decodeTimeline({{"entries", entries}, {"policy", {{"kind", "never"}}}}));
    entries.erase(entries.begin());
    EXPECT_TRUE(decodeTimeline({{"entries", entries}, {"policy", {{"kind", "never"}}}}));
}

TEST(Protocol, DescriptionKeepsKnownFamiliesInOrder) {
    auto description = decodeDescription(json::parse(R"({"bundleIdentifier": "com.example.widget", "widgets": [
        {"kind": "Clock", "displayName": "Clock", "supportedFamilies": ["systemMedium", "systemExtraLarge", 3, "systemSmall"]},
        {"kind": "Notes"}]})"));
    ASSERT_TRUE(description);
    EXPECT_EQ(description->bundleIdentifier, "com.example.widget");
    ASSERT_EQ(description->widgets.size(), 2u);
    const auto* clock = description->find("Clock");
    ASSERT_TRUE(clock);
    EXPECT_EQ(clock->supportedFamilies,
              (std::vector{WidgetFamily::systemMedium, WidgetFamily::systemSmall}));
    EXPECT_EQ(description->find("Notes")->displayName, "Notes");
    EXPECT_TRUE(description->find("Notes")->supportedFamilies.empty());
    EXPECT_FALSE(description->find("clock"));
}

TEST(Protocol, DescriptionsWithoutKindsAreRefused) {
    for (const char* text : {R"({})", R"({"widgets": [{"kind": ""}]})", R"({"widgets": [{}]})", R"({"widgets": [1]})"})
        EXPECT_FALSE(decodeDescription(json::parse(text))) << text;
}

TEST(Protocol, DecodesAnswersToOurRequestsOnly) {
    struct Case {
        const char* line;
        bool isAnswer;
        std::uint64_t id;
        const char* result;  // its JSON text; null for an error answer
        int errorCode;
        const char* message;  // the error's message, or why the line is no answer
    };
    const Case cases[] = {
        {R"({"jsonrpc":"2.0","id":7,"result":{"a":1}})", true, 7, R"({"a":1})", 0, ""},
        {R"({"jsonrpc":"2.0","id":3,"result":null})", true, 3, "null", 0, ""},
        {R"({"id":2,"error":{"code":-32602,"message":"Unknown family"}})", true, 2, nullptr, -32602, "Unknown family"},
        {R"({"id":2,"error":{"code":-1}})", true, 2, nullptr, -1, "error"},
        {R"({"id":"7","result":{}})", false, 0, nullptr, 0, "no request id"},
        {R"({"id":-1,"result":{}})", false, 0, nullptr, 0, "no request id"},
        {R"({"id":null,"error":{"code":-32700,"message":"Parse error"}})", false, 0, nullptr, 0, "no request id"},
        {R"({"result":{}})", false, 0, nullptr, 0, "no request id"},
        {R"({"id":1})", false, 0, nullptr, 0, "no result and no error"},
        {R"({"id":1,"error":"bad"})", false, 0, nullptr, 0, "no result and no error"},
        {R"([1,2])", false, 0, nullptr, 0, "not a JSON object"},
        {R"({"id":1,"result":)", false, 0, nullptr, 0, "not a JSON object"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        auto answer = decodeAnswer(c.line);
        ASSERT_EQ(answer.ok(), c.isAnswer);
        if (!c.isAnswer) {
            EXPECT_NE(answer.error().message.find(c.message), std::string::npos) << answer.error().message;
            continue;
        }
        EXPECT_EQ(answer->id, c.id);
        ASSERT_EQ(answer->result != nullptr, c.result != nullptr);
        EXPECT_EQ(answer->result ? answer->result->dump() : answer->errorMessage, c.result ? c.result : c.message);
        EXPECT_EQ(answer->errorCode, c.errorCode);
    }
}

}  // namespace
}  // namespace platform::protocol
