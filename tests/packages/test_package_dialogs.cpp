// What the archive, configuration-file selection and module paths dialogs do, without windows.

#include <gtest/gtest.h>

#include "PackageTestSupport.h"
#include "foundation/BrandList.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"
#include "packages/ArchiveDialog.h"
#include "packages/ConfigFileTree.h"
#include "packages/ModulePaths.h"
#include "platform/Folders.h"
#include "platform/Prompt.h"

using namespace foundation;
using namespace packages;
using namespace package_test;

namespace {

// ---- Configuration-file tree ----

// Text of the tree, one line per item, indented by depth; versions carry their entry's file.
void Dump(const std::vector<ConfigTreeItem>& items, const ConfigFileTree& tree, int depth, std::string& out) {
    for (const auto& item : items) {
        out += std::string(size_t(depth) * 2, ' ') + item.text;
        if (!item.icon.empty()) out += " [" + item.icon + "]";
        if (item.entry >= 0) out += " -> " + tree.entries[size_t(item.entry)].file;
        out += "\n";
        Dump(item.children, tree, depth + 1, out);
    }
}
std::string Dump(const ConfigFileTree& tree) {
    std::string out;
    Dump(tree.roots, tree, 0, out);
    return out;
}

const char* kFiles = R"(<Files>
  <F hw="10" sw="100" sw_ver="1" descr="Drive A" file="a1.xml" brand="Varno" pver="100,1,0,0,0,0"/>
  <F hw="10" sw="100" sw_ver="3" descr="drive a " file="a3.xml" pver="100,3,0,0,0,0"/>
  <F hw="10" sw="100" sw_ver="3" descr="Drive A" file="a3beta.xml" pver="100,3,0,0,2,4"/>
  <F hw="10" sw="100" sw_ver="2" descr="Drive A" file="a2.xml" pver="100,2,0,0,0,0"/>
  <F hw="10" sw="0" descr="Drive A" file="nocode.xml" pver=""/>
  <F hw="20" sw="200" sw_ver="5" descr="Motor B" file="b5.xml" pver="200,5,0,0,0,0"/>
  <F hw="30" sw="300" sw_ver="1" descr="Hidden" file="hidden.xml" hide="1" pver="300,1,0,0,0,0"/>
  <F hw="40" sw="400" sw_ver="1" descr="Ignored" file="ignored.xml" pver="400,1,0,0,0,0"/>
  <F hw="50" sw="500" sw_ver="1" descr="Stray" file="stray.xml" pver="500,1,0,0,0,0"/>
  <F hw="0" sw="600" sw_ver="1" descr="No hardware" file="nohw.xml" pver="600,1,0,0,0,0"/>
  <F hw="60" sw="700" sw_ver="1" descr="Too new" file="toonew.xml" minver="99.0" pver="700,1,0,0,0,0"/>
</Files>)";

const char* kDeviceTree = R"(<devicefmw ignore=" 40 , 41,99999999999999999999999,x">
  <Icons><Icon name="drive" data="iVBORw0KGgo="/></Icons>
  <Node title="Drives" icon="drive">
    <Node title="Series A" hw="10"/>
    <Node title="Series Z" hw="99"/>
  </Node>
  <Node title="Motors"><Node title="B" hw="20" icon="unknown"/></Node>
</devicefmw>)";

struct TreeDocs {
    CXmlDocument files, tree;
    TreeDocs(const char* filesText, const char* treeText) {
        EXPECT_EQ(files.LoadXml(filesText), S_OK);
        if (treeText) {
            EXPECT_EQ(tree.LoadXml(treeText), S_OK);
        }
    }
};

bool NotTooNew(const CXmlNode& entry) {
    return entry.GetAttribute("minver", "").empty();
}

TEST(ConfigFileTree, GroupsUnderTheDeviceTreeNewestFirstAndOthersLast) {
    TreeDocs docs(kFiles, kDeviceTree);
    const ConfigFileTree tree =
        BuildConfigFileTree(&docs.tree.Root(), &docs.files.Root(), NotTooNew, nullptr);
    EXPECT_EQ(Dump(tree),
              "Drives [drive]\n"
              "  Series A\n"
              "    Drive A -> a3.xml\n"  // blanks and case ignored: one description, the first's text
              "      3.0.0 -> a3.xml\n"
              "      3.0.0-beta4 -> a3beta.xml\n"
              "      2.0.0 -> a2.xml\n"
              "      1.0.0 -> a1.xml\n"
              "  Series Z\n"  // no files: an empty leaf
              "Motors\n"
              "  B [unknown]\n"
              "    Motor B -> b5.xml\n"
              "      5.0.0 -> b5.xml\n"
              "Others\n"
              "  Stray -> stray.xml\n"
              "    1.0.0 -> stray.xml\n");
    ASSERT_EQ(tree.icons.size(), 1u);
    EXPECT_EQ(tree.icons[0].first, "drive");
    // Hidden, ignored, no hardware and too new are never shown; the entry without a code is kept
    // in its group without a version item.
    std::vector<std::string> files;
    for (const auto& e : tree.entries) files.push_back(e.file);
    EXPECT_EQ(files, (std::vector<std::string>{"a1.xml", "a3.xml", "a3beta.xml", "a2.xml", "nocode.xml",
                                               "b5.xml", "stray.xml"}));
    EXPECT_EQ(tree.preselected, -1);
}

