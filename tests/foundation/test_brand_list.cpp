#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "IdentityTestTree.h"
#include "foundation/BrandList.h"
#include "foundation/Identity.h"
#include "platform/CodePage.h"

using namespace foundation;

namespace {

using identity_test::TempTree;
using identity_test::WriteCdi;
using identity_test::WriteText;
using platform::Scope;
namespace fs = std::filesystem;

const std::string kProductKey = "SOFTWARE\\Varno\\Tunova";

class BrandList : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(identity_test::RegistryIsPrivate()); }

    std::string P(const fs::path& path) const { return path.string(); }
    fs::path Root() const { return tree_.Root(); }
    static platform::Registry& Reg() { return TempTree::Registry(); }

    // The program's own packages: the patch package beside its "Xml" folder, and the program's.
    void InstallProgramPackages(const std::string& patchVersion = "1.2.0") {
        fs::create_directories(tree_.ProgramData() / "Xml");
        WriteCdi(tree_.ProgramData() / "TunovaPatch.cdi", "TunovaPatch", patchVersion);
        WriteCdi(tree_.ProgramData() / "Tunova.cdi", "Tunova", "1.0.3");
    }

    // A further source in the registry with two packages.
    void RegisterKimbra() {
        const std::string key = kProductKey + "\\Xml\\Kimbra";
        fs::create_directories(Root() / "kimbra" / "Xml");
        WriteCdi(Root() / "kimbra" / "pkgA" / "A.cdi", "Kimbra A", "2.0");
        WriteCdi(Root() / "kimbra" / "pkgB" / "B.cdi", "Kimbra B", "2.1");
        ASSERT_TRUE(Reg().SetString(Scope::Machine, key, "", P(Root() / "kimbra")));
        ASSERT_TRUE(
            Reg().SetString(Scope::Machine, key, "Installer A", P(Root() / "kimbra" / "pkgA" / "A.cdi")));
        ASSERT_TRUE(
            Reg().SetString(Scope::Machine, key, "Installer B", P(Root() / "kimbra" / "pkgB" / "B.cdi")));
    }

    void SetBeta(bool on) {
        ASSERT_TRUE(Reg().SetDword(Scope::Machine, kProductKey, "Beta", on ? 1 : 0));
        ReadProgramSwitches();
        ASSERT_EQ(g_Beta.load(), on);
    }

    TempTree tree_;
    CBrandList list_;
};

TEST_F(BrandList, NothingInstalledGivesTheProgramSourceOnly) {
    list_.LoadConfigurationFolders();
    ASSERT_EQ(list_.Sources().size(), 1u);
    const CBrand& varno = *list_.Sources()[0];
    EXPECT_EQ(varno.m_strName, "Varno");
    EXPECT_EQ(varno.m_strDataFolder, P(tree_.CommonData()));
    EXPECT_TRUE(varno.m_modules.empty());
    EXPECT_TRUE(varno.m_custom.empty());
    EXPECT_EQ(list_.GetCurrentIndex(), 0);
    EXPECT_EQ(list_.GetCurrentFolder(), P(tree_.ProgramData()));
    EXPECT_EQ(list_.GetBrandFolder(nullptr, 1), P(tree_.CommonData() / "Xml"));
    EXPECT_EQ(varno.FindFolderEntry(), nullptr);
}

TEST_F(BrandList, ProgramPackagesGiveTheFirstModule) {
    InstallProgramPackages();
    list_.LoadConfigurationFolders();
    const CBrand& varno = *list_.Sources()[0];
    ASSERT_EQ(varno.m_modules.size(), 1u);
    const PatchModule& module = varno.m_modules.begin()->second;
    EXPECT_EQ(module.xmlFolder, P(tree_.ProgramData() / "Xml"));
    EXPECT_EQ(module.fileName, "TunovaPatch.cdi");
    EXPECT_EQ(module.version, "1.2.0");
    EXPECT_EQ(module.installedBy, "Tunova 1.0.3");
    EXPECT_EQ(module.kind, 0);
    EXPECT_EQ(varno.m_strPackageTitle, "TunovaPatch");
    EXPECT_EQ(list_.GetCurrentFolder(), P(tree_.ProgramData() / "Xml"));
    EXPECT_EQ(varno.FindFolderEntry(), &module);

    // A package file of another title is no patch package.
    WriteCdi(tree_.ProgramData() / "TunovaPatch.cdi", "Something", "9.9");
    list_.LoadConfigurationFolders();
    EXPECT_TRUE(list_.Sources()[0]->m_modules.empty());
}

