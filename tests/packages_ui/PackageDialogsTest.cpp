// The windows of the packages under the display: each opens, runs its main path and leaves a picture.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/listbox.h>
#include <wx/listctrl.h>
#include <wx/window.h>

#include "foundation/BrandList.h"
#include "foundation/CloudSearch.h"
#include "foundation/Identity.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"
#include "packages/ui/ArchivioDlg.h"
#include "packages/ui/CloudSearchWindow.h"
#include "packages/ui/ConfigFileDialogs.h"
#include "packages/ui/PathModuleDlg.h"
#include "platform/Prompt.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"
#include "platform/ui/WxPrompts.h"

using namespace packages;
using namespace packages::ui;
namespace fs = std::filesystem;

namespace {

fs::path Artifacts() {
    return fs::path(TUNOVA_BINARY_DIR) / "artifacts" / "packages_ui";
}

// Runs the dialog modally; once it is on the screen, waits for ready, saves its picture and runs step.
template <class D, class F>
int RunModal(D& dialog, const std::string& picture, F step, std::function<bool()> ready = nullptr) {
    wxTheApp->CallAfter([&dialog, picture, step, ready] {
        platform::ui::RunUntil([&] { return dialog.Wx() != nullptr && dialog.Wx()->IsShownOnScreen(); },
                               5000);
        if (ready) platform::ui::RunUntil(ready, 5000);
        platform::ui::ProcessPending();
        EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog.Wx(), Artifacts() / picture));
        step();
    });
    return dialog.DoModal();
}

