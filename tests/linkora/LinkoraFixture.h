#pragma once
// The library loaded by name and bound like the program binds it, and a communication
// server of the simulated drive on loopback with one CANopen node (network 1, node 5).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "linkora/LinkoraApi.h"
#include "platform/DynamicLibrary.h"
#include "tools/drivesim/CommServer.h"

struct LinkoraFunctions {
#define LINKORA_FN(name) decltype(&::name) name = nullptr;
    LINKORA_FN(ChannelConnect)
    LINKORA_FN(ChannelCreate)
    LINKORA_FN(ChannelDestroy)
    LINKORA_FN(ChannelDestroyAll)
    LINKORA_FN(ChannelDefault)
    LINKORA_FN(ChannelDisconnect)
    LINKORA_FN(GroupCreate)
    LINKORA_FN(GroupRemove)
    LINKORA_FN(GroupRemoveAll)
    LINKORA_FN(GroupExecute)
    LINKORA_FN(GroupStop)
    LINKORA_FN(GroupPauseExecute)
    LINKORA_FN(GroupResumeExecute)
    LINKORA_FN(VariableAdd)
    LINKORA_FN(VariableAddValue)
    LINKORA_FN(VariableRemove)
    LINKORA_FN(VariableRemoveAll)
    LINKORA_FN(VariableSet)
    LINKORA_FN(VariableGet)
    LINKORA_FN(VariableGetCount)
    LINKORA_FN(VariableGetMaxCount)
    LINKORA_FN(Read)
    LINKORA_FN(ReadValue)
    LINKORA_FN(Write)
    LINKORA_FN(CheckReadWrite)
    LINKORA_FN(GetLastErrorStr)
    LINKORA_FN(GetErrorDetails)
    LINKORA_FN(ChannelStatus)
    LINKORA_FN(ChannelReset)
#undef LINKORA_FN

    // Binds all 29 by name; false with the first missing name in error.
    bool Bind(const platform::DynamicLibrary& library, std::string* error);
};

constexpr uint16_t kNetwork = 1;
constexpr uint16_t kNode = 5;

class LinkoraTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // "TCP/IP host:TCP/IP 0:TCP/IP 127.0.0.1:<bus>:NodeID <node>" as the program writes it.
    static std::string Definition(const std::string& bus, int node);
    // Creates, defaults and connects a CANopen channel to the server; its id.
    int32_t ConnectCanOpen(int node = kNode);
    std::string LastError(int32_t channel);
    std::string ErrorText(uint32_t code, uint32_t* detail = nullptr, int32_t channel = 0);

    platform::DynamicLibrary library_;
    LinkoraFunctions lk_;
    drivesim::CommServer server_;
    std::filesystem::path temp_;
};