TEST_F(BrandList, InstalledPatchPackageAndNewestModule) {
    InstallProgramPackages("1.2.0");
    WriteCdi(Root() / "patch" / "Xml" / "TunovaPatch.cdi", "TunovaPatch", "1.10.0");
    ASSERT_TRUE(Reg().SetString(Scope::Machine, "SOFTWARE\\Varno\\TunovaPatch", "InstallPath",
                                P(Root() / "patch") + "/"));
    list_.LoadConfigurationFolders();
    const CBrand& varno = *list_.Sources()[0];
    ASSERT_EQ(varno.m_modules.size(), 2u);
    const PatchModule& patch = varno.m_modules.at(P(Root() / "patch" / "Xml"));
    EXPECT_EQ(patch.installedBy, "TunovaPatch");
    EXPECT_EQ(patch.version, "1.10.0");
    EXPECT_EQ(list_.GetCurrentFolder(), P(Root() / "patch" / "Xml"));  // 1.10.0 is newer than 1.2.0

    // The patch key naming the program's own folder does not replace its module.
    ASSERT_TRUE(Reg().SetString(Scope::Machine, "SOFTWARE\\Varno\\TunovaPatch", "InstallPath",
                                P(tree_.ProgramData())));
    WriteCdi(tree_.ProgramData() / "Xml" / "TunovaPatch.cdi", "TunovaPatch", "7.0");
    list_.LoadConfigurationFolders();
    ASSERT_EQ(list_.Sources()[0]->m_modules.size(), 1u);
    EXPECT_EQ(list_.Sources()[0]->m_modules.begin()->second.installedBy, "Tunova 1.0.3");
}

TEST_F(BrandList, CustomEntries) {
    WriteCdi(Root() / "custom" / "special.cdi", "Special drives", "1.0");
    const std::string custom = kProductKey + "\\Custom";
    ASSERT_TRUE(
        Reg().SetString(Scope::Machine, custom + "\\Special", "", P(Root() / "custom" / "special.cdi")));
    ASSERT_TRUE(Reg().SetString(Scope::Machine, custom + "\\Gone", "", P(Root() / "custom" / "gone.cdi")));
    ASSERT_TRUE(Reg().CreateKey(Scope::Machine, custom + "\\Empty"));
    list_.LoadConfigurationFolders();
    const CBrand& varno = *list_.Sources()[0];
    ASSERT_EQ(varno.m_custom.size(), 1u);
    EXPECT_EQ(varno.m_custom[0].folder, P(Root() / "custom"));
    EXPECT_EQ(varno.m_custom[0].key, "Special");
    EXPECT_EQ(varno.m_custom[0].title, "Special drives");
    EXPECT_EQ(list_.GetBrandFolder("varno", 2), P(Root() / "custom"));
    EXPECT_EQ(list_.GetBrandFolder("VARNO", 3), "");
    EXPECT_EQ(list_.GetBrandFolder("Kimbra", 0), "");
    EXPECT_EQ(list_.GetBrandFolder(nullptr, -1), "");
}

