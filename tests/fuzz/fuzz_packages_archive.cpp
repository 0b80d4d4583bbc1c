// Feeds arbitrary files to the device archive: its description, the firmware file it takes its
// image and compiler-key offset from (the compiler-keys scan of the IEC binary), the IEC binary,
// and the plain firmware file reader of the firmware download.
//
// Input: the parts one after the other, split at the byte 0x1E: the "Archive" description, the
// firmware file, the IEC binary. Byte 0 of the description part is the firmware code the archive
// is loaded for (and the offset of the plain firmware read).
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "engine/FirmwareImage.h"
#include "foundation/XmlDocument.h"
#include "packages/Archivio.h"

using namespace packages;

namespace fs = std::filesystem;

namespace {

fs::path g_folder;
constexpr char kSeparator = '\x1E';

void WriteFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_folder = fuzz::ScratchFolder("fuzz_packages_archive");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || g_folder.empty()) return 0;
    const uint8_t code = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<std::string_view> parts;
    for (;;) {
        const size_t end = parts.size() < 2 ? rest.find(kSeparator) : std::string_view::npos;
        parts.push_back(rest.substr(0, end));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    parts.resize(3);

    const fs::path firmwareFile = g_folder / "firmware.xml";
    WriteFile(firmwareFile, parts[1]);
    engine::CFirmwareImage image;
    image.ReadFirmwareInfo(firmwareFile.string(), code, 0);

    foundation::CXmlDocument description;
    if (description.LoadXml(parts[0]) != foundation::S_OK) return 0;
    CArchivio archive;
    archive.Load(&description.Root());
    archive.LoadFirmware(firmwareFile.string(), code, 5, 0);
    if (archive.iec) archive.iec->binary.assign(parts[2].begin(), parts[2].end());
    if (archive.CheckBeforeWrite("fuzz.arc")) {
        (void)archive.DataSize();
        (void)archive.BuildImage(0x21, {});
    }
    return 0;
}
