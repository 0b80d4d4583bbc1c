#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "engine/GroupChannel.h"
#include "engine/RegisterRuns.h"
#include "engine/Vocabolario.h"
#include "foundation/XmlDocument.h"
#include "tests/engine/GroupTestSupport.h"

using namespace foundation;
using namespace engine;
using namespace grouptest;

namespace {

// ---- packing of register runs -----------------------------------------------------------------

class RegisterRunsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CXmlDocument doc;
        ASSERT_EQ(doc.Load(fs::path(TUNOVA_FIXTURES) / "engine" / "groups" / "9_1.xml"), S_OK);
        ASSERT_GT(vocabulary.LoadDocument(doc), 0u);
        CXmlDocument longDoc;
        ASSERT_EQ(longDoc.Load(fs::path(TUNOVA_FIXTURES) / "engine" / "groups" / "10_1.xml"), S_OK);
        ASSERT_GT(longRuns.LoadDocument(longDoc), 0u);
    }

    enginetest::DescriptionTree tree;
    CVocabolario vocabulary{"Varno", 0, "9_1.xml", CVocabolario::kBrandCode, false};
    CVocabolario longRuns{"Varno", 0, "10_1.xml", CVocabolario::kBrandCode, false};
};

struct RunCase {
    const char* what;
    std::vector<RunCandidate> candidates;
    unsigned maxRegisters;
    bool write;
    bool longVocabulary;
    std::vector<std::pair<uint16_t, uint16_t>> runs;  // address, registers
};

TEST_F(RegisterRunsTest, TableOfCases) {
    const RunCase cases[] = {
        {"neighbours join", {{kA10, 2}, {kA11, 2}}, 4, false, false, {{kA10, 2}}},
        {"gap covered by a readable item", {{kA10, 2}, {kA11, 2}, {kA13, 2}}, 4, false, false, {{kA10, 4}}},
        {"the once limit may be reached", {{kA10, 2}, {kA13, 2}}, 4, false, false, {{kA10, 4}}},
        {"three registers below a limit of four",
         {{kA10, 2}, {kA11, 2}, {kG12, 2}},
         3,
         false,
         false,
         {{kA10, 3}}},
        {"the cyclic limit stays below",
         {{kA10, 2}, {kA11, 2}, {kA13, 2}},
         3,
         false,
         false,
         {{kA10, 2}, {kA13, 1}}},
        {"gap without an item splits",
         {{kB20, 2}, {kB21, 2}, {kB23, 2}},
         4,
         false,
         false,
         {{kB20, 2}, {kB23, 1}}},
        {"equal addresses share the run", {{kA10, 2}, {kA10, 2}}, 4, false, false, {{kA10, 1}}},
        {"a member ending inside keeps the end", {{kW32, 4}, {kW32, 2}}, 4, false, false, {{kW32, 2}}},
        {"writes join only at the run's end", {{kW30, 2}, {kW31, 1}, {kW32, 4}}, 4, true, false, {{kW30, 4}}},
        {"writes never bridge a gap", {{kW32, 4}, {kW35, 2}}, 4, true, false, {{kW32, 2}, {kW35, 1}}},
        {"writes need a writable item", {{kW32, 4}, {kR34, 2}}, 8, true, false, {{kW32, 2}, {kR34, 1}}},
        {"read run capped at 125 registers", {{3000, 2}, {3124, 2}}, 125, false, true, {{3000, 125}}},
        {"one more splits", {{3000, 2}, {3125, 2}}, 125, false, true, {{3000, 1}, {3125, 1}}},
        {"write run capped at 123", {{3000, 2}, {3001, 2}}, 1, true, true, {{3000, 1}, {3001, 1}}},
    };
    for (const RunCase& c : cases) {
        const auto runs = FormRegisterRuns(c.candidates, c.maxRegisters, c.write,
                                           c.longVocabulary ? &longRuns : &vocabulary);
        std::vector<std::pair<uint16_t, uint16_t>> got;
        for (const RunSpan& r : runs) got.emplace_back(r.address, r.registers);
        EXPECT_EQ(got, c.runs) << c.what;
    }
}

