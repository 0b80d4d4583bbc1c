#pragma once

// A firmware or boot loader file (container with a block table, plain binary with an info header,
// or XML-wrapped firmware) loaded into memory, with its info header turned into an XML document:
// root "Firmware"/"Boot" with "Component", "Compatibility", "Hardware" and "Manage".

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/FirmwareImage.h"
#include "foundation/XmlDocument.h"

namespace foundation {
class CXmlNode;
}  // namespace foundation

namespace packages {

// The tree control FillTree writes into; the window layer adapts its tree control to it.
class CFirmwareTreeCtrl {
  public:
    using Item = intptr_t;  // 0 = no item (top level)
    virtual ~CFirmwareTreeCtrl() = default;
    virtual void DeleteAllItems() = 0;
    // Appends an item last under parent; data is the "Component" element of component items.
    virtual Item InsertItem(const std::string& text, Item parent, const foundation::CXmlNode* data) = 0;
};

class CFirmwareContainer : public foundation::CXmlDocument {
  public:
    static constexpr const char* kDefaultDownloadCommand = "SYS_CV_DOWNLOAD_FIRMWARE_FILE";
    static constexpr const char* kDefaultUnpackCommand = "SYS_CV_DOWNLOAD_UNPACK_FIRMWARE_FILE";

    CFirmwareContainer();

    // Loads the file and converts its info header. Empty text on success, else the error text.
    std::string ReadFirmwareInfo(const std::filesystem::path& file, bool isFirmware, bool containerRequired);
    // 0 with the values of "Manage"/"Timeout" (each 0 when absent); -1 with all four 0 when either
    // element is missing.
    int GetTimeouts(int& first, int& segment, int& last, int& restart) const;
    void GetReportText(std::string& out) const;
    // Hands the binary part and the time-outs to the engine's firmware threads.
    void FillImage(engine::CFirmwareImage& image) const;
    void FillTree(CFirmwareTreeCtrl* tree);

    const std::filesystem::path& FileName() const { return fileName_; }
    // The whole file, or the decoded binary of an XML-wrapped file.
    const std::vector<uint8_t>& Data() const { return data_; }
    // The part to be written to the drive; set only after a successful read.
    bool HasBinary() const { return hasBinary_; }
    const uint8_t* BinaryStart() const { return hasBinary_ ? data_.data() + binaryOffset_ : nullptr; }
    size_t BinaryOffset() const { return binaryOffset_; }
    size_t BinarySize() const { return hasBinary_ ? binarySize_ : 0; }
    size_t HeaderOffset() const { return headerOffset_; }
    bool IsExtract() const { return extract_; }
    bool IsBigEndian() const { return bigEndian_; }
    const std::string& DownloadCommand() const { return downloadCommand_; }
    const std::string& UnpackCommand() const { return unpackCommand_; }
    CFirmwareTreeCtrl* TreeCtrl() const { return tree_; }

  private:
    struct LegacyResult {
        uint32_t headerLength = 0;
        uint32_t size = 0;
    };
    std::string LoadFile();
    std::string ReadLegacyHeader(size_t offset, size_t available, bool isFirmware, LegacyResult& result);
    std::string ReadHeader4(size_t offset, size_t available);
    bool ReadComponentList(const uint8_t* header, size_t available, uint32_t offset, uint32_t count,
                           foundation::CXmlNode* parent, int depth, int& budget);

    std::filesystem::path fileName_;
    std::vector<uint8_t> data_;
    size_t headerOffset_ = 0;
    size_t binaryOffset_ = 0;
    size_t binarySize_ = 0;
    bool hasBinary_ = false;
    bool bigEndian_ = false;
    bool extract_ = false;
    std::string downloadCommand_;
    std::string unpackCommand_;
    CFirmwareTreeCtrl* tree_ = nullptr;
};

}  // namespace packages
