#include <gtest/gtest.h>
#include <json-parser/json.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "drive/DiagHistory.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlNode.h"

using namespace drive;

namespace {

// A drive's history cells: a ring of slots 6..maxMsg+5, the logger block and the counters.
class FakeHistory : public IDiagHistorySource {
  public:
    std::map<std::string, uint32_t> cells;
    std::map<uint32_t, std::vector<uint8_t>> slots;  // by slot number
    std::vector<uint8_t> logger;
    bool hasLogger = false;
    int slotReads = 0;

    int ReadCell(const std::string& name, uint32_t* value) override {
        const auto it = cells.find(name);
        if (it == cells.end()) return -1;
        *value = it->second;
        return 0;
    }
    int WriteCell(const std::string& name, uint32_t value) override {
        cells[name] = value;
        return 0;
    }
    int UploadCell(const std::string& name, void* buffer, uint32_t size) override {
        std::vector<uint8_t>* data = nullptr;
        if (name == "DataLoggerUpload") {
            if (!hasLogger) return -303;
            data = &logger;
        } else if (name.rfind("DiagHistoryMsg_", 0) == 0) {
            ++slotReads;
            const uint32_t slot = static_cast<uint32_t>(std::stoul(name.substr(15))) + 5;
            const auto it = slots.find(slot);
            if (it == slots.end()) return -1;
            data = &it->second;
        } else {
            return -1;
        }
        const size_t n = std::min<size_t>(size, data->size());
        std::copy(data->begin(), data->begin() + static_cast<long>(n), static_cast<uint8_t*>(buffer));
        return static_cast<int>(n);
    }
    bool HasCell(const std::string& name) override { return name != "DataLoggerUpload" || hasLogger; }
    std::string LastErrorText() override { return "no answer"; }
};

std::vector<uint8_t> Record(uint16_t diag, uint16_t code, uint16_t flags, uint16_t textId, uint64_t stamp,
                            size_t size = 16) {
    std::vector<uint8_t> r(size, 0xAA);
    auto put16 = [&](size_t at, uint16_t v) {
        r[at] = static_cast<uint8_t>(v);
        r[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    put16(0, diag);
    put16(2, code);
    put16(4, flags);
    put16(6, textId);
    for (int i = 0; i < 8; ++i) r[8 + static_cast<size_t>(i)] = static_cast<uint8_t>(stamp >> (8 * i));
    return r;
}

// Event n of a test history: text id n, stamp n seconds.
std::vector<uint8_t> Event(int n, size_t size = 16) {
    return Record(0xE000, 0x100, 1, static_cast<uint16_t>(n), static_cast<uint64_t>(n) * 1000000000ULL, size);
}

std::vector<int> TextIds(const std::vector<CDiagHistoryMsg>& messages) {
    std::vector<int> ids;
    for (const auto& m : messages) ids.push_back(m.textId);
    return ids;
}

class UtcZone : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        saved_ = tz ? tz : "";
        hadTz_ = tz != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (hadTz_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

  private:
    std::string saved_;
    bool hadTz_ = false;
};

}  // namespace

TEST(DiagHistoryDecode, CodeClassesByDiagnosisCode) {
    const struct {
        uint16_t diag;
        bool decodes;
        int codeClass;
        const char* text;
    } cases[] = {
        {0xE000, true, 0, "Manufacturer"},
        {0xE7FF, true, 0, "Manufacturer"},
        {0xE800, true, 1, "Emergency"},
        {0xE801, true, 3, "Reserved"},
        {0xEDFF, true, 3, "Reserved"},
        {0xEE00, true, 2, "Profile"},
        {0xEFFF, true, 2, "Profile"},
        {0xF000, false, 0, ""},
        {0x1000, false, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.diag);
        CDiagHistoryMsg msg;
        const auto raw = Record(c.diag, 0x1234, 0, 7, 1);
        EXPECT_EQ(msg.Decode(raw.data(), raw.size(), 0), c.decodes);
        if (c.decodes) {
            EXPECT_EQ(msg.codeClass, c.codeClass);
            EXPECT_STREQ(DiagCodeClassText(msg.codeClass), c.text);
        }
    }
    EXPECT_STREQ(DiagCodeClassText(4), "Not used");
}

TEST(DiagHistoryDecode, FieldsTypeAndFlagBitsAndOffset) {
    CDiagHistoryMsg msg;
    // Type 2 with the flag bit and ignored high bits set.
    const auto raw = Record(0xE800, 0xBEEF, 0xFFF2, 0x0042, 0xFFFFFFFF00000000ULL);
    ASSERT_TRUE(msg.Decode(raw.data(), raw.size(), 0x100000000ULL));
    EXPECT_EQ(msg.code, 0xBEEF);
    EXPECT_EQ(msg.type, 2);
    EXPECT_TRUE(msg.flag);
    EXPECT_EQ(msg.textId, 0x42);
    EXPECT_EQ(msg.timeStamp, 0ULL);  // the 64-bit addition carries over the top

    const auto plain = Record(0xE000, 1, 0x0001, 1, 5);
    ASSERT_TRUE(msg.Decode(plain.data(), plain.size(), 0));
    EXPECT_EQ(msg.type, 1);
    EXPECT_FALSE(msg.flag);
    EXPECT_STREQ(DiagMessageTypeText(0), "Information");
    EXPECT_STREQ(DiagMessageTypeText(1), "Warning");
    EXPECT_STREQ(DiagMessageTypeText(2), "Error");
    EXPECT_STREQ(DiagMessageTypeText(3), "");
    EXPECT_STREQ(DiagMessageTypeShortText(2), "Err");
    EXPECT_STREQ(DiagMessageTypeShortText(9), "   ");

    // A short record is refused, not read past its end.
    EXPECT_FALSE(msg.Decode(plain.data(), 15, 0));
}

TEST_F(UtcZone, TimeStampTextsAreExactAndZeroPadded) {
    const struct {
        uint64_t ns;
        bool iso, us;
        const char* text;
    } cases[] = {
        {0, true, false, ""},
        {1000000000ULL, true, false, "2000-01-01T00:00:01.000"},
        {1005000000ULL, true, false, "2000-01-01T00:00:01.005"},  // 5 ms, not ".6"
        {1999999999ULL, true, false, "2000-01-01T00:00:01.999"},
        {1000005000ULL, true, true, "2000-01-01T00:00:01.000005"},
        {1005000000ULL, false, false, "1.1.2000 00:00:01 005"},
        {1000000001ULL, false, true, "1.1.2000 00:00:01 000000"},
        // 2010-07-16 19:20:30.450
        {(1279308030ULL - 946684800ULL) * 1000000000ULL + 450000000ULL, true, false,
         "2010-07-16T19:20:30.450"},
        {(1279308030ULL - 946684800ULL) * 1000000000ULL + 450000000ULL, false, false,
         "7.16.2010 19:20:30 450"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ns);
        EXPECT_EQ(FormatDiagTimestamp(c.ns, c.iso, c.us), c.text);
    }
}

TEST(DiagHistoryTexts, TableFromDescription) {
    foundation::CXmlDocument doc;
    ASSERT_EQ(
        doc.LoadXml(
            "<Data><Extra><DiagMessages>"
            "<DiagMessage><TextId>0x0010</TextId><MessageText>Over current</MessageText></DiagMessage>"
            "<DiagMessage><TextId>0x001</TextId><MessageText>too short</MessageText></DiagMessage>"
            "<DiagMessage><TextId>0x0000</TextId><MessageText>zero</MessageText></DiagMessage>"
            "<DiagMessage><TextId>0xZZZZ</TextId><MessageText>not hex</MessageText></DiagMessage>"
            "<DiagMessage><TextId>0x0020</TextId></DiagMessage>"
            "<DiagMessage><TextId>0x0010</TextId><MessageText>Over current 2</MessageText></DiagMessage>"
            "</DiagMessages></Extra></Data>"),
        0);
    DiagTextMap map{{99, "stale"}};
    LoadDiagMessageTexts(&doc.Root(), map);
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map[0x10], "Over current 2");
    EXPECT_EQ(DiagMessageText(map, 0x10), "Over current 2");
    EXPECT_EQ(DiagMessageText(map, 0x2A), "Logger event 42 (0x2A)");
    LoadDiagMessageTexts(nullptr, map);
    EXPECT_TRUE(map.empty());
}

TEST(DiagHistoryJson, CopyAllIsAValidEscapedJsonArray) {
    CDiagHistoryMsg msg;
    const auto raw = Record(0xE800, 0xAB, 2, 17, 1000000000ULL);
    ASSERT_TRUE(msg.Decode(raw.data(), raw.size(), 0));
    const std::string nasty = "a \"quoted\" back\\slash\nnew line\ttab \x01 end";
    const std::vector<std::string> objects = {DiagMessageJson(msg, nasty, true, false),
                                              DiagMessageJson(msg, "plain", false, true)};
    const std::string text = DiagMessagesJsonArray(objects);

    json_value* value = json_parse(text.c_str(), text.size());
    ASSERT_NE(value, nullptr) << text;
    ASSERT_EQ(value->type, json_array);
    ASSERT_EQ(value->u.array.length, 2u);
    const json_value* first = value->u.array.values[0];
    ASSERT_EQ(first->type, json_object);
    std::map<std::string, const json_value*> keys;
    for (unsigned i = 0; i < first->u.object.length; ++i)
        keys[first->u.object.values[i].name] = first->u.object.values[i].value;
    ASSERT_EQ(keys.size(), 5u);
    EXPECT_EQ(std::string(keys["Type"]->u.string.ptr), "Error");
    EXPECT_EQ(std::string(keys["Text"]->u.string.ptr, keys["Text"]->u.string.length), nasty);
    EXPECT_EQ(keys["TextID"]->u.integer, 17);
    ASSERT_EQ(keys["Code"]->type, json_object);
    EXPECT_EQ(std::string(keys["Code"]->u.object.values[0].value->u.string.ptr), "Emergency");
    EXPECT_EQ(std::string(keys["Code"]->u.object.values[1].value->u.string.ptr), "0xAB");
    ASSERT_EQ(keys["TimeStamp"]->type, json_string);
    json_value_free(value);

    const std::string empty = DiagMessagesJsonArray({});
    value = json_parse(empty.c_str(), empty.size());
    ASSERT_NE(value, nullptr) << empty;
    EXPECT_EQ(value->type, json_array);
    EXPECT_EQ(value->u.array.length, 0u);
    json_value_free(value);
}

TEST(DiagHistoryLogger, FortyBytesGiveTwoMessagesAndTheSizeIsTheStride) {
    FakeHistory drive;
    drive.hasLogger = true;
    drive.logger = Event(1);
    const auto second = Event(2);
    drive.logger.insert(drive.logger.end(), second.begin(), second.end());
    drive.logger.insert(drive.logger.end(), 8, 0xE0);  // a partial record
    std::vector<CDiagHistoryMsg> out;
    std::string error;
    ASSERT_TRUE(UploadDataLogger(drive, 16, 0, out, error));
    EXPECT_EQ(TextIds(out), (std::vector<int>{1, 2}));

    // 24-byte messages: the records sit 24 bytes apart, the padding is skipped.
    drive.logger.clear();
    for (int n = 1; n <= 3; ++n) {
        const auto r = Event(n, 24);
        drive.logger.insert(drive.logger.end(), r.begin(), r.end());
    }
    ASSERT_TRUE(UploadDataLogger(drive, 24, 0, out, error));
    EXPECT_EQ(TextIds(out), (std::vector<int>{1, 2, 3}));

    drive.logger.clear();
    EXPECT_FALSE(UploadDataLogger(drive, 16, 0, out, error));
    EXPECT_TRUE(out.empty());
}

TEST(DiagHistoryLogger, OffsetOnlyAfterTheLastClockJump) {
    FakeHistory drive;
    drive.hasLogger = true;
    for (int stamp : {5, 3, 7, 8}) {
        const auto r = Record(0xE000, 0, 0, 1, static_cast<uint64_t>(stamp));
        drive.logger.insert(drive.logger.end(), r.begin(), r.end());
    }
    std::vector<CDiagHistoryMsg> out;
    std::string error;
    ASSERT_TRUE(UploadDataLogger(drive, 16, 1000, out, error));
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].timeStamp, 5u);
    EXPECT_EQ(out[1].timeStamp, 1003u);
    EXPECT_EQ(out[2].timeStamp, 1007u);
    EXPECT_EQ(out[3].timeStamp, 1008u);
}

