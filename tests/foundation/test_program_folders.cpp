#include <gtest/gtest.h>

#include "IdentityTestTree.h"
#include "foundation/ProgramFolders.h"
#include "foundation/ProgramSwitches.h"

using namespace foundation;

namespace {

using identity_test::TempTree;
using platform::Scope;
namespace fs = std::filesystem;

TEST(ProgramFolders, FollowThePlatformFoldersAndTheRegistry) {
    ASSERT_TRUE(identity_test::RegistryIsPrivate());
    TempTree tree;
    EXPECT_EQ(GetProgramFolder(), tree.Root() / "bin");
    EXPECT_EQ(GetProgramDataFolder(), tree.ProgramData());
    EXPECT_EQ(GetHelpFolder(), tree.ProgramData());
    EXPECT_EQ(GetUserDataFolder(), tree.UserData());
    EXPECT_EQ(GetCommonDataFolder(), tree.CommonData());
    EXPECT_EQ(GetProductKey(), "SOFTWARE\\Varno\\Tunova");
    EXPECT_FALSE(IsProgramInstalled());

    fs::create_directories(tree.ProgramData() / "Help");
    ASSERT_TRUE(TempTree::Registry().CreateKey(Scope::Machine, "software\\varno\\tunova"));
    // Data folders are created level by level when missing.
    setenv("TUNOVA_USER_DATA_DIR", (tree.Root() / "new" / "user").c_str(), 1);
    InitProgramFolders();
    EXPECT_EQ(GetHelpFolder(), tree.ProgramData() / "Help");
    EXPECT_TRUE(IsProgramInstalled());
    EXPECT_TRUE(fs::is_directory(tree.Root() / "new" / "user"));
}

TEST(ProgramSwitches, ReadFromTheMachineScope) {
    ASSERT_TRUE(identity_test::RegistryIsPrivate());
    TempTree tree;
    const bool saved[] = {g_LogDebug, g_LogErrors, g_MirelBox, g_Beta};
    auto& registry = TempTree::Registry();
    ASSERT_TRUE(registry.SetDword(Scope::Machine, GetProductKey(), "LogDebug", 1));
    ASSERT_TRUE(registry.SetDword(Scope::Machine, GetProductKey(), "LogErrors", 0));
    ASSERT_TRUE(registry.SetDword(Scope::Machine, GetProductKey(), "mirel", 7));
    ASSERT_TRUE(registry.SetDword(Scope::User, GetProductKey(), "Beta", 1));  // user scope does not count
    ReadProgramSwitches();
    EXPECT_TRUE(g_LogDebug);
    EXPECT_FALSE(g_LogErrors);
    EXPECT_TRUE(g_MirelBox);
    EXPECT_FALSE(g_Beta);
    ASSERT_TRUE(registry.SetString(Scope::Machine, GetProductKey(), "Beta", "1"));  // not a DWORD
    ReadProgramSwitches();
    EXPECT_FALSE(g_Beta);
    g_LogDebug = saved[0];
    g_LogErrors = saved[1];
    g_MirelBox = saved[2];
    g_Beta = saved[3];
}

}  // namespace