TEST(RegisterValues, LittleEndianAndExtension) {
    uint8_t bytes[4] = {};
    StoreLittleEndian(bytes, 4, 0x11223344u);
    EXPECT_EQ(bytes[0], 0x44);
    EXPECT_EQ(bytes[3], 0x11);
    EXPECT_EQ(LoadLittleEndian(bytes, 2), 0x3344u);
    EXPECT_EQ(ExtendValue(0xFF80, 1, true), 0xFFFFFF80u);
    EXPECT_EQ(ExtendValue(0xFF80, 1, false), 0x80u);
    EXPECT_EQ(ExtendValue(0x18000, 2, true), 0xFFFF8000u);
    EXPECT_EQ(SwapHalves(0x11112222u), 0x22221111u);
}

TEST(RandomFirstRunOffset, UniformBelowTheCycle) {
    EXPECT_EQ(RandomFirstRunOffset(0), 0u);
    EXPECT_EQ(RandomFirstRunOffset(1), 0u);
    std::set<uint32_t> seen;
    for (int i = 0; i < 2000; ++i) {
        const uint32_t offset = RandomFirstRunOffset(4);
        ASSERT_LT(offset, 4u);
        seen.insert(offset);
    }
    EXPECT_EQ(seen.size(), 4u);
    for (int i = 0; i < 1000; ++i) ASSERT_LT(RandomFirstRunOffset(40000), 40000u);
}

TEST(GroupRecords, FiftyVariablesAndSlotReuse) {
    CGroup group(0, 0);
    VocabularyItem item;
    item.name = "X";
    uint32_t value = 0;
    for (int i = 0; i < CGroup::kMaxVariables; ++i)
        ASSERT_EQ(group.AddVariable(item, 0, &value, 4, nullptr, false, nullptr), i);
    EXPECT_EQ(group.AddVariable(item, 0, &value, 4, nullptr, false, nullptr), -1);
    EXPECT_TRUE(group.RemoveVariable(17));
    EXPECT_FALSE(group.RemoveVariable(17));
    EXPECT_EQ(group.AddVariable(item, 0, &value, 4, nullptr, false, nullptr), 17);
    EXPECT_EQ(group.Count(), CGroup::kMaxVariables);
}

// ---- the library group callback ----------------------------------------------------------------

TEST(GroupCallback, ReportsFirstAndChangedHoldersWithTheirFullAddress) {
    platform::RecordingSink sink;
    CGroupBridge record(sink.Handle(), platform::WM_USER + 7);
    CCellHolder a, b, quiet;
    quiet.reportWord = 0;
    for (CCellHolder* h : {&a, &b, &quiet}) {
        auto v = std::make_unique<CVariableBridge>(4);
        v->holder = h;
        record.variables.push_back(std::move(v));
    }
    auto plain = std::make_unique<CVariableBridge>(4);  // no holder: skipped
    record.variables.push_back(std::move(plain));
    record.variables[1]->resultWord = 5;

    CMain::GroupCallback(0, 0, &record);
    platform::PumpMessages();
    auto messages = sink.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].wParam, reinterpret_cast<std::uintptr_t>(&a));
    EXPECT_EQ(messages[1].wParam, reinterpret_cast<std::uintptr_t>(&b));
    EXPECT_EQ(messages[0].msg, platform::WM_USER + 7);
    EXPECT_EQ(a.status, CCellHolder::kValid);
    EXPECT_EQ(b.status, CCellHolder::kReadError);
    EXPECT_EQ(quiet.status, CCellHolder::kValid);

    // Unchanged values are not reported again; a changed one is.
    sink.Clear();
    CMain::GroupCallback(0, 0, &record);
    b.value = 99;
    CMain::GroupCallback(0, 0, &record);
    platform::PumpMessages();
    messages = sink.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].wParam, reinterpret_cast<std::uintptr_t>(&b));
}

// ---- own groups on the serial channel ------------------------------------------------------------

class SerialGroupTest : public GroupEngineTest {
  protected:
    void SetUp() override {
        GroupEngineTest::SetUp();
        if (HasFatalFailure()) return;
        Connect(1);
    }
};

