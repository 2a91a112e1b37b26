// Posting work to threads, task states and results, and status callbacks carried home.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Core/ErrorCode.h"
#include "Core/Ptr.h"
#include "Core/Variant.h"
#include "Platform/AsyncTask.h"
#include "Platform/AsyncTaskImpl.h"
#include "Platform/AsyncTaskStatusCallback.h"
#include "Platform/ThreadDispatcher.h"
#include "PlatformTestSupport.h"
#include "Support/LogCapture.h"
#include "Support/Thrown.h"

namespace {

using namespace Platform::Interfaces;
using Data::Variant;
using Platform::Threading::AsyncTask;
using Platform::Threading::impl::AsyncTaskImpl;
using Platform::Threading::impl::AsyncTaskStatusCallbackImpl;
using Platform::Threading::impl::CreateThreadDispatcher;
using Platform::Threading::impl::ThreadDispatcher;
using PlatformTest::FailureOf;
using VeskTest::MessageThrownBy;

// Runs everything posted to the calling thread so far.
void Pump(const Core::Ptr<ThreadDispatcher>& dispatcher) {
    AsyncTask marker = dispatcher->Post([] {});
    ASSERT_TRUE(marker);
    ASSERT_TRUE(marker->WaitPumping(false));
}

TEST(Dispatcher, PostedWorkWaitsForAPumpingWaitOfItsThread) {
    Core::Ptr<ThreadDispatcher> dispatcher = CreateThreadDispatcher();
    EXPECT_TRUE(dispatcher->IsIdle());
    int runs = 0;
    AsyncTask task = dispatcher->Post([&] { ++runs; });
    ASSERT_TRUE(task);
    EXPECT_FALSE(dispatcher->IsIdle());
    EXPECT_FALSE(task->Wait(30));
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(task->GetState(), TaskQueued);

    EXPECT_TRUE(task->WaitPumping(false));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(task->GetState(), TaskCompleted);
    EXPECT_TRUE(task->IsFinished());
    EXPECT_FALSE(task->IsFailed());
    EXPECT_TRUE(dispatcher->IsIdle());
    EXPECT_TRUE(task->Wait(0));
    EXPECT_EQ(task.Result().Type(), Data::Structures::VT_Null);
    EXPECT_TRUE(task->WaitDispatching());
    EXPECT_EQ(runs, 1);
}

TEST(Dispatcher, WorkOutlivesItsDispatcherAndMayWaitForLaterWorkOfItsThread) {
    std::string order;
    // Both dispatchers are released while their work is still queued.
    AsyncTask outer = CreateThreadDispatcher()->Post([&] {
        AsyncTask inner = CreateThreadDispatcher()->Post([&] { order += 'i'; });
        EXPECT_FALSE(inner->Wait(10));
        EXPECT_TRUE(inner->WaitPumping(false));
        order += 'o';
    });
    ASSERT_TRUE(outer->WaitPumping(false));
    EXPECT_EQ(order, "io");
}

TEST(Dispatcher, IsBoundToItsThreadAndRefusesOwnerOperations) {
    Core::Ptr<ThreadDispatcher> dispatcher = CreateThreadDispatcher();
    EXPECT_TRUE(dispatcher->IsValid());
    EXPECT_EQ(dispatcher->GetThreadId(), 0u);
    EXPECT_STREQ(dispatcher->GetName(), "");
    EXPECT_NE(dispatcher->GetHandle(), nullptr);
    EXPECT_EQ(CreateThreadDispatcher()->GetHandle(), dispatcher->GetHandle());
#if defined(_WIN32)
    // The thread's own handle, duplicated from its pseudo-handle.
    EXPECT_EQ(GetThreadId(static_cast<HANDLE>(dispatcher->GetHandle())), GetCurrentThreadId());
#endif
    EXPECT_FALSE(dispatcher->HasTimeout());
    const std::string consumed =
        "This thread was consumed. Thread start/stop functions work only on created and owned threads.";
    EXPECT_EQ(FailureOf([&](auto e) { return dispatcher->Start(e); }), consumed);
    EXPECT_EQ(FailureOf([&](auto e) { return dispatcher->Stop(e); }), consumed);
    EXPECT_EQ(FailureOf([&](auto e) { return dispatcher->SetTimeout(10, e); }),
              "This thread was consumed. Thread timeout functions work only on created and owned threads.");
    EXPECT_EQ(FailureOf([&](auto e) { return dispatcher->Reserved9(nullptr, nullptr, nullptr, e); }),
              "Function not implemented");

#if defined(_WIN32)
    // The whole name becomes the thread's description, where the system keeps descriptions.
    using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
    auto getDescription = reinterpret_cast<GetDescription>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    dispatcher->SetName("platform-test-thread-name \xC3\xA9");
    dispatcher->SetName(nullptr);
    if (getDescription != nullptr) {
        PWSTR description = nullptr;
        ASSERT_TRUE(SUCCEEDED(getDescription(GetCurrentThread(), &description)));
        EXPECT_STREQ(description, L"platform-test-thread-name \u00E9");
        LocalFree(description);
    }
    EXPECT_STREQ(dispatcher->GetName(), "");
    dispatcher->SetName("");
#else
    char before[16] = {};
    pthread_getname_np(pthread_self(), before, sizeof before);
    dispatcher->SetName("platform-test-thread-name");
    dispatcher->SetName(nullptr);
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    EXPECT_STREQ(name, "platform-test-t");
    EXPECT_STREQ(dispatcher->GetName(), "");
    pthread_setname_np(pthread_self(), before);
#endif
}

TEST(Dispatcher, ManyThreadsPostToOneThreadInTheirOwnOrder) {
    Core::Ptr<ThreadDispatcher> dispatcher = CreateThreadDispatcher();
    const std::thread::id home = std::this_thread::get_id();
    constexpr int kThreads = 6;
    constexpr int kPosts = 150;
    std::vector<int> next(kThreads, 0);  // touched only on the dispatcher's thread
    bool inOrderAtHome = true;
    std::vector<AsyncTask> tasks(kThreads * kPosts);
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kPosts; ++i) {
                tasks[t * kPosts + i] = dispatcher->Post([&, t, i] {
                    inOrderAtHome = inOrderAtHome && next[t]++ == i && std::this_thread::get_id() == home;
                });
            }
        });
    }
    for (std::thread& poster : posters) {
        poster.join();
    }
    for (const AsyncTask& task : tasks) {
        ASSERT_TRUE(task);
        ASSERT_TRUE(task->WaitPumping(false));
    }
    EXPECT_TRUE(inOrderAtHome);
    EXPECT_TRUE(dispatcher->IsIdle());
    EXPECT_EQ(next, std::vector<int>(kThreads, kPosts));
}

