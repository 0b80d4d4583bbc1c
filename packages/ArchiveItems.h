#pragma once

// The items a device archive may hold, each with the choices the drive description offers.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace foundation {
class CXmlNode;
}  // namespace foundation

namespace packages {

class CArchiOption {
  public:
    virtual ~CArchiOption() = default;
    uint8_t available = 0;  // the description lists it
    uint8_t locked = 0;
    uint8_t selected = 0;
    // Marks the option listed and takes "selected"/"locked" when they equal 1.
    void Read(const foundation::CXmlNode* opt);
};

// Date and time in the fields the archive stores (UTC).
struct ArchiveTime {
    uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
    static ArchiveTime NowUtc();
};

// Content sizes entering the file are rounded up to a multiple of 4.
inline uint32_t PaddedSize(size_t size) {
    return static_cast<uint32_t>((size + 3) & ~size_t{3});
}

class CArchiItem {
  public:
    virtual ~CArchiItem() = default;
    uint8_t locked = 0;
    uint8_t selected = 0;
    bool present = false;  // the description has the item's element
    // Sum of the padded sizes of the item's content.
    virtual uint32_t PaddedContentSize() const = 0;
    // Text for the dialog; empty when the item holds nothing.
    virtual std::string GetText() const = 0;
    // Item-level "locked"/"selected" and presence from the item's element.
    void ReadItem(const foundation::CXmlNode* element);
};

class CArchiGeneralInfo : public CArchiItem {
  public:
    static constexpr size_t kHeadSize = 48;
    std::string name, version, author, company, description;
    std::array<uint16_t, 4> versionNumbers{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};  // 0xFFFF = none
    uint8_t versionLetter = 0xFF;                                            // 0xFF = none
    uint8_t versionBuild = 0xFF;                                             // 0xFF = none
    ArchiveTime dateTime;
    uint32_t contentSize = 0;  // 0 = not configured

    CArchiGeneralInfo() { Reset(); }
    void Reset();
    // What the information dialog does on OK: pads the texts with blanks to a multiple of 4 and
    // sets the content size. False (nothing changed) when a text is too long for its length field.
    bool Configure();
    // The content block (48-byte head, then the texts) with the archive's byte order.
    std::vector<uint8_t> BuildContent(const std::array<uint8_t, 16>& guid, bool bigEndian) const;
    uint32_t PaddedContentSize() const override { return contentSize; }
    std::string GetText() const override;
};

class CArchiBoot : public CArchiItem {
  public:
    CArchiOption compatible, same, best, binary, xml;
    std::vector<uint8_t> binaryImage;
    std::vector<uint8_t> xmlContent;
    uint32_t code = 0, version = 0, build = 0;  // build > 0: beta
    uint32_t pickedCode = 0, pickedVersion = 0, pickedBuild = 0;
    std::string path;
    std::string pickedPath;
    uint32_t PaddedContentSize() const override {
        return PaddedSize(binaryImage.size()) + PaddedSize(xmlContent.size());
    }
    std::string GetText() const override;
};

class CArchiFirmware : public CArchiItem {
  public:
    CArchiOption binary, xml;
    std::string path;
    std::vector<uint8_t> binaryImage;
    std::vector<uint8_t> xmlContent;
    uint32_t code = 0, version = 0, build = 0;
    uint32_t PaddedContentSize() const override {
        return PaddedSize(binaryImage.size()) + PaddedSize(xmlContent.size());
    }
    std::string GetText() const override;
};

class CArchiIEC : public CArchiItem {
  public:
    CArchiOption editor, file, target, dbi, source, compile;
    std::string binaryPath;
    std::vector<uint8_t> binary;
    std::vector<uint8_t> xmlBlock;  // written as the IEC XML block; nothing fills it
    std::vector<uint8_t> extraBlock;
    std::string pickedPath;
    uint32_t PaddedContentSize() const override {
        return PaddedSize(binary.size()) + PaddedSize(xmlBlock.size()) + PaddedSize(extraBlock.size());
    }
    std::string GetText() const override;
};

class CArchiParam : public CArchiItem {
  public:
    CArchiParam();
    CArchiOption file, target;
    std::string path;
    std::vector<uint8_t> content;
    uint32_t type = 0, swRev = 0, build = 0;
    uint32_t PaddedContentSize() const override { return PaddedSize(content.size()); }
    std::string GetText() const override;
};

class CArchiUserFiles : public CArchiItem {
  public:
    uint32_t maxFiles = 100;
    uint32_t maxFileSize = 16777216;
    uint32_t maxSize = 16777216;
    uint32_t PaddedContentSize() const override { return 0; }
    std::string GetText() const override { return {}; }
};

}  // namespace packages