TEST_F(SerialGroupTest, VariableAddCreatesTheGroupOnceAndChecksAccess) {
    int group = -1;
    uint16_t value = 0;
    int32_t result = 1;
    EXPECT_EQ(engine.VariableAdd(0, 0, &group, "A10", 0, &value, 2, &result, nullptr), 0);
    EXPECT_GE(group, 0);
    const int first = group;
    EXPECT_EQ(engine.VariableAdd(0, 0, &group, "A11", 0, &value, 2, &result, nullptr), 1);
    EXPECT_EQ(group, first);
    EXPECT_TRUE(engine.GroupExists(group));

    EXPECT_EQ(engine.VariableAdd(0, 0, &group, "Nope", 0, &value, 2, &result, nullptr), -303);
    EXPECT_EQ(result, -303);
    EXPECT_EQ(engine.ErrorText(), "cell item not found");
    EXPECT_EQ(engine.VariableAdd(0, 0, &group, "G12", 1, &value, 2, &result, nullptr), -309);
    EXPECT_EQ(engine.ErrorText(), "Item not writable");
    EXPECT_EQ(engine.VariableAdd(0, 0, &group, "ModbusError", 1, &value, 2, nullptr, nullptr), -309);
}

TEST_F(SerialGroupTest, CellRegistrationSizesAndUnknownGroups) {
    const int group = engine.GroupCreate(0, 0, 0, 0);
    ASSERT_GE(group, 0);
    CCellHolder holder;
    EXPECT_EQ(engine.GroupAddCellValue(group, "A10", 0, &holder, 0, 6), -302);
    EXPECT_EQ(engine.ErrorText(), "implemented only via Vesk bridge");
    uint32_t word = 0;
    EXPECT_EQ(engine.GroupAddCell(group, "A10", 0, &word, 8), -302);
    EXPECT_EQ(engine.GroupAddReadCell(group, "A10", &holder), 0);
    EXPECT_EQ(engine.GroupAddCellValue(group, "A11", 0, &holder, 0, 2), 1);
    EXPECT_EQ(engine.GroupAddCell(group, "Nope", 0, &word, 4), -303);
    EXPECT_EQ(engine.GroupAddReadCell(group + 5, "A10", &holder), -303);
    EXPECT_EQ(engine.ErrorText(), "unknown group");

    EXPECT_EQ(engine.GroupRemove(group + 5), -303);
    EXPECT_EQ(engine.GroupStop(group + 5), -303);
    EXPECT_EQ(engine.VariableRemove(group + 5, 0), -303);
    EXPECT_EQ(engine.VariableRemove(group, 40), 0);
    EXPECT_EQ(engine.GroupExecuteOnce(0, 0, group + 5), 0);
    EXPECT_EQ(engine.GroupRemove(group), 0);
    EXPECT_FALSE(engine.GroupExists(group));
}

TEST_F(SerialGroupTest, ReadRunsPackNeighboursAndBridgeDescribedGaps) {
    Drive(1).SetRegister(kA10, 0xFFFE);
    Drive(1).SetRegister(kA11, 1234);
    Drive(1).SetRegister(kA13, 77);
    int group = -1;
    uint32_t a10 = 0, a11 = 0;
    uint16_t a13 = 0;
    int32_t r10 = 9, r11 = 9, r13 = 9;
    uint32_t x10 = 0;
    ASSERT_GE(engine.VariableAdd(0, 0, &group, "A10", 0, &a10, 4, &r10, &x10), 0);
    ASSERT_GE(engine.VariableAdd(0, 0, &group, "A13", 0, &a13, 2, &r13, nullptr), 0);
    ASSERT_GE(engine.VariableAdd(0, 0, &group, "A11", 0, &a11, 4, &r11, nullptr), 0);
    const uint64_t before = sim.RequestCount();
    EXPECT_EQ(engine.GroupExecuteOnce(0, 0, group), 0);
    // 310, 311 and 313, with the readable item at 312 between: one transaction of 4 registers.
    EXPECT_EQ(sim.RequestCount() - before, 1u);
    EXPECT_EQ(a10, 0xFFFFFFFEu);  // a signed 2-byte item in a 4-byte variable
    EXPECT_EQ(a11, 1234u);
    EXPECT_EQ(a13, 77u);
    EXPECT_EQ(r10, 0);
    EXPECT_EQ(r11, 0);
    EXPECT_EQ(r13, 0);
    EXPECT_EQ(x10, 2u);  // the item's size

    // Without an item at 322 the run stops before the gap.
    int other = -1;
    uint16_t b20 = 0, b21 = 0, b23 = 0;
    Drive(1).SetRegister(kB23, 23);
    ASSERT_GE(engine.VariableAdd(0, 0, &other, "B20", 0, &b20, 2, nullptr, nullptr), 0);
    ASSERT_GE(engine.VariableAdd(0, 0, &other, "B21", 0, &b21, 2, nullptr, nullptr), 0);
    ASSERT_GE(engine.VariableAdd(0, 0, &other, "B23", 0, &b23, 2, nullptr, nullptr), 0);
    const uint64_t second = sim.RequestCount();
    EXPECT_EQ(engine.GroupExecuteOnce(0, 0, other), 0);
    EXPECT_EQ(sim.RequestCount() - second, 2u);
    EXPECT_EQ(b23, 23u);
}

