#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"

using platform::NamedEvent;
using platform::SharedMemory;
using platform::SharedObjectName;
using WaitResult = platform::NamedEvent::WaitResult;

namespace {

// Names unique to this process and test, so that parallel runs never meet.
std::string UniqueName(const std::string& tag) {
    static int counter = 0;
    return "shmtest." + std::to_string(getpid()) + "." + std::to_string(++counter) + "." + tag;
}

}  // namespace

TEST(SharedObjectNameTest, DerivesPortableNames) {
    struct Case {
        std::string name;
        std::string expected;
    };
    const Case cases[] = {
        {"chan.f.s", "/tunova-chan.f.s"}, {"Local\\Peer 1", "/tunova-Local%5CPeer%201"},
        {"a/b%c", "/tunova-a%2Fb%25c"},   {"Mixed_Case-9", "/tunova-Mixed_Case-9"},
        {"\xC3\xA9", "/tunova-%C3%A9"},   {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(SharedObjectName(c.name), c.expected) << c.name;
    EXPECT_NE(SharedObjectName("abc"), SharedObjectName("ABC"));
    EXPECT_TRUE(SharedObjectName(std::string(300, 'x')).empty());
    EXPECT_TRUE(SharedObjectName(std::string(100, '/')).empty());  // escaping triples the length
}

TEST(SharedMemoryTest, OpenSeesWhatTheCreatorWrites) {
    const std::string name = UniqueName("view");
    SharedMemory creator;
    ASSERT_EQ(creator.Create(name, 4096), 0) << creator.LastErrorText();
    EXPECT_EQ(creator.Size(), 4096u);
    EXPECT_EQ(creator.Data()[0], 0);
    EXPECT_EQ(creator.Data()[4095], 0);

    SharedMemory opener;
    ASSERT_EQ(opener.Open(name), 0) << opener.LastErrorText();
    EXPECT_EQ(opener.Size(), 4096u);  // the whole object is mapped
    std::strcpy(creator.Data(), "hello");
    EXPECT_STREQ(opener.Data(), "hello");
    std::strcpy(opener.Data() + 100, "back");
    EXPECT_STREQ(creator.Data() + 100, "back");

    // The opener's close leaves the name; the creator's removes it.
    opener.Close();
    EXPECT_FALSE(opener.IsOpen());
    ASSERT_EQ(opener.Open(name), 0);
    opener.Close();
    creator.Close();
    EXPECT_EQ(opener.Open(name), -1);
    EXPECT_EQ(opener.LastError(), ENOENT);
}

TEST(SharedMemoryTest, RefusalsCarryTheirCause) {
    SharedMemory memory;
    EXPECT_EQ(memory.Open(UniqueName("missing")), -1);
    EXPECT_EQ(memory.LastError(), ENOENT);
    EXPECT_NE(memory.LastErrorText().find("missing"), std::string::npos);
    EXPECT_FALSE(memory.IsOpen());

    EXPECT_EQ(memory.Create(std::string(300, 'n'), 16), -1);
    EXPECT_EQ(memory.LastError(), ENAMETOOLONG);
    EXPECT_EQ(memory.Create("", 16), -1);

    const std::string name = UniqueName("dup");
    EXPECT_EQ(memory.Create(name, 0), -1);
    EXPECT_EQ(memory.LastError(), EINVAL);
    ASSERT_EQ(memory.Create(name, 64), 0);
    SharedMemory second;
    EXPECT_EQ(second.Create(name, 64), -1);
    EXPECT_EQ(second.LastError(), EEXIST);
}

TEST(NamedEventTest, AutoResetSemantics) {
    const std::string name = UniqueName("ev");
    NamedEvent creator;
    ASSERT_EQ(creator.Create(name), 0) << creator.LastErrorText();
    NamedEvent opener;
    ASSERT_EQ(opener.Open(name), 0) << opener.LastErrorText();

    EXPECT_EQ(opener.Wait(0), WaitResult::TimedOut);
    // Setting twice leaves one signal; a wait takes it.
    ASSERT_EQ(creator.Set(), 0);
    ASSERT_EQ(creator.Set(), 0);
    EXPECT_EQ(opener.Wait(0), WaitResult::Signalled);
    EXPECT_EQ(opener.Wait(0), WaitResult::TimedOut);
    // Reset drops a pending signal; resetting a clear event is harmless.
    ASSERT_EQ(opener.Set(), 0);
    ASSERT_EQ(creator.Reset(), 0);
    ASSERT_EQ(creator.Reset(), 0);
    EXPECT_EQ(opener.Wait(0), WaitResult::TimedOut);

    NamedEvent initiallySet;
    ASSERT_EQ(initiallySet.Create(UniqueName("init"), true), 0);
    EXPECT_EQ(initiallySet.Wait(0), WaitResult::Signalled);
}

TEST(NamedEventTest, WaitEndsOnSetFromAnotherThreadOrAtItsLimit) {
    const std::string name = UniqueName("wake");
    NamedEvent event;
    ASSERT_EQ(event.Create(name), 0);
    std::thread setter([&] {
        NamedEvent other;
        ASSERT_EQ(other.Open(name), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        other.Set();
    });
    EXPECT_EQ(event.Wait(30000), WaitResult::Signalled);
    setter.join();

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(event.Wait(50), WaitResult::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST(NamedEventTest, ClosedOrMissingEventsFail) {
    NamedEvent event;
    EXPECT_EQ(event.Open(UniqueName("none")), -1);
    EXPECT_EQ(event.LastError(), ENOENT);
    EXPECT_EQ(event.Wait(0), WaitResult::Failed);
    EXPECT_EQ(event.Set(), -1);
    EXPECT_EQ(event.Reset(), -1);

    const std::string name = UniqueName("gone");
    {
        NamedEvent creator;
        ASSERT_EQ(creator.Create(name), 0);
        NamedEvent dup;
        EXPECT_EQ(dup.Create(name), -1);
        EXPECT_EQ(dup.LastError(), EEXIST);
    }
    EXPECT_EQ(event.Open(name), -1);  // the creator removed the name
}

// The objects are shared between processes, as between the program and the peer tool.
TEST(SharedMemoryTest, ExchangeWithAnotherProcess) {
    const std::string memName = UniqueName("xmem");
    const std::string toChild = UniqueName("xdown");
    const std::string toParent = UniqueName("xup");
    SharedMemory memory;
    NamedEvent down, up;
    ASSERT_EQ(memory.Create(memName, 256), 0);
    ASSERT_EQ(down.Create(toChild), 0);
    ASSERT_EQ(up.Create(toParent), 0);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SharedMemory m;
        NamedEvent d, u;
        if (m.Open(memName) != 0 || d.Open(toChild) != 0 || u.Open(toParent) != 0) _exit(2);
        if (d.Wait(30000) != WaitResult::Signalled) _exit(3);
        if (std::strcmp(m.Data(), "ping") != 0) _exit(4);
        std::strcpy(m.Data(), "pong");
        u.Set();
        _exit(0);
    }
    std::strcpy(memory.Data(), "ping");
    down.Set();
    EXPECT_EQ(up.Wait(30000), WaitResult::Signalled);
    EXPECT_STREQ(memory.Data(), "pong");
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
