// The drive errors tree and reset without a window: the tree follows the simulated drive's error
// words, groups take the highest level of what is active below them, "No error" stands alone,
// and the reset writes what the family and state call for and stops at the first failure.
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/DriveErrorTree.h"
#include "app/MainDlgStatus.h"
#include "foundation/XmlDocument.h"
#include "tests/drive/DriveObjectTestSupport.h"
#include "tools/drivesim/SimDriveModel.h"

using namespace app;

namespace {

// The tree as a tree control would hold it, with every change counted.
class RecordingView : public CErrorTreeView {
  public:
    intptr_t AddItem(intptr_t parent, const std::string& title, int image) override {
        EXPECT_TRUE(parent == 0 || items_.count(parent)) << title;
        const intptr_t id = ++next_;
        items_[id] = {parent, title, image, false};
        ++adds;
        return id;
    }
    void RemoveItem(intptr_t item) override {
        ASSERT_TRUE(items_.count(item));
        std::vector<intptr_t> below;
        for (const auto& [id, it] : items_)
            if (it.parent == item) below.push_back(id);
        for (intptr_t id : below) RemoveItem(id);
        items_.erase(item);
        ++removes;
    }
    void SetItemImage(intptr_t item, int image) override {
        ASSERT_TRUE(items_.count(item));
        items_[item].image = image;
    }
    void Expand(intptr_t item) override {
        ASSERT_TRUE(items_.count(item));
        items_[item].expanded = true;
    }
    void RemoveAll() override { items_.clear(); }

    // One line per item in tree order: two blanks per depth, title, "[image]", "+" when expanded.
    std::vector<std::string> Lines() const {
        std::vector<std::string> out;
        Walk(0, 0, out);
        return out;
    }
    int adds = 0, removes = 0;

  private:
    struct Item {
        intptr_t parent;
        std::string title;
        int image;
        bool expanded;
    };
    void Walk(intptr_t parent, int depth, std::vector<std::string>& out) const {
        for (const auto& [id, it] : items_) {  // ids grow: insertion order
            if (it.parent != parent) continue;
            out.push_back(std::string(2 * depth, ' ') + it.title + " [" + std::to_string(it.image) + "]" +
                          (it.expanded ? "+" : ""));
            Walk(id, depth + 1, out);
        }
    }
    std::map<intptr_t, Item> items_;
    intptr_t next_ = 0;
};

using Lines = std::vector<std::string>;

// The simulated drive's description with its error list, read by name from the drive model.
class ErrorTreeOnTheSimulatedDrive : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(description.Load(drivetest::SimDescription()), foundation::S_OK);
        data = description.Root().FindNode("ClientList\\Client\\Data");
        ASSERT_NE(data, nullptr);
        list.Load(data, "");
        ASSERT_NE(list.Node(), nullptr);
        std::string error;
        ASSERT_TRUE(model.Load(drivetest::SimDescription(), &error)) << error;
        tree = std::make_unique<CErrorTree>(list.Node(), view);
    }
    int Refresh() {
        return tree->Refresh([this](const std::string& name, uint32_t* value) {
            ++reads[name];
            const auto v = model.ReadValue(name);
            if (!v) return -303;
            *value = static_cast<uint32_t>(*v);
            return 0;
        });
    }

    foundation::CXmlDocument description;
    const foundation::CXmlNode* data = nullptr;
    CErrorList list;
    drivesim::SimDriveModel model;
    RecordingView view;
    std::unique_ptr<CErrorTree> tree;
    std::map<std::string, int> reads;
};

}  // namespace