TEST_F(SerialGroupTest, ReadRunsAreCappedAt125Registers) {
    Connect(3);
    Drive(3).SetRegister(3124, 124);
    Drive(3).SetRegister(3125, 125);
    for (const auto& [last, transactions] : {std::pair<const char*, uint64_t>{"C3124", 1}, {"C3125", 2}}) {
        int group = -1;
        uint16_t first = 0, end = 0;
        ASSERT_GE(engine.VariableAdd(0, 0, &group, "C3000", 0, &first, 2, nullptr, nullptr), 0);
        ASSERT_GE(engine.VariableAdd(0, 0, &group, last, 0, &end, 2, nullptr, nullptr), 0);
        const uint64_t before = sim.RequestCount();
        EXPECT_EQ(engine.GroupExecuteOnce(0, 0, group), 0);
        EXPECT_EQ(sim.RequestCount() - before, transactions) << last;
        EXPECT_EQ(end, std::string(last) == "C3124" ? 124u : 125u);
        EXPECT_EQ(engine.GroupRemove(group), 0);
    }
}

TEST_F(SerialGroupTest, WordOrderExchangesHalvesInRuns) {
    Drive(1).SetRegister(kL44, 0x1111);
    Drive(1).SetRegister(kL44 + 1, 0x2222);
    int group = -1;
    uint32_t plain = 0;
    ASSERT_GE(engine.VariableAdd(0, 0, &group, "L44", 0, &plain, 4, nullptr, nullptr), 0);
    ASSERT_EQ(engine.GroupExecuteOnce(0, 0, group), 0);
    ASSERT_TRUE(Node(1).Lock());
    Node(1).wordOrder = 1;
    Node(1).Unlock();
    uint32_t swapped = 0;
    int other = -1;
    ASSERT_GE(engine.VariableAdd(0, 0, &other, "L44", 0, &swapped, 4, nullptr, nullptr), 0);
    ASSERT_EQ(engine.GroupExecuteOnce(0, 0, other), 0);
    EXPECT_EQ(swapped, (plain << 16) | (plain >> 16));
    EXPECT_NE(swapped, plain);
}

TEST_F(SerialGroupTest, WriteRunsJoinAdjacentWritableItems) {
    int group = -1;
    uint16_t w30 = 0xBEEF;
    int8_t w31 = -2;
    int32_t w32 = -3;
    uint16_t w35 = 35;
    int32_t r30 = 9, r35 = 9;
    uint32_t x30 = 0;
    ASSERT_GE(engine.VariableAdd(0, 0, &group, "W35", 1, &w35, 2, &r35, nullptr), 0);
    ASSERT_GE(engine.VariableAdd(0, 0, &group, "W32", 1, &w32, 4, nullptr, nullptr), 0);
    ASSERT_GE(engine.VariableAdd(0, 0, &group, "W31", 1, &w31, 1, nullptr, nullptr), 0);
    ASSERT_GE(engine.VariableAdd(0, 0, &group, "W30", 1, &w30, 2, &r30, &x30), 0);
    const uint64_t before = sim.RequestCount();
    EXPECT_EQ(engine.GroupExecuteOnce(0, 0, group), 0);
    // 330..333 in one write; 335 after the read-only 334 in another.
    EXPECT_EQ(sim.RequestCount() - before, 2u);
    EXPECT_EQ(Reg(1, kW30), 0xBEEF);
    EXPECT_EQ(Reg(1, kW31) & 0xFF, 0xFE);
    const uint32_t w32Back =
        static_cast<uint32_t>(Reg(1, kW32)) | (static_cast<uint32_t>(Reg(1, kW32 + 1)) << 16);
    uint32_t w32Read = 0;
    EXPECT_EQ(engine.ReadCell("W32", &w32Read), 0);
    EXPECT_EQ(static_cast<int32_t>(w32Read), -3) << std::hex << w32Back;
    EXPECT_EQ(Reg(1, kW35), 35);
    EXPECT_EQ(r30, 0);
    EXPECT_EQ(r35, 0);
    EXPECT_EQ(x30, 2u);
}

