#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drive/ComboChannelsTypes.h"
#include "drive/GraphTrace.h"
#include "platform/TimedMutex.h"

namespace foundation {
class CXmlNode;
}  // namespace foundation

namespace drive {

// What the display conversion of a recorded variable needs from the drive besides the variable.
struct CScopeDisplayInputs {
    // User value = drive value x factor, for "PositionUnits", "VelocityUnits", "AccelerationUnits".
    double positionFactor = 1.0;
    double velocityFactor = 1.0;
    double accelerationFactor = 1.0;
    // The drive's rated current ("TorqueUnits" values are thousandths of it) and polarity word.
    double ratedCurrent = 0.0;
    uint32_t polarity = 0;
};

// The factor that turns one raw sample of the variable into its display value; none when the
// inputs cannot convert it (a factor of 0 or not finite, a torque without rated current).
std::optional<double> DisplayFactor(const ComboChannelsTypes& variable, const CScopeDisplayInputs& inputs);

// One raw 32-bit sample as the variable records it: a float, or a signed integer.
double RawSampleValue(const ComboChannelsTypes& variable, uint32_t raw);

// Bytes of a raw sample buffer of n samples: n x 4, except that the drive's 2924-byte block is
// always asked whole.
size_t RawBufferBytes(size_t samples);

// The oscilloscope set-up of the drive object: what the four channels record, how the capture is
// triggered, the raw sample buffers and the traces the windows draw. The watch thread writes the
// buffers and traces holding Lock(); the windows read them holding it too.
class osc_vars {
  public:
    static constexpr int kChannels = 4;
    static constexpr uint32_t kDefaultColour = 0xC0C0C0;

    osc_vars();
    virtual ~osc_vars();
    osc_vars(const osc_vars&) = delete;
    osc_vars& operator=(const osc_vars&) = delete;

    void SetChannelUnit(int channel, const std::string& unit);
    void Clear();
    void FreeBuffers();
    // Raw buffers of n samples for each used slot; false (and no buffer, no samples) when the
    // memory cannot be had.
    bool SetSampleCount(int32_t n);
    void SetChannelVariable(int channel, const std::string& title, bool check);
    int32_t AssignChannels();
    int32_t FindVariable(const std::string& title) const;
    const ComboChannelsTypes* GetChannelVariable(int slot) const;
    void UpdateTimeAxis();
    // The selectable variables and the capture error texts of a drive description's "Data"
    // element ("Oscilloscope", else the older "OSCILLOSCOPE"); null empties both.
    void LoadDescription(const foundation::CXmlNode* data);

    // The raw buffer of a slot (null when none) and its size in bytes.
    uint8_t* SlotBuffer(int slot);
    size_t SlotBufferBytes(int slot) const;
    // Converts n raw samples into the trace of the slot's channel (grown when smaller); false
    // when the slot has no variable.
    bool ConvertSamples(int slot, const uint8_t* raw, size_t n, double factor);

    CGraphTrace& TimeTrace() { return *timeTrace_; }
    CGraphTrace& ChannelTrace(int channel) {
        return *channelTraces_[static_cast<size_t>(ClampChannel(channel))];
    }
    CGraphValuesList& ChannelValues(int channel);
    // The slot index of a channel's trace (-1 when the channel is not used).
    int32_t ChannelSlot(int channel) const {
        return slotOfChannel_[static_cast<size_t>(ClampChannel(channel))];
    }
    platform::TimedMutex& Lock() { return lock_; }

    // A cap on the bytes the sample buffers may take together: the oscilloscope's share of the
    // memory; beyond it an allocation fails as when memory runs out.
    void SetBufferLimit(size_t bytes) { bufferLimit_ = bytes; }

    uint32_t preTriggerMs = 0;
    uint32_t postTriggerMs = 0;
    uint32_t startTime = 0;
    uint32_t samplingTime = 30;  // µs
    uint32_t samplingMultiplier = 1;
    std::vector<ComboChannelsTypes> variables;
    std::map<int, std::string> errorTexts;
    std::array<std::string, kChannels> channelNames;
    uint32_t triggerSetting = 0;
    uint16_t uploadStatus = 0;
    uint8_t triggerSetting2 = 0;
    double triggerLevel = 0.0;
    std::string triggerMode = "Auto";
    uint8_t singleShot = 0;
    int32_t triggerChannel = -1;
    std::array<uint8_t, kChannels> slotValid{};
    std::array<uint32_t, kChannels> colours{kDefaultColour, kDefaultColour, kDefaultColour, kDefaultColour};
    uint8_t repeatHold = 0;
    uint32_t repeatCounter = 0;
    uint8_t repeatKeep = 0;
    uint8_t repeatSpare = 0;
    std::array<int32_t, kChannels> slotTable{-1, -1, -1, -1};
    int32_t samplesPerChannel = 0;
    int32_t usedSlots = 0;

  private:
    static int ClampChannel(int channel) {
        return channel < 0 ? 0 : channel >= kChannels ? kChannels - 1 : channel;
    }

    std::unique_ptr<CGraphTrace> timeTrace_;
    std::array<std::unique_ptr<CGraphTrace>, kChannels> channelTraces_;
    std::array<int32_t, kChannels> slotOfChannel_{-1, -1, -1, -1};
    std::array<std::vector<uint8_t>, kChannels> buffers_;
    size_t bufferLimit_ = SIZE_MAX;
    platform::TimedMutex lock_;
};

// The steps of the time axis (seconds) and of the value axes, as the program's scale reader
// takes them.
extern const char* const kTimeScaleXml;
extern const char* const kValueScaleXml;

}  // namespace drive
