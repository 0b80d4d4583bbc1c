#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "drive/MotorDatabase.h"
#include "foundation/XmlAttribute.h"

using namespace foundation;
using namespace drive;

namespace fs = std::filesystem;

namespace {

const fs::path kMotorFixtures = fs::path(TUNOVA_FIXTURES) / "drive" / "motors";

class MotorDatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tunova_motors_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        dbFolder_ = root_ / "source";
        userFolder_ = root_ / "settings";
        fs::create_directories(dbFolder_);
        fs::create_directories(userFolder_);
    }
    void TearDown() override { fs::remove_all(root_); }

    void InstallDatabase() { fs::copy_file(kMotorFixtures / "Motors.xml", dbFolder_ / "Motors.xml"); }
    void InstallUser(const char* fixture, const char* as) {
        fs::copy_file(kMotorFixtures / fixture, userFolder_ / as);
    }
    void WriteFile(const fs::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string ReadFile(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    static MotorDriveInfo FamilyA() {
        MotorDriveInfo info;
        info.familyCode = 10;
        info.familyBasedSelection = true;
        info.familyName = "FamA";
        return info;
    }

    static std::string Attr(const CMotor* motor, const char* name) {
        const CXmlAttribute* a = motor ? motor->GetAttribute(name) : nullptr;
        return a ? a->Value() : "<none>";
    }

    fs::path root_, dbFolder_, userFolder_;
    CMotorDatabase db_;
};

TEST_F(MotorDatabaseTest, LoadsTheFamilyGroupsWithComponentsAndDefinitions) {
    InstallDatabase();
    ASSERT_EQ(db_.LoadMotorDatabase(dbFolder_, userFolder_, FamilyA()), "");

    // G1 and G2 are offered to family 10; G3 belongs to another family; a motor without id is skipped.
    EXPECT_NE(db_.FindMotor("M1"), nullptr);
    EXPECT_EQ(db_.FindMotor("m1"), db_.FindMotor("M1"));
    EXPECT_NE(db_.FindMotor("M2"), nullptr);
    EXPECT_NE(db_.FindMotor("shared"), nullptr);
    EXPECT_EQ(db_.FindMotor("OtherFamily"), nullptr);
    EXPECT_EQ(db_.Motors().size(), 3u);

    // Own attributes first, then components in list order; unknown component ids are skipped.
    const CMotor* m1 = db_.FindMotor("m1");
    EXPECT_EQ(m1->user, 0);
    ASSERT_EQ(m1->components.size(), 2u);
    EXPECT_EQ(Attr(m1, "poles"), "8");
    EXPECT_EQ(Attr(m1, "fb"), "16");
    EXPECT_EQ(Attr(m1, "nothing"), "<none>");
    const CMotor* m2 = db_.FindMotor("m2");
    ASSERT_EQ(m2->components.size(), 2u);
    EXPECT_EQ(Attr(m2, "poles"), "6");
    EXPECT_EQ(Attr(m2, "r"), "1.5");

    // The component list is not an attribute of the motor, yet stays in the document.
    EXPECT_EQ(Attr(m1, "Components"), "<none>");
    EXPECT_NE(m1->element->FindAttribute("Components"), nullptr);
    std::vector<const CXmlAttribute*> all;
    m1->GetAllAttributes(all);
    std::vector<std::string> names;
    for (const CXmlAttribute* a : all) names.push_back(a->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"id", "type", "brand", "model", "poles", "r", "fb", "poles"}));

    // Attribute definitions, roles and formats of the family.
    EXPECT_EQ(db_.RoleName(MotorRole::T), "type");
    EXPECT_EQ(db_.RoleName(MotorRole::B), "brand");
    EXPECT_EQ(db_.RoleName(MotorRole::M), "model");
    EXPECT_EQ(db_.RoleName(MotorRole::A), "poles");
    EXPECT_EQ(db_.AttributesByName().count("fb"), 1u);
    EXPECT_EQ(db_.AttributesByName().count(""), 0u);
    EXPECT_EQ(db_.Formats().size(), 2u);
    ASSERT_NE(db_.FindFormat("motor_poles"), nullptr);
    EXPECT_EQ(db_.FindFormat("motor_poles")->GetAttribute("name"), "Poles");
    EXPECT_NE(db_.FindFormat("unnamed_var"), nullptr);
    EXPECT_EQ(db_.FindFormat("no_such_var"), nullptr);
    EXPECT_EQ(db_.GetEnumTitle("Poles", 8), "Eight poles");
    EXPECT_EQ(db_.GetEnumTitle("Feedback", 16), "Resolver");
    EXPECT_EQ(db_.GetEnumTitle("Poles", 5), "5");
    EXPECT_EQ(db_.GetEnumTitle("Nope", -3), "-3");
    ASSERT_NE(db_.FamilyAttributes(), nullptr);
    ASSERT_NE(db_.View(), nullptr);
}

