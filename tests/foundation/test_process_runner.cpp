#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/Redirector.h"
#include "foundation/Spawn.h"
#include "platform/ChildProcess.h"
#include "platform/Event.h"

using namespace foundation;

namespace fs = std::filesystem;
using platform::ChildProcess;

namespace {

constexpr uint32_t kGenerous = 20000;

TEST(CommandLineSplit, WindowsQuotingRules) {
    const struct {
        const char* line;
        std::vector<std::string> args;
    } cases[] = {
        {"", {}},
        {"   ", {}},
        {"a b\tc", {"a", "b", "c"}},
        {"\"a b\" c", {"a b", "c"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"\"", {""}},
        {"a\\b\\c", {"a\\b\\c"}},
        {"\"a\\\\\" b", {"a\\", "b"}},
        {"a\\\"b", {"a\"b"}},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {"  x  ", {"x"}},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::SplitCommandLine(c.line), c.args) << c.line;
}

// The state letter of /proc/<pid>/stat ('R', 'S', 'Z'...), 0 when there is no such process.
char ProcessState(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return 0;
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() ? line[close + 2] : 0;
}

std::string ReadAll(ChildProcess& child, ChildProcess::Stream stream) {
    std::string text;
    char buffer[512];
    for (;;) {
        const long n = child.Read(stream, buffer, sizeof buffer, kGenerous);
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

TEST(ChildProcess, ExitStatusOfNormalAndKilledChildren) {
    const struct {
        const char* script;
        int exitCode;
    } cases[] = {
        {"exit 0", 0},
        {"exit 3", 3},
        {"exit 255", 255},
        {"kill -9 $$", 128 + SIGKILL},
        {"kill -SEGV $$", 128 + SIGSEGV},
    };
    for (const auto& c : cases) {
        ChildProcess child;
        ASSERT_TRUE(child.Start({"/bin/sh", "-c", c.script})) << child.LastError();
        EXPECT_EQ(child.ExitCode(), -1);
        ASSERT_TRUE(child.WaitExit(kGenerous));
        EXPECT_EQ(child.ExitCode(), c.exitCode) << c.script;
    }
}

TEST(ChildProcess, OutputErrorAndInputPipes) {
    ChildProcess child;
    platform::ChildOptions options;
    options.mergeErrorIntoOutput = false;
    ASSERT_TRUE(child.Start({"/bin/sh", "-c", "read line; echo \"out:$line\"; echo err >&2"}, options));
    const std::string input = "hello\n";
    ASSERT_TRUE(child.WriteInput(input.data(), input.size()));
    EXPECT_EQ(ReadAll(child, ChildProcess::Stream::Output), "out:hello\n");
    EXPECT_EQ(ReadAll(child, ChildProcess::Stream::Error), "err\n");
    EXPECT_TRUE(child.AtEnd(ChildProcess::Stream::Output));
    ASSERT_TRUE(child.WaitExit(kGenerous));
    EXPECT_EQ(child.ExitCode(), 0);

    ChildProcess merged;
    ASSERT_TRUE(merged.Start({"/bin/sh", "-c", "echo a; echo b >&2"}));
    EXPECT_EQ(ReadAll(merged, ChildProcess::Stream::Output), "a\nb\n");
    EXPECT_EQ(merged.Available(ChildProcess::Stream::Error), -1);
}

TEST(ChildProcess, WorkingFolderIsTheChildsOnly) {
    const fs::path before = fs::current_path();
    const fs::path folder = fs::temp_directory_path();
    ChildProcess child;
    platform::ChildOptions options;
    options.workingFolder = folder;
    ASSERT_TRUE(child.Start({"/bin/sh", "-c", "pwd -P"}, options));
    EXPECT_EQ(ReadAll(child, ChildProcess::Stream::Output), fs::canonical(folder).string() + "\n");
    EXPECT_EQ(fs::current_path(), before);
}

TEST(ChildProcess, StartFailuresLeaveNothingOpen) {
    ChildProcess child;
    EXPECT_FALSE(child.Start({"/nonexistent/tool.exe", "x"}));
    EXPECT_NE(child.LastError().find("/nonexistent/tool.exe"), std::string::npos) << child.LastError();
    EXPECT_FALSE(child.IsStarted());
    EXPECT_FALSE(child.Start({"tunova-no-such-program-in-path"}));
    EXPECT_FALSE(child.Start({}));
    EXPECT_EQ(child.Available(ChildProcess::Stream::Output), -1);
    EXPECT_FALSE(child.WriteInput("x", 1));
}

TEST(ChildProcess, WriteToAChildThatHasGoneFailsWithoutSignal) {
    ChildProcess child;
    ASSERT_TRUE(child.Start({"/bin/sh", "-c", "exec 0<&-; exit 0"}));
    ASSERT_TRUE(child.WaitExit(kGenerous));
    // Would raise SIGPIPE and end the test program if it reached the process.
    const std::string data(100000, 'x');
    EXPECT_FALSE(child.WriteInput(data.data(), data.size()));
    EXPECT_EQ(child.LastErrorCode(), EPIPE);
}

TEST(ChildProcess, RunKillsTheWholeGroupOnTimeOut) {
    platform::ChildRunResult result;
    std::string error;
    // The shell prints the id of its own child and waits for it: both must die.
    ASSERT_TRUE(
        platform::RunChildProcess({"/bin/sh", "-c", "sleep 600 & echo $!; wait"}, {}, 500, &result, &error))
        << error;
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.exitCode, -1);
    const pid_t grandchild = static_cast<pid_t>(std::stol(result.output));
    bool gone = false;
    for (int i = 0; i < 400 && !gone; ++i) {
        // Killed, the grandchild is at most a zombie left for init to reap.
        gone = ::kill(grandchild, 0) != 0 || ProcessState(grandchild) == 'Z';
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(gone);

    ASSERT_TRUE(
        platform::RunChildProcess({"/bin/sh", "-c", "echo done; exit 4"}, {}, kGenerous, &result, &error));
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_EQ(result.output, "done\n");
    EXPECT_FALSE(platform::RunChildProcess({"/nonexistent/x"}, {}, 100, &result, &error));
    EXPECT_FALSE(error.empty());
}

// Records every piece the reader hands over.
class PieceRecorder : public CRedirector {
  public:
    using CRedirector::CRedirector;
    ~PieceRecorder() override { Close(); }
    std::vector<std::string> Pieces() {
        std::lock_guard<std::mutex> lock(mutex_);
        return pieces_;
    }
    std::vector<std::string> Errors() {
        std::lock_guard<std::mutex> lock(mutex_);
        return errors_;
    }
    void SetCloseWait(uint32_t ms) { m_dwCloseWait = ms; }
    // When set, the first piece blocks until release is set.
    platform::Event* hold = nullptr;
    platform::Event entered{true};

  protected:
    void WriteStdOut(const char* text) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            pieces_.emplace_back(text);
        }
        entered.Set();
        if (hold) hold->Wait();
    }
    void WriteStdError(const char* text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        errors_.emplace_back(text);
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> pieces_;
    std::vector<std::string> errors_;
};

TEST(Redirector, OutputArrivesInOrderInPiecesOfAtMost255Bytes) {
    PieceRecorder runner(100);
    // 600 distinct bytes printed at once, stderr merged after them.
    ASSERT_TRUE(
        runner.Open("/bin/sh -c \"i=0; s=''; while [ $i -lt 60 ]; do s=\"\"$s$(printf '%09d ' $i)\"\"; "
                    "i=$((i+1)); done; printf '%s' \"\"$s\"\"; echo E >&2\""))
        << runner.LastError();
    int exitCode = -1;
    ASSERT_TRUE(runner.WaitProcess(kGenerous, &exitCode));
    EXPECT_EQ(exitCode, 0);
    for (int i = 0; i < 200 && runner.ReaderResult() == 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    runner.Close();
    EXPECT_EQ(runner.ReaderResult(), 0);
    std::string expected;
    for (int i = 0; i < 60; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%09d ", i);
        expected += number;
    }
    expected += "E\n";
    std::string joined;
    for (const std::string& piece : runner.Pieces()) {
        EXPECT_LE(piece.size(), 255u);
        EXPECT_FALSE(piece.empty());
        joined += piece;
    }
    EXPECT_EQ(joined, expected);
    EXPECT_GE(runner.Pieces().size(), 3u);
    EXPECT_TRUE(runner.Errors().empty());
}

TEST(Redirector, CloseIsHarmlessWhenNeverOpenedAndRepeated) {
    CSpawn spawn;
    spawn.Close();
    spawn.Close();
    EXPECT_EQ(spawn.Printf("x"), 0);
    EXPECT_EQ(spawn.RedirectStdout(), 0);
    EXPECT_FALSE(spawn.WaitProcess(0, nullptr));
    EXPECT_EQ(spawn.Output(), "");
}

TEST(Redirector, SpawnCollectsOutputAndAnswersInput) {
    CSpawn spawn;
    ASSERT_TRUE(spawn.Open("/bin/sh -c \"read a; echo got:$a; echo warn >&2; exit 2\""));
    EXPECT_FALSE(spawn.Open("/bin/true"));
    EXPECT_EQ(spawn.Printf("%s-%d\n", "line", 7), 1);
    int exitCode = -1;
    ASSERT_TRUE(spawn.WaitProcess(0xFFFFFFFFu, &exitCode));
    EXPECT_EQ(exitCode, 2);
    spawn.Close();
    EXPECT_EQ(spawn.Output(), "got:line-7\nwarn\n");

    // Opened again after Close.
    spawn.ClearOutput();
    ASSERT_TRUE(spawn.Open("/bin/echo again"));
    ASSERT_TRUE(spawn.WaitProcess(kGenerous, &exitCode));
    spawn.Close();
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(spawn.Output(), "again\n");
}

TEST(Redirector, CloseRightAfterTheChildEndedKeepsItsLastOutput) {
    // A short poll makes the reader look at its stop flag often, which is where a
    // Close arriving just after the child's end used to drop the pipe's remainder.
    CSpawn spawn(1);
    for (int round = 0; round < 50; ++round) {
        spawn.ClearOutput();
        ASSERT_TRUE(spawn.Open("/bin/echo last words")) << spawn.LastError();
        int exitCode = -1;
        ASSERT_TRUE(spawn.WaitProcess(kGenerous, &exitCode));
        spawn.Close();
        ASSERT_EQ(spawn.Output(), "last words\n") << "round " << round;
    }
}

TEST(Redirector, OpenFailsForAMissingProgram) {
    CSpawn spawn;
    EXPECT_FALSE(spawn.Open("\"/nonexistent folder/STCompiler.exe\" a.st"));
    EXPECT_NE(spawn.LastError().find("/nonexistent folder/STCompiler.exe"), std::string::npos);
    EXPECT_FALSE(spawn.Open(""));
    spawn.Close();
}

TEST(Redirector, CloseEndsAChildThatNeverEnds) {
    PieceRecorder runner(100);
    ASSERT_TRUE(runner.Open("/bin/sh -c \"echo started; exec sleep 600\""));
    ASSERT_TRUE(runner.entered.Wait(kGenerous));
    std::thread closer([&runner] { runner.Close(); });
    closer.join();
    EXPECT_EQ(runner.ReaderResult(), 1);
    EXPECT_TRUE(runner.Errors().empty());
    EXPECT_FALSE(runner.WaitProcess(0, nullptr));
}

TEST(Redirector, AReaderStuckInAWriteIsReportedDead) {
    platform::Event release(true);
    PieceRecorder runner(20);
    runner.hold = &release;
    runner.SetCloseWait(300);
    ASSERT_TRUE(runner.Open("/bin/sh -c \"echo x; exec sleep 600\""));
    ASSERT_TRUE(runner.entered.Wait(kGenerous));
    std::thread releaser([&release] {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        release.Set();
    });
    runner.Close();
    releaser.join();
    EXPECT_EQ(runner.Errors(), std::vector<std::string>{"The redir thread is dead\r\n"});
    EXPECT_EQ(runner.Pieces(), std::vector<std::string>{"x\n"});
}

}  // namespace