TEST(ConfigFileTree, WithoutADeviceTreeEveryGroupIsAtTheTopAndTheConnectedDeviceIsPreselected) {
    TreeDocs docs(kFiles, "<Other/>");
    CIdentity connected;
    connected.ParseCompactText("100,2,0,0,0,0");
    for (const CXmlNode* treeRoot :
         {static_cast<const CXmlNode*>(nullptr), static_cast<const CXmlNode*>(&docs.tree.Root())}) {
        const ConfigFileTree tree = BuildConfigFileTree(treeRoot, &docs.files.Root(), nullptr, &connected);
        std::string tops;
        for (const auto& item : tree.roots) tops += item.text + ";";
        // Without the version check the "too new" entry is there; hidden and ignored-by-tree rules
        // only: the ignore list belongs to the device tree.
        EXPECT_EQ(tops, "Drive A;Motor B;Ignored;Stray;Too new;");
        ASSERT_GE(tree.preselected, 0);
        EXPECT_EQ(tree.entries[size_t(tree.preselected)].file, "a2.xml");
    }
    EXPECT_TRUE(BuildConfigFileTree(&docs.tree.Root(), nullptr, nullptr, nullptr).roots.empty());
}

TEST(ConfigFileTree, SelectionTextsAndFolders) {
    CBrandList sources;
    auto varno = std::make_unique<CBrand>();
    varno->m_strName = "Varno";
    varno->m_strFolder = "/opt/varno/Xml";
    varno->m_strBaseFolder = "/var/varno";
    sources.Sources().push_back(std::move(varno));
    ConfigFileEntry entry;
    entry.hw = 10;
    entry.sw = 100;
    entry.file = "a1.xml";
    EXPECT_EQ(EntryFolder(entry, sources), "");
    entry.brand = "VARNO";
    EXPECT_EQ(EntryFolder(entry, sources), "/opt/varno/Xml");
    entry.nFw = 1;
    EXPECT_EQ(EntryFolder(entry, sources), "/var/varno/Xml");
    EXPECT_EQ(SelectionText(entry, "/var/varno/Xml"), "hw=10  sw=100  /var/varno/Xml/a1.xml");
    EXPECT_EQ(SelectionText(entry, std::string(400, 'x')).size(), 260u);

    EXPECT_EQ(DeviceTreeFolder("/opt/varno/Xml"), "/opt/varno");
    EXPECT_EQ(DeviceTreeFolder("/opt/varno/Xml/"), "/opt/varno");
    EXPECT_EQ(DeviceTreeFolder("/Xml"), "/Xml");
    EXPECT_EQ(DeviceTreeFolder("Xml"), "Xml");
}

TEST(XmlNotUpdated, Texts) {
    const std::vector<std::string> alternatives{"1234 v. 2.1", "1234 v. 2.0"};
    struct Case {
        int proposed;
        std::string question;
    };
    for (const Case& c :
         {Case{0, "Use '1234 v. 2.1' instead of '1234 v. 2.3' ?"},
          Case{1, "Use '1234 v. 2.0' instead of '1234 v. 2.3' ?"}, Case{-1, ""}, Case{2, ""}}) {
        SCOPED_TRACE(c.proposed);
        EXPECT_EQ(XmlNotUpdatedQuestion("1234 v. 2.3", alternatives, c.proposed), c.question);
    }
    EXPECT_EQ(XmlNotUpdatedExpectedText("1234 v. 2.3"), "'1234 v. 2.3'.");
}

// ---- Module paths ----