class TempDir {
  public:
    TempDir() {
        path = fs::temp_directory_path() / ("tunova_packages_ui_" + std::to_string(::getpid()));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    fs::path path;
};

// A 1x1 red PNG.
const char* kPng =
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==";

TEST(SelectConfigurationFile, FillsTheTreeAfterShowingAndReturnsTheChosenFile) {
    TempDir dir;
    fs::create_directories(dir.path / "Xml");
    std::ofstream(dir.path / "FmwTree.xml") << "<DeviceFmw><Icons><Icon name=\"red\" data=\"" << kPng
                                            << "\"/><Icon name=\"bad\" data=\"!!\"/></Icons>"
                                            << "<Node title=\"Drives\" icon=\"red\"><Node title=\"Series A\" "
                                               "hw=\"10\" icon=\"bad\"/></Node></DeviceFmw>";
    foundation::CBrandList sources;
    auto varno = std::make_unique<foundation::CBrand>();
    varno->m_strName = "Varno";
    varno->m_strFolder = (dir.path / "Xml").string();
    sources.Sources().push_back(std::move(varno));

    foundation::CXmlDocument files;
    ASSERT_EQ(files.LoadXml(
                  "<Files><F hw=\"10\" sw=\"100\" sw_ver=\"2\" build=\"0\" descr=\"Drive A\" file=\"a2.xml\" "
                  "brand=\"Varno\" pver=\"100,2,0,0,0,0\"/><F hw=\"10\" sw=\"100\" sw_ver=\"1\" "
                  "descr=\"Drive A\" file=\"a1.xml\" brand=\"Varno\" pver=\"100,1,0,0,0,0\"/>"
                  "<F hw=\"77\" descr=\"Other\" file=\"o.xml\" pver=\"5,1,0,0,0,0\"/></Files>"),
              foundation::S_OK);
    foundation::CIdentity connected;
    connected.ParseCompactText("100,1,0,0,0,0");
    CdlgSelectConfigurationFile dialog(&files.Root(), sources, nullptr, &connected);
    std::string tree, text;
    EXPECT_EQ(RunModal(
                  dialog, "select_configuration_file.png",
                  [&] {
                      tree = dialog.TreeText();
                      text = dialog.GetItemText(IDC_CONFIG_TEXT);
                      dialog.ClickItem(platform::IDOK);
                  },
                  [&] { return !dialog.TreeText().empty(); }),
              platform::IDOK);
    EXPECT_EQ(tree,
              "Drives\n  Series A\n    Drive A\n      2.0.0\n      1.0.0\nOthers\n  Other\n    1.0.0\n");
    // The connected device's file is preselected.
    EXPECT_EQ(text, "hw=10  sw=100  " + (dir.path / "Xml").string() + "/a1.xml");
    EXPECT_EQ(dialog.file, "a1.xml");
    EXPECT_EQ(dialog.swVer, 1u);
    EXPECT_EQ(dialog.identity.version.major, 1);
}

TEST(XmlNotUpdatedDialog, TextsButtonsAndAnswers) {
    struct Case {
        std::vector<std::string> alternatives;
        int proposed;
        int click;
        bool listShown;
        std::string question;
        int result;
    };
    const std::vector<Case> cases = {
        {{"12 v. 1", "12 v. 0"},
         1,
         platform::IDOK,
         true,
         "Use '12 v. 0' instead of '12 v. 2' ?",
         platform::IDOK},
        {{"12 v. 1"}, -1, platform::IDNO, false, "", platform::IDNO},
        {{"12 v. 1"},
         0,
         platform::IDCANCEL,
         false,
         "Use '12 v. 1' instead of '12 v. 2' ?",
         platform::IDCANCEL},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(n);
        CDlgXmlNotUpdated dialog("12 v. 2", c.alternatives, c.proposed);
        std::string expected, question;
        bool listShown = true, yesEnabled = false;
        EXPECT_EQ(RunModal(dialog, "xml_not_updated_" + std::to_string(n++) + ".png",
                           [&] {
                               expected = dialog.GetItemText(IDC_XML_EXPECTED);
                               question = dialog.GetItemText(IDC_XML_QUESTION);
                               listShown = dialog.IsItemShown(IDC_XML_SELECT);
                               yesEnabled = dialog.IsItemEnabled(platform::IDOK);
                               dialog.ClickItem(c.click);
                           }),
                  c.result);
        EXPECT_EQ(expected, "'12 v. 2'.");
        EXPECT_EQ(question, c.question);
        EXPECT_EQ(listShown, c.listShown);
        EXPECT_EQ(yesEnabled, c.proposed >= 0);
        if (c.result == platform::IDOK) {
            EXPECT_EQ(dialog.Index(), c.proposed);
        }
    }
}

TEST(XmlNotUpdatedDialog, AnswersTheEnginesQuestion) {
    struct Case {
        int click;
        int result;
        int selection;
    };
    // Without a proposal the first (best) alternative is proposed; "No" and "Cancel" choose nothing.
    for (const Case& c : {Case{platform::IDOK, platform::IDOK, 0}, Case{platform::IDNO, platform::IDNO, -1},
                          Case{platform::IDCANCEL, platform::IDCANCEL, -1}}) {
        int selection = -1;
        EXPECT_EQ(AnswerXmlNotUpdated({"12 v. 2", "12 v. 1", "12 v. 0"}, &selection,
                                      [&](CDlgXmlNotUpdated& dialog) {
                                          return RunModal(dialog, "xml_not_updated_engine.png",
                                                          [&] { dialog.ClickItem(c.click); });
                                      }),
                  c.result);
        EXPECT_EQ(selection, c.selection);
    }
    EXPECT_EQ(AnswerXmlNotUpdated({}, nullptr), platform::IDCANCEL);
}

TEST(PathModuleDialog, SelectAndCancelUndoes) {
    foundation::CBrandList sources;
    for (const char* name : {"Varno", "Kimbra"}) {
        auto source = std::make_unique<foundation::CBrand>();
        source->m_strName = name;
        sources.Sources().push_back(std::move(source));
    }
    auto& varno = *sources.Sources()[0];
    for (const char* path : {"/m/a/Xml", "/m/b/Xml"})
        varno.m_modules[path] = foundation::PatchModule{path, "x.cdi", "1.0", "setup", 0};
    varno.m_strFolder = "/m/a/Xml";

    for (int ok : {0, 1}) {
        SCOPED_TRACE(ok);
        CPathModuleDlg dialog(sources);
        std::string selected;
        bool tabs = false;
        int rows = 0;
        EXPECT_EQ(RunModal(dialog, ok ? "module_paths_ok.png" : "module_paths.png",
                           [&] {
                               tabs = dialog.IsItemShown(IDC_PATHS_TABS) &&
                                      dialog.IsItemShown(IDC_PATHS_DEFAULT);
                               rows = dialog.ItemAs<wxListCtrl>(IDC_PATHS_LIST)->GetItemCount();
                               dialog.SelectRow(1);
                               dialog.ClickItem(IDC_PATHS_SELECT);
                               selected = dialog.GetItemText(IDC_PATHS_SELECTED);
                               dialog.ShowTab(1);
                               dialog.ClickItem(ok ? platform::IDOK : platform::IDCANCEL);
                           }),
                  ok ? platform::IDOK : platform::IDCANCEL);
        EXPECT_TRUE(tabs);
        EXPECT_EQ(rows, 2);
        EXPECT_EQ(selected, "/m/b/Xml");
        EXPECT_EQ(dialog.Changed(), ok == 1);
        EXPECT_EQ(varno.m_strFolder, ok ? "/m/b/Xml" : "/m/a/Xml");
        EXPECT_EQ(sources.GetCurrentIndex(), 0);  // viewing another tab does not change the default
    }
}

class ScriptDrive : public CArchiveDrive {
  public:
    bool FindBestBoot(uint32_t, uint32_t, const CNodeCompInfo&, BootFile&) override { return false; }
    std::vector<IndexedFile> IndexedFiles() override { return {}; }
    std::string IecEditorPath() override { return {}; }
    bool IsProgramLoaded() override { return false; }
    bool CompileIec() override { return false; }
    std::optional<LegacyIdentity> Legacy() override { return LegacyIdentity{321, 2, 55, 7, 0, true}; }
    int UploadCell(const std::string&, uint8_t*, uint32_t&) override { return -1; }
    std::string DeviceName() override { return "Axis 1"; }
    std::string FirmwarePath() override { return {}; }
    bool ExportParameters(const fs::path& file) override {
        std::ofstream(file) << "<DEVICE Type=\"0\" SwRev=\"0\"/>";
        return true;
    }
};

TEST(ArchiveDialogs, CreateArchiveWithInformationAndParameters) {
    TempDir dir;
    platform::ScriptedPrompts answers;
    platform::SetPromptService(&answers);
    foundation::CXmlDocument description;
    ASSERT_EQ(description.LoadXml("<Archive defaultname=\"axis.arc\"><Objects><Information selected=\"1\"/>"
                                  "<Parameters selected=\"1\"><Opt name=\"target\" selected=\"1\"/><Opt "
                                  "name=\"file\"/></Parameters>"
                                  "</Objects></Archive>"),
              foundation::S_OK);
    CArchivio archive;
    archive.Load(&description.Root());
    archive.defaultName = (dir.path / "axis.arc").string();
    ScriptDrive drive;
    CArchivioDlg dialog(archive, drive);
    // The item dialogs run under the display too, each with its own picture.
    dialog.openItemDialog = [&](ArchiveRow row) {
        if (row == ArchiveRow::Parameters) {
            CArchiParamDlg param(archive, drive);
            return RunModal(param, "archive_parameters.png", [&] { param.ClickItem(platform::IDOK); });
        }
        CArchiInfoDlg info(*archive.info);
        return RunModal(info, "archive_information.png", [&] {
            info.SetItemText(CArchiInfoDlg::IDC_VERSION, "1.2 b3");
            info.NormaliseVersion();
            EXPECT_EQ(info.GetItemText(CArchiInfoDlg::IDC_VERSION), "1.2b3");
            info.ClickItem(platform::IDOK);
        });
    };
    std::string device, sizeBefore, sizeAfter;
    bool bootShown = true;
    EXPECT_EQ(RunModal(dialog, "create_archive.png",
                       [&] {
                           device = dialog.GetItemText(IDC_ARCHIVE_DEVICE);
                           bootShown = dialog.IsItemShown(CArchivioDlg::CheckId(ArchiveRow::Boot));
                           sizeBefore = dialog.GetItemText(IDC_ARCHIVE_SIZE);
                           dialog.ClickItem(CArchivioDlg::ButtonId(ArchiveRow::Information));
                           dialog.ClickItem(CArchivioDlg::ButtonId(ArchiveRow::Parameters));
                           sizeAfter = dialog.GetItemText(IDC_ARCHIVE_SIZE);
                           dialog.ClickItem(IDC_ARCHIVE_CREATE);
                           dialog.ClickItem(platform::IDCANCEL);
                       }),
              platform::IDCANCEL);
    platform::SetPromptService(nullptr);
    EXPECT_EQ(device, "Hardware:321 v.2  Firmware:55 v.7");
    EXPECT_FALSE(bootShown);
    EXPECT_NE(sizeBefore, sizeAfter);
    EXPECT_EQ(archive.info->version.substr(0, 5), "1.2b3");
    EXPECT_TRUE(fs::exists(dir.path / "axis.arc"));
    ASSERT_FALSE(answers.Asked().empty());
    EXPECT_EQ(answers.Asked().back().text, "Archive successfull created.");
}

}  // namespace

