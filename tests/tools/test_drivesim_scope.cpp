// The oscilloscope of the described simulated drive: Auto and Normal captures in simulated time,
// the capture buffers and the set-up errors.
#include <cstring>

#include "tests/tools/DriveSimTestSupport.h"

namespace {

using drivesim::Refusal;
using drivesimtest::ModelTest;

constexpr int kAnalog0 = 4, kStatusword = 7, kTemperature = 9;
constexpr int kSamples = 4096;  // MaxBufferDimension
constexpr double kDtMs = 0.05;  // Logger_Scan_Time 50 us, prescaler 1

class Scope : public ModelTest {
  protected:
    void SetUpCapture(std::vector<int> codes) {
        ASSERT_EQ(model.WriteValue("Numero_Canali", static_cast<int64_t>(codes.size())), Refusal::None);
        for (size_t k = 0; k < codes.size(); ++k)
            ASSERT_EQ(model.WriteValue("Indir_canale_" + std::to_string(k + 1), codes[k]), Refusal::None);
    }
    std::vector<int32_t> Samples(int buffer) {
        const auto answer = model.Read("Buffer_" + std::to_string(buffer));
        EXPECT_EQ(answer.refusal, Refusal::None);
        std::vector<int32_t> out(answer.bytes.size() / 4);
        std::memcpy(out.data(), answer.bytes.data(), out.size() * 4);
        return out;
    }
};

TEST_F(Scope, AutoRecordsAtOnceWhatTheDriveShowsLive) {
    SetUpCapture({kAnalog0});
    ASSERT_EQ(model.WriteValue("Trigger_Status", 2), Refusal::None);
    EXPECT_EQ(Value("Trigger_Status"), 2);
    EXPECT_EQ(Value("Cod_err_iniz_osc"), 0);
    // The live value at the times of samples 0, 1000 and 3000 (50 us apart).
    std::vector<std::pair<int, int64_t>> live;
    int64_t elapsedUs = 0;
    for (int k : {0, 1000, 3000}) {
        clock.AdvanceUs(k * 50 - elapsedUs);
        elapsedUs = k * 50;
        live.emplace_back(k, Value("AnalogInput0"));
        EXPECT_EQ(Value("Trigger_Status"), 2);
    }
    clock.AdvanceUs(kSamples * 50 - elapsedUs - 1);
    EXPECT_EQ(Value("Trigger_Status"), 2);
    EXPECT_TRUE(model.Read("Buffer_1").bytes.empty()) << "nothing to upload while recording";
    clock.AdvanceUs(1);
    EXPECT_EQ(Value("Trigger_Status"), 3);
    const std::vector<int32_t> samples = Samples(1);
    ASSERT_EQ(samples.size(), static_cast<size_t>(kSamples));
    for (const auto& [k, value] : live) EXPECT_EQ(samples[static_cast<size_t>(k)], value) << k;
    EXPECT_NE(samples[0], samples[1000]);
}

TEST_F(Scope, NormalWaitsForTheLevelAndKeepsThePretrigger) {
    // Analog input 0 is a 2 s sine around 0 that starts rising with the drive: the first rising
    // crossing after the pre-trigger is the one at 2 s.
    SetUpCapture({kAnalog0});
    ASSERT_EQ(model.WriteValue("Trigger_value", 0), Refusal::None);
    ASSERT_EQ(model.WriteValue("Pendenza_trigger", 1), Refusal::None);
    ASSERT_EQ(model.WriteValue("Trigger_Status", 1), Refusal::None);
    EXPECT_EQ(Value("Trigger_Status"), 1);
    Wait(1996);  // 1.996 s since the drive started
    EXPECT_EQ(Value("Trigger_Status"), 1);
    Wait(8);
    EXPECT_EQ(Value("Trigger_Status"), 2);
    Wait(static_cast<int64_t>(kSamples * kDtMs));
    EXPECT_EQ(Value("Trigger_Status"), 3);
    const std::vector<int32_t> samples = Samples(1);
    ASSERT_EQ(samples.size(), static_cast<size_t>(kSamples));
    const size_t pre = kSamples * 10 / 100;  // Pretrigger_Value 10 %
    // The trigger sample is the first at or above the level (samples are rounded to whole units).
    EXPECT_LE(samples[pre - 1], 0);
    EXPECT_GE(samples[pre], 0);
    EXPECT_LT(samples[pre - 10], 0);
    EXPECT_GT(samples[pre + 10], 0);
    EXPECT_LT(samples[0], samples[pre - 1]) << "rising before the trigger";

    // Falling slope: the next crossing downwards, at 3 s.
    ASSERT_EQ(model.WriteValue("Pendenza_trigger", 0), Refusal::None);
    ASSERT_EQ(model.WriteValue("Trigger_Status", 1), Refusal::None);
    Wait(700);  // 2.908 s
    EXPECT_EQ(Value("Trigger_Status"), 1);
    Wait(110);
    EXPECT_EQ(Value("Trigger_Status"), 2);
    Wait(300);
    const std::vector<int32_t> falling = Samples(1);
    EXPECT_GE(falling[pre - 1], 0);
    EXPECT_LE(falling[pre], 0);
    EXPECT_GT(falling[pre - 10], 0);
    EXPECT_LT(falling[pre + 10], 0);

    // A level the signal never reaches: armed until stopped.
    ASSERT_EQ(model.WriteValue("Trigger_value", 9000), Refusal::None);
    ASSERT_EQ(model.WriteValue("Trigger_Status", 1), Refusal::None);
    Wait(3600 * 1000);
    EXPECT_EQ(Value("Trigger_Status"), 1);
    ASSERT_EQ(model.WriteValue("Trigger_Status", 0), Refusal::None);
    EXPECT_EQ(Value("Trigger_Status"), 0);
}

TEST_F(Scope, BuffersFollowTheChannelCount) {
    struct Case {
        std::vector<int> codes;
        std::vector<int> buffers;  // buffer of each channel
        size_t samples;            // per channel
    } cases[] = {
        {{kAnalog0}, {1}, 4096},
        {{kAnalog0, kStatusword}, {1, 3}, 2048},
        {{kStatusword, kAnalog0, kStatusword}, {1, 2, 3}, 1024},  // three channels share by four
        {{kAnalog0, kStatusword, kAnalog0, kStatusword}, {1, 2, 3, 4}, 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codes.size());
        SetUpCapture(c.codes);
        ASSERT_EQ(model.WriteValue("Trigger_Status", 2), Refusal::None);
        Wait(1000);
        ASSERT_EQ(Value("Trigger_Status"), 3);
        for (size_t k = 0; k < c.codes.size(); ++k) {
            const std::vector<int32_t> samples = Samples(c.buffers[k]);
            ASSERT_EQ(samples.size(), c.samples);
            bool constant = true;
            for (int32_t s : samples) constant &= s == samples.front();
            if (c.codes[k] == kStatusword) {
                EXPECT_TRUE(constant);
                EXPECT_EQ(samples.front(), 0x240);
            } else {
                EXPECT_FALSE(constant) << "channel " << k;
            }
        }
    }
}

TEST_F(Scope, FloatChannelsRecordFloats) {
    SetUpCapture({kTemperature});
    ASSERT_EQ(model.WriteValue("Trigger_Status", 2), Refusal::None);
    Wait(1000);
    const std::vector<int32_t> raw = Samples(1);
    ASSERT_FALSE(raw.empty());
    float first = 0;
    std::memcpy(&first, &raw[0], sizeof first);
    EXPECT_NEAR(first, 352.0, 10.0);
}

TEST_F(Scope, SetUpErrorsKeepTheCaptureStopped) {
    struct Case {
        int channels;
        std::vector<int> codes;
        int error;
    } cases[] = {
        {0, {}, 2}, {5, {}, 2}, {1, {99}, 4}, {2, {kAnalog0, 0}, 5}, {4, {1, 2, 3, 77}, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        ASSERT_EQ(model.WriteValue("Numero_Canali", c.channels), Refusal::None);
        for (size_t k = 0; k < c.codes.size(); ++k)
            ASSERT_EQ(model.WriteValue("Indir_canale_" + std::to_string(k + 1), c.codes[k]), Refusal::None);
        ASSERT_EQ(model.WriteValue("Trigger_Status", 2), Refusal::None);
        EXPECT_EQ(Value("Cod_err_iniz_osc"), c.error);
        EXPECT_EQ(Value("Trigger_Status"), 0);
    }
    EXPECT_EQ(model.WriteValue("Trigger_Status", 3), Refusal::Range);
}

TEST_F(Scope, TheChannelCountFollowsTheChannelsNamed) {
    // A program names its channels from the first on and leaves the count alone: two channels
    // after a four-channel capture record two.
    SetUpCapture({kAnalog0, kStatusword, kAnalog0, kStatusword});
    ASSERT_EQ(model.WriteValue("Indir_canale_1", kAnalog0), Refusal::None);
    ASSERT_EQ(model.WriteValue("Indir_canale_2", kStatusword), Refusal::None);
    EXPECT_EQ(Value("Numero_Canali"), 2);
    ASSERT_EQ(model.WriteValue("Trigger_Status", 2), Refusal::None);
    Wait(1000);
    ASSERT_EQ(Value("Trigger_Status"), 3);
    EXPECT_EQ(Samples(1).size(), 2048u);
    const std::vector<int32_t> second = Samples(3);
    ASSERT_EQ(second.size(), 2048u);
    for (int32_t s : second) ASSERT_EQ(s, 0x240);
}

}  // namespace
