// The engine's codes and texts, and the channel types, as the engine's callers see them.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/ChannelTypes.h"
#include "engine/EngineCodes.h"

using namespace engine;

namespace {

TEST(EngineCodes, EveryFailureHasItsText) {
    // One code may stand for several failures: every (code, text) pair must be there, in
    // this order per code, the first being the text EngineCodeText gives.
    const std::vector<std::pair<int, std::string>> expected = {
        {-1, "too many nodes"},
        {-1, "internal error:vocabulary not found"},
        {-1, "the cyclic thread did not pause"},
        {-2, "troppi item ciclici"},
        {-20, "not implemented on simulated nodes"},
        {-30, "Item not writable in Modbus connection"},
        {-30, "Item not readable in Modbus connection"},
        {-31, "wrong channel"},
        {-32, "internal error:channel not found"},
        {-33, "internal error:channel not found"},
        {-36, "RateWhenSelected e RateWhenNoSelected sono entrambi 0"},
        {-36, "hWndNotify non \xC3\xA8 una finestra esistente"},
        {-37, "Error creating cyclic thread"},
        {-38, "Error terminating cyclic thread"},
        {-41, "starting thread Upload"},
        {-43, "starting Firmware prepare thread"},
        {-50, "node busy in downloading or uploading"},
        {-302, "domain cell size must be 0"},
        {-302, "implemented only via Vesk bridge"},
        {-302, "a cell holder carries at most 4 bytes"},
        {-303, "cell item not found"},
        {-303, "unknown group"},
        {-304, "node not found"},
        {-305, "internal error:vocabulary not found"},
        {-306, "node busy"},
        {-308, "Item not readable"},
        {-309, "Item not writable"},
        {-310, "the node is changed"},
        {-311, "new node found but it isn't disconnected, please use NodeConnect() function"},
        {-311, "node not found, please use NodeConnect() function"},
    };
    std::vector<std::pair<int, std::string>> table;
    for (const auto& row : kEngineCodeTexts) table.emplace_back(row.code, row.text);
    EXPECT_EQ(table, expected);

    EXPECT_STREQ(EngineCodeText(engine_code::kNodeUnknownForDisconnect),
                 "new node found but it isn't disconnected, please use NodeConnect() function");
    EXPECT_STREQ(EngineCodeText(engine_code::kTransferBusy), "node busy in downloading or uploading");
    // Codes that carry no text of their own.
    for (int code : {engine_code::kOk, engine_code::kBadChannelType, engine_code::kNoIdentification,
                     engine_code::kNodeLockFailed})
        EXPECT_EQ(EngineCodeText(code), nullptr) << code;
}

TEST(EngineCodes, ChannelTypes) {
    struct Case {
        int type;
        int kind;
        const char* listName;
    } cases[] = {
        {0, 0, "OFFLINE"}, {1, 1, nullptr},  {5, 4, "Linkora"}, {6, 5, nullptr},
        {7, 6, "TwinCAT"}, {8, 7, "Mirel"},  {2, -1, nullptr},  {3, -1, nullptr},
        {4, -1, nullptr},  {9, -1, nullptr}, {-1, -1, nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChannelKindOfType(c.type), c.kind) << c.type;
        const char* name = ChannelListName(c.type);
        if (c.listName)
            EXPECT_STREQ(name, c.listName) << c.type;
        else
            EXPECT_EQ(name, nullptr) << c.type;
    }
}

}  // namespace
