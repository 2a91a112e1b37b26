// Reading and hashing a database file while a connection in this process holds record locks on it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "Core/Ptr.h"
#include "Platform/File.h"
#include "Platform/FileMetadata.h"
#include "Support/TempFolder.h"

namespace {

// Where SQLite takes its locks: the pending byte, the reserved byte and the shared range.
constexpr off_t kLockBytesStart = 0x40000000;
constexpr off_t kLockBytesLength = 2 + 510;

// Asks from a child process whether this process holds a write lock on the database's lock bytes.
// Record locks of our own process are invisible from inside it, so the question must come from
// outside.
bool LockedForOthers(const std::string& path) {
    const pid_t child = fork();
    if (child == 0) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd < 0) {
            _exit(2);
        }
        struct flock query {};
        query.l_type = F_WRLCK;
        query.l_whence = SEEK_SET;
        query.l_start = kLockBytesStart;
        query.l_len = kLockBytesLength;
        if (fcntl(fd, F_GETLK, &query) != 0) {
            _exit(3);
        }
        _exit(query.l_type != F_UNLCK ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_LE(WEXITSTATUS(status), 1) << "the child could not ask";
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

class DatabaseLock : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = folder_.File("workspace.veskdb");
        ASSERT_EQ(sqlite3_open(path_.c_str(), &db_), SQLITE_OK);
        Exec("CREATE TABLE t(x); INSERT INTO t VALUES (1);");
        Exec("BEGIN IMMEDIATE; INSERT INTO t VALUES (2);");
        ASSERT_TRUE(LockedForOthers(path_));
    }
    void TearDown() override { sqlite3_close(db_); }
    void Exec(const char* sql) { ASSERT_EQ(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql; }

    VeskTest::TempFolder folder_;
    std::string path_;
    sqlite3* db_ = nullptr;
};

TEST_F(DatabaseLock, HashingReadingAndOpeningTheFileKeepTheConnectionsLocks) {
    Core::Ptr<Platform::Interfaces::IFileMetadata> metadata = Platform::IO::CreateFileMetadata(path_);
    EXPECT_EQ(std::string(metadata->GetSha2()).size(), 64u);
    EXPECT_TRUE(LockedForOthers(path_)) << "hashing dropped the database's locks";

    EXPECT_GT(Platform::IO::ReadFileToArray(path_)->GetByteSize(), 0u);
    Platform::IO::OpenFile(path_, Platform::IO::kGenericRead, Platform::IO::kShareRead, Platform::IO::kOpenExisting);
    EXPECT_TRUE(LockedForOthers(path_)) << "reading or opening dropped the database's locks";

    // Later opens take the descriptor that had to stay open: repeated hashing does not pile them up.
    const size_t parked = Platform::IO::ClosePendingDescriptors();
    EXPECT_GE(parked, 1u);
    for (int i = 0; i < 5; ++i) {
        Platform::IO::HashFileSha2(path_);
    }
    EXPECT_EQ(Platform::IO::ClosePendingDescriptors(), parked);

    Exec("COMMIT;");
    EXPECT_FALSE(LockedForOthers(path_));
    sqlite3_close(db_);
    db_ = nullptr;
    // With the connection gone nothing needs to stay open.
    EXPECT_EQ(Platform::IO::ClosePendingDescriptors(), 0u);
}

// The plain open and close that the file layer avoids would drop them: the check above can fail.
TEST_F(DatabaseLock, APlainOpenAndCloseWouldDropThem) {
    const int fd = ::open(path_.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_FALSE(LockedForOthers(path_));
}

}  // namespace
