// Feeds arbitrary files to the firmware container reader (as binary and as XML-wrapped file), the
// compatibility reader and the compatibility record parsers.

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "packages/FirmwareContainer.h"
#include "packages/NodeCompat.h"

using namespace packages;

namespace {
std::filesystem::path g_folder;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/fuzz_packages_XXXXXX";
    if (const char* dir = ::mkdtemp(pattern)) g_folder = dir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the file's shape; the rest is its content.
    const bool xml = (data[0] & 1) != 0;
    const std::filesystem::path file = g_folder / (xml ? "input.xml" : "input.bin");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + 1), std::streamsize(size - 1));
    }
    CFirmwareContainer container;
    if (container.ReadFirmwareInfo(file, (data[0] & 2) != 0, (data[0] & 4) != 0).empty()) {
        std::string report;
        container.GetReportText(report);
        int t[4];
        container.GetTimeouts(t[0], t[1], t[2], t[3]);
        if (container.BinarySize() > 0) {
            volatile uint8_t last = container.BinaryStart()[container.BinarySize() - 1];
            (void)last;
        }
    }
    CNodeCompProd product;
    CNodeCompInfo::ReadCompatibility(file, product);
    product.ParseRecord(data + 1, size - 1);
    product.ReadHardwareRecord(data + 1, size - 1);
    return 0;
}
