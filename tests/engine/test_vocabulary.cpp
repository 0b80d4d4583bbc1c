// Vocabulary: items read from a description file with every attribute and default, the filters,
// the lookups and their order, the header texts.

#include <atomic>
#include <thread>

#include "VocabularyTestSupport.h"
#include "engine/ParameterRenameTable.h"
#include "engine/Vocabolario.h"
#include "foundation/XmlDocument.h"

using namespace foundation;
using namespace engine;
using namespace vocabulary_test;

namespace {

constexpr const char* kFull = "410_2_1_0.xml";
constexpr int kGenerated = 400;

class VocabularyTest : public VocabularyEnvironment {
  protected:
    std::unique_ptr<CVocabolario> LoadFull(uint32_t hw, const std::string& user = "user") {
        fs::copy_file(FixturePath(kFull), Descriptions() / kFull, fs::copy_options::overwrite_existing);
        GetAuthorizations().SetRequestedUser(user);
        auto v = std::make_unique<CVocabolario>("Varno", 0, kFull, 6871, true);
        v->hw = hw;
        v->Load();
        return v;
    }

    std::unique_ptr<CVocabolario> LoadText(const std::string& items, const std::string& extra = {},
                                           bool severalVariants = false) {
        Description d;
        d.items = items;
        d.extra = extra;
        WriteDescription(d, "100_1_0_0.xml");
        auto v = std::make_unique<CVocabolario>("Varno", 0, "100_1_0_0.xml", 6871, severalVariants);
        v->hw = 3;
        v->Load();
        return v;
    }
};

TEST_F(VocabularyTest, FullDescriptionItemsWithEveryAttributeAndDefault) {
    auto v = LoadFull(3);
    EXPECT_EQ(v->ItemCount(), 22u + kGenerated);
    EXPECT_EQ(v->compact, 1);
    EXPECT_EQ(v->GetFilePath(), Descriptions() / kFull);
    EXPECT_EQ(v->clientList.Root().Name(), "ClientList");
    EXPECT_TRUE(prompts.Asked().empty());

    const VocabularyItem* m = v->FindItemByName("ModbusError");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->id, 1u);
    EXPECT_EQ(m->title, "Modbus error");
    EXPECT_EQ(m->descr, "Last Modbus error");
    EXPECT_EQ(m->busIndex, 0x2001);
    EXPECT_EQ(m->busSubIndex, 0);
    EXPECT_EQ(m->busAddress, "0x2001.00");
    EXPECT_EQ(m->modbusAddress, 0x10);
    EXPECT_EQ(m->flags, VocabularyItem::kReadable);
    EXPECT_EQ(m->readLevel, 0);
    EXPECT_EQ(m->writeLevel, VocabularyItem::kNoAccessLevel);
    EXPECT_EQ(m->size, 2u);
    EXPECT_EQ(m->restore, -2);
    EXPECT_EQ(m->itemClass, VocabularyItem::kClassData);
    EXPECT_EQ(m->vocabularyCondition, "1");

    const VocabularyItem* k = v->FindItemByName("VelocityKp");
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->id, 0x20u);
    EXPECT_EQ(k->busIndex, 8193);  // decimal form "8193.1"
    EXPECT_EQ(k->busSubIndex, 1);
    EXPECT_EQ(k->flags, VocabularyItem::kReadable | VocabularyItem::kWritable);
    EXPECT_EQ(k->Sign(), 1);
    EXPECT_EQ(k->restore, 5);
    EXPECT_EQ(k->itemClass, VocabularyItem::kClassSetting);

    const VocabularyItem* p = v->FindItemByName("PositionActual");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->signAndHidden, 7);
    EXPECT_TRUE(p->IsHidden());
    EXPECT_EQ(p->vocabularyCondition, "0");
    EXPECT_FALSE(p->IsWritable());

    const VocabularyItem* can = v->FindItemByName("CanOnly");
    ASSERT_NE(can, nullptr);
    EXPECT_EQ(can->busIndex, 0x1000);
    EXPECT_EQ(can->busSubIndex, 1);
    EXPECT_EQ(can->busAddress, "0x1000.01");
    EXPECT_FALSE(can->HasModbusAddress());
    EXPECT_EQ(can->flags & VocabularyItem::kNoModbusAddress, VocabularyItem::kNoModbusAddress);
    EXPECT_EQ(v->FindItemByName("BusWins")->busAddress, "0x2100.02");

    const VocabularyItem* mb = v->FindItemByName("ModbusOnly");
    EXPECT_FALSE(mb->HasBusAddress());
    EXPECT_TRUE(mb->busAddress.empty());
    EXPECT_EQ(mb->itemClass, VocabularyItem::kClassCommand);

    // "0x" is two characters: read as decimal, address 0, yet the item has a Modbus address.
    const VocabularyItem* two = v->FindItemByName("TwoCharAddress");
    EXPECT_EQ(two->modbusAddress, 0);
    EXPECT_TRUE(two->HasModbusAddress());

    EXPECT_EQ(v->FindItemByName("OddClass")->itemClass, VocabularyItem::kClassOther);
    EXPECT_EQ(v->FindItemByName("NoIdKeepsPrevious")->id, 51u);
    EXPECT_EQ(v->FindItemByName("Ouch"), nullptr);
    const VocabularyItem* u = v->FindItemByName("Unicode\xC2\xB5s");
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->title, "Time \xC2\xB5s");
    const VocabularyItem* g = v->FindItemByName("Var0011");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->id, 1011u);
    EXPECT_EQ(g->modbusAddress, 1022);
    EXPECT_EQ(g->restore, 2);
    EXPECT_EQ(g->size, 8u);
}

