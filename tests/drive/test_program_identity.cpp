#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "drive/ProgramIdentity.h"
#include "drive/Qd.h"
#include "engine/VMComm.h"
#include "tests/drive/DriveObjectTestSupport.h"
#include "tools/drivesim/SimDriveModel.h"

using namespace drive;

namespace {

bool WaitUntil(const std::function<bool()>& done, int ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void Put16(std::vector<uint8_t>& out, uint16_t v, bool bigEndian) {
    if (bigEndian) {
        out.push_back(static_cast<uint8_t>(v >> 8));
        out.push_back(static_cast<uint8_t>(v));
    } else {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    }
}

void Put32(std::vector<uint8_t>& out, uint32_t v, bool bigEndian) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * (bigEndian ? 3 - i : i))));
}

void PutText(std::vector<uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

// The drive's program machine behind "VmCommand" and "VmAnswer": its opening tells the message
// size and whether the full version is known; commands 2 and 5 get the scripted data.
class FakeVmLink : public engine::CVmCellAccess {
  public:
    bool bigEndian = false;
    bool fullVersion = true;
    uint16_t messageSize = 128;
    std::vector<uint8_t> data;  // answer data of commands 2 and 5
    uint16_t errorCode = 0;     // the drive refuses the identity command with it
    bool failWrite = false;
    std::vector<uint8_t> lastCommand;

    int DownloadCell(const std::string& name, const void* bytes, uint32_t size) override {
        if (name != "VmCommand") return -1;
        const auto* p = static_cast<const uint8_t*>(bytes);
        lastCommand.assign(p, p + size);
        answer_.clear();
        if (p[1] == 1) {
            answer_ = {1, 1};
            Put16(answer_, fullVersion ? 14 : 8, bigEndian);
            Put16(answer_, 2, bigEndian);
            Put16(answer_, 1, bigEndian);
            Put16(answer_, messageSize, bigEndian);
            answer_.push_back(bigEndian ? 1 : 0);
            answer_.push_back(0);
            if (fullVersion)
                for (int i = 0; i < 3; ++i) answer_.insert(answer_.end(), {static_cast<uint8_t>(i + 1), 0});
            return 0;
        }
        if (failWrite) return -1;
        answer_ = {p[0], p[1]};
        if (errorCode) {
            answer_[1] |= 0x80;
            Put16(answer_, errorCode, bigEndian);
            return 0;
        }
        Put16(answer_, static_cast<uint16_t>(data.size()), bigEndian);
        answer_.insert(answer_.end(), data.begin(), data.end());
        return 0;
    }
    int UploadCell(const std::string& name, void* buffer, uint32_t size) override {
        if (name != "VmAnswer") return -1;
        const size_t n = std::min<size_t>(answer_.size(), size);
        std::memcpy(buffer, answer_.data(), n);
        return static_cast<int>(n);
    }
    std::string LastErrorText() override { return "no answer"; }

  private:
    std::vector<uint8_t> answer_;
};

// The two named cells, by name: code and text or value.
struct FakeCells {
    std::map<std::string, std::pair<int, std::string>> texts;
    std::map<std::string, std::pair<int, uint32_t>> values;
    ProgramIdentityCells Access() {
        ProgramIdentityCells cells;
        cells.readText = [this](const std::string& name, std::string& text) {
            auto it = texts.find(name);
            if (it == texts.end()) return -303;
            text = it->second.second;
            return it->second.first;
        };
        cells.readValue = [this](const std::string& name, uint32_t* value) {
            auto it = values.find(name);
            if (it == values.end()) return -303;
            *value = it->second.second;
            return it->second.first;
        };
        return cells;
    }
};

const std::string k32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";  // fills a 32-byte text: no terminator

std::vector<uint8_t> LongData(bool bigEndian, const std::string& name, const std::string& second,
                              size_t size = 72) {
    std::vector<uint8_t> d;
    Put32(d, 0xCB9E93A8, bigEndian);
    Put32(d, 0x01020304, bigEndian);
    std::string a = name, b = second;
    a.resize(32, '\0');
    b.resize(32, '\0');
    PutText(d, a);
    PutText(d, b);
    d.resize(size, 0);
    return d;
}

std::vector<uint8_t> ShortData(bool bigEndian, uint16_t number, const std::string& name) {
    std::vector<uint8_t> d;
    Put32(d, 7, bigEndian);
    Put32(d, 0x80000001, bigEndian);
    Put16(d, number, bigEndian);
    PutText(d, name);
    return d;
}

}  // namespace

