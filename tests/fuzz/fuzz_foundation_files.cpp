// Feeds arbitrary files to the foundation's readers of outside files: the peer tool's definitions
// file with the messages its answers carry (start-up information, configuration, permission to
// end), the user list "auth.xml", a configuration package (".cdi"), the list of extra folders,
// and device nodes of vocabularies and index entries (identity, and the "brand" of an answer).
// The first byte chooses the reader; the rest is the file.
//
//   byte 0 % 5: 0 definitions file, 1 "auth.xml", 2 ".cdi" package, 3 extra folders list,
//               4 device nodes.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "foundation/Authorizations.h"
#include "foundation/BrandList.h"
#include "foundation/CommCOIQd.h"
#include "foundation/Identity.h"
#include "foundation/ProgramFolders.h"
#include "foundation/XmlDocument.h"

using namespace foundation;

namespace fs = std::filesystem;

namespace {

fs::path g_folder;

void WriteFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Definitions(std::string_view text) {
    CCommCOIQd peer;
    peer.m_file.SetConfigurationPath((g_folder / "plant.xml").string());
    WriteFile(g_folder / "plant.xml", text);
    if (peer.ReqGetStartupInfo()) {
        peer.ReqSetConfiguration();
        peer.m_pendingConfiguration.LoadXml("<CONFIGURATION/>");
        peer.ReqCanEndConfigure();
    }
}

void Authorizations(std::string_view text) {
    WriteFile(GetCommonDataFolder() / "auth.xml", text);
    CAuthorizations users;
    users.Load();
    users.SetUser("integrator");
    users.SelectUser();
    int32_t level = 0;
    users.CheckCondition("I;beta", &level);
}

void Package(std::string_view text) {
    const fs::path file = g_folder / "pkg" / "patch.cdi";
    fs::create_directories(file.parent_path());
    WriteFile(file, text);
    CBrand source;
    AddPatchModule(source, file.string(), "fuzz", 0);
}

void ExtraPaths(std::string_view text) {
    // Lines name folders that are tested for existence: keep them inside the private folder.
    std::string list;
    for (size_t at = 0; at < text.size() && list.size() < 2048;) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        list += (g_folder / "extra").string() + "/" + std::string(text.substr(at, end - at)) + "\n";
        at = end + 1;
    }
    fs::create_directories(g_folder / "extra" / "a");
    WriteFile(GetCommonDataFolder() / "PelmoraExtraXmlPaths.txt", list);
    static CBrandList* brands = new CBrandList();  // its workers outlive one input
    brands->LoadExtraPaths();
    brands->WaitExtraPaths();
    (void)brands->GetExtraFolders();
}

void DeviceNodes(std::string_view text) {
    CXmlDocument document;
    if (document.LoadXml(text) != S_OK) return;
    CIdentity identity;
    identity.ReadDeviceNode(&document.Root());
    (void)identity.GetFullText(true);
    for (const CXmlNode* child : document.Root().Children()) {
        CIdentity entry;
        entry.ReadDeviceNode(child);
        entry.ReadComponentNode(child);
        entry.ReadProductNode(child);
        (void)entry.GetCompactText();
    }
    CBrandList list;
    for (const char* name : {"Tunova", "Other"}) {
        auto source = std::make_unique<CBrand>();
        source->m_strName = name;
        list.Sources().push_back(std::move(source));
    }
    SelectBrandFromXml(std::string(text), list);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_folder = fuzz::ScratchFolder("fuzz_foundation_files");
    if (!g_folder.empty()) {
        for (const char* sub : {"common", "user", "temp"}) fs::create_directories(g_folder / sub);
        ::setenv("TUNOVA_COMMON_DATA_DIR", (g_folder / "common").c_str(), 1);
        ::setenv("TUNOVA_USER_DATA_DIR", (g_folder / "user").c_str(), 1);
        ::setenv("TUNOVA_TEMP_DIR", (g_folder / "temp").c_str(), 1);
    }
    InitProgramFolders();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || g_folder.empty()) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 5) {
        case 0:
            Definitions(text);
            break;
        case 1:
            Authorizations(text);
            break;
        case 2:
            Package(text);
            break;
        case 3:
            ExtraPaths(text);
            break;
        default:
            DeviceNodes(text);
            break;
    }
    return 0;
}
