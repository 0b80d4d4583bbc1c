#pragma once
// "Firmware paths": the configuration-file sources and their modules, the folder each source
// takes its files from, patch packages added and removed. Cancel puts everything back.

#include <memory>

#include "packages/ModulePaths.h"
#include "platform/ui/ControlHost.h"

namespace packages::ui {

enum : int {
    IDC_PATHS_LIST = 1001,
    IDC_PATHS_ADD = 1003,
    IDC_PATHS_REMOVE = 1004,
    IDC_PATHS_SELECT = 1008,
    IDC_PATHS_SELECTED = 1010,
    IDC_PATHS_TABS = 1093,
    IDC_PATHS_DEFAULT = 1262,
};

class CPathModuleDlg : public platform::ui::Dialog {
  public:
    explicit CPathModuleDlg(foundation::CBrandList& sources);
    ~CPathModuleDlg() override;
    // Read by the caller after the dialog has closed.
    bool Changed() const { return model_.Changed(); }
    CModulePaths& Model() { return model_; }
    // The list's selected row (-1: none) and selecting one, as a click does.
    int SelectedRow() const;
    void SelectRow(int row);
    void ShowTab(int index);
    // Adds a patch package file as "Add" does after its file dialog.
    bool AddFile(const std::string& cdiFile);

  protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

  private:
    void FillList();
    void FillTabs();
    CModulePaths model_;
    bool closed_ = false;
};

}  // namespace packages::ui