class ModulePaths : public TempFolder {
  protected:
    void SetUp() override {
        TempFolder::SetUp();
        for (const char* name : {"Varno", "Kimbra"}) {
            auto source = std::make_unique<CBrand>();
            source->m_strName = name;
            list_.Sources().push_back(std::move(source));
        }
        CBrand& varno = *list_.Sources()[0];
        for (const char* path : {"/m/a/Xml", "/m/b/Xml", "/m/c/Xml"})
            varno.m_modules[path] = PatchModule{path, "x.cdi", std::string("1.") + path[3], "setup", 0};
        varno.m_strFolder = "/m/b/Xml";
        list_.SetCurrentIndex(0);
    }
    std::string Paths() const {
        std::string out;
        for (const auto& row : model_->Rows()) out += (row.current ? "*" : "") + row.path + " ";
        return out;
    }
    CBrandList list_;
    std::unique_ptr<CModulePaths> model_;
};

TEST_F(ModulePaths, SelectRemoveAddAndTheChangedFlag) {
    model_ = std::make_unique<CModulePaths>(list_);
    EXPECT_TRUE(model_->ShowsTabs());
    EXPECT_EQ(model_->TabTexts(), (std::vector<std::string>{"*Varno", "Kimbra"}));
    EXPECT_EQ(Paths(), "/m/a/Xml */m/b/Xml /m/c/Xml ");
    EXPECT_EQ(model_->CurrentRow(), 1);
    EXPECT_EQ(model_->Rows()[0].version, "1.a");

    EXPECT_FALSE(model_->Select(1));  // already the folder
    EXPECT_FALSE(model_->Select(7));
    EXPECT_FALSE(model_->Changed());
    EXPECT_TRUE(model_->Select(2));
    EXPECT_EQ(model_->SelectedPath(), "/m/c/Xml");
    EXPECT_TRUE(model_->Changed());

    // Removing the folder's module moves the folder to the first remaining one, then to none.
    EXPECT_TRUE(model_->Remove(2));
    EXPECT_EQ(Paths(), "*/m/a/Xml /m/b/Xml ");
    EXPECT_TRUE(model_->Remove(1));
    EXPECT_EQ(model_->SelectedPath(), "/m/a/Xml");
    EXPECT_TRUE(model_->Remove(0));
    EXPECT_EQ(model_->SelectedPath(), "");
    EXPECT_FALSE(model_->Remove(0));

    const auto cdi = Write("new.cdi",
                           "<Package><property name=\"Title\" value=\"New\"/><property name=\"Version\" "
                           "value=\"3.0\"/></Package>");
    EXPECT_FALSE(model_->Add((dir_ / "missing.cdi").string()));
    ASSERT_TRUE(model_->Add(cdi.string()));
    ASSERT_EQ(model_->Rows().size(), 1u);
    EXPECT_EQ(model_->Rows()[0].installedBy, "user");
    EXPECT_EQ(model_->Rows()[0].version, "3.0");
    EXPECT_EQ(model_->Rows()[0].path, (dir_ / "Xml").string());
    model_->Accept();
    EXPECT_EQ(list_.Sources()[0]->m_modules.size(), 1u);
}

TEST_F(ModulePaths, CancelPutsEverythingBack) {
    model_ = std::make_unique<CModulePaths>(list_);
    model_->Remove(0);
    model_->Select(1);
    model_->ShowSource(1);
    model_->SetDefault();
    EXPECT_EQ(model_->TabTexts(), (std::vector<std::string>{"Varno", "*Kimbra"}));
    model_->Cancel();
    EXPECT_FALSE(model_->Changed());
    EXPECT_EQ(list_.GetCurrentIndex(), 0);
    EXPECT_EQ(list_.Sources()[0]->m_modules.size(), 3u);
    EXPECT_EQ(list_.Sources()[0]->m_strFolder, "/m/b/Xml");
}

TEST_F(ModulePaths, ViewingAnotherSourceLeavesTheDefaultCurrentAndOneSourceHasNoTabs) {
    model_ = std::make_unique<CModulePaths>(list_);
    model_->ShowSource(1);
    EXPECT_EQ(list_.GetCurrentIndex(), 1);
    EXPECT_TRUE(model_->Rows().empty());
    model_->Accept();
    EXPECT_EQ(list_.GetCurrentIndex(), 0);

    list_.Sources().pop_back();
    model_ = std::make_unique<CModulePaths>(list_);
    EXPECT_FALSE(model_->ShowsTabs());
    model_->SetDefault();
    EXPECT_EQ(model_->DefaultSource(), 0);
}

// ---- Archive dialogs ----

