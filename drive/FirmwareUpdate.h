#pragma once
// The drive object's firmware update check: which released firmware among the known configuration
// files is newer than the one the node runs and suits its components.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "foundation/CompatChecker.h"
#include "foundation/Identity.h"
#include "foundation/XmlDocument.h"

namespace drive {

class CQd;

// Reads a firmware file's information into a package document (root "Firmware" or "Boot" with
// "Component" and "Compatibility"); an empty text on success. The packages layer knows the
// container formats and provides it; without one no file can be judged and none is offered.
using FirmwareInfoReader = std::function<std::string(const std::filesystem::path& file, bool boot,
                                                     foundation::CXmlDocument& package)>;

// What the check works on, copied on the caller's thread under the drive lock: a reconnect may
// reset the checker and the index while the check runs.
struct CFirmwareUpdateInputs {
    foundation::CIdentity firmware;
    foundation::CIdentity boot;
    foundation::CIdentity hardware;
    int32_t hardwareCode = 0;
    // The device's component tree ("Components"), empty for a node known by its identities only.
    std::string componentsXml;
    // The index of known configuration files ("<Vocabularies>" with one "Voc" per file).
    std::string indexXml;
    FirmwareInfoReader reader;
    // Where an index entry's file is (brand folder and "file").
    std::function<std::filesystem::path(const foundation::CXmlNode& entry)> entryFile;
};

struct CFirmwareUpdateResult {
    std::string text;
    bool available = false;
};

// The check; stop is asked between entries (a stopped check offers nothing).
CFirmwareUpdateResult FindFirmwareUpdate(const CFirmwareUpdateInputs& in, const std::function<bool()>& stop);

// The checker's refresh reaching the drive through the drive object: background reads paused,
// cells read under the drive lock.
class CQdCompatDrive : public foundation::CCompatDrive {
  public:
    explicit CQdCompatDrive(CQd& qd) : qd_(qd) {}
    void PauseBackground() override;
    void ResumeBackground() override;
    int ReadCellU32(const std::string& name, uint32_t& value) override;

  private:
    CQd& qd_;
};

// Where a "Voc" entry of the index keeps its file.
std::filesystem::path VocabularyEntryFile(const foundation::CXmlNode& entry);

}  // namespace drive
