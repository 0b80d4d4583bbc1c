#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "drive/SettingsFile.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"
#include "platform/Prompt.h"

using namespace foundation;
using namespace drive;

namespace fs = std::filesystem;

namespace {

class FakeHost : public ISettingsHost {
  public:
    void SetChannelVariable(int channel, const std::string& name) override { channels[channel] = name; }
    void AssignChannels() override { ++assigned; }
    std::string GetChannelVariable(int channel) const override { return channels[channel]; }
    void SaveUnitSettings(CXmlNode& ua) override { ua.SetAttribute("Position", unitPosition); }
    void LoadUnitSettings(const CXmlNode& ua) override { unitPosition = ua.GetAttribute("Position", "?"); }
    bool IsDescriptionVariable(const std::string& name) const override { return known.count(name) != 0; }
    ScreenArea VirtualScreen() const override { return screen; }

    std::array<std::string, 4> channels;
    int assigned = 0;
    std::string unitPosition = "1";
    std::set<std::string> known;
    ScreenArea screen{0, 0, 1920, 1080};
};

class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tunova_settings_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        path_ = CSettingsFile::ProgramSettingsPath(folder_);
        platform::SetPromptService(&prompts_);
        file_.SetDefaultSettings();
    }
    void TearDown() override {
        platform::SetPromptService(nullptr);
        fs::remove_all(folder_);
    }
    void Write(const fs::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // A minimal accepted document around the given elements.
    static std::string Doc(const std::string& version, const std::string& body) {
        return "<TunovaIniFile><MAIN FileVersion=\"" + version + "\"/><CONNECTION/><READ_WRITE_VOCABULARY/>" +
               body + "</TunovaIniFile>";
    }

    fs::path folder_, path_;
    platform::ScriptedPrompts prompts_;
    CDriveSettings s_;
    FakeHost host_;
    CSettingsFile file_{s_, host_};
};

TEST_F(SettingsFileTest, FirstStartKeepsTheInitialValues) {
    EXPECT_EQ(path_.filename(), "Tunova.ini");
    s_.OscLayout = "kept";
    EXPECT_FALSE(file_.LoadProgramSettings(path_));
    EXPECT_EQ(prompts_.AskedCount(), 0u);
    EXPECT_EQ(s_.connection.ChannelName, "COM1");
    EXPECT_EQ(s_.connection.PcBaudRate, 57600);
    EXPECT_EQ(s_.ExportCvsDecimalSymbol, "?");
    EXPECT_TRUE(s_.TriggerSingle);
    EXPECT_EQ(s_.OscWidth, 599);
    EXPECT_EQ(s_.OscHeight, 317);
    EXPECT_EQ(s_.OscLayout, "kept");
    EXPECT_EQ(s_.Dock, kDockBottom);
}

TEST_F(SettingsFileTest, ProgramFileLivesInTheSettingsFolder) {
    const char* old = getenv("TUNOVA_CONFIG_DIR");
    const std::string saved = old ? old : "";
    setenv("TUNOVA_CONFIG_DIR", folder_.c_str(), 1);
    EXPECT_EQ(CSettingsFile::DefaultProgramSettingsPath(), path_);
    if (old) {
        setenv("TUNOVA_CONFIG_DIR", saved.c_str(), 1);
    } else {
        unsetenv("TUNOVA_CONFIG_DIR");
    }
}