TEST_F(BrandList, RegistrySourcesAndSiblingOnlyWithTheBetaSwitch) {
    InstallProgramPackages("1.2.0");
    RegisterKimbra();
    fs::path sibling = Root() / "share beta";
    fs::create_directories(sibling / "Xml");
    WriteCdi(sibling / "TunovaPatch.cdi", "TunovaPatch", "1.5.0");

    SetBeta(false);
    list_.LoadConfigurationFolders();
    ASSERT_EQ(list_.Sources().size(), 1u);
    EXPECT_EQ(list_.Sources()[0]->m_modules.size(), 1u);
    EXPECT_EQ(list_.GetCurrentFolder(), P(tree_.ProgramData() / "Xml"));

    SetBeta(true);
    list_.LoadConfigurationFolders();
    ASSERT_EQ(list_.Sources().size(), 2u);
    const CBrand& varno = *list_.Sources()[0];
    ASSERT_EQ(varno.m_modules.size(), 2u);
    EXPECT_EQ(varno.m_modules.at(P(sibling / "Xml")).version, "1.5.0");
    EXPECT_EQ(list_.GetCurrentFolder(), P(sibling / "Xml"));

    const CBrand& kimbra = *list_.Sources()[1];
    EXPECT_EQ(kimbra.m_strName, "Kimbra");
    EXPECT_EQ(kimbra.m_strDataFolder, P(Root() / "kimbra"));
    ASSERT_EQ(kimbra.m_modules.size(), 2u);
    EXPECT_EQ(kimbra.m_modules.at(P(Root() / "kimbra" / "pkgA" / "Xml")).installedBy, "Installer A");
    EXPECT_EQ(kimbra.m_modules.at(P(Root() / "kimbra" / "pkgB" / "Xml")).fileName, "B.cdi");
    EXPECT_EQ(kimbra.m_strPackageTitle, "Kimbra A");
    EXPECT_EQ(list_.GetBrandFolder("kimbra", 0), P(Root() / "kimbra" / "pkgB" / "Xml"));
    EXPECT_EQ(list_.GetBrandFolder("kimbra", 1), P(Root() / "kimbra" / "Xml"));
    EXPECT_EQ(list_.GetCurrentIndex(), 0);
}

TEST_F(BrandList, BetaProgramFolderFindsItsReleaseSibling) {
    fs::path beta = Root() / "Tunova beta";
    fs::path release = Root() / "Tunova";
    WriteCdi(beta / "TunovaPatch.cdi", "TunovaPatch", "2.0.0");
    WriteCdi(release / "TunovaPatch.cdi", "TunovaPatch", "1.9.0");
    setenv("TUNOVA_DATA_DIR", beta.c_str(), 1);  // the tree puts it back
    InitProgramFolders();
    SetBeta(true);
    list_.LoadConfigurationFolders();
    const CBrand& varno = *list_.Sources()[0];
    ASSERT_EQ(varno.m_modules.size(), 2u);
    EXPECT_EQ(varno.m_modules.count(P(release)), 1u);  // no "Xml" folder: the folder itself
    EXPECT_EQ(list_.GetCurrentFolder(), P(beta));
}

TEST_F(BrandList, PerUserPackagesAndTheFirstRegistrationStays) {
    InstallProgramPackages();
    WriteCdi(Root() / "mine" / "Mine.cdi", "Mine", "3.0");
    const std::string patch = P(Root() / "mine" / "Mine.cdi") + "\n" +
                              P(tree_.ProgramData() / "TunovaPatch.cdi") + "\n\n" +
                              P(Root() / "missing" / "X.cdi");
    ASSERT_TRUE(Reg().SetString(Scope::User, kProductKey + "\\Xml\\Varno", "Patch", patch));
    list_.LoadConfigurationFolders();
    const CBrand& varno = *list_.Sources()[0];
    ASSERT_EQ(varno.m_modules.size(), 2u);
    const PatchModule& mine = varno.m_modules.at(P(Root() / "mine" / "Xml"));
    EXPECT_EQ(mine.installedBy, "user");
    EXPECT_EQ(mine.kind, 1);
    const PatchModule& program = varno.m_modules.at(P(tree_.ProgramData() / "Xml"));
    EXPECT_EQ(program.installedBy, "Tunova 1.0.3");  // machine-wide registration kept
    EXPECT_EQ(program.kind, 0);
    EXPECT_EQ(list_.GetCurrentFolder(), P(Root() / "mine" / "Xml"));
}

