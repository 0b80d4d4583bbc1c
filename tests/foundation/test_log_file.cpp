#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/LogFile.h"
#include "platform/ThreadLog.h"

namespace fs = std::filesystem;

namespace {

class LogFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tunova_log_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Lines of the file without their CR LF; the line ends must all be CR LF.
    static std::vector<std::string> Lines(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes(std::istreambuf_iterator<char>(in), {});
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t lf; (lf = bytes.find('\n', start)) != std::string::npos; start = lf + 1) {
            EXPECT_TRUE(lf > start && bytes[lf - 1] == '\r');
            lines.push_back(bytes.substr(start, lf - start - 1));
        }
        EXPECT_EQ(start, bytes.size());
        return lines;
    }

    fs::path dir_;
};

const std::regex kHeader(
    R"(^[A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \d{4} message length = 1000, queue size = 200$)");
const std::regex kLine(R"(^([ \d]\d):(\d\d):(\d\d)\.(\d{6}) +(-?\d+) 0x([0-9A-F]+) (.*)$)");

TEST_F(LogFiles, LinesFromFourThreadsKeepOrderAndFormat) {
    LogFile log;
    const fs::path file = dir_ / "LogDebug.txt";
    ASSERT_EQ(log.Open(file), "");
    const int counts[4] = {51, 50, 50, 50};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&log, t, &counts] {
            for (int n = 0; n < counts[t]; ++n) log.Write("T" + std::to_string(t) + " " + std::to_string(n));
        });
    }
    for (auto& thread : threads) thread.join();
    log.Close();

    const std::vector<std::string> lines = Lines(file);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(std::regex_match(lines[0], kHeader)) << lines[0];
    std::map<int, int> lastOf;
    std::map<int, std::string> idOf;
    int64_t previousElapsed = -1;
    int written = 0;
    int marks = 0;
    const std::regex message(R"(^T(\d) (\d+)( queue full, drop the oldest message)?$)");
    for (size_t i = 1; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, kLine)) << lines[i];
        const int64_t elapsed =
            ((std::stoll(m[1]) * 60 + std::stoll(m[2])) * 60 + std::stoll(m[3])) * 1000000 + std::stoll(m[4]);
        EXPECT_GE(elapsed, previousElapsed);
        EXPECT_GE(std::stoll(m[5]), 0);
        EXPECT_LE(std::stoll(m[5]), elapsed);
        previousElapsed = elapsed;
        const std::string text = m[7];
        std::smatch t;
        ASSERT_TRUE(std::regex_match(text, t, message)) << text;
        const int thread = std::stoi(t[1]);
        const int n = std::stoi(t[2]);
        if (lastOf.count(thread)) {
            EXPECT_GT(n, lastOf[thread]) << "thread " << thread;
        }
        lastOf[thread] = n;
        if (idOf.count(thread)) {
            EXPECT_EQ(idOf[thread], m[6].str());
        }
        idOf[thread] = m[6];
        ++written;
        if (t[3].matched) ++marks;
    }
    // Every line is in the file unless the ring overflowed (each overflow marks one line) or, on a
    // badly loaded machine, a writer gave up waiting for the ring.
    EXPECT_LE(written + marks, 201);
    EXPECT_GE(written + marks, 195);
    EXPECT_EQ(idOf.size(), 4u);
}

TEST_F(LogFiles, FullRingDropsTheOldestAndMarksTheNewest) {
    LogFile log;
    const fs::path file = dir_ / "full.txt";
    ASSERT_EQ(log.Open(file), "");
    log.PauseDrain(true);
    for (int n = 0; n < 201; ++n) log.Write("L" + std::to_string(n));
    log.PauseDrain(false);
    log.Close();
    const std::vector<std::string> lines = Lines(file);
    ASSERT_EQ(lines.size(), 201u);  // header + 200
    for (int n = 1; n <= 200; ++n) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[n], m, kLine));
        const std::string expected = "L" + std::to_string(n) + (n == 200 ? LogFile::kQueueFullMark : "");
        EXPECT_EQ(m[7].str(), expected);
    }
}