TEST_F(SettingsFileTest, RefusedDocuments) {
    struct Case {
        const char* text;
        bool newConnection;
        const char* message;  // null: nothing shown
        unsigned icon;
    } cases[] = {
        {"<OtherRoot><MAIN FileVersion=\"9\"/></OtherRoot>", false, nullptr, 0},
        {"<TunovaIniFile><CONNECTION ChannelName=\"X\"/></TunovaIniFile>", false, "'<MAIN>' node not found!",
         platform::MB_ICONSTOP},
        {"<TunovaIniFile><CONNECTION ChannelName=\"X\"/></TunovaIniFile>", true, nullptr, 0},
        {"<TunovaIniFile><MAIN FileVersion=\"10\"/><CONNECTION ChannelName=\"X\"/></TunovaIniFile>", false,
         ".ini file version greater than .ini interpreter program version!", platform::MB_ICONSTOP},
        {"<TunovaIniFile><MAIN FileVersion=\"10\"/><CONNECTION ChannelName=\"X\"/></TunovaIniFile>", true,
         nullptr, 0},
        {"<TunovaIniFile><MAIN FileVersion=\"7\"/><CONNECTION ChannelName=\"X\"/></TunovaIniFile>", false,
         nullptr, 0},
        {"<TunovaIniFile><MAIN/><CONNECTION ChannelName=\"X\"/></TunovaIniFile>", false, nullptr, 0},
        {"<TunovaIniFile><MAIN FileVersion=\"9\"/><CONNECTION ChannelName=\"X\"/></Other>", false, nullptr,
         0},
        {"\x01\x02 not xml", false, nullptr, 0},
    };
    for (const Case& c : cases) {
        prompts_.Clear();
        file_.SetDefaultSettings();
        Write(path_, c.text);
        EXPECT_FALSE(file_.LoadProgramSettings(path_, c.newConnection)) << c.text;
        EXPECT_EQ(s_.connection.ChannelName, "COM1") << c.text;
        if (!c.message) {
            EXPECT_EQ(prompts_.AskedCount(), 0u) << c.text;
            continue;
        }
        ASSERT_EQ(prompts_.AskedCount(), 1u) << c.text;
        auto asked = prompts_.Asked()[0];
        EXPECT_EQ(asked.text, c.message);
        EXPECT_EQ(asked.caption, "Error reading the '" + path_.string() + "' file");
        EXPECT_EQ(asked.flags & platform::MB_ICONMASK, c.icon);
    }
}

TEST_F(SettingsFileTest, MissingConnectionAndVocabularyAreReportedAndTheRestApplied) {
    Write(path_,
          "<TunovaIniFile><MAIN FileVersion=\"9\"><DATA_EXPORT ExportCvsDecimalSymbol=\",\"/></MAIN>"
          "<VARIABLES Var1=\"speed\"/></TunovaIniFile>");
    EXPECT_TRUE(file_.LoadProgramSettings(path_, true));
    auto asked = prompts_.Asked();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].text, "'<CONNECTION>' node not found!");
    EXPECT_EQ(asked[1].text, "READ_WRITE_VOCABULARY' node not found!");
    EXPECT_EQ(asked[1].flags & platform::MB_ICONMASK, platform::MB_ICONEXCLAMATION);
    EXPECT_EQ(s_.ExportCvsDecimalSymbol, ",");
    EXPECT_EQ(s_.Var[0], "speed");
}