TEST_F(BrandList, AddPatchModuleDirectly) {
    CBrand source;
    EXPECT_FALSE(AddPatchModule(source, P(Root() / "none.cdi"), "user", 1));
    WriteCdi(Root() / "a" / "A.cdi", "Alpha", "1.0");
    EXPECT_TRUE(AddPatchModule(source, P(Root() / "a" / "A.cdi"), "user", 1));
    EXPECT_EQ(source.m_strPackageTitle, "Alpha");
    WriteCdi(Root() / "a" / "B.cdi", "Beta", "2.0");
    EXPECT_FALSE(AddPatchModule(source, P(Root() / "a" / "B.cdi"), "other", 0));  // same "Xml" folder
    ASSERT_EQ(source.m_modules.size(), 1u);
    EXPECT_EQ(source.m_modules.begin()->second.fileName, "A.cdi");
}

TEST_F(BrandList, CurrentSourceOutsideTheListAndBrandSelection) {
    RegisterKimbra();
    SetBeta(true);
    list_.LoadConfigurationFolders();
    ASSERT_EQ(list_.Sources().size(), 2u);

    EXPECT_TRUE(SelectBrandFromXml("<CONFIG brand=\"kimbra\"/>", list_));
    EXPECT_EQ(list_.GetCurrentIndex(), 1);
    EXPECT_FALSE(SelectBrandFromXml("<CONFIG brand=\"Kimbra\"/>", list_));  // already current
    EXPECT_FALSE(SelectBrandFromXml("<CONFIG brand=\"Halvik\"/>", list_));
    EXPECT_FALSE(SelectBrandFromXml("<CONFIG/>", list_));
    EXPECT_FALSE(SelectBrandFromXml("<CONFIG brand=\"Varno\"", list_));
    EXPECT_TRUE(SelectBrandFromXml("<CONFIG brand=\"VARNO\"/>", list_));
    EXPECT_EQ(list_.GetCurrentIndex(), 0);

    list_.SetCurrentIndex(5);
    EXPECT_EQ(list_.GetCurrentFolder(), "");
    EXPECT_EQ(list_.GetBrandFolder(nullptr, 0), "");
    EXPECT_EQ(list_.GetBrandFolder("Kimbra", 1), P(Root() / "kimbra" / "Xml"));
    list_.RemoveAll();
    EXPECT_TRUE(list_.Sources().empty());
    EXPECT_EQ(list_.GetBrandFolder("Kimbra", 0), "");
}

TEST_F(BrandList, SearchCloudWithoutAReachableIndexFindsNothing) {
    CIdentity target;
    target.Set(1234, 2, 3, 1, 3);
    EXPECT_FALSE(list_.SearchCloud(target));
}

TEST_F(BrandList, ExtraPathsKeepOnlyExistingFoldersOnce) {
    for (const char* name : {"dirA", "dirB", "dirC", "dirD"}) fs::create_directories(Root() / name);
    WriteText(Root() / "fileX", "not a folder");
    WriteText(tree_.CommonData() / "PelmoraExtraXmlPaths.txt",
              P(Root() / "dirA") + "\n" + P(Root() / "dirB") + "\r\n\n" + P(Root() / "missing") + "\n" +
                  P(Root() / "fileX") + "\n" + P(Root() / "dirA") + "\n");
    // The user's file in UTF-16 with a byte-order mark, as an editor may save it.
    WriteText(
        tree_.UserData() / "PelmoraExtraXmlPaths.txt",
        "\xFF\xFE" + platform::Utf8ToUtf16LeBytes(P(Root() / "dirB") + "\r\n" + P(Root() / "dirC") + "\r\n"));

    list_.LoadExtraPaths();
    list_.WaitExtraPaths();
    std::vector<std::string> found = list_.GetExtraFolders();
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{P(Root() / "dirA"), P(Root() / "dirB"), P(Root() / "dirC")}));

    // Files without any path leave the earlier folders in place.
    WriteText(tree_.CommonData() / "PelmoraExtraXmlPaths.txt", "\n\r\n");
    fs::remove(tree_.UserData() / "PelmoraExtraXmlPaths.txt");
    list_.LoadExtraPaths();
    list_.WaitExtraPaths();
    EXPECT_EQ(list_.GetExtraFolders().size(), 3u);

    // A new list replaces them.
    WriteText(tree_.UserData() / "PelmoraExtraXmlPaths.txt", P(Root() / "dirD"));
    list_.LoadExtraPaths();
    list_.WaitExtraPaths();
    EXPECT_EQ(list_.GetExtraFolders(), (std::vector<std::string>{P(Root() / "dirD")}));
}

