#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace transport {

// One node found by a bus scan, as the connect dialog lists it.
struct CBusNodeData {
    std::string name;
    std::string state;
    std::string identity;
    uint32_t colour = 0;  // 0x00BBGGRR
    uint32_t vendorId = 0;
    uint16_t address = 0;
    uint8_t selectable = 0;
};

// A scan list: the records are the list owner's and are freed with FreeEtherCatDeviceList.
using CBusNodeList = std::vector<CBusNodeData*>;

// The short maker name of an EtherCAT vendor id the program knows; null for others.
const char* VendorShortName(uint32_t vendorId);

// Deletes every record of a scan list and empties it.
void FreeEtherCatDeviceList(CBusNodeList& list);

}  // namespace transport