void FillEverything(CDriveSettings& s, FakeHost& host) {
    s.DontDisplayConnect = 1;
    s.DontDisplayPermanent = 2;
    s.DontDisplayStimulus = 3;
    s.DontDisplayAutotune = 4;
    s.DontDisplayExtAutotune = 5;
    s.DontDisplayFwParameters = 6;
    s.ProgramAskSavePermanentMemory = false;
    s.ProgramSavePermanentMemory = false;
    s.ParamAskSavePermanentMemory = false;
    s.ParamSavePermanentMemory = false;
    s.ParamButtonDontAskConfirmSaveAllParam = true;
    s.DontAskLargeFonts = 7;
    s.DontAskScreenLess = 8;
    s.DontAskSafety = true;
    s.SafetySafePlc = false;
    s.ExportCvsDecimalSymbol = "PC_DEFAULT";
    CConnectionSettings& c = s.connection;
    c.DriveDescription = "drive è.xml";
    c.Hw = 0x1234;
    c.Sw = 77;
    c.SwVer = 0x20103;
    c.Beta = 4;
    ASSERT_TRUE(c.pver.ParseCompactText("4660,2,1,3,2,5"));
    c.ParamFileName = "/tmp/p <&>.xml";
    c.UserParamFileName = true;
    c.ChannelName = "ttyUSB3";
    c.PcBaudRate = 115200;
    c.PcTimeOut = -2;
    c.FromNode = 200;
    c.ToNode = 250;
    c.MaxNodesToSearch = 9;
    c.NotifyWrongXml = false;
    c.BridgeIPAddress = 0xC0A80101;
    c.BridgeSubnet = 3;
    c.BridgeSubnetId = 4;
    c.BridgeNodeId = 5;
    c.BcIPAddress = 0x0A000001;
    c.BcSubnet = 6;
    c.BcSubnetId = 7;
    c.BcNodeId = 1002;
    c.BcTimeout = 5000;
    c.EthAmsNetId = {5, 80, 201, 232, 1, 255};
    s.EthUseFoExFw = true;
    s.WizShowBus = true;
    s.WizAutoScan = true;
    s.OscLayout = "<Scope><Trace id=\"1\"/></Scope>";
    s.AutoscaleMode = 2;
    s.PanesPosX = 11;
    s.PanesPosY = 12;
    s.OscPosX = 13;
    s.OscPosY = 14;
    s.OscWidth = 800;
    s.OscHeight = 600;
    s.TriggerLinkedTo = 3;
    s.TriggerMode = "Normal";
    s.SamplingTime = 4;
    s.TriggerValue = "1.5";
    s.PretriggerValue = "25";
    s.SamplingTimeCode = 6;
    s.TriggerShow = true;
    s.TriggerSingle = false;
    s.TriggerRising = false;
    s.TriggerPosX = 15;
    s.TriggerPosY = 16;
    s.LoadPreset = false;
    s.ApplyToValue = 1;
    s.RefSelector = 2;
    s.Amplitude = "3.25";
    s.Frequency = 50;
    s.Duration = 1000;
    s.AbsoluteMov = true;
    s.RepetetiveMov = true;
    s.ForwardReverseMov = 1;
    s.MovementDelay = 20;
    s.ProfileVel = 300;
    s.ProfilePos = -400;
    s.ShowAddressColumn = 0;
    s.OrderColumnNumber = 3;
    s.OrderFl = false;
    s.ParametersPath = "/home/u/params";
    s.CmpPath = "/home/u/cmp";
    s.CmpFormat = 2;
    s.CmpSort = 1;
    s.ProgramsPath = "/home/u/prg";
    s.ProgramFileName = "main.prg";
    s.Var = {"v1", "v2", "v3", "v4"};
    s.Dock = kDockFloating;
    s.X = 100;
    s.Y = 200;
    s.Width = 700;
    s.Height = 300;
    s.ColWidth = {200, 90, 80, 70};
    s.UpdateMs = 500;
    s.TimeFormat = 2;
    s.ShowUs = 1;
    s.Background = true;
    host.channels = {"pos", "", "vel", "cur"};
    host.unitPosition = "7";
}

TEST_F(SettingsFileTest, WrittenFileReadsBackTheSameMembers) {
    FillEverything(s_, host_);
    ASSERT_TRUE(file_.SaveProgramSettings(path_));
    const std::string first = Read(path_);

    CDriveSettings back;
    FakeHost backHost;
    CSettingsFile backFile(back, backHost);
    backFile.SetDefaultSettings();
    ASSERT_TRUE(backFile.LoadProgramSettings(path_));
    EXPECT_EQ(prompts_.AskedCount(), 0u);
    EXPECT_EQ(back.connection.MaxNodesToSearch, 1);
    EXPECT_EQ(backHost.channels, host_.channels);
    EXPECT_EQ(backHost.assigned, 1);
    EXPECT_EQ(backHost.unitPosition, "7");
    EXPECT_EQ(back.connection.pver.GetCompactText(), s_.connection.pver.GetCompactText());
    EXPECT_EQ(back.connection.BridgeIPAddress, 0xC0A80101u);
    EXPECT_EQ(back.connection.EthAmsNetId, s_.connection.EthAmsNetId);
    EXPECT_EQ(back.OscLayout, s_.OscLayout);
    EXPECT_EQ(back.ColWidth, s_.ColWidth);
    EXPECT_EQ(back.OrderFl, false);
    EXPECT_EQ(back.Background, true);

    // Every member survives: writing the read-back members gives the same file.
    const fs::path second = folder_ / "second.ini";
    ASSERT_TRUE(backFile.SaveProgramSettings(second));
    EXPECT_EQ(Read(second), first);
    EXPECT_EQ(first.find("PERMANENT_MEMORY"), std::string::npos);
    EXPECT_EQ(first.find("Ch2"), std::string::npos);
    EXPECT_NE(first.find("MaxNodesToSearch=\"1\""), std::string::npos);
}

