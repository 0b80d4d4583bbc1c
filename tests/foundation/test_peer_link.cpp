#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "PeerToolFixture.h"
#include "foundation/CommFP.h"
#include "platform/Prompt.h"
#include "platform/ThreadLog.h"

using namespace foundation;

using platform::FakeClock;

namespace {

// What the link's callbacks saw.
struct CallbackLog {
    std::mutex mutex;
    std::vector<std::pair<int32_t, std::string>> requests;
    std::atomic<int> closed{0};
    std::string answerPrefix = "answer:";
    // A request callback that blocks until released (for the busy-channel case).
    std::promise<void> entered;
    std::shared_future<void> release;
    bool block = false;

    static void OnRequest(void* context, int32_t id, std::string* request, std::string* answer) {
        auto* self = static_cast<CallbackLog*>(context);
        {
            std::lock_guard<std::mutex> lock(self->mutex);
            self->requests.emplace_back(id, *request);
        }
        if (self->block) {
            self->entered.set_value();
            self->release.wait();
        }
        *answer = self->answerPrefix + *request;
    }
    static void OnClosed(void* context) { ++static_cast<CallbackLog*>(context)->closed; }

    std::vector<std::pair<int32_t, std::string>> Requests() {
        std::lock_guard<std::mutex> lock(mutex);
        return requests;
    }
};

class PeerLinkTest : public ::testing::Test {
  protected:
    PeerLinkTest() { link_.SetCallbacks(&log_, &CallbackLog::OnRequest, &CallbackLog::OnClosed); }

    // The clock never moves unless a test moves it: no keep-alive comes by surprise.
    FakeClock clock_;
    CallbackLog log_;
    TestPeerTool peer_;
    CCommFP link_{clock_};
};

}  // namespace

TEST(PeerLinkOpenTest, ResultCodesReleaseWhatWasOpened) {
    struct Case {
        const char* what;
        unsigned objects;
        bool colon;
        int32_t expected;
    };
    using P = TestPeerTool;
    const Case cases[] = {
        {"no colon", P::kAll, false, CCommFP::kErrNoColon},
        {"no outgoing mapping", P::kAll & ~P::kOutgoingMapping, true, CCommFP::kErrMapping},
        {"no incoming mapping", P::kAll & ~P::kIncomingMapping, true, CCommFP::kErrMapping},
        {"no program event", P::kAll & ~P::kProgramEvent, true, CCommFP::kErrProgramEvent},
        {"no peer event", P::kAll & ~P::kPeerEvent, true, CCommFP::kErrPeerEvent},
        {"everything", P::kAll, true, CCommFP::kOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestPeerTool peer(512, c.objects);
        ASSERT_TRUE(peer.Created());
        FakeClock clock;
        CCommFP link(clock);
        EXPECT_EQ(link.KeepAlivePeriod(), 4000u);
        EXPECT_EQ(link.Open(c.colon ? peer.ChannelText(300) : peer.Name()), c.expected);
        EXPECT_EQ(link.IsOpen(), c.expected == 0);
        EXPECT_EQ(link.IsListening(), c.expected == 0);
        if (c.expected != 0) {
            EXPECT_FALSE(link.LastErrorText().empty());
            // Nothing stays held: the same link opens a complete channel afterwards.
            TestPeerTool complete;
            EXPECT_EQ(link.Open(complete.ChannelText()), 0);
        } else {
            EXPECT_EQ(link.Size(), 300);
            EXPECT_EQ(link.KeepAlivePeriod(), 4400u);
            EXPECT_EQ(link.Open(peer.ChannelText()), CCommFP::kErrAlreadyOpen);
            EXPECT_TRUE(link.IsOpen());
            EXPECT_EQ(link.Size(), 300);
        }
    }
}

TEST(PeerLinkOpenTest, ThreadsLogTheirStartAndStop) {
    std::mutex mutex;
    std::vector<std::string> lines;
    platform::SetThreadLogSink([&](const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(line);
    });
    {
        TestPeerTool peer;
        FakeClock clock;
        CCommFP link(clock);
        ASSERT_EQ(link.Open(peer.ChannelText()), 0);
        link.Close();
    }
    platform::SetThreadLogSink({});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("CCommFP::ListenThread started 0x", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("CCommFP::ListenThread stopped 0x", 0), 0u) << lines[1];
}

TEST_F(PeerLinkTest, RequestTravelsAsIdCommaTextAndGetsTheAnswer) {
    ASSERT_EQ(link_.Open(peer_.ChannelText()), 0);
    auto request = std::async(std::launch::async, [&] {
        std::string answer;
        const int32_t result = link_.Request(17, "<GET_STARTUPINFO Version=\"1\"/>", answer);
        return std::make_pair(result, answer);
    });
    std::string text;
    ASSERT_TRUE(peer_.Receive(&text));
    EXPECT_EQ(text, "17,<GET_STARTUPINFO Version=\"1\"/>");
    peer_.Send("<STARTUP/>");
    const auto [result, answer] = request.get();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(answer, "<STARTUP/>");

    // Negative ids keep their sign; the listening thread answers the peer again afterwards.
    request = std::async(std::launch::async, [&] {
        std::string answer;
        return std::make_pair(link_.Request(-3, "x", answer), answer);
    });
    ASSERT_TRUE(peer_.Receive(&text));
    EXPECT_EQ(text, "-3,x");
    peer_.Send("y");
    EXPECT_EQ(request.get(), std::make_pair(0, std::string("y")));
    peer_.Send("5,after");
    ASSERT_TRUE(peer_.Receive(&text));
    EXPECT_EQ(text, "answer:after");
}

TEST_F(PeerLinkTest, PeerRequestsReachTheCallback) {
    struct Case {
        const char* sent;
        int32_t id;
        const char* request;
    };
    const Case cases[] = {
        {"7,hello", 7, "hello"},
        {"12abc,x", 12, "x"},
        {"-4,neg", -4, "neg"},
        {"3,a,b", 3, "a,b"},
        {"0,", 0, ""},
        {"  9,blank", 9, "blank"},
        {"99999999999,big", 2147483647, "big"},
    };
    ASSERT_EQ(link_.Open(peer_.ChannelText()), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sent);
        peer_.Send(c.sent);
        std::string text;
        ASSERT_TRUE(peer_.Receive(&text));
        EXPECT_EQ(text, std::string("answer:") + c.request);
        const auto requests = log_.Requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.back(), std::make_pair(c.id, std::string(c.request)));
    }
    EXPECT_EQ(log_.Requests().size(), std::size(cases));
}

