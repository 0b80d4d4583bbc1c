#include <gtest/gtest.h>

#include <map>
#include <string>

#include "drive/ErrorReport.h"
#include "platform/Prompt.h"

using namespace drive;

namespace {
// The drive object's side of an error text: its last texts, last cell error and named reads.
class DriveErrorState : public CErrorTextSource {
  public:
    std::string TakeLastErrorText() override {
        ++takes;
        if (!engineText.empty()) return engineText;
        std::string own;
        own.swap(ownMessage);
        return own;
    }
    int32_t LastCellErrorCode() const override { return cellError; }
    int ChannelType() const override { return channelType; }
    int ReadCell(const std::string& name, uint32_t& value) override {
        reads.push_back(name);
        const auto it = cells.find(name);
        if (it == cells.end()) return -303;
        value = it->second;
        return 0;
    }
    std::string ModbusErrorVariableName() const override { return "ModbusError"; }

    std::string engineText;
    std::string ownMessage;
    int32_t cellError = 0;
    int channelType = 5;
    std::map<std::string, uint32_t> cells;
    std::vector<std::string> reads;
    int takes = 0;
};

CDriveErrorTable Table() {
    CDriveErrorTable t;
    t.descriptions = {"Value out of range", "Drive busy", "Bad address"};
    t.itemErrors = {{0x06090030, 0}, {0x08000022, 1}, {0x99, 7}};
    t.modbusErrors = {{3, 0}, {0x10, 2}};
    return t;
}
}  // namespace

TEST(ErrorText, AccessCodesGiveFixedTexts) {
    DriveErrorState s;
    s.engineText = "engine says";
    s.cellError = 0x06090030;
    EXPECT_EQ(ComposeLastErrorText(s, Table(), "msg", -303), "cell item not found");
    EXPECT_EQ(ComposeLastErrorText(s, Table(), "msg", -308), "Item not readable");
    EXPECT_EQ(ComposeLastErrorText(s, Table(), "msg", -309), "Item not writable");
    s.engineText = "cell item not found";
    EXPECT_EQ(ComposeLastErrorText(s, Table(), "msg", 0), "cell item not found");
    EXPECT_TRUE(s.reads.empty());
}

TEST(ErrorText, FieldbusChannels) {
    DriveErrorState s;
    s.engineText = "SDO abort";
    // No cell error: the text alone.
    EXPECT_EQ(ComposeLastErrorText(s, Table(), "msg", 0), "SDO abort");
    s.cellError = 0x06090030;
    EXPECT_EQ(ComposeLastErrorText(s, Table(), "msg", 0), "Value out of range [0x6090030]\r\nSDO abort");
    s.cellError = 0x12345;
    EXPECT_EQ(ComposeLastErrorText(s, Table(), "msg", 0), "SDO abort [error 0x12345]");
    // A negative code is shown as its 32-bit pattern.
    s.cellError = -123;
    EXPECT_EQ(ComposeLastErrorText(s, Table(), "msg", 0), "SDO abort [error 0xffffff85]");
    // A map entry past the description list is treated as unknown.
    s.cellError = 0x99;
    EXPECT_EQ(ComposeLastErrorText(s, Table(), "msg", 0), "SDO abort [error 0x99]");
    EXPECT_TRUE(s.reads.empty());

    // An empty engine text and an empty message: the suffix alone, with its blank.
    DriveErrorState empty;
    empty.cellError = 0x77;
    EXPECT_EQ(ComposeLastErrorText(empty, Table(), "", 0), " [error 0x77]");
}

TEST(ErrorText, OwnMessageIsTakenOnce) {
    DriveErrorState s;
    s.ownMessage = "Timeout on node 3";
    EXPECT_EQ(ComposeLastErrorText(s, Table(), "fallback", 0), "Timeout on node 3");
    EXPECT_EQ(s.ownMessage, "");
    EXPECT_EQ(ComposeLastErrorText(s, Table(), "fallback", 0), "fallback");
    // A very long engine text is cut to what the drive object's buffer takes.
    s.engineText = std::string(1500, 'e');
    EXPECT_EQ(ComposeLastErrorText(s, Table(), "", 0).size(), 999u);
}

TEST(ErrorText, ModbusChannels) {
    for (int type : {1, 7}) {
        DriveErrorState s;
        s.channelType = type;
        s.engineText = "Modbus func. 6 register 40: error 0x04 (Slave device failure)";
        s.cellError = 0x20;
        // The error variable cannot be read: the text stays.
        EXPECT_EQ(ComposeLastErrorText(s, Table(), "", 0), s.engineText);
        ASSERT_EQ(s.reads.size(), 1u);
        EXPECT_EQ(s.reads[0], "ModbusError");

        s.cells["ModbusError"] = 0;
        EXPECT_EQ(ComposeLastErrorText(s, Table(), "", 0), s.engineText + " [error 0x20]");
        s.cells["ModbusError"] = 0x55;
        EXPECT_EQ(ComposeLastErrorText(s, Table(), "", 0), s.engineText + " [Modbus error 0x55]");
        s.cells["ModbusError"] = 0x10;
        EXPECT_EQ(ComposeLastErrorText(s, Table(), "", 0),
                  "Bad address  [modbus error 0x10]\r\n" + s.engineText);
        s.cells["ModbusStartAddressError"] = 40;
        EXPECT_EQ(ComposeLastErrorText(s, Table(), "", 0),
                  "Bad address  [modbus error 0x10, cell 40]\r\n" + s.engineText);
    }
}

TEST(ErrorText, ReportShowsMessageAndDetails) {
    platform::ScriptedPrompts prompts;
    platform::SetPromptService(&prompts);
    DriveErrorState s;
    s.engineText = "write failed";
    s.cellError = 0x08000022;
    prompts.PushAnswer(platform::IDOK);
    EXPECT_EQ(ReportDriveError(s, Table(), "Could not save", kSeverityError, 0, "", "ShowMessage"),
              platform::IDOK);
    ReportDriveError(s, Table(), "", kSeverityWarning, 0, "", "ShowMessage");
    platform::SetPromptService(nullptr);

    const auto asked = prompts.Asked();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].kind, kMessageDetailsPrompt);
    const std::string details = "Drive busy [0x8000022]\r\nwrite failed";
    EXPECT_EQ(asked[0].args, (std::vector<std::string>{"ShowMessage", "Could not save", details, "2"}));
    EXPECT_EQ(asked[1].args, (std::vector<std::string>{"ShowMessage", details, details, "1"}));
}
