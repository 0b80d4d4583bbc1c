#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/AtomicFile.h"
#include "platform/Registry.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

class RegistryStore : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tunova_registry_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        machine_ = dir_ / "machine" / "registry";
        user_ = dir_ / "user" / "registry";
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_, machine_, user_;
};

constexpr const char* kAccess = "SOFTWARE\\Brand\\Tunova\\Access";

}  // namespace

TEST_F(RegistryStore, ValuesSurviveRestartOfTheStore) {
    {
        Registry reg(machine_, user_);
        ASSERT_TRUE(reg.SetDword(Scope::User, kAccess, "Level", 200)) << reg.LastError();
        ASSERT_TRUE(reg.SetString(Scope::User, kAccess, "Name", "caf\xC3\xA9 = a\\b\nnext"));
        ASSERT_TRUE(reg.SetDword(Scope::Machine, "SOFTWARE\\Brand\\Tunova", "Beta", 0xFFFFFFFF));
        ASSERT_TRUE(reg.SetString(Scope::User, kAccess, "", "default value"));
        ASSERT_TRUE(reg.SetString(Scope::User, kAccess, "odd=name;[x]", "v"));
        ASSERT_TRUE(reg.SetDword(Scope::User, "SOFTWARE\\50%]\\xbox", "n", 3));
    }
    std::string text;
    ASSERT_TRUE(ReadWholeFile(user_, &text, nullptr));
    // The file stays readable by a person.
    EXPECT_NE(text.find("\n[SOFTWARE\\Brand\\Tunova\\Access]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nLevel=dword:0x000000C8\n"), std::string::npos) << text;
    Registry reg(machine_, user_);
    EXPECT_EQ(reg.GetDword(Scope::User, kAccess, "Level"), 200u);
    EXPECT_EQ(reg.GetString(Scope::User, kAccess, "Name"), "caf\xC3\xA9 = a\\b\nnext");
    EXPECT_EQ(reg.GetString(Scope::User, kAccess, ""), "default value");
    EXPECT_EQ(reg.GetString(Scope::User, kAccess, "odd=name;[x]"), "v");
    EXPECT_EQ(reg.GetDword(Scope::Machine, "SOFTWARE\\Brand\\Tunova", "Beta"), 0xFFFFFFFFu);
    EXPECT_EQ(reg.GetDword(Scope::User, "SOFTWARE\\50%]\\xbox", "n"), 3u);
    // Scopes are separate stores.
    EXPECT_FALSE(reg.GetDword(Scope::Machine, kAccess, "Level"));
    // Key paths and names compare without letter case, extra separators do not matter.
    EXPECT_EQ(reg.GetDword(Scope::User, "software\\BRAND\\tunova\\access\\", "LEVEL"), 200u);
}

TEST_F(RegistryStore, MissingKeysValuesAndWrongTypesReportMissing) {
    Registry reg(machine_, user_);
    EXPECT_FALSE(reg.GetDword(Scope::User, kAccess, "Level"));  // no file at all
    ASSERT_TRUE(reg.SetDword(Scope::User, kAccess, "Level", 1));
    EXPECT_FALSE(reg.GetDword(Scope::User, kAccess, "Missing"));
    EXPECT_FALSE(reg.GetString(Scope::User, kAccess, "Level"));  // a DWORD is not a string
    EXPECT_FALSE(reg.GetDword(Scope::User, "SOFTWARE\\Other", "Level"));
    EXPECT_FALSE(reg.KeyExists(Scope::User, "SOFTWARE\\Other"));
    EXPECT_FALSE(reg.DeleteValue(Scope::User, kAccess, "Missing"));
    EXPECT_FALSE(reg.DeleteKey(Scope::User, "SOFTWARE\\Other"));
    EXPECT_TRUE(reg.EnumKeys(Scope::User, "SOFTWARE\\Other").empty());
    EXPECT_TRUE(reg.EnumValueNames(Scope::User, "SOFTWARE\\Other").empty());
}

TEST_F(RegistryStore, KeysEnumerateAndDeleteWithTheirSubkeys) {
    Registry reg(machine_, user_);
    ASSERT_TRUE(reg.SetString(Scope::User, "SOFTWARE\\Brand\\Tunova\\Xml", "Patch", "p"));
    ASSERT_TRUE(reg.SetString(Scope::User, "SOFTWARE\\Brand\\Tunova\\Custom\\Deep", "A", "a"));
    ASSERT_TRUE(reg.CreateKey(Scope::User, "SOFTWARE\\Brand\\Tunova\\Empty"));
    ASSERT_TRUE(reg.SetDword(Scope::User, "SOFTWARE\\Brand\\Tunova", "b", 2));
    ASSERT_TRUE(reg.SetDword(Scope::User, "SOFTWARE\\Brand\\Tunova", "A", 1));

    EXPECT_EQ(reg.EnumKeys(Scope::User, "SOFTWARE\\Brand\\Tunova"),
              (std::vector<std::string>{"Custom", "Empty", "Xml"}));
    EXPECT_EQ(reg.EnumValueNames(Scope::User, "SOFTWARE\\Brand\\Tunova"),
              (std::vector<std::string>{"A", "b"}));
    EXPECT_TRUE(reg.KeyExists(Scope::User, "software\\brand"));

    EXPECT_TRUE(reg.DeleteKey(Scope::User, "SOFTWARE\\Brand\\Tunova\\Custom"));
    EXPECT_TRUE(reg.DeleteValue(Scope::User, "SOFTWARE\\Brand\\Tunova", "a"));
    Registry again(machine_, user_);
    EXPECT_EQ(again.EnumKeys(Scope::User, "SOFTWARE\\Brand\\Tunova"),
              (std::vector<std::string>{"Empty", "Xml"}));
    EXPECT_FALSE(again.GetString(Scope::User, "SOFTWARE\\Brand\\Tunova\\Custom\\Deep", "A"));
    EXPECT_EQ(again.EnumValueNames(Scope::User, "SOFTWARE\\Brand\\Tunova"), (std::vector<std::string>{"b"}));
}