TEST_F(PeerLinkTest, PeerTextsWithoutIdGetNoAnswer) {
    ASSERT_EQ(link_.Open(peer_.ChannelText()), 0);
    for (const char* sent : {",leading comma", "no comma at all", ""}) {
        SCOPED_TRACE(sent);
        peer_.Send(sent);
        ASSERT_TRUE(peer_.WaitPeerSignalTaken());
        // The program's next signal is its own request: nothing was answered in between.
        auto request = std::async(std::launch::async, [&] {
            std::string answer;
            return link_.Request(1, "probe", answer);
        });
        std::string text;
        ASSERT_TRUE(peer_.Receive(&text));
        EXPECT_EQ(text, "1,probe");
        peer_.Send("ok");
        EXPECT_EQ(request.get(), 0);
    }
    EXPECT_TRUE(log_.Requests().empty());
}

TEST_F(PeerLinkTest, WithoutCallbackTheAnswerIsNotImplemented) {
    CCommFP bare(clock_);
    ASSERT_EQ(bare.Open(peer_.ChannelText()), 0);
    peer_.Send("16,<GETINFO/>");
    std::string text;
    ASSERT_TRUE(peer_.Receive(&text));
    EXPECT_EQ(text, "not implemented");
}

TEST_F(PeerLinkTest, PeerKeepAliveIsAnsweredOk) {
    ASSERT_EQ(link_.Open(peer_.ChannelText()), 0);
    peer_.Send("C6");
    std::string text;
    ASSERT_TRUE(peer_.Receive(&text));
    EXPECT_EQ(text, "Ok");
    EXPECT_TRUE(link_.IsOpen());
    EXPECT_TRUE(log_.Requests().empty());
}

TEST_F(PeerLinkTest, QuietLineSendsKeepAliveAndAnAnswerKeepsItOpen) {
    ASSERT_EQ(link_.Open(peer_.ChannelText()), 0);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const int64_t before = clock_.NowMs();
        std::string text;
        ASSERT_TRUE(peer_.ReceiveTicking(clock_, &text));
        EXPECT_EQ(text, "C6");
        EXPECT_GE(clock_.NowMs() - before, 4400);
        peer_.Send("Ok");
        ASSERT_TRUE(peer_.WaitPeerSignalTaken());
    }
    EXPECT_TRUE(link_.IsOpen());
    EXPECT_EQ(log_.closed, 0);
    // Still a working link.
    peer_.Send("2,still");
    std::string text;
    ASSERT_TRUE(peer_.Receive(&text));
    EXPECT_EQ(text, "answer:still");
}