TEST_F(MotorDatabaseTest, FamiliesWithoutMatchOrGroupsGiveNoDatabaseMotors) {
    InstallDatabase();
    for (int family : {30, 99}) {
        MotorDriveInfo info = FamilyA();
        info.familyCode = family;
        db_.ClearMotorDatabase();
        EXPECT_EQ(db_.LoadMotorDatabase(dbFolder_, userFolder_, info), "");
        EXPECT_TRUE(db_.Motors().empty()) << family;
        EXPECT_EQ(db_.RoleName(MotorRole::T), "t");
    }
}

TEST_F(MotorDatabaseTest, VersionAndRootAreChecked) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"<Motors version=\"2\"><Map/></Motors>",
         "motor file version greater than Tunova interpreter version. Please install a newer version of "
         "Tunova"},
        {"<Motors version=\"1\"/>", ""},
        {"<Motors/>", ""},
        {"<MotorList version=\"1\"/>", "Motors: read file error or not a database motor file"},
        {"<Motors><broken", ""},  // a file that does not load is no error: only user motors
    };
    for (const Case& c : cases) {
        WriteFile(dbFolder_ / "Motors.xml", c.text);
        CMotorDatabase db;
        EXPECT_EQ(db.LoadMotorDatabase(dbFolder_, userFolder_, FamilyA()), c.error) << c.text;
    }
}

TEST_F(MotorDatabaseTest, UserMotorsReplaceDatabaseMotorsAndGetTheUserPrefix) {
    InstallDatabase();
    InstallUser("MotorsUser.xml", "MotorsUser.xml");
    ASSERT_EQ(db_.LoadMotorDatabase(dbFolder_, userFolder_, FamilyA()), "");
    const CMotor* shared = db_.FindMotor("Shared");
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->user, 1);
    EXPECT_EQ(Attr(shared, "type"), "User:Custom");
    EXPECT_EQ(Attr(db_.FindMotor("u2"), "type"), "User:Already");
    EXPECT_EQ(db_.FindMotor("S1"), nullptr);  // another group
    EXPECT_EQ(db_.Motors().size(), 4u);

    // Loading again while motors are held does nothing.
    EXPECT_EQ(db_.LoadMotorDatabase(dbFolder_, userFolder_, FamilyA()), "");
    EXPECT_EQ(Attr(db_.FindMotor("Shared"), "type"), "User:Custom");
}

TEST_F(MotorDatabaseTest, UserMotorsTakeTheirComponentsFromTheDatabase) {
    struct Case {
        bool makerDatabase;
        const char* motor;
        const char* attribute;
        const char* value;
    } cases[] = {
        {true, "Shared", "poles", "8"},                                           // from component W1
        {true, "Shared", "r", "1.5"},         {true, "Shared", "model", "Mine"},  // its own attribute first
        {true, "u2", "poles", "<none>"},                                          // no component list
        {false, "Shared", "poles", "<none>"},  // no maker database, no components
    };
    InstallDatabase();
    InstallUser("MotorsUser.xml", "MotorsUser.xml");
    for (const Case& c : cases) {
        CMotorDatabase db;
        ASSERT_EQ(db.LoadMotorDatabase(c.makerDatabase ? dbFolder_ : fs::path(), userFolder_, FamilyA()), "");
        const CMotor* motor = db.FindMotor(c.motor);
        ASSERT_NE(motor, nullptr) << c.motor;
        EXPECT_EQ(motor->user, 1);
        EXPECT_EQ(Attr(motor, c.attribute), c.value) << c.motor << " " << c.attribute;
    }
}