TEST_F(SerialGroupTest, ModbusExceptionsFetchTheDrivesErrorVariable) {
    Drive(1).SetRegister(kModbusError, 0x0203);
    // Without a compact value every cell goes through the named reads and writes on its own.
    engine.Vocabulary(Node(1).vocabularyIndex)->compact = 0;
    struct Case {
        const char* name;
        int direction;
        uint8_t function;
        int32_t expected;
    } cases[] = {
        {"A10", 0, 3, 0x0203},  // exception on a read
        {"A11", 1, 0, 0x0203},  // exception on a write
        {"A13", 0, 0, 0},       // no exception: the transfer's own result
    };
    for (const Case& c : cases) {
        int group = -1;
        uint16_t value = 5;
        int32_t result = -99;
        uint32_t extra = 0;
        ASSERT_GE(engine.VariableAdd(0, 0, &group, c.name, c.direction, &value, 2, &result, &extra), 0);
        if (c.expected != 0) {
            drivesim::Fault fault;
            fault.kind = drivesim::Fault::ExceptionCode;
            fault.param = 4;
            fault.count = 1;
            fault.function = c.function;
            sim.InjectFault(fault);
        }
        EXPECT_EQ(engine.GroupExecuteOnce(0, 0, group), 0);
        EXPECT_EQ(result, c.expected) << c.name;
        EXPECT_EQ(extra, 2u) << c.name;
        EXPECT_EQ(sim.PendingFaults(), 0u);
        EXPECT_EQ(engine.GroupRemove(group), 0);
    }
}

TEST_F(SerialGroupTest, ExecuteDefaultGroupRunsOnceAndClears) {
    Drive(1).SetRegister(kU51, 51);
    uint16_t value = 0;
    ASSERT_GE(engine.VariableAdd(0, 0, engine.DefaultGroupRef(), "U51", 0, &value, 2, nullptr, nullptr), 0);
    const int group = engine.DefaultGroup();
    EXPECT_EQ(engine.ExecuteDefaultGroup(), 0);
    EXPECT_EQ(value, 51u);
    EXPECT_TRUE(engine.GroupExists(group));
    EXPECT_EQ(engine.GroupRemoveAll(), 0);
    EXPECT_EQ(engine.DefaultGroup(), -1);
    EXPECT_FALSE(engine.GroupExists(group));
}

TEST_F(SerialGroupTest, CyclicExecutionWithCycleZeroRegistersNothing) {
    int group = -1;
    uint16_t value = 0;
    ASSERT_GE(engine.VariableAdd(0, 0, &group, "A10", 0, &value, 2, nullptr, nullptr), 0);
    EXPECT_EQ(engine.GroupExecute(group, 1, 0), 0);
    EXPECT_EQ(engine.CyclicItemCount(), 0u);
    EXPECT_FALSE(engine.CyclicThreadRunning());
}

TEST_F(SerialGroupTest, OfflineNodesAnswerGroupsFromTheirValues) {
    CCompatChecker checker;
    checker.InitFromLegacy(5, 1, 9, 1, 0, 0, 0, 0);
    BSTR text = platform::BstrFromUtf8("<xml Hw=\"5\" Sw=\"9\" SwRev=\"1\" build=\"0\"/>");
    ASSERT_EQ(engine.NodeConnectOffline(checker, &text, 6, 0), 0) << engine.ErrorText();
    SysFreeString(text);
    engine.SetCurrentChannel(0);
    ASSERT_EQ(engine.SelectNode(6, 0), 0);

    int group = -1;
    const uint32_t written = 0x8001;
    uint32_t a10 = 0;
    uint16_t a11 = 0;
    int32_t r10 = 9;
    ASSERT_GE(
        engine.VariableAdd(0, 0, &group, "A10", 1, const_cast<uint32_t*>(&written), 4, nullptr, nullptr), 0);
    EXPECT_EQ(engine.GroupExecuteOnce(0, 0, group), 0);
    ASSERT_EQ(engine.GroupClear(&group), 0);
    ASSERT_GE(engine.VariableAdd(0, 0, &group, "A10", 0, &a10, 4, &r10, nullptr), 0);
    ASSERT_GE(engine.VariableAdd(0, 0, &group, "A11", 0, &a11, 2, nullptr, nullptr), 0);
    EXPECT_EQ(engine.GroupExecuteOnce(0, 0, group), 0);
    EXPECT_EQ(a10, 0xFFFF8001u);  // the stored word cut to the signed 2-byte item
    EXPECT_EQ(a11, 0u);
    EXPECT_EQ(r10, 0);
    engine.SetCurrentChannel(channel);
}