TEST_F(SettingsFileTest, VersionEightFile) {
    host_.unitPosition = "unchanged";
    Write(path_, Doc("8",
                     "<OSCILLOSCOPE AutoscaleMode=\"1\" Channell1=\"a\" Channell3=\"c\" Ch2=\"new\">"
                     "<Osc PosX=\"5\" Width=\"900\"/><TRIGGER LinkedTo=\"7\" Mode=\"Normal\" PosX=\"3\"/>"
                     "</OSCILLOSCOPE><UA Position=\"9\"/>"));
    ASSERT_TRUE(file_.LoadProgramSettings(path_));
    EXPECT_EQ(host_.channels, (std::array<std::string, 4>{"a", "", "c", ""}));
    EXPECT_EQ(s_.AutoscaleMode, 1);
    EXPECT_EQ(s_.TriggerMode, "Normal");
    EXPECT_EQ(s_.TriggerLinkedTo, 1);
    EXPECT_EQ(s_.TriggerPosX, -1000);
    EXPECT_EQ(s_.OscPosX, -1000);
    EXPECT_EQ(s_.OscWidth, 599);
    EXPECT_EQ(host_.unitPosition, "unchanged");
}

TEST_F(SettingsFileTest, MissingOscilloscopeClearsOnlyTheAutoscaleMode) {
    s_.AutoscaleMode = 3;
    s_.OscLayout = "layout";
    host_.channels[0] = "pos";
    Write(path_, Doc("9", ""));
    ASSERT_TRUE(file_.LoadProgramSettings(path_));
    EXPECT_EQ(s_.AutoscaleMode, 0);
    EXPECT_EQ(s_.OscLayout, "layout");
    EXPECT_EQ(host_.channels[0], "pos");
    EXPECT_EQ(host_.assigned, 0);
}

TEST_F(SettingsFileTest, LegacyPermanentMemoryFillsOnlyInitialMembers) {
    struct Case {
        const char* current;
        const char* legacy;
        int32_t connect;
        bool programAsk;
    } cases[] = {
        {"DontDisplayConnect=\"0\"", "DontDisplayConnect=\"1\"", 1, true},
        {"DontDisplayConnect=\"1\"", "DontDisplayConnect=\"0\"", 1, true},
        {"ProgramAskSavePermanentMemory=\"True\"", "ProgramAskSavePermanentMemory=\"False\"", 0, false},
        {"ProgramAskSavePermanentMemory=\"False\"", "ProgramAskSavePermanentMemory=\"True\"", 0, false},
        {"", "DontDisplayConnect=\"5\" ProgramAskSavePermanentMemory=\"no\"", 5, false},
    };
    for (const Case& c : cases) {
        file_.SetDefaultSettings();
        Write(path_, "<TunovaIniFile><MAIN FileVersion=\"9\"><DISPLAY_MESSAGES " + std::string(c.current) +
                         "/></MAIN><PERMANENT_MEMORY " + c.legacy +
                         "/><CONNECTION/><READ_WRITE_VOCABULARY/></TunovaIniFile>");
        ASSERT_TRUE(file_.LoadProgramSettings(path_));
        EXPECT_EQ(s_.DontDisplayConnect, c.connect) << c.current << " / " << c.legacy;
        EXPECT_EQ(s_.ProgramAskSavePermanentMemory, c.programAsk) << c.current << " / " << c.legacy;
    }
}