TEST_F(MotorDatabaseTest, WithoutFamilySelectionTheMotorClassPicksTheUserGroup) {
    InstallUser("MotorsUser.xml", "MotorsUser.xml");
    MotorDriveInfo info;
    info.familyCode = 10;
    info.motorClass = "stepper";
    ASSERT_EQ(db_.LoadMotorDatabase(dbFolder_, userFolder_, info), "");  // no maker database at all
    ASSERT_EQ(db_.Motors().size(), 1u);
    EXPECT_EQ(Attr(db_.FindMotor("s1"), "type"), "Step");
}

TEST_F(MotorDatabaseTest, NoConfigurationSourceMeansNoMakerDatabase) {
    InstallUser("MotorsUser.xml", "MotorsUser.xml");
    ASSERT_EQ(db_.LoadMotorDatabase("", userFolder_, FamilyA()), "");
    EXPECT_EQ(db_.Motors().size(), 2u);
    EXPECT_EQ(db_.FindMotor("m1"), nullptr);
}

TEST_F(MotorDatabaseTest, OldUserFileIsConvertedAndSaved) {
    InstallUser("UserMotors_old.xml", "UserMotors.xml");
    MotorDriveInfo info;
    info.motorClass = "stepper";  // a motor without "Class" is a stepper
    ASSERT_EQ(db_.LoadMotorDatabase(dbFolder_, userFolder_, info), "");
    EXPECT_EQ(db_.Motors().size(), 2u);
    EXPECT_EQ(Attr(db_.FindMotor("{a1}"), "model"), "Old step");
    EXPECT_EQ(Attr(db_.FindMotor("{C3}"), "Class"), "<none>");

    CXmlDocument saved;
    ASSERT_EQ(saved.Load(userFolder_ / "MotorsUser.xml"), S_OK);
    EXPECT_EQ(saved.Root().Name(), "Motors");
    EXPECT_EQ(saved.Root().GetAttribute("version"), "1");
    ASSERT_EQ(saved.Root().Children().size(), 2u);
    const CXmlNode* stepper = saved.Root().Children()[0];
    EXPECT_EQ(stepper->GetAttribute("id"), "stepper");
    ASSERT_EQ(stepper->Children().size(), 2u);
    EXPECT_EQ(stepper->Children()[0]->GetAttribute("id"), "{A1}");
    EXPECT_EQ(stepper->Children()[0]->GetAttribute("r"), "2");
    EXPECT_EQ(stepper->Children()[0]->FindAttribute("GUID"), nullptr);
    EXPECT_EQ(saved.Root().Children()[1]->GetAttribute("id"), "brushless");
    ASSERT_EQ(saved.Root().Children()[1]->Children().size(), 1u);
    EXPECT_EQ(saved.Root().Children()[1]->Children()[0]->GetAttribute("id"), "{B2}");
}

TEST_F(MotorDatabaseTest, ConversionOfOtherFiles) {
    auto missing = ConvertOldMotorsFile(userFolder_ / "none.xml");
    EXPECT_EQ(missing->Root().Name(), "Motors");
    EXPECT_EQ(missing->Root().GetAttribute("version"), "1");
    EXPECT_TRUE(missing->Root().Children().empty());
    WriteFile(userFolder_ / "foreign.xml", "<Other><MOTORS><M GUID=\"x\"/></MOTORS></Other>");
    auto foreign = ConvertOldMotorsFile(userFolder_ / "foreign.xml");
    EXPECT_EQ(foreign->Root().Name(), "Motors");
    EXPECT_TRUE(foreign->Root().Children().empty());
    auto current = ConvertOldMotorsFile(kMotorFixtures / "MotorsUser.xml");
    EXPECT_EQ(current->Root().Children().size(), 2u);
}

