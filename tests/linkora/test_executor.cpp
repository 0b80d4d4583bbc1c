// The exported SDO command executor on its own: lists, limits, estimates and codes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "linkora/NcsCom.h"
#include "platform/Messages.h"

using namespace linkora;

namespace {

TEST(NcsExecutor, ListLimitsAndOfflineExecution) {
    CNCS_COM executor;
    CSDO_LIST_CMD* list = executor.NCS_Create(1);
    ASSERT_NE(list, nullptr);
    for (int i = 0; i < 25; ++i) EXPECT_EQ(executor.NCS_SDO_Add(list, 0, 0x6041, 0, 0, 2, 0, 0), i);
    EXPECT_EQ(executor.NCS_SDO_Add(list, 0, 0x6041, 0, 0, 2, 0, 0), 0);
    EXPECT_EQ(executor.NCS_GetErrorCode(list), 0x120004);
    EXPECT_EQ(executor.NCS_Execute(list, 100), 0u);
    EXPECT_TRUE(executor.NCS_IsFinished(list));
    EXPECT_FALSE(executor.NCS_IsCorrect(list));
    executor.NCS_Destroy(list);

    list = executor.NCS_Create(1);
    executor.NCS_SDO_Add(list, 0, 0x1000, 0, 0, 4, 0, 0);
    EXPECT_EQ(executor.NCS_Execute(list, 100), 0u);  // not on-line
    EXPECT_EQ(executor.NCS_GetErrorCode(list), 0x120005);
    EXPECT_TRUE(executor.NCS_IsFinished(list));
    EXPECT_EQ(executor.NCS_SDO_GetStatus(list, 3), -1);
    EXPECT_EQ(executor.NCS_SDO_GetValue(list, 1), 0xFFFFFFFFu);
    executor.NCS_Destroy(list);

    EXPECT_EQ(executor.NCS_Execute(nullptr, 100), 0x120000u);
    EXPECT_EQ(executor.NCS_GetStatus(nullptr), -1);
    EXPECT_EQ(executor.NCS_GetErrorCode(nullptr), -1);
    EXPECT_EQ(executor.NCS_SDO_Add(nullptr, 0, 1, 0, 0, 1, 0, 0), -1);
    executor.NCS_Destroy(nullptr);
}

TEST(NcsExecutor, EstimatesTimeoutsAndPacing) {
    CNCS_COM executor;
    CSDO_LIST_CMD* list = executor.NCS_Create(1);
    executor.NCS_SDO_Add(list, 0, 0x1000, 0, 0, 4, 0, 0);
    EXPECT_EQ(executor.NCS_CalculateExecuteTime(list), 52);
    EXPECT_EQ(executor.NCS_CalculateTimeoutList(list), 2057);
    EXPECT_EQ(list->retryDelay, 10);
    EXPECT_EQ(list->retryCount, 1);
    executor.NCS_Destroy(list);

    // Two write domains: offsets follow each other in the write area.
    uint8_t first[100], second[50];
    list = executor.NCS_Create(1);
    EXPECT_EQ(executor.NCS_SDO_AddDomain(list, 1, 0x2100, 0, first, 100, 0, 7, 0), 0);
    EXPECT_EQ(executor.NCS_SDO_AddDomain(list, 1, 0x2101, 0, second, 50, 0, 7, 0), 1);
    EXPECT_EQ(list->element[1].offset, 100u);
    EXPECT_EQ(list->writeTotal, 150u);
    EXPECT_EQ(list->readTotal, 0u);
    // 2 x 5000 + 150000 / 7 = 31428 us of base time: 2 sleeps of 15000 us less a third.
    executor.NCS_CalculateExecuteTime(list);
    EXPECT_EQ(list->retryDelay, (31428 / 15000 * 15000 - 5000) / 1000);
    executor.NCS_Destroy(list);

    // A long read domain paces its polls at 500 ms.
    std::vector<uint8_t> big(100000);
    list = executor.NCS_Create(1);
    executor.NCS_SDO_AddDomain(list, 0, 0x2100, 0, big.data(), 100000, 0, 7, 0);
    executor.NCS_CalculateExecuteTime(list);
    EXPECT_EQ(list->retryDelay, 500);
    EXPECT_GE(list->retryCount, 1);
    executor.NCS_Destroy(list);

    // A domain without data cannot be added.
    list = executor.NCS_Create(1);
    EXPECT_EQ(executor.NCS_SDO_AddDomain(list, 0, 0x2100, 0, nullptr, 10, 0, 7, 0), 0);
    EXPECT_EQ(executor.NCS_GetErrorCode(list), 0x120002);
    executor.NCS_Destroy(list);
}

TEST(NcsExecutor, DecodeErrorTexts) {
    CNCS_COM executor;
    std::string text;
    EXPECT_EQ(executor.NCS_DecodeError(nullptr, text, 0x120003), 1);
    EXPECT_EQ(text, "Timeout reached in Execute function: code(12000308)");
    EXPECT_EQ(executor.NCS_DecodeError(nullptr, text, 0x120004), 1);
    EXPECT_EQ(text, "Reached the maximum number of element in the NCS: code(12000408)");
    EXPECT_EQ(executor.NCS_DecodeError(nullptr, text, 0x777), 1);
    EXPECT_EQ(text, "Unknow error code: 00000777");
    text = "unchanged";
    EXPECT_EQ(executor.NCS_DecodeError(nullptr, text, 0x120005), 0);
    EXPECT_EQ(executor.NCS_DecodeError(nullptr, text, 0x120007), 0);
    EXPECT_EQ(text, "unchanged");
    CSDO_LIST_CMD* list = executor.NCS_Create(0);
    executor.NCS_SetError(list, 0x120001, 5);
    executor.NCS_SetError(list, 0x120002, 6);  // only the first error is kept
    EXPECT_EQ(executor.NCS_DecodeError(list, text, 0), 1);
    EXPECT_EQ(text, "No memory for Write Domain Area: code(12000108)");
    EXPECT_EQ(executor.NCS_GetStatus(list), -1);
    executor.NCS_Destroy(list);
}

TEST(NcsExecutor, LoginWithoutOwnerOrNodeIsRefused) {
    CNCS_COM executor;
    std::string error;
    EXPECT_EQ(executor.Login(nullptr, error), 0x111u);  // no node id
    executor.NCS_NodeIdSel(5, 1);
    EXPECT_EQ(executor.Login(nullptr, error), 0x111u);  // no owner to call through
    EXPECT_FALSE(executor.IsOnLine());
}

}  // namespace

