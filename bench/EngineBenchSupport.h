#pragma once
// Shared set-up of the engine benchmarks: a temporary folder tree holding one description
// and a simulated drive that identifies as that description's device.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "engine/ConfigFileIndex.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "foundation/Authorizations.h"
#include "foundation/BrandList.h"
#include "foundation/ProgramFolders.h"
#include "tools/drivesim/SimDrive.h"

namespace bench_support {

inline void PrepareEngineFolders(const std::filesystem::path& root, const std::string& description,
                                 const std::string& fileName = "2_1.xml") {
    for (const char* sub : {"tree", "base/Xml", "program", "data", "user", "config", "temp", "reg"})
        std::filesystem::create_directories(root / sub);
    std::ofstream(root / "tree" / fileName) << description;
    setenv("TUNOVA_REGISTRY_MACHINE", (root / "reg" / "machine").c_str(), 1);
    setenv("TUNOVA_REGISTRY_USER", (root / "reg" / "user").c_str(), 1);
    setenv("TUNOVA_PROGRAM_DIR", (root / "program").c_str(), 1);
    setenv("TUNOVA_DATA_DIR", (root / "data").c_str(), 1);
    setenv("TUNOVA_USER_DATA_DIR", (root / "user").c_str(), 1);
    setenv("TUNOVA_COMMON_DATA_DIR", (root / "base").c_str(), 1);
    setenv("TUNOVA_CONFIG_DIR", (root / "config").c_str(), 1);
    setenv("TUNOVA_TEMP_DIR", (root / "temp").c_str(), 1);
    foundation::InitProgramFolders();
    foundation::GetAuthorizations().SetRequestedUser("user");
    foundation::GetAuthorizations().LoadDefaultList();
    foundation::CBrandList& list = foundation::GetBrandList();
    list.RemoveAll();
    auto brand = std::make_unique<foundation::CBrand>();
    brand->m_strName = "Varno";
    brand->m_strFolder = (root / "tree").string();
    brand->m_strDataFolder = (root / "tree").string();
    brand->m_strBaseFolder = (root / "base").string();
    list.Sources().push_back(std::move(brand));
    list.SetCurrentIndex(0);
    engine::ClearVocabularyIndexBuilt();
}

// The identification registers of a legacy drive of the description's device (2_1).
inline void SetupIdentifiedDrive(drivesim::SimDrive& drive) {
    drive.SetRegister(33, 6871);
    drive.SetRegister(250, 0xFFFF);
    drive.SetRegister(900, 0);
    drive.SetU32(21, 5);
    drive.SetRegisters(34, {2, 0});
    for (uint16_t r : {12, 15, 18, 170}) drive.SetRegister(r, 1);
    drive.SetRegister(31, 0);
    drive.SetRegister(32, 0);
}

// Makes the engine's channels and points its communication box channel at the simulated drive's
// TCP port; the channel's index, -1 when there is none.
inline int UseBoxChannel(engine::CMainApi& api, int port) {
    engine::CMain& engine = *api.Engine();
    engine::CChannelInfo info;
    engine.CreateChannels(info);
    int box = -1;
    for (int i = 0; i < engine.ChannelCount(); ++i)
        if (engine.Channel(i) && engine.Channel(i)->name == "Mirel") box = i;
    api.SelectChannel(box);
    engine::CChannelSettings settings;
    settings.words[0] = 0x7F000001;
    settings.words[2] = static_cast<uint32_t>(port);
    api.ChannelConfigure(settings);
    return box;
}

}  // namespace bench_support