TEST_F(LogFiles, AFullRingNeverBlocksWriters) {
    LogFile log;
    const fs::path file = dir_ / "flood.txt";
    ASSERT_EQ(log.Open(file), "");
    log.PauseDrain(true);
    for (int n = 0; n < 10000; ++n) log.Write("flood " + std::to_string(n));  // completes: nothing waits
    log.PauseDrain(false);
    log.Close();
    const std::vector<std::string> lines = Lines(file);
    ASSERT_EQ(lines.size(), 201u);
    EXPECT_NE(lines[1].find(" flood 9800 queue full, drop the oldest message"), std::string::npos);
    EXPECT_NE(lines[200].find(" flood 9999 queue full, drop the oldest message"), std::string::npos);
}

TEST_F(LogFiles, LongLinesAreCutTo1000CharactersWithoutSplittingCharacters) {
    LogFile log;
    const fs::path file = dir_ / "long.txt";
    ASSERT_EQ(log.Open(file), "");
    log.Write(std::string(2000, 'x'));
    std::string accents;
    for (int i = 0; i < 1000; ++i) accents += "\xC3\xA9";
    log.Write("a" + accents);
    log.Close();
    const std::vector<std::string> lines = Lines(file);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].size(), 1000u);
    EXPECT_EQ(lines[1].back(), 'x');
    EXPECT_LE(lines[2].size(), 1000u);
    EXPECT_GE(lines[2].size(), 999u);
    EXPECT_EQ(lines[2].substr(lines[2].size() - 2), "\xC3\xA9");
}

TEST_F(LogFiles, ClosedLogIgnoresLinesAndOpenReportsErrors) {
    LogFile log;
    log.Write("before");  // nothing happens
    EXPECT_FALSE(log.Open(dir_ / "no" / "such" / "folder" / "log.txt").empty());
    EXPECT_FALSE(log.IsOpen());
    log.Write("ignored");
    const fs::path file = dir_ / "twice.txt";
    ASSERT_EQ(log.Open(file), "");
    log.Write("first");
    ASSERT_EQ(log.Open(file), "");  // reopening truncates
    log.Write("second");
    log.Close();
    log.Write("after");
    log.Close();
    const std::vector<std::string> lines = Lines(file);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find(" second"), std::string::npos);
}

TEST_F(LogFiles, DebugLogReceivesThreadStartAndStopLines) {
    const fs::path file = dir_ / "debug.txt";
    ASSERT_EQ(DebugLog().Open(file), "");
    std::thread worker([] {
        platform::LogThreadStart("CTest::Worker");
        platform::LogThreadStop("CTest::Worker");
    });
    worker.join();
    DebugLog().Close();
    platform::LogThreadStart("CTest::AfterClose");  // no sink any more
    const std::vector<std::string> lines = Lines(file);
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    EXPECT_TRUE(std::regex_search(all, std::regex(R"( CTest::Worker started 0x[0-9A-F]+\n)"))) << all;
    EXPECT_TRUE(std::regex_search(all, std::regex(R"( CTest::Worker stopped 0x[0-9A-F]+\n)"))) << all;
    EXPECT_EQ(all.find("AfterClose"), std::string::npos);
}

// The header's date reads as "Mon Jan 05 14:03:22 2026": English names and every field padded with
// zeros, whatever the locale.
TEST(LogFileHeader, DateFieldsAreZeroPadded) {
    struct Case {
        int year, month, day, weekday, hour, minute, second;
        const char* header;
    };
    const Case cases[] = {
        {2026, 0, 5, 1, 14, 3, 22, "Mon Jan 05 14:03:22 2026"},
        {2025, 11, 31, 3, 23, 59, 59, "Wed Dec 31 23:59:59 2025"},
        {2024, 1, 29, 4, 0, 0, 0, "Thu Feb 29 00:00:00 2024"},
        {2027, 6, 1, 4, 9, 5, 7, "Thu Jul 01 09:05:07 2027"},
        {2028, 8, 10, 0, 12, 30, 0, "Sun Sep 10 12:30:00 2028"},
    };
    for (const Case& c : cases) {
        std::tm local{};
        local.tm_year = c.year - 1900;
        local.tm_mon = c.month;
        local.tm_mday = c.day;
        local.tm_wday = c.weekday;
        local.tm_hour = c.hour;
        local.tm_min = c.minute;
        local.tm_sec = c.second;
        EXPECT_EQ(LogFile::FormatHeader(local),
                  std::string(c.header) + " message length = 1000, queue size = 200");
    }
}

}  // namespace