// Every way of reading the identity: the record the machine's opening chose, the answer it gave
// and what the display gets. A failure shows nothing and both values unknown.
TEST(ProgramIdentity, RecordsAnswersAndFailures) {
    struct Case {
        const char* what;
        bool fullVersion;
        uint16_t messageSize;
        bool bigEndian;
        std::vector<uint8_t> data;
        uint16_t errorCode;
        bool failWrite;
        uint8_t command;
        int result;
        uint32_t first, second;
        std::string name, detail;
    };
    const uint32_t kU = kUnknownProgramValue;
    const Case cases[] = {
        {"long record", true, 128, false, LongData(false, "Axis", "Rev. 1"), 0, false, 5, 0, 0xCB9E93A8,
         0x01020304, "Axis", "Rev. 1"},
        {"long record, big-endian", true, 128, true, LongData(true, "Axis", "Rev. 1"), 0, false, 5, 0,
         0xCB9E93A8, 0x01020304, "Axis", "Rev. 1"},
        {"long record, both texts unterminated", true, 128, false, LongData(false, k32, k32), 0, false, 5, 0,
         0xCB9E93A8, 0x01020304, k32, k32},
        {"long record with more after it", true, 128, false, LongData(false, "Axis", "R", 90), 0, false, 5, 0,
         0xCB9E93A8, 0x01020304, "Axis", "R"},
        {"long record one byte short", true, 128, false, LongData(false, "Axis", "R", 71), 0, false, 5, -10,
         kU, kU, "", ""},
        {"short record", false, 128, false, ShortData(false, 42, "Conveyor"), 0, false, 2, 0, 7, 0x80000001,
         "Conveyor", "42"},
        {"short record, big-endian, number above 32767", true, 64, true, ShortData(true, 40000, "Conveyor"),
         0, false, 2, 0, 7, 0x80000001, "Conveyor", "40000"},
        {"short record, name to the end of the answer", false, 128, false, ShortData(false, 1, k32 + k32), 0,
         false, 2, 0, 7, 0x80000001, k32 + k32, "1"},
        {"short record, name ends at its terminator", false, 128, false,
         ShortData(false, 1, std::string("Belt\0junk", 9)), 0, false, 2, 0, 7, 0x80000001, "Belt", "1"},
        {"short record without a name", false, 128, false, ShortData(false, 5, ""), 0, false, 2, 0, 7,
         0x80000001, "", "5"},
        {"short record one byte short", false, 128, false, std::vector<uint8_t>(9, 1), 0, false, 2, -10, kU,
         kU, "", ""},
        {"the drive refuses the command",
         true,
         128,
         false,
         {},
         0x12,
         false,
         5,
         engine::CVMComm::kDriveError,
         kU,
         kU,
         "",
         ""},
        {"the command is not written",
         false,
         128,
         false,
         {},
         0,
         true,
         2,
         engine::CVMComm::kWriteFailed,
         kU,
         kU,
         "",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeVmLink link;
        link.fullVersion = c.fullVersion;
        link.messageSize = c.messageSize;
        link.bigEndian = c.bigEndian;
        link.data = c.data;
        link.errorCode = c.errorCode;
        link.failWrite = c.failWrite;
        engine::CVMComm vm(link);
        ASSERT_EQ(vm.Init(), 0);
        FakeCells cells;  // never asked while the machine answers
        const ProgramIdentity id = ReadProgramIdentity(vm, cells.Access());
        ASSERT_GE(link.lastCommand.size(), 5u);
        EXPECT_EQ(link.lastCommand[1], c.command);
        EXPECT_EQ(link.lastCommand.size(), 5u) << "one data byte";
        EXPECT_EQ(id.result, c.result);
        EXPECT_EQ(id.first, c.first);
        EXPECT_EQ(id.second, c.second);
        EXPECT_EQ(id.name, c.name);
        EXPECT_EQ(id.detail, c.detail);
    }
}

// A machine whose messages cannot hold the long answer is asked for the short record.
TEST(ProgramIdentity, SmallMessagesUseTheShortRecord) {
    FakeVmLink link;
    link.messageSize = 75;
    engine::CVMComm vm(link);
    ASSERT_EQ(vm.Init(), 0);
    EXPECT_EQ(ProgramRecordOf(vm), ProgramRecord::Short);
    link.messageSize = 76;
    ASSERT_EQ(vm.Init(), 0);
    EXPECT_EQ(ProgramRecordOf(vm), ProgramRecord::Long);
}

// Without a machine exchange (never opened, or refused) the two named cells are read: the name,
// and the data key as a packed date-time. Either read failing shows nothing.
TEST(ProgramIdentity, NamedCellsWithoutARecord) {
    struct Case {
        const char* what;
        int nameCode, keyCode;
        int result;
        uint32_t first;
        std::string name, detail;
    };
    const Case cases[] = {
        {"both read", 0, 0, 0, 0xCB9E93A8, "Axis", "15/03/2026 10:30:00"},
        {"name fails", -13, 0, -13, kUnknownProgramValue, "", ""},
        {"key fails", 0, -303, -303, kUnknownProgramValue, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeVmLink link;
        engine::CVMComm vm(link);  // not opened: no record size
        FakeCells cells;
        cells.texts[kProgramNameCell] = {c.nameCode, "Axis"};
        cells.values[kProgramDataKeyCell] = {c.keyCode, 0xCB9E93A8};
        const ProgramIdentity id = ReadProgramIdentity(vm, cells.Access());
        EXPECT_TRUE(link.lastCommand.empty()) << "the machine is not asked";
        EXPECT_EQ(id.result, c.result);
        EXPECT_EQ(id.first, c.first);
        EXPECT_EQ(id.name, c.name);
        EXPECT_EQ(id.detail, c.detail);
    }
    // A machine that refused its opening has no record size either.
    FakeVmLink link;
    engine::CVMComm vm(link);
    link.messageSize = 0;
    ASSERT_EQ(vm.Init(), 0);
    EXPECT_EQ(ProgramRecordOf(vm), ProgramRecord::Cells);
}

// ---- against the simulated drive -----------------------------------------------------------

namespace {

// The simulated drive's own variables, as the drive object's multi-byte transfers reach them.
class SimVmLink : public engine::CVmCellAccess {
  public:
    explicit SimVmLink(drivesim::SimDriveModel& model) : model_(model) {}
    int DownloadCell(const std::string& name, const void* data, uint32_t size) override {
        const auto* p = static_cast<const uint8_t*>(data);
        return model_.Write(name, std::vector<uint8_t>(p, p + size)) == drivesim::Refusal::None ? 0 : -1;
    }
    int UploadCell(const std::string& name, void* buffer, uint32_t size) override {
        const drivesim::SimDriveModel::Answer answer = model_.Read(name);
        if (answer.refusal != drivesim::Refusal::None) return -1;
        const size_t n = std::min<size_t>(answer.bytes.size(), size);
        std::memcpy(buffer, answer.bytes.data(), n);
        return static_cast<int>(n);
    }
    std::string LastErrorText() override { return {}; }

  private:
    drivesim::SimDriveModel& model_;
};

ProgramIdentityCells SimCells(drivesim::SimDriveModel& model) {
    ProgramIdentityCells cells;
    cells.readText = [&model](const std::string& name, std::string& text) {
        const auto answer = model.Read(name);
        if (answer.refusal != drivesim::Refusal::None) return -1;
        const auto end = std::find(answer.bytes.begin(), answer.bytes.end(), uint8_t{0});
        text.assign(answer.bytes.begin(), end);
        return 0;
    };
    cells.readValue = [&model](const std::string& name, uint32_t* value) {
        const auto v = model.ReadValue(name);
        if (!v) return -1;
        *value = static_cast<uint32_t>(*v);
        return 0;
    };
    return cells;
}

}  // namespace

TEST(ProgramIdentity, SimulatedDriveAnswersBothRecordsAndItsCells) {
    struct Case {
        const char* what;
        const char* sw;  // switch of the simulated drive, or none
        bool open;
        std::string name;  // the drive's program name
        std::string shown, detail;
    };
    const std::string longName = k32 + "-tail";
    const Case cases[] = {
        {"cells", nullptr, false, "Demo axis program", "Demo axis program", "15/03/2026 10:30:00"},
        {"long record", nullptr, true, "Demo axis program", "Demo axis program", "Rev. 3"},
        {"long record, name fills its text", nullptr, true, longName, k32, "Rev. 3"},
        {"short record", "vm-short-record", true, "Demo axis program", "Demo axis program", "3"},
        {"short record, name to the end", "vm-short-record", true, longName, longName, "3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        drivesim::SimDriveModel model;
        std::string error;
        ASSERT_TRUE(model.Load(drivetest::SimDescription(), &error)) << error;
        if (c.sw) {
            ASSERT_TRUE(model.ApplySwitch(c.sw, &error)) << error;
        }
        ASSERT_TRUE(model.SetText(kProgramNameCell, c.name));
        SimVmLink link(model);
        engine::CVMComm vm(link);
        if (c.open) {
            ASSERT_EQ(vm.Init(), 0);
        }
        const ProgramIdentity id = ReadProgramIdentity(vm, SimCells(model));
        EXPECT_EQ(id.result, 0);
        EXPECT_EQ(id.first, 0xCB9E93A8u);
        EXPECT_EQ(id.name, c.shown);
        EXPECT_EQ(id.detail, c.detail);
    }
}

// ---- the refresh worker --------------------------------------------------------------------

TEST(ProgramInfoRefresh, DeliversOneResultAndRunsOnceAtATime) {
    std::promise<void> release;
    std::shared_future<void> go = release.get_future().share();
    CProgramInfoRefresh refresh([go](const platform::StopToken&) {
        go.wait();
        ProgramIdentity id;
        id.name = "Axis";
        return id;
    });
    ASSERT_TRUE(refresh.Start());
    EXPECT_FALSE(refresh.Start()) << "a second refresh while one runs";
    EXPECT_FALSE(refresh.TakeResult());
    release.set_value();
    std::optional<ProgramIdentity> result;
    ASSERT_TRUE(WaitUntil([&] { return (result = refresh.TakeResult()).has_value(); }));
    EXPECT_EQ(result->name, "Axis");
    EXPECT_FALSE(refresh.TakeResult()) << "taken once";
    ASSERT_TRUE(refresh.Start()) << "a finished refresh makes room for the next";
    ASSERT_TRUE(WaitUntil([&] { return refresh.TakeResult().has_value(); }));
}

// Stopping waits for the running read to end (it is never left behind) and drops its result.
TEST(ProgramInfoRefresh, StopJoinsARunningRefresh) {
    std::promise<void> entered;
    std::atomic<bool> returned{false};
    auto state = std::make_shared<int>(0);  // what the read uses: must outlive it
    CProgramInfoRefresh refresh([&, state](const platform::StopToken& stop) {
        entered.set_value();
        while (!stop.StopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++*state;
        returned = true;
        return ProgramIdentity::Failed(-1);
    });
    ASSERT_TRUE(refresh.Start());
    entered.get_future().wait();
    refresh.Stop();
    EXPECT_TRUE(returned.load());
    EXPECT_FALSE(refresh.IsRunning());
    EXPECT_FALSE(refresh.TakeResult());
}

// The drive object stops the display's refresh when it releases the node.
TEST(ProgramInfoRefresh, ReleasingTheNodeStopsTheRefresh) {
    CQd qd(0);
    int stops = 0;
    qd.Hooks().stopProgramInfoRefresh = [&stops] { ++stops; };
    qd.ReleaseNode();
    EXPECT_EQ(stops, 1);
}
