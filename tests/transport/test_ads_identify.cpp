// Node identification on the ADS channel against the simulated EtherCAT slaves.
#include <gtest/gtest.h>

#include "AdsTestSupport.h"
#include "tools/drivesim/SimDrive.h"

using namespace foundation;
using namespace transport;
using namespace ads_test;

namespace {

void MakeLegacy(drivesim::EcatSlave& s, uint16_t firmwareKind) {
    s.SetU16(0x5FFD, 0x0E, 6871);
    s.SetU16(0x5FF2, 0x01, 0xFFFF);
    s.SetU16(0x5FFB, 0x01, 77);  // boot code
    s.SetU16(0x5FFD, 0x04, 4);   // boot version
    s.SetU16(0x5FFD, 0x0C, 2);   // boot build
    s.SetU16(0x5FFB, 0x02, 1234);
    s.SetU16(0x5FFD, 0x07, 6);
    s.SetU16(0x5FFD, 0x0D, 9);
    s.SetU16(0x5FFD, 0x0B, firmwareKind);
    s.SetU32(0x5FFD, 0x0A, 0x00020005);  // hardware code
    s.SetU16(0x5FFD, 0x01, 3);           // hardware version
}

}  // namespace

class AdsIdentify : public AdsFixture {
  protected:
    int Identify(uint8_t slave) {
        record = NodeIdentRecord{};
        record.slave = slave;
        kind = 0;
        wordSwap = 9;
        build = 0;
        return channel->IdentifyNode(&checker, &record, &kind, &wordSwap, &build);
    }
    void SetUp() override {
        AdsFixture::SetUp();
        channel = MakeChannel(0);
    }

    std::unique_ptr<CTwincatAds> channel;
    CCompatChecker checker;
    NodeIdentRecord record;
    uint32_t kind = 0;
    uint8_t wordSwap = 0;
    uint32_t build = 0;
};

TEST_F(AdsIdentify, LegacyDriveFromItsVersionObjects) {
    MakeLegacy(server_.AddSlave(7), 2);
    ASSERT_EQ(Identify(7), 0) << owner_.Text();
    EXPECT_EQ(channel->RequestAddress().port, 7);
    EXPECT_EQ(wordSwap, 0);
    EXPECT_EQ(record.hardwareCode, 0x00020005u);
    EXPECT_EQ(record.firmwareCode, 1234u);
    EXPECT_EQ(record.firmwareVersion, 6u);
    EXPECT_EQ(kind, kIdentityKindFirmware);
    EXPECT_EQ(build, 9u);
    EXPECT_FALSE(checker.HasDeviceLink());
    EXPECT_EQ(checker.GetBootIdentity().code, 77);

    // Below 2: no firmware identity of its own; the boot values stand for it.
    server_.Slave(7)->SetU16(0x5FFD, 0x0B, 1);
    ASSERT_EQ(Identify(7), 0);
    EXPECT_EQ(kind, kIdentityKindBoot);
    EXPECT_EQ(record.firmwareCode, 77u);
    EXPECT_EQ(record.firmwareVersion, 4u);
    EXPECT_EQ(build, 2u);

    // One missing object fails the whole identification.
    server_.Slave(7)->objects.erase(drivesim::EcatSlave::Key(0x5FFD, 0x0C));
    EXPECT_EQ(Identify(7), 0x06020000);
    EXPECT_EQ(owner_.Code(), -304);
    EXPECT_EQ(owner_.Text(), "Node does not exist or unknown");
}

TEST_F(AdsIdentify, NewerDriveFromItsTextsAndThroughTheBrowse) {
    server_.AddDriveSlave(5, "Servo", "Hardware 12 v.1.0.0", "Firmware 1234 v.2.3.1-beta7");
    server_.Slave(5)->SetU16(0x5FF2, 0x01, 1);
    ASSERT_EQ(Identify(5), 0) << owner_.Text();
    EXPECT_EQ(record.hardwareCode, 12u);
    EXPECT_EQ(record.firmwareCode, 1234u);
    EXPECT_EQ(record.firmwareVersion, 2u);
    EXPECT_EQ(kind, kIdentityKindFirmware);
    EXPECT_EQ(build, 7u);
    EXPECT_TRUE(checker.HasDeviceLink());

    // Without texts the checker asks the drive: browse and identity objects lent by a drive.
    drivesim::SimDrive registers(1);
    registers.SetRegister(250, 1);
    registers.SetRegisters(251, {0, 0, 0});
    registers.FillRegisters(260, 6, 0);
    registers.AddComponent({12, 1, 0, 0, 0, 0, {{1, 1}}});
    registers.AddComponent({77, 5, 0, 0, 0, 0, {{1, 2}}});
    registers.AddComponent({1234, 2, 3, 1, 0, 0, {{1, 3}}});
    drivesim::EcatSlave& plain = server_.AddSlave(6);
    plain.SetU16(0x5FFD, 0x0E, 6871);
    plain.registers = &registers;
    ASSERT_EQ(Identify(6), 0) << owner_.Text();
    EXPECT_EQ(record.hardwareCode, 12u);
    EXPECT_EQ(record.firmwareCode, 1234u);
    EXPECT_EQ(record.firmwareVersion, 2u);
    EXPECT_EQ(checker.GetBootIdentity().code, 77);

    // The callbacks report failures as texts.
    std::string error;
    uint32_t code = 0;
    channel->SetTarget(ServerNetId(), 7);
    CTwincatAds::ReadIdentity(error, channel.get(), &code, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(error, "Error reading 'IdentityCode':Error 6(0x6).");
    int response = 0;
    CTwincatAds::VersionBrowse(error, channel.get(), 310, 4, &response);
    EXPECT_EQ(error, "Error writing VersionBrowseParameter:Error 6(0x6).");
}

TEST_F(AdsIdentify, ForeignVendorIsRefused) {
    drivesim::EcatSlave& s = server_.AddSlave(8);
    MakeLegacy(s, 2);
    s.SetU16(0x5FFD, 0x0E, 6870);
    EXPECT_EQ(Identify(8), -304);
    EXPECT_EQ(owner_.Code(), -304);
    EXPECT_EQ(owner_.Text(), "Node does not exist or unknown");
}
