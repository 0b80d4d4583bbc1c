// Feeds arbitrary files to the platform's stores read from disk: the registry store file and the
// ADS client library's route table. The first byte chooses the reader; the rest is the file.
//
//   byte 0 % 2: 0 registry store (the user scope's file; what is read is written back and read
//               again, and must come back the same), 1 ADS route table.
#include <stdlib.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"
#include "platform/ads/AdsRoutes.h"

using platform::Registry;
using platform::Scope;

namespace fs = std::filesystem;

namespace {

fs::path g_folder;

// Every key below the root with its values, as the store gives them.
void Walk(Registry& registry, const std::string& key, int depth, std::vector<std::string>& out) {
    if (depth > 8) return;
    for (const std::string& name : registry.EnumValueNames(Scope::User, key)) {
        const std::optional<uint32_t> word = registry.GetDword(Scope::User, key, name);
        const std::optional<std::string> text = registry.GetString(Scope::User, key, name);
        out.push_back(key + "|" + name + "|" + (word ? std::to_string(*word) : "-") + "|" +
                      (text ? *text : "-"));
    }
    for (const std::string& sub : registry.EnumKeys(Scope::User, key))
        Walk(registry, key.empty() ? sub : key + "\\" + sub, depth + 1, out);
}

// The key the check writes; what the input holds below it may change.
constexpr const char* kWrittenKey = "FuzzWritten";

std::vector<std::string> WithoutWritten(std::vector<std::string> lines) {
    std::erase_if(lines, [](const std::string& line) {
        const std::string_view prefix(kWrittenKey);
        if (line.size() < prefix.size()) return false;
        for (size_t i = 0; i < prefix.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(line[i])) !=
                std::tolower(static_cast<unsigned char>(prefix[i])))
                return false;
        return true;
    });
    return lines;
}

void Store(std::string_view text) {
    const fs::path machine = g_folder / "machine.reg", user = g_folder / "user.reg";
    std::error_code ec;
    fs::remove(machine, ec);
    std::ofstream(user, std::ios::binary | std::ios::trunc)
        .write(text.data(), static_cast<std::streamsize>(text.size()));
    std::vector<std::string> first, again;
    {
        Registry registry(machine, user);
        Walk(registry, "", 0, first);
        (void)registry.GetDword(Scope::User, "SOFTWARE\\Brand\\Tunova\\Access", "Level");
        (void)registry.SerialPortList();
        // A change writes the whole store back.
        if (!registry.SetDword(Scope::User, kWrittenKey, "Written", 1)) return;
    }
    Registry registry(machine, user);
    Walk(registry, "", 0, again);
    if (WithoutWritten(first) != WithoutWritten(again)) __builtin_trap();
}

void Routes(std::string_view text) {
    const adslib::RouteTable table = adslib::ParseRouteTable(std::string(text));
    std::string host;
    uint16_t port = 0;
    table.Find(table.local, &host, &port);
    for (const adslib::Route& route : table.routes) table.Find(route.netId, &host, &port);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // In memory where the system offers it: every change of the store is flushed to disk.
    for (const char* base : {"/dev/shm", "/tmp"}) {
        std::string pattern = std::string(base) + "/fuzz_platform_stores_XXXXXX";
        if (const char* dir = ::mkdtemp(pattern.data())) {
            g_folder = dir;
            std::atexit([] {
                std::error_code ec;
                fs::remove_all(g_folder, ec);
            });
            break;
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || g_folder.empty()) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] % 2 == 0)
        Store(text);
    else
        Routes(text);
    return 0;
}
