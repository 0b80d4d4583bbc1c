#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "tools/drivesim/AdsServer.h"
#include "transport/TwincatAds.h"

namespace ads_test {

inline AdsNetId ServerNetId() {
    return AdsNetId{{5, 1, 2, 3, 1, 1}};
}

inline bool WaitUntil(const std::function<bool()>& done, int ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A route table in a temporary folder, named by TUNOVA_ADS_ROUTES while the object lives.
class RouteFile {
  public:
    explicit RouteFile(const std::string& text) {
        char pattern[] = "/tmp/tunova-ads-XXXXXX";
        folder_ = mkdtemp(pattern);
        path_ = folder_ / "ads-routes";
        std::ofstream(path_) << text;
        setenv("TUNOVA_ADS_ROUTES", path_.c_str(), 1);
    }
    ~RouteFile() {
        unsetenv("TUNOVA_ADS_ROUTES");
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path folder_;
    std::filesystem::path path_;
};

// The simulated EtherCAT network on loopback and a route to it.
class AdsFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        port_ = server_.Start(0, &error);
        ASSERT_GT(port_, 0) << error;
        routes_ = std::make_unique<RouteFile>("local 10.9.8.7.1.1\n5.1.2.3.1.1 127.0.0.1 " +
                                              std::to_string(port_) + "\n");
    }
    void TearDown() override { server_.Stop(); }

    // A channel on the library under test with the server as target and the slave chosen.
    std::unique_ptr<transport::CTwincatAds> MakeChannel(uint16_t slave = 1001,
                                                        const char* library = TUNOVA_ADS_LIBRARY) {
        auto channel = std::make_unique<transport::CTwincatAds>(&owner_, library);
        channel->SetTarget(ServerNetId(), slave);
        return channel;
    }

    drivesim::AdsServer server_;
    int port_ = -1;
    std::unique_ptr<RouteFile> routes_;
    transport::CErrorPair owner_;
};

inline transport::CAdsItem Item(uint16_t index, uint8_t sub, uint32_t size, uint8_t sign = 0,
                                const char* name = "Item") {
    transport::CAdsItem item;
    item.name = name;
    item.hasIndex = true;
    item.index = index;
    item.subIndex = sub;
    item.size = size;
    item.sign = sign;
    return item;
}

}  // namespace ads_test
