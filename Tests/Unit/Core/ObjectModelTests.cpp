// Reference counting, Ptr<T> and the rules of the error-code boundary.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Core/ErrorCode.h"
#include "Core/Guard.h"
#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Core/StringFormat.h"
#include "Core/TypeName.h"
#include "Support/Thrown.h"
#include "Vesk/Data/IString.h"
#include "Vesk/Workspace/IWorkspaceManager.h"

namespace {

struct IProbe : Core::IObject {
    virtual int Value() = 0;
};

// Counts live probes so that a test sees when one is destroyed.
class Probe final : public Core::ObjectT<IProbe> {
public:
    explicit Probe(int* alive) : alive_(alive) { ++*alive_; }
    int Value() override { return 7; }

private:
    ~Probe() override { --*alive_; }
    int* alive_;
};

// The code and message that the boundary makes of what body throws.
template <class Body>
std::pair<int32_t, std::string> Guarded(Body&& body) {
    Core::ErrorCode error;
    EXPECT_FALSE(Core::AbiGuard(error.Receive(), body));
    return {error.Code(), std::string(error.Message())};
}

TEST(ObjectModel, ReleaseDestroysAtZeroAndPtrOwnsExactlyOneReference) {
    int alive = 0;
    IProbe* probe = new Probe(&alive);
    probe->AddReference();
    EXPECT_EQ(probe->Release(), 1u);
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(probe->Release(), 0u);
    EXPECT_EQ(alive, 0);
    {
        Core::Ptr<IProbe> first = Core::MakeObject<Probe>(&alive);
        Core::Ptr<IProbe> second = first;
        Core::Ptr<IProbe> third = std::move(second);
        EXPECT_FALSE(second);
        first = nullptr;
        EXPECT_EQ(alive, 1);
        EXPECT_EQ(third->Value(), 7);
    }
    EXPECT_EQ(alive, 0);
}

TEST(ObjectModel, AnObjectsLockExcludesOtherThreadsAndWakesThem) {
    int alive = 0;
    auto probe = Core::MakeObject<Probe>(&alive);
    probe->Lock();
    bool triedElsewhere = true;
    std::thread([&] { triedElsewhere = probe->TryLock(); }).join();
    EXPECT_FALSE(triedElsewhere) << "held by this thread";
    probe->Unlock();

    // Contended: every increment of a plain counter under the lock counts, and waiters are woken.
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                Core::ObjectLock lock(probe.Get());
                ++counter;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, kThreads * kRounds);
    EXPECT_TRUE(probe->TryLock());
    probe->Unlock();
}

TEST(ObjectModel, ErrorObjectsHaveNoLock) {
    auto error = Core::MakeErrorCode(2, "boom");
    EXPECT_FALSE(error->TryLock());
    EXPECT_STREQ(error->GetMessage(), "boom");
    EXPECT_EQ(error->GetMessageLength(), 4u);
    EXPECT_EQ(error->GetCode(), 2);
}

// Interfaces print as "struct" names, as the messages below show; other types print plainly.
TEST(ObjectModel, PtrMisuseIsReportedWithTheTypeName) {
    EXPECT_EQ(Core::TypeName<void>(), "void");
    EXPECT_EQ(Core::TypeName<unsigned char>(), "unsigned char");
    Core::Ptr<IProbe> empty;
    EXPECT_EQ(VeskTest::MessageThrownBy([&] { empty->Value(); }),
              "Null pointer exception! Interface is not accessible: struct (anonymous namespace)::IProbe");
    int alive = 0;
    Core::Ptr<Core::IObject> object = Core::MakeObject<Probe>(&alive);
    EXPECT_EQ(VeskTest::MessageThrownBy([&] { object.Cast<Data::Interfaces::IString>(); }),
              "Cannot cast to desired interface: Interface: struct Core::IObject Implementation: struct "
              "Data::Interfaces::IString");
    EXPECT_EQ(VeskTest::MessageThrownBy([&] { object.Receive(); }),
              "Must be nullptr to prevent memory leaks. Maybe default constructor initialized the object?");
    EXPECT_EQ(object.Cast<IProbe>()->Value(), 7);
}

TEST(Boundary, StandardExceptionsKeepTheirMessageAndAnythingElseIsUncaught) {
    EXPECT_EQ(Guarded([] { throw std::runtime_error("M"); }), std::make_pair(2, std::string("M")));
    EXPECT_EQ(Guarded([] { throw 42; }), std::make_pair(1, std::string("Uncaught exception")));
}

TEST(Boundary, NullErrorAddressAndExistingErrorAreRespected) {
    EXPECT_FALSE(Core::AbiGuard(nullptr, [] { throw std::runtime_error("ignored"); }));
    Core::IErrorCode* existing = Core::MakeErrorCode(5, "first").Detach();
    Core::IErrorCode* slot = existing;
    EXPECT_FALSE(Core::AbiGuard(&slot, [] { throw std::runtime_error("second"); }));
    EXPECT_EQ(slot, existing);
    EXPECT_STREQ(slot->GetMessage(), "first");
    existing->Release();
    EXPECT_TRUE(Core::AbiGuard(nullptr, [] {}));
}

TEST(Boundary, ArgumentChecksNameTheType) {
    const char* nothing = nullptr;
    EXPECT_EQ(Guarded([&] { Core::CheckNotNull(nothing, "detail"); }).second,
              "Pointer of char must not be null! detail");
    EXPECT_EQ(Guarded([] { Core::CheckOut(static_cast<Vesk::Interfaces::IWorkspaceManager**>(nullptr)); }).second,
              "Pointer to a pointer of struct Vesk::Interfaces::IWorkspaceManager must not be null! Address of "
              "return must be specified!");
    int alive = 0;
    IProbe* held = Core::MakeObject<Probe>(&alive).Detach();
    EXPECT_EQ(Guarded([&] { Core::CheckOut(&held); }).second,
              "Pointer of struct (anonymous namespace)::IProbe must be null in order to avoid memory leaks!");
    EXPECT_EQ(alive, 1);
    held->Release();
}

TEST(Boundary, ThrowIfFailedCarriesTheMessageOrTheFallback) {
    EXPECT_EQ(VeskTest::MessageThrownBy([] {
                  Core::ThrowIfFailed([](Core::IErrorCode** e) {
                      return Core::AbiGuard(e, [] { throw std::runtime_error("inner"); });
                  });
              }),
              "inner");
    EXPECT_EQ(VeskTest::MessageThrownBy(
                  [] { Core::ThrowIfFailed([](Core::IErrorCode**) { return false; }, "Request failed"); }),
              "Request failed");
}

TEST(StringFormat, FormatsAnyLength) {
    EXPECT_EQ(Core::StringFormat("%s-%d", "a", 5), "a-5");
    const std::string longText(5000, 'x');
    EXPECT_EQ(Core::StringFormat("[%s]", longText.c_str()).size(), 5002u);
}

}  // namespace