TEST(Dispatcher, WorkQueuedForAThreadThatEndsIsReleasedUnrun) {
    std::atomic<bool> ran{false};
    Core::Ptr<ThreadDispatcher> orphaned;
    AsyncTask task;
    std::thread worker([&] {
        orphaned = CreateThreadDispatcher();
        task = orphaned->Post([&] { ran = true; });
    });
    worker.join();
    ASSERT_TRUE(task);
    EXPECT_TRUE(task->Wait(1000));
    EXPECT_FALSE(ran);
    EXPECT_EQ(task->GetState(), TaskQueued);
    EXPECT_TRUE(orphaned->IsIdle());

    // Posting to the ended thread fails quietly with a log line and an empty task.
    VeskTest::LogCapture capture;
    EXPECT_FALSE(orphaned->Post([&] { ran = true; }));
#if defined(_WIN32)
    const std::string refused = "ERROR: QueueUserAPC Error: 6, Thread: [ThreadDispatcher] (Posting from ";
#else
    const std::string refused = "ERROR: QueueUserAPC Error: 3, Thread: [ThreadDispatcher] (Posting from ";
#endif
    EXPECT_NE(capture.Text().find(refused), std::string::npos) << capture.Text();
    EXPECT_NE(capture.Text().find("STACK_TRACE: ["), std::string::npos);
    EXPECT_TRUE(orphaned->IsIdle());
}

