// Feeds arbitrary description texts to the vocabulary loader, the index entry reader and the
// compressed-block decoder.

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CompressedBlock.h"
#include "engine/ConfigFileIndex.h"
#include "engine/Vocabolario.h"
#include "foundation/ProgramFolders.h"
#include "foundation/ProgramSwitches.h"
#include "foundation/XmlDocument.h"

using namespace foundation;
using namespace engine;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Loading writes the user list and a filtered copy: keep them in a private folder.
    char pattern[] = "/tmp/fuzz_vocabulary_XXXXXX";
    if (const char* dir = ::mkdtemp(pattern)) {
        for (const char* variable : {"TUNOVA_COMMON_DATA_DIR", "TUNOVA_USER_DATA_DIR", "TUNOVA_TEMP_DIR"})
            ::setenv(variable, dir, 1);
    }
    InitProgramFolders();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::vector<uint8_t> firmware;
    std::string download, unpack;
    ExtractFirmwareElementEx(text, firmware, &download, &unpack);

    CXmlDocument document;
    if (document.LoadXml(text) != S_OK) return 0;

    // The first byte chooses the variant and the debug switch, so that both load paths are taken.
    g_DebugMode = size > 0 && (data[0] & 1);
    CVocabolario vocabulary("Varno", 0, "fuzz_1.xml", CVocabolario::kBrandCode, size > 0 && (data[0] & 2));
    vocabulary.hw = size > 1 ? data[1] % 8 : 0;
    vocabulary.LoadDocument(document);
    std::string xml;
    for (int rc = vocabulary.GetNextItemXml(false, xml); rc == 0; rc = vocabulary.GetNextItemXml(true, xml)) {
    }
    for (const char* name : {"ModbusError", "A", "Speed", ""}) {
        vocabulary.FindItem(name, 0);
        vocabulary.FindItem(name, 1);
        vocabulary.FindItem(name, 6);
    }
    vocabulary.FindItemByModbusAddress(1);
    vocabulary.WriteHeader();

    CXmlDocument index;
    index.Root().SetName("XmlIndex");
    CConfigFileIndex::AddIndexFileEntry(index.Root(), "fuzz_1.xml", size, "0000000000000000",
                                        document.Root());
    for (const CXmlNode* file : index.Root().Children())
        for (const CXmlNode* item : file->Children()) {
            CConfigFileIndex::ItemBelongsToBrand(*item);
            CVocabolario header("Varno", 0, "fuzz_1.xml", CVocabolario::kBrandCode, false);
            header.ReadHeader(*item, 1, 1);
            header.WriteHeader();
        }
    return 0;
}
