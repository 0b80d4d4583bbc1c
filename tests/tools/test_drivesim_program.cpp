// The simulated drive's program as users and scripts run it: started as a child process, it
// names its endpoints on standard output, answers on every wire it was asked to serve, and
// ends cleanly on SIGINT and SIGTERM, taking its serial-port registration with it.
#include <gtest/gtest.h>
#include <modbus.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/Registry.h"
#include "platform/gvtcli/GvtCli.h"
#include "transport/BridgeVkr.h"
#include "transport/TwincatAds.h"

using namespace transport;

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kStartMs = 30000;  // generous: sanitized builds on a loaded machine
constexpr const char* kSerialKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// A temporary folder for the user-scope registry and the route table, removed at the end.
class TempFolder {
  public:
    TempFolder() {
        char pattern[] = "/tmp/tunova-drivesim-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made) path_ = made;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const fs::path& Path() const { return path_; }

  private:
    fs::path path_;
};

// Sets an environment variable while the object lives (the child inherits it).
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// The program running with its endpoints read: "pty" -> "/dev/pts/N", "tcp" -> "127.0.0.1:P" ...
class DriveSimProgram {
  public:
    bool Start(std::vector<std::string> args, size_t lines) {
        args.insert(args.begin(), TUNOVA_DRIVESIM_PROGRAM);
        platform::ChildOptions options;
        options.mergeErrorIntoOutput = false;
        if (!child_.Start(args, options)) {
            ADD_FAILURE() << child_.LastError();
            return false;
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartMs);
        std::string text;
        while (endpoints_.size() < lines && std::chrono::steady_clock::now() < end) {
            char buffer[256];
            const long n = child_.Read(platform::ChildProcess::Stream::Output, buffer, sizeof buffer, 200);
            if (n == 0 || n == -1) break;  // ended or failed
            if (n < 0) continue;
            text.append(buffer, static_cast<size_t>(n));
            for (size_t eol; (eol = text.find('\n')) != std::string::npos; text.erase(0, eol + 1)) {
                const std::string line = text.substr(0, eol);
                const size_t blank = line.find(' ');
                if (blank != std::string::npos) endpoints_[line.substr(0, blank)] = line.substr(blank + 1);
            }
        }
        if (endpoints_.size() < lines) {
            ADD_FAILURE() << "the program printed " << endpoints_.size() << " of " << lines
                          << " endpoint lines; standard error: " << ErrorOutput();
            return false;
        }
        return true;
    }
    const std::string& Endpoint(const std::string& kind) { return endpoints_[kind]; }
    int Port(const std::string& kind) {
        const std::string& text = endpoints_[kind];
        const size_t colon = text.rfind(':');
        return colon == std::string::npos ? -1 : std::atoi(text.c_str() + colon + 1);
    }
    // Sends the signal and waits for the end; the exit status, or -1 when it did not end.
    int Stop(int signal) {
        if (kill(child_.Pid(), signal) != 0) return -1;
        return child_.WaitExit(kStartMs) ? child_.ExitCode() : -1;
    }
    std::string ErrorOutput() {
        std::string out;
        char buffer[512];
        long n;
        while ((n = child_.Read(platform::ChildProcess::Stream::Error, buffer, sizeof buffer, 100)) > 0)
            out.append(buffer, static_cast<size_t>(n));
        return out;
    }

  private:
    platform::ChildProcess child_;
    std::map<std::string, std::string> endpoints_;
};

// The user-scope registry the program writes, read as another process sees it.
class UserRegistry {
  public:
    explicit UserRegistry(const fs::path& folder)
        : file_(folder / "registry"),
          env_("TUNOVA_REGISTRY_USER", file_.string()),
          registry_(folder / "machine-registry", file_) {}
    std::optional<std::string> Port(const std::string& name) {
        registry_.Reload();
        return registry_.GetString(platform::Scope::User, kSerialKey, name);
    }