TEST(Tasks, CancelBeforeRunReleasesWaitersSkipsTheWorkAndTellsEachCallbackOnce) {
    Core::Ptr<ThreadDispatcher> dispatcher = CreateThreadDispatcher();
    bool ran = false;
    int cancelled[2] = {0, 0};
    const auto callback = [&](int which) {
        return Core::MakeObject<AsyncTaskStatusCallbackImpl>(nullptr, nullptr, [&, which](AsyncTask t) {
            ++cancelled[which];
            EXPECT_EQ(t->GetState(), TaskCancelled);
        });
    };
    // One callback hears of the cancel only from the runner, the other also when it registers.
    AsyncTask early = dispatcher->Post([&] { ran = true; });
    early->SetStatusCallback(callback(0).GetUnchecked());
    early->Cancel();
    AsyncTask late = dispatcher->Post([&] { ran = true; });
    late->Cancel();
    late->SetStatusCallback(callback(1).GetUnchecked());

    EXPECT_TRUE(early->Wait(0));
    EXPECT_EQ(early->GetState(), TaskCancelRequested);
    EXPECT_TRUE(early->IsCancelled());
    EXPECT_FALSE(early->IsFinished());
    Pump(dispatcher);
    Pump(dispatcher);
    EXPECT_FALSE(ran);
    EXPECT_EQ(early->GetState(), TaskCancelled);
    EXPECT_EQ(late->GetState(), TaskCancelled);
    EXPECT_EQ(cancelled[0], 1);
    EXPECT_EQ(cancelled[1], 1);
    EXPECT_TRUE(dispatcher->IsIdle());
    EXPECT_EQ(early.Result().Type(), Data::Structures::VT_Null);
}

TEST(Tasks, TheWorksOutcomeIsItsOwnResultItsReturnValueOrItsException) {
    Core::Ptr<ThreadDispatcher> dispatcher = CreateThreadDispatcher();
    AsyncTask self;
    AsyncTask setsOwn = dispatcher->PostWork([&] {
        Variant own = Variant::FromInt32(7);
        self->SetResult(&own.Raw());
        return Variant::FromInt32(9);
    });
    self = setsOwn;
    AsyncTask returns = dispatcher->PostWork([] { return Variant::FromInt32(9); });
    std::string reported;
    AsyncTask standard = dispatcher->Post([] { throw std::runtime_error("disk on fire"); });
    auto callback = Core::MakeObject<AsyncTaskStatusCallbackImpl>(
        [&](AsyncTask, Core::ErrorCode error) { reported = std::string(error.Message()); }, nullptr, nullptr);
    standard->SetStatusCallback(callback.GetUnchecked());
    AsyncTask other = dispatcher->Post([] { throw 42; });
    ASSERT_TRUE(other->WaitPumping(false));
    Pump(dispatcher);

    // A result set by the work wins over its return value.
    EXPECT_EQ(setsOwn.Result().ToInt64(), 7);
    EXPECT_EQ(returns.Result().ToInt64(), 9);
    self = AsyncTask();
    EXPECT_EQ(standard->GetState(), TaskFailed);
    EXPECT_TRUE(standard->IsFailed());
    EXPECT_TRUE(standard->IsFinished());
    EXPECT_STREQ(standard->GetErrorMessage(), "disk on fire");
    EXPECT_EQ(reported, "disk on fire");
    EXPECT_EQ(other->GetState(), TaskFailed);
    EXPECT_EQ(std::string(other->GetErrorMessage()).rfind("Unknown Exception in Async Task: (Tid: ", 0), 0u);
    const Platform::ErrorRecord record = Core::Ptr<IAsyncTask>(other.Get()).Cast<AsyncTaskImpl>()->GetError();
    EXPECT_FALSE(record.noError);
    EXPECT_EQ(record.function, "Platform::Threading::impl::details::Impl_ThreadworkCallback");
    EXPECT_EQ(record.file, "KeldaPlatform/Include/Platform/Threading");
}