namespace {

// Events 1..7 written into a ring of 4 slots (6..9): 6:e5 7:e6 8:e7 9:e4, newest 8.
FakeHistory WrappedRing(int loggerUpTo, uint32_t msgSize = 16) {
    FakeHistory drive;
    drive.cells = {{"DiagHistoryMaxMsg", 4},
                   {"DiagHistoryNewestMsg", 8},
                   {"DiagHistoryNewestAckMsg", 7},
                   {"DataLoggerMsgSize", msgSize},
                   {"DataLoggerBUfferSize", 4096}};
    uint32_t slot = 6;
    for (int n = 1; n <= 7; ++n) {
        drive.slots[slot] = Event(n, msgSize);
        slot = slot == 9 ? 6 : slot + 1;
    }
    drive.hasLogger = loggerUpTo > 0;
    for (int n = 1; n <= loggerUpTo; ++n) {
        const auto r = Event(n, msgSize);
        drive.logger.insert(drive.logger.end(), r.begin(), r.end());
    }
    return drive;
}

}  // namespace

TEST(DiagHistoryRead, RingAndLoggerJoinedAcrossTheWrap) {
    const struct {
        int loggerUpTo;
        uint32_t msgSize;
        std::vector<int> ids;
    } cases[] = {
        {4, 16, {1, 2, 3, 4, 5, 6, 7}},  // the join point lies behind the wrap
        {6, 16, {1, 2, 3, 4, 5, 6, 7}},  // the join point is met reading down from the newest
        {0, 16, {4, 5, 6, 7}},           // no logger: the ring alone, oldest first
        {2, 16, {1, 2, 4, 5, 6, 7}},     // the logger's last message fell out of the ring
        {4, 32, {1, 2, 3, 4, 5, 6, 7}},  // larger messages
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.loggerUpTo);
        FakeHistory drive = WrappedRing(c.loggerUpTo, c.msgSize);
        DiagHistoryLayout layout;
        std::string error;
        ASSERT_TRUE(ReadDiagHistoryLayout(drive, layout, error)) << error;
        std::vector<CDiagHistoryMsg> out;
        uint32_t newest = 0, ack = 0;
        ASSERT_TRUE(ReadDiagHistory(drive, layout, 0, out, &newest, &ack, error)) << error;
        EXPECT_EQ(TextIds(out), c.ids);
        EXPECT_EQ(newest, 8u);
        EXPECT_EQ(ack, 7u);
    }
}