TEST_F(VocabularyTest, AccessLevelsFollowTheCurrentUser) {
    struct Case {
        const char* user;
        const char* name;
        bool readable, writable;
        uint16_t readLevel, writeLevel;
    };
    const Case cases[] = {
        {"user", "FactoryWrite", false, false, 100, 200},
        {"factory", "FactoryWrite", true, true, 100, 200},
        {"user", "RestoreIntegrator", true, false, 0, 100},
        {"integrator", "RestoreIntegrator", true, true, 0, 100},
        {"integrator", "RestoreFactory", true, false, 0, 200},
        {"factory", "RestoreFactory", true, true, 0, 200},
        // Restore1 with debug: "I;debug" needs the tag as well.
        {"factory", "RestoreDebug", true, false, 0, 100},
        {"service", "ServiceTagged", true, false, 0, 150},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.user) + " " + c.name);
        auto v = LoadFull(3, c.user);
        const VocabularyItem* item = v->FindItemByName(c.name);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->IsReadable(), c.readable);
        EXPECT_EQ(item->IsWritable(), c.writable);
        EXPECT_EQ(item->readLevel, c.readLevel);
        EXPECT_EQ(item->writeLevel, c.writeLevel);
    }
    GetAuthorizations().SetTags("debug, service");
    auto v = LoadFull(3, "factory");
    EXPECT_TRUE(v->FindItemByName("RestoreDebug")->IsWritable());
    EXPECT_TRUE(v->FindItemByName("ServiceTagged")->IsWritable());
}

TEST_F(VocabularyTest, HardwareDebugAndAuthorizationFilters) {
    auto hw3 = LoadFull(3);
    EXPECT_NE(hw3->FindItemByName("Hw3Only"), nullptr);
    EXPECT_EQ(hw3->FindItemByName("Hw5Only"), nullptr);
    EXPECT_EQ(hw3->FindItemByName("InHw5Group"), nullptr);
    EXPECT_EQ(hw3->FindItemByName("DebugOnly"), nullptr);
    EXPECT_EQ(hw3->FindItemByName("FactoryOnly"), nullptr);

    // The filtered copy is kept in the temporary folder: hardware lists and "auth" are gone.
    CXmlDocument copy;
    ASSERT_EQ(copy.Load(root / "temp" / "~Tunova.xml"), S_OK);
    EXPECT_EQ(copy.Root().GetAttribute("hw"), "3");
    std::string text;
    copy.GetXml(text);
    EXPECT_EQ(text.find("hw='"), std::string::npos);
    EXPECT_EQ(text.find("auth="), std::string::npos);

    g_DebugMode = true;
    auto hw5 = LoadFull(5, "factory");
    EXPECT_EQ(hw5->ItemCount(), 25u + kGenerated);
    EXPECT_EQ(hw5->FindItemByName("Hw3Only"), nullptr);
    EXPECT_NE(hw5->FindItemByName("Hw5Only"), nullptr);
    EXPECT_NE(hw5->FindItemByName("InHw5Group"), nullptr);
    EXPECT_NE(hw5->FindItemByName("DebugOnly"), nullptr);
    EXPECT_NE(hw5->FindItemByName("FactoryOnly"), nullptr);
    // A "_cond" holding only "debug" is kept in the copy.
    ASSERT_EQ(copy.Load(root / "temp" / "~Tunova.xml"), S_OK);
    copy.GetXml(text);
    EXPECT_NE(text.find("_cond=\"debug\""), std::string::npos);
}