  private:
    fs::path file_;
    ScopedEnv env_;
    platform::Registry registry_;
};

// A holding register read with libmodbus, or -1.
int ReadRegister(modbus_t* ctx, int address) {
    uint16_t value = 0;
    return modbus_read_registers(ctx, address, 1, &value) == 1 ? value : -1;
}

TEST(DriveSimProgram, ServesEveryWireAndEndsCleanlyOnSigterm) {
    TempFolder temp;
    ASSERT_FALSE(temp.Path().empty());
    UserRegistry registry(temp.Path());
    const std::string portName = "SimDrive" + std::to_string(getpid());
    DriveSimProgram program;
    ASSERT_TRUE(program.Start(
        {"--register", portName, "--tcp", "0", "--bridge", "0", "--ads", "0", "--comm", "0"}, 6));

    // The pseudo-terminal is listed under the given name while the program runs.
    const std::string pty = program.Endpoint("pty");
    EXPECT_EQ(pty.rfind("/dev/pts/", 0), 0u) << pty;
    EXPECT_EQ(registry.Port(portName), pty);
    for (const char* kind : {"tcp", "bridge", "ads", "comm"}) {
        EXPECT_EQ(program.Endpoint(kind).rfind("127.0.0.1:", 0), 0u) << kind;
        EXPECT_GT(program.Port(kind), 0) << kind;
    }

    {
        SCOPED_TRACE("Modbus RTU on the pseudo-terminal");
        modbus_t* rtu = modbus_new_rtu(pty.c_str(), 57600, 'E', 8, 1);
        ASSERT_NE(rtu, nullptr);
        modbus_set_slave(rtu, 1);
        modbus_set_response_timeout(rtu, 5, 0);
        ASSERT_EQ(modbus_connect(rtu), 0) << modbus_strerror(errno);
        EXPECT_EQ(ReadRegister(rtu, 33), 6871);
        modbus_close(rtu);
        modbus_free(rtu);
    }
    {
        SCOPED_TRACE("Modbus TCP");
        modbus_t* tcp = modbus_new_tcp("127.0.0.1", program.Port("tcp"));
        ASSERT_NE(tcp, nullptr);
        modbus_set_slave(tcp, 1);
        modbus_set_response_timeout(tcp, 5, 0);
        ASSERT_EQ(modbus_connect(tcp), 0) << modbus_strerror(errno);
        EXPECT_EQ(ReadRegister(tcp, 33), 6871);
        // The browse-present register, which the ADS slave lends from the same drive.
        EXPECT_EQ(modbus_write_register(tcp, 250, 0x1234), 1);
        modbus_close(tcp);
        modbus_free(tcp);
    }
    {
        SCOPED_TRACE("ADS through the printed route line");
        const fs::path routes = temp.Path() / "ads-routes";
        std::ofstream(routes) << "local 10.9.8.7.1.1\n" << program.Endpoint("ads-route") << "\n";
        ScopedEnv routeEnv("TUNOVA_ADS_ROUTES", routes.string());
        EXPECT_EQ(program.Endpoint("ads-route"),
                  "5.1.2.3.1.1 127.0.0.1 " + std::to_string(program.Port("ads")));
        CErrorPair owner;
        CTwincatAds channel(&owner, TUNOVA_ADS_LIBRARY);
        channel.SetTarget(AdsNetId{{5, 1, 2, 3, 1, 1}}, 1001);
        ASSERT_TRUE(channel.Connect()) << owner.Text();
        struct Case {
            uint16_t index;
            uint8_t sub;
            uint16_t expected;
        } cases[] = {{0x5FFD, 0x0E, 6871}, {0x5FF2, 0x01, 0x1234}};
        for (const Case& c : cases) {
            CAdsItem item;
            item.name = "Item";
            item.hasIndex = true;
            item.index = c.index;
            item.subIndex = c.sub;
            item.size = 2;
            uint8_t buffer[2] = {};
            uint32_t size = 2;
            EXPECT_EQ(channel.Read(item, buffer, &size, 5000), 0) << owner.Text();
            EXPECT_EQ(buffer[0] | buffer[1] << 8, c.expected) << std::hex << c.index;
        }
        channel.Disconnect();
    }
    {
        SCOPED_TRACE("fieldbus bridge");
        CBridgeVkr bridge;
        bridge.SetPort(static_cast<uint16_t>(program.Port("bridge")));
        ASSERT_TRUE(bridge.Connect("127.0.0.1")) << bridge.LastErrorText();
        EXPECT_EQ(bridge.GetVersionText(), "SimBridge 2.1.0.7");
        // The vendor code of the CANopen node 5 on bus 1.
        uint16_t value = 1;
        uint32_t status = 1, received = 0;
        bridge.SetCurrentTarget(1);
        bridge.SetCurrentNode(5);
        bridge.ClearDirect();
        bridge.CmdReadCan(0x5FFD, 14, &value, &status, sizeof value, &received);
        EXPECT_EQ(bridge.ExecuteCmds(5000), 0) << bridge.LastErrorText();
        EXPECT_EQ(status, 0u);
        EXPECT_EQ(received, 2u);
        EXPECT_EQ(value, 6871u);
        bridge.Disconnect();
    }
    {
        SCOPED_TRACE("communication server");
        ScopedEnv portEnv("TUNOVA_GVTSVR_PORT", std::to_string(program.Port("comm")));
        GvtFunctionEx functions[] = {{"RequestLibInfo", 0, 0}, {"ConnectNodeID", 0, 0}};
        GvtLibraryEx table[] = {{"CNO_LOGICAL_NODE", nullptr, 2, functions}, {nullptr, nullptr, 0, nullptr}};
        unsigned long handle = 0;
        ASSERT_EQ(GvtLoginNew("127.0.0.1", table, &handle, nullptr, 0), kGvtOk);
        uint8_t request[4] = {}, answer[4] = {};
        EXPECT_EQ(
            GvtCall(handle, 0, 16, functions[0].id, request, sizeof request, answer, sizeof answer, nullptr),
            kGvtOk);
        EXPECT_EQ(answer[2] << 8 | answer[3], 24);  // big-endian, as the node library's words
        // Node 1 on network 0 is there, node 2 is not.
        uint8_t node1[4] = {0, 0, 0, 1}, node2[4] = {0, 0, 0, 2};
        EXPECT_EQ(GvtCall(handle, 0, 0, functions[1].id, node1, sizeof node1, answer, sizeof answer, nullptr),
                  kGvtOk);
        EXPECT_EQ(GvtCall(handle, 0, 0, functions[1].id, node2, sizeof node2, answer, sizeof answer, nullptr),
                  kGvtNodeNotPresent);
        EXPECT_EQ(GvtLogout(handle), kGvtOk);
    }

    EXPECT_EQ(program.Stop(SIGTERM), 0) << program.ErrorOutput();
    EXPECT_EQ(registry.Port(portName), std::nullopt);
}

// Either signal ends the program at once after its start, and the port list is clean again.
TEST(DriveSimProgram, EitherSignalUnregistersThePort) {
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(signal));
        TempFolder temp;
        UserRegistry registry(temp.Path());
        DriveSimProgram program;
        ASSERT_TRUE(program.Start({"--register", "SimPort", "--comm", "0"}, 2));
        EXPECT_EQ(registry.Port("SimPort"), program.Endpoint("pty"));
        EXPECT_EQ(program.Stop(signal), 0) << program.ErrorOutput();
        EXPECT_EQ(registry.Port("SimPort"), std::nullopt);
    }
}