TEST_F(ErrorTreeOnTheSimulatedDrive, FollowsRaisedAndClearedErrors) {
    EXPECT_EQ(Refresh(), 0);
    EXPECT_EQ(view.Lines(), Lines{"No error [6]"});
    EXPECT_TRUE(tree->NoErrorShown());
    // Each variable once per refresh, however many errors name it.
    for (const auto& [name, count] : reads) EXPECT_EQ(count, 1) << name;
    EXPECT_EQ(reads.size(), 5u);

    // An active warning: in both the active and the history group, "No error" goes.
    model.RaiseWarning(4, true);
    EXPECT_EQ(Refresh(), 1);
    EXPECT_EQ(view.Lines(), (Lines{"Warnings [1]+", "  Active warnings [1]+", "    Following error high [1]",
                                   "  Warning history [1]", "    Following error high [1]"}));

    // A fault raises the level; the warning's cause goes, its history stays.
    model.RaiseFault(0x20, false);
    model.ClearWarningCause(4);
    EXPECT_EQ(Refresh(), 2);
    EXPECT_EQ(view.Lines(), (Lines{"Warnings [1]+", "  Warning history [1]", "    Following error high [1]",
                                   "Faults [2]+", "  Fault history [2]", "    Following error [2]"}));

    // A refresh with nothing changed touches nothing.
    const int adds = view.adds, removes = view.removes;
    Refresh();
    EXPECT_EQ(view.adds, adds);
    EXPECT_EQ(view.removes, removes);

    // A fault reset clears the histories: every group goes and "No error" is back.
    ASSERT_EQ(model.WriteValue("controlword", 0), drivesim::Refusal::None);
    ASSERT_EQ(model.WriteValue("controlword", 0x80), drivesim::Refusal::None);
    EXPECT_EQ(Refresh(), 0);
    EXPECT_EQ(view.Lines(), Lines{"No error [6]"});

    // The ESI request of the drive's communication word.
    EXPECT_FALSE(tree->EsiUpdateWanted());
    ASSERT_TRUE(model.Set(kEsiErrorVariable, 0x200));
    EXPECT_EQ(Refresh(), 1);
    EXPECT_TRUE(tree->EsiUpdateWanted());
    EXPECT_EQ(view.Lines(), (Lines{"Communication errors [1]+", "  ESI eeprom must be updated [1]"}));
    EXPECT_FALSE(tree->NoErrorShown());
}

TEST_F(ErrorTreeOnTheSimulatedDrive, ListOfTheDescriptionIsTheOneTheCountersUse) {
    // The description's list is taken over the built-in one, and gives the main dialog's entries.
    CErrorList other;
    other.Load(data, "<ERRORLIST><GROUP name=\"FaultErrors\"/></ERRORLIST>");
    EXPECT_EQ(other.Node(), data->FindNode("ERRORLIST"));
    const std::vector<ErrorDefinition> definitions = list.Definitions();
    EXPECT_EQ(definitions.size(), 24u);
    EXPECT_EQ(definitions.front().address, "DriveDynamicWarning");
    EXPECT_TRUE(definitions.back().fault && definitions.back().retentive);
}

namespace {

const char* const kSmallList = R"(<ERRORLIST>
  <GROUP title="Outer" expand="1">
    <GROUP title="Inner">
      <ERROR title="Low" address="A" mask="0x1" value="0x1" level="1"/>
      <ERROR title="High" address="A" mask="0x2" value="0x2" level="3"/>
    </GROUP>
    <ERROR title="Always" address="B" level="2"/>
  </GROUP>
  <GROUP>
    <ERROR title="Odd level" address="C" mask="1" value="1" level="42"/>
  </GROUP>
  <NOTE title="ignored"/>
</ERRORLIST>)";

struct SmallCase {
    const char* name;
    std::map<std::string, uint32_t> values;  // absent: the read fails
    Lines lines;
    int level;
};

}  // namespace

TEST(ErrorTree, GroupsLevelsAndUnreadableVariables) {
    foundation::CXmlDocument document;
    ASSERT_EQ(document.LoadXml(kSmallList), foundation::S_OK);
    const SmallCase cases[] = {
        {"unreadable variables count as inactive", {}, {"No error [6]"}, 0},
        // Mask 0 and value 0: active whatever the word holds, once it reads.
        {"mask 0 value 0 is always active", {{"A", 0}, {"B", 0xFFFF}}, {"Outer [2]+", "  Always [2]"}, 2},
        {"the group takes its highest child",
         {{"A", 3}, {"B", 7}},
         // Items come in at the end of their parent, as the tree control appends them.
         {"Outer [3]+", "  Always [2]", "  Inner [3]", "    Low [1]", "    High [3]"},
         3},
        {"an inner group goes with its last error", {{"A", 0}, {"B", 1}}, {"Outer [2]+", "  Always [2]"}, 2},
        {"a level beyond the images is drawn with the last one; no title gives NoTitle",
         {{"C", 1}},
         {"NoTitle [6]", "  Odd level [6]"},
         42},
    };
    RecordingView view;
    CErrorTree tree(&document.Root(), view);
    for (const SmallCase& c : cases) {
        SCOPED_TRACE(c.name);
        const int level = tree.Refresh([&](const std::string& name, uint32_t* value) {
            auto it = c.values.find(name);
            if (it == c.values.end()) return 2;
            *value = it->second;
            return 0;
        });
        EXPECT_EQ(view.Lines(), c.lines);
        EXPECT_EQ(level, c.level);
    }
}