TEST_F(VocabularyTest, UnfilteredInDebugModeWithoutUserList) {
    g_DebugMode = true;
    const std::string items =
        "<ITEM id=\"1\" name=\"A\" _cond=\"hw='9'\" modbusaddress=\"1\" read=\"1\"/>"
        "<ITEM id=\"2\" name=\"B\" auth=\"F\" modbusaddress=\"2\" read=\"1\"/>";
    auto single = LoadText(items);
    EXPECT_EQ(single->filter, 0);
    EXPECT_EQ(single->ItemCount(), 2u);
    // Several variants in one file are always filtered.
    auto several = LoadText(items, {}, true);
    EXPECT_EQ(several->filter, 1);
    EXPECT_EQ(several->ItemCount(), 0u);
}

TEST_F(VocabularyTest, CheckHwConditionTable) {
    struct Case {
        const char* condition;
        uint32_t hw;
        bool debug;
        bool holds;
        bool hasList;
    };
    const Case cases[] = {
        {"", 7, false, true, true},
        {"hw='3,7'", 7, false, true, true},
        {"hw='3,7'", 8, false, false, true},
        {"hw='3, 7'", 7, false, true, true},
        {"debug", 1, false, false, true},
        {"debug", 1, true, true, false},
        {"debug hw='4'", 4, true, true, true},
        {"hw='3", 3, false, false, true},
        {"something", 3, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.condition);
        g_DebugMode = c.debug;
        bool hasList = !c.hasList;
        EXPECT_EQ(CheckHwCondition(c.condition, c.hw, &hasList), c.holds);
        if (c.holds) {
            EXPECT_EQ(hasList, c.hasList);
        }
    }
}

TEST_F(VocabularyTest, ChannelFilterOfFindItem) {
    auto v = LoadFull(3);
    struct Case {
        const char* name;
        int channel;
        bool found;
    };
    const Case cases[] = {
        {"CanOnly", 0, true},
        {"CanOnly", 1, false},
        {"CanOnly", 8, false},
        {"CanOnly", 6, true},
        {"ModbusOnly", 1, true},
        {"ModbusOnly", 8, true},
        {"ModbusOnly", 6, false},
        {"ModbusOnly", 5, false},
        // A Modbus address text of "0x" gives address 0: no Modbus access.
        {"TwoCharAddress", 1, false},
        {"Missing", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " on " + std::to_string(c.channel));
        EXPECT_EQ(v->FindItem(c.name, c.channel) != nullptr, c.found);
    }
}

TEST_F(VocabularyTest, RenameTableIsTriedForMissingNames) {
    auto v = LoadText(
        "<ITEM id=\"1\" name=\"a=b\" modbusaddress=\"1\"/><ITEM id=\"2\" name=\"a\" modbusaddress=\"2\"/>"
        "<ITEM id=\"3\" name=\"b\" modbusaddress=\"3\"/><ITEM id=\"4\" name=\"NewSpeed\" "
        "modbusaddress=\"4\"/>");
    ParameterRenameTable& renames = ParameterRenames();
    renames.Clear();
    renames.Set("Old1", "a=b");
    renames.Set("Old2", "x= a =b");
    renames.Set("Old3", "x=y = b ");
    renames.Add("Old4", "gone");
    renames.Add("Old4", "NewSpeed");
    renames.Set("Old5", "x=y");
    struct Case {
        const char* name;
        const char* found;  // null: none
    };
    const Case cases[] = {{"Old1", "a=b"},      {"Old2", "a"},     {"Old3", "b"},
                          {"Old4", "NewSpeed"}, {"Old5", nullptr}, {"Unknown", nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const VocabularyItem* item = v->FindItem(c.name, 0);
        if (c.found) {
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->name, c.found);
        } else {
            EXPECT_EQ(item, nullptr);
        }
    }
    renames.Clear();
}