TEST_F(UtcZone, TextReportLinesOldestFirstWithoutHiddenMessages) {
    FakeHistory drive = WrappedRing(0);
    drive.slots[7] = Record(0xE000, 0, 2, kHiddenDiagTextId, 6000000000ULL);
    foundation::CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<Data><Extra><DiagMessages><DiagMessage><TextId>0x0005</TextId>"
                          "<MessageText>Five</MessageText></DiagMessage></DiagMessages></Extra></Data>"),
              0);
    std::vector<std::string> lines;
    ReadDiagHistoryText(drive, &doc.Root(), lines, 0);  // no drive clock: offset 0
    EXPECT_EQ(lines, (std::vector<std::string>{"2000-01-01T00:00:04.000000:[Wrn] Logger event 4 (0x4)",
                                               "2000-01-01T00:00:05.000000:[Wrn] Five",
                                               "2000-01-01T00:00:07.000000:[Wrn] Logger event 7 (0x7)"}));
}

TEST(DiagHistoryRead, BadSizesAndBadNewestEndWithAnError) {
    const struct {
        const char* cell;
        uint32_t value;
        bool layoutFails;
    } cases[] = {
        {"DataLoggerMsgSize", 8, true},
        {"DataLoggerMsgSize", 15, true},
        {"DataLoggerMsgSize", 100000, true},
        {"DiagHistoryMaxMsg", 0, true},
        {"DiagHistoryMaxMsg", 0x7FFFFFFF, true},
        {"DiagHistoryNewestMsg", 0, false},
        {"DiagHistoryNewestMsg", 5, false},
        {"DiagHistoryNewestMsg", 10, false},
        {"DiagHistoryNewestMsg", 0xFFFFFFFF, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.cell) + "=" + std::to_string(c.value));
        FakeHistory drive = WrappedRing(4);
        drive.cells[c.cell] = c.value;
        DiagHistoryLayout layout;
        std::string error;
        std::vector<CDiagHistoryMsg> out;
        if (c.layoutFails) {
            EXPECT_FALSE(ReadDiagHistoryLayout(drive, layout, error));
        } else {
            ASSERT_TRUE(ReadDiagHistoryLayout(drive, layout, error));
            EXPECT_FALSE(ReadDiagHistory(drive, layout, 0, out, nullptr, nullptr, error));
            CDiagHistoryPoller poller;
            bool ack = false;
            EXPECT_FALSE(poller.Poll(drive, layout, 0, out, ack, error));
        }
        EXPECT_FALSE(error.empty());
        std::vector<std::string> lines;
        ReadDiagHistoryText(drive, nullptr, lines, 0);
        EXPECT_TRUE(lines.empty());
        EXPECT_EQ(drive.slotReads, 0);
    }
    // A missing message size counts as 16 bytes.
    FakeHistory drive = WrappedRing(0);
    drive.cells.erase("DataLoggerMsgSize");
    DiagHistoryLayout layout;
    std::string error;
    ASSERT_TRUE(ReadDiagHistoryLayout(drive, layout, error));
    EXPECT_EQ(layout.msgSize, 16u);
}