class BoxGroupTest : public SerialGroupTest {
  protected:
    BoxGroupTest() { box = true; }
};

TEST_F(BoxGroupTest, RunsGoThroughTheBoxAsSingleTransactions) {
    Drive(1).SetRegister(kA10, 1);
    Drive(1).SetRegister(kA11, 2);
    Drive(1).SetRegister(kA13, 3);
    int group = -1;
    uint16_t a10 = 0, a11 = 0, a13 = 0;
    ASSERT_GE(engine.VariableAdd(0, 0, &group, "A10", 0, &a10, 2, nullptr, nullptr), 0);
    ASSERT_GE(engine.VariableAdd(0, 0, &group, "A11", 0, &a11, 2, nullptr, nullptr), 0);
    ASSERT_GE(engine.VariableAdd(0, 0, &group, "A13", 0, &a13, 2, nullptr, nullptr), 0);
    uint64_t before = sim.RequestCount();
    EXPECT_EQ(engine.GroupExecuteOnce(0, 0, group), 0);
    EXPECT_EQ(sim.RequestCount() - before, 1u);
    EXPECT_EQ(a10 + a11 * 10 + a13 * 100, 321);

    int writes = -1;
    uint16_t w30 = 30;
    int8_t w31 = 31;
    ASSERT_GE(engine.VariableAdd(0, 0, &writes, "W30", 1, &w30, 2, nullptr, nullptr), 0);
    ASSERT_GE(engine.VariableAdd(0, 0, &writes, "W31", 1, &w31, 1, nullptr, nullptr), 0);
    before = sim.RequestCount();
    EXPECT_EQ(engine.GroupExecuteOnce(0, 0, writes), 0);
    EXPECT_EQ(sim.RequestCount() - before, 1u);
    EXPECT_EQ(Reg(1, kW30), 30);
    EXPECT_EQ(Reg(1, kW31), 31);
}

// A library channel whose driver records what the engine asks of it; the test plays the library's
// thread by calling the group callback it was given.
class FakeLibraryDriver : public CChannelDriver, public CGroupChannel {
  public:
    FakeLibraryDriver(CMain& owner, int index) : CChannelDriver(owner, index) {}
    int Type() const override { return channel_type::kLibrary; }
    bool Test(uint8_t) override { return true; }
    int Identify(uint8_t, CCompatChecker&, CIdentification&) override { return -1; }
    int ReadItem(const VocabularyItem&, uint32_t*, uint8_t, bool) override { return -1; }
    int WriteItem(const VocabularyItem&, const uint32_t*, uint8_t, bool) override { return -1; }
    int UploadCell(const VocabularyItem&, void*, uint32_t*, uint8_t) override { return -1; }
    int DownloadCell(const VocabularyItem&, const void*, uint32_t, uint8_t) override { return -1; }
    int Configure(const CChannelSettings&) override { return 0; }
    int GetConfig(CChannelSettings&) override { return 0; }
    int Close() override { return 0; }

    int GroupCreate(uint32_t, platform::WindowHandle, unsigned, Callback cb, void* ctx) override {
        callback = cb;
        context = ctx;
        return 7;
    }
    int GroupRemove(int group) override {
        calls.push_back("remove " + std::to_string(group));
        return 0;
    }
    int GroupRemoveAll() override { return 0; }
    int GroupExecute(uint32_t, int group, int32_t cycle) override {
        calls.push_back("execute " + std::to_string(group) + " " + std::to_string(cycle));
        return 0;
    }
    int GroupStop(int) override { return 0; }
    int GroupExecuteOnce(uint32_t, int) override { return 0; }
    int GroupClear(int*) override { return 0; }
    int VariableAdd(uint32_t, int*, const VocabularyItem& item, int, void*, int32_t size, uint32_t flags,
                    void*, uint32_t*) override {
        calls.push_back("add " + item.name + " " + std::to_string(size) + " " + std::to_string(flags));
        return 1;
    }
    int GroupAddItem(uint32_t, int, const VocabularyItem& item, int, void*, uint32_t size, CCellHolder*,
                     int32_t* resultWord) override {
        calls.push_back("item " + item.name + " " + std::to_string(size) + (resultWord ? " result" : ""));
        return 3;
    }
    int VariableRemove(int group, int variable) override {
        calls.push_back("var remove " + std::to_string(group) + " " + std::to_string(variable));
        return 0;
    }
    int VariableRemoveAll(int) override { return 0; }

