#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "drive/Qd.h"
#include "drive/QdsWnd.h"
#include "foundation/XmlDocument.h"
#include "tests/engine/EngineTestSupport.h"
#include "tools/drivesim/DriveSim.h"
#include "tools/drivesim/SimDrive.h"
#include "tools/drivesim/SimDriveModel.h"
#include "tools/drivesim/SimWiring.h"

namespace drivetest {

// Reads and writes as the engine would answer them, counted; it fails the test when two callers
// are inside at once.
class FakeCellPort : public drive::CQdsWnd::CCellPort {
  public:
    int ReadCell(const std::string& name, uint32_t* value) override { return Call(name, value); }
    int WriteCell(const std::string& name, uint32_t value) override {
        written[name] = value;
        return Call(name, nullptr);
    }
    std::string ErrorText() override { return "engine says"; }

    // Codes handed out one per call for names without an entry in cells; the last one repeats.
    std::vector<int> codes{0};
    // name -> (code, value)
    std::map<std::string, std::pair<int, uint32_t>> cells;
    std::map<std::string, uint32_t> written;
    std::atomic<int> calls{0};
    std::atomic<bool> overlapped{false};

  private:
    int Call(const std::string& name, uint32_t* value) {
        if (inside_.fetch_add(1) != 0) overlapped = true;
        const int n = calls.fetch_add(1);
        int code = 0;
        if (auto it = cells.find(name); it != cells.end()) {
            code = it->second.first;
            if (value) *value = it->second.second;
        } else {
            code = codes[std::min<size_t>(static_cast<size_t>(n), codes.size() - 1)];
        }
        std::this_thread::yield();
        inside_.fetch_sub(1);
        return code;
    }
    std::atomic<int> inside_{0};
};

// The simulated drive's own description, as the program's data folder holds it.
inline std::filesystem::path SimDescription() {
    return std::filesystem::path(TUNOVA_FIXTURES) / ".." / ".." / "app" / "data" / "Xml" / "1234_2_3_1.xml";
}

// The engine's description tree with the simulated drive's description added to it.
class DriveTree : public enginetest::DescriptionTree {
  public:
    DriveTree() { std::filesystem::copy_file(SimDescription(), Root() / "tree" / "1234_2_3_1.xml"); }
};

// The connect dialog: hands back a fixed answer once, then cancels; counts its runs.
class FakeConnectDialog : public drive::CConnectDialog {
  public:
    int Run(const std::vector<drive::_CHANNELINFO>& channels, drive::CConnectionRecord&) override {
        seen = channels;
        ++runs;
        const int answer = next;
        next = 2;
        return answer;
    }
    int next = 1;
    int runs = 0;
    std::vector<drive::_CHANNELINFO> seen;
};

// The simulated drive described by its own description, served as slave 1.
struct SimulatedDrive {
    SimulatedDrive() {
        model = std::make_shared<drivesim::SimDriveModel>();
        std::string error;
        EXPECT_TRUE(model->Load(SimDescription(), &error)) << error;
        drivesim::DescribeModbusDrive(sim.AddDrive(1), model);
    }
    ~SimulatedDrive() { sim.Stop(); }

    std::shared_ptr<drivesim::SimDriveModel> model;
    drivesim::DriveSim sim;
};

inline int FindChannel(const drive::CQdsWnd& wnd, const std::string& name) {
    for (const drive::_CHANNELINFO& c : wnd.Channels())
        if (c.Name() == name) return static_cast<int>(c.index);
    return -1;
}

// The value of a parameter in a parameter file, empty when it is not there.
inline std::string ParameterIn(const std::filesystem::path& file, const std::string& name) {
    foundation::CXmlDocument document;
    if (document.Load(file) != foundation::S_OK) return {};
    const foundation::CXmlNode* parameters = document.Root().FindNode("DEVICE\\PARAMETERS");
    if (parameters == nullptr) return {};
    for (const foundation::CXmlNode* data : parameters->Children())
        if (data->GetAttribute("Name") == name) return data->GetAttribute("Value");
    return {};
}

}  // namespace drivetest
