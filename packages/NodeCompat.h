#pragma once

// Compatibility records: which product a node's hardware, boot or firmware (or a boot/firmware
// file) is, on which hardware codes it runs, and which minimum versions it demands of the others.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace packages {

class CNodeCompProd {
  public:
    virtual ~CNodeCompProd() = default;

    uint32_t code = 0;  // 0 = none
    uint32_t version = 0;
    uint32_t build = 0;                         // non-zero = beta build
    std::map<uint32_t, uint32_t> requirements;  // product code -> minimum version
    std::vector<uint32_t> hardware;             // hardware codes the product runs on

    void Reset();
    // Hardware record of "upload_comp_hw": little-endian words 1, code, version, N, N pairs.
    // False (product reset) when shorter than 8 bytes, of another format or cut short.
    bool ReadHardwareRecord(const uint8_t* data, size_t size);
    // Boot or firmware record: format (below 3; its first byte 0 means big-endian), code, version,
    // build, N requirement pairs, M hardware codes. False (product reset) when refused or cut short.
    bool ParseRecord(const uint8_t* data, size_t size);
    bool HasHardware(uint32_t hardwareCode) const;
    // Minimum version this product demands of code, or false when it names no such requirement.
    bool Requirement(uint32_t productCode, uint32_t& minimum) const;
};

// Reads an upload item of the node: (item name, buffer, in: capacity / out: bytes read) -> 0 on success.
using CompUploadFn = std::function<int(const std::string& item, uint8_t* buffer, uint32_t& size)>;

class CNodeCompInfo {
  public:
    virtual ~CNodeCompInfo() = default;

    CNodeCompProd hardware;
    CNodeCompProd boot;
    CNodeCompProd firmware;

    // Boot and firmware emptied, hardware a copy of the given product.
    void Reset(const CNodeCompProd& hardwareProduct);

    // From the node's items "upload_comp_hw" (up to 100 bytes), "upload_comp_boot", "upload_comp_fw".
    static bool ReadHardwareFromNode(const CompUploadFn& upload, CNodeCompProd& product);
    static bool ReadRecordFromNode(const CompUploadFn& upload, const std::string& item,
                                   CNodeCompProd& product);

    // Reads a boot or firmware file (binary, container or XML-wrapped) into product.
    static bool ReadCompatibility(const std::filesystem::path& file, CNodeCompProd& product);

    // Candidate boot / firmware may replace the node's boot / firmware.
    bool IsCompatible(const CNodeCompProd& candidateBoot) const;
    bool IsFirmwareCompatible(const CNodeCompProd& candidateFirmware) const;

    // Candidate against one node product: the minimums each demands of the other.
    static bool MutualCheck(const CNodeCompProd& candidate, const CNodeCompProd& product);
};

}  // namespace packages
