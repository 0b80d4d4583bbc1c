// The user firmware and firmware details windows under the display: each opens, runs its main
// path and leaves a picture.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <wx/app.h>
#include <wx/dnd.h>
#include <wx/window.h>

#include "../packages/PackageTestSupport.h"
#include "packages/FirmwareContainer.h"
#include "packages/ui/DlgDownDetails.h"
#include "packages/ui/UserFirmwareDlg.h"
#include "platform/Prompt.h"
#include "platform/ui/CommonDialogs.h"
#include "platform/ui/Gui.h"
#include "platform/ui/WindowPicture.h"

using namespace packages;
using namespace packages::ui;
namespace fs = std::filesystem;

namespace {

fs::path Artifacts() {
    return fs::path(TUNOVA_BINARY_DIR) / "artifacts" / "packages_ui";
}

template <class D, class F>
int RunModal(D& dialog, const std::string& picture, F step, std::function<bool()> ready = nullptr) {
    wxTheApp->CallAfter([&dialog, picture, step, ready] {
        platform::ui::RunUntil([&] { return dialog.Wx() != nullptr && dialog.Wx()->IsShownOnScreen(); },
                               10000);
        if (ready) {
            EXPECT_TRUE(platform::ui::RunUntil(ready, 20000));
        }
        platform::ui::ProcessPending();
        EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog.Wx(), Artifacts() / picture));
        step();
    });
    return dialog.DoModal();
}

// A private temporary folder for the test (the windows must leave nothing in it) and the
// sources with their user folders below it.
class FirmwareDialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("tunova_fw_dialogs_" + std::to_string(::getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "tmp");
        const char* old = std::getenv("TMPDIR");
        oldTmp_ = old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
        cwd_ = fs::current_path();
        platform::SetPromptService(&answers_);
    }
    void TearDown() override {
        platform::SetPromptService(nullptr);
        EXPECT_EQ(fs::current_path(), cwd_);
        // Nothing (icons or other) was written to the temporary folder.
        EXPECT_TRUE(fs::is_empty(root_ / "tmp"));
        if (oldTmp_)
            ::setenv("TMPDIR", oldTmp_->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
        fs::remove_all(root_);
    }
    void AddSource(const std::string& name) {
        auto source = std::make_unique<foundation::CBrand>();
        source->m_strName = name;
        source->m_strBaseFolder = (root_ / name).string();
        sources_.Sources().push_back(std::move(source));
    }
    fs::path Put(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
        return file;
    }
    fs::path root_, cwd_;
    std::optional<std::string> oldTmp_;
    foundation::CBrandList sources_;
    platform::ScriptedPrompts answers_;
};

const char* kIdentityFile =
    "<DEVICE hw=\"410\"><Identity><Product code=\"1234\" name=\"Axis drive\"/>"
    "<Version major=\"2\" minor=\"3\" patch=\"1\"/></Identity></DEVICE>";
const char* kLegacyFile =
    "<DEVICE hw=\"77\" sw=\"20\" sw_ver=\"3\"><Description>Old drive</Description></DEVICE>";