// Wrong command lines name every option; a map that cannot be read fails before serving.
TEST(DriveSimProgram, BadCommandLinesAreRefused) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    } cases[] = {
        {{}, 2},
        {{"--tcp"}, 2},
        {{"--tcp", "x"}, 2},
        {{"--bridge", "-1"}, 2},
        {{"--ads", "70000"}, 2},
        {{"--register", ""}, 2},
        {{"--pty", "--unknown"}, 2},
        {{"--map", "/nonexistent/drives.map", "--tcp", "0"}, 1},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), TUNOVA_DRIVESIM_PROGRAM);
        SCOPED_TRACE(::testing::PrintToString(args));
        platform::ChildRunResult result;
        std::string error;
        platform::ChildOptions options;
        options.mergeErrorIntoOutput = false;
        ASSERT_TRUE(platform::RunChildProcess(args, options, kStartMs, &result, &error)) << error;
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.output, "");
        if (c.exitCode == 2) {
            for (const char* option : {"--map FILE", "--pty", "--register NAME", "--tcp PORT",
                                       "--bridge PORT", "--ads PORT", "--comm PORT"})
                EXPECT_NE(result.errorOutput.find(option), std::string::npos) << option;
        }
    }
}

// The drive's behaviour from the command line: a description and switches, over Modbus TCP.
TEST(DriveSimProgram, DescriptionAndSwitchesFromTheCommandLine) {
    TempFolder temp;
    UserRegistry registry(temp.Path());
    const std::string description = std::string(TUNOVA_FIXTURES) + "/../../app/data/Xml/1234_2_3_1.xml";
    DriveSimProgram program;
    ASSERT_TRUE(program.Start(
        {"--description", description, "--inject", "state=4", "--inject", "stuck-state", "--tcp", "0"}, 1));
    modbus_t* tcp = modbus_new_tcp("127.0.0.1", program.Port("tcp"));
    ASSERT_NE(tcp, nullptr);
    modbus_set_slave(tcp, 1);
    modbus_set_response_timeout(tcp, 5, 0);
    ASSERT_EQ(modbus_connect(tcp), 0) << modbus_strerror(errno);
    EXPECT_EQ(ReadRegister(tcp, 33), 6871);
    EXPECT_EQ(ReadRegister(tcp, 3001), 0x0237) << "statusword: operation enabled";
    EXPECT_EQ(modbus_write_register(tcp, 3000, 0), 1);
    EXPECT_EQ(ReadRegister(tcp, 3001), 0x0237) << "the state is stuck";
    modbus_close(tcp);
    modbus_free(tcp);
    EXPECT_EQ(program.Stop(SIGTERM), 0) << program.ErrorOutput();
}