TEST_F(RegistryStore, DamagedLinesAreSkippedAndGoodOnesKept) {
    fs::create_directories(user_.parent_path());
    std::ofstream(user_) << "; comment\n"
                            "[SOFTWARE\\A]\n"
                            "good=dword:0x10\r\n"
                            "bad1=dword:banana\n"
                            "bad2=dword:0x1FFFFFFFF\n"
                            "bad3=qword:1\n"
                            "no equals sign\n"
                            "bad4=sz:broken\\q escape\n"
                            "text=sz:hello\\tworld\n"
                            "[SOFTWARE\\B\n"
                            "lost=dword:1\n"
                            "[SOFTWARE\\C]\n"
                            "dec=dword:42\n"
                            "\x01\xFF garbage";
    Registry reg(machine_, user_);
    EXPECT_EQ(reg.GetDword(Scope::User, "SOFTWARE\\A", "good"), 16u);
    EXPECT_EQ(reg.GetString(Scope::User, "SOFTWARE\\A", "text"), "hello\tworld");
    EXPECT_EQ(reg.EnumValueNames(Scope::User, "SOFTWARE\\A"), (std::vector<std::string>{"good", "text"}));
    EXPECT_FALSE(reg.KeyExists(Scope::User, "SOFTWARE\\B"));
    EXPECT_EQ(reg.GetDword(Scope::User, "SOFTWARE\\C", "dec"), 42u);
    // Writing after damage keeps what was readable.
    ASSERT_TRUE(reg.SetDword(Scope::User, "SOFTWARE\\C", "new", 7));
    Registry again(machine_, user_);
    EXPECT_EQ(again.GetDword(Scope::User, "SOFTWARE\\A", "good"), 16u);
    EXPECT_EQ(again.GetDword(Scope::User, "SOFTWARE\\C", "new"), 7u);
}

TEST_F(RegistryStore, FailedWriteReportsAndChangesNothing) {
    // The user file's folder cannot be made: a regular file is in the way.
    std::ofstream(dir_ / "blocker") << "x";
    Registry reg(machine_, dir_ / "blocker" / "registry");
    EXPECT_FALSE(reg.SetDword(Scope::User, kAccess, "Level", 5));
    EXPECT_FALSE(reg.LastError().empty());
    EXPECT_FALSE(reg.GetDword(Scope::User, kAccess, "Level"));
}

TEST_F(RegistryStore, ChangesOfAnotherWriterAreKeptAndSeenAfterReload) {
    Registry a(machine_, user_), b(machine_, user_);
    ASSERT_TRUE(a.SetDword(Scope::User, kAccess, "One", 1));
    ASSERT_TRUE(b.SetDword(Scope::User, kAccess, "Two", 2));  // b had read nothing before
    EXPECT_FALSE(a.GetDword(Scope::User, kAccess, "Two"));    // cached until reload
    a.Reload();
    EXPECT_EQ(a.GetDword(Scope::User, kAccess, "One"), 1u);
    EXPECT_EQ(a.GetDword(Scope::User, kAccess, "Two"), 2u);
}

TEST_F(RegistryStore, SerialPortListHoldsSysPortsAndRegisteredPty) {
    // What /sys lists, scanned independently.
    std::vector<std::string> sys;
    std::error_code ec;
    for (fs::directory_iterator it("/sys/class/tty", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const bool serial =
            name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0 || name.rfind("ttyS", 0) == 0;
        if (!serial || !fs::exists(it->path() / "device")) continue;
        std::ifstream type(it->path() / "type");
        int t = -1;
        if (name.rfind("ttyS", 0) == 0 && type >> t && t == 0) continue;
        sys.push_back(name);
    }

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string pty = ptsname(master);

    Registry reg(machine_, user_);
    ASSERT_TRUE(reg.SetString(Scope::User, "HARDWARE\\DEVICEMAP\\SERIALCOMM", "pty0", pty));
    const std::vector<std::string> ports = reg.SerialPortList();
    for (const std::string& name : sys)
        EXPECT_NE(std::find(ports.begin(), ports.end(), name), ports.end()) << name;
    EXPECT_EQ(std::count(ports.begin(), ports.end(), pty), 1);
    EXPECT_EQ(ports.size(), sys.size() + 1);
    close(master);
}

TEST_F(RegistryStore, SerialPortScanKeepsOnlyPortsWithADevice) {
    const fs::path tty = dir_ / "tty";
    const auto port = [&](const char* name, bool device, const char* type) {
        fs::create_directories(tty / name);
        if (device) fs::create_directories(tty / name / "device");
        if (type) std::ofstream(tty / name / "type") << type << "\n";
    };
    port("ttyS10", true, "4");
    port("ttyS2", true, "4");
    port("ttyS3", true, "0");  // placeholder without a UART
    port("ttyUSB0", true, nullptr);
    port("ttyACM1", false, nullptr);
    port("tty5", true, nullptr);
    port("ttySX", true, nullptr);
    Registry reg(machine_, user_);
    reg.SetTtyClassFolder(tty);
    ASSERT_TRUE(reg.SetString(Scope::Machine, "HARDWARE\\DEVICEMAP\\SERIALCOMM", "dup", "ttyUSB0"));
    EXPECT_EQ(reg.SerialPortList(), (std::vector<std::string>{"ttyS2", "ttyS10", "ttyUSB0"}));
}
