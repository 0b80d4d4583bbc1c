// Feeds arbitrary files to the engine's readers: the stored index of configuration files (an
// ".idx" file of the base folder, compared with a folder of two drive descriptions) and the
// offline node's description text, which picks a vocabulary from that index and connects a
// simulated node.
//
// Input: the index file's text, the byte 0x1E, the offline node's description. "$TREE" in the
// index text stands for the configuration folder's path (a private folder of each run); the
// folder's files always have the same date, so an index can name them as they are.
#include <stdlib.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "engine/ConfigFileIndex.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "foundation/Authorizations.h"
#include "foundation/BrandList.h"
#include "foundation/CompatChecker.h"
#include "foundation/ProgramFolders.h"
#include "foundation/ProgramSwitches.h"
#include "platform/bstr/Bstr.h"

using namespace engine;
using namespace foundation;

namespace fs = std::filesystem;

namespace {

fs::path g_root;

void WriteFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_root = fuzz::ScratchFolder("fuzz_engine_files");
    if (g_root.empty()) return 0;
    fs::copy(fs::path(TUNOVA_FIXTURES) / "engine" / "engine_tree", g_root / "tree",
             fs::copy_options::recursive);
    // A fixed date: the index compares it with what it stored.
    const auto date = fs::file_time_type(std::chrono::seconds(1700000000));
    for (const auto& entry : fs::directory_iterator(g_root / "tree")) fs::last_write_time(entry.path(), date);
    fs::create_directories(g_root / "base" / "Xml");
    for (const char* sub : {"program", "data", "user", "config", "temp"})
        fs::create_directories(g_root / sub);
    ::setenv("TUNOVA_PROGRAM_DIR", (g_root / "program").c_str(), 1);
    ::setenv("TUNOVA_DATA_DIR", (g_root / "data").c_str(), 1);
    ::setenv("TUNOVA_USER_DATA_DIR", (g_root / "user").c_str(), 1);
    ::setenv("TUNOVA_COMMON_DATA_DIR", (g_root / "base").c_str(), 1);
    ::setenv("TUNOVA_CONFIG_DIR", (g_root / "config").c_str(), 1);
    ::setenv("TUNOVA_TEMP_DIR", (g_root / "temp").c_str(), 1);
    InitProgramFolders();
    g_DebugMode = false;
    GetAuthorizations().SetRequestedUser("user");
    GetAuthorizations().LoadDefaultList();
    CBrandList& list = GetBrandList();
    list.RemoveAll();
    auto brand = std::make_unique<CBrand>();
    brand->m_strName = "Varno";
    brand->m_strFolder = (g_root / "tree").string();
    brand->m_strDataFolder = (g_root / "tree").string();
    brand->m_strBaseFolder = (g_root / "base").string();
    list.Sources().push_back(std::move(brand));
    list.SetCurrentIndex(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (g_root.empty()) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\x1E');
    std::string index(input.substr(0, split));
    const std::string description(split == std::string_view::npos ? std::string_view()
                                                                  : input.substr(split + 1));
    const std::string tree = (g_root / "tree").string();
    for (size_t at = index.find("$TREE"); at != std::string::npos; at = index.find("$TREE", at + tree.size()))
        index.replace(at, 5, tree);

    // Only the input's index: what an earlier run saved is gone.
    for (const auto& entry : fs::directory_iterator(g_root / "base"))
        if (entry.path().extension() == ".idx") fs::remove(entry.path());
    WriteFile(g_root / "base" / "stored.idx", index);
    ClearVocabularyIndexBuilt();

    // One engine for the run: starting and ending its threads would take most of the time.
    static CMainApi* api = [] {
        auto* created = new CMainApi(0);
        CChannelInfo info;
        if (created->Engine()->CreateChannels(info) != 0 || created->SelectChannel(0) != 0) std::abort();
        return created;
    }();
    CMain& engine = *api->Engine();
    CCompatChecker checker;
    checker.InitFromLegacy(5, 1, 2, 1, 0, 0, 0, 0);
    BSTR text = platform::BstrFromUtf8(description);
    if (engine.NodeConnectOffline(checker, &text, 4, 0) == 0) engine.SelectNode(4, 0);
    SysFreeString(text);
    engine.DeleteAllNodes();
    return 0;
}