TEST(ArchiveDialogTexts, DeviceText) {
    struct Case {
        CNodeCompProd boot, firmware;
        std::string text;
    };
    auto prod = [](uint32_t code, uint32_t version, uint32_t build) {
        CNodeCompProd p;
        p.code = code;
        p.version = version;
        p.build = build;
        return p;
    };
    const std::vector<Case> cases = {
        {{}, {}, "Hardware:7 v.2"},
        {prod(11, 3, 0), prod(22, 4, 5), "Hardware:7 v.2  Boot:11 v.3  Firmware:22 v.4 beta 5"},
        {prod(11, 255, 9), prod(22, 255, 1), "Hardware:7 v.2  Boot:11 alpha 9  Firmware:22 alpha 1"},
        {prod(11, 3, 2), {}, "Hardware:7 v.2  Boot:11 v.3 beta 2"},
    };
    for (const Case& c : cases) {
        CNodeCompInfo node;
        node.hardware.code = 7;
        node.hardware.version = 2;
        node.boot = c.boot;
        node.firmware = c.firmware;
        EXPECT_EQ(ArchiveDeviceText(node), c.text);
    }
    EXPECT_EQ(ArchiveSizeText(1024), "Size: 1024 bytes");
}

TEST(ArchiveDialogTexts, VersionIsNormalised) {
    struct Case {
        std::string in, out;
        std::array<uint16_t, 4> numbers;
        uint8_t letter;
        uint32_t build;
    };
    constexpr uint16_t N = 0xFFFF;
    const std::vector<Case> cases = {
        {"1.2.3.4b5", "1.2.3.4b5", {1, 2, 3, 4}, 'b', 5},
        {"1.2 b3", "1.2b3", {N, N, 1, 2}, 'b', 3},
        {"2.1", "2.1", {N, N, 2, 1}, 0xFF, 0xFFFFFFFF},
        {"7", "7", {N, N, N, 7}, 0xFF, 0xFFFFFFFF},
        {"1.2.3.4.5", "2.3.4.5", {2, 3, 4, 5}, 0xFF, 0xFFFFFFFF},
        {"3.0rc", "3.0r", {N, N, 3, 0}, 'r', 0xFFFFFFFF},
        {"", "", {N, N, N, N}, 0xFF, 0xFFFFFFFF},
        {"x", "x", {N, N, N, N}, 'x', 0xFFFFFFFF},
        {"99999999999.1", "1", {N, N, N, 1}, 0xFF, 0xFFFFFFFF},  // a number too long is no number
        {"1 .2x", "1.2x", {N, N, 1, 2}, 'x', 0xFFFFFFFF},
        {"1. .2", "1 2", {N, N, N, 1}, ' ', 2},
        {"1.2 3", "1.2 3", {N, N, 1, 2}, ' ', 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        const ArchiveVersion v = ParseArchiveVersion(c.in);
        EXPECT_EQ(v.text, c.out);
        EXPECT_EQ(v.numbers, c.numbers);
        EXPECT_EQ(v.letter, c.letter);
        EXPECT_EQ(v.build, c.build);
    }
}

// A drive that answers from fixed records and exports a parameter file of its own.
class FakeDrive : public CArchiveDrive {
  public:
    bool FindBestBoot(uint32_t, uint32_t, const CNodeCompInfo&, BootFile&) override { return false; }
    std::vector<IndexedFile> IndexedFiles() override { return {}; }
    std::string IecEditorPath() override { return {}; }
    bool IsProgramLoaded() override { return false; }
    bool CompileIec() override { return false; }
    std::optional<LegacyIdentity> Legacy() override { return legacy; }
    int UploadCell(const std::string& item, uint8_t* buffer, uint32_t& size) override {
        auto it = cells.find(item);
        if (it == cells.end() || it->second.size() > size) return -303;
        std::copy(it->second.begin(), it->second.end(), buffer);
        size = uint32_t(it->second.size());
        return 0;
    }
    std::string DeviceName() override { return "Axis 1"; }
    std::string FirmwarePath() override { return {}; }
    bool ExportParameters(const std::filesystem::path& file) override {
        exportedTo = file;
        if (exportText.empty()) return false;
        std::ofstream(file, std::ios::binary) << exportText;
        return true;
    }
    std::optional<LegacyIdentity> legacy;
    std::map<std::string, std::vector<uint8_t>> cells;
    std::string exportText;
    std::filesystem::path exportedTo;
};

class ArchiveDialog : public TempFolder {
  protected:
    void SetUp() override {
        TempFolder::SetUp();
        platform::SetPromptService(&prompts_);
        ASSERT_EQ(description_.LoadXml(
                      "<Archive defaultname=\"axis.arc\"><Objects><Information selected=\"1\"/>"
                      "<Parameters selected=\"1\"><Opt name=\"target\" selected=\"1\"/><Opt name=\"file\"/>"
                      "</Parameters></Objects></Archive>"),
                  S_OK);
        archive_.Load(&description_.Root());
    }
    void TearDown() override {
        platform::SetPromptService(nullptr);
        TempFolder::TearDown();
    }
    std::vector<std::string> Asked() {
        std::vector<std::string> out;
        for (const auto& q : prompts_.Asked()) out.push_back(q.caption + ": " + q.text);
        prompts_.Clear();
        return out;
    }
    platform::ScriptedPrompts prompts_;
    CXmlDocument description_;
    CArchivio archive_;
    FakeDrive drive_;
};

const char* kParameters = "<DEVICE Type=\"0\" SwRev=\"0\" build=\"0\"><P n=\"speed\" v=\"1500\"/></DEVICE>";

TEST_F(ArchiveDialog, PackAndReadBack) {
    drive_.legacy = CArchiveDrive::LegacyIdentity{321, 2, 55, 7, 0, true};
    const CNodeCompInfo node = PrepareArchive(archive_, drive_);
    EXPECT_EQ(ArchiveDeviceText(node), "Hardware:321 v.2  Firmware:55 v.7");
    EXPECT_EQ(archive_.info->name.substr(0, 6), "Axis 1");
    EXPECT_FALSE(archive_.boot->present);

    ASSERT_TRUE(ApplyArchiveVersion(*archive_.info, ParseArchiveVersion("1.2 b3")));
    EXPECT_EQ(archive_.info->version.substr(0, 5), "1.2b3");
    drive_.exportText = kParameters;
    ASSERT_TRUE(ConfigureParameters(archive_, drive_, true, ""));
    // Exported into this process's own folder, and gone once read.
    EXPECT_EQ(drive_.exportedTo.parent_path(), platform::PrivateTempFolder());
    EXPECT_FALSE(std::filesystem::exists(drive_.exportedTo));
    EXPECT_EQ(archive_.param->content, std::vector<uint8_t>(kParameters, kParameters + strlen(kParameters)));

    const auto file = dir_ / "axis.arc";
    ASSERT_TRUE(CreateArchive(archive_, node, file));
    EXPECT_EQ(Asked(), std::vector<std::string>{"Archive: Archive successfull created."});
    // The file holds the image of the items: hardware code, the information and the parameters.
    const std::vector<uint8_t> bytes = ReadAll(file);
    ASSERT_EQ(bytes.size(), 32u + 16 + 16 + archive_.DataSize());
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find(kParameters), std::string::npos);
    EXPECT_NE(text.find("Axis 1"), std::string::npos);
    EXPECT_NE(text.find("1.2b3"), std::string::npos);
    EXPECT_EQ(archive_.BuildImage(321, {}).size(), bytes.size());
}

