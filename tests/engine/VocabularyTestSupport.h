#pragma once
// Shared set-up of the vocabulary, index and vocabulary-choice tests: a temporary folder tree for
// every program folder, one configuration-file source in it, scripted prompts, and small
// description files written from the description format.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/ConfigFileIndex.h"
#include "foundation/Authorizations.h"
#include "foundation/BrandList.h"
#include "foundation/ProgramFolders.h"
#include "foundation/ProgramSwitches.h"
#include "platform/Prompt.h"

namespace vocabulary_test {

namespace fs = std::filesystem;

inline fs::path FixturePath(const std::string& name) {
    return fs::path(TUNOVA_FIXTURES) / "engine" / "vocabulary" / name;
}

inline std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

inline std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}

// Brand marking that makes an index Item of that software code and version belong to brand 6871.
inline uint32_t OemFor(uint32_t sw, uint32_t swVer) {
    uint32_t p = sw * swVer;
    if (p < 65536) p += 65536;
    return (1u << 16) | ((p - 6871u) & 0xFFFFu);
}

struct Description {
    uint32_t sw = 100;
    std::string hw = "3";
    int major = 1, minor = 0, patch = 0;
    int preState = 0, preNumber = 0;
    std::string descr = "Test drive";
    bool withOem = true;
    bool withIdentity = true;
    std::string items =
        "<ITEM id=\"1\" name=\"Speed\" modbusaddress=\"100\" fieldbusaddress=\"0x2000.01\" read=\"1\"/>";
    std::string extra;  // more children of DEVICE
};

inline std::string DescriptionText(const Description& d) {
    std::ostringstream x;
    x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
    x << "<DEVICE hw=\"" << d.hw << "\" sw=\"" << d.sw << "\" sw_ver=\"" << d.major
      << "\" build=\"0\" version=\"1\" xml_ver=\"3\">\r\n";
    x << "<Description>" << d.descr << "</Description>\r\n";
    if (d.withOem) x << "<ClientList oem=\"" << OemFor(d.withIdentity ? d.sw : d.sw, d.major) << "\"/>\r\n";
    if (d.withIdentity)
        x << "<Identity><Product code=\"" << d.sw << "\" name=\"\"/><Version major=\"" << d.major
          << "\" minor=\"" << d.minor << "\" patch=\"" << d.patch << "\" prestatus=\"" << d.preState
          << "\" prenumber=\"" << d.preNumber
          << "\"/><Attributes><Attribute code=\"1\" value=\"3\"/></Attributes></Identity>\r\n";
    x << d.extra;
    x << "<DICTIONARY>" << d.items << "</DICTIONARY>\r\n</DEVICE>\r\n";
    return x.str();
}

inline std::string FileNameOf(const Description& d) {
    std::string name = std::to_string(d.sw) + "_" + std::to_string(d.major) + "_" + std::to_string(d.minor) +
                       "_" + std::to_string(d.patch);
    if (d.preState) name += "-x" + std::to_string(d.preNumber);
    return name + ".xml";
}

// Sets a file's modification time (seconds since 1970) so that date changes do not depend on the clock.
inline void SetFileTime(const fs::path& file, time_t seconds) {
    struct timespec times[2];
    times[0].tv_sec = seconds;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

// A temporary tree holding every folder of the program, one source "Varno" with its description
// folder (mode 0), base folder (index files; "Xml" below it is mode 1) and scripted prompts.
class VocabularyEnvironment : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tunova_vocab_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        for (const char* sub : {"program", "data", "user", "common", "config", "temp", "descriptions"})
            fs::create_directories(root / sub);
        ::setenv("TUNOVA_PROGRAM_DIR", (root / "program").c_str(), 1);
        ::setenv("TUNOVA_DATA_DIR", (root / "data").c_str(), 1);
        ::setenv("TUNOVA_USER_DATA_DIR", (root / "user").c_str(), 1);
        ::setenv("TUNOVA_COMMON_DATA_DIR", (root / "common").c_str(), 1);
        ::setenv("TUNOVA_CONFIG_DIR", (root / "config").c_str(), 1);
        ::setenv("TUNOVA_TEMP_DIR", (root / "temp").c_str(), 1);
        foundation::InitProgramFolders();

        foundation::CBrandList& brands = foundation::GetBrandList();
        brands.RemoveAll();
        auto brand = std::make_unique<foundation::CBrand>();
        brand->m_strName = "Varno";
        brand->m_strFolder = (root / "descriptions").string();
        brand->m_strDataFolder = (root / "common").string();
        brand->m_strBaseFolder = (root / "common").string();
        brands.Sources().push_back(std::move(brand));
        brands.SetCurrentIndex(0);

        foundation::g_DebugMode = false;
        foundation::CAuthorizations& auth = foundation::GetAuthorizations();
        auth.ClearTags();
        auth.SetRequestedUser("user");
        auth.LoadDefaultList();

        prompts.SetDefaultAnswer(platform::IDCANCEL);
        platform::SetPromptService(&prompts);
        engine::ClearVocabularyIndexBuilt();
    }

    void TearDown() override {
        platform::SetPromptService(nullptr);
        foundation::g_DebugMode = false;
        foundation::GetAuthorizations().ClearTags();
        foundation::GetAuthorizations().SetRequestedUser("user");
        foundation::GetAuthorizations().LoadDefaultList();
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    fs::path Descriptions() const { return root / "descriptions"; }
    fs::path BaseFolder() const { return root / "common"; }

    fs::path WriteDescription(const Description& d, const std::string& name = {},
                              const fs::path& folder = {}) {
        const fs::path file =
            (folder.empty() ? Descriptions() : folder) / (name.empty() ? FileNameOf(d) : name);
        WriteFile(file, DescriptionText(d));
        return file;
    }

    std::vector<fs::path> IndexFiles() const {
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(BaseFolder()))
            if (e.path().extension() == ".idx") files.push_back(e.path());
        std::sort(files.begin(), files.end());
        return files;
    }

    fs::path root;
    platform::ScriptedPrompts prompts;
};

}  // namespace vocabulary_test
