#pragma once

// A device archive: one binary file bundling, for one drive, any of general information, boot,
// firmware, IEC program and parameter file, as the drive description's "Archive" element allows.

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "packages/ArchiveItems.h"
#include "packages/NodeCompat.h"

namespace foundation {
class CXmlNode;
}  // namespace foundation

namespace packages {

// What the archive asks of the drive object while it loads item content.
class CArchiveSource {
  public:
    struct BootFile {
        std::string path;
        uint32_t code = 0, version = 0, build = 0;
    };
    struct IndexedFile {  // one entry of the index of configuration files
        uint32_t hw = 0, sw = 0, swVer = 0;
        std::filesystem::path path;
    };
    virtual ~CArchiveSource() = default;
    // Best configuration file for the hardware and boot codes that accept takes; false when none.
    virtual bool FindBestBoot(uint32_t hwCode, uint32_t bootCode, const CNodeCompInfo& accept,
                              BootFile& found) = 0;
    virtual std::vector<IndexedFile> IndexedFiles() = 0;
    // Path of the program open in the IEC editor (empty when none).
    virtual std::string IecEditorPath() = 0;
    // The program of the Program tab is loaded.
    virtual bool IsProgramLoaded() = 0;
    // Builds the IEC program; false on a compile error.
    virtual bool CompileIec() = 0;
};

class CArchivio {
  public:
    static constexpr uint16_t kKind = 807;
    static constexpr uint32_t kDefaultMaxDataSize = 16777216;

    virtual ~CArchivio() = default;

    // Rebuilds the items from the "Archive" element; null leaves the archive without items.
    void Load(const foundation::CXmlNode* archive);

    // Item content. Message boxes report what was not found; the result tells whether content is held.
    bool LoadBoot(CArchiveSource& source, const CNodeCompInfo& node);
    bool LoadFirmware(const std::string& firmwarePath, uint32_t code, uint32_t version, uint32_t build);
    bool LoadIec(CArchiveSource& source);
    bool LoadParameters(const std::string& path);

    // The checks before writing, in order; the first failure shows its message and gives false.
    bool CheckBeforeWrite(const std::string& archiveFileName);
    // Sum of the padded sizes of the checked items.
    uint32_t DataSize() const;
    // The file image (without checks).
    std::vector<uint8_t> BuildImage(uint16_t hardwareCode, const std::array<uint8_t, 16>& guid) const;
    // Checks, builds and writes the file (temp + rename), with the messages of each outcome.
    bool Write(const std::filesystem::path& file, uint16_t hardwareCode);
    // Forgets what was cached for one archive dialog (the compiler-key offset).
    void BeginDialog() { compilerKeysOffset_.reset(); }

    static std::array<uint8_t, 16> NewGuid();

    bool byteSwap = false;       // big-endian fields
    bool indexTable = true;      // bit 0 of "index"
    bool inlineHeaders = false;  // bit 1 of "index"
    uint32_t verifyMode = 0;     // 1 = CRC-16 appended
    std::string defaultName;
    std::string defaultExtension = "bin";
    uint32_t maxDataSize = kDefaultMaxDataSize;
    CNodeCompInfo compInfo;

    std::unique_ptr<CArchiGeneralInfo> info;
    std::unique_ptr<CArchiBoot> boot;
    std::unique_ptr<CArchiFirmware> firmware;
    std::unique_ptr<CArchiIEC> iec;
    std::unique_ptr<CArchiParam> param;
    std::unique_ptr<CArchiUserFiles> userFiles;

  private:
    bool CheckCompilerKeys();
    uint32_t CompilerKeysOffset();
    std::optional<uint32_t> compilerKeysOffset_;
};

}  // namespace packages
