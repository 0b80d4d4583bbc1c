#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/Folders.h"
#include "platform/ThreadLog.h"
#include "tests/engine/GroupTestSupport.h"

using namespace foundation;
using namespace engine;
using namespace grouptest;

namespace {

constexpr unsigned kChanged = platform::WM_USER + 50;

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The cyclic thread in simulated time: the test moves the clock and waits for the thread to make
// two passes, so that one whole pass has seen the new time.
class CyclicTest : public GroupEngineTest {
  protected:
    void SetUp() override {
        GroupEngineTest::SetUp();
        if (HasFatalFailure()) return;
        engine.SetBackgroundClock(clock);
        Connect(1);
    }

    void Step(int64_t ms) {
        clock.Advance(ms);
        const uint64_t passes = engine.CyclicPassCount();
        ASSERT_TRUE(
            WaitFor([&] { return engine.CyclicPassCount() >= passes + 2 || !engine.CyclicThreadRunning(); }));
    }

    // How many change messages each holder got since the last call.
    std::map<std::uintptr_t, int> Changes() {
        std::map<std::uintptr_t, int> counts;
        for (const platform::Message& m : Delivered(kChanged)) ++counts[m.wParam];
        sink.Clear();
        return counts;
    }

    static std::uintptr_t Ref(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

    VocabularyItem Item(uint8_t nodeId, const char* name) {
        const VocabularyItem* item = engine.FindItem(Node(nodeId), name, 1);
        EXPECT_NE(item, nullptr) << name;
        return item ? *item : VocabularyItem();
    }

    CCyclicItemRequest Request(uint32_t selected, uint32_t notSelected, CCellHolder* holder,
                               uint16_t remaining = 0) {
        CCyclicItemRequest r;
        r.rateSelected = selected;
        r.rateNotSelected = notSelected;
        r.remaining = remaining;
        r.notifyMessage = kChanged;
        r.notifyWindow = sink.Handle();
        r.notifyRef = holder;
        r.notifyIsHolder = true;
        return r;
    }
};

TEST_F(CyclicTest, NotifiesOnChangeOnlyAfterTheFirstPass) {
    std::mutex logMutex;
    std::vector<std::string> threadLines;
    platform::SetThreadLogSink([&](const std::string& line) {
        std::lock_guard lock(logMutex);
        threadLines.push_back(line);
    });
    Drive(1).SetRegister(kA10, 0xFFFF);
    Drive(1).SetRegister(kA11, 2);
    Drive(1).SetRegister(kG12, 3);
    const int group = engine.GroupCreate(0, 0, sink.Handle(), kChanged);
    CCellHolder h10, h11, h12;
    ASSERT_EQ(engine.GroupAddReadCell(group, "A10", &h10), 0);
    ASSERT_EQ(engine.GroupAddReadCell(group, "G12", &h12), 1);
    ASSERT_EQ(engine.GroupAddReadCell(group, "A11", &h11), 2);
    ASSERT_EQ(engine.GroupExecute(group, 1, 100), 0);
    EXPECT_TRUE(engine.CyclicThreadRunning());
    EXPECT_EQ(engine.CyclicThreadState(), 1);
    EXPECT_EQ(engine.CyclicItemCount(), 3u);

    // Nothing is due before the first period has passed.
    uint64_t requests = sim.RequestCount();
    Step(50);
    EXPECT_TRUE(Changes().empty());
    EXPECT_EQ(sim.RequestCount(), requests);

    // The first pass reports every item, whatever the caller's memory held; one transaction of
    // three registers (the thread stays below the halved compact value of 8).
    Step(50);
    auto changes = Changes();
    EXPECT_EQ(changes, (std::map<std::uintptr_t, int>{{Ref(&h10), 1}, {Ref(&h11), 1}, {Ref(&h12), 1}}));
    EXPECT_EQ(sim.RequestCount() - requests, 1u);

    requests = sim.RequestCount();
    Step(100);
    EXPECT_TRUE(Changes().empty());
    EXPECT_EQ(sim.RequestCount() - requests, 1u);

    Drive(1).SetRegister(kA11, 22);
    Step(100);
    EXPECT_EQ(Changes(), (std::map<std::uintptr_t, int>{{Ref(&h11), 1}}));

    // A failed read marks every holder of the run and reports nothing.
    drivesim::Fault drop;
    drop.kind = drivesim::Fault::DropReply;
    drop.count = 2;
    sim.InjectFault(drop);
    Step(100);
    EXPECT_TRUE(Changes().empty());
    ASSERT_EQ(engine.PauseCyclicThread(), 0);
    EXPECT_EQ(engine.CyclicThreadState(), 2);
    EXPECT_EQ(h10.status, CCellHolder::kReadError);
    EXPECT_EQ(h11.status, CCellHolder::kReadError);
    EXPECT_EQ(h10.value, 0xFFFFFFFFu);  // signed 2-byte item, sign-extended
    EXPECT_EQ(h11.value, 22u);
    EXPECT_EQ(h12.value, 3u);
    ASSERT_EQ(engine.ResumeCyclicThread(), 0);
    Step(100);
    ASSERT_EQ(engine.PauseCyclicThread(), 0);
    EXPECT_EQ(h10.status, CCellHolder::kValid);
    ASSERT_EQ(engine.ResumeCyclicThread(), 0);

    EXPECT_EQ(engine.StopCyclicThread(), 0);
    EXPECT_FALSE(engine.CyclicThreadRunning());
    EXPECT_EQ(engine.CyclicItemCount(), 0u);
    platform::SetThreadLogSink(nullptr);
    std::lock_guard lock(logMutex);
    ASSERT_EQ(threadLines.size(), 2u);
    EXPECT_EQ(threadLines[0].rfind("Main::CyclicThread started 0x", 0), 0u) << threadLines[0];
    EXPECT_EQ(threadLines[1].rfind("Main::CyclicThread stopped 0x", 0), 0u) << threadLines[1];
}

TEST_F(CyclicTest, RatesPerItemSelectedAndNotSelected) {
    Connect(2);
    Select(1);
    CCellHolder x, y, z;
    // x of the current node; y and z of the other node.
    ASSERT_EQ(engine.AddCyclicItem(Item(1, "A10"), &x.value, Request(100, 0, &x), 1, channel, false), 0);
    ASSERT_EQ(engine.AddCyclicItem(Item(2, "A11"), &y.value, Request(100, 300, &y), 2, channel, false), 0);
    ASSERT_EQ(engine.AddCyclicItem(Item(2, "A13"), &z.value, Request(50, 0, &z), 2, channel, false), 0);
    ASSERT_EQ(engine.StartCyclicThread(), 0);

    std::map<std::uintptr_t, int> total;
    auto steps = [&](int n, uint16_t& counter) {
        for (int i = 0; i < n; ++i) {
            // Every read sees a new value, so every read is reported.
            ++counter;
            Drive(1).SetRegister(kA10, counter);
            Drive(2).SetRegister(kA11, counter);
            Drive(2).SetRegister(kA13, counter);
            Step(100);
            for (auto [ref, n] : Changes()) total[ref] += n;
        }
    };
    uint16_t counter = 0;
    steps(6, counter);
    EXPECT_EQ(total[Ref(&x)], 6);
    EXPECT_EQ(total[Ref(&y)], 2);
    EXPECT_EQ(total[Ref(&z)], 0);  // rate 0 while its node is not the current one

    total.clear();
    ASSERT_EQ(engine.PauseCyclicThread(), 0);
    Select(2);
    ASSERT_EQ(engine.ResumeCyclicThread(), 0);
    // z was due since it was added: its first read comes at once.
    Step(0);
    EXPECT_EQ(Changes(), (std::map<std::uintptr_t, int>{{Ref(&z), 1}}));
    steps(4, counter);
    EXPECT_EQ(total[Ref(&x)], 0);
    EXPECT_EQ(total[Ref(&y)], 2);
    EXPECT_EQ(total[Ref(&z)], 4);
}

TEST_F(CyclicTest, RegistrationsMergeAndLimitedEntriesAreReleased) {
    CCellHolder keep, limited;
    const VocabularyItem a10 = Item(1, "A10");
    ASSERT_EQ(engine.AddCyclicItem(a10, &keep.value, Request(100000, 0, &keep), 1, channel, false), 0);
    // The same item, value and reference again: one entry, the lower rate wins.
    ASSERT_EQ(engine.AddCyclicItem(a10, &keep.value, Request(50000, 0, &keep), 1, channel, false), 0);
    EXPECT_EQ(engine.CyclicItemCount(), 1u);
    // Another node's item, three executions.
    Connect(2);
    Select(1);
    ASSERT_EQ(engine.AddCyclicItem(Item(2, "A11"), &limited.value, Request(100, 100, &limited, 3), 2, channel,
                                   false),
              0);
    EXPECT_EQ(engine.CyclicItemCount(), 2u);
    ASSERT_EQ(engine.StartCyclicThread(), 0);
    int reads = 0;
    for (uint16_t i = 1; i <= 6; ++i) {
        Drive(2).SetRegister(kA11, i);
        Step(100);
        reads += Changes()[Ref(&limited)];
    }
    EXPECT_EQ(reads, 3);
    EXPECT_EQ(engine.CyclicItemCount(), 1u);

    // Refusals.
    EXPECT_EQ(engine.AddCyclicItem(a10, &keep.value, Request(0, 0, &keep), 1, channel, false), -36);
    EXPECT_EQ(engine.ErrorText(), "RateWhenSelected e RateWhenNoSelected sono entrambi 0");
    EXPECT_EQ(engine.AddCyclicItem(Item(1, "G12"), &keep.value, Request(10, 0, &keep), 1, channel, true),
              -309);
    CCyclicItemRequest noWindow = Request(10, 0, &keep);
    noWindow.notifyWindow = 0;
    EXPECT_EQ(engine.AddCyclicItem(a10, &keep.value, noWindow, 1, channel, false), -36);
    EXPECT_EQ(engine.ErrorText(), "hWndNotify non \xC3\xA8 una finestra esistente");
}

TEST_F(CyclicTest, LateBlocksRunOnceAndSkipMissedPeriods) {
    CCellHolder h;
    ASSERT_EQ(engine.AddCyclicItem(Item(1, "U51"), &h.value, Request(100, 0, &h), 1, channel, false), 0);
    ASSERT_EQ(engine.StartCyclicThread(), 0);
    uint64_t requests = sim.RequestCount();
    Step(1000);
    EXPECT_EQ(sim.RequestCount() - requests, 1u);
    requests = sim.RequestCount();
    Step(50);
    EXPECT_EQ(sim.RequestCount(), requests);
    Step(50);
    EXPECT_EQ(sim.RequestCount() - requests, 1u);
}

TEST_F(CyclicTest, SelectingANodeWhileTheThreadRuns) {
    Connect(2);
    Select(1);
    CCellHolder x, z;
    ASSERT_EQ(engine.AddCyclicItem(Item(1, "A10"), &x.value, Request(100, 0, &x), 1, channel, false), 0);
    ASSERT_EQ(engine.AddCyclicItem(Item(2, "A13"), &z.value, Request(50, 0, &z), 2, channel, false), 0);
    ASSERT_EQ(engine.StartCyclicThread(), 0);
    // The thread asks which node is the current one on every pass; the selection changes under it.
    for (int i = 0; i < 10; ++i) {
        Select(i % 2 == 0 ? 2 : 1);
        Step(100);
    }
    Select(2);
    Step(100);
    Changes();
    Drive(2).SetRegister(kA13, 77);
    Step(100);
    // Only the current node's item is read (the other one has no rate while it is not selected).
    EXPECT_EQ(Changes(), (std::map<std::uintptr_t, int>{{Ref(&z), 1}}));
}

// A block of one entry takes its rate from the entry's own node, whatever node the table's first
// entry (the node whose registers are packed into runs) belongs to.
TEST_F(CyclicTest, SingleEntryBlocksTakeTheRateOfTheirOwnNode) {
    struct Row {
        const char* what;
        uint8_t firstNode;  // node of the table's first entry
        uint8_t itemNode;   // node of the single entry that is counted
        uint32_t selected, notSelected;
        int reads;  // in 600 ms, node 1 current
    };
    const Row rows[] = {
        {"another node's item at its rate when not selected", 1, 2, 100, 300, 2},
        {"another node's item without a rate when not selected", 1, 2, 100, 0, 0},
        {"the current node's item behind another node's first entry", 2, 1, 100, 0, 6},
        {"the current node's item at its rate when selected", 2, 1, 200, 0, 3},
    };
    Connect(2);
    Select(1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CCellHolder first, counted;
        ASSERT_EQ(engine.AddCyclicItem(Item(row.firstNode, "A10"), &first.value, Request(100, 300, &first),
                                       row.firstNode, channel, false),
                  0);
        ASSERT_EQ(engine.AddCyclicItem(Item(row.itemNode, "U51"), &counted.value,
                                       Request(row.selected, row.notSelected, &counted), row.itemNode,
                                       channel, false),
                  0);
        ASSERT_EQ(engine.StartCyclicThread(), 0);
        Changes();
        int reads = 0;
        for (uint16_t i = 1; i <= 6; ++i) {
            // Every read sees a new value, so every read is reported.
            Drive(row.itemNode).SetRegister(kU51, i);
            Step(100);
            reads += Changes()[Ref(&counted)];
        }
        EXPECT_EQ(reads, row.reads);
        ASSERT_EQ(engine.StopCyclicThread(), 0);
    }
}

// A pause inside another pause (a buffer upload inside a whole capture, a table change inside a
// drive operation) leaves the thread standing when it ends; only the outermost resume or start
// sets it going again.
TEST_F(CyclicTest, PausesNest) {
    CCellHolder h;
    ASSERT_EQ(engine.AddCyclicItem(Item(1, "U51"), &h.value, Request(100, 0, &h), 1, channel, false), 0);
    ASSERT_EQ(engine.StartCyclicThread(), 0);
    Step(100);
    struct Row {
        const char* what;
        bool outerByStart;  // the outer holder ends its pause with a start, as the drive object does
    };
    for (const Row row : {Row{"resume", false}, Row{"start", true}}) {
        SCOPED_TRACE(row.what);
        ASSERT_EQ(engine.PauseCyclicThread(), 0);
        ASSERT_EQ(engine.PauseCyclicThread(), 0);
        ASSERT_EQ(engine.ResumeCyclicThread(), 0);
        // A table change inside the pause ends its own share with a start.
        ASSERT_EQ(engine.PauseCyclicThread(), 0);
        ASSERT_EQ(engine.StartCyclicThread(), 0);
        EXPECT_EQ(engine.CyclicThreadState(), 2);
        const uint64_t requests = sim.RequestCount();
        Step(500);
        EXPECT_EQ(sim.RequestCount(), requests);
        EXPECT_EQ(engine.CyclicThreadState(), 2);
        ASSERT_EQ(row.outerByStart ? engine.StartCyclicThread() : engine.ResumeCyclicThread(), 0);
        EXPECT_EQ(engine.CyclicThreadState(), 1);
        Step(100);
        EXPECT_GT(sim.RequestCount(), requests);
    }
}

TEST_F(CyclicTest, EmptyTableStartsNoThread) {
    EXPECT_EQ(engine.StartCyclicThread(), 0);
    EXPECT_FALSE(engine.CyclicThreadRunning());
    EXPECT_EQ(engine.PauseCyclicThread(), 0);
    EXPECT_EQ(engine.ResumeCyclicThread(), 0);
    EXPECT_EQ(engine.StopCyclicThread(), 0);
}

TEST_F(CyclicTest, StopThatDoesNotEndInTimeKeepsTheTable) {
    CCellHolder h;
    ASSERT_EQ(engine.AddCyclicItem(Item(1, "U51"), &h.value, Request(100, 0, &h), 1, channel, false), 0);
    ASSERT_EQ(engine.StartCyclicThread(), 0);
    CNodo& node = Node(1);
    ASSERT_TRUE(node.Lock());
    node.lockTimeoutMs = 60000;
    // The next read waits for the node the test holds.
    clock.Advance(100);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(engine.StopCyclicThread(), -38);
    EXPECT_EQ(engine.ErrorText(), "Error terminating cyclic thread");
    EXPECT_EQ(engine.CyclicItemCount(), 1u);
    node.Unlock();
    EXPECT_EQ(engine.StopCyclicThread(), 0);
    EXPECT_EQ(engine.CyclicItemCount(), 0u);
}

TEST_F(CyclicTest, WritesGoOutAtTheirRate) {
    uint32_t value = 4321;
    CCyclicItemRequest request = Request(100, 0, nullptr);
    request.notifyMessage = 0;
    ASSERT_EQ(engine.AddCyclicItem(Item(1, "U51"), &value, request, 1, channel, true), 0);
    ASSERT_EQ(engine.StartCyclicThread(), 0);
    Step(100);
    EXPECT_EQ(Reg(1, kU51), 4321);
}

TEST_F(CyclicTest, ReportFileAndExecutionLog) {
    const int group = engine.GroupCreate(0, 0, sink.Handle(), kChanged);
    CCellHolder a, b;
    ASSERT_EQ(engine.GroupAddReadCell(group, "A10", &a), 0);
    ASSERT_EQ(engine.GroupAddReadCell(group, "A10", &b), 1);  // the same cell twice
    ASSERT_EQ(engine.GroupExecute(group, 1, 100), 0);
    engine.LogCyclicGroups(2);
    // The thread takes the request at the top of a pass: a pass already under way when the clock
    // moves would read the block unlogged.
    Step(0);
    Step(100);
    Step(100);
    const std::string reads = ReadText(platform::TempFolder() / "CyclicReads.log");
    EXPECT_NE(reads.find(" : leggo gruppo 0 : "), std::string::npos) << reads;
    EXPECT_NE(reads.find("ReadItemsModbus=0x"), std::string::npos) << reads;

    engine.LogCyclicGroups(0);
    const std::string report = ReadText(platform::TempFolder() / "TunovaCyclicC1.log");
    EXPECT_NE(report.find("9_1.xml\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("name (modbus,size,signed): pValue, sizeValue, action\r\n"), std::string::npos);
    EXPECT_NE(report.find("\r\nGroup 0, cyclic = 100 ms\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find(" #### cell duplicated"), std::string::npos) << report;
    EXPECT_NE(report.find("\r\nCyclicThread\tname modbus, size, pValue (signed,write,count,reset)\r\n"),
              std::string::npos);
    EXPECT_NE(report.find(" bytes, 100 ms, read\r\n"), std::string::npos) << report;
    ASSERT_GE(prompts.Prompts().AskedCount(), 1u);
    EXPECT_EQ(prompts.Prompts().Asked().back().text, "Cyclic groups contain duplicated items");
    EXPECT_EQ(prompts.Prompts().Asked().back().caption, "Debug");
    // The listing paused the thread and let it run on afterwards.
    EXPECT_EQ(engine.CyclicThreadState(), 1);
}

class BoxCyclicTest : public CyclicTest {
  protected:
    BoxCyclicTest() { box = true; }
};

TEST_F(BoxCyclicTest, PacksRunsAndNotifiesChangesBehindTheBox) {
    Drive(1).SetRegister(kA10, 10);
    Drive(1).SetRegister(kA11, 11);
    const int group = engine.GroupCreate(0, 0, sink.Handle(), kChanged);
    CCellHolder h10, h11;
    ASSERT_EQ(engine.GroupAddReadCell(group, "A10", &h10), 0);
    ASSERT_EQ(engine.GroupAddReadCell(group, "A11", &h11), 1);
    ASSERT_EQ(engine.GroupExecute(group, 1, 100), 0);
    uint64_t requests = sim.RequestCount();
    Step(100);
    EXPECT_EQ(Changes(), (std::map<std::uintptr_t, int>{{Ref(&h10), 1}, {Ref(&h11), 1}}));
    EXPECT_EQ(sim.RequestCount() - requests, 1u);
    Drive(1).SetRegister(kA10, 100);
    Step(100);
    EXPECT_EQ(Changes(), (std::map<std::uintptr_t, int>{{Ref(&h10), 1}}));
    ASSERT_EQ(engine.StopCyclicThread(), 0);
    EXPECT_EQ(h10.value, 100u);
    EXPECT_EQ(h11.value, 11u);
}

// Real time here: callers on several threads change the table while the thread runs.
class CyclicHandshakeTest : public GroupEngineTest {
  protected:
    void SetUp() override {
        GroupEngineTest::SetUp();
        if (HasFatalFailure()) return;
        Connect(1);
    }
};

TEST_F(CyclicHandshakeTest, PauseAndResumeWhileOtherThreadsAddAndRemoveItems) {
    constexpr int kWorkers = 3;
    constexpr int kRounds = 15;
    std::vector<CCellHolder> holders(kWorkers);
    std::atomic<bool> failed{false};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            const char* names[] = {"A10", "A11", "A13"};
            for (int round = 0; round < kRounds; ++round) {
                const int group = engine.GroupCreate(0, 0, sink.Handle(), kChanged);
                if (group < 0 || engine.GroupAddReadCell(group, names[w], &holders[w]) < 0 ||
                    engine.GroupExecute(group, 1, 10) != 0) {
                    failed = true;
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                if (engine.GroupRemove(group) != 0) failed = true;
            }
        });
    }
    // A fourth caller fills the table past its first 50 entries while the thread runs.
    std::vector<uint32_t> words(120);
    std::thread grower([&] {
        const VocabularyItem* item = engine.FindItem(Node(1), "U51", 1);
        if (!item) {
            failed = true;
            return;
        }
        CCyclicItemRequest request;
        request.rateSelected = 1000;
        for (uint32_t& word : words)
            if (engine.AddCyclicItem(*item, &word, request, 1, channel, false) != 0) failed = true;
    });
    for (int i = 0; i < 20; ++i) {
        // 0: the thread was seen standing still (or there was none); the workers may start it
        // again as soon as this returns.
        EXPECT_EQ(engine.PauseCyclicThread(), 0);
        EXPECT_EQ(engine.ResumeCyclicThread(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    for (auto& t : workers) t.join();
    grower.join();
    EXPECT_FALSE(failed.load());
    // Removing a group re-registers the remaining cyclic groups only: the grower's items went with it.
    EXPECT_EQ(engine.StopCyclicThread(), 0);
    EXPECT_FALSE(engine.CyclicThreadRunning());
    EXPECT_EQ(engine.CyclicItemCount(), 0u);
    platform::PumpMessages();
}

TEST_F(CyclicHandshakeTest, TableGrowsWhileTheThreadRuns) {
    std::vector<uint32_t> words(120);
    const VocabularyItem item = *engine.FindItem(Node(1), "U51", 1);
    CCyclicItemRequest request;
    request.rateSelected = 20;
    ASSERT_EQ(engine.AddCyclicItem(item, &words[0], request, 1, channel, false), 0);
    ASSERT_EQ(engine.StartCyclicThread(), 0);
    for (size_t i = 1; i < words.size(); ++i)
        ASSERT_EQ(engine.AddCyclicItem(item, &words[i], request, 1, channel, false), 0) << i;
    EXPECT_EQ(engine.CyclicItemCount(), words.size());
    EXPECT_TRUE(engine.CyclicThreadRunning());
    EXPECT_EQ(engine.CyclicThreadState(), 1);
    EXPECT_EQ(engine.StopCyclicThread(), 0);
}

// A node is added while the thread walks the table, and a node that finds no description is freed
// again while a cyclic item of the thread already names it: the thread must never hold it then.
TEST_F(CyclicHandshakeTest, NodesComeAndGoWhileTheThreadRuns) {
    SetupGroupDrive(sim.AddDrive(4), 77);  // no description for software code 77
    CCellHolder h10;
    const int group = engine.GroupCreate(0, 0, sink.Handle(), kChanged);
    ASSERT_GE(group, 0);
    ASSERT_GE(engine.GroupAddReadCell(group, "A10", &h10), 0);
    ASSERT_EQ(engine.GroupExecute(group, 1, 10), 0);
    // An item of node 4 waits in the table for the node to appear.
    uint32_t word = 0;
    CCyclicItemRequest request;
    request.rateSelected = 10;
    request.rateNotSelected = 10;
    ASSERT_EQ(engine.AddCyclicItem(*engine.FindItem(Node(1), "A11", 1), &word, request, 4, channel, false),
              0);
    ASSERT_TRUE(WaitFor([&] { return engine.CyclicPassCount() > 2; }));
    for (int round = 0; round < 5; ++round) {
        CCompatChecker checker;
        BSTR text = nullptr;
        uint32_t address = 0;
        EXPECT_EQ(engine.NodeConnect(checker, &text, &address, 4, channel), -305);  // no vocabulary
        SysFreeString(text);
        EXPECT_LT(engine.FindNode(4, channel), 0);
        text = nullptr;
        EXPECT_EQ(engine.NodeConnect(checker, &text, &address, 2, channel), 0) << engine.ErrorText();
        SysFreeString(text);
        // The thread was resumed after each connection.
        EXPECT_TRUE(engine.CyclicThreadRunning());
        EXPECT_EQ(engine.CyclicThreadState(), 1);
    }
    const uint64_t passes = engine.CyclicPassCount();
    ASSERT_TRUE(WaitFor([&] { return engine.CyclicPassCount() > passes + 2; }));
    EXPECT_EQ(engine.GroupRemove(group), 0);
    EXPECT_EQ(engine.StopCyclicThread(), 0);
    platform::PumpMessages();
}

}  // namespace
