#pragma once
// "Create archive" and the dialogs of its items.

#include <functional>
#include <string>
#include <vector>

#include "packages/ArchiveDialog.h"
#include "platform/ui/ControlHost.h"

namespace packages::ui {

enum : int {
    IDC_ARCHIVE_FILE = 1000,
    IDC_ARCHIVE_BROWSE = 1001,
    IDC_ARCHIVE_SIZE = 1002,
    IDC_ARCHIVE_DEVICE = 1003,
    IDC_ARCHIVE_CREATE = 1004,
    // One row per item: check box, text, "..." (item k at IDC_ARCHIVE_ROW + 3 * k).
    IDC_ARCHIVE_ROW = 1010,
};

// Items in row order.
enum class ArchiveRow { Information, Boot, Firmware, Iec, Parameters, UserFiles };

class CArchivioDlg : public platform::ui::Dialog {
  public:
    CArchivioDlg(CArchivio& archive, CArchiveDrive& drive);

    static int CheckId(ArchiveRow row) { return IDC_ARCHIVE_ROW + 3 * static_cast<int>(row); }
    static int TextId(ArchiveRow row) { return CheckId(row) + 1; }
    static int ButtonId(ArchiveRow row) { return CheckId(row) + 2; }
    const CNodeCompInfo& Node() const { return node_; }
    // The item dialogs open modally from "..."; tests replace them.
    std::function<int(ArchiveRow row)> openItemDialog;

  protected:
    bool OnInitDialog() override;

  private:
    CArchiItem* Item(ArchiveRow row) const;
    void RefreshTexts();
    void RefreshSize();
    int OpenItemDialog(ArchiveRow row);

    CArchivio& archive_;
    CArchiveDrive& drive_;
    CNodeCompInfo node_;
};

class CArchiInfoDlg : public platform::ui::Dialog {
  public:
    explicit CArchiInfoDlg(CArchiGeneralInfo& info);
    enum : int {
        IDC_NAME = 1100,
        IDC_VERSION,
        IDC_AUTHOR,
        IDC_COMPANY,
        IDC_DESCRIPTION,
        IDC_DATE,
        IDC_TIME,
        IDC_NOW
    };
    // The version edit lost the focus.
    void NormaliseVersion();

  protected:
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    CArchiGeneralInfo& info_;
};

class CArchiSelectDlg : public platform::ui::Dialog {
  public:
    CArchiSelectDlg(std::string title, std::vector<std::string> entries);
    enum : int { IDC_TITLE = 1500, IDC_LIST };
    int chosen = -1;  // after OK

  protected:
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    std::string title_;
    std::vector<std::string> entries_;
};

class CArchiBootDlg : public platform::ui::Dialog {
  public:
    CArchiBootDlg(CArchivio& archive, CArchiveDrive& drive, const CNodeCompInfo& node);
    enum : int { IDC_BEST = 1600, IDC_SAME, IDC_COMPATIBLE, IDC_SELECT, IDC_PICKED, IDC_BINARY, IDC_XML };
    // "Select..." shows the candidates with this (CArchiSelectDlg::DoModal by default; tests replace it).
    std::function<int(CArchiSelectDlg&)> runSelect;

  protected:
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    void Select();
    CArchivio& archive_;
    CArchiveDrive& drive_;
    const CNodeCompInfo& node_;
    CArchiveSource::BootFile picked_;
};

class CArchiFirmwareDlg : public platform::ui::Dialog {
  public:
    CArchiFirmwareDlg(CArchivio& archive, CArchiveDrive& drive, const CNodeCompInfo& node);
    enum : int { IDC_BINARY = 1200, IDC_XML };

  protected:
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    CArchivio& archive_;
    CArchiveDrive& drive_;
    const CNodeCompInfo& node_;
};

class CArchiIECDlg : public platform::ui::Dialog {
  public:
    CArchiIECDlg(CArchivio& archive, CArchiveDrive& drive);
    enum : int { IDC_EDITOR = 1300, IDC_FILE, IDC_COMPILE, IDC_PATH, IDC_BROWSE };

  protected:
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    CArchivio& archive_;
    CArchiveDrive& drive_;
};

class CArchiParamDlg : public platform::ui::Dialog {
  public:
    CArchiParamDlg(CArchivio& archive, CArchiveDrive& drive);
    enum : int { IDC_TARGET = 1400, IDC_FILE, IDC_PATH, IDC_BROWSE };

  protected:
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    CArchivio& archive_;
    CArchiveDrive& drive_;
};

}  // namespace packages::ui