TEST(ErrorTree, MissingListShowsTheInternalErrorOnce) {
    RecordingView view;
    CErrorTree tree(nullptr, view);
    int reads = 0;
    auto read = [&](const std::string&, uint32_t*) { return ++reads, 0; };
    EXPECT_EQ(tree.Refresh(read), 0);
    EXPECT_EQ(tree.Refresh(read), 0);
    EXPECT_EQ(view.Lines(), Lines{"Internal error! Missing error description! [0]"});
    EXPECT_EQ(reads, 0);
    // After a reset the tree is built anew.
    tree.Clear();
    EXPECT_TRUE(view.Lines().empty());
    tree.Refresh(read);
    EXPECT_EQ(view.Lines().size(), 1u);
}

TEST(ErrorList, BuiltInListWhenTheDescriptionHasNone) {
    foundation::CXmlDocument description;
    ASSERT_EQ(description.LoadXml("<Data><Type/></Data>"), foundation::S_OK);
    CErrorList list;
    list.Load(
        &description.Root(),
        "<ROOT><ERRORLIST><GROUP name=\"FaultErrors\"><GROUP name=\"FDynamicErrors\">"
        "<ERROR address=\"DriveDynamicAlarm\" mask=\"1\" value=\"1\"/></GROUP></GROUP></ERRORLIST></ROOT>");
    ASSERT_NE(list.Node(), nullptr);
    EXPECT_EQ(list.Node()->Name(), "ERRORLIST");
    ASSERT_EQ(list.Definitions().size(), 1u);
    EXPECT_TRUE(list.Definitions()[0].fault);
    // A built-in list that does not parse leaves no list (and no definitions).
    list.Load(&description.Root(), "<ERRORLIST");
    EXPECT_EQ(list.Node(), nullptr);
    EXPECT_TRUE(list.Definitions().empty());
    list.Load(nullptr, "");
    EXPECT_EQ(list.Node(), nullptr);
}

// ---- reset ----------------------------------------------------------------------------------------

namespace {

// Writes reach the simulated drive model; named writes and reads can be made to fail.
class SimResetAccess : public CErrorResetAccess {
  public:
    explicit SimResetAccess(drivesim::SimDriveModel& model) : model_(model) {}
    int ReadCell(const std::string& name, uint32_t* value) override {
        if (failRead.count(name)) return 5;
        const auto v = model_.ReadValue(name);
        if (!v) return -303;
        *value = static_cast<uint32_t>(*v);
        return 0;
    }
    int ExecuteWrite(const std::string& name, uint32_t value, int32_t* result) override {
        writes.emplace_back(name, value);
        if (name == failExecution) return -7;
        if (failWrite.count(name)) {
            *result = 143;
            return 0;
        }
        // The model's names are case-sensitive; the Xul family's "Controlword" is its own.
        const std::string target = name == "Controlword" ? "controlword" : name;
        *result = model_.WriteValue(target, value) == drivesim::Refusal::None ? 0 : 31;
        return 0;
    }
    std::vector<std::pair<std::string, uint32_t>> writes;
    std::set<std::string> failRead, failWrite;
    std::string failExecution;

