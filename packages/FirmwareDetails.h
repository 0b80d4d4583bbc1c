#pragma once

// What the firmware details dialog shows and copies: the content of a firmware container, the
// reason it was not loaded, or why it does not suit the connected drive.

#include <string>

#include "packages/FirmwareContainer.h"

namespace packages {

// The container as a firmware list holds it: the error text of its reading (empty when it was
// read) and the reason it does not suit the drive (empty when it does).
struct FirmwareDetails {
    CFirmwareContainer* container = nullptr;  // not owned
    std::string error;
    std::string incompatibility;
};

inline constexpr const char* kIncompatibilityCaption = "Cause of incompatibility with the device:";

// Fills the tree: the error text alone, or the container's content followed by the cause of
// incompatibility. Returns the item to select first (0 when none). The container does not keep
// the tree.
CFirmwareTreeCtrl::Item FillFirmwareDetailsTree(const FirmwareDetails& details, CFirmwareTreeCtrl& tree);

// The text copied to the clipboard: the error text; else the container's XML (xmlDetail) or its
// report, each followed by the cause of incompatibility when there is one.
std::string FirmwareDetailsCopyText(const FirmwareDetails& details, bool xmlDetail);

}  // namespace packages
