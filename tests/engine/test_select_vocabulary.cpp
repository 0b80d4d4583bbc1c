// Choosing a node's vocabulary from its identity: exact match, nearest older version, the
// substitute and generic-file prompts and the failure codes.

#include "VocabularyTestSupport.h"
#include "engine/VocabularySelector.h"

using namespace foundation;
using namespace engine;
using namespace vocabulary_test;

namespace {

class SelectVocabularyTest : public VocabularyEnvironment {
  protected:
    void SetUp() override {
        VocabularyEnvironment::SetUp();
        checker.GetHardwareIdentity().Set(3, 1, 0, 0, 1);
    }

    void Target(int major, int minor, int patch, uint32_t state = 0, uint32_t number = 0) {
        CIdentity& fw = checker.GetFirmwareIdentity();
        fw.Set(100, major, minor, patch, 3);
        fw.version.preState = state;
        fw.version.preNumber = number;
    }

    fs::path Version(int major, int minor, int patch, int state = 0, int number = 0, uint32_t sw = 100) {
        Description d;
        d.sw = sw;
        d.major = major;
        d.minor = minor;
        d.patch = patch;
        d.preState = state;
        d.preNumber = number;
        return WriteDescription(d);
    }

    std::string ChosenVersion(int chosen) const {
        return chosen >= 0 && index.At(chosen) ? index.At(chosen)->identity.version.GetText() : "none";
    }

    int Select(bool confirm = false, uint32_t hw = 3, uint32_t sw = 100) {
        return SelectVocabulary(index, checker, hw, sw, node, confirm);
    }

    CConfigFileIndex index;
    CCompatChecker checker;
    int32_t node = -1;
};

TEST_F(SelectVocabularyTest, ExactMatchIsLoadedAndBound) {
    Version(1, 0, 0);
    Version(1, 2, 0);
    Target(1, 2, 0);
    const int chosen = Select();
    ASSERT_GE(chosen, 0);
    EXPECT_EQ(node, chosen);
    EXPECT_EQ(ChosenVersion(chosen), "1.2.0");
    EXPECT_EQ(index.At(chosen)->ItemCount(), 1u);
    EXPECT_EQ(index.At(chosen)->users, 1);
    EXPECT_EQ(checker.GetFirmwareIdentity().name, "Test drive");
    EXPECT_TRUE(prompts.Asked().empty());

    // Asked again: the node's vocabulary still fits, nothing changes.
    EXPECT_EQ(Select(), chosen);
    EXPECT_EQ(index.At(chosen)->users, 1);

    // Another node, any hardware: the same vocabulary gets a second user.
    int32_t other = -1;
    EXPECT_EQ(SelectVocabulary(index, checker, 0, 100, other, false), chosen);
    EXPECT_EQ(index.At(chosen)->users, 2);

    // Switching a node to another version releases the first.
    Target(1, 0, 0);
    const int older = Select();
    ASSERT_GE(older, 0);
    EXPECT_NE(older, chosen);
    EXPECT_EQ(index.At(chosen)->users, 1);
    EXPECT_EQ(index.At(older)->users, 1);
}

TEST_F(SelectVocabularyTest, ExactMatchInTheListNeedsNoRebuild) {
    Version(1, 2, 0);
    Target(1, 2, 0);
    ASSERT_EQ(index.BuildVocabularyIndex(), 1);
    ClearVocabularyIndexBuilt();
    EXPECT_EQ(Select(), 0);
    EXPECT_FALSE(IsVocabularyIndexBuilt());
}

TEST_F(SelectVocabularyTest, BootIdentityWhenTheFirmwareIsMissing) {
    Version(1, 2, 0);
    checker.GetBootIdentity().Set(100, 1, 2, 0, 2);
    EXPECT_EQ(ChosenVersion(Select()), "1.2.0");
}

TEST_F(SelectVocabularyTest, NearestOlderVersionOrder) {
    Version(1, 9, 0);
    Version(1, 10, 0);
    Version(1, 12, 0);            // newer than the drive: never offered
    Version(1, 5, 0, 0, 0, 101);  // another software code
    Target(1, 11, 0);
    // Groups compare their number texts as byte strings: 1.9.0 comes before 1.10.0.
    EXPECT_EQ(ChosenVersion(Select()), "1.9.0");
    EXPECT_TRUE(prompts.Asked().empty());
}

TEST_F(SelectVocabularyTest, VersionOrderTable) {
    auto v = [](int major, int minor, int patch, uint32_t state, uint32_t number) {
        CVersion r;
        r.Set(major, minor, patch, state, number);
        return r;
    };
    struct Case {
        CVersion a, b;
        bool newer;
    };
    const Case cases[] = {
        {v(1, 10, 0, 0, 0), v(1, 9, 0, 0, 0), true}, {v(2, 0, 0, 0, 0), v(1, 99, 99, 0, 0), true},
        {v(1, 0, 0, 0, 0), v(1, 0, 0, 3, 9), true},  {v(1, 0, 0, 3, 1), v(1, 0, 0, 2, 9), true},
        {v(1, 0, 0, 2, 1), v(1, 0, 0, 1, 9), true},  {v(1, 0, 0, 1, 1), v(1, 0, 0, 4, 9), true},
        {v(1, 0, 0, 4, 1), v(1, 0, 0, 5, 9), true},  {v(1, 0, 0, 2, 5), v(1, 0, 0, 2, 4), true},
        {v(1, 0, 0, 2, 4), v(1, 0, 0, 2, 4), false}, {v(1, 0, 0, 4, 1), v(1, 0, 0, 3, 1), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsVocabularyVersionNewer(c.a, c.b), c.newer) << c.a.GetText() << " vs " << c.b.GetText();
        if (c.newer) {
            EXPECT_FALSE(IsVocabularyVersionNewer(c.b, c.a)) << c.b.GetText() << " vs " << c.a.GetText();
        }
    }

    // Inside a group, newest first; equal versions keep list order.
    Version(1, 9, 0, 2, 2);
    Version(1, 9, 0, 3, 1);
    Version(1, 9, 0, 4, 3);
    ASSERT_EQ(index.BuildVocabularyIndex(), 3);
    std::vector<int> all{0, 1, 2};
    std::vector<std::string> texts;
    for (int i : OrderVocabularyCandidates(index, all))
        texts.push_back(index.At(i)->identity.version.GetText());
    EXPECT_EQ(texts, (std::vector<std::string>{"1.9.0-rc1", "1.9.0-beta2", "1.9.0-nb3"}));
}

TEST_F(SelectVocabularyTest, SubstituteConfirmedByTheUser) {
    Version(1, 9, 0);
    Version(1, 10, 0);
    Target(1, 11, 0);
    prompts.PushAnswer(platform::IDOK, 1);
    EXPECT_EQ(ChosenVersion(Select(true)), "1.10.0");
    const auto asked = prompts.Asked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, "XmlNotUpdated");
    EXPECT_EQ(asked[0].args, (std::vector<std::string>{"100 v. 1.11.0", "100 v. 1.9.0", "100 v. 1.10.0"}));
}

