// The workspace services against a real vesk-server on 127.0.0.1: the cache's states and refusals, two
// caches of one workspace, and concurrent stores.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <latch>
#include <thread>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <sqlite3.h>

#include <cstdlib>

#include "Core/ErrorCode.h"
#include "FaultProxy.h"
#include "ServerProcess.h"
#include "Support/Fixtures.h"
#include "Support/LogCapture.h"
#include "Support/TempFolder.h"
#include "Vesk/Services/WorkspaceRootServicesImpl.h"
#include "Vesk/Services/WorkspaceServicesImpl.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"

namespace {

namespace fs = std::filesystem;
using Vesk::Workspace::Services::impl::WorkspaceServicesImpl;

constexpr const char* kUuid = "6f0d2c4e-9a51-4b7e-8c3d-2e1f0a9b8c7d";

std::string MessageOf(Core::ErrorCode& error) {
    return std::string(error.Message());
}

// A cache of the shared workspace and what it says about itself.
struct Cache {
    Core::Ptr<WorkspaceServicesImpl> services;

    bool LocalModified() {
        Core::ErrorCode error;
        const bool modified = services->IsLocalModified(error.Receive());
        EXPECT_FALSE(error) << error.Message();
        return modified;
    }
    bool RemoteModified() {
        Core::ErrorCode error;
        const bool modified = services->IsRemoteModified(error.Receive());
        EXPECT_FALSE(error) << error.Message();
        return modified;
    }
    // The message of a failed operation, or "" when it succeeded.
    template <class Operation>
    std::string Run(Operation operation) {
        Core::ErrorCode error;
        const bool ok = ((*services).*operation)(error.Receive());
        EXPECT_EQ(ok, !error);
        return MessageOf(error);
    }
    std::string Reload() { return Run(&WorkspaceServicesImpl::Reload); }
    std::string Store() { return Run(&WorkspaceServicesImpl::Store); }
    std::string Discard() { return Run(&WorkspaceServicesImpl::Discard); }

    // Opens the cached workspace, sets its description and saves it.
    void Edit(const std::string& description) {
        Core::Ptr<Vesk::Interfaces::IWorkspaceManager> workspace;
        Core::ErrorCode error;
        ASSERT_TRUE(services->OpenWorkspace(workspace.Receive(), error.Receive())) << error.Message();
        ASSERT_TRUE(workspace->SetDescription(description.c_str(), error.Receive())) << error.Message();
        ASSERT_TRUE(workspace->Save(error.Receive())) << error.Message();
    }
    std::string Description() {
        Core::Ptr<Vesk::Interfaces::IWorkspaceManager> workspace;
        Core::ErrorCode error;
        EXPECT_TRUE(services->OpenWorkspace(workspace.Receive(), error.Receive())) << error.Message();
        Core::Ptr<Data::Interfaces::IString> text;
        EXPECT_TRUE(workspace->GetDescription(text.Receive(), error.Receive())) << error.Message();
        return text ? text->GetText() : "";
    }
};

class SyncTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(WorkspaceFolder());
        MakeWorkspace(WorkspaceFolder() / "Shared.veskdb", "As created");
        server_ = std::make_unique<VeskTest::ServerProcess>(Root().string());
    }

    fs::path Root() const { return temp_.Path() / "root"; }
    fs::path WorkspaceFolder() const { return Root() / kUuid; }
    std::string WorkspaceUrl(int port = 0) const {
        return "http://127.0.0.1:" + std::to_string(port != 0 ? port : server_->Port()) + "/ws/" + kUuid;
    }
    fs::path CachedFile(const std::string& cache) const { return temp_.Path() / cache / "Files" / "Shared.veskdb"; }

    static void MakeWorkspace(const fs::path& path, const std::string& description) {
        Data::Uuid uuid = Data::UuidFromText(kUuid);
        auto workspace = Core::MakeObject<Vesk::Workspace::impl::WorkspaceManagerImpl>(
            uuid, path.string(), Vesk::Interfaces::ReadWrite, nullptr, 0);
        Core::ErrorCode error;
        ASSERT_TRUE(workspace->SetDescription(description.c_str(), error.Receive())) << error.Message();
    }

    Cache OpenCache(const std::string& name, int port = 0) {
        return Cache{WorkspaceServicesImpl::Open(WorkspaceUrl(port), (temp_.Path() / name).string(), nullptr)};
    }

    // Another cache stores a change, so that the next reload has something to download.
    void ChangeRemotely(const std::string& description) {
        Cache other = OpenCache("other");
        ASSERT_EQ(other.Discard(), "");
        ASSERT_EQ(other.Reload(), "");
        other.Edit(description);
        ASSERT_EQ(other.Store(), "");
    }

    VeskTest::TempFolder temp_;
    std::unique_ptr<VeskTest::ServerProcess> server_;
};

