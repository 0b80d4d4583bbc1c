#include "tests/engine/EngineTestSupport.h"

#include <cstdlib>
#include <memory>
#include <random>

#include "engine/ConfigFileIndex.h"
#include "foundation/Authorizations.h"
#include "foundation/BrandList.h"
#include "foundation/ProgramFolders.h"
#include "foundation/ProgramSwitches.h"
#include "platform/Registry.h"

using namespace foundation;
using namespace engine;

namespace fs = std::filesystem;

namespace enginetest {

namespace {

constexpr const char* kPortKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

fs::path MakeTempFolder(const std::string& prefix) {
    std::random_device rd;
    fs::path folder = fs::temp_directory_path() / (prefix + std::to_string(rd()));
    fs::create_directories(folder);
    return folder;
}

// The registry and the serial port list of the tests live in a temporary folder; the
// computer's own serial ports are left out so that the channel list is known.
struct RegistrySandbox {
    RegistrySandbox() {
        folder = MakeTempFolder("tunova_engine_reg_");
        if (!std::getenv("TUNOVA_REGISTRY_MACHINE"))
            setenv("TUNOVA_REGISTRY_MACHINE", (folder / "machine").c_str(), 1);
        if (!std::getenv("TUNOVA_REGISTRY_USER"))
            setenv("TUNOVA_REGISTRY_USER", (folder / "user").c_str(), 1);
        fs::create_directories(folder / "tty");
    }
    ~RegistrySandbox() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    fs::path folder;
};

RegistrySandbox& Sandbox() {
    static RegistrySandbox sandbox;
    return sandbox;
}

// Made before main so that the registry never opens the user's own files.
const bool kSandboxReady = (Sandbox(), true);

void WriteRegisterText(drivesim::SimDrive& drive, uint16_t address, const std::string& text) {
    drivesim::SimDomain domain;
    domain.bytes.assign(text.begin(), text.end());
    domain.writable = false;
    drive.SetDomain(address, domain);
}

void SetupValues(drivesim::SimDrive& drive) {
    drive.SetRegister(1101, 0);
    for (uint16_t a = 1000; a <= 1005; ++a) drive.SetRegister(a, 0);
    drivesim::SimSdoObject long64;
    long64.bytes = {1, 2, 3, 4, 5, 6, 7, 8};
    drive.SetSdoObject(1010, long64);
    drive.SetRegister(1020, 77);
    drive.SetRegister(1021, 0);
    drive.SetRegister(1030, 0);
    drive.SetRegister(1031, 0);
    drive.SetRegisters(1050, {0, 0});
    drivesim::SimDomain block;
    const std::string text = BlockText();
    block.bytes.assign(text.begin(), text.end());
    drive.SetDomain(2000, block);
}

}  // namespace

DescriptionTree::DescriptionTree() {
    (void)kSandboxReady;
    root_ = MakeTempFolder("tunova_engine_tree_");
    fs::copy(fs::path(TUNOVA_FIXTURES) / "engine" / "engine_tree", root_ / "tree",
             fs::copy_options::recursive);
    fs::create_directories(root_ / "base" / "Xml");
    for (const char* sub : {"program", "data", "user", "config", "temp"}) fs::create_directories(root_ / sub);
    setenv("TUNOVA_PROGRAM_DIR", (root_ / "program").c_str(), 1);
    setenv("TUNOVA_DATA_DIR", (root_ / "data").c_str(), 1);
    setenv("TUNOVA_USER_DATA_DIR", (root_ / "user").c_str(), 1);
    setenv("TUNOVA_COMMON_DATA_DIR", (root_ / "base").c_str(), 1);
    setenv("TUNOVA_CONFIG_DIR", (root_ / "config").c_str(), 1);
    setenv("TUNOVA_TEMP_DIR", (root_ / "temp").c_str(), 1);
    InitProgramFolders();
    g_DebugMode = false;
    GetAuthorizations().ClearTags();
    GetAuthorizations().SetRequestedUser("user");
    GetAuthorizations().LoadDefaultList();
    CBrandList& list = GetBrandList();
    list.RemoveAll();
    auto brand = std::make_unique<CBrand>();
    brand->m_strName = "Varno";
    brand->m_strFolder = (root_ / "tree").string();
    brand->m_strDataFolder = (root_ / "tree").string();
    brand->m_strBaseFolder = (root_ / "base").string();
    list.Sources().push_back(std::move(brand));
    list.SetCurrentIndex(0);
    ClearVocabularyIndexBuilt();
}

DescriptionTree::~DescriptionTree() {
    GetBrandList().RemoveAll();
    ClearVocabularyIndexBuilt();
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void RegisterPort(const std::string& valueName, const std::string& path) {
    platform::Registry& registry = platform::Registry::Instance();
    registry.SetTtyClassFolder(Sandbox().folder / "tty");
    registry.SetString(platform::Scope::User, kPortKey, valueName, path);
}

void UnregisterPort(const std::string& valueName) {
    platform::Registry::Instance().DeleteValue(platform::Scope::User, kPortKey, valueName);
}

void SetupLegacyDrive(drivesim::SimDrive& drive, bool wordSwap) {
    drive.SetRegister(33, 6871);
    drive.SetRegister(250, 0xFFFF);  // no version browse: the legacy registers tell the identity
    drive.SetRegister(900, wordSwap ? 1 : 0);
    drive.SetU32(21, 5, wordSwap);
    drive.SetRegisters(34, {2, 0});  // the box reads the firmware code as two registers
    drive.SetRegister(12, 1);
    drive.SetRegister(15, 1);
    drive.SetRegister(31, 0);
    drive.SetRegister(18, 1);
    drive.SetRegister(32, 0);
    drive.SetRegister(170, 1);
    SetupValues(drive);
}

void SetupDescribedDrive(drivesim::SimDrive& drive) {
    drive.SetRegister(33, 6871);
    drive.SetRegister(250, 1);
    drive.SetRegister(15, 0);
    WriteRegisterText(drive, 114, "Firmware 3 v.2.1.0");
    WriteRegisterText(drive, 110, "Hardware 7 v.1.0.0");
    SetupValues(drive);
}

std::string BlockText() {
    std::string text;
    for (int i = 0; i < 301; ++i) text += static_cast<char>('a' + i % 26);
    return text;
}

int FindChannel(CMain& engine, const std::string& name) {
    for (int i = 0; i < engine.ChannelCount(); ++i)
        if (engine.Channel(i) && engine.Channel(i)->name == name) return i;
    return -1;
}

}  // namespace enginetest