    Callback callback = nullptr;
    void* context = nullptr;
    std::vector<std::string> calls;
};

TEST_F(SerialGroupTest, LibraryGroupsKeepTheirNotifyRecords) {
    const int library = enginetest::FindChannel(engine, "Linkora");
    ASSERT_GE(library, 0);
    auto owned = std::make_unique<FakeLibraryDriver>(engine, library);
    FakeLibraryDriver& fake = *owned;
    engine.Channel(library)->driver = std::move(owned);
    CCompatChecker checker;
    checker.InitFromLegacy(5, 1, 9, 1, 0, 0, 0, 0);
    BSTR text = platform::BstrFromUtf8("<xml Hw=\"5\" Sw=\"9\" SwRev=\"1\" build=\"0\"/>");
    ASSERT_EQ(engine.NodeConnectOffline(checker, &text, 4, library), 0) << engine.ErrorText();
    SysFreeString(text);
    engine.SetCurrentChannel(library);
    ASSERT_EQ(engine.SelectNode(4, library), 0);

    constexpr unsigned kMessage = platform::WM_USER + 9;
    ASSERT_EQ(engine.GroupCreate(0, 0, sink.Handle(), kMessage), 7);
    CGroupBridge* record = engine.FindGroupBridge(7);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(fake.context, record);
    CCellHolder holder, wide;
    EXPECT_EQ(engine.GroupAddReadCell(7, "A10", &holder), 3);
    EXPECT_EQ(engine.GroupAddCellValue(7, "A11", 0, &wide, 0, 6), -302);
    EXPECT_EQ(engine.ErrorText(), "a cell holder carries at most 4 bytes");
    EXPECT_EQ(engine.GroupAddReadCell(8, "A10", &holder), -303);
    ASSERT_EQ(record->variables.size(), 1u);
    EXPECT_EQ(record->variables[0]->holder, &holder);

    holder.value = 42;
    fake.callback(0, 0, fake.context);
    const auto messages = Delivered(kMessage);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].wParam, reinterpret_cast<std::uintptr_t>(&holder));

    int group = 7;
    uint16_t value = 0;
    EXPECT_EQ(engine.VariableAdd(0, 0, &group, "A10", 0, &value, -1, nullptr, nullptr), 1);
    EXPECT_EQ(engine.GroupExecute(7, 1, 50), 0);
    EXPECT_EQ(engine.VariableRemove(7, 3), 0);
    EXPECT_TRUE(record->variables.empty());
    EXPECT_EQ(engine.GroupRemove(7), 0);
    EXPECT_EQ(engine.FindGroupBridge(7), nullptr);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"item A10 2 result", "add A10 -1 3221225474",
                                                    "execute 7 50", "var remove 7 3", "remove 7"}));
    engine.SetCurrentChannel(channel);
}

TEST_F(SerialGroupTest, ChannelsWithoutGroupDriverAnswerAsUnavailable) {
    const int library = enginetest::FindChannel(engine, "Linkora");
    ASSERT_GE(library, 0);
    engine.SetCurrentChannel(library);
    EXPECT_EQ(engine.GroupCreate(0, 0, 0, 0), -10);
    EXPECT_EQ(engine.GroupExecute(3, 1, 100), -10);
    int group = -1;
    EXPECT_EQ(engine.GroupClear(&group), 0);
    engine.SetCurrentChannel(engine.ChannelCount());
    EXPECT_EQ(engine.GroupCreate(0, 0, 0, 0), -31);
    EXPECT_EQ(engine.ErrorText(), "wrong channel");
    engine.SetCurrentChannel(channel);
}

}  // namespace
