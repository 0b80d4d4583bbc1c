// The oscilloscope set-up: the slot table, the raw buffers, the scales and the conversion of
// recorded samples into display values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "drive/ScopeSetup.h"
#include "foundation/XmlDocument.h"

using namespace drive;

namespace {

ComboChannelsTypes Variable(const std::string& title, int code, double factor = 1.0, bool isFloat = false) {
    ComboChannelsTypes v;
    v.title = title;
    v.name = title;
    v.code = code;
    v.factor = factor;
    v.isFloat = isFloat;
    return v;
}

TEST(ScopeSetup, SlotTableFollowsTheTriggerChannelAndTheNamedChannels) {
    struct Case {
        int trigger;
        std::vector<std::string> names;  // channels 0..3
        int used;
        std::vector<int> table;  // channel of each used slot
        std::vector<int> slots;  // slot of channels 0..3
    } cases[] = {
        {-1, {"", "", "", ""}, 0, {}, {-1, -1, -1, -1}},
        {2, {"a", "", "", "d"}, 3, {2, 0, 3}, {1, -1, 0, 2}},
        {-1, {"a", "b", "c", "d"}, 4, {0, 1, 2, 3}, {0, 1, 2, 3}},
        {-1, {"", "b", "", "d"}, 2, {1, 3}, {-1, 0, -1, 1}},
        {3, {"", "", "", ""}, 1, {3}, {-1, -1, -1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trigger);
        osc_vars setup;
        setup.triggerChannel = c.trigger;
        for (int i = 0; i < 4; ++i) setup.SetChannelVariable(i, c.names[static_cast<size_t>(i)], false);
        EXPECT_EQ(setup.AssignChannels(), c.used);
        EXPECT_EQ(setup.usedSlots, c.used);
        for (size_t s = 0; s < c.table.size(); ++s) EXPECT_EQ(setup.slotTable[s], c.table[s]) << s;
        for (int i = 0; i < 4; ++i) EXPECT_EQ(setup.ChannelSlot(i), c.slots[static_cast<size_t>(i)]) << i;
        EXPECT_EQ(setup.SlotBuffer(0), nullptr) << "assigning frees the buffers";
    }
}

TEST(ScopeSetup, TheDrivesBlockSizeIsAlwaysAskedWhole) {
    EXPECT_EQ(RawBufferBytes(715), 2924u);  // 2860 bytes
    EXPECT_EQ(RawBufferBytes(714), 2924u);  // 2856
    EXPECT_EQ(RawBufferBytes(713), 2852u);
    EXPECT_EQ(RawBufferBytes(731), 2924u);
    EXPECT_EQ(RawBufferBytes(732), 2928u);

    osc_vars setup;
    setup.SetChannelVariable(0, "a", false);
    setup.SetChannelVariable(2, "c", false);
    ASSERT_EQ(setup.AssignChannels(), 2);
    ASSERT_TRUE(setup.SetSampleCount(715));
    EXPECT_EQ(setup.samplesPerChannel, 715);
    EXPECT_EQ(setup.SlotBufferBytes(0), 2924u);
    EXPECT_EQ(setup.SlotBufferBytes(1), 2924u);
    EXPECT_EQ(setup.SlotBufferBytes(2), 0u);
    EXPECT_EQ(setup.ChannelValues(0).values.size(), 715u);
    ASSERT_TRUE(setup.SetSampleCount(731));
    EXPECT_EQ(setup.SlotBufferBytes(0), 2924u);
}

TEST(ScopeSetup, AFailedAllocationLeavesNoBuffers) {
    osc_vars setup;
    for (int i = 0; i < 4; ++i) setup.SetChannelVariable(i, "v" + std::to_string(i), false);
    ASSERT_EQ(setup.AssignChannels(), 4);
    ASSERT_TRUE(setup.SetSampleCount(100));
    // Room for two buffers of 1000 samples, not four.
    setup.SetBufferLimit(2 * 4000 + 100);
    EXPECT_FALSE(setup.SetSampleCount(1000));
    EXPECT_EQ(setup.samplesPerChannel, 0);
    for (int s = 0; s < 4; ++s) EXPECT_EQ(setup.SlotBuffer(s), nullptr) << s;
    setup.SetBufferLimit(SIZE_MAX);
    EXPECT_TRUE(setup.SetSampleCount(1000));
    EXPECT_EQ(setup.SlotBufferBytes(3), 4000u);
}

TEST(ScopeSetup, ScalesAreReadFromTheBuiltInTables) {
    osc_vars setup;
    const CGraphScale& time = setup.TimeTrace().scale;
    ASSERT_EQ(time.values.size(), 25u);
    EXPECT_DOUBLE_EQ(time.values[0], 0.000001);
    EXPECT_EQ(time.labels[0], "1 \xC2\xB5 ");
    EXPECT_EQ(time.labels[9], "1 m");
    EXPECT_DOUBLE_EQ(time.values[24], 100.0);
    EXPECT_EQ(time.labels[24], "100 ");
    EXPECT_EQ(setup.TimeTrace().id, -1);

    setup.SetChannelUnit(1, "A");
    const CGraphScale& value = setup.ChannelTrace(1).scale;
    ASSERT_EQ(value.values.size(), 37u);
    EXPECT_EQ(value.labels[0], "10 u");
    EXPECT_EQ(value.labels[33], "1 M");
    EXPECT_DOUBLE_EQ(value.values[34], 10000000.0);
    EXPECT_EQ(value.labels[36], "1 G");
    EXPECT_EQ(setup.ChannelTrace(1).unit, "A");
}

TEST(ScopeSetup, VariablesAreFoundByTitleAndCheckedWhenAsked) {
    osc_vars setup;
    setup.variables = {Variable("Speed", 2), Variable("Current", 3)};
    EXPECT_EQ(setup.FindVariable("Current"), 1);
    EXPECT_EQ(setup.FindVariable("current"), -1);
    setup.SetChannelVariable(0, "Missing", true);
    EXPECT_EQ(setup.channelNames[0], "");
    setup.SetChannelVariable(1, "Missing", false);
    EXPECT_EQ(setup.channelNames[1], "Missing");
    setup.SetChannelVariable(2, "Current", true);
    EXPECT_EQ(setup.ChannelTrace(2).name, "Current");
    setup.AssignChannels();
    EXPECT_EQ(setup.GetChannelVariable(0), nullptr) << "slot 0 holds channel 1, not in the table";
    ASSERT_NE(setup.GetChannelVariable(1), nullptr);
    EXPECT_EQ(setup.GetChannelVariable(1)->code, 3);

    setup.samplingTime = 50;
    setup.samplingMultiplier = 2;
    setup.samplesPerChannel = 10;
    setup.UpdateTimeAxis();
    EXPECT_EQ(setup.TimeTrace().Values().Count(), 10u);
    EXPECT_DOUBLE_EQ(setup.TimeTrace().Values().At(3), 3 * 0.0001);
    setup.Clear();
    EXPECT_EQ(setup.samplingTime, 30u);
    EXPECT_EQ(setup.TimeTrace().Values().Count(), 0u);
}

TEST(ScopeSetup, SamplesConvertAsIntegersOrFloats) {
    const uint32_t minusOne = 0xFFFFFFFFu;
    EXPECT_DOUBLE_EQ(RawSampleValue(Variable("i", 1), minusOne) * 0.5, -0.5);
    EXPECT_TRUE(std::isnan(RawSampleValue(Variable("f", 1, 1.0, true), minusOne)));
    float f = 2.5f;
    uint32_t bits = 0;
    std::memcpy(&bits, &f, 4);
    EXPECT_DOUBLE_EQ(RawSampleValue(Variable("f", 1, 1.0, true), bits), 2.5);

    osc_vars setup;
    setup.variables = {Variable("i", 1)};
    setup.SetChannelVariable(3, "i", true);
    setup.AssignChannels();
    const uint32_t raw[3] = {minusOne, 4, 0x80000000u};
    ASSERT_TRUE(setup.ConvertSamples(0, reinterpret_cast<const uint8_t*>(raw), 3, 0.5));
    EXPECT_EQ(setup.ChannelValues(3).values, (std::vector<double>{-0.5, 2.0, -1073741824.0}));
    EXPECT_FALSE(setup.ConvertSamples(1, reinterpret_cast<const uint8_t*>(raw), 3, 0.5));
}

TEST(ScopeSetup, DisplayFactorsByUnitKeyAndPolarity) {
    CScopeDisplayInputs in;
    in.positionFactor = 2.0;
    in.velocityFactor = 3.0;
    in.accelerationFactor = 5.0;
    in.ratedCurrent = 7071.07 * 2;
    struct Case {
        const char* key;
        int polarity;
        uint32_t drivePolarity;
        double factor;  // 0: not convertible
    } cases[] = {
        {"PositionUnits", 0, 0, 2.0},
        {"VelocityUnits", 0, 0, 3.0},
        {"AccelerationUnits", 0, 0, 5.0},
        {"TorqueUnits", 0, 0, 0.5},
        {"A", 0, 0, 1.0},
        {"VelocityUnits", 1, 192, -3.0},
        {"VelocityUnits", 1, 64, 3.0},
        {"VelocityUnits", 0, 192, 3.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + std::to_string(c.polarity));
        ComboChannelsTypes v = Variable("v", 1);
        v.unitKey = c.key;
        v.polarity = c.polarity;
        in.polarity = c.drivePolarity;
        const auto factor = DisplayFactor(v, in);
        ASSERT_TRUE(factor.has_value());
        EXPECT_DOUBLE_EQ(*factor, c.factor);
    }
    // A drive without rated current, or a variable whose factor is 0 or not finite: no value
    // rather than a wrong one.
    ComboChannelsTypes torque = Variable("t", 1);
    torque.unitKey = "TorqueUnits";
    in.ratedCurrent = 0.0;
    EXPECT_FALSE(DisplayFactor(torque, in).has_value());
    in.ratedCurrent = 1.0;
    EXPECT_FALSE(DisplayFactor(Variable("z", 1, 0.0), in).has_value());
    EXPECT_FALSE(DisplayFactor(Variable("n", 1, std::nan("")), in).has_value());
}

TEST(ScopeSetup, VariablesAndErrorTextsComeFromTheDescription) {
    struct Case {
        const char* what;
        const char* xml;
        std::vector<std::string> titles;
        std::map<int, std::string> errors;
    };
    const Case cases[] = {
        {"current form",
         "<Data><Oscilloscope><Channels><Channel title=\"Speed\" name=\"ActualVelocity\" "
         "ua=\"VelocityUnits\" code=\"2\"/><Other title=\"not a channel\"/><Channel title=\"Temp\" "
         "type=\"float\" code=\"9\"/></Channels><Errors><Error value=\"4\" descr=\"Channel 1 does not "
         "exist\"/>"
         "<Error value=\"12\"/></Errors></Oscilloscope>"
         "<OSCILLOSCOPE><CHANNEL Title=\"ignored\"/></OSCILLOSCOPE></Data>",
         {"Speed", "Temp"},
         {{4, "Channel 1 does not exist"}, {12, "error 12"}}},
        {"older form with the fixed error texts",
         "<Data><OSCILLOSCOPE><CHANNEL Title=\"Position\" Name=\"ActualPosition\" Code=\"1\"/>"
         "<SAMPLING_TIME Title=\"50 us\" Value=\"1\"/></OSCILLOSCOPE></Data>",
         {"Position"},
         {{0, "No error"},
          {1, "Invalid buffer size"},
          {2, "Invalid channels number"},
          {3, "Invalid mode"},
          {4, "Channel 1 does not exist"},
          {5, "Channel 2 does not exist"},
          {6, "Channel 3 does not exist"},
          {7, "Channel 4 does not exist"},
          {8, "Oscilloscope locked"},
          {9, "No buffer available"}}},
        {"no oscilloscope", "<Data/>", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        osc_vars setup;
        setup.variables = {Variable("stale", 1)};
        setup.errorTexts[99] = "stale";
        foundation::CXmlDocument doc;
        ASSERT_EQ(doc.LoadXmlText(c.xml), 0);
        setup.LoadDescription(&doc.Root());
        std::vector<std::string> titles;
        for (const ComboChannelsTypes& v : setup.variables) titles.push_back(v.title);
        EXPECT_EQ(titles, c.titles);
        EXPECT_EQ(setup.errorTexts, c.errors);
    }
    osc_vars setup;
    setup.variables = {Variable("stale", 1)};
    setup.LoadDescription(nullptr);
    EXPECT_TRUE(setup.variables.empty());
}

}  // namespace