TEST_F(MotorDatabaseTest, DamagedOrForeignUserFileIsKeptAsideAndRecreated) {
    struct Case {
        const char* text;
    } cases[] = {{"<Motors><Group id=\"FamA\"><Motor id=\"x\""}, {"<SomethingElse a=\"1\"/>"}};
    for (const Case& c : cases) {
        fs::remove(userFolder_ / "MotorsUser.xml.bad");
        WriteFile(userFolder_ / "MotorsUser.xml", c.text);
        CMotorDatabase db;
        EXPECT_EQ(db.LoadMotorDatabase(dbFolder_, userFolder_, FamilyA()), "");
        EXPECT_EQ(ReadFile(userFolder_ / "MotorsUser.xml.bad"), c.text);
        CXmlDocument fresh;
        ASSERT_EQ(fresh.Load(userFolder_ / "MotorsUser.xml"), S_OK);
        EXPECT_EQ(fresh.Root().Name(), "Motors");
        EXPECT_EQ(fresh.Root().GetAttribute("version"), "1");
    }
}

TEST_F(MotorDatabaseTest, UserMotorsKeepTheirComponentListWhenSaved) {
    InstallDatabase();
    InstallUser("MotorsUser.xml", "MotorsUser.xml");
    ASSERT_EQ(db_.LoadMotorDatabase(dbFolder_, userFolder_, FamilyA()), "");
    ASSERT_TRUE(db_.SaveUserMotors(userFolder_));
    EXPECT_NE(ReadFile(userFolder_ / "MotorsUser.xml").find("Components=\"W1\""), std::string::npos);
    std::string error;
    EXPECT_FALSE(db_.SaveUserMotors("/proc/tunova_no_such_folder", &error));
    EXPECT_FALSE(error.empty());
}

TEST(MotorAttributes, InitGivesTheFullDefaultSet) {
    CXmlNode motor;
    motor.SetName("Motor");
    motor.SetAttribute("b", "kept?");
    InitMotorAttributes(&motor);
    EXPECT_EQ(motor.GetAttribute("b", "x"), "");
    EXPECT_EQ(motor.GetAttribute("m", "x"), "");
    EXPECT_EQ(motor.GetAttribute("ty"), "1");
    EXPECT_EQ(motor.GetAttribute("il"), "1");
    for (const char* key : {"f", "fp", "ts", "p",  "ir", "im", "i",  "in", "r",  "tc", "tr", "tm", "sr", "sm",
                            "v", "pp", "a",  "fo", "fr", "fs", "fh", "ft", "to", "it", "bs", "bo", "bc"}) {
        EXPECT_EQ(motor.GetAttribute(key, "x"), "0") << key;
    }
    EXPECT_EQ(motor.Attributes().size(), 31u);
}

TEST(MotorAttributes, AttributeMapKeepsTheLastOfAName) {
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<Attributes><Attr name=\"a\" v=\"1\"/><Other name=\"b\"/><Attr v=\"2\"/>"
                          "<Attr name=\"a\" v=\"3\"/></Attributes>"),
              S_OK);
    std::map<std::string, CXmlNode*> map;
    ReadMotorAttributeMap(&doc.Root(), map);
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map["a"]->GetAttribute("v"), "3");
}

}  // namespace

namespace {

class RecordingDialogs : public IMotorSelectionDialogs {
  public:
    int SelectByFamily(CXmlNode* attributes, std::vector<std::string>& selection) override {
        given = attributes;
        selection.push_back("family");
        return 1;
    }
    int SelectFromView(CXmlNode* view, std::vector<std::string>& selection) override {
        given = view;
        selection.push_back("view");
        return 2;
    }
    CXmlNode* given = nullptr;
};

TEST_F(MotorDatabaseTest, SelectionOpensTheDialogOfTheFamilyKind) {
    InstallDatabase();
    ASSERT_EQ(db_.LoadMotorDatabase(dbFolder_, userFolder_, FamilyA()), "");
    RecordingDialogs dialogs;
    std::vector<std::string> selection{"in"};
    EXPECT_EQ(db_.SelectMotor(selection, true, dialogs), 1);
    EXPECT_EQ(dialogs.given, db_.FamilyAttributes());
    EXPECT_EQ(db_.SelectMotor(selection, false, dialogs), 2);
    EXPECT_EQ(dialogs.given, db_.View());
    EXPECT_EQ(selection, (std::vector<std::string>{"in", "family", "view"}));
}

}  // namespace