TEST_F(VocabularyTest, TableSizeFromItemCount) {
    const std::pair<int32_t, uint32_t> cases[] = {{0, 1},  {1, 1},  {4, 1},      {5, 2},        {9, 2},
                                                  {10, 4}, {20, 8}, {1000, 256}, {10000, 2048}, {-3, 1}};
    for (auto [items, buckets] : cases) EXPECT_EQ(CVocabolario::BucketCountFor(items), buckets) << items;

    auto one = LoadText("<ITEM id=\"1\" name=\"Only\" modbusaddress=\"1\" read=\"1\"/>");
    EXPECT_EQ(one->BucketCount(), 1u);
    EXPECT_NE(one->FindItem("Only", 1), nullptr);
    auto none = LoadText("");
    EXPECT_EQ(none->ItemCount(), 0u);
    EXPECT_EQ(none->FindItemByName("Only"), nullptr);
    EXPECT_EQ(LoadFull(3)->BucketCount(), 128u);
}

TEST_F(VocabularyTest, ItemOrderNestingAndMoveToFront) {
    // Four items share the one bucket: enumeration follows document order, ITEMs nested in ITEMs
    // and grouping elements included, until a lookup moves an item to the head of its chain.
    auto v = LoadText(
        "<ITEM id=\"1\" name=\"First\"><ITEM id=\"2\" name=\"Nested\"/></ITEM>"
        "<GROUP><SUB><ITEM id=\"3\" name=\"Deep\"/></SUB></GROUP><ITEM id=\"4\" name=\"Last\"/>");
    ASSERT_EQ(v->BucketCount(), 1u);
    EXPECT_EQ(v->ItemNamesInOrder(), (std::vector<std::string>{"First", "Nested", "Deep", "Last"}));
    ASSERT_NE(v->FindItemByName("Deep"), nullptr);
    EXPECT_EQ(v->ItemNamesInOrder(), (std::vector<std::string>{"Deep", "First", "Nested", "Last"}));

    std::vector<std::string> enumerated;
    std::string xml;
    for (int rc = v->GetNextItemXml(false, xml); rc == 0; rc = v->GetNextItemXml(true, xml)) {
        CXmlDocument doc;
        ASSERT_EQ(doc.LoadXml(xml), S_OK);
        enumerated.push_back(doc.Root().GetAttribute("name"));
    }
    EXPECT_EQ(enumerated, v->ItemNamesInOrder());
    EXPECT_EQ(v->GetNextItemXml(true, xml), -1);

    // Over many buckets the enumeration is bucket by bucket and covers every item once.
    auto full = LoadFull(3);
    std::vector<std::string> names = full->ItemNamesInOrder();
    EXPECT_EQ(names.size(), full->ItemCount());
    uint32_t lastBucket = 0;
    for (const std::string& n : names) {
        const uint32_t bucket = CVocabolario::NameHash(n) & (full->BucketCount() - 1);
        EXPECT_GE(bucket, lastBucket) << n;
        lastBucket = bucket;
    }
}

TEST_F(VocabularyTest, EnumerationTextOfAnItem) {
    auto v = LoadText(
        "<ITEM id=\"7\" name=\"Gain\" title=\"Gain &amp; more\" descr=\"d\" fieldbusaddress=\"0x2000.03\" "
        "modbusaddress=\"0x20\" read=\"1\" write=\"F\" size=\"4\" signed=\"2\" Restore=\"9\" "
        "class=\"command\" "
        "vocabulary=\"I\"/>");
    std::string xml;
    ASSERT_EQ(v->GetNextItemXml(false, xml), 0);
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml(xml), S_OK);
    const CXmlNode& n = doc.Root();
    const std::pair<const char*, const char*> expected[] = {
        {"modbusaddress", "32"}, {"busaddress", "0x2000.03"},
        {"read", "True"},        {"write", "False"},
        {"size", "4"},           {"signed", "2"},
        {"name", "Gain"},        {"title", "Gain & more"},
        {"descr", "d"},          {"restore", "9"},
        {"class", "2"},          {"vocab", "False"},
    };
    ASSERT_EQ(n.Attributes().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(n.Attributes()[i]->Name(), expected[i].first);
        EXPECT_EQ(n.Attributes()[i]->Value(), expected[i].second) << expected[i].first;
    }
    EXPECT_EQ(v->GetNextItemXml(true, xml), -1);
}

