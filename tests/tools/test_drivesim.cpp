#include <gtest/gtest.h>

#include <string>

#include "tools/drivesim/DriveSim.h"

namespace {

using drivesim::DriveSim;

TEST(DriveSimMap, LoadsDrivesRegistersObjectsAndComponents) {
    DriveSim sim;
    std::string error;
    ASSERT_TRUE(sim.LoadMapFile(std::string(TUNOVA_FIXTURES) + "/tools/two_drives.map", &error)) << error;
    drivesim::SimDrive* one = sim.Drive(1);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->Register(33), 6871);
    EXPECT_EQ(one->Register(1009), 7);
    EXPECT_FALSE(one->Register(1010).has_value());
    EXPECT_EQ(one->Register(21), 0x0005);  // low word first
    EXPECT_EQ(one->Register(22), 0x0002);
    EXPECT_EQ(one->Register(122), 0x0001);  // swapped: high word first
    EXPECT_EQ(one->SdoObject(5000)->bytes, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_FALSE(one->SdoObject(5001)->writable);
    EXPECT_EQ(one->SdoObject(5001)->abortCode, 0x06020000u);
    EXPECT_EQ(one->Domain(300)->bytes.size(), 16u);
    EXPECT_EQ(one->Domain(300)->uploadBlock, 100u);
    EXPECT_EQ(one->Domain(300)->downloadBlock, 50u);
    EXPECT_FALSE(one->Domain(301)->offered);
    ASSERT_NE(sim.Drive(2), nullptr);
    EXPECT_EQ(sim.Drive(2)->Register(253), 0);
}

TEST(DriveSimMap, ErrorsNameTheLine) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"reg 1 2", "line 1: 'drive' must come first"},
        {"drive 0", "line 1: drive <1..247> expected"},
        {"drive 1\nreg 70000 1", "line 2: reg: address and value expected"},
        {"drive 1\nreg x 1", "line 2: number expected: x"},
        {"drive 1\nsdo 5 rw hex 123", "line 2: odd hex length"},
        {"drive 1\ndomain 5 rw size 4 block 1", "line 2: unknown domain option 'block'"},
        {"drive 1\nbogus", "line 2: unknown statement 'bogus'"},
        {"drive 1\ncomponent 1 2 3", "line 2: component <code> <major> <minor> <patch> <state> <number>"},
    };
    for (const Case& c : cases) {
        DriveSim sim;
        std::string error;
        EXPECT_FALSE(sim.LoadMapText(c.text, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
    DriveSim sim;
    std::string error;
    EXPECT_FALSE(sim.LoadMapFile("/nonexistent/file.map", &error));
    EXPECT_EQ(error, "cannot open /nonexistent/file.map");
}

// The drive's answers to raw PDUs: the register layer and its exceptions.
TEST(SimDrivePdu, RegistersAndExceptions) {
    drivesim::SimDrive drive(1);
    drive.SetRegisters(10, {0x1234, 0x5678});
    struct Case {
        std::vector<uint8_t> request, reply;
    } cases[] = {
        {{3, 0, 10, 0, 2}, {3, 4, 0x12, 0x34, 0x56, 0x78}},
        {{3, 0, 10, 0, 3}, {0x83, 2}},    // register 12 does not exist
        {{3, 0, 10, 0, 0}, {0x83, 3}},    // count 0
        {{3, 0, 10, 0, 126}, {0x83, 3}},  // count above 125
        {{6, 0, 11, 0xAB, 0xCD}, {6, 0, 11, 0xAB, 0xCD}},
        {{6, 0, 99, 0, 1}, {0x86, 2}},
        {{16, 0, 10, 0, 2, 4, 0, 1, 0, 2}, {16, 0, 10, 0, 2}},
        {{16, 0, 10, 0, 2, 3, 0, 1, 0}, {0x90, 3}},  // byte count disagrees
        {{16, 0, 10, 0, 2, 4, 0, 1}, {0x90, 3}},     // frame shorter than its count
        {{4, 0, 0, 0, 1}, {0x84, 1}},
        {{3}, {0x83, 3}},
    };
    for (const Case& c : cases) EXPECT_EQ(drive.Handle(c.request.data(), c.request.size()), c.reply);
    EXPECT_EQ(drive.Register(11), 2);
}

TEST(DriveSimServers, PtyAndTcpStartAndStop) {
    DriveSim sim;
    sim.AddDrive(1);
    std::string error;
    const std::string path = sim.StartPty(&error);
    ASSERT_FALSE(path.empty()) << error;
    EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u);
    const int port = sim.StartTcp(0, &error);
    ASSERT_GT(port, 0) << error;
    EXPECT_EQ(sim.TcpPort(), port);
    sim.Stop();
    EXPECT_TRUE(sim.PtyPath().empty());
    EXPECT_EQ(sim.TcpPort(), -1);
}

}  // namespace
