// Loads a generated description of 10,000 variables to a ready vocabulary and looks names up.
// Prints the load time and the time per lookup.

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/Vocabolario.h"
#include "foundation/BrandList.h"
#include "foundation/ProgramFolders.h"

using namespace foundation;
using namespace engine;

namespace {

constexpr int kVariables = 10000;
constexpr int kLookups = 1000000;

std::string Name(int i) {
    return "Variable" + std::to_string(100000 + i).substr(1);
}

std::string Description() {
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<DEVICE hw=\"3\" sw=\"410\" sw_ver=\"2\">\r\n"
        "\t<Modbus compact=\"1\"/>\r\n\t<DICTIONARY>\r\n";
    for (int g = 0; g < kVariables; g += 100) {
        x += "\t\t<GROUP name=\"Block " + std::to_string(g / 100) + "\">\r\n";
        for (int i = g; i < g + 100 && i < kVariables; ++i) {
            char line[512];
            std::snprintf(
                line, sizeof line,
                "\t\t\t<ITEM id=\"%d\" name=\"%s\" title=\"Title %d\" descr=\"Generated variable %d\" "
                "fieldbusaddress=\"0x%04X.%02X\" modbusaddress=\"%d\" read=\"1\" write=\"%s\" "
                "size=\"%d\" signed=\"%d\" class=\"setting\"/>\r\n",
                i, Name(i).c_str(), i, i, 0x3000 + i / 200, i % 200, 1000 + i, i % 4 ? "1" : "I",
                1 << (i % 3), i % 2);
            x += line;
        }
        x += "\t\t</GROUP>\r\n";
    }
    x += "\t</DICTIONARY>\r\n</DEVICE>\r\n";
    return x;
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/bench_vocabulary_XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const fs::path root = pattern;
    for (const char* variable : {"TUNOVA_COMMON_DATA_DIR", "TUNOVA_USER_DATA_DIR", "TUNOVA_TEMP_DIR"})
        ::setenv(variable, pattern, 1);
    InitProgramFolders();
    {
        std::ofstream out(root / "410_2_0_0.xml", std::ios::binary);
        out << Description();
    }
    auto brand = std::make_unique<CBrand>();
    brand->m_strName = "Varno";
    brand->m_strFolder = root.string();
    brand->m_strBaseFolder = root.string();
    GetBrandList().RemoveAll();
    GetBrandList().Sources().push_back(std::move(brand));

    using Clock = std::chrono::steady_clock;
    double bestLoadMs = 1e9;
    std::unique_ptr<CVocabolario> vocabulary;
    for (int run = 0; run < 5; ++run) {
        vocabulary =
            std::make_unique<CVocabolario>("Varno", 0, "410_2_0_0.xml", CVocabolario::kBrandCode, true);
        vocabulary->hw = 3;
        const auto t0 = Clock::now();
        const uint32_t count = vocabulary->Load();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (count != kVariables) {
            std::fprintf(stderr, "loaded %u items, expected %d\n", count, kVariables);
            return 1;
        }
        bestLoadMs = std::min(bestLoadMs, ms);
    }

    std::vector<std::string> names(kVariables);
    for (int i = 0; i < kVariables; ++i) names[size_t(i)] = Name(i);
    std::mt19937 random(12345);
    std::vector<uint32_t> order(kLookups);
    for (uint32_t& o : order) o = random() % kVariables;

    size_t found = 0;
    const auto t0 = Clock::now();
    for (uint32_t o : order) found += vocabulary->FindItem(names[o], 1) != nullptr;
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / kLookups;
    if (found != size_t(kLookups)) return 1;

    std::printf(
        "vocabulary of %d variables: load %.1f ms (best of 5, file read, filter, parse, table of %u "
        "buckets)\n",
        kVariables, bestLoadMs, vocabulary->BucketCount());
    std::printf("lookup by name (FindItem, Modbus channel): %.1f ns per lookup over %d lookups\n", ns,
                kLookups);
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
