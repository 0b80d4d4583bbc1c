#pragma once
// The simulated drive's diagnosis history cells, reached as the drive object reaches them.

#include <algorithm>
#include <atomic>
#include <string>

#include "drive/DiagHistory.h"
#include "tools/drivesim/SimDriveModel.h"

namespace diaghistorytest {

// A description with the history cells and a ring of the given number of slots.
inline std::string HistoryDescription(int slots) {
    std::string items;
    auto item = [&](const std::string& name, int size, bool write = false) {
        items += "<ITEM name=\"" + name + "\" size=\"" + std::to_string(size) + "\" read=\"1\" write=\"" +
                 (write ? "1" : "0") + "\"/>";
    };
    item("DiagHistoryMaxMsg", 2);
    item("DiagHistoryNewestMsg", 2);
    item("DiagHistoryNewestAckMsg", 2, true);
    item("DiagHistoryNewMsgAvaible", 2);
    item("DataLoggerBUfferSize", 4);
    item("DataLoggerMsgSize", 4);
    item("TimeStampManufLocal", 4, true);
    item("DataLoggerUpload", 0);
    for (int n = 1; n <= slots; ++n) item("DiagHistoryMsg_" + std::to_string(n), 16);
    return "<DEVICE hw=\"5\"><Identity><Product code=\"7\"/></Identity><DICTIONARY>" + items +
           "</DICTIONARY><ClientList><Client><Data/></Client></ClientList></DEVICE>";
}

// The drive's cells as the drive object would reach them.
class SimSource : public drive::IDiagHistorySource {
  public:
    explicit SimSource(drivesim::SimDriveModel& model) : model_(model) {}
    int ReadCell(const std::string& name, uint32_t* value) override {
        const auto answer = model_.Read(name);
        if (answer.refusal != drivesim::Refusal::None) return -1;
        *value = 0;
        for (size_t i = 0; i < answer.bytes.size() && i < 4; ++i)
            *value |= uint32_t{answer.bytes[i]} << (8 * i);
        return 0;
    }
    int WriteCell(const std::string& name, uint32_t value) override {
        return model_.WriteValue(name, value) == drivesim::Refusal::None ? 0 : -1;
    }
    int UploadCell(const std::string& name, void* buffer, uint32_t size) override {
        ++uploads;
        const auto answer = model_.Read(name);
        if (answer.refusal != drivesim::Refusal::None) return -1;
        const size_t n = std::min<size_t>(size, answer.bytes.size());
        std::copy(answer.bytes.begin(), answer.bytes.begin() + static_cast<long>(n),
                  static_cast<uint8_t*>(buffer));
        return static_cast<int>(n);
    }
    bool HasCell(const std::string& name) override {
        return model_.Read(name).refusal != drivesim::Refusal::NoObject;
    }
    std::string LastErrorText() override { return "refused"; }
    std::atomic<int> uploads{0};

  private:
    drivesim::SimDriveModel& model_;
};

}  // namespace diaghistorytest
