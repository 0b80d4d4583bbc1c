#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

namespace {

struct Loopback : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(listener.Listen("127.0.0.1", 0), 0) << listener.LastErrorText();
        ASSERT_NE(listener.Port(), 0);
        ASSERT_EQ(client.Connect("127.0.0.1", listener.Port(), 5000), 0) << client.LastErrorText();
        ASSERT_EQ(listener.Accept(server, 5000), 1);
    }
    platform::TcpListener listener;
    platform::TcpSocket client, server;
};

TEST_F(Loopback, ExchangesBothWays) {
    EXPECT_EQ(client.SetNoDelay(true), 0);
    std::string big(200000, 'x');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    std::thread sender([&] { EXPECT_EQ(client.Send(big.data(), big.size()), static_cast<int>(big.size())); });
    std::string got(big.size(), '\0');
    EXPECT_EQ(server.RecvAll(got.data(), got.size(), 10000), static_cast<int>(big.size()));
    sender.join();
    EXPECT_EQ(got, big);

    ASSERT_EQ(server.Send("pong", 4), 4);
    char buffer[8];
    EXPECT_EQ(client.RecvAll(buffer, 4, 5000), 4);
    EXPECT_EQ(std::string(buffer, 4), "pong");
}

TEST_F(Loopback, RecvWaitsUpToTheDeadline) {
    char buffer[8];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.RecvSome(buffer, sizeof buffer, 80), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
    EXPECT_EQ(client.WaitReadable(0), 0);
    // A reply split in two pieces is gathered by RecvAll.
    std::thread late([&] {
        server.Send("ab", 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        server.Send("cd", 2);
    });
    EXPECT_EQ(client.RecvAll(buffer, 4, 10000), 4);
    late.join();
    EXPECT_EQ(std::string(buffer, 4), "abcd");
}

TEST_F(Loopback, DiscardPendingDropsWhatWaits) {
    server.Send("junk", 4);
    ASSERT_EQ(client.WaitReadable(5000), 1);
    EXPECT_EQ(client.DiscardPending(), 4);
    char buffer[4];
    EXPECT_EQ(client.RecvSome(buffer, sizeof buffer, 20), 0);
}

TEST_F(Loopback, PeerClosingIsAnErrorNotAHang) {
    server.Close();
    char buffer[4];
    EXPECT_EQ(client.RecvSome(buffer, sizeof buffer, 30000), -1);
    EXPECT_EQ(client.LastError(), ECONNRESET);
    EXPECT_NE(client.LastErrorText().find("closed by peer"), std::string::npos);
}

TEST(TcpSocketErrors, RefusedAndClosed) {
    platform::TcpListener listener;
    ASSERT_EQ(listener.Listen("127.0.0.1", 0), 0);
    const uint16_t port = listener.Port();
    listener.Close();
    platform::TcpSocket socket;
    EXPECT_EQ(socket.Connect("127.0.0.1", port, 5000), -1);
    EXPECT_EQ(socket.LastError(), ECONNREFUSED);
    EXPECT_FALSE(socket.LastErrorText().empty());
    char buffer[1];
    EXPECT_EQ(socket.Send(buffer, 1), -1);
    EXPECT_EQ(socket.RecvSome(buffer, 1, 10), -1);
    platform::TcpSocket none;
    EXPECT_EQ(listener.Accept(none, 10), -1);
}

TEST(TcpListenerTimeout, AcceptTimesOut) {
    platform::TcpListener listener;
    ASSERT_EQ(listener.Listen("127.0.0.1", 0), 0);
    platform::TcpSocket none;
    EXPECT_EQ(listener.Accept(none, 50), 0);
}

}  // namespace

TEST(NameResolution, DottedAddressesAndNames) {
    struct Case {
        const char* host;
        int error;
        uint32_t address;
    };
    const Case cases[] = {
        {"192.168.0.10", 0, 0xC0A8000Au},
        {"127.0.0.1", 0, 0x7F000001u},
        {"localhost", 0, 0x7F000001u},
        {"", EHOSTUNREACH, 0},
        {"no-such-host.invalid", EHOSTUNREACH, 0},
    };
    for (const Case& c : cases) {
        uint32_t address = 0;
        EXPECT_EQ(platform::ResolveIpv4(c.host, address), c.error) << c.host;
        if (c.error == 0) {
            EXPECT_EQ(address, c.address) << c.host;
        }
    }
    EXPECT_EQ(platform::Ipv4Text(0xC0A8000Au), "192.168.0.10");
    EXPECT_EQ(platform::Ipv4Text(0), "0.0.0.0");
}
