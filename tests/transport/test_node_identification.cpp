#include "ChannelSides.h"
#include "foundation/CompatChecker.h"

using namespace foundation;
using namespace transport;
using namespace transport_test;

namespace {

// A legacy drive: no version browse, codes and versions in fixed registers.
void MakeLegacy(drivesim::SimDrive& d, bool swapped) {
    d.SetRegister(33, 6871);
    d.SetRegister(250, 0xFFFF);
    d.SetRegister(900, swapped ? 1 : 0);
    d.SetU32(21, 0x00020005, swapped);  // hardware code 131077
    d.SetRegisters(34, {1234, 0});
    d.SetRegister(12, 3);    // hardware version
    d.SetRegister(15, 4);    // boot version
    d.SetRegister(31, 0);    // boot build
    d.SetRegister(18, 6);    // firmware version, bit 15 clear: a firmware identity
    d.SetRegister(170, 77);  // boot code
    d.SetRegister(32, 9);    // firmware build
    d.SetRegister(1101, 0);
}

// A newer drive describing itself with identity texts.
void MakeNewer(drivesim::SimDrive& d, bool withTexts) {
    d.SetRegister(33, 6871);
    d.SetRegister(250, 1);
    d.SetRegisters(251, {0, 0, 0});
    d.SetRegister(15, 0);
    d.SetRegister(1101, 0);
    if (withTexts) {
        drivesim::SimDomain hw, sw;
        const std::string hwText = "Hardware 12 v.1.0.0", swText = "Firmware 1234 v.2.3.1-beta7";
        hw.bytes.assign(hwText.begin(), hwText.end());
        sw.bytes.assign(swText.begin(), swText.end());
        d.SetDomain(110, hw);
        d.SetDomain(114, sw);
    }
    d.AddComponent({12, 1, 0, 0, 0, 0, {{1, 1}}});
    d.AddComponent({77, 5, 0, 0, 0, 0, {{1, 2}}});
    d.AddComponent({1234, 2, 3, 1, 0, 0, {{1, 3}}});
}

// One identification call and what it reports besides its code.
struct IdentifyCall {
    template <class Channel>
    int IdentifySlave(Channel& channel, uint8_t slave) {
        record = NodeIdentRecord{};
        record.slave = slave;
        kind = 0;
        wordSwap = 0;
        build = 0;
        return channel.IdentifyNode(&checker, &record, &kind, &wordSwap, &build);
    }

    CCompatChecker checker;
    NodeIdentRecord record;
    uint32_t kind = 0;
    uint8_t wordSwap = 0;
    uint32_t build = 0;
};

template <class Side>
class Identification : public ::testing::Test, protected IdentifyCall {
  protected:
    void SetUp() override {
        drive = &sim.AddDrive(3);
        ASSERT_TRUE(side.Start(sim, 1500));
    }
    int Identify() { return this->IdentifySlave(side.channel, 3); }

