#pragma once

// The product identity: what a drive's hardware, boot loader, firmware, a package component or
// the target of a configuration file is. Travels as the compact identity text (attribute "pver"
// of vocabulary and index files, cloud index), as "Component"/"Product" XML elements and as the
// legacy attribute set ("sw", "sw_ver", "build", "type") of older files.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Version.h"

namespace foundation {

class CXmlNode;

// Attribute codes with a meaning.
enum : int32_t {
    kAttributeRole = 1,
    kAttributeBrand = 2,
};

// Role values (attribute kAttributeRole).
enum : int32_t {
    kRoleHardware = 1,
    kRoleBoot = 2,
    kRoleFirmware = 3,
    kRoleComponent = 4,
};

// Brand values (attribute kAttributeBrand); 1 is an older spelling of the maker's own brand.
enum : int32_t {
    kBrandNone = 0,
    kBrandVkr = 6868,
    kBrandOstrel = 6869,
    kBrandHalvik = 6870,
    kBrandVarno = 6871,
    kBrandKimbra = 6872,
    kBrandDrovane = 6873,
};

struct CAttribute {
    int32_t code = 0;
    int32_t value = 0;
    bool operator==(const CAttribute&) const = default;
};

class CIdentity {
  public:
    int32_t code = -1;  // valid only in 1..32767
    std::string name;
    CVersion version;
    std::vector<CAttribute> attributes;  // insertion order, duplicates kept

    CIdentity() = default;
    // Default state, then ReadComponentNode(component).
    explicit CIdentity(const CXmlNode* component);

    static bool IsValidCode(int32_t code) { return code >= 1 && code <= 32767; }
    bool IsValid() const { return IsValidCode(code); }

    void Clear();
    void RemoveAllAttributes() { attributes.clear(); }
    void AddAttribute(int32_t attributeCode, int32_t value) { attributes.push_back({attributeCode, value}); }

    // Default state, then code and release version with the major-only rule; a role above 0 adds
    // one role attribute.
    void Set(int32_t newCode, int32_t major, int32_t minor, int32_t patch, int32_t role);
    // Older identity form: major-only version, beta with number = build when build is not 0, and
    // role firmware or boot.
    void SetLegacy(int32_t softwareCode, int32_t softwareVersion, uint16_t build, bool isFirmware);

    // Vocabulary, index and configuration entries: "pver" compact text when it gives a valid code,
    // else the legacy attributes; name from "descr".
    void ReadDeviceNode(const CXmlNode* node);
    // "Component" element (also a firmware container's "Key" entries); null leaves the default.
    void ReadComponentNode(const CXmlNode* component);
    // Element holding "Product" (code, name), "Version" (with "prestatus"/"prenumber") and
    // "Attributes".
    void ReadProductNode(const CXmlNode* node);
    // Appends a "Component" element to parent (see ReadComponentNode).
    void WriteComponentNode(CXmlNode* parent) const;

    // Compact text: code,major,minor,patch,state,number[,attrCode,attrValue]... A malformed text
    // (stray characters, missing numbers, a dangling attribute code, numbers out of range) leaves
    // the default state and gives false; an empty text gives the default state and false.
    bool ParseCompactText(std::string_view text);
    std::string GetCompactText() const;

    // Versioned text "<word> <code> v.<major>[.<minor>[.<patch>]][-<prerelease>]" as drives report
    // it ("Firmware 1234 v.2.3.1-beta7"). Unscanned parts stay -1 and the major-only flag stays
    // clear. A malformed text leaves the default state and gives false.
    bool ParseText(std::string_view text);

    // Same code, major, minor, patch and state, and the same prerelease number when the state is
    // not a release; flag, name and attributes are not compared.
    bool IsEqual(const CIdentity& other) const;
    // True when this version is newer than other's (code not compared). A release is newer than
    // its prereleases; nb and fake are older than alpha, beta and rc; nb is newer than fake.
    bool IsVersionGreater(const CIdentity& other) const;

    // Value of the first role attribute, -1 when none.
    int32_t GetRole() const;
    // "%d v. %s" with the code and the version text; empty when the code is not valid.
    std::string GetCodeVersionText() const;
    // Role word + code/version text, then " - " and the name when there is one.
    std::string GetDescription() const;
    // Code/version text decorated with every attribute (role word, brand word when withBrand,
    // " 'code'='value'" for others), then " - " and the name.
    std::string GetFullText(bool withBrand) const;
};

// "Hardware ", "Boot ", "Firmware ", "Component ", "'%d' " for other values, empty for -1.
std::string GetRoleText(int32_t role);
// "Vkr", "Ostrel", ... for a brand value; empty for 0; "brand='%d'" for others.
std::string GetBrandText(int32_t brand);

}  // namespace foundation