  private:
    drivesim::SimDriveModel& model_;
};

using Writes = std::vector<std::pair<std::string, uint32_t>>;

class ErrorReset : public ::testing::Test {
  protected:
    void Load(const char* sw) {
        model = std::make_unique<drivesim::SimDriveModel>();
        std::string error;
        ASSERT_TRUE(model->Load(drivetest::SimDescription(), &error)) << error;
        if (sw != nullptr) {
            ASSERT_TRUE(model->ApplySwitch(sw, &error)) << error;
        }
    }
    uint32_t Value(const char* name) { return static_cast<uint32_t>(model->ReadValue(name).value_or(-1)); }
    std::unique_ptr<drivesim::SimDriveModel> model;
};

struct PlanCase {
    const char* name;
    bool xul;
    const char* sw;  // the drive's state at the start
    Writes writes;
};

}  // namespace

TEST_F(ErrorReset, WritesByFamilyAndState) {
    const PlanCase cases[] = {
        {"servo drive in fault: the reset edge follows the cleared words",
         false,
         "state=7",
         {{"DriveWarning", 0}, {"DriveAlarm", 0}, {"controlword", 0}, {"controlword", 0x80}}},
        {"servo drive not in fault: the words only",
         false,
         "warning=2",
         {{"DriveWarning", 0}, {"DriveAlarm", 0}}},
        {"Xul family: its own command whatever the state",
         true,
         "state=7",
         {{"DriveWarning", 0}, {"DriveAlarm", 0}, {"Controlword", 5}}},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.name);
        Load(c.sw);
        SimResetAccess access(*model);
        ErrorResetPlan plan;
        plan.xulFamily = c.xul;
        const ErrorResetResult result = ResetDriveErrors(access, plan);
        EXPECT_TRUE(result.ok) << result.message;
        EXPECT_EQ(access.writes, c.writes);
    }
}

TEST_F(ErrorReset, TheSimulatedDriveLeavesTheFaultAndKeepsActiveCauses) {
    Load("state=7");
    model->RaiseWarning(8, true);
    ASSERT_EQ(static_cast<int>(model->State()), 7);
    ASSERT_EQ(Value("DriveAlarm"), 1u);
    SimResetAccess access(*model);
    ASSERT_TRUE(ResetDriveErrors(access, ErrorResetPlan{}).ok);
    EXPECT_NE(static_cast<int>(model->State()), 7);
    EXPECT_EQ(Value("DriveAlarm"), 0u);
    EXPECT_EQ(Value("DriveWarning"), 8u) << "the warning's cause is still there";
}

TEST_F(ErrorReset, StopsAtTheFirstFailureAndSaysWhich) {
    struct FailCase {
        const char* name;
        std::string failWrite, failExecution, failRead;
        std::string message;
        int32_t code;
        size_t writes;
    };
    const FailCase cases[] = {
        {"warning word", "DriveWarning", "", "", "Reset write error (DriveWarning error)", 143, 1},
        {"alarm word", "DriveAlarm", "", "", "Reset write error (DriveAlarm error)", 143, 2},
        {"the reset edge", "controlword", "", "", "Reset write error (Controlword error)", 143, 3},
        {"the execution itself", "", "DriveAlarm", "", "Error -7 writing data", -7, 2},
        {"the statusword cannot be read", "", "", "statusword", "Reset read error (Statusword error)", 5, 0},
    };
    for (const FailCase& c : cases) {
        SCOPED_TRACE(c.name);
        Load("state=7");
        SimResetAccess access(*model);
        if (!c.failWrite.empty()) access.failWrite.insert(c.failWrite);
        if (!c.failRead.empty()) access.failRead.insert(c.failRead);
        access.failExecution = c.failExecution;
        const ErrorResetResult result = ResetDriveErrors(access, ErrorResetPlan{});
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message, c.message);
        EXPECT_EQ(result.code, c.code);
        EXPECT_EQ(access.writes.size(), c.writes);
        EXPECT_EQ(static_cast<int>(model->State()), 7) << "still in fault: nothing claimed the reset";
    }
}

TEST_F(ErrorReset, AWriteTheEngineNeverReachedIsAFailure) {
    Load(nullptr);
    class Unreached : public CErrorResetAccess {
      public:
        int ReadCell(const std::string&, uint32_t* value) override { return *value = 0x40, 0; }
        int ExecuteWrite(const std::string&, uint32_t, int32_t*) override { return 0; }
    } access;
    const ErrorResetResult result = ResetDriveErrors(access, ErrorResetPlan{});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "Reset write error (DriveWarning error)");
}