TEST_F(ArchiveDialog, RefusedArchivesGiveTheWritersMessageAndNoFile) {
    const CNodeCompInfo node = PrepareArchive(archive_, drive_);
    // Parameters selected but the export failed.
    EXPECT_FALSE(ConfigureParameters(archive_, drive_, true, ""));
    EXPECT_EQ(
        Asked(),
        std::vector<std::string>{
            "Invalid parameter file: Error loading parameter file, it is not accessible or not recognized"});
    EXPECT_FALSE(ConfigureParameters(archive_, drive_, false, (dir_ / "none.xml").string()));
    Asked();
    const auto file = dir_ / "refused.arc";
    EXPECT_FALSE(CreateArchive(archive_, node, file));
    EXPECT_EQ(Asked(),
              std::vector<std::string>{"Missing parameters: Parameters selected but not configured"});
    archive_.param->selected = 0;
    EXPECT_FALSE(CreateArchive(archive_, node, ""));
    EXPECT_EQ(Asked(), std::vector<std::string>{"Archive name: Please select a name for the archive"});
    EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(ArchiveDialog, NodeRecordsFromTheDriveItems) {
    // Hardware record: words 1, code, version, 0 pairs; a firmware record of format 1.
    drive_.cells["upload_comp_hw"] = {1, 0, 0x41, 0x01, 3, 0, 0, 0};
    drive_.cells["upload_comp_fw"] = {1, 0, 0, 0, 0, 0, 0, 77, 0, 0, 0, 9,
                                      0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0};
    const CNodeCompInfo node = ReadNodeIdentity(drive_);
    EXPECT_EQ(node.hardware.code, 0x141u);
    EXPECT_EQ(node.hardware.version, 3u);
    EXPECT_EQ(node.boot.code, 0u);
}

}  // namespace
