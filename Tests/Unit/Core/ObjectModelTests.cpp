// Reference counting, Ptr<T>, the rules of the error-code boundary, and values: their conversions, text
// forms and comparison rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Core/DataObjects.h"
#include "Core/ErrorCode.h"
#include "Core/Guard.h"
#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Core/StringFormat.h"
#include "Core/TypeName.h"
#include "Core/Variant.h"
#include "Support/Thrown.h"
#include "Vesk/Data/IString.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace/IWorkspaceManager.h"

namespace {

using VeskTest::MessageThrownBy;

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
    EXPECT_FALSE(Core::MakeErrorCode(2, "boom")->TryLock()) << "error objects have no lock";
}

// Interfaces print as "struct" names, as the messages below show; other types print plainly.
TEST(ObjectModel, PtrMisuseIsReportedWithTheTypeName) {
    EXPECT_EQ(Core::TypeName<unsigned char>(), "unsigned char");
    Core::Ptr<IProbe> empty;
    EXPECT_EQ(MessageThrownBy([&] { empty->Value(); }),
              "Null pointer exception! Interface is not accessible: struct (anonymous namespace)::IProbe");
    int alive = 0;
    Core::Ptr<Core::IObject> object = Core::MakeObject<Probe>(&alive);
    EXPECT_EQ(MessageThrownBy([&] { object.Cast<Data::Interfaces::IString>(); }),
              "Cannot cast to desired interface: Interface: struct Core::IObject Implementation: struct "
              "Data::Interfaces::IString");
    EXPECT_EQ(MessageThrownBy([&] { object.Receive(); }),
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
    EXPECT_EQ(MessageThrownBy([] {
                  Core::ThrowIfFailed([](Core::IErrorCode** e) {
                      return Core::AbiGuard(e, [] { throw std::runtime_error("inner"); });
                  });
              }),
              "inner");
    EXPECT_EQ(MessageThrownBy([] { Core::ThrowIfFailed([](Core::IErrorCode**) { return false; }, "Request failed"); }),
              "Request failed");
}

TEST(StringFormat, FormatsAnyLength) {
    EXPECT_EQ(Core::StringFormat("%s-%d", "a", 5), "a-5");
    const std::string longText(5000, 'x');
    EXPECT_EQ(Core::StringFormat("[%s]", longText.c_str()).size(), 5002u);
}

// ---- Values: their conversions, text forms and comparison rules ----

using Data::Uuid;
using Data::Variant;
using namespace Data::Structures;

Variant Undefined() {
    _VARIANT raw{};
    raw.type = 28;
    return Variant::Adopt(raw);
}

TEST(VariantCompare, TheRightTypeChoosesTheRule) {
    // An integer on the right makes the comparison integral: 5.9 truncates to 5.
    EXPECT_EQ(Data::Compare(Variant::FromInt32(5), Variant::FromDouble(5.9), false), -1);
    EXPECT_EQ(Data::Compare(Variant::FromDouble(5.9), Variant::FromInt32(5), false), 0);
    EXPECT_EQ(Data::Compare(Variant::FromDouble(NAN), Variant::FromDouble(1.0), false), 1);
    EXPECT_EQ(Data::Compare(Variant::FromDouble(1.0), Variant::FromDouble(NAN), false), 1);
    EXPECT_EQ(Data::Compare(Variant::FromInt64(-3), Variant::FromByte(200), false), -1);
    // Text compares bytewise, the shorter first.
    EXPECT_EQ(Data::Compare(Variant::FromString("abc"), Variant::FromString("abd"), true), -1);
    EXPECT_EQ(Data::Compare(Variant::FromString("ab"), Variant::FromString("abc"), true), -1);
    EXPECT_EQ(Data::Compare(Variant::FromInlineString("same"), Variant::FromString("same"), false), 0);
    EXPECT_EQ(Data::Compare(Variant::FromString("\xC3\xA9"), Variant::FromString("z"), true), 1);
    // Date-times compare by time.
    auto earlier = Variant::FromObject(Data::NewCurrentDateTime(), VT_DateTime);
    Core::Ptr<Data::Interfaces::IDateTime> later = Data::NewCurrentDateTime();
    later->AddMilliseconds(1000);
    EXPECT_EQ(Data::Compare(earlier, Variant::FromObject(later, VT_DateTime), false), -1);
    EXPECT_EQ(Data::Compare(earlier, earlier, false), 0);
    // Uuid halves compare as signed numbers.
    Uuid low{};
    Uuid high{};
    low.bytes[7] = 0x80;  // top bit of the low half set: negative as a signed number
    high.bytes[7] = 0x7F;
    EXPECT_EQ(Data::Compare(Variant::FromUuid(low), Variant::FromUuid(high), false), -1);
    high.bytes[15] = 0x01;  // a larger high half decides before the low halves
    low.bytes[15] = 0x02;
    EXPECT_EQ(Data::Compare(Variant::FromUuid(low), Variant::FromUuid(high), false), 1);
}

TEST(VariantCompare, MismatchesAndMissingValuesAreRefused) {
    EXPECT_EQ(MessageThrownBy([] { Data::Compare(Variant(), Variant(), false); }),
              "Values cannot be compared due type mismatch! Left type is Null, Right type is Null");
    EXPECT_EQ(MessageThrownBy([] { Data::Compare(Variant::FromString("a"), Variant::FromInt32(1), false); }),
              "Values cannot be compared due type mismatch! Left type is String, Right type is Int32");
    const Variant nullString = Variant::FromObject(static_cast<Core::IObject*>(nullptr), VT_String);
    EXPECT_EQ(MessageThrownBy([&] { Data::Compare(Variant::FromString("a"), nullString, false); }),
              "Null values cannot be compared! Left type is String, Right type is String");
    EXPECT_EQ(MessageThrownBy([] {
                  Data::Compare(Undefined(), Variant::FromInt32(1), false);
              }).rfind("Variant type is undefined!", 0),
              0u);
}

TEST(VariantValues, TextForms) {
    EXPECT_EQ(Variant::FromInt32(-42).ToString(), "-42");
    EXPECT_EQ(Variant::FromByte(200).ToString(), "200");
    EXPECT_EQ(Variant::FromDouble(1.5).ToString(), "1.500000");
    EXPECT_EQ(Variant::FromBool(true).ToString(), "true");
    EXPECT_EQ(Variant::FromInt128(1, 2).ToString(), "Int128_ToStringNotImplemented");
    EXPECT_EQ(Variant::FromObject(Data::NewByteArray("abcd", 4), VT_Array).ToString(), "[Array] (Stride: 1, Count: 4)");
    Core::Ptr<Data::Interfaces::IJsonDocument> json;
    ASSERT_TRUE(Data_CreateJsonDocument(json.Receive()));
    EXPECT_EQ(Variant::FromObject(json, VT_JsonDocument).ToString(), "{}");
    Uuid uuid{};
    uuid.bytes[0] = 0xAB;
    EXPECT_EQ(Variant::FromUuid(uuid).ToString(), "ab000000-0000-0000-0000-000000000000");
    EXPECT_EQ(Variant::FromObject(Core::MakeErrorCode(2, "failed"), VT_ErrorCode).ToString(), "failed");
    Core::Ptr<Data::Interfaces::IObjectList> list;
    ASSERT_TRUE(Data_CreateObjectList(list.Receive()));
    ASSERT_TRUE(list->Append(Data::NewString("a").GetUnchecked(), nullptr));
    ASSERT_TRUE(list->Append(Data::NewString("b").GetUnchecked(), nullptr));
    EXPECT_EQ(Variant::FromObject(list, VT_StringList).ToString(), "[ \"a\" \"b\" ]");
    EXPECT_EQ(Variant::FromObject(list, VT_ObjectList).ToString(), "[ a b ]");
}

TEST(VariantValues, CopiesShareTheHeldObjectAndReleaseIt) {
    int alive = 0;
    {
        Variant a = Variant::FromObject(Core::MakeObject<Probe>(&alive), VT_IObject);
        Variant b = a;
        Variant c = std::move(b);
        a = Variant::FromInt32(1);
        EXPECT_EQ(alive, 1);
        EXPECT_EQ(c.Raw().object, c.AsObject<Core::IObject>().GetUnchecked());
    }
    EXPECT_EQ(alive, 0);
}

TEST(VariantValues, SizesAndTypedAccessorsNameWhatIsMissing) {
    EXPECT_EQ(Variant::FromBool(true).Size(), 1u);
    EXPECT_EQ(Variant().Size(), 0u);
    EXPECT_EQ(Variant::FromString("hello").Size(), 5u);
    EXPECT_EQ(Variant::FromUuid(Uuid{}).Size(), 16u);
    EXPECT_EQ(MessageThrownBy([] { Variant::FromObject(Data::NewCurrentDateTime(), VT_DateTime).Size(); }),
              ".size() method not supported on current variant type");
    EXPECT_EQ(MessageThrownBy([] { Undefined().Size(); }).rfind("Variant type is undefined!", 0), 0u);
    EXPECT_EQ(MessageThrownBy([] { Variant::FromInt32(1).AsJson(); }),
              "Must be json type! Meaning: Must implement Data::IJsonDocument interface");
    EXPECT_EQ(MessageThrownBy([] { Variant::FromObject(Data::NewString("x"), VT_DateTime).AsDateTime(); }),
              "Object does not implement Interfaces::IDateTime interface!");
    EXPECT_EQ(MessageThrownBy([] { Variant::FromInlineString("x").AsString(); }),
              "String cannot be converted to the primitive type!");
    EXPECT_EQ(MessageThrownBy([] { Variant::FromInt32(1).AsObject<Data::Interfaces::IString>(); }),
              "Must be reference type! Must implement Core::IObject interface!");
    EXPECT_FALSE(Variant().AsObject<Data::Interfaces::IString>());
}

TEST(VariantValues, ConversionsKeepSignednessAndReadUuidTextForFilters) {
    EXPECT_EQ(Variant::FromSByte(-1).ToInt64(), -1);
    EXPECT_EQ(Variant::FromByte(255).ToInt64(), 255);
    EXPECT_EQ(Variant::FromUInt16(65535).ToInt64(), 65535);
    EXPECT_EQ(Variant::FromDouble(-2.9).ToInt64(), -2);
    EXPECT_DOUBLE_EQ(Variant::FromUInt64(UINT64_MAX).ToDouble(), 18446744073709551615.0);
    EXPECT_EQ(MessageThrownBy([] { Variant::FromInlineString("1").ToInt64(); }),
              "String cannot be converted to the primitive type!");
    EXPECT_EQ(MessageThrownBy([] { Variant::FromString("1").ToInt64(); }), "Must be value type!");
    const Uuid expected = Data::UuidFromText("0123456789abcdef0123456789abcdef");
    EXPECT_EQ(
        std::memcmp(Data::UuidFromText("urn:uuid:01234567-89ab-cdef-0123-456789abcdef").bytes, expected.bytes, 16), 0);
    EXPECT_EQ(std::memcmp(Data::UuidFromText("  {01234567-89AB-CDEF-0123-456789ABCDEF} ").bytes, expected.bytes, 16),
              0);
    EXPECT_FALSE(MessageThrownBy([] { Data::UuidFromText("urn:uuid:nonsense"); }).empty());
    Variant result;
    ASSERT_TRUE(Data::TryConvert(Variant::FromString("42"), VT_Int64, result));
    EXPECT_EQ(result.Type(), VT_Int64);
    EXPECT_EQ(result.ToInt64(), 42);
    ASSERT_TRUE(Data::TryConvert(Variant::FromInt32(7), VT_Double, result));
    EXPECT_DOUBLE_EQ(result.ToDouble(), 7.0);
    ASSERT_TRUE(Data::TryConvert(Variant::FromString("01234567-89ab-cdef-0123-456789abcdef"), VT_Uuid, result));
    EXPECT_EQ(result.ToString(), "01234567-89ab-cdef-0123-456789abcdef");
    Variant untouched = Variant::FromInt32(9);
    EXPECT_FALSE(Data::TryConvert(Variant::FromString("4x2"), VT_Int32, untouched));
    EXPECT_EQ(untouched.ToInt64(), 9);
}

}  // namespace
