// Variables and I/O lists: the drive description's sections that the parameter model and the
// windows read (configured and shown variables, I/O lists, error texts, loop types, sensors).
#include "drive/DriveDescription.h"
#include "drive/Qd.h"
#include "foundation/ProgramSwitches.h"
#include "foundation/XmlDocument.h"

namespace drive {

namespace {

// The engine's code for a name the vocabulary does not have.
constexpr int kNotInVocabulary = -303;

class CQdDescriptionHost : public CDriveDescriptionHost {
  public:
    explicit CQdDescriptionHost(CQd& qd, bool silent) : qd_(qd), silent_(silent) {}
    bool IsVariableKnown(const std::string& name) override {
        if (qd_.IsOffline()) return true;
        return qd_.GetCellInfo(name, nullptr, nullptr, nullptr) != kNotInVocabulary;
    }
    // Units and the system manager are read by the connection itself.
    int FamilyCode() const override { return qd_.State().group; }
    bool DebugSwitch() const override { return foundation::g_DebugMode.load(); }
    bool Silent() const override { return silent_; }

  private:
    CQd& qd_;
    bool silent_;
};

}  // namespace

int CQd::ReadDriveSetup() {
    foundation::CXmlNode* data = configuration_.Root().FindNode("Data");
    CQdDescriptionHost host(*this, silent_);
    return description_.ReadDriveSetupFrom(data, {}, *parameters_, host);
}

}  // namespace drive