TEST_F(SettingsFileTest, ValueForms) {
    Write(path_,
          Doc("9",
              "<OSCILLOSCOPE><TRIGGER Show=\"2\" Single=\"1\" Rising=\"0\"/></OSCILLOSCOPE>"
              "<STIMULUS LoadPreset=\"yEs\" AbsoluteMov=\"1\" MovementDelay=\"0x20\" Frequency=\"abc\"/>"
              "<DiagHistory ShowUs=\"1\"/>"));
    s_.UpdateMs = 1234;
    ASSERT_TRUE(file_.LoadProgramSettings(path_));
    EXPECT_FALSE(s_.TriggerShow);
    EXPECT_TRUE(s_.TriggerSingle);
    EXPECT_FALSE(s_.TriggerRising);
    EXPECT_TRUE(s_.LoadPreset);
    EXPECT_TRUE(s_.AbsoluteMov);
    EXPECT_EQ(s_.MovementDelay, 32);
    EXPECT_EQ(s_.Frequency, 0);
    EXPECT_EQ(s_.UpdateMs, 1234);  // missing: the current value
    EXPECT_EQ(s_.ShowUs, 1);
    // An element present without attributes: the order flag is set, the address column 1.
    EXPECT_TRUE(s_.OrderFl);
    EXPECT_EQ(s_.ShowAddressColumn, 1);
}

