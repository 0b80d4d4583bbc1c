#pragma once
// The first dialog of every connection: the PC connection, its parameters (or, offline, a saved
// parameters file), and what the caller does next.

#include <string>
#include <vector>

#include "app/DlgConnectRequest.h"
#include "drive/QdsWnd.h"
#include "platform/ui/ControlHost.h"

class wxWindow;

namespace drive {
class CQd;
}  // namespace drive

namespace app {

class CdlgConnectDrive : public platform::ui::Dialog {
  public:
    CdlgConnectDrive(const std::vector<drive::_CHANNELINFO>& ports, ConnectionRequest& record,
                     drive::CQd* drive = nullptr);

    // The kind of the selected port (none: 0xFFFF).
    uint16_t SelectedKind() const;
    // The offline entry's chosen parameters file and its device text (tests fill it as a choice would).
    bool ChooseParametersFile(const std::string& path);
    // The offline entry's chosen device description (descr empty: no device was chosen), as the
    // configuration-file choice gives it.
    bool ChooseDevice(const std::string& descr, uint32_t hw, uint32_t sw, uint32_t swVer, uint32_t build,
                      const foundation::CIdentity& identity);

    // ---- access-level gesture ----
    // A left double-click on the dialog arms it; the next key is remembered; a right click then
    // sets the level: 'F' factory, 'I' integrator, anything else user. The level set, or empty
    // when the gesture was not armed.
    void OnGestureDoubleClick();
    void OnGestureKey(int keyCode);
    std::string OnGestureRightClick();

  protected:
    bool OnInitDialog() override;

  private:
    void OnPortChanged();
    void ShowKind(uint16_t kind);
    void StoreShownFields();
    ConnectFields ReadFields() const;
    void WriteFields(const ConnectFields& fields);
    void OnNodeChanged();
    void OnConnect();
    void OnSelect();
    void OnSelectFile();
    void OnSelectDevice();
    void FillAccessLevels();
    void OnClose();
    bool Refused(const ConnectStore& store);
    int SelectedPort() const;

    std::vector<drive::_CHANNELINFO> ports_;
    ConnectionRequest& record_;
    drive::CQd* drive_;
    uint16_t shownKind_ = 0xFFFF;
    bool deviceChosen_ = false;
    std::string fileDevice_;
    bool gestureArmed_ = false;
    int gestureKey_ = 0;
};

// The drive object's connect step asks through this.
class CConnectDriveDialog : public drive::CConnectDialog {
  public:
    explicit CConnectDriveDialog(wxWindow* parent, drive::CQd* drive = nullptr)
        : parent_(parent), drive_(drive) {}
    // 1 connect, 2 cancel, 8 exit, -1 bridge node choice, -2 TwinCAT device scan.
    int Run(const std::vector<drive::_CHANNELINFO>& channels, drive::CConnectionRecord& record) override;

  private:
    wxWindow* parent_;
    drive::CQd* drive_;
};

}  // namespace app
