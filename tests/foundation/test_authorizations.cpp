#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "IdentityTestTree.h"
#include "foundation/Authorizations.h"
#include "foundation/XmlDocument.h"

using namespace foundation;

namespace {

using identity_test::TempTree;
using identity_test::WriteText;

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Titles(const std::vector<CUserDev>& users) {
    std::vector<std::string> titles;
    for (const CUserDev& user : users) titles.push_back(user.title + "=" + std::to_string(user.level));
    return titles;
}

class Authorizations : public ::testing::Test {
  protected:
    void LoadDescription(CAuthorizations& auth) {
        ASSERT_EQ(description_.Load(TUNOVA_FIXTURES "/foundation/identity/description_users.xml"), S_OK);
        auth.LoadFromNode(description_.Root().FindNode("Authorizations"));
    }
    TempTree tree_;
    CXmlDocument description_;
};

TEST_F(Authorizations, LoadOrdersUsersByLevelKeepingReadingOrder) {
    std::filesystem::copy_file(TUNOVA_FIXTURES "/foundation/identity/auth_unordered.xml",
                               CAuthorizations::GetFilePath());
    CAuthorizations auth;
    auth.SetTags("stale");
    auth.Load();
    EXPECT_EQ(Titles(auth.GetUsers()), (std::vector<std::string>{"user=0", "integrator=100", "tester=100",
                                                                 "factory=200", "service=300"}));
    EXPECT_FALSE(auth.IsChanged());
    EXPECT_EQ(auth.GetTags(), "");
}

TEST_F(Authorizations, MissingOrDamagedFileLeavesAnEmptyList) {
    CAuthorizations auth;
    auth.Load();
    EXPECT_TRUE(auth.GetUsers().empty());
    EXPECT_FALSE(auth.IsChanged());

    WriteText(CAuthorizations::GetFilePath(), "<Auth><Authorizations><User title=\"x\" level=\"1");
    auth.Load();
    EXPECT_TRUE(auth.GetUsers().empty());
    EXPECT_FALSE(auth.IsChanged());

    WriteText(CAuthorizations::GetFilePath(), "<Auth><Other/></Auth>");
    auth.Load();
    EXPECT_TRUE(auth.GetUsers().empty());
}

TEST_F(Authorizations, SaveWritesTheShortListOnlyWhenChanged) {
    CAuthorizations auth;
    auth.AddUser("Integrator", 100);
    auth.AddUser("User", 0);
    auth.AddUser("integrator", 150);  // title already there
    EXPECT_TRUE(auth.IsChanged());
    ASSERT_TRUE(auth.Save());
    EXPECT_FALSE(auth.IsChanged());

    CXmlDocument written;
    ASSERT_EQ(written.Load(CAuthorizations::GetFilePath()), S_OK);
    std::string text;
    written.GetXml(text);
    EXPECT_EQ(
        text,
        "<Auth><Authorizations><User title=\"user\" level=\"0\"/><User title=\"integrator\" level=\"100\"/>"
        "</Authorizations></Auth>");

    // Unchanged: the file is not touched.
    WriteText(CAuthorizations::GetFilePath(), "sentinel");
    EXPECT_TRUE(auth.Save());
    EXPECT_EQ(ReadFile(CAuthorizations::GetFilePath()), "sentinel");

    CAuthorizations reloaded;
    std::filesystem::remove(CAuthorizations::GetFilePath());
    auth.SetChanged();
    ASSERT_TRUE(auth.Save());
    reloaded.Load();
    EXPECT_EQ(Titles(reloaded.GetUsers()), Titles(auth.GetUsers()));
}

TEST_F(Authorizations, FailedSaveKeepsTheOldFileAndTheChange) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    CAuthorizations auth;
    auth.AddUser("user", 0);
    ASSERT_TRUE(auth.Save());
    const std::string before = ReadFile(CAuthorizations::GetFilePath());
    auth.AddUser("factory", 200);
    chmod(tree_.CommonData().c_str(), 0500);
    EXPECT_FALSE(auth.Save());
    chmod(tree_.CommonData().c_str(), 0700);
    EXPECT_TRUE(auth.IsChanged());
    EXPECT_EQ(ReadFile(CAuthorizations::GetFilePath()), before);
    EXPECT_TRUE(auth.Save());
}

TEST_F(Authorizations, DescriptionListReplacesTheFullListAndExtendsTheShortOne) {
    CAuthorizations auth;
    auth.AddUser("service", 300);
    ASSERT_TRUE(auth.Save());
    auth.SetUser("integrator");
    LoadDescription(auth);

    const auto& full = auth.GetFullUsers();
    ASSERT_EQ(full.size(), 4u);
    EXPECT_EQ(full[0].title, "user");
    EXPECT_EQ(full[1].title, "operator");
    EXPECT_EQ(full[1].code, 7u ^ CAuthorizations::kCodeScramble);
    EXPECT_EQ(full[2].name, "I");
    EXPECT_EQ(full[2].code, 0x3c5d7e91u ^ CAuthorizations::kCodeScramble);
    EXPECT_EQ(full[3].code, 0x8a4f2b06u ^ CAuthorizations::kCodeScramble);
    EXPECT_EQ(full[0].code, 0u);
    EXPECT_EQ(Titles(auth.GetUsers()), (std::vector<std::string>{"user=0", "operator=50", "integrator=100",
                                                                 "factory=200", "service=300"}));
    // Saved at once, and the requested user selected in the new list.
    EXPECT_FALSE(auth.IsChanged());
    CAuthorizations reloaded;
    reloaded.Load();
    EXPECT_EQ(reloaded.GetUsers().size(), 5u);
    ASSERT_NE(auth.GetCurrentUser(), nullptr);
    EXPECT_EQ(auth.GetCurrentUser()->title, "integrator");
    EXPECT_EQ(auth.GetCurrentCode(), 0x3c5d7e91u ^ CAuthorizations::kCodeScramble);

    // A second description with a smaller list replaces the full list but keeps the short one.
    CXmlDocument other;
    ASSERT_EQ(
        other.LoadXml("<Authorizations><User title=\"Boss\" name=\"B\" level=\"500\"/></Authorizations>"),
        S_OK);
    auth.LoadFromNode(&other.Root());
    EXPECT_EQ(auth.GetFullUsers().size(), 1u);
    EXPECT_EQ(auth.GetUsers().size(), 6u);
}

