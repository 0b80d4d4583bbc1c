#pragma once

#include <cstdint>

#include "foundation/CompatChecker.h"
#include "foundation/ProgramFolders.h"

namespace transport {

// The node record an identification fills: the slave address comes in, the codes go out.
struct NodeIdentRecord {
    uint8_t slave = 0;
    uint32_t hardwareCode = 0;
    uint32_t firmwareCode = 0;
    uint32_t firmwareVersion = 0;
};

// Identity kinds an identification reports.
constexpr uint32_t kIdentityKindBoot = 1;      // only a boot or legacy firmware identity
constexpr uint32_t kIdentityKindFirmware = 2;  // the drive has a firmware identity

// Drive registers of the identification.
namespace ident_reg {
constexpr uint16_t kHardwareVersion = 12;
constexpr uint16_t kBootVersion = 15;  // also the major-only boot version
constexpr uint16_t kFirmwareVersionLegacy = 18;
constexpr uint16_t kHardwareCode = 21;  // two registers
constexpr uint16_t kBootBuild = 31;
constexpr uint16_t kFirmwareBuild = 32;
constexpr uint16_t kVendorCode = 33;
constexpr uint16_t kFirmwareCode = 34;
constexpr uint16_t kHardwareText = 110;
constexpr uint16_t kSoftwareText = 114;
constexpr uint16_t kFirmwareCodeAlt = 122;  // two registers
constexpr uint16_t kBootCode = 170;
constexpr uint16_t kBrowsePresent = 250;
constexpr uint16_t kBrowseCommand = 251;
constexpr uint16_t kBrowseParameter = 252;
constexpr uint16_t kBrowseResponse = 253;
constexpr uint16_t kIdentity = 260;  // six registers
constexpr uint16_t kWordSwap = 900;
constexpr uint16_t kWordSwapAlt = 1100;
constexpr uint16_t kPause = 1101;
}  // namespace ident_reg

constexpr uint16_t kBrandVendorCode = 6871;
constexpr int kNodeUnknown = -304;
constexpr const char* kNodeUnknownText = "Node does not exist or unknown";

}  // namespace transport