TEST_F(BrandList, ExtraPathScanRepeatedWhileRunning) {
    for (int i = 0; i < 8; ++i) fs::create_directories(Root() / ("d" + std::to_string(i)));
    std::string lines;
    for (int i = 0; i < 8; ++i) lines += P(Root() / ("d" + std::to_string(i))) + "\n";
    WriteText(tree_.CommonData() / "PelmoraExtraXmlPaths.txt", lines);
    // Scans started back to back never mix their results.
    for (int round = 0; round < 5; ++round) list_.LoadExtraPaths();
    list_.WaitExtraPaths();
    EXPECT_EQ(list_.GetExtraFolders().size(), 8u);
}

}  // namespace

namespace {

// A path test that hangs until released, as on a vanished network share.
class HangingTest {
  public:
    bool operator()(const std::string& path) {
        std::unique_lock<std::mutex> lock(mutex_);
        ++entered_;
        cv_.notify_all();
        cv_.wait(lock, [this] { return released_; });
        return path.find("keep") != std::string::npos;
    }
    void WaitEntered(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [&] { return entered_ >= count; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        cv_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int entered_ = 0;
    bool released_ = false;
};

TEST_F(BrandList, HangingScanWorkersOutliveTheListSafelyAndAreJoinedLater) {
    WriteText(tree_.CommonData() / "PelmoraExtraXmlPaths.txt", "/net/keep\n/net/drop\n");
    auto hanging = std::make_shared<HangingTest>();
    {
        auto list = std::make_unique<CBrandList>();
        list->SetFolderTest([hanging](const std::string& path) { return (*hanging)(path); });
        list->SetScanJoinTimeoutMs(50);
        list->LoadExtraPaths();
        hanging->WaitEntered(2);
        const auto start = std::chrono::steady_clock::now();
        list.reset();  // the workers still run: the list goes anyway, without killing them
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
    EXPECT_EQ(LateExtraPathWorkers(), 2u);
    // The workers finish on their own state (AddressSanitizer would catch a write to the list).
    hanging->Release();
    for (int i = 0; i < 200 && LateExtraPathWorkers() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(LateExtraPathWorkers(), 0u);
}

TEST_F(BrandList, ANewScanDoesNotTakeTheResultsOfAnOlderHangingOne) {
    WriteText(tree_.CommonData() / "PelmoraExtraXmlPaths.txt", "/net/keep-old\n");
    auto hanging = std::make_shared<HangingTest>();
    list_.SetFolderTest([hanging](const std::string& path) { return (*hanging)(path); });
    list_.SetScanJoinTimeoutMs(20);
    list_.LoadExtraPaths();
    hanging->WaitEntered(1);

    fs::create_directories(Root() / "fresh");
    WriteText(tree_.CommonData() / "PelmoraExtraXmlPaths.txt", P(Root() / "fresh") + "\n");
    list_.SetFolderTest(nullptr);
    list_.LoadExtraPaths();
    list_.WaitExtraPaths();
    hanging->Release();
    for (int i = 0; i < 200 && LateExtraPathWorkers() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(list_.GetExtraFolders(), (std::vector<std::string>{P(Root() / "fresh")}));
}

}  // namespace