TEST_F(Authorizations, BuiltInDefaultList) {
    CAuthorizations auth;
    auth.SetUser("factory");
    auth.LoadDefaultList();
    const auto& full = auth.GetFullUsers();
    ASSERT_EQ(full.size(), 3u);
    EXPECT_EQ(full[0].title, "user");
    EXPECT_EQ(full[0].name, "U");
    EXPECT_EQ(full[1].title, "integrator");
    EXPECT_EQ(full[1].level, 100);
    EXPECT_EQ(full[2].title, "factory");
    EXPECT_EQ(full[2].level, 200);
    EXPECT_EQ(auth.GetCurrentCode(), 0x8a4f2b06u ^ CAuthorizations::kCodeScramble);
    EXPECT_TRUE(std::filesystem::exists(CAuthorizations::GetFilePath()));
}

TEST_F(Authorizations, SelectUserByTitleOrLevel) {
    CAuthorizations auth;
    auth.AddUser("supervisor", 150);  // known to the short list only
    auth.AddUser("root", 900);
    auth.AddUser("guest", -5);
    LoadDescription(auth);

    struct Case {
        const char* requested;
        const char* current;
        bool notFound;
    } cases[] = {
        {"Integrator", "integrator", false},  // exact title
        {"supervisor", "integrator", false},  // highest at or below 150
        {"root", "factory", false},           // above every level: the highest user
        {"guest", "user", false},             // below every level: the lowest user
        {"nobody", "user", true},             // unknown: level 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.requested);
        auth.SetUser(c.requested);
        ASSERT_NE(auth.GetCurrentUser(), nullptr);
        EXPECT_EQ(auth.GetCurrentUser()->title, c.current);
        EXPECT_EQ(auth.GetRequestedUser(), c.current);
        EXPECT_EQ(auth.GetLastError(), c.notFound ? "Authorizations: user nobody not found " : "");
    }
    // Same name in another case: nothing to do.
    auth.SetUser("factory");
    EXPECT_FALSE(auth.SetUser("FACTORY"));
    EXPECT_TRUE(auth.SetUser("User"));
    EXPECT_TRUE(auth.IsChanged());

    CAuthorizations empty;
    empty.SetUser("integrator");
    EXPECT_EQ(empty.GetCurrentUser(), nullptr);
    EXPECT_EQ(empty.GetCurrentCode(), 0u);
}

TEST_F(Authorizations, CheckConditionLevelsAndTags) {
    CAuthorizations auth;
    LoadDescription(auth);
    auth.SetUser("integrator");
    auth.SetTags("Service, test ");

    struct Case {
        const char* condition;
        bool result;
        int32_t level;
    } cases[] = {
        {"", true, 0},
        {"   ", true, 0},
        {"I", true, 100},
        {" I ", true, 100},
        {"O", true, 50},
        {"F", false, 200},
        {"F;service", false, 200},
        {"I;service", true, 100},
        {"I;beta", false, 100},
        {";beta,test", true, 0},
        {";beta, SERVICE ", true, 0},
        {";beta,other", false, 0},
        {";", true, 0},
        {"I;", true, 100},
        {"X", true, 0},  // names no user: no requirement
        {"X;service", true, 0},
        {";debug", false, 0},
        {"i", true, 0},  // user names are exact
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.condition);
        int32_t level = -1;
        EXPECT_EQ(auth.CheckCondition(c.condition, &level), c.result);
        EXPECT_EQ(level, c.level);
    }
    auth.SetTags("debug");
    EXPECT_TRUE(auth.CheckCondition(";debug", nullptr));
    EXPECT_TRUE(auth.CheckCondition("I;debug", nullptr));

    // Without a current user only level-0 conditions hold.
    CAuthorizations none;
    LoadDescription(none);
    EXPECT_EQ(none.GetCurrentUser(), nullptr);
    EXPECT_FALSE(none.CheckCondition("I", nullptr));
    EXPECT_TRUE(none.CheckCondition("U", nullptr));
    EXPECT_TRUE(none.CheckCondition("", nullptr));
}

TEST_F(Authorizations, TagsAreTrimmedLowerCaseAndCounted) {
    CAuthorizations auth;
    auth.SetTags("");
    EXPECT_FALSE(auth.IsChanged());
    auth.SetTags(" Beta, test ,beta,,");
    EXPECT_TRUE(auth.IsChanged());
    EXPECT_EQ(auth.GetTags(), "beta,test");
    EXPECT_TRUE(auth.HasTag("beta"));
    ASSERT_TRUE(auth.Save());
    auth.SetTags("TEST");
    EXPECT_FALSE(auth.IsChanged());  // already active
    auth.ClearTags();
    EXPECT_EQ(auth.GetTags(), "");
    EXPECT_TRUE(auth.IsChanged());
}

}  // namespace