    drivesim::DriveSim sim;
    drivesim::SimDrive* drive = nullptr;
    Side side;
};

using Sides = ::testing::Types<RtuSide, TcpSide>;
TYPED_TEST_SUITE(Identification, Sides);

TYPED_TEST(Identification, LegacyDriveWithAndWithoutWordSwap) {
    for (bool swapped : {false, true}) {
        MakeLegacy(*this->drive, swapped);
        ASSERT_EQ(this->Identify(), 0) << this->side.owner.Text();
        EXPECT_EQ(this->wordSwap, swapped ? 1 : 0);
        EXPECT_EQ(this->record.hardwareCode, 0x00020005u) << swapped;
        EXPECT_EQ(this->record.firmwareCode, 1234u);
        EXPECT_EQ(this->record.firmwareVersion, 6u);
        EXPECT_EQ(this->kind, kIdentityKindFirmware);
        EXPECT_EQ(this->build, 9u);
        EXPECT_FALSE(this->checker.HasDeviceLink());
        EXPECT_EQ(this->checker.GetFirmwareIdentity().code, 1234);
        EXPECT_EQ(this->checker.GetBootIdentity().code, 77);
    }
    // Bit 15 of the firmware version: only a boot identity.
    this->drive->SetRegister(18, 0x8000);
    this->drive->SetRegister(31, 2);
    ASSERT_EQ(this->Identify(), 0);
    EXPECT_EQ(this->kind, kIdentityKindBoot);
    EXPECT_EQ(this->record.firmwareVersion, 4u);
    EXPECT_EQ(this->build, 2u);
}

TYPED_TEST(Identification, NewerDriveFromTextsAndFromBrowse) {
    MakeNewer(*this->drive, true);
    ASSERT_EQ(this->Identify(), 0) << this->side.owner.Text();
    EXPECT_EQ(this->record.hardwareCode, 12u);
    EXPECT_EQ(this->record.firmwareCode, 1234u);
    EXPECT_EQ(this->record.firmwareVersion, 2u);
    EXPECT_EQ(this->kind, kIdentityKindFirmware);
    EXPECT_EQ(this->build, 7u);
    EXPECT_TRUE(this->checker.HasDeviceLink());

    drivesim::DriveSim& sim = this->sim;
    drivesim::SimDrive& plain = sim.AddDrive(4);
    MakeNewer(plain, false);
    ASSERT_EQ(this->IdentifySlave(this->side.channel, 4), 0);
    EXPECT_EQ(this->record.hardwareCode, 12u);
    EXPECT_EQ(this->record.firmwareCode, 1234u);
    EXPECT_EQ(this->record.firmwareVersion, 2u);
    EXPECT_EQ(this->checker.GetBootIdentity().code, 77);
}

TYPED_TEST(Identification, ForeignVendorIsRefused) {
    MakeLegacy(*this->drive, false);
    this->drive->SetRegister(33, 6870);
    EXPECT_EQ(this->Identify(), -304);
    EXPECT_EQ(this->side.owner.Code(), -304);
    EXPECT_EQ(this->side.owner.Text(), "Node does not exist or unknown");
}

TEST(IdentificationSerial, PauseFollowsTheTimeout) {
    struct Case {
        uint32_t timeout;
        uint32_t pause;
    } cases[] = {{1500, 187}, {200, 62}};
    for (const Case& c : cases) {
        drivesim::DriveSim sim;
        drivesim::SimDrive& d = sim.AddDrive(3);
        MakeLegacy(d, false);
        RtuSide side;
        ASSERT_TRUE(side.Start(sim, c.timeout));
        IdentifyCall call;
        ASSERT_EQ(call.IdentifySlave(side.channel, 3), 0);
        EXPECT_EQ(side.channel.Pause(), c.pause);
        EXPECT_EQ(d.Register(1101), c.pause);
        EXPECT_EQ(d.Stats().pauseWrites, 1);
        // The channel's own time-out is back after the identification.
        EXPECT_EQ(side.channel.ConfiguredTimeout(), c.timeout < 2 ? 2 : c.timeout);
        // A drive that already holds the pause is not written to.
        ASSERT_EQ(call.IdentifySlave(side.channel, 3), 0);
        EXPECT_EQ(d.Stats().pauseWrites, 1);
    }
}

TEST(IdentificationSerial, SilentNodeDoesNotExist) {
    drivesim::DriveSim sim;
    sim.AddDrive(1);
    RtuSide side;
    ASSERT_TRUE(side.Start(sim, 200));
    IdentifyCall call;
    EXPECT_EQ(call.IdentifySlave(side.channel, 9), 126);
    EXPECT_EQ(side.owner.Code(), -304);
    EXPECT_EQ(side.owner.Text(), "Node does not exist or unknown");
}

TEST(IdentificationBox, DisconnectedUsbPort) {
    drivesim::DriveSim sim;
    MakeLegacy(sim.AddDrive(3), false);
    TcpSide side;
    ASSERT_TRUE(side.Start(sim, 500));
    sim.InjectFault({drivesim::Fault::ExceptionCode, 101, 1, 3});
    IdentifyCall call;
    EXPECT_EQ(call.IdentifySlave(side.channel, 3), -101);
    EXPECT_EQ(side.owner.Code(), -304);
    EXPECT_EQ(side.owner.Text(), "Mirel: USB port disconnected");
    // The box time-out is put back afterwards.
    EXPECT_EQ(side.channel.Client()->timeout(), 500u);
    // A unit the box cannot reach: its exception text.
    EXPECT_EQ(call.IdentifySlave(side.channel, 8), -11);
    EXPECT_EQ(side.owner.Text(),
              "Modbus func. 3 register 250: error 0x0b (Gateway target device failed to respond)");
}

}  // namespace
