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
    LINKORA_EXPORTS(LINKORA_FN)
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
