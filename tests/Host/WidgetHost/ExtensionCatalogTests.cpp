#include "Host/WidgetHost/ExtensionCatalog.hpp"

#include <gtest/gtest.h>

#include "TempDirectory.hpp"

namespace widgethost {
namespace {

namespace fs = std::filesystem;

std::string manifest(std::string_view identifier, std::string_view executable, std::string_view point = "widget") {
    return R"({"bundleIdentifier": ")" + std::string(identifier) + R"(", "extension": {"point": ")" + std::string(point) +
           R"(", "executable": ")" + std::string(executable) + R"("}})";
}

TEST(ExtensionCatalog, DirectoriesFollowTheBaseDirectoryRules) {
    struct Case {
        const char* dataHome;
        const char* home;
        const char* dataDirs;
        std::vector<fs::path> expected;
    };
    const Case cases[] = {
        {"/d/home", "/h", "/a:/b", {"/dev", "/d/home/widget-extensions", "/a/widget-extensions", "/b/widget-extensions"}},
        {nullptr, "/h", nullptr,
         {"/dev", "/h/.local/share/widget-extensions", "/usr/local/share/widget-extensions", "/usr/share/widget-extensions"}},
        {"", "/h", "", {"/dev", "/h/.local/share/widget-extensions", "/usr/local/share/widget-extensions",
                        "/usr/share/widget-extensions"}},
        // Relative entries are not trusted; empty ones are skipped.
        {"relative", "/h", "relative::/c", {"/dev", "/h/.local/share/widget-extensions", "/c/widget-extensions"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(extensionDirectories({"/dev"}, c.dataHome, c.home, c.dataDirs), c.expected)
            << (c.dataHome ? c.dataHome : "(null)") << " " << (c.dataDirs ? c.dataDirs : "(null)");
}

TEST(ExtensionCatalog, ResolvesTheExecutableBesideTheManifest) {
    TempDirectory dir;
    dir.write("bin/Ext", "#!/bin/sh\n", true);
    auto file = dir.write("bin/Ext.bundle.json", manifest("com.example.app.widget", "Ext"));
    auto found = readExtensionManifest(file).value();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->bundleIdentifier, "com.example.app.widget");
    EXPECT_EQ(found->executable, dir / "bin/Ext");
    // Without a display name the menu heads the widget with the identifier.
    EXPECT_EQ(found->displayName, "com.example.app.widget");
    dir.write("bin/Named.bundle.json", R"({"bundleIdentifier": "com.example.app.widget", "info": {"displayName": "App"},
                                           "extension": {"point": "widget", "executable": "Ext"}})");
    found = readExtensionManifest(dir / "bin/Named.bundle.json").value();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->displayName, "App");
}

TEST(ExtensionCatalog, ResolvesTheExecutableFromALinkedManifestsRealDirectory) {
    TempDirectory dir;
    dir.write("bin/Ext", "#!/bin/sh\n", true);
    dir.write("bin/Ext.bundle.json", manifest("com.example.widget", "Ext"));
    fs::create_directories(dir / "share/widget-extensions");
    fs::create_symlink(dir / "bin/Ext.bundle.json", dir / "share/widget-extensions/com.example.widget.json");
    auto found = readExtensionManifest(dir / "share/widget-extensions/com.example.widget.json").value();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->executable, dir / "bin/Ext");
}

TEST(ExtensionCatalog, RejectsBrokenManifestsWithAReason) {
    TempDirectory dir;
    dir.write("Ext", "#!/bin/sh\n", true);
    dir.write("NotExecutable", "data");
    struct Case {
        const char* name;
        std::string text;
        bool reported;  // a file that does not claim to be an extension is passed over silently
    };
    const Case cases[] = {
        {"other program", R"({"bundleIdentifier": "com.example.app"})", false},
        {"another point", manifest("com.example.x", "Ext", "share"), false},
        {"not JSON", "{", false},
        {"missing program", manifest("com.example.x", "Missing"), true},
        {"program not executable", manifest("com.example.x", "NotExecutable"), true},
        {"program is a directory", manifest("com.example.x", "."), true},
        {"bad identifier", manifest("com..example", "Ext"), true},
        {"no executable", R"({"bundleIdentifier": "com.example.x", "extension": {"point": "widget"}})", true},
    };
    for (const auto& c : cases) {
        auto file = dir.write("m.json", c.text);
        auto read = readExtensionManifest(file);
        EXPECT_FALSE(read && *read) << c.name;
        EXPECT_EQ(!read, c.reported) << c.name << ": " << (read ? "" : read.error().message);
    }
}

TEST(ExtensionCatalog, EarlierDirectoriesWinAndBrokenManifestsAreReported) {
    TempDirectory dir;
    dir.write("dev/A", "#!/bin/sh\n", true);
    dir.write("dev/A.bundle.json", manifest("com.example.a", "A"));
    dir.write("dev/app.bundle.json", R"({"bundleIdentifier": "com.example"})");
    dir.write("installed/B", "#!/bin/sh\n", true);
    dir.write("installed/a.json", manifest("com.example.a", "B"));
    dir.write("installed/b.json", manifest("com.example.b", "B"));
    dir.write("installed/broken.json", manifest("com.example.c", "Missing"));
    dir.write("installed/notes.txt", manifest("com.example.d", "B"));

    std::vector<ManifestProblem> problems;
    auto found = findExtensions({dir / "dev", dir / "installed", dir / "does-not-exist"}, &problems);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].bundleIdentifier, "com.example.a");
    EXPECT_EQ(found[0].executable, dir / "dev/A");
    EXPECT_EQ(found[1].bundleIdentifier, "com.example.b");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].manifest.filename(), "broken.json");
}

TEST(ExtensionCatalog, ApplicationIds) {
    EXPECT_TRUE(isValidApplicationId("com.example.app"));
    EXPECT_TRUE(isValidApplicationId("a_b-c.D9"));
    for (const std::string& bad : std::vector<std::string>{"", ".com.example", "com.example.", "com..example", "com/example", "com example", "ä",
                            std::string(256, 'a')})
        EXPECT_FALSE(isValidApplicationId(bad)) << bad;
    EXPECT_TRUE(isValidApplicationId(std::string(255, 'a')));
}

TEST(ExtensionCatalog, ExtensionsBelongToTheirApplicationOnlyAtAComponentBoundary) {
    EXPECT_TRUE(isExtensionOf("com.example.app", "com.example.app"));
    EXPECT_TRUE(isExtensionOf("com.example.app.widget", "com.example.app"));
    EXPECT_TRUE(isExtensionOf("com.example.app.widget", "com.example"));
    EXPECT_FALSE(isExtensionOf("com.example.application", "com.example.app"));
    EXPECT_FALSE(isExtensionOf("com.example", "com.example.app"));
    EXPECT_FALSE(isExtensionOf("com.example.app", ""));
}

}  // namespace
}  // namespace widgethost
