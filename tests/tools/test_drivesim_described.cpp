// A described drive inside the register drive: Modbus frames on its variables, mixed with the
// drive's own registers, and the map-file statements that describe drives.
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "tests/tools/DriveSimTestSupport.h"
#include "tools/drivesim/DriveSim.h"
#include "tools/drivesim/SimDrive.h"
#include "tools/drivesim/SimWiring.h"

namespace {

using Pdu = std::vector<uint8_t>;

class DescribedPdu : public drivesimtest::ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        shared = std::shared_ptr<drivesim::SimDriveModel>(&model, [](drivesim::SimDriveModel*) {});
        drivesim::DescribeModbusDrive(drive, shared);
    }
    Pdu Ask(const Pdu& request) { return drive.Handle(request.data(), request.size()); }

    std::shared_ptr<drivesim::SimDriveModel> shared;
    drivesim::SimDrive drive{1};
};

TEST_F(DescribedPdu, RegistersOfTheDescribedVariables) {
    struct Case {
        Pdu request, reply;
    } cases[] = {
        {{3, 0x0B, 0xB9, 0, 1}, {3, 2, 0x02, 0x40}},        // statusword 3001
        {{6, 0x0B, 0xB8, 0, 6}, {6, 0x0B, 0xB8, 0, 6}},     // controlword 3000 = 6
        {{3, 0x0B, 0xB9, 0, 1}, {3, 2, 0x02, 0x31}},        // ready to switch on
        {{6, 0x0B, 0xB9, 0, 1}, {0x86, 4}},                 // statusword is read only
        {{3, 0x0C, 0x24, 0, 1}, {3, 2, 0, 2}},              // ModbusError 3108: read only
        {{3, 0x0D, 0x4A, 0, 2}, {3, 4, 0x27, 0x10, 0, 0}},  // PositionResolution 10000, low word first
        {{16, 0x0D, 0x4A, 0, 2, 4, 0x4E, 0x20, 0, 0}, {16, 0x0D, 0x4A, 0, 2}},
        {{3, 0x0D, 0x4A, 0, 2}, {3, 4, 0x4E, 0x20, 0, 0}},           // 20000
        {{6, 0x0B, 0xBA, 0xFF, 0x81}, {6, 0x0B, 0xBA, 0xFF, 0x81}},  // mode -127 (one byte, signed)
        {{6, 0x0B, 0xBA, 0, 7}, {0x86, 3}},                          // mode 7 is not offered
        {{3, 0x00, 0x21, 0, 1}, {3, 2, 0x1A, 0xD7}},                 // the drive's own register 33
        // The drive's own register 2999 beside described ones; 2998 does not exist.
        {{3, 0x0B, 0xB7, 0, 3}, {3, 6, 0, 7, 0, 6, 0x02, 0x31}},
        {{3, 0x0B, 0xB6, 0, 3}, {0x83, 2}},
        {{16, 0x0B, 0xB7, 0, 2, 4, 0, 9, 0, 7}, {16, 0x0B, 0xB7, 0, 2}},  // 2999 = 9, controlword = 7
        {{16, 0x0B, 0xB6, 0, 3, 6, 0, 1, 0, 2, 0, 0}, {0x90, 2}},         // nothing written
    };
    drive.SetRegister(2999, 7);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(Ask(cases[i].request), cases[i].reply) << "case " << i;
    EXPECT_EQ(drive.Register(2999), 9);
    EXPECT_EQ(model.State(), drivesim::cia402::kSwitchedOn);
    Wait(50);
    EXPECT_EQ(Ask({3, 0x0B, 0xBB, 0, 1}), (Pdu{3, 2, 0xFF, 0x81})) << "display of -127";
    EXPECT_EQ(model.ReadValue("PositionResolution"), 20000);
}

TEST_F(DescribedPdu, BusyCommandAndMuteDrive) {
    EXPECT_EQ(Ask({6, 0x0C, 0x80, 0x01, 0xF4}), (Pdu{6, 0x0C, 0x80, 0x01, 0xF4}));  // command 500
    EXPECT_EQ(Ask({6, 0x0C, 0x80, 0, 100}), (Pdu{0x86, 6}));                        // busy
    EXPECT_EQ(Ask({3, 0x0C, 0x24, 0, 1}), (Pdu{3, 2, 0, 6}));                       // ModbusError
    std::string error;
    ASSERT_TRUE(model.ApplySwitch("no-answer", &error)) << error;
    EXPECT_EQ(Ask({3, 0x0B, 0xB9, 0, 1}), Pdu{});
    EXPECT_EQ(Ask({3, 0x00, 0x21, 0, 1}), Pdu{}) << "the whole drive is mute";
}

TEST(DriveSimMapDescribed, DescriptionSetAndInjectStatements) {
    char folder[] = "/tmp/tunova-drivesim-map-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::filesystem::path dir(folder);
    std::filesystem::copy_file(drivesimtest::DescriptionPath(), dir / "drive.xml");
    std::ofstream(dir / "drives.map") << "drive 3\n"
                                         "description drive.xml\n"
                                         "set PositionResolution 4096\n"
                                         "set UserDriveName \"Spindle\"\n"
                                         "inject state=4\n"
                                         "drive 4\n"
                                         "reg 33 6871\n";
    drivesim::DriveSim sim;
    std::string error;
    ASSERT_TRUE(sim.LoadMapFile((dir / "drives.map").string(), &error)) << error;
    auto model = sim.Drive(3)->Model();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->ReadValue("PositionResolution"), 4096);
    const auto name = model->Read("UserDriveName").bytes;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(name.data())), "Spindle");
    EXPECT_EQ(model->State(), drivesim::cia402::kOperationEnabled);
    EXPECT_EQ(sim.Drive(3)->Register(33), 6871);
    EXPECT_EQ(sim.Drive(4)->Model(), nullptr);
    std::filesystem::remove_all(dir);

    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"drive 1\nset KP_IQ 5", "line 2: 'set' needs a described drive"},
        {"drive 1\ninject stuck-state", "line 2: 'inject' needs a described drive"},
        {"drive 1\ndescription /nonexistent/drive.xml", "line 2: cannot read /nonexistent/drive.xml"},
        {"drive 1\ndescription a b", "line 2: description [FILE] expected"},
    };
    for (const Case& c : cases) {
        drivesim::DriveSim other;
        EXPECT_FALSE(other.LoadMapText(c.text, &error)) << c.text;
        EXPECT_EQ(error, c.error);
    }
    const std::string described = "drive 1\ndescription " + drivesimtest::DescriptionPath() + "\n";
    struct Bad {
        std::string line;
        const char* error;
    } bad[] = {
        {"set NoSuchName 1", "line 3: no variable 'NoSuchName' of that kind"},
        {"set KP_IQ x", "line 3: number expected: x"},
        {"set UserDriveName 5", "line 3: no variable 'UserDriveName' of that kind"},
        {"inject nonsense", "line 3: unknown switch 'nonsense'"},
        {"inject refuse=SYS_CV_NONE", "line 3: no system command 'SYS_CV_NONE' in the description"},
    };
    for (const Bad& b : bad) {
        drivesim::DriveSim other;
        EXPECT_FALSE(other.LoadMapText(described + b.line, &error)) << b.line;
        EXPECT_EQ(error, b.error);
    }
}

}  // namespace