TEST(DiagHistoryRead, ShortSlotReadsAreSkipped) {
    FakeHistory drive = WrappedRing(0, 32);
    drive.slots[7].resize(16);  // e6 comes back shorter than the message size
    DiagHistoryLayout layout;
    std::string error;
    ASSERT_TRUE(ReadDiagHistoryLayout(drive, layout, error));
    std::vector<CDiagHistoryMsg> out;
    ASSERT_TRUE(ReadDiagHistory(drive, layout, 0, out, nullptr, nullptr, error));
    EXPECT_EQ(TextIds(out), (std::vector<int>{4, 5, 7}));
}

TEST(DiagHistoryPoll, ReadsNewSlotsAcrossTheWrapAndAckChanges) {
    FakeHistory drive = WrappedRing(0);
    DiagHistoryLayout layout;
    std::string error;
    ASSERT_TRUE(ReadDiagHistoryLayout(drive, layout, error));
    CDiagHistoryPoller poller;
    poller.SetLastSeen(9, 7);  // the newest was the highest slot
    drive.cells["DiagHistoryNewestMsg"] = 7;
    std::vector<CDiagHistoryMsg> fresh;
    bool ackChanged = false;
    ASSERT_TRUE(poller.Poll(drive, layout, 0, fresh, ackChanged, error));
    EXPECT_EQ(TextIds(fresh), (std::vector<int>{5, 6}));
    EXPECT_EQ(poller.LastNewest(), 7u);

    // Nothing new, only the acknowledgement moved.
    drive.cells["DiagHistoryNewestAckMsg"] = 6;
    ASSERT_TRUE(poller.Poll(drive, layout, 0, fresh, ackChanged, error));
    EXPECT_TRUE(fresh.empty());
    EXPECT_TRUE(ackChanged);
    EXPECT_EQ(poller.LastAck(), 6u);
    ASSERT_TRUE(poller.Poll(drive, layout, 0, fresh, ackChanged, error));
    EXPECT_FALSE(ackChanged);

    // Every slot unreadable: one lap at most, then the poll ends.
    drive.slots.clear();
    drive.slotReads = 0;
    drive.cells["DiagHistoryNewestMsg"] = 6;
    ASSERT_TRUE(poller.Poll(drive, layout, 0, fresh, ackChanged, error));
    EXPECT_TRUE(fresh.empty());
    EXPECT_LE(drive.slotReads, 4);

    // A last seen slot outside the ring (nothing seen yet) starts at the first slot.
    FakeHistory full = WrappedRing(0);
    CDiagHistoryPoller fresh0;
    ASSERT_TRUE(fresh0.Poll(full, layout, 0, fresh, ackChanged, error));
    EXPECT_EQ(TextIds(fresh), (std::vector<int>{5, 6, 7}));
}
