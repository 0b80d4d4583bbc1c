#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/CmdLineInfo.h"
#include "app/Startup.h"
#include "foundation/Authorizations.h"
#include "foundation/LogFile.h"
#include "foundation/ProgramSwitches.h"

using namespace app;
using platform::Scope;

namespace {

const std::string kKey = "SOFTWARE\\Varno\\Tunova";
const std::string kAccess = kKey + "\\Access";

CCmdLineInfo CommandLine(std::vector<const char*> tokens) {
    tokens.insert(tokens.begin(), "tunova");
    CCmdLineInfo cmd;
    cmd.ParseCommandLine(static_cast<int>(tokens.size()), tokens.data());
    return cmd;
}

enum class Access { NoKey, KeyWithoutLevel, LevelSameOtherCase, OtherLevel };

class AccessLevel : public ::testing::Test {
  protected:
    void TearDown() override { foundation::g_DebugMode = false; }
};

TEST_F(AccessLevel, RegistryKeyTimesUserTimesTags) {
    struct Case {
        Access access;
        bool userGiven;
        bool debugTag;
        const char* level;
        bool debugMode;
    };
    const Case cases[] = {
        {Access::NoKey, false, false, "integrator", false},
        {Access::NoKey, false, true, "integrator", false},  // without a key "Tags" is not read
        {Access::NoKey, true, false, "factory", false},
        {Access::NoKey, true, true, "factory", false},
        {Access::KeyWithoutLevel, false, false, "user", false},
        {Access::KeyWithoutLevel, false, true, "user", true},
        {Access::KeyWithoutLevel, true, false, "factory", false},
        {Access::KeyWithoutLevel, true, true, "factory", true},
        {Access::LevelSameOtherCase, false, false, "integrator", false},
        {Access::LevelSameOtherCase, false, true, "integrator", true},
        {Access::LevelSameOtherCase, true, false, "factory", false},
        {Access::LevelSameOtherCase, true, true, "factory", true},
        {Access::OtherLevel, false, false, "user", false},
        {Access::OtherLevel, false, true, "user", true},
        {Access::OtherLevel, true, false, "factory", false},
        {Access::OtherLevel, true, true, "factory", true},
    };
    for (const Case& c : cases) {
        TempRegistry store("access");
        platform::Registry& registry = *store.registry;
        foundation::CAuthorizations users;
        switch (c.access) {
            case Access::NoKey:
                break;
            case Access::KeyWithoutLevel:
                registry.CreateKey(Scope::User, kAccess);
                break;
            case Access::LevelSameOtherCase:
                users.SetRequestedUser("integrator");
                registry.SetString(Scope::Machine, kAccess, "Level", "INTEGRATOR");
                break;
            case Access::OtherLevel:
                users.SetRequestedUser("integrator");
                registry.SetString(Scope::Machine, kAccess, "Level", "User");
                break;
        }
        if (c.debugTag && c.access != Access::NoKey) {
            registry.SetString(c.access == Access::KeyWithoutLevel ? Scope::User : Scope::Machine, kAccess,
                               "Tags", "Beta, DEBUG");
        } else if (c.debugTag) {
            registry.SetString(Scope::Machine, kKey + "\\Other", "Tags", "debug");
        }
        const CCmdLineInfo cmd = c.userGiven ? CommandLine({"user=Factory"}) : CommandLine({});
        ApplyAccessLevel(users, registry, kKey, cmd);
        const std::string where = "case " + std::to_string(&c - cases);
        EXPECT_EQ(users.GetRequestedUser(), c.level) << where;
        EXPECT_EQ(foundation::g_DebugMode.load(), c.debugMode) << where;
        if (c.access == Access::LevelSameOtherCase && !c.userGiven && !c.debugTag) {
            EXPECT_FALSE(users.IsChanged()) << "the same level in another case changes nothing";
        }
    }
}

TEST_F(AccessLevel, UserScopeKeyComesBeforeTheMachineOne) {
    TempRegistry store("scopes");
    store.registry->SetString(Scope::Machine, kAccess, "Level", "factory");
    store.registry->SetString(Scope::User, kAccess, "Level", "user");
    foundation::CAuthorizations users;
    ApplyAccessLevel(users, *store.registry, kKey, CommandLine({}));
    EXPECT_EQ(users.GetRequestedUser(), "user");
}

TEST_F(AccessLevel, CommandLineTagsAndDebugJoinTheActiveSet) {
    TempRegistry store("tags");
    store.registry->SetString(Scope::User, kAccess, "Tags", "beta");
    foundation::CAuthorizations users;
    ApplyAccessLevel(users, *store.registry, kKey, CommandLine({"tags=Test", "-DEBUG"}));
    EXPECT_TRUE(users.HasTag("beta"));
    EXPECT_TRUE(users.HasTag("test"));
    EXPECT_TRUE(users.HasTag("debug"));
    EXPECT_TRUE(foundation::g_DebugMode.load());
}

TEST_F(AccessLevel, OverlongRegistryTextsAreCutAtTheirBufferNotOverrun) {
    TempRegistry store("long");
    const std::string level(300, 'F');
    store.registry->SetString(Scope::User, kAccess, "Level", level);
    std::string tags = "debug," + std::string(400, 't');
    store.registry->SetString(Scope::User, kAccess, "Tags", tags);
    foundation::CAuthorizations users;
    ApplyAccessLevel(users, *store.registry, kKey, CommandLine({}));
    EXPECT_EQ(users.GetRequestedUser(), std::string(259, 'f'));
    EXPECT_TRUE(users.HasTag("debug"));
    EXPECT_TRUE(users.HasTag(std::string(259 - 6, 't')));
}

TEST(RegistryText, CutKeepsWholeCharacters) {
    EXPECT_EQ(CutRegistryText("short"), "short");
    EXPECT_EQ(CutRegistryText(std::string(259, 'a')).size(), 259u);
    EXPECT_EQ(CutRegistryText(std::string(260, 'a')).size(), 259u);
    // "é" is two bytes; placed over the cut it goes whole.
    const std::string text = std::string(258, 'a') + "\xC3\xA9" + "zz";
    EXPECT_EQ(CutRegistryText(text), std::string(258, 'a'));
}

class Switches : public ::testing::Test {
  protected:
    void TearDown() override {
        foundation::g_LogDebug = false;
        foundation::g_LogErrors = false;
        foundation::g_MirelBox = false;
        foundation::g_Beta = false;
    }
};

TEST_F(Switches, ReadFromTheMachineScopeOnly) {
    struct Case {
        Scope scope;
        uint32_t value;
        bool on;
    };
    for (const Case& c : {Case{Scope::Machine, 1, true}, Case{Scope::Machine, 0x80000000u, true},
                          Case{Scope::Machine, 0, false}, Case{Scope::User, 1, false}}) {
        TempRegistry store("switches");
        for (const char* name : {"LogDebug", "LogErrors", "Mirel"})
            store.registry->SetDword(c.scope, kKey, name, c.value);
        foundation::g_LogDebug = !c.on;
        ReadDiagnosticSwitches(*store.registry, kKey);
        EXPECT_EQ(foundation::g_LogDebug.load(), c.on);
        EXPECT_EQ(foundation::g_LogErrors.load(), c.on);
        EXPECT_EQ(foundation::g_MirelBox.load(), c.on);
    }
    TempRegistry empty("none");
    foundation::g_LogDebug = true;
    ReadDiagnosticSwitches(*empty.registry, kKey);
    EXPECT_FALSE(foundation::g_LogDebug.load()) << "a missing value leaves its switch off";
}

TEST_F(Switches, DebugLogWithItsStartLineOnlyWhenSwitchedOn) {
    for (bool on : {false, true}) {
        TempRegistry store("log");
        foundation::g_LogDebug = on;
        foundation::LogFile log;
        EXPECT_EQ(OpenDebugLog(log, store.dir), "");
        log.Close();
        const auto file = store.dir / "LogDebug.txt";
        ASSERT_EQ(std::filesystem::exists(file), on);
        if (on) {
            std::ifstream in(file);
            std::stringstream text;
            text << in.rdbuf();
            EXPECT_NE(text.str().find("Pelmora started 0x"), std::string::npos) << text.str();
        }
    }
}

TEST_F(Switches, DebugLogThatCannotOpenIsClosedAgain) {
    foundation::g_LogDebug = true;
    foundation::LogFile log;
    EXPECT_NE(OpenDebugLog(log, "/nonexistent-folder/for/tunova"), "");
    EXPECT_FALSE(log.IsOpen());
}

TEST(ProgramVersion, FileVersionHasFourNumbersAndTheBuildIsTheLast) {
    const uint32_t build = ReadProgramVersionInfo();
    const ProgramState& state = Program();
    EXPECT_EQ(std::count(state.fileVersion.begin(), state.fileVersion.end(), '.'), 3);
    EXPECT_EQ(state.fileVersion.substr(state.fileVersion.rfind('.') + 1), std::to_string(build));
    EXPECT_EQ(state.productText, "Tunova " + state.fileVersion);
}

TEST(ProgramCommandLine, ResultsReachTheProgramState) {
    ProgramState state;
    ApplyCommandLine(CommandLine({"goonline=COM:SIM0", "loadconfig=cfg.xml", "resetgui", "Qz=/tmp/peer.xml"}),
                     state);
    EXPECT_EQ(state.goOnline, "COM:SIM0");
    EXPECT_EQ(state.loadConfig, "cfg.xml");
    EXPECT_TRUE(state.resetGui);
    EXPECT_EQ(state.qzPath, "/tmp/peer.xml");
}

}  // namespace