TEST(Tasks, CompletionFromAnotherThreadReachesAPumpingWaiter) {
    auto task = Core::MakeObject<AsyncTaskImpl>();
    std::thread::id where;
    int completed = 0;
    auto callback = Core::MakeObject<AsyncTaskStatusCallbackImpl>(
        nullptr,
        [&](AsyncTask t, Variant value) {
            ++completed;
            where = std::this_thread::get_id();
            EXPECT_EQ(value.ToInt64(), 5);
            EXPECT_EQ(t->GetState(), TaskCompleted);
        },
        nullptr);
    task->SetStatusCallback(callback.GetUnchecked());
    std::thread network([task] {
        Variant value = Variant::FromInt32(5);
        task->SetResult(&value.Raw());
        task->SetState(TaskCompleted);
        task->Signal();
    });
    EXPECT_TRUE(task->WaitPumping(true));
    network.join();
    // The handler was posted before the event was set, and posted work runs before the wait ends.
    EXPECT_EQ(completed, 1);
    EXPECT_EQ(where, std::this_thread::get_id());
}

TEST(Tasks, StateChangesNotifyInTheirOrderOfPrecedence) {
    auto task = Core::MakeObject<AsyncTaskImpl>();
    EXPECT_EQ(task->GetState(), TaskCreated);
    std::string events;
    auto callback = Core::MakeObject<AsyncTaskStatusCallbackImpl>([&](AsyncTask, Core::ErrorCode) { events += 'F'; },
                                                                  [&](AsyncTask, Variant) { events += 'C'; },
                                                                  [&](AsyncTask) { events += 'X'; });
    Core::Ptr<ThreadDispatcher> dispatcher = CreateThreadDispatcher();
    // Registering tells the callback about the state the task is in already; the handler is posted
    // to this thread and runs only when it pumps.
    for (uint32_t state : {TaskQueued, TaskRunning, TaskCancelRequested, TaskCancelled, TaskCompleted, TaskFailed}) {
        task->SetStatusCallback(nullptr);
        task->SetState(state);
        const std::string before = events;
        task->SetStatusCallback(callback.GetUnchecked());
        EXPECT_EQ(events, before);
        Pump(dispatcher);
    }
    EXPECT_EQ(events, "XXCF");
    EXPECT_FALSE(task->TrySetState(TaskCreated, TaskQueued));
    EXPECT_EQ(task->GetState(), TaskFailed);
}

