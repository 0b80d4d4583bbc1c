#include "drive/ScopeSetup.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>
#include <string>

#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"

namespace drive {

const char* const kTimeScaleXml =
    "<Scale count=\"25\">0.000001,1 &#181; ,0.000002,2 &#181; ,0.000005,5 &#181; ,0.00001,10 &#181; ,"
    "0.00002,20 &#181; ,0.00005,50 &#181; ,0.0001,100 &#181; ,0.0002,200 &#181; ,0.0005,500 &#181; ,"
    "0.001,1 m,0.002,2 m,0.005,5 m,0.01,10 m,0.02,20 m,0.05,50 m,0.1,100 m,0.2,200 m,0.5,500 m,"
    "1,1 ,2,2 ,5,5 ,10,10 ,20,20 ,50,50 ,100,100 ,</Scale>";

const char* const kValueScaleXml =
    "<Scale count=\"37\">0.00001,10 u,0.00002,20 u,0.00005,50 u,0.0001,100 u,0.0002,200 u,"
    "0.0005,500 u,0.001,1 m,0.002,2 m,0.005,5 m,0.01,10 m,0.02,20 m,0.05,50 m,0.1,100 m,"
    "0.2,200 m,0.5,500 m,1,1 ,2,2 ,5,5 ,10,10 ,20,20 ,50,50 ,100,100 ,200,200 ,500,500 ,"
    "1000,1 k,2000,2 k,5000,5 k,10000,10 k,20000,20 k,50000,50 k,100000,100 k,200000,200 k,"
    "500000,500 k,1000000,1 M,10000000,10 M,100000000,100 M,1000000000,1 G,</Scale>";

namespace {

constexpr double kTorqueDivisor = 7071.07;
constexpr uint32_t kReversedPolarity = 192;
constexpr size_t kBlockLow = 2853, kBlockHigh = 2923, kBlockWhole = 2924;

void ReadScale(const char* xml, CGraphScale& scale) {
    foundation::CXmlDocument doc;
    if (doc.LoadXmlText(xml) == 0) scale.ReadXml(doc.Root());
}

bool Usable(double factor) {
    return std::isfinite(factor) && factor != 0.0;
}

}  // namespace

std::optional<double> DisplayFactor(const ComboChannelsTypes& v, const CScopeDisplayInputs& in) {
    double factor = v.factor;
    if (v.unitKey == "VelocityUnits") {
        factor *= in.velocityFactor;
    } else if (v.unitKey == "AccelerationUnits") {
        factor *= in.accelerationFactor;
    } else if (v.unitKey == "PositionUnits") {
        factor *= in.positionFactor;
    } else if (v.unitKey == "TorqueUnits") {
        // A drive without rated current would divide by zero: its torque has no display value.
        if (!Usable(in.ratedCurrent)) return std::nullopt;
        factor /= in.ratedCurrent / kTorqueDivisor;
    }
    if (v.polarity == 1 && in.polarity == kReversedPolarity) factor *= -1.0;
    if (!Usable(factor)) return std::nullopt;
    return factor;
}

double RawSampleValue(const ComboChannelsTypes& v, uint32_t raw) {
    if (v.isFloat) {
        float f = 0.0f;
        std::memcpy(&f, &raw, sizeof f);
        return f;
    }
    return static_cast<int32_t>(raw);
}

size_t RawBufferBytes(size_t samples) {
    const size_t bytes = samples * 4;
    return bytes >= kBlockLow && bytes <= kBlockHigh ? kBlockWhole : bytes;
}

osc_vars::osc_vars() : timeTrace_(std::make_unique<CGraphTrace>(-1, std::make_unique<CGraphValuesLinear>())) {
    ReadScale(kTimeScaleXml, timeTrace_->scale);
    for (int c = 0; c < kChannels; ++c)
        channelTraces_[static_cast<size_t>(c)] =
            std::make_unique<CGraphTrace>(c, std::make_unique<CGraphValuesList>());
}

osc_vars::~osc_vars() = default;

CGraphValuesList& osc_vars::ChannelValues(int channel) {
    return static_cast<CGraphValuesList&>(ChannelTrace(channel).Values());
}

void osc_vars::SetChannelUnit(int channel, const std::string& unit) {
    if (channel < 0 || channel >= kChannels) return;
    CGraphTrace& trace = ChannelTrace(channel);
    trace.unit = unit;
    ReadScale(kValueScaleXml, trace.scale);
}

void osc_vars::Clear() {
    samplingTime = 30;
    samplingMultiplier = 1;
    triggerSetting = 0;
    triggerSetting2 = 0;
    triggerLevel = 0.0;
    singleShot = 0;
    repeatCounter = 0;
    for (auto& b : buffers_) std::vector<uint8_t>().swap(b);
    for (int c = 0; c < kChannels; ++c) ChannelTrace(c).Values().Empty();
    samplesPerChannel = 0;
    usedSlots = 0;
    timeTrace_->Values().Empty();
}

void osc_vars::FreeBuffers() {
    for (auto& b : buffers_) std::vector<uint8_t>().swap(b);
    samplesPerChannel = 0;
}

bool osc_vars::SetSampleCount(int32_t n) {
    if (n == samplesPerChannel) return true;
    FreeBuffers();
    if (n < 0) return false;
    const size_t bytes = RawBufferBytes(static_cast<size_t>(n));
    size_t taken = 0;
    const int slots = std::clamp(usedSlots, 0, kChannels);
    for (int i = 0; i < slots; ++i) {
        auto& values = ChannelValues(i).values;
        try {
            if (bufferLimit_ - taken < bytes) throw std::bad_alloc();
            buffers_[static_cast<size_t>(i)].assign(bytes, 0);
            taken += bytes;
            if (values.size() != static_cast<size_t>(n)) values.resize(static_cast<size_t>(n));
        } catch (const std::bad_alloc&) {
            // Half a set of buffers is worse than none: the capture must not run on it.
            FreeBuffers();
            return false;
        }
    }
    samplesPerChannel = n;
    for (int i = slots; i < kChannels; ++i) ChannelValues(i).Empty();
    return true;
}

void osc_vars::SetChannelVariable(int channel, const std::string& title, bool check) {
    if (channel < 0 || channel >= kChannels) return;
    std::string& held = channelNames[static_cast<size_t>(channel)];
    if (title == held) return;
    std::string name = title;
    if (check && FindVariable(name) < 0) name.clear();
    held = name;
    ChannelTrace(channel).name = name;
}

int32_t osc_vars::AssignChannels() {
    for (auto& b : buffers_) std::vector<uint8_t>().swap(b);
    samplesPerChannel = 0;
    usedSlots = 0;
    slotTable.fill(-1);
    slotOfChannel_.fill(-1);
    if (triggerChannel >= 0 && triggerChannel < kChannels) {
        slotTable[0] = triggerChannel;
        slotOfChannel_[static_cast<size_t>(triggerChannel)] = 0;
        usedSlots = 1;
    }
    for (int c = 0; c < kChannels; ++c) {
        if (c == triggerChannel) continue;
        if (channelNames[static_cast<size_t>(c)].empty()) continue;
        slotTable[static_cast<size_t>(usedSlots)] = c;
        slotOfChannel_[static_cast<size_t>(c)] = usedSlots;
        ++usedSlots;
    }
    return usedSlots;
}

int32_t osc_vars::FindVariable(const std::string& title) const {
    for (size_t i = 0; i < variables.size(); ++i)
        if (variables[i].title == title) return static_cast<int32_t>(i);
    return -1;
}

const ComboChannelsTypes* osc_vars::GetChannelVariable(int slot) const {
    if (slot < 0 || slot >= kChannels) return nullptr;
    const int32_t channel = slotTable[static_cast<size_t>(slot)];
    if (channel < 0 || channel >= kChannels) return nullptr;
    const int32_t index = FindVariable(channelNames[static_cast<size_t>(channel)]);
    return index < 0 ? nullptr : &variables[static_cast<size_t>(index)];
}

void osc_vars::UpdateTimeAxis() {
    auto& axis = static_cast<CGraphValuesLinear&>(timeTrace_->Values());
    axis.count = samplesPerChannel > 0 ? static_cast<size_t>(samplesPerChannel) : 0;
    axis.first = 0.0;
    axis.step = static_cast<double>(samplingTime) * samplingMultiplier / 1000000.0;
}

uint8_t* osc_vars::SlotBuffer(int slot) {
    if (slot < 0 || slot >= kChannels) return nullptr;
    auto& b = buffers_[static_cast<size_t>(slot)];
    return b.empty() ? nullptr : b.data();
}

size_t osc_vars::SlotBufferBytes(int slot) const {
    return slot < 0 || slot >= kChannels ? 0 : buffers_[static_cast<size_t>(slot)].size();
}

bool osc_vars::ConvertSamples(int slot, const uint8_t* raw, size_t n, double factor) {
    const ComboChannelsTypes* v = GetChannelVariable(slot);
    if (!v) return false;
    auto& values = ChannelValues(slotTable[static_cast<size_t>(slot)]).values;
    if (values.size() < n) values.resize(n);
    for (size_t i = 0; i < n; ++i) {
        uint32_t word = 0;
        std::memcpy(&word, raw + i * 4, 4);
        values[i] = RawSampleValue(*v, word) * factor;
    }
    return true;
}

void osc_vars::LoadDescription(const foundation::CXmlNode* data) {
    variables.clear();
    errorTexts.clear();
    if (!data) return;
    auto children = [](const foundation::CXmlNode* parent, const char* name, auto&& each) {
        if (!parent) return;
        for (const foundation::CXmlNode* child : parent->Children())
            if (child->Name() == name) each(*child);
    };
    if (const foundation::CXmlNode* section = data->FindNode("Oscilloscope")) {
        children(section->FindNode("Channels"), "Channel",
                 [this](const foundation::CXmlNode& node) { variables.emplace_back().ReadLowerXml(node); });
        children(section->FindNode("Errors"), "Error", [this](const foundation::CXmlNode& node) {
            const int code = node.GetAttributeInt("value", 0);
            std::string text = node.GetAttribute("descr", "");
            if (text.empty()) text = "error " + std::to_string(static_cast<uint32_t>(code));
            errorTexts[code] = text;
        });
        return;
    }
    const foundation::CXmlNode* old = data->FindNode("OSCILLOSCOPE");
    if (!old) return;
    children(old, "CHANNEL",
             [this](const foundation::CXmlNode& node) { variables.emplace_back().ReadXml(node); });
    // The older descriptions carry no error texts: every such drive knows these.
    static const char* const kOldErrors[] = {"No error",
                                             "Invalid buffer size",
                                             "Invalid channels number",
                                             "Invalid mode",
                                             "Channel 1 does not exist",
                                             "Channel 2 does not exist",
                                             "Channel 3 does not exist",
                                             "Channel 4 does not exist",
                                             "Oscilloscope locked",
                                             "No buffer available"};
    for (int code = 0; code < static_cast<int>(std::size(kOldErrors)); ++code)
        errorTexts[code] = kOldErrors[code];
}

}  // namespace drive