namespace {

class WatchingWindow : public packages::ui::CCloudSearchWindow {
  public:
    using CCloudSearchWindow::CCloudSearchWindow;
    void SetText(int line, const std::string& text) override {
        CCloudSearchWindow::SetText(line, text);
        if (line == 0 && Wx()) {
            platform::ui::ProcessPending();
            pictured = platform::ui::SaveWindowPicture(Wx(), Artifacts() / "cloud_search.png");
            first = Text(0);
            caption = Wx()->GetTitle().utf8_string();
        }
    }
    bool pictured = false;
    std::string first, caption;
};

TEST(CloudSearchWindow, ShowsTheSearchAndClosesWithIt) {
    WatchingWindow window(nullptr);
    foundation::SetCloudSearchProgress(&window);
    foundation::CIdentity wanted;
    wanted.Set(1234, 2, 3, 1, 0);
    foundation::CloudSearchSettings settings;
    settings.baseAddress = "http://127.0.0.1:1/";  // nobody listens: the search fails at once
    settings.targetFolder = fs::temp_directory_path() / "tunova_cloud_window_unused";
    std::string message;
    EXPECT_FALSE(foundation::SearchCloudIndex(wanted, settings, &message));
    foundation::SetCloudSearchProgress(nullptr);
    EXPECT_TRUE(window.pictured);
    EXPECT_EQ(window.caption, "Searching libraries in source directory");
    EXPECT_EQ(window.first, "Searching Vkr cloud for configuration file 1234 v. 2.3.1 ...");
    EXPECT_EQ(window.Wx(), nullptr);
    EXPECT_EQ(message, "Failed download index");
}

}  // namespace

