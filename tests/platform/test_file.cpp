#include "platform/File.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

using namespace platform;
namespace fs = std::filesystem;

namespace {

class FileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tunova_file_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    static void Put(const fs::path& path, const std::string& data) {
        std::ofstream(path, std::ios::binary) << data;
    }
    static std::string Get(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir_;
};

mode_t Permissions(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

}  // namespace

TEST_F(FileTest, OpenModes) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const fs::path existing = dir_ / "existing";
    Put(existing, "old content");
    ::symlink(existing.c_str(), (dir_ / "link").c_str());

    struct Case {
        const char* name;
        FileAccess access;
        int error;          // of Open
        mode_t mode;        // of a file Open made
        const char* after;  // the file's content after writing "new" (nullptr: not written)
    };
    const Case cases[] = {
        {"missing", FileAccess::kRead, ENOENT, 0, nullptr},
        {"existing", FileAccess::kRead, 0, 0, nullptr},
        {"existing", FileAccess::kWrite, 0, 0, "new"},
        {"created", FileAccess::kWrite, 0, 0644 & ~mask, "new"},
        {"synced", FileAccess::kWriteSynced, 0, 0644 & ~mask, "new"},
        {"private", FileAccess::kWriteNewPrivate, 0, 0600 & ~mask, "new"},
        {"existing", FileAccess::kWriteNewPrivate, EEXIST, 0, nullptr},
        {"link", FileAccess::kWriteNewPrivate, EEXIST, 0, nullptr},
        {"", FileAccess::kWrite, ENOENT, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put(existing, "old content");
        const fs::path path = c.name[0] ? dir_ / c.name : fs::path();
        const bool existed = fs::exists(fs::symlink_status(path));
        File file;
        ASSERT_EQ(file.Open(path, c.access), c.error);
        EXPECT_EQ(file.IsOpen(), c.error == 0);
        if (c.error != 0) {
            EXPECT_EQ(file.LastError(), c.error);
            EXPECT_EQ(Get(existing), "old content");
            continue;
        }
        if (c.after) {
            EXPECT_TRUE(file.WriteAll("new"));
            EXPECT_TRUE(file.Close());
            EXPECT_EQ(Get(path), c.after);
            if (!existed) {
                EXPECT_EQ(Permissions(path), c.mode);
            }
        } else {
            char buffer[64];
            EXPECT_EQ(file.ReadAll(buffer, sizeof buffer), 11);
            EXPECT_FALSE(file.WriteAll("x"));  // read only
            EXPECT_EQ(file.LastError(), EBADF);
        }
    }
}

TEST_F(FileTest, ReadsToTheEndSeeksAndKnowsItsSize) {
    const fs::path path = dir_ / "data";
    Put(path, "0123456789");
    File file;
    ASSERT_EQ(file.Open(path, FileAccess::kRead), 0);
    EXPECT_EQ(file.Size(), 10);
    char buffer[16] = {};
    EXPECT_EQ(file.ReadAll(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(file.ReadAll(buffer, sizeof buffer), 6);  // the end comes first
    EXPECT_EQ(std::string(buffer, 6), "456789");
    EXPECT_EQ(file.ReadSome(buffer, sizeof buffer), 0);
    ASSERT_TRUE(file.Seek(8));
    EXPECT_EQ(file.ReadSome(buffer, sizeof buffer), 2);
    EXPECT_EQ(std::string(buffer, 2), "89");

    File moved(std::move(file));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(moved.IsOpen());
    EXPECT_TRUE(moved.Close());
    EXPECT_EQ(moved.ReadSome(buffer, 1), -1);
    EXPECT_EQ(moved.LastError(), EBADF);
    EXPECT_EQ(moved.Size(), -1);
    EXPECT_FALSE(moved.Seek(0));
}

TEST_F(FileTest, AdoptedDescriptorsAreClosedBorrowedOnesAreNot) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    {
        File borrowed;
        borrowed.Borrow(fds[1]);
        EXPECT_TRUE(borrowed.WriteAll("x"));
    }
    EXPECT_NE(::fcntl(fds[1], F_GETFD), -1);
    {
        File adopted;
        adopted.Adopt(fds[1]);
        File reader;
        reader.Adopt(fds[0]);
        char c = 0;
        EXPECT_EQ(reader.ReadSome(&c, 1), 1);
        EXPECT_EQ(c, 'x');
    }
    EXPECT_EQ(::fcntl(fds[0], F_GETFD), -1);
    EXPECT_EQ(::fcntl(fds[1], F_GETFD), -1);
}

namespace {
void OnSignal(int) {}
}  // namespace

// A signal arriving during a read or a write breaks it off (EINTR) or cuts it short; both ends
// must carry on, and every byte must arrive once and in order.
TEST_F(FileTest, TransfersWholeWhileSignalsInterrupt) {
    struct sigaction action {};
    action.sa_handler = OnSignal;  // without SA_RESTART: blocked calls return early
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);

    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    File reader, writer;
    reader.Adopt(fds[0]);
    writer.Adopt(fds[1]);

    std::string data(4 * 1024 * 1024, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 + (i >> 12));
    std::atomic<bool> done{false};
    bool written = false;
    std::thread sender([&] {
        written = writer.WriteAll(data);
        writer.Close();
    });
    const pthread_t receiverThread = ::pthread_self();
    const pthread_t senderThread = sender.native_handle();
    std::thread pest([&] {
        while (!done.load()) {
            ::pthread_kill(senderThread, SIGUSR1);
            ::pthread_kill(receiverThread, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    std::string got(data.size() + 1, '\0');
    int64_t n = 0;
    for (size_t at = 0; at < data.size(); at += 65536) {  // many calls, each exposed to signals
        n = reader.ReadAll(got.data() + at, std::min<size_t>(65536, data.size() - at));
        if (n < 0) break;
    }
    // The sender is joined only after the last signal: its handle must stay valid until then.
    done.store(true);
    pest.join();
    sender.join();
    ::sigaction(SIGUSR1, &previous, nullptr);

    EXPECT_GE(n, 0) << reader.LastError();
    EXPECT_TRUE(written) << writer.LastError();
    EXPECT_EQ(reader.ReadSome(got.data() + data.size(), 1), 0);  // nothing more
    got.resize(data.size());
    EXPECT_TRUE(got == data);
}

TEST_F(FileTest, FoldersAndFileInfo) {
    const fs::path folder = dir_ / "folder";
    EXPECT_EQ(MakeFolder(folder), 0);
    EXPECT_EQ(MakeFolder(folder), EEXIST);
    EXPECT_EQ(MakeFolder(dir_ / "no" / "parent"), ENOENT);
    EXPECT_TRUE(IsFolder(folder));
    ::symlink(folder.c_str(), (dir_ / "to-folder").c_str());
    EXPECT_TRUE(IsFolder(dir_ / "to-folder"));

    const fs::path file = dir_ / "file";
    Put(file, "12345");
    EXPECT_FALSE(IsFolder(file));
    EXPECT_FALSE(IsFolder(dir_ / "missing"));
    const timespec times[2] = {{1700000000, 0}, {1700000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    FileInfo info;
    ASSERT_EQ(ReadFileInfo(file, info), 0);
    EXPECT_EQ(info.size, 5u);
    EXPECT_EQ(info.modifiedSeconds, 1700000000);
    EXPECT_EQ(info.modifiedNanoseconds, 123456789u);
    EXPECT_FALSE(info.isFolder);
    EXPECT_EQ(ReadFileInfo(dir_ / "missing", info), ENOENT);

    EXPECT_EQ(RemoveFile(folder), EISDIR);
    EXPECT_TRUE(IsFolder(folder));
    EXPECT_EQ(RemoveFile(dir_ / "to-folder"), 0);  // the link goes, the folder stays
    EXPECT_TRUE(IsFolder(folder));
    EXPECT_EQ(RemoveFile(file), 0);
    EXPECT_EQ(RemoveFile(file), ENOENT);
}