TEST_F(SettingsFileTest, AmsNetIdIsReadWholeOrNotAtAll) {
    struct Case {
        const char* text;
        std::array<uint8_t, 6> id;
    } cases[] = {
        {"192.168.1.20.1.1", {192, 168, 1, 20, 1, 1}},
        {"1.2.3", {}},
        {"1.2.3.4.5.300", {}},
        {"1.2.3.4.5.6.7", {}},
        {"a.b.c.d.e.f", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        CXmlNode node;
        node.SetName("CONNECTION");
        node.SetAttribute("EthAmsNetId", c.text);
        CConnectionSettings record;
        record.EthAmsNetId = {9, 9, 9, 9, 9, 9};
        record.LoadSettings(node);
        EXPECT_EQ(record.EthAmsNetId, c.id) << c.text;
    }
}

TEST_F(SettingsFileTest, MessageBarIsBroughtBackOnScreen) {
    struct Case {
        const char* output;
        const char* watch;
        int32_t x, y, width, height;
        std::array<int32_t, 4> columns;
    } cases[] = {
        {"Width=\"5\" Height=\"400\"", "", 0, 0, 560, 150, {250, 100, 100, 100}},
        {"Width=\"2000\" Height=\"400\"", "", 0, 0, 560, 150, {250, 100, 100, 100}},
        {"Dock=\"59423\" X=\"1910\" Y=\"1070\" Width=\"300\" Height=\"200\"",
         "",
         10,
         10,
         300,
         200,
         {250, 100, 100, 100}},
        {"Dock=\"59423\" X=\"-50\" Y=\"-11\"", "", 0, 0, 560, 150, {250, 100, 100, 100}},
        {"Dock=\"59423\" X=\"-10\" Y=\"-5\"", "", -10, -5, 560, 150, {250, 100, 100, 100}},
        {"Dock=\"59422\" X=\"5000\"", "", 5000, 0, 560, 150, {250, 100, 100, 100}},
        {"",
         "<Watch ColWidth_Name=\"300\" ColWidth_Value=\"0\" ColWidth_DataType=\"3000\" "
         "ColWidth_Quality=\"1\"/>",
         0,
         0,
         560,
         150,
         {300, 100, 100, 1}},
    };
    for (const Case& c : cases) {
        file_.SetDefaultSettings();
        Write(path_, Doc("9", std::string("<Output ") + c.output + ">" + c.watch + "</Output>"));
        ASSERT_TRUE(file_.LoadProgramSettings(path_));
        EXPECT_EQ(s_.X, c.x) << c.output;
        EXPECT_EQ(s_.Y, c.y) << c.output;
        EXPECT_EQ(s_.Width, c.width) << c.output;
        EXPECT_EQ(s_.Height, c.height) << c.output;
        EXPECT_EQ(s_.ColWidth, c.columns) << c.watch;
    }
}

TEST_F(SettingsFileTest, DefaultsResetWhatTheyOwnAndKeepTheRest) {
    FillEverything(s_, host_);
    file_.SetDefaultSettings();
    EXPECT_EQ(s_.DontDisplayConnect, 0);
    EXPECT_EQ(s_.connection.ChannelName, "COM1");
    EXPECT_EQ(s_.connection.Hw, 0);
    EXPECT_EQ(s_.connection.Sw, 77);  // kept
    EXPECT_EQ(s_.connection.DriveDescription, "drive è.xml");
    EXPECT_EQ(s_.CmpPath, "/home/u/cmp");
    EXPECT_EQ(s_.CmpFormat, 2);
    EXPECT_EQ(s_.UpdateMs, 500);
    EXPECT_TRUE(s_.EthUseFoExFw);
    EXPECT_EQ(s_.OscLayout, "<Scope><Trace id=\"1\"/></Scope>");
    EXPECT_EQ(s_.Var[0], "");
    EXPECT_EQ(s_.Dock, kDockBottom);
    EXPECT_EQ(s_.ColWidth, (std::array<int32_t, 4>{250, 100, 100, 100}));
    EXPECT_EQ(s_.TriggerPosX, -1000);
}

TEST_F(SettingsFileTest, FailedSaveIsReportedAndTheOldFileKept) {
    Write(path_, "old");
    fs::create_directories(folder_ / "blocked.ini");
    std::string error;
    EXPECT_FALSE(file_.SaveProgramSettings(folder_ / "blocked.ini", &error));
    EXPECT_NE(error.find("blocked.ini"), std::string::npos);
    EXPECT_EQ(Read(path_), "old");
    EXPECT_TRUE(file_.SaveProgramSettings(folder_ / "new" / "sub" / "Tunova.ini"));
}

// Per-device file.

class DeviceSettingsTest : public SettingsFileTest {
  protected:
    DeviceSettingsContext Connected(uint32_t group = 3, bool linear = false) {
        DeviceSettingsContext c;
        c.connected = true;
        c.deviceGroup = group;
        c.linearMotor = linear;
        return c;
    }
    fs::path DevicePath(uint32_t group = 3, bool linear = false) {
        return CSettingsFile::DeviceSettingsPath(path_, group, linear);
    }
};

TEST_F(DeviceSettingsTest, FileNameFollowsGroupAndMotorKind) {
    EXPECT_EQ(DevicePath(3, false), folder_ / "Tunova3.ini");
    EXPECT_EQ(DevicePath(3, true), folder_ / "Tunova3L.ini");
    EXPECT_EQ(CSettingsFile::DeviceSettingsPath("/a.b/Tunova.ini", 12, false), fs::path("/a.b/Tunova12.ini"));
}

TEST_F(DeviceSettingsTest, SavedSubsetReadsBackAndOverridesTheProgramFile) {
    FillEverything(s_, host_);
    host_.known = {"v1", "v2", "v3", "v4"};
    ASSERT_TRUE(file_.SaveDeviceSettings(path_, Connected(7, true)));
    const std::string text = Read(DevicePath(7, true));
    for (const char* absent : {"DISPLAY_MESSAGES", "DATA_EXPORT", "CONNECTION", "DiagHistory", "CmpPath"}) {
        EXPECT_EQ(text.find(absent), std::string::npos) << absent;
    }

    CDriveSettings back;
    FakeHost backHost;
    backHost.known = host_.known;
    CSettingsFile backFile(back, backHost);
    backFile.SetDefaultSettings();
    backFile.LoadDeviceSettings(path_, Connected(7, true));
    EXPECT_EQ(backHost.channels, host_.channels);
    EXPECT_EQ(backHost.unitPosition, "7");
    EXPECT_EQ(back.Var, s_.Var);
    EXPECT_EQ(back.TriggerLinkedTo, 3);
    EXPECT_EQ(back.TriggerPosX, 15);
    EXPECT_EQ(back.OscWidth, 800);
    EXPECT_EQ(back.PanesPosY, 12);
    EXPECT_EQ(back.Amplitude, "3.25");
    EXPECT_EQ(back.ShowAddressColumn, 0);
    EXPECT_FALSE(back.OrderFl);
    EXPECT_EQ(back.ParametersPath, "/home/u/params");
    EXPECT_EQ(back.ProgramFileName, "main.prg");
    EXPECT_EQ(back.X, 100);
    EXPECT_EQ(back.ColWidth, s_.ColWidth);
    EXPECT_EQ(back.DontDisplayConnect, 0);
    EXPECT_EQ(back.CmpPath, "");
    EXPECT_EQ(back.connection.ChannelName, "COM1");

    // Another group or the rotary variant has its own file.
    CDriveSettings other;
    FakeHost otherHost;
    CSettingsFile otherFile(other, otherHost);
    otherFile.SetDefaultSettings();
    otherFile.LoadDeviceSettings(path_, Connected(7, false));
    EXPECT_EQ(other.OscWidth, 599);
}

TEST_F(DeviceSettingsTest, RefusedFilesApplyNothing) {
    for (const char* text :
         {"<TunovaIniFile><MAIN FileVersion=\"8\"/><STIMULUS Amplitude=\"9\"/></TunovaIniFile>",
          "<TunovaIniFile><MAIN FileVersion=\"10\"/><STIMULUS Amplitude=\"9\"/></TunovaIniFile>",
          "<TunovaIniFile><STIMULUS Amplitude=\"9\"/></TunovaIniFile>",
          "<Other><MAIN FileVersion=\"9\"/><STIMULUS Amplitude=\"9\"/></Other>",
          "<TunovaIniFile><MAIN FileVersion=\"9\"/><STIMULUS Amplitude=\"9\"/></Wrong>"}) {
        Write(DevicePath(), text);
        DeviceSettingsContext c = Connected();
        c.resetGui = true;
        file_.LoadDeviceSettings(path_, c);
        EXPECT_EQ(s_.Amplitude, "0") << text;
        EXPECT_EQ(s_.OscPosX, -1000) << text;  // no "resetgui" positions either
    }
    EXPECT_EQ(prompts_.AskedCount(), 0u);
}

TEST_F(DeviceSettingsTest, VocabularyOptionsAndVariables) {
    s_.ShowAddressColumn = 0;
    s_.AutoscaleMode = 4;
    s_.Var = {"a", "b", "c", "d"};
    host_.known = {"x1", "x3"};
    Write(DevicePath(),
          "<TunovaIniFile><MAIN FileVersion=\"9\"/><VARIABLES Var1=\"x1\" Var2=\"unknown\" Var3=\"x3\"/>"
          "</TunovaIniFile>");
    file_.LoadDeviceSettings(path_, Connected());
    EXPECT_EQ(s_.ShowAddressColumn, 0);  // element missing: kept
    EXPECT_EQ(s_.AutoscaleMode, 4);      // no OSCILLOSCOPE: kept
    EXPECT_EQ(s_.Var, (std::array<std::string, 4>{"x1", "b", "x3", "d"}));

    Write(DevicePath(), "<TunovaIniFile><MAIN FileVersion=\"9\"/><READ_WRITE_VOCABULARY/></TunovaIniFile>");
    file_.LoadDeviceSettings(path_, Connected());
    EXPECT_EQ(s_.ShowAddressColumn, 2);
}

TEST_F(DeviceSettingsTest, OfflineWritesNothingAndResetGuiAppliesAtOnce) {
    DeviceSettingsContext offline;
    EXPECT_TRUE(file_.SaveDeviceSettings(path_, offline));
    EXPECT_TRUE(fs::is_empty(folder_));

    offline.resetGui = true;
    file_.LoadDeviceSettings(path_, offline);
    EXPECT_EQ(s_.PanesPosX, 100);
    EXPECT_EQ(s_.PanesPosY, 512);
    EXPECT_EQ(s_.OscPosX, 100);
    EXPECT_EQ(s_.OscPosY, 0);
    EXPECT_EQ(s_.OscWidth, 1005);
    EXPECT_EQ(s_.OscHeight, 512);
    EXPECT_EQ(s_.TriggerPosX, 949);
    EXPECT_EQ(s_.TriggerPosY, 512);
}

TEST_F(DeviceSettingsTest, OverlongPathsAreEmptied) {
    const std::string longPath(261, 'p');
    const std::string fine(260, 'q');
    s_.ParametersPath = longPath;
    s_.CmpPath = fine;
    s_.ProgramsPath = longPath;
    s_.ProgramFileName = "ok";
    file_.ClearOverlongPaths();
    EXPECT_EQ(s_.ParametersPath, "");
    EXPECT_EQ(s_.CmpPath, fine);
    EXPECT_EQ(s_.ProgramsPath, "");
    EXPECT_EQ(s_.ProgramFileName, "ok");
}

}  // namespace