TEST(DriveSimProgram, BadDescriptionsAndSwitchesAreRefused) {
    const std::string description = std::string(TUNOVA_FIXTURES) + "/../../app/data/Xml/1234_2_3_1.xml";
    const std::string map = std::string(TUNOVA_FIXTURES) + "/tools/two_drives.map";
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* error;
    } cases[] = {
        {{"--inject", "bogus", "--tcp", "0"}, 2, "unknown switch 'bogus'"},
        {{"--inject", "refuse=SYS_CV_NONE", "--tcp", "0"}, 1, "no system command 'SYS_CV_NONE'"},
        {{"--description", "/nonexistent/drive.xml", "--tcp", "0"}, 1, "cannot read /nonexistent/drive.xml"},
        {{"--description", description, "--map", map, "--tcp", "0"}, 2, "--description FILE"},
        {{"--map", map, "--inject", "stuck-state", "--tcp", "0"}, 1, "--inject needs a described drive"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), TUNOVA_DRIVESIM_PROGRAM);
        SCOPED_TRACE(::testing::PrintToString(args));
        platform::ChildRunResult result;
        std::string error;
        platform::ChildOptions options;
        options.mergeErrorIntoOutput = false;
        ASSERT_TRUE(platform::RunChildProcess(args, options, kStartMs, &result, &error)) << error;
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.output, "");
        EXPECT_NE(result.errorOutput.find(c.error), std::string::npos) << result.errorOutput;
    }
}

}  // namespace