const std::string kNoModifications = "contains no modifications since last synchronization";
const std::string kRemoteModified = "was modified since last reload. Call Reload() to update.";
const std::string kLocalModified = "Local workspace (.veskdb) file was modified and might be out of sync";

TEST_F(SyncTest, TheCacheMovesBetweenEmptySynchronisedAndModified) {
    Cache cache = OpenCache("cache");
    Data::Uuid uuid{};
    ASSERT_TRUE(cache.services->GetUuid(&uuid, nullptr));
    EXPECT_EQ(Data::UuidToText(uuid), kUuid);

    // Empty: nothing local, the remote unknown; storing has nothing to store.
    EXPECT_FALSE(cache.LocalModified());
    EXPECT_TRUE(cache.RemoteModified());
    EXPECT_NE(cache.Store().find(kNoModifications), std::string::npos);

    // Synchronised: both sides as recorded; a second reload finds the same bytes and keeps them.
    EXPECT_EQ(cache.Reload(), "");
    EXPECT_FALSE(cache.LocalModified());
    EXPECT_FALSE(cache.RemoteModified());
    EXPECT_EQ(cache.Description(), "As created");
    {
        VeskTest::LogCapture log;
        EXPECT_EQ(cache.Reload(), "");
        EXPECT_NE(log.Text().find("is same as 'ss://"), std::string::npos) << log.Text();
    }
    EXPECT_NE(cache.Store().find(kNoModifications), std::string::npos);

    // Locally modified: reloading would lose the change and is refused; storing sends it.
    cache.Edit("Changed here");
    EXPECT_TRUE(cache.LocalModified());
    EXPECT_FALSE(cache.RemoteModified());
    EXPECT_NE(cache.Reload().find(kLocalModified), std::string::npos);
    EXPECT_EQ(cache.Store(), "");
    EXPECT_FALSE(cache.LocalModified());
    EXPECT_FALSE(cache.RemoteModified());
    EXPECT_EQ(VeskTest::FileBytes((WorkspaceFolder() / "Shared.veskdb").string()),
              VeskTest::FileBytes((temp_.Path() / "cache" / "Files" / "Shared.veskdb").string()));

    // Discard returns to empty, keeping Changes.db without its row; twice is no failure.
    EXPECT_EQ(cache.Discard(), "");
    EXPECT_FALSE(cache.LocalModified());
    EXPECT_TRUE(fs::exists(temp_.Path() / "cache" / "Changes.db"));
    EXPECT_TRUE(fs::is_empty(temp_.Path() / "cache" / "Files"));
    EXPECT_EQ(cache.Discard(), "");
    EXPECT_EQ(OpenCache("never-used").Discard(), "");
}

TEST_F(SyncTest, TwoCachesNeverOverwriteEachOther) {
    Cache a = OpenCache("a");
    Cache b = OpenCache("b");
    ASSERT_EQ(a.Reload(), "");
    ASSERT_EQ(b.Reload(), "");

    a.Edit("From A");
    ASSERT_EQ(a.Store(), "");
    EXPECT_TRUE(b.RemoteModified());

    b.Edit("From B");
    EXPECT_NE(b.Store().find(kRemoteModified), std::string::npos);
    EXPECT_NE(b.Reload().find(kLocalModified), std::string::npos);
    EXPECT_EQ(b.Discard(), "");
    EXPECT_EQ(b.Reload(), "");
    EXPECT_EQ(b.Description(), "From A");
    EXPECT_FALSE(b.RemoteModified());
}