TEST_F(FirmwareDialogs, UserFirmwareListImportRemoveExport) {
    AddSource("Varno");
    const fs::path folder = root_ / "Varno" / "Xml";
    Put(folder / "20_3.xml", kLegacyFile);
    Put(folder / "plain.xml", kLegacyFile);
    const fs::path incoming = Put(root_ / "in" / "1234_2.xml", kIdentityFile);
    const fs::path broken = Put(root_ / "in" / "9_broken.xml", "<DEVICE hw=\"1 <");
    fs::create_directories(root_ / "out");

    CUserFirmwareDlg dialog(sources_);
    dialog.chooseExportFolder = [&] { return std::optional<fs::path>(root_ / "out"); };
    fs::path opened;
    dialog.openFolder = [&](const fs::path& f) {
        opened = f;
        return true;
    };
    std::vector<std::string> first, imported, afterRemove;
    bool tabs = true, text = false, workerAfter = true;
    std::string folderText;
    answers_.PushAnswer(platform::IDOK);   // "Empty selection"
    answers_.PushAnswer(platform::IDOK);   // "File(s) successfully copied."
    answers_.PushAnswer(platform::IDYES);  // "Confirm deleting file(s)?"
    EXPECT_EQ(RunModal(
                  dialog, "user_firmware.png",
                  [&] {
                      first = dialog.RowTexts();
                      tabs = dialog.IsItemShown(IDC_UFW_TABS);
                      text = dialog.IsItemShown(IDC_UFW_TEXT);
                      folderText = dialog.GetItemText(IDC_UFW_FOLDER);
                      dialog.ImportFiles({incoming, broken});
                      EXPECT_TRUE(platform::ui::RunUntil([&] { return dialog.ScanDone(); }, 20000));
                      imported = dialog.RowTexts();
                      platform::ui::ProcessPending();
                      EXPECT_TRUE(platform::ui::SaveWindowPicture(
                          dialog.Wx(), Artifacts() / "user_firmware_imported.png"));
                      dialog.ClickItem(IDC_UFW_EXPORT);  // nothing selected
                      dialog.SelectRows({0, 1});
                      dialog.ClickItem(IDC_UFW_EXPORT);
                      dialog.ClickItem(IDC_UFW_REMOVE);
                      EXPECT_TRUE(platform::ui::RunUntil([&] { return dialog.ScanDone(); }, 20000));
                      afterRemove = dialog.RowTexts();
                      dialog.ClickItem(IDC_UFW_OPEN_FOLDER);
                      dialog.ClickItem(platform::IDOK);
                      workerAfter = dialog.WorkerRunning();
                  },
                  [&] { return dialog.ScanDone(); }),
              platform::IDOK);
    EXPECT_FALSE(tabs);
    EXPECT_TRUE(text);
    EXPECT_EQ(folderText, folder.string());
    EXPECT_EQ(first, std::vector<std::string>{"20_3.xml|77|20|3|Old drive"});
    ASSERT_EQ(imported.size(), 3u);
    EXPECT_EQ(imported[0], "1234_2.xml|410|1234|2.3.1|Axis drive");
    EXPECT_EQ(imported[1], "20_3.xml|77|20|3|Old drive");
    EXPECT_EQ(imported[2].rfind("9_broken.xml||||Not a valid XML file", 0), 0u) << imported[2];
    EXPECT_EQ(afterRemove.size(), 1u);
    EXPECT_TRUE(fs::exists(root_ / "out" / "1234_2.xml"));
    EXPECT_TRUE(fs::exists(root_ / "out" / "20_3.xml"));
    EXPECT_FALSE(fs::exists(folder / "20_3.xml"));
    EXPECT_TRUE(fs::exists(folder / "plain.xml"));
    EXPECT_EQ(opened, folder);
    EXPECT_FALSE(workerAfter);
    std::vector<std::string> asked;
    for (const auto& q : answers_.Asked()) asked.push_back(q.text);
    EXPECT_EQ(asked, (std::vector<std::string>{"Empty selection", "File(s) successfully copied.",
                                               "Confirm deleting file(s)?"}));
}

TEST_F(FirmwareDialogs, UserFirmwareTabsShowEachSourcesFolder) {
    AddSource("Varno");
    AddSource("Kimbra");
    sources_.SetCurrentIndex(1);
    Put(root_ / "Varno" / "Xml" / "1_a.xml", kLegacyFile);
    Put(root_ / "Kimbra" / "Xml" / "2_b.xml", kIdentityFile);
    CUserFirmwareDlg dialog(sources_);
    std::vector<std::string> kimbra, varno;
    bool tabs = false;
    EXPECT_EQ(RunModal(
                  dialog, "user_firmware_tabs.png",
                  [&] {
                      tabs = dialog.IsItemShown(IDC_UFW_TABS) && !dialog.IsItemShown(IDC_UFW_TEXT);
                      kimbra = dialog.RowTexts();
                      dialog.CheckItem(IDC_UFW_DETAILS, 0);
                      dialog.ShowTab(0);
                      EXPECT_TRUE(platform::ui::RunUntil([&] { return dialog.ScanDone(); }, 20000));
                      varno = dialog.RowTexts();
                      dialog.ClickItem(platform::IDOK);
                  },
                  [&] { return dialog.ScanDone(); }),
              platform::IDOK);
    EXPECT_TRUE(tabs);
    EXPECT_EQ(kimbra, std::vector<std::string>{"2_b.xml|410|1234|2.3.1|Axis drive"});
    EXPECT_EQ(varno, std::vector<std::string>{"1_a.xml||||"});  // names only without details
    EXPECT_EQ(dialog.Folder(), root_ / "Varno" / "Xml");
}

