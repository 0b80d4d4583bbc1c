#pragma once
// "Select configuration file" (the device tree of the known configuration files) and
// "Configuration file not updated" (accept an older file for a device).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/Identity.h"
#include "packages/ConfigFileTree.h"
#include "platform/ui/ControlHost.h"

namespace foundation {
class CBrandList;
}  // namespace foundation

namespace platform::ui {
class WxPromptService;
}  // namespace platform::ui

namespace packages::ui {

enum : int {
    IDC_CONFIG_TREE = 502,
    IDC_CONFIG_TEXT = 663,
    IDC_XML_EXPECTED = 1900,
    IDC_XML_QUESTION = 1901,
    IDC_XML_SELECT = 1008,
};

class CdlgSelectConfigurationFile : public platform::ui::Dialog {
  public:
    // files: the element whose children are the known configuration files (the drive object's
    // connection window's list); connected: the connected device's identity, null when none.
    CdlgSelectConfigurationFile(const foundation::CXmlNode* files, const foundation::CBrandList& sources,
                                ConfigEntryVersionCheck versionCheck, const foundation::CIdentity* connected);

    // Results after OK.
    std::string file, descr, folder;
    uint32_t hw = 0, sw = 0, swVer = 0, build = 0;
    foundation::CIdentity identity;

    const ConfigFileTree& Tree() const { return tree_; }
    // The tree's item texts, one line per item indented by depth (tests).
    std::string TreeText() const;
    // Selects the item of an entry (-1: none), as a click does.
    bool SelectEntry(int entry);

  protected:
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    void FillTree();
    void OnSelection(int entry);

    const foundation::CXmlNode* files_;
    const foundation::CBrandList& sources_;
    ConfigEntryVersionCheck versionCheck_;
    const foundation::CIdentity* connected_;
    ConfigFileTree tree_;
    int chosen_ = -1;
    bool filled_ = false;
};

class CDlgXmlNotUpdated : public platform::ui::Dialog {
  public:
    CDlgXmlNotUpdated(std::string expected, std::vector<std::string> alternatives, int proposed);
    // The alternative chosen (valid after "Yes").
    int Index() const { return index_; }

  protected:
    bool OnInitDialog() override;

  private:
    void ShowQuestion();
    std::string expected_;
    std::vector<std::string> alternatives_;
    int index_;
};

// Answers the engine's "XmlNotUpdated" question (arguments: the expected file, then the
// alternatives best first) with the dialog. "Yes" gives IDOK and the chosen alternative; "No"
// (do not use an older file) gives IDNO and "Cancel" IDCANCEL: the engine uses no file either
// way. Without a proposal from the caller the first alternative is proposed.
void RegisterConfigFileDialogs(platform::ui::WxPromptService& prompts);
// The same answer with the dialog run by run (DoModal when empty).
int AnswerXmlNotUpdated(const std::vector<std::string>& args, int* selection,
                        const std::function<int(CDlgXmlNotUpdated&)>& run = nullptr);

}  // namespace packages::ui