TEST_F(VocabularyTest, DuplicateAndNamelessItemsAreReported) {
    auto v = LoadText(
        "<ITEM id=\"1\" name=\"Twice\" modbusaddress=\"10\"/><ITEM id=\"2\" descr=\"no name here\"/>"
        "<ITEM id=\"3\" name=\"Twice\" modbusaddress=\"11\"/>");
    EXPECT_EQ(v->ItemCount(), 1u);
    EXPECT_EQ(v->FindItemByName("Twice")->modbusAddress, 10);
    const auto asked = prompts.Asked();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].text, "Item without name in file 100_1_0_0.xml:\r\nno name here");
    EXPECT_EQ(asked[0].caption, "Configuration file corrupted");
    EXPECT_EQ(asked[1].text, "item name 'Twice' duplicated in file 100_1_0_0.xml");
    EXPECT_EQ(asked[1].caption, "Configuration file corrupted");
}

TEST_F(VocabularyTest, AddressAndTitleMaps) {
    auto v = LoadText(
        "<ITEM id=\"1\" name=\"A\" title=\"Shown\" modbusaddress=\"5\"/><ITEM id=\"2\" name=\"B\" "
        "modbusaddress=\"5\"/>"
        "<ITEM id=\"3\" name=\"C\"/>");
    EXPECT_EQ(v->FindItemByModbusAddress(5)->name, "B");  // the later item replaces the earlier
    EXPECT_EQ(v->FindItemByModbusAddress(0), nullptr);
    EXPECT_EQ(v->FindItemByTitle("Shown")->name, "A");
    EXPECT_EQ(v->FindItemByTitle("C")->name, "C");
}

TEST_F(VocabularyTest, MissingFileOrDictionaryLoadsNothing) {
    auto missing = std::make_unique<CVocabolario>("Varno", 0, "nothing_here.xml", 6871, false);
    EXPECT_EQ(missing->Load(), 0u);
    WriteFile(Descriptions() / "1_2.xml", "<DEVICE hw=\"1\"><Modbus compact=\"3\"/></DEVICE>");
    auto empty = std::make_unique<CVocabolario>("Varno", 0, "1_2.xml", 6871, false);
    EXPECT_EQ(empty->Load(), 0u);
    EXPECT_EQ(empty->compact, 3);
    WriteFile(Descriptions() / "1_3.xml", "<DEVICE><DICTIONARY><ITEM name=\"x\"</DICTIONARY>");
    auto broken = std::make_unique<CVocabolario>("Varno", 0, "1_3.xml", 6871, false);
    EXPECT_EQ(broken->Load(), 0u);
}

TEST_F(VocabularyTest, LoadingReplacesTheUserList) {
    LoadFull(3);
    CAuthorizations& auth = GetAuthorizations();
    ASSERT_EQ(auth.GetFullUsers().size(), 4u);
    EXPECT_EQ(auth.GetFullUsers()[2].name, "S");
    // A file without a user list brings back the built-in one.
    LoadText("<ITEM id=\"1\" name=\"A\"/>");
    ASSERT_EQ(auth.GetFullUsers().size(), 3u);
    EXPECT_EQ(auth.GetFullUsers()[2].name, "F");
}

