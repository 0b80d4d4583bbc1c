#pragma once

// Version record shared by every identity (drive, firmware, configuration file), the packed
// dotted version number, the raw-byte form of a value text and the fieldbus type names.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

class CXmlNode;

// Prerelease states; a release (0) is newer than any prerelease of the same numbers.
enum : uint32_t {
    kPrereleaseNone = 0,
    kPrereleaseAlpha = 1,
    kPrereleaseBeta = 2,
    kPrereleaseRc = 3,
    kPrereleaseNb = 4,
    kPrereleaseFake = 5,
    kPrereleaseUnknown = 6,  // an unknown prerelease word in a versioned text
};

class CVersion {
  public:
    bool majorOnly = false;  // only the major number is meaningful
    int32_t major = -1;      // -1 unknown
    int32_t minor = -1;      // -1 unknown; 0 when major only
    int32_t patch = -1;      // -1 unknown; 0 when major only
    uint32_t preState = 0;   // kPrerelease...
    uint32_t preNumber = 0;  // counts only when preState is not 0

    // Back to unknown: major, minor, patch -1, release, not major only.
    void Reset();
    void Set(int32_t major, int32_t minor, int32_t patch, uint32_t state, uint32_t number);
    // A known major with an unknown minor or patch becomes major only (minor and patch 0).
    void Normalise();

    // "2" for major only ("?" when unknown), else "1.2.3" with "?" for each unknown part.
    std::string GetNumberText() const;
    // The number text, followed by "-beta3" style prerelease text when the state is not 0.
    std::string GetText() const;
    // Compact form: five comma-separated numbers major,minor,patch,state,number; minor and
    // patch are written -1 when major only.
    std::string GetCompactText() const;

    // Reads five comma-separated decimal numbers starting at position. On success the record
    // is normalised and position is left at the comma that follows the fifth number, or -1 at
    // the end of the text. A malformed text (missing numbers, stray characters, numbers out of
    // range) resets the record, leaves position unchanged and gives false.
    bool Parse(std::string_view text, int& position);

    // Appends "Version" (major, minor, patch; "-1" for minor and patch when major only) and,
    // with a prerelease, its "Prerelease" child (state, version) to parent.
    void WriteXml(CXmlNode* parent) const;
    // Reads a "Version" element as WriteXml writes it (missing numbers unknown, missing
    // prerelease a release) and normalises; a null element resets the record.
    void ReadXml(const CXmlNode* version);

    // Equal numbers and state, and equal prerelease numbers when the state is not 0; the
    // major-only flag is not compared.
    bool operator==(const CVersion& other) const;
    bool operator!=(const CVersion& other) const { return !(*this == other); }
};

// Name of a prerelease state ("alpha" ... "fake"), or "'%d'" for any other state.
std::string GetPrereleaseName(uint32_t state);

// Packs a dotted version text ("1.2.3.4") into a number that compares versions by plain integer
// order: each part takes 16 bits, the first part the highest; fewer than four parts are padded
// with zero parts, more than four keep only the last four. An empty text gives 0. A malformed text
// (more than 49 characters, an empty part, a part that is not a decimal number of at most 65535)
// gives 0 and sets *ok to false.
uint64_t VersionTextToNumber(std::string_view text, bool* ok = nullptr);

// Raw bytes of a value text for a drive variable:
//  - empty: a 4-byte 0;
//  - 'text': the characters between the quotes (every single quote removed), one zero byte when
//    none remain;
//  - 0x0A0B...: pairs of hexadecimal digits, one byte each;
//  - a decimal number: 4 bytes, least significant first (a negative number in two's complement).
// When buffer is empty on entry it is sized to the natural size of the value; otherwise at most
// buffer.size() bytes are stored and the rest of the buffer is left alone. A malformed text
// (odd or non-hexadecimal digits, a number that is not decimal or does not fit 32 bits) leaves
// the buffer untouched, gives false and sets *error.
bool ParseValueText(std::string_view text, std::vector<uint8_t>& buffer, std::string* error = nullptr);

// Fieldbus type names: 1 "Modbus", 2 "CANopen", 3 "Profibus", 4 "Ethercat"; empty for others.
std::string GetBusTypeName(int busType);
// 1 "COM", 2 "CAN", 3 "PRO", 4 "ETH"; empty for others.
std::string GetBusTypeShortName(int busType);

// Title and version of an XML property file (a package ".cdi" file): the "value" of the root's
// "property" elements named "Title" and "Version". True only when both are non-empty.
bool ReadXmlTitleVersion(const std::string& fileName, std::string* title, std::string* version);

// Small record kept by the drive object and the compatibility database.
class CVarRowData {
  public:
    virtual ~CVarRowData() = default;
    int32_t built = 1;
    int32_t value1 = 0;
    int32_t value2 = 0;
    uint8_t byte1 = 255;
    uint8_t byte2 = 0;
    std::string text;
};

}  // namespace foundation
