// The About box, the integrated configuration hint and the program-wide helpers beside them.
#include <fstream>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/window.h>

#include "AppTestSupport.h"
#include "app/AboutDlg.h"
#include "app/Startup.h"
#include "foundation/XmlDocument.h"
#include "platform/Prompt.h"
#include "platform/ui/Gui.h"
#include "platform/ui/Images.h"
#include "platform/ui/WindowPicture.h"

using namespace app;

namespace {

template <class D, class F>
int RunModal(D& dialog, const std::string& picture, F step) {
    wxTheApp->CallAfter([&dialog, picture, step] {
        platform::ui::RunUntil([&] { return dialog.Wx() != nullptr && dialog.Wx()->IsShownOnScreen(); },
                               5000);
        platform::ui::ProcessPending();
        EXPECT_TRUE(platform::ui::SaveWindowPicture(dialog.Wx(), AppArtifacts() / picture));
        step();
    });
    return dialog.DoModal();
}

TEST(AboutBox, ShowsTheVersionTextsAndHidesWhatIsEmpty) {
    platform::ui::SetResourceFolder(std::filesystem::path(TUNOVA_FIXTURES).parent_path().parent_path() /
                                    "app" / "res");
    ReadProgramVersionInfo();
    struct Case {
        std::string components, privateBuild;
        bool componentsShown, privateShown;
    };
    for (const Case& c : {Case{"", "", false, false},
                          Case{"Drive descriptions 1.2\r\nmodule.cdi 1.0\r\nA 1\r\nB 2\r\nLinkora 1.0.0.0",
                               "lab build", true, true}}) {
        CAboutDlg dialog;
        dialog.components = c.components;
        dialog.privateBuild = c.privateBuild;
        std::string title, product;
        bool componentsShown = false, privateShown = false;
        EXPECT_EQ(RunModal(dialog, c.components.empty() ? "about_plain.png" : "about_components.png",
                           [&] {
                               title = dialog.Wx()->GetLabel().utf8_string();
                               product = dialog.GetItemText(IDC_ABOUT_PRODUCT);
                               componentsShown = dialog.IsItemShown(IDC_ABOUT_COMPONENTS);
                               privateShown = dialog.IsItemShown(IDC_ABOUT_PRIVATE_BUILD);
                               dialog.ClickItem(platform::IDOK);
                           }),
                  platform::IDOK);
        EXPECT_EQ(title, "About Tunova");
        EXPECT_EQ(product, Program().productText);
        EXPECT_EQ(componentsShown, c.componentsShown);
        EXPECT_EQ(privateShown, c.privateShown);
    }
    EXPECT_EQ(ComponentLineCount("a"), 1);
    EXPECT_EQ(ComponentLineCount("a\r\nb\r\nc\r\nd\r\ne"), 5);
}

TEST(QzJovHelp, ListsTheStepsUnderThePeersCaption) {
    CQzJovHelpDlg dialog("Jov 7: no valid configuration");
    std::string caption, first;
    EXPECT_EQ(RunModal(dialog, "qz_jov_help.png",
                       [&] {
                           caption = dialog.Wx()->GetLabel().utf8_string();
                           first = dialog.GetItemText(IDC_QZ_HELP_FIRST);
                           dialog.ClickItem(platform::IDCANCEL);
                       }),
              platform::IDCANCEL);
    EXPECT_EQ(caption, "Jov 7: no valid configuration");
    EXPECT_EQ(first, "To create a valid configuration you should:");
}

TEST(ProgramHelpers, BuiltInErrorListAndItsAbsence) {
    TempRegistry data("data");  // its folder stands in for the data folder
    setenv("TUNOVA_DATA_DIR", data.dir.c_str(), 1);
    EXPECT_EQ(LoadDefaultErrorList(), "");
    std::filesystem::create_directories(data.dir / "res");
    std::filesystem::copy_file(
        std::filesystem::path(TUNOVA_FIXTURES).parent_path().parent_path() / "app/res/310-errorlist.xml",
        data.dir / "res/310-errorlist.xml");
    const std::string list = LoadDefaultErrorList();
    unsetenv("TUNOVA_DATA_DIR");
    foundation::CXmlDocument document;
    ASSERT_EQ(document.LoadXml(list), foundation::S_OK);
    EXPECT_EQ(document.Root().Name(), "ERRORLIST");
    EXPECT_GT(document.Root().GetChildCount("GROUP"), 0);
}

TEST(ProgramHelpers, XmlFilePathOfAnIndexItemWithoutBrandStaysRelative) {
    foundation::CXmlDocument document;
    ASSERT_EQ(document.LoadXml("<Item file=\"1234_2_3_1.xml\" nFw=\"1\"/>"), foundation::S_OK);
    EXPECT_EQ(GetXmlFilePath(document.Root()), "1234_2_3_1.xml");
}

}  // namespace
