#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "drive/ParamData.h"
#include "drive/Parametri.h"

using namespace engine;
using namespace drive;

namespace {
template <class Group>
void ExpectAllNotRead(const Group& g, size_t count) {
    EXPECT_EQ(Group::kCellCount, count);
    for (size_t i = 0; i < count; ++i) {
        const CParamDw* cell = g.Cell(i);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->status, kCellNotRead);
        EXPECT_EQ(cell->value, 0u);
        EXPECT_EQ(cell->userTag, 0u);
        EXPECT_EQ(cell->sizeSign, 0);
    }
    EXPECT_EQ(g.Cell(count), nullptr);
}
}  // namespace

TEST(ParamDataModel, FreshGroupsAreNotRead) {
    CParamData data;
    ExpectAllNotRead(data.manufacturerData, 39);
    ExpectAllNotRead(data.autoCalibration, 76);
    ExpectAllNotRead(data.stepperMotor, 46);
    ExpectAllNotRead(data.oscilloscope, 13);
    ExpectAllNotRead(data.deviceProfile, 12);
    ExpectAllNotRead(data.movement, 61);
    ExpectAllNotRead(data.diagnostic, 13);
    ExpectAllNotRead(data.settings, 19);
    ExpectAllNotRead(data.program, 25);
    ExpectAllNotRead(data.debugItems, 26);
    ExpectAllNotRead(data.vkrTest, 15);
    ExpectAllNotRead(data.zimba, 5);
    EXPECT_EQ(data.program.text.status, kCellNotRead);
}

TEST(ParamDataModel, CellCopyAndHolderUse) {
    CParamDw a;
    a.status = kCellValid;
    a.value = 0xDEADBEEF;
    a.userTag = 0x91;
    a.sizeSign = CParamDw::MakeSizeSign(2, true);
    a.result = -5;
    CParamDw b(a);
    EXPECT_EQ(b.status, kCellValid);
    EXPECT_EQ(b.value, 0xDEADBEEFu);
    EXPECT_EQ(b.userTag, 0x91u);
    EXPECT_EQ(b.sizeSign, 5);
    EXPECT_EQ(b.ItemSize(), 2u);
    EXPECT_TRUE(b.IsSigned());
    // The group result is the engine's, not part of the cached value.
    EXPECT_EQ(b.result, 0);
    CParamDw c;
    c = a;
    EXPECT_EQ(c.value, 0xDEADBEEFu);
    EXPECT_EQ(c.userTag, 0x91u);

    // The engine stores group reads through the holder; a user tag of 0 still gets reported.
    CCellHolder* holder = &c;
    holder->value = 7;
    holder->status = CCellHolder::kReadError;
    EXPECT_EQ(c.value, 7u);
    EXPECT_EQ(c.status, kCellReadError);
    CParamDw fresh;
    EXPECT_NE(static_cast<CCellHolder&>(fresh).reportWord, 0u);
}

TEST(ParamDataModel, TextCellAlwaysOwnsItsBuffer) {
    CParamChar cell;
    EXPECT_EQ(cell.status, kCellNotRead);
    ASSERT_EQ(cell.Capacity(), 50u);
    for (size_t i = 0; i < cell.Capacity(); ++i) EXPECT_EQ(cell.Buffer()[i], '\0');
    EXPECT_EQ(cell.Text(), "");

    cell.SetText("drive one");
    EXPECT_EQ(cell.Text(), "drive one");
    // Too long a text is cut, keeping the terminator and whole UTF-8 sequences.
    std::string longText(48, 'x');
    longText += "\xC3\xA9\xC3\xA9";
    cell.SetText(longText);
    EXPECT_EQ(cell.Text(), std::string(48, 'x'));
    EXPECT_EQ(cell.Buffer()[49], '\0');
    // A buffer filled without terminator is still read within its bounds.
    std::memset(cell.Buffer(), 'y', cell.Capacity());
    EXPECT_EQ(cell.Text(), std::string(50, 'y'));

    CParamChar copy(cell);
    EXPECT_NE(copy.Buffer(), cell.Buffer());
    EXPECT_EQ(copy.Text(), cell.Text());
}

TEST(ParamDataModel, ClearDropsOnlyTheDescriptionParts) {
    CParametri p;
    EXPECT_EQ(p.index, -1);
    p.Clear();  // empty: nothing happens
    EXPECT_TRUE(p.ioLists.empty());
    ASSERT_TRUE(p.data && p.data2);
    EXPECT_NE(p.data.get(), p.data2.get());

    auto io = std::make_unique<Cio_List>();
    EXPECT_EQ(io->address, -1);
    EXPECT_EQ(io->state.status, kCellNotRead);
    io->elements.push_back(std::make_unique<Cio_ListElement>());
    io->elements.push_back(std::make_unique<Cio_ListElement>());
    p.ioLists.push_back(std::move(io));
    auto v = std::make_unique<Cvariables>();
    EXPECT_EQ(v->cell.status, kCellNotRead);
    EXPECT_EQ(v->pageValue1, 0);
    EXPECT_EQ(v->pageValue2, -1);
    p.variables.push_back(std::move(v));
    p.data->movement.cells[3].SetRead(42);
    p.data2->zimba.cells[4].SetRead(7);
    p.texts1.push_back("kept");
    p.text1 = "kept";
    CParamData* first = p.data.get();

    p.Clear();
    EXPECT_TRUE(p.ioLists.empty());
    EXPECT_TRUE(p.variables.empty());
    EXPECT_EQ(p.data.get(), first);
    EXPECT_EQ(p.data->movement.cells[3].value, 42u);
    EXPECT_EQ(p.data->movement.cells[3].status, kCellValid);
    EXPECT_EQ(p.data2->zimba.cells[4].value, 7u);
    EXPECT_EQ(p.texts1.size(), 1u);
    EXPECT_EQ(p.text1, "kept");
}