// Counts every notification into a counter of the test's, on whichever thread it arrives. One that
// is slow to die keeps the thread that drops the last reference to it busy for a moment.
class CountingCallback final : public Core::ObjectT<IAsyncTaskStatusCallback> {
public:
    CountingCallback(std::atomic<int>& heard, bool slowToDie) : heard_(heard), slowToDie_(slowToDie) {}
    void OnFailed(IAsyncTask*) override { ++heard_; }
    void OnReserved(IAsyncTask*) override {}
    void OnCompleted(IAsyncTask*) override { ++heard_; }
    void OnCancelled(IAsyncTask*) override { ++heard_; }

private:
    ~CountingCallback() override {
        if (slowToDie_) {
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    }
    std::atomic<int>& heard_;
    const bool slowToDie_;
};

TEST(Tasks, EachCallbackHearsOnceWhateverTheRunnerIsDoingMeanwhile) {
    auto stop = Core::MakeObject<AsyncTaskImpl>();
    std::promise<Core::Ptr<ThreadDispatcher>> ready;
    std::thread worker([&] {
        ready.set_value(CreateThreadDispatcher());
        stop->WaitPumping(false);
    });
    Core::Ptr<ThreadDispatcher> remote = ready.get_future().get();
    // Each task gets a first callback right after posting, which races the runner. Once the runner
    // has counted the task done, a second one replaces it while the runner completes, releases and
    // clears; the task holds the first one's last reference, so dropping it takes a while there.
    // Some tasks are cancelled before or after the second registration.
    constexpr int kTasks = 4000;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    std::vector<std::atomic<int>> heard(2 * kTasks);
    int posted = 0;
    for (; posted < kTasks && std::chrono::steady_clock::now() < deadline; ++posted) {
        AsyncTask task = remote->Post([] {});
        task->SetStatusCallback(Core::MakeObject<CountingCallback>(heard[2 * posted], true).GetUnchecked());
        if (posted % 4 == 1) {
            task->Cancel();
        }
        while (!remote->IsIdle()) {
            std::this_thread::yield();
        }
        task->SetStatusCallback(Core::MakeObject<CountingCallback>(heard[2 * posted + 1], false).GetUnchecked());
        if (posted % 4 == 2) {
            task->Cancel();
        }
    }
    // Work runs in posting order, so every task has run once this one has.
    EXPECT_TRUE(remote->Post([] {})->Wait(60000));
    stop->Signal();
    worker.join();
    int unheard = 0;
    int repeated = 0;
    for (int i = 0; i < 2 * posted; ++i) {
        unheard += heard[i] == 0 ? 1 : 0;
        repeated += heard[i] > 1 ? 1 : 0;
    }
    EXPECT_EQ(unheard, 0) << "of " << 2 * posted << " callbacks";
    EXPECT_EQ(repeated, 0) << "of " << 2 * posted << " callbacks";
}

void ReportingFunction(const Data::Structures::_VARIANT* argument, Core::IErrorCode** error) {
    *error = Core::MakeErrorCode(2, "reported " + Variant(*argument).ToString()).Detach();
}

TEST(Tasks, AbiPostRunsPlainFunctionsAndLogsTheirErrors) {
    Core::Ptr<ThreadDispatcher> dispatcher = CreateThreadDispatcher();
    VeskTest::LogCapture capture;
    Variant argument = Variant::FromInt32(11);
    Core::Ptr<IAsyncTask> task;
    ASSERT_TRUE(dispatcher->_abi_Post(&ReportingFunction, &argument.Raw(), task.Receive(), nullptr));
    ASSERT_TRUE(task->WaitPumping(false));
    EXPECT_EQ(task->GetState(), TaskCompleted);
    EXPECT_NE(capture.Text().find("ERROR: reported 11"), std::string::npos) << capture.Text();

    Core::Ptr<IAsyncTask> none;
    const std::string nullFunction =
        FailureOf([&](auto e) { return dispatcher->_abi_Post(nullptr, nullptr, none.Receive(), e); });
    EXPECT_EQ(nullFunction.rfind("Pointer of void (", 0), 0u) << nullFunction;
    Data::Structures::_VARIANT garbage{};
    garbage.type = 99;
    EXPECT_EQ(FailureOf([&](auto e) { return dispatcher->_abi_Post(&ReportingFunction, &garbage, none.Receive(), e); }),
              "Variant type is undefined! Did you forget to zero out the VARIANT structure? It appears uninitialized!");
    IAsyncTask* occupied = task.GetUnchecked();
    EXPECT_EQ(FailureOf([&](auto e) { return dispatcher->_abi_Post(&ReportingFunction, nullptr, &occupied, e); }),
              "Pointer of struct Platform::Interfaces::IAsyncTask must be null in order to avoid memory leaks!");
    EXPECT_TRUE(dispatcher->IsIdle());
}

TEST(TaskResult, ConvertsToTheRequestedInterfaceOrSaysWhy) {
    using Data::Interfaces::IString;
    using Platform::Threading::TaskResultAs;
    const auto failure = [](const Variant& value) { return MessageThrownBy([&] { TaskResultAs<IString>(value); }); };
    Variant text = Variant::FromString("abc");
    EXPECT_STREQ(TaskResultAs<IString>(text)->GetText(), "abc");
    EXPECT_EQ(failure(Variant::FromObject(Core::MakeErrorCode(2, "remote said no"), Data::Structures::VT_ErrorCode)),
              "remote said no");
    EXPECT_EQ(failure(Variant::FromObject(static_cast<Core::IObject*>(nullptr), Data::Structures::VT_String)),
              "Result is nullptr! Did you set the result? Cancelled tasks do not have any result!");
    // Null, a cancelled task's result, is held inline: no empty reference but no reference at all.
    EXPECT_EQ(failure(Variant()),
              "Task result must be of reference type (derived from Core::IObject)! Current type is: struct "
              "Data::Interfaces::IString");
    EXPECT_EQ(failure(Variant::FromObject(Core::MakeErrorCode(2, "x"), Data::Structures::VT_IObject)),
              "Cannot cast to desired result type: IObject -> struct Data::Interfaces::IString");
}

}  // namespace
