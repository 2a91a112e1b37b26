// The lock that serialises opening workspaces of one name across processes.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <thread>

#include "Platform/CrossProcessLock.h"

namespace {

using Platform::Threading::CrossProcessLock;

TEST(CrossProcessLock, SecondHolderWaitsForTheFirst) {
    CrossProcessLock first("VESKDB_WorkspaceLockTest");
    CrossProcessLock second("VESKDB_WorkspaceLockTest");
    first.Acquire();
    std::atomic<bool> acquired{false};
    std::thread waiter([&] {
        second.Acquire();
        acquired = true;
        second.Release();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(acquired.load());
    first.Release();
    waiter.join();
    EXPECT_TRUE(acquired.load());
}

#if defined(_WIN32)
// The lock is the machine-wide named mutex: any process that opens the name waits on the same object.
TEST(CrossProcessLock, IsTheMachineWideMutexOfItsName) {
    CrossProcessLock lock("VESKDB_WorkspaceLockProcessTest");
    EXPECT_EQ(lock.Path(), "Global\\VESKDB_WorkspaceLockProcessTest");
    HANDLE other = OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\VESKDB_WorkspaceLockProcessTest");
    ASSERT_NE(other, nullptr) << GetLastError();
    lock.Acquire();
    // Waited for from another thread, as another process would: busy while held, free once released.
    DWORD whileHeld = 0;
    std::thread([&] { whileHeld = WaitForSingleObject(other, 0); }).join();
    EXPECT_EQ(whileHeld, static_cast<DWORD>(WAIT_TIMEOUT));
    lock.Release();
    DWORD afterRelease = 0;
    std::thread([&] {
        afterRelease = WaitForSingleObject(other, 1000);
        ReleaseMutex(other);
    }).join();
    EXPECT_EQ(afterRelease, static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(other);
}
#else
TEST(CrossProcessLock, AnotherProcessWaitsToo) {
    CrossProcessLock lock("VESKDB_WorkspaceLockProcessTest");
    lock.Acquire();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Exit code 1 when the lock was free while the parent held it.
        CrossProcessLock other("VESKDB_WorkspaceLockProcessTest");
        const auto started = std::chrono::steady_clock::now();
        other.Acquire();
        const auto waited = std::chrono::steady_clock::now() - started;
        _exit(waited >= std::chrono::milliseconds(40) ? 0 : 1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    lock.Release();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(CrossProcessLock, NamesCannotLeaveTheTemporaryFolder) {
    CrossProcessLock lock("VESKDB_Workspace../../etc/x");
    EXPECT_EQ(lock.Path().find("/../"), std::string::npos);
}
#endif

}  // namespace