TEST_F(PeerLinkTest, UnansweredKeepAliveClosesTheLinkOnce) {
    ASSERT_EQ(link_.Open(peer_.ChannelText()), 0);
    std::string text;
    ASSERT_TRUE(peer_.ReceiveTicking(clock_, &text));
    EXPECT_EQ(text, "C6");
    ASSERT_TRUE(TickUntil(clock_, [&] { return log_.closed.load() > 0 && !link_.IsListening(); }));
    EXPECT_FALSE(link_.IsOpen());
    std::string answer;
    EXPECT_EQ(link_.Request(1, "x", answer), CCommFP::kErrNotOpen);
    // More time changes nothing: the callback ran once.
    clock_.Advance(20000);
    link_.Close();
    EXPECT_EQ(log_.closed, 1);
}

TEST_F(PeerLinkTest, PeerCloseEndsTheLinkWithoutAnswer) {
    ASSERT_EQ(link_.Open(peer_.ChannelText()), 0);
    peer_.SetProgramView("untouched");
    peer_.Send("Close");
    ASSERT_TRUE(TickUntil(
        clock_, [&] { return log_.closed.load() > 0; }, 0));
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_FALSE(link_.IsListening());
    EXPECT_EQ(peer_.ProgramEventCount(), 0);
    EXPECT_EQ(peer_.ProgramView(), "untouched");
    EXPECT_EQ(log_.closed, 1);

    // The link opens again afterwards.
    ASSERT_EQ(link_.Open(peer_.ChannelText()), 0);
    peer_.Send("4,again");
    std::string text;
    ASSERT_TRUE(peer_.Receive(&text));
    EXPECT_EQ(text, "answer:again");
}