TEST_F(FirmwareDialogs, DroppedFilesAreImportedAndFailuresSaid) {
    AddSource("Varno");
    const fs::path dropped = Put(root_ / "in" / "7_drop.xml", kLegacyFile);
    CUserFirmwareDlg dialog(sources_);
    std::vector<std::string> rows;
    answers_.PushAnswer(platform::IDOK);  // the copy error
    EXPECT_EQ(RunModal(
                  dialog, "user_firmware_drop.png",
                  [&] {
                      auto* target =
                          dynamic_cast<wxFileDropTarget*>(dialog.Item(IDC_UFW_LIST)->GetDropTarget());
                      ASSERT_NE(target, nullptr);
                      wxArrayString names;
                      names.Add(wxString::FromUTF8(dropped.string()));
                      names.Add(wxString::FromUTF8((root_ / "in" / "8_gone.xml").string()));
                      target->OnDropFiles(0, 0, names);
                      EXPECT_TRUE(platform::ui::RunUntil([&] { return dialog.ScanDone(); }, 20000));
                      rows = dialog.RowTexts();
                      dialog.ClickItem(platform::IDOK);
                  },
                  [&] { return dialog.ScanDone(); }),
              platform::IDOK);
    EXPECT_EQ(rows, std::vector<std::string>{"7_drop.xml|77|20|3|Old drive"});
    ASSERT_EQ(answers_.AskedCount(), 1u);
    EXPECT_EQ(answers_.Asked()[0].text.rfind("Error copying file.\n", 0), 0u) << answers_.Asked()[0].text;
    EXPECT_EQ(answers_.Asked()[0].caption, "Error");
}

std::vector<uint8_t> GoodContainer() {
    using namespace package_test;
    Header4::Component c;
    const uint16_t id[6] = {1234, 2, 3, 1, 0, 0};
    std::copy(id, id + 6, c.id);
    c.attributes = {{1, 3}};
    return Container({{22, 2, Header4().Identity(c).Hardware({410, 411}).Manage(1, 1, 2, 3, 4).Build()},
                      {57, 2, {1, 2, 3, 4}}});
}

TEST_F(FirmwareDialogs, DetailsShowTheContainerAndCopyIt) {
    const fs::path good = root_ / "fw.bin";
    const auto bytes = GoodContainer();
    std::ofstream(good, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const fs::path bad = Put(root_ / "bad.bin", "CC damaged");
    struct Case {
        fs::path file;
        std::string incompatibility;
        const char* picture;
    };
    for (const Case& c : {Case{good, "", "firmware_details.png"},
                          Case{good, "firmware:Hardware 410 requires 9 v. 2, device has 9 v. 1",
                               "firmware_details_incompatible.png"},
                          Case{bad, "", "firmware_details_damaged.png"}}) {
        SCOPED_TRACE(c.picture);
        CFirmwareContainer container;
        const std::string error = container.ReadFirmwareInfo(c.file, true, true);
        const FirmwareDetails details{&container, error, c.incompatibility};
        CDlgDownDetails dialog(details);
        std::string tree, selected;
        std::optional<std::string> clipboard;
        EXPECT_EQ(RunModal(dialog, c.picture,
                           [&] {
                               tree = dialog.TreeText();
                               selected = dialog.SelectedText();
                               dialog.Wx()->SetSize(dialog.Wx()->GetSize() + wxSize(80, 60));
                               platform::ui::ProcessPending();
                               dialog.ClickItem(IDC_DETAILS_COPY);
                               clipboard = platform::ui::GetClipboardText();
                               dialog.ClickItem(platform::IDOK);
                           }),
                  platform::IDOK);
        std::string expectedCopy = FirmwareDetailsCopyText(details, false);
        EXPECT_EQ(clipboard, std::optional<std::string>(expectedCopy));
        if (!error.empty()) {
            EXPECT_EQ(tree, error + "\n");
            EXPECT_EQ(expectedCopy, error);
            continue;
        }
        EXPECT_EQ(selected, c.file.string());
        EXPECT_NE(tree.find("  Firmware 1234 v. 2.3.1\n"), std::string::npos) << tree;
        EXPECT_EQ(tree.find("Cause of incompatibility") != std::string::npos, !c.incompatibility.empty())
            << tree;
        EXPECT_EQ(container.TreeCtrl(), nullptr);
    }
}

}  // namespace
