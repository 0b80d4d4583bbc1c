#pragma once

// What the "Create archive" dialog and its item dialogs do, without the windows: the node's
// identity from the drive, the preparation of the items when the dialog opens, the "Device" and
// "Size" texts, the version text of the general information, and writing the file.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "packages/Archivio.h"
#include "packages/NodeCompat.h"

namespace packages {

// What the archive dialogs ask of the drive object.
class CArchiveDrive : public CArchiveSource {
  public:
    // The drive object's legacy identity (older drives): hardware code and version, and the
    // software it runs, firmware or boot.
    struct LegacyIdentity {
        uint32_t hwCode = 0, hwVersion = 0;
        uint32_t swCode = 0, swVersion = 0, swBuild = 0;
        bool isFirmware = true;
    };
    virtual std::optional<LegacyIdentity> Legacy() = 0;
    // Reads a drive item into buffer (in: capacity, out: bytes read); 0 on success.
    virtual int UploadCell(const std::string& item, uint8_t* buffer, uint32_t& size) = 0;
    // The drive object's text for the device.
    virtual std::string DeviceName() = 0;
    // The drive's current firmware file.
    virtual std::string FirmwarePath() = 0;
    // Exports every parameter, read from the drive, into file; false on failure.
    virtual bool ExportParameters(const std::filesystem::path& file) = 0;
    // Configuration files of the hardware and boot codes that the archive's compatibility
    // accepts (the boot dialog's "Select..."); none by default.
    virtual std::vector<BootFile> CompatibleBoots(uint32_t hwCode, uint32_t bootCode,
                                                  const CNodeCompInfo& accept) {
        (void)hwCode, (void)bootCode, (void)accept;
        return {};
    }
};

// The text of the boot picked in the boot dialog: "boot %lu version %lu" (plus " beta %lu"), or
// "none".
std::string PickedBootText(const CArchiBoot& boot);

// The node's records as the dialog reads them from the drive.
CNodeCompInfo ReadNodeIdentity(CArchiveDrive& drive);
// "Hardware:%lu v.%lu" with the boot and firmware parts.
std::string ArchiveDeviceText(const CNodeCompInfo& node);
// "Size: %lu bytes".
std::string ArchiveSizeText(uint32_t size);

// Opens the dialog on the archive: reads the node, fills the archive's records and prepares the
// selected items. Returns the node's records.
CNodeCompInfo PrepareArchive(CArchivio& archive, CArchiveDrive& drive);

// Version text of the general information, parsed as the user types it ("1.2.3.4b5", "1.2 b3").
struct ArchiveVersion {
    std::array<uint16_t, 4> numbers{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};  // 0xFFFF = none
    uint8_t letter = 0xFF;                                            // 0xFF = none
    uint32_t build = 0xFFFFFFFF;                                      // none
    std::string text;                                                 // normalised
};
ArchiveVersion ParseArchiveVersion(const std::string& text);
// Stores the parsed version into the general information and pads its texts (the OK of the
// general information dialog); false when a text is too long.
bool ApplyArchiveVersion(CArchiGeneralInfo& info, const ArchiveVersion& version);

// The parameters dialog's OK: from the drive (exported into the private temporary folder) or
// from the chosen file. False, with "Error loading parameter file, it is not accessible or not
// recognized", when the item could not be loaded.
bool ConfigureParameters(CArchivio& archive, CArchiveDrive& drive, bool fromDrive, const std::string& file);

// The "Create" button: checks, then writes the file with the node's hardware code.
bool CreateArchive(CArchivio& archive, const CNodeCompInfo& node, const std::filesystem::path& file);

}  // namespace packages