TEST_F(PeerLinkTest, UnansweredRequestTimesOutAndLeavesTheLinkOpen) {
    ASSERT_EQ(link_.Open(peer_.ChannelText()), 0);
    auto request = std::async(std::launch::async, [&] {
        std::string answer = "unchanged";
        const int32_t result = link_.Request(22, "<GET/>", answer);
        return std::make_pair(result, answer);
    });
    std::string text;
    ASSERT_TRUE(peer_.Receive(&text));
    EXPECT_EQ(text, "22,<GET/>");
    ASSERT_TRUE(TickUntil(
        clock_, [&] { return request.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(request.get(), std::make_pair(int32_t(CCommFP::kErrNoAnswer), std::string("unchanged")));
    EXPECT_TRUE(link_.IsOpen());
    EXPECT_EQ(peer_.ProgramEventCount(), 0);  // taken back after the time-out
    peer_.Send("6,next");
    ASSERT_TRUE(peer_.Receive(&text));
    EXPECT_EQ(text, "answer:next");
}

TEST_F(PeerLinkTest, RequestWhileTheCallbackRunsFailsToTakeTheChannel) {
    std::promise<void> release;
    log_.release = release.get_future().share();
    log_.block = true;
    ASSERT_EQ(link_.Open(peer_.ChannelText()), 0);
    peer_.Send("8,slow");
    log_.entered.get_future().wait();

    auto request = std::async(std::launch::async, [&] {
        std::string answer;
        return link_.Request(9, "blocked", answer);
    });
    const int64_t before = clock_.NowMs();
    ASSERT_TRUE(TickUntil(
        clock_, [&] { return request.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(request.get(), CCommFP::kErrLock);
    EXPECT_GE(clock_.NowMs() - before, 2500);

    release.set_value();
    std::string text;
    ASSERT_TRUE(peer_.Receive(&text));
    EXPECT_EQ(text, "answer:slow");
}

TEST_F(PeerLinkTest, SizeLimitsWhatIsWritten) {
    // A size part that is no number gives size 0: nothing is ever written, the signal still goes.
    ASSERT_EQ(link_.Open(peer_.Name() + ":abc"), 0);
    EXPECT_EQ(link_.Size(), 0);
    peer_.SetProgramView("stale");
    peer_.Send("1,x");
    std::string text;
    ASSERT_TRUE(peer_.Receive(&text));
    EXPECT_EQ(text, "stale");
    link_.Close();

    // A text must be shorter than the size.
    ASSERT_EQ(link_.Open(peer_.Name() + ":6"), 0);
    peer_.Send("1,abcd");  // "answer:abcd" does not fit
    ASSERT_TRUE(peer_.Receive(&text));
    EXPECT_EQ(text, "stale");
    link_.Close();
}

TEST_F(PeerLinkTest, SizeBeyondTheViewNeverWritesPastIt) {
    TestPeerTool small(64);
    ASSERT_EQ(link_.Open(small.Name() + ":100000"), 0);
    small.SetProgramView("stale");
    log_.answerPrefix = std::string(10000, 'a');
    small.Send("1,x");
    std::string text;
    ASSERT_TRUE(small.Receive(&text));
    EXPECT_EQ(text, "stale");
    log_.answerPrefix = "ok:";
    small.Send("2,y");
    ASSERT_TRUE(small.Receive(&text));
    EXPECT_EQ(text, "ok:y");
}

TEST_F(PeerLinkTest, PeerTextWithoutTerminatorEndsAtTheView) {
    TestPeerTool small(16);
    ASSERT_EQ(link_.Open(small.ChannelText(64)), 0);
    log_.answerPrefix.clear();                   // the answer has to fit the 16-byte view
    std::memset(small.PeerViewData(), '7', 16);  // no zero anywhere in the view
    small.PeerViewData()[1] = ',';
    small.Signal();
    std::string text;
    ASSERT_TRUE(small.Receive(&text));
    EXPECT_EQ(text, std::string(14, '7'));
    ASSERT_EQ(log_.Requests().size(), 1u);
    EXPECT_EQ(log_.Requests()[0].first, 7);
}

TEST_F(PeerLinkTest, RequestOnClosedLinkAndCloseSendsNothing) {
    std::string answer;
    EXPECT_EQ(link_.Request(1, "x", answer), CCommFP::kErrNotOpen);
    ASSERT_EQ(link_.Open(peer_.ChannelText()), 0);
    peer_.SetProgramView("untouched");
    link_.Close();
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_FALSE(link_.IsListening());
    EXPECT_EQ(peer_.ProgramEventCount(), 0);
    EXPECT_EQ(peer_.ProgramView(), "untouched");
    EXPECT_EQ(link_.Request(1, "x", answer), CCommFP::kErrNotOpen);
    EXPECT_EQ(log_.closed, 0);  // only a link that closes itself calls back
    link_.Close();              // twice is harmless
}

TEST(PeerLinkLifeTest, DestroyingAnOpenLinkTellsThePeer) {
    TestPeerTool peer;
    FakeClock clock;
    {
        CCommFPQd link(clock);
        ASSERT_EQ(link.Open(peer.ChannelText()), 0);
    }
    std::string text;
    ASSERT_TRUE(peer.Receive(&text));
    EXPECT_EQ(text, "Close");

    // A closed link says nothing when it goes.
    {
        CCommFPQd link(clock);
        ASSERT_EQ(link.Open(peer.ChannelText()), 0);
        link.Close();
    }
    EXPECT_EQ(peer.ProgramEventCount(), 0);
}

// The peer as a process of its own, as the engineering tool is.
TEST(PeerLinkLifeTest, ExchangeWithAPeerProcess) {
    int toParent[2], toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    const std::string name = "peerproc." + std::to_string(getpid());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(toParent[0]);
        close(toChild[1]);
        platform::SharedMemory out, in;
        platform::NamedEvent programEvent, peerEvent;
        // _exit runs no destructors: the names are removed here.
        const auto leave = [&](int code) {
            out.Close();
            in.Close();
            programEvent.Close();
            peerEvent.Close();
            _exit(code);
        };
        if (out.Create(name + ".f.s", 256) || in.Create(name + ".f.m", 256) ||
            programEvent.Create(name + ".m") || peerEvent.Create(name + ".s"))
            leave(2);
        char go;
        (void)!write(toParent[1], "r", 1);
        // Answer the program's request, then ask one of our own, then end the link.
        if (programEvent.Wait(20000) != platform::NamedEvent::WaitResult::Signalled) leave(3);
        if (std::strcmp(out.Data(), "25,<GET_ONLINE_INFO/>") != 0) leave(4);
        std::strcpy(in.Data(), "<GET_ONLINE_INFO Node=\"1\"/>");
        peerEvent.Set();
        if (read(toChild[0], &go, 1) != 1) leave(5);  // the program has its answer
        std::strcpy(in.Data(), "16,<GETINFO/>");
        peerEvent.Set();
        if (programEvent.Wait(20000) != platform::NamedEvent::WaitResult::Signalled) leave(6);
        if (std::strcmp(out.Data(), "answer:<GETINFO/>") != 0) leave(7);
        std::strcpy(in.Data(), "Close");
        peerEvent.Set();
        if (read(toChild[0], &go, 1) != 1) leave(8);  // the program has closed; the objects may go
        leave(0);
    }
    close(toParent[1]);
    close(toChild[0]);
    char c;
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    FakeClock clock;
    CallbackLog log;
    CCommFP link(clock);
    link.SetCallbacks(&log, &CallbackLog::OnRequest, &CallbackLog::OnClosed);
    ASSERT_EQ(link.Open(name + ":256"), 0);
    std::string answer;
    EXPECT_EQ(link.Request(25, "<GET_ONLINE_INFO/>", answer), 0);
    EXPECT_EQ(answer, "<GET_ONLINE_INFO Node=\"1\"/>");
    (void)!write(toChild[1], "g", 1);
    EXPECT_TRUE(TickUntil(
        clock, [&] { return log.closed.load() > 0; }, 0));
    EXPECT_FALSE(link.IsOpen());
    (void)!write(toChild[1], "d", 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    close(toParent[0]);
    close(toChild[1]);
}