TEST_F(VocabularyTest, HeaderTextIsEscapedAndReadBack) {
    CXmlDocument index;
    ASSERT_EQ(
        index.LoadXml(
            "<Item hw=\"3\" sw=\"410\" sw_ver=\"2\" build=\"7\" descr=\"Drive &quot;A&quot; &lt;&amp;&gt;\" "
            "minver=\"1.4,1.4.2\" type=\"fw\" hwdescr=\"rev &apos;B&apos;\" "
            "pver=\"410,2,1,0,2,7,1,3\" hide=\"1\"/>"),
        S_OK);
    CVocabolario v("Varno", 1, "410_2_1_0-beta7.xml", 6871, false);
    v.ReadHeader(index.Root(), 7, 3);
    EXPECT_EQ(v.descr, "Drive \"A\" <&>");
    EXPECT_EQ(v.identity.code, 410);
    EXPECT_EQ(v.identity.version.GetText(), "2.1.0-beta7");
    EXPECT_EQ(v.hide, 1);
    EXPECT_EQ(v.version, 7u);
    EXPECT_EQ(v.xml_ver, 3u);

    const std::string header = v.WriteHeader();
    EXPECT_EQ(header.find('\n'), std::string::npos);
    EXPECT_EQ(header.rfind("<Voc hw=\"3\" sw=\"410\" sw_ver=\"2\" build=\"7\" xml_ver=\"3\" descr=", 0), 0u);
    CXmlDocument back;
    ASSERT_EQ(back.LoadXml(header), S_OK) << header;
    const CXmlNode& n = back.Root();
    EXPECT_EQ(n.GetAttribute("descr"), "Drive \"A\" <&>");
    EXPECT_EQ(n.GetAttribute("hwdescr"), "rev 'B'");
    EXPECT_EQ(n.GetAttribute("file"), "410_2_1_0-beta7.xml");
    EXPECT_EQ(n.GetAttribute("brand"), "Varno");
    EXPECT_EQ(n.GetAttribute("nFw"), "1");
    EXPECT_EQ(n.GetAttribute("minver"), "1.4,1.4.2");
    EXPECT_EQ(n.GetAttribute("pver"), "410,2,1,0,2,7,1,3");
    EXPECT_EQ(n.GetAttribute("hide"), "1");
    const char* order[] = {"hw",  "sw",     "sw_ver", "build",  "xml_ver", "descr",   "file", "brand",
                           "nFw", "minver", "maxver", "recver", "type",    "hwdescr", "pver", "hide"};
    ASSERT_EQ(n.Attributes().size(), std::size(order));
    for (size_t i = 0; i < std::size(order); ++i) EXPECT_EQ(n.Attributes()[i]->Name(), order[i]);

    // Without "pver" the identity comes from the legacy numbers.
    ASSERT_EQ(index.LoadXml("<Item hw=\"1\" sw=\"12\" sw_ver=\"4\" build=\"3\" type=\"boot\"/>"), S_OK);
    CVocabolario legacy("Varno", 0, "12_4.xml", 6871, false);
    legacy.ReadHeader(index.Root(), 1, 1);
    EXPECT_EQ(legacy.identity.code, 12);
    EXPECT_EQ(legacy.identity.version.major, 4);
    EXPECT_EQ(legacy.identity.version.preNumber, 3u);
    EXPECT_EQ(legacy.identity.GetRole(), 2);
    EXPECT_EQ(legacy.WriteHeader().find("hide="), std::string::npos);
}

TEST_F(VocabularyTest, HardwareDescriptionOfEachVariant) {
    CXmlDocument doc;
    ASSERT_EQ(doc.Load(FixturePath(kFull)), S_OK);
    struct Case {
        uint32_t hw;
        const char* descr;
        const char* hwdescr;
    };
    const Case cases[] = {{3, "Servo drive 3 A & brake", "Power board rev. A"},
                          {5, "Servo drive 5 A", "Power board rev. B"},
                          {9, "Servo drive, other hardware", "Power board rev. A"}};
    for (const Case& c : cases) {
        std::string minver, maxver, recver, descr, type = "x", hwdescr;
        int32_t oem = 0;
        CIdentity identity;
        uint16_t build = 5;
        bool hide = true;
        ReadHardwareDescription(doc.Root(), c.hw, minver, maxver, recver, descr, type, hwdescr, oem, identity,
                                build, hide);
        EXPECT_EQ(descr, c.descr);
        EXPECT_EQ(hwdescr, c.hwdescr);
        EXPECT_EQ(minver, "1.4,1.4.2");
        EXPECT_EQ(maxver, "3.0");
        EXPECT_EQ(recver, "1.6,1.6.1");
        EXPECT_EQ(type, "fw");
        EXPECT_FALSE(hide);
        EXPECT_EQ(oem, int32_t(OemFor(410, 2)));
        EXPECT_EQ(identity.code, 410);
        EXPECT_EQ(identity.version.GetText(), "2.1.0");
        EXPECT_EQ(build, 0);  // a release identity clears the build
    }
}

TEST_F(VocabularyTest, ConcurrentLookupsOnASharedVocabulary) {
    auto v = LoadFull(3);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20000; ++i) {
                const std::string name = "Var" + std::to_string(10000 + (i * 7 + t) % kGenerated).substr(1);
                const VocabularyItem* item = v->FindItem(name, 0);
                if (!item || item->name != name) ++wrong;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(v->ItemNamesInOrder().size(), v->ItemCount());
}

}  // namespace