// Both caches start from the same version and store at the same moment: the server's conditional
// replace lets exactly one through each round, and the stored file is the winner's whole.
TEST_F(SyncTest, OfTwoConcurrentStoresExactlyOneWins) {
    Cache caches[2] = {OpenCache("a"), OpenCache("b")};
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(caches[i].Discard(), "");
            ASSERT_EQ(caches[i].Reload(), "");
            caches[i].Edit("Round " + std::to_string(round) + " by " + std::to_string(i));
        }
        std::string results[2];
        std::latch ready(2);
        std::thread threads[2];
        for (int i = 0; i < 2; ++i) {
            threads[i] = std::thread([&, i] {
                ready.arrive_and_wait();
                results[i] = caches[i].Store();
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        const int winners = (results[0].empty() ? 1 : 0) + (results[1].empty() ? 1 : 0);
        ASSERT_EQ(winners, 1) << results[0] << " | " << results[1];
        const int winner = results[0].empty() ? 0 : 1;
        EXPECT_NE(results[1 - winner].find(kRemoteModified), std::string::npos) << results[1 - winner];
        EXPECT_EQ(VeskTest::FileBytes((WorkspaceFolder() / "Shared.veskdb").string()),
                  VeskTest::FileBytes((temp_.Path() / (winner == 0 ? "a" : "b") / "Files" / "Shared.veskdb").string()));
    }
}

TEST_F(SyncTest, TheRemoteFolderMustHoldExactlyOneWorkspaceFileByItsExactExtension) {
    Cache cache = OpenCache("cache");
    fs::rename(WorkspaceFolder() / "Shared.veskdb", WorkspaceFolder() / "Shared.VESKDB");
    EXPECT_NE(cache.Reload().find("No .veskdb (Veskora Workspace) file found on the remote workspace"),
              std::string::npos);
    fs::copy_file(WorkspaceFolder() / "Shared.VESKDB", WorkspaceFolder() / "One.veskdb");
    fs::copy_file(WorkspaceFolder() / "Shared.VESKDB", WorkspaceFolder() / "Two.veskdb");
    EXPECT_EQ(cache.Reload(), "Multiple .veskdb files found. Aborting... Remote workspace [" +
                                  std::string(cache.services->GetName()) +
                                  "] should have single .veskdb file in the root foolder");
    EXPECT_NE(cache.Store().find(kNoModifications), std::string::npos);
}

TEST_F(SyncTest, ABrokenDownloadKeepsThePreviousFileAndItsHash) {
    VeskTest::FaultProxy proxy(server_->Port());
    Cache cache = OpenCache("cache", proxy.Port());
    ASSERT_EQ(cache.Reload(), "");
    const std::string before = VeskTest::FileBytes(CachedFile("cache").string());
    ChangeRemotely("Changed elsewhere");

    proxy.Set(VeskTest::FaultProxy::Mode::Cut, 4096);
    EXPECT_NE(cache.Reload(), "");
    EXPECT_EQ(VeskTest::FileBytes(CachedFile("cache").string()), before);
    EXPECT_FALSE(cache.LocalModified());
    EXPECT_TRUE(cache.RemoteModified());
    EXPECT_EQ(std::distance(fs::directory_iterator(CachedFile("cache").parent_path()), fs::directory_iterator()), 1);

    proxy.Set(VeskTest::FaultProxy::Mode::Pass);
    EXPECT_EQ(cache.Reload(), "");
    EXPECT_EQ(cache.Description(), "Changed elsewhere");
}

// Closing any descriptor of a file drops every POSIX lock that the process holds on it, SQLite's too: the
// change checks hash the cached file while a connection of this process holds its write lock, and
// another process must still find the file locked afterwards.
TEST_F(SyncTest, HashingTheCachedFileKeepsThisProcesssLocksOnIt) {
    Cache cache = OpenCache("cache");
    ASSERT_EQ(cache.Reload(), "");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(CachedFile("cache").string().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(cache.LocalModified());
    EXPECT_FALSE(cache.RemoteModified());
    const std::string attempt =
        "sqlite3 -cmd '.timeout 0' '" + CachedFile("cache").string() + "' 'BEGIN IMMEDIATE; ROLLBACK;' >/dev/null 2>&1";
    EXPECT_NE(std::system(attempt.c_str()), 0) << "another process could take the write lock";
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(std::system(attempt.c_str()), 0);
}

// Run only as the child of the next test: reloads the cache that the environment names.
TEST(SyncChild, Reload) {
    const char* url = std::getenv("VESK_SYNC_CHILD_URL");
    if (url == nullptr) {
        GTEST_SKIP() << "runs as the child of AClientKilledMidDownloadLeavesTheCacheUsable";
    }
    Cache cache{WorkspaceServicesImpl::Open(url, std::getenv("VESK_SYNC_CHILD_CACHE"), nullptr)};
    cache.Reload();
}

TEST_F(SyncTest, AClientKilledMidDownloadLeavesTheCacheUsable) {
    VeskTest::FaultProxy proxy(server_->Port());
    Cache cache = OpenCache("cache", proxy.Port());
    ASSERT_EQ(cache.Reload(), "");
    const std::string before = VeskTest::FileBytes(CachedFile("cache").string());
    ChangeRemotely("Changed elsewhere");

    proxy.Set(VeskTest::FaultProxy::Mode::Hold, 4096);
    const std::string url = "VESK_SYNC_CHILD_URL=" + WorkspaceUrl(proxy.Port());
    const std::string folder = "VESK_SYNC_CHILD_CACHE=" + (temp_.Path() / "cache").string();
    std::string self = "/proc/self/exe";
    std::string filter = "--gtest_filter=SyncChild.Reload";
    char* argv[] = {self.data(), filter.data(), nullptr};
    char* envp[] = {const_cast<char*>(url.c_str()), const_cast<char*>(folder.c_str()), nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, envp), 0);
    const bool held = proxy.WaitUntilHolding(20000);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(held) << "the child never reached its download";
    proxy.Set(VeskTest::FaultProxy::Mode::Pass);
    proxy.Release();

    EXPECT_EQ(VeskTest::FileBytes(CachedFile("cache").string()), before);
    EXPECT_FALSE(cache.LocalModified());
    EXPECT_EQ(cache.Reload(), "");
    EXPECT_EQ(cache.Description(), "Changed elsewhere");
}

}  // namespace
