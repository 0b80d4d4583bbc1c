#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstring>
#include <thread>

#include "platform/Folders.h"
#include "platform/Prompt.h"
#include "platform/VersionInfo.h"
#include "platform/bstr/Bstr.h"

using namespace platform;

TEST(Bstr, AllocateMeasureAndFree) {
    BSTR s = SysAllocString(u"Linkora");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 7u);
    EXPECT_EQ(SysStringByteLen(s), 14u);
    EXPECT_EQ(s[7], 0);
    SysFreeString(s);

    const char16_t withZero[] = {u'a', 0, u'b'};
    s = SysAllocStringLen(withZero, 3);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(s[2], u'b');
    SysFreeString(s);

    s = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(s), 3u);
    EXPECT_EQ(SysStringLen(s), 1u);
    EXPECT_EQ(std::memcmp(s, "abc\0\0", 5), 0);
    SysFreeString(s);

    s = SysAllocStringLen(nullptr, 4);
    EXPECT_EQ(SysStringLen(s), 4u);
    EXPECT_EQ(s[0], 0);
    SysFreeString(s);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(Bstr, Utf8RoundTrip) {
    const std::string text = "Fehler \xE2\x82\xAC \xF0\x9F\x98\x80";
    BSTR s = BstrFromUtf8(text);
    EXPECT_EQ(SysStringLen(s), 11u);
    EXPECT_EQ(Utf8FromBstr(s), text);
    SysFreeString(s);
    EXPECT_EQ(Utf8FromBstr(nullptr), "");
}

TEST(Prompts, ScriptedAnswersInOrderAndRecordsQuestions) {
    ScriptedPrompts scripted;
    SetPromptService(&scripted);
    scripted.PushAnswer(IDYES);
    scripted.PushAnswer(IDOK, 3);

    EXPECT_EQ(Prompts().MessageBox("Save changes?", "Tunova", MB_YESNO | MB_ICONQUESTION), IDYES);
    int selection = -1;
    EXPECT_EQ(Prompts().Custom("XmlNotUpdated", {"a.xml", "b.xml"}, &selection), IDOK);
    EXPECT_EQ(selection, 3);
    int answer = 0;
    std::thread([&] { answer = Prompts().MessageBox("from a worker", "", MB_OKCANCEL); }).join();
    EXPECT_EQ(answer, IDCANCEL);  // nothing queued

    const auto asked = scripted.Asked();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].kind, "MessageBox");
    EXPECT_EQ(asked[0].text, "Save changes?");
    EXPECT_EQ(asked[0].caption, "Tunova");
    EXPECT_EQ(asked[0].flags, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(asked[1].kind, "XmlNotUpdated");
    EXPECT_EQ(asked[1].args, (std::vector<std::string>{"a.xml", "b.xml"}));
    EXPECT_EQ(asked[2].flags, MB_OKCANCEL);

    SetPromptService(nullptr);
    EXPECT_EQ(Prompts().MessageBox("nobody answers", "", MB_YESNO), IDCANCEL);
    EXPECT_EQ(scripted.AskedCount(), 3u);
}

TEST(Folders, EnvironmentMovesEveryFolder) {
    struct Case {
        const char* env;
        std::filesystem::path (*folder)();
    } cases[] = {{"TUNOVA_PROGRAM_DIR", ProgramFolder},        {"TUNOVA_DATA_DIR", ProgramDataFolder},
                 {"TUNOVA_USER_DATA_DIR", UserDataFolder},     {"TUNOVA_CONFIG_DIR", ConfigFolder},
                 {"TUNOVA_COMMON_DATA_DIR", CommonDataFolder}, {"TUNOVA_TEMP_DIR", TempFolder}};
    for (const Case& c : cases) {
        const char* old = getenv(c.env);
        const std::string saved = old ? old : "";
        setenv(c.env, "/tmp/tunova-moved", 1);
        EXPECT_EQ(c.folder(), "/tmp/tunova-moved") << c.env;
        if (old)
            setenv(c.env, saved.c_str(), 1);
        else
            unsetenv(c.env);
    }
    if (!getenv("TUNOVA_PROGRAM_DIR")) {
        EXPECT_TRUE(std::filesystem::exists(ProgramFolder() / "test_platform"));
        EXPECT_FALSE(IsInstalled());  // running from the build tree
    }
    if (!getenv("TUNOVA_USER_DATA_DIR") && !getenv("XDG_DATA_HOME") && getenv("HOME")) {
        EXPECT_EQ(UserDataFolder(), std::filesystem::path(getenv("HOME")) / ".local/share/tunova");
    }
}

TEST(VersionInfo, MatchesTheBuildVersion) {
    const VersionInfo& v = ProgramVersion();
    EXPECT_EQ(v.text,
              std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.patch));
    EXPECT_GE(v.major, 1);
}

namespace {

TEST(Folders, PrivateTempFolderIsThisProcesssOwn) {
    const std::filesystem::path folder = platform::PrivateTempFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder, platform::PrivateTempFolder());  // made once
    EXPECT_EQ(folder.parent_path(), platform::TempFolder());
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    // Nobody else may list, read or put files there.
    const auto perms = std::filesystem::status(folder).permissions();
    EXPECT_EQ(perms & std::filesystem::perms::all, std::filesystem::perms::owner_all);
}

TEST(Folders, PrivateTempFolderThatVanishedIsMadeAgain) {
    const std::filesystem::path first = platform::PrivateTempFolder();
    ASSERT_FALSE(first.empty());
    std::filesystem::remove_all(first);
    const std::filesystem::path again = platform::PrivateTempFolder();
    ASSERT_FALSE(again.empty());
    EXPECT_TRUE(std::filesystem::is_directory(again));
    EXPECT_EQ(std::filesystem::status(again).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
    EXPECT_EQ(again, platform::PrivateTempFolder()) << "kept while it is there";
}

}  // namespace