namespace {

class BootDrive : public ScriptDrive {
  public:
    std::vector<BootFile> CompatibleBoots(uint32_t hwCode, uint32_t bootCode, const CNodeCompInfo&) override {
        asked = {hwCode, bootCode};
        return {{"/boots/b3.xml", 11, 3, 0}, {"/boots/b4.xml", 11, 4, 2}};
    }
    std::optional<LegacyIdentity> Legacy() override { return LegacyIdentity{321, 2, 11, 1, 0, false}; }
    std::pair<uint32_t, uint32_t> asked;
};

TEST(ArchiveDialogs, BootDialogPicksACompatibleBoot) {
    platform::ScriptedPrompts answers;
    platform::SetPromptService(&answers);
    foundation::CXmlDocument description;
    ASSERT_EQ(description.LoadXml("<Archive><Objects><Boot selected=\"1\"><Opt name=\"best\" selected=\"1\"/>"
                                  "<Opt name=\"compatible\"/><Opt name=\"binary\" selected=\"1\"/></Boot>"
                                  "</Objects></Archive>"),
              foundation::S_OK);
    CArchivio archive;
    archive.Load(&description.Root());
    BootDrive drive;
    const CNodeCompInfo node = ReadNodeIdentity(drive);
    CArchiBootDlg dialog(archive, drive, node);
    dialog.runSelect = [](CArchiSelectDlg& select) {
        return RunModal(select, "archive_select_version.png", [&] {
            EXPECT_EQ(select.GetItemText(CArchiSelectDlg::IDC_TITLE), "Boot 11 version:");
            select.ItemAs<wxListBox>(CArchiSelectDlg::IDC_LIST)->SetSelection(1);
            select.ClickItem(platform::IDOK);
        });
    };
    std::string before, after;
    bool sameShown = true, xmlShown = true;
    EXPECT_EQ(RunModal(dialog, "archive_boot.png",
                       [&] {
                           before = dialog.GetItemText(CArchiBootDlg::IDC_PICKED);
                           sameShown = dialog.IsItemShown(CArchiBootDlg::IDC_SAME);
                           xmlShown = dialog.IsItemShown(CArchiBootDlg::IDC_XML);
                           dialog.CheckItem(CArchiBootDlg::IDC_BEST, 0);
                           dialog.CheckItem(CArchiBootDlg::IDC_COMPATIBLE, 1);
                           dialog.ClickItem(CArchiBootDlg::IDC_SELECT);
                           after = dialog.GetItemText(CArchiBootDlg::IDC_PICKED);
                           dialog.ClickItem(platform::IDOK);
                       }),
              platform::IDOK);
    platform::SetPromptService(nullptr);
    EXPECT_EQ(before, "none");
    EXPECT_FALSE(sameShown);
    EXPECT_FALSE(xmlShown);
    EXPECT_EQ(after, "boot 11 version 4 beta 2");
    EXPECT_EQ(drive.asked, (std::pair<uint32_t, uint32_t>{321, 11}));
    EXPECT_TRUE(archive.boot->compatible.selected);
    EXPECT_FALSE(archive.boot->best.selected);
    EXPECT_EQ(archive.boot->pickedPath, "/boots/b4.xml");
    EXPECT_EQ(archive.boot->version, 4u);  // loaded as the compatible boot
}

}  // namespace
