#include "tests/linkora/LinkoraFixture.h"

#include <unistd.h>

#include "platform/bstr/Bstr.h"

bool LinkoraFunctions::Bind(const platform::DynamicLibrary& library, std::string* error) {
#define LINKORA_BIND(name) \
    if (!library.Bind(name, #name, error)) return false;
    LINKORA_EXPORTS(LINKORA_BIND)
#undef LINKORA_BIND
    return true;
}

void LinkoraTest::SetUp() {
    temp_ = std::filesystem::temp_directory_path() /
            ("linkora_test_" + std::to_string(getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(temp_);
    setenv("TUNOVA_TEMP_DIR", temp_.c_str(), 1);
    // A call without an answer fails after 1 s; transfers in these tests wait far longer.
    setenv("TUNOVA_GVTCLI_TIMEOUT_MS", "1000", 1);
    std::string error;
    ASSERT_GT(server_.Start(0, &error), 0) << error;
    setenv("TUNOVA_GVTSVR_PORT", std::to_string(server_.Port()).c_str(), 1);
    server_.AddNode(kNetwork, kNode);
    ASSERT_TRUE(library_.Open(TUNOVA_LINKORA_LIB, &error)) << error;
    ASSERT_TRUE(lk_.Bind(library_, &error)) << error;
}

void LinkoraTest::TearDown() {
    if (lk_.ChannelDestroyAll) lk_.ChannelDestroyAll();
    lk_.ChannelDefault ? lk_.ChannelDefault(0) : void();
    server_.Stop();
    std::error_code ec;
    std::filesystem::remove_all(temp_, ec);
}

std::string LinkoraTest::Definition(const std::string& bus, int node) {
    return "TCP/IP testhost:TCP/IP 0:TCP/IP 127.0.0.1:" + bus + ":NodeID " + std::to_string(node);
}

int32_t LinkoraTest::ConnectCanOpen(int node) {
    const int32_t id = lk_.ChannelCreate(Definition("CANopen " + std::to_string(kNetwork), node).c_str());
    EXPECT_GT(id, 0);
    lk_.ChannelDefault(id);
    const int32_t rc = lk_.ChannelConnect(id);
    EXPECT_EQ(rc, 0) << LastError(id);
    return id;
}

std::string LinkoraTest::LastError(int32_t channel) {
    BSTR text = nullptr;
    if (lk_.GetLastErrorStr(&text, channel) != 0) return "<no channel>";
    std::string s = platform::Utf8FromBstr(text);
    SysFreeString(text);
    return s;
}

std::string LinkoraTest::ErrorText(uint32_t code, uint32_t* detail, int32_t channel) {
    BSTR text = nullptr;
    EXPECT_EQ(lk_.GetErrorDetails(code, &text, detail, channel), 0);
    std::string s = platform::Utf8FromBstr(text);
    SysFreeString(text);
    return s;
}