TEST_F(SelectVocabularyTest, SubstituteDeclinedBindsNothing) {
    Version(1, 9, 0);
    Target(1, 11, 0);
    prompts.PushAnswer(platform::IDCANCEL);
    EXPECT_EQ(Select(true), kVocabularyNotChosen);
    EXPECT_EQ(node, -1);
    EXPECT_EQ(index.At(0)->users, 0);
    EXPECT_EQ(index.At(0)->ItemCount(), 0u);
    // A selection outside the list counts as declined.
    prompts.PushAnswer(platform::IDOK, 5);
    EXPECT_EQ(Select(true), kVocabularyNotChosen);
}

TEST_F(SelectVocabularyTest, GenericFileOfferedToExperts) {
    Description generic;
    generic.sw = 0;
    generic.hw = "0";
    generic.withIdentity = false;
    generic.descr = "Generic drive";
    WriteDescription(generic, "0_generic.xml");
    Target(3, 0, 0);
    const std::string message =
        "The configuration file required to communicate with this device was not found.\r\n\r\n"
        "Please install the last version of 'Tunova'\r\nor contact Varno in order to receive the correct "
        "file "
        "'100 v. 3.0.0'.";

    prompts.PushAnswer(platform::IDNO);
    EXPECT_EQ(Select(), kVocabularyNotChosen);
    auto asked = prompts.Asked();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].text,
              message + "\r\n\r\nOnly for expert user: would you like to use 'Generic drive' file?");
    EXPECT_EQ(asked[0].caption, "Configuration file not found");
    EXPECT_EQ(asked[0].flags, platform::MB_YESNO | platform::MB_ICONERROR);
    EXPECT_EQ(asked[1].text, message);
    EXPECT_EQ(asked[1].flags, platform::MB_OK | platform::MB_ICONERROR);
    EXPECT_EQ(node, -1);

    prompts.Clear();
    prompts.PushAnswer(platform::IDYES);
    const int chosen = Select();
    ASSERT_GE(chosen, 0);
    EXPECT_EQ(index.At(chosen)->descr, "Generic drive");
    EXPECT_EQ(node, chosen);
    EXPECT_EQ(prompts.Asked().size(), 1u);
}

TEST_F(SelectVocabularyTest, NothingFoundTellsTheUser) {
    Version(1, 0, 0, 0, 0, 101);
    Target(3, 0, 0);
    g_DebugMode = true;
    EXPECT_EQ(Select(), kVocabularyNotChosen);
    const auto asked = prompts.Asked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].text.find(
                  "'100 v. 3.0.0'.\r\n\r\nDrive hardware:\t3 v. 1.0.0\r\nDrive software:\t100 v. 3.0.0"),
              std::string::npos)
        << asked[0].text;
    EXPECT_EQ(asked[0].flags, platform::MB_OK | platform::MB_ICONERROR);
}

TEST_F(SelectVocabularyTest, FileWithoutItemsIsDropped) {
    Description d;
    d.items = "";
    WriteDescription(d);
    Target(1, 0, 0);
    EXPECT_EQ(Select(), kVocabularyHasNoItems);
    EXPECT_EQ(node, -1);
    EXPECT_EQ(index.Count(), 0);
}

TEST_F(SelectVocabularyTest, FileCopiedFromAnExtraFolder) {
    Version(1, 0, 0);
    const fs::path extra = root / "extra";
    Description d;
    d.major = 1;
    d.minor = 5;
    WriteDescription(d, {}, extra);
    WriteFile(BaseFolder() / "PelmoraExtraXmlPaths.txt", extra.string() + "\n");
    GetBrandList().LoadExtraPaths();
    GetBrandList().WaitExtraPaths();
    ASSERT_FALSE(GetBrandList().GetExtraFolders().empty());

    Target(1, 5, 0);
    const int chosen = Select();
    EXPECT_EQ(ChosenVersion(chosen), "1.5.0");
    EXPECT_TRUE(fs::exists(BaseFolder() / "Xml" / "100_1_5_0.xml"));
    EXPECT_EQ(index.At(chosen)->folderMode, 1u);
    EXPECT_TRUE(prompts.Asked().empty());
}

}  // namespace