namespace {

bool PostThroughTheProgram(uintptr_t window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    return platform::PostMessage(window, message, wParam, lParam);
}

void PutBigEndian(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// The server's answers that tell of a lost network or node reach the owner window once per
// change of their detail; the network notice carries a copy of the answer.
TEST(NcsExecutor, NetworkNoticesArePostedToTheOwnerWindow) {
    platform::RecordingSink sink;
    CNCS_COM executor;
    CSDO_LIST_CMD* list = executor.NCS_Create(1);
    ASSERT_NE(list, nullptr);
    auto answer = [&](uint32_t code, uint32_t detail) {
        list->errorCode = 0;  // the list keeps its first error; each step starts clean
        PutBigEndian(list->answer + 12, code);
        PutBigEndian(list->answer + 16, detail);
        list->answer[100] = static_cast<uint8_t>(detail);
        return executor.ChkFrameError(list);
    };
    // Without an owner window nothing is posted; the list still records the fault.
    EXPECT_EQ(answer(0x02090008, 1), 1);
    EXPECT_EQ(executor.NCS_GetErrorCode(list), 0x120006);
    platform::PumpMessages();
    EXPECT_TRUE(sink.Messages().empty());

    executor.SetOwnerWindow(sink.Handle(), &PostThroughTheProgram);
    struct Step {
        uint32_t code, detail;
        int64_t error;
        unsigned posted;  // 0: none
    } steps[] = {
        {0x02090008, 2, 0x120006, LINKORA_NETWORK_DOWN_MESSAGE},
        {0x02090008, 2, 0x120006, 0},  // the same detail again
        {0x02090009, 3, 0x120005, LINKORA_NODE_OFFLINE_MESSAGE},
        {0x02090008, 4, 0x120006, LINKORA_NETWORK_DOWN_MESSAGE},
        {0, 5, 0, 0},  // no error
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.detail);
        sink.Clear();
        EXPECT_EQ(answer(step.code, step.detail), step.code ? 1 : 0);
        EXPECT_EQ(executor.NCS_GetErrorCode(list), step.error);
        platform::PumpMessages();
        if (!step.posted) {
            EXPECT_TRUE(sink.Messages().empty());
            continue;
        }
        ASSERT_EQ(sink.Messages().size(), 1u);
        const platform::Message m = sink.Messages()[0];
        EXPECT_EQ(m.msg, step.posted);
        if (step.posted == LINKORA_NODE_OFFLINE_MESSAGE) {
            EXPECT_EQ(m.lParam, 0);
        } else {
            std::unique_ptr<LinkoraFrameCopy> copy(reinterpret_cast<LinkoraFrameCopy*>(m.lParam));
            ASSERT_NE(copy, nullptr);
            EXPECT_EQ(0, std::memcmp(copy->frame, list->answer, sizeof copy->frame));
        }
    }
    // No window any more: nothing posted.
    executor.SetOwnerWindow(0, &PostThroughTheProgram);
    sink.Clear();
    answer(0x02090008, 9);
    platform::PumpMessages();
    EXPECT_TRUE(sink.Messages().empty());
    executor.NCS_Destroy(list);
}

}  // namespace
