#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "platform/AtomicFile.h"
#include "platform/SystemError.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

class AtomicFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tunova_atomic_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    size_t Entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {})); }

    fs::path dir_;
};

std::string Read(const fs::path& p) {
    std::string data, error;
    EXPECT_TRUE(ReadWholeFile(p, &data, &error)) << error;
    return data;
}

}  // namespace

TEST_F(AtomicFile, ReplacesContentWholeAndKeepsPermissions) {
    const fs::path file = dir_ / "settings.ini";
    std::string error;
    ASSERT_TRUE(WriteFileAtomic(file, "old", &error)) << error;
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(WriteFileAtomic(file, std::string("new\0data", 8), &error)) << error;
    EXPECT_EQ(Read(file), std::string("new\0data", 8));
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Entries(), 1u);  // no temporary file left
}

TEST_F(AtomicFile, WithoutCommitTheOldFileStaysAndTheTempGoes) {
    const fs::path file = dir_ / "data.xml";
    ASSERT_TRUE(WriteFileAtomic(file, "keep me", nullptr));
    {
        AtomicFileWriter writer;
        ASSERT_TRUE(writer.Open(file));
        ASSERT_TRUE(writer.Write("half", 4));
        EXPECT_EQ(Entries(), 2u);
    }
    EXPECT_EQ(Read(file), "keep me");
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFile, FailuresGiveCodeAndText) {
    // The target is a folder: the rename fails and the folder is untouched.
    fs::create_directory(dir_ / "folder");
    AtomicFileWriter writer;
    ASSERT_TRUE(writer.Open(dir_ / "folder"));
    ASSERT_TRUE(writer.Write(std::string_view("x")));
    EXPECT_FALSE(writer.Commit());
    EXPECT_NE(writer.ErrorCode(), 0);
    EXPECT_NE(writer.Error().find(SystemErrorText(writer.ErrorCode())), std::string::npos) << writer.Error();
    EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
    EXPECT_EQ(Entries(), 1u);

    std::string error;
    EXPECT_FALSE(WriteFileAtomic(dir_ / "no" / "such" / "file", "x", &error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_FALSE(ReadWholeFile(dir_ / "absent", nullptr, &error));
    EXPECT_NE(error.find("absent"), std::string::npos);
}

TEST(SystemError, TextsForKnownAndUnknownCodes) {
    EXPECT_EQ(SystemErrorText(ENOENT), "No such file or directory");
    EXPECT_EQ(SystemErrorText(EACCES), "Permission denied");
    EXPECT_EQ(SystemErrorText(987654), "");
    EXPECT_EQ(SystemErrorText(-1), "");
    SetLastErrorCode(EBUSY);
    EXPECT_EQ(LastErrorCode(), EBUSY);
}
