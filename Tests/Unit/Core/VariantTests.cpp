// Values: their conversions, text forms and comparison rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "Core/DataObjects.h"
#include "Core/ErrorCode.h"
#include "Core/Object.h"
#include "Core/Variant.h"
#include "Support/Thrown.h"
#include "Vesk/Data/KeldaData.h"

namespace {

using Data::Variant;
using namespace Data::Structures;
using Data::Uuid;

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
    EXPECT_EQ(VeskTest::MessageThrownBy([] { Data::Compare(Variant(), Variant(), false); }),
              "Values cannot be compared due type mismatch! Left type is Null, Right type is Null");
    EXPECT_EQ(VeskTest::MessageThrownBy([] { Data::Compare(Variant::FromString("a"), Variant::FromInt32(1), false); }),
              "Values cannot be compared due type mismatch! Left type is String, Right type is Int32");
    const Variant nullString = Variant::FromObject(static_cast<Core::IObject*>(nullptr), VT_String);
    EXPECT_EQ(VeskTest::MessageThrownBy([&] { Data::Compare(Variant::FromString("a"), nullString, false); }),
              "Null values cannot be compared! Left type is String, Right type is String");
    EXPECT_EQ(VeskTest::MessageThrownBy([] {
                  Data::Compare(Undefined(), Variant::FromInt32(1), false);
              }).rfind("Variant type is undefined!", 0),
              0u);
}

TEST(VariantValues, SizesFollowTheType) {
    EXPECT_EQ(Variant::FromBool(true).Size(), 1u);
    EXPECT_EQ(Variant().Size(), 0u);
    EXPECT_EQ(Variant::FromString("hello").Size(), 5u);
    EXPECT_EQ(Variant::FromUuid(Uuid{}).Size(), 16u);
    EXPECT_EQ(VeskTest::MessageThrownBy([] { Variant::FromObject(Data::NewCurrentDateTime(), VT_DateTime).Size(); }),
              ".size() method not supported on current variant type");
    EXPECT_EQ(VeskTest::MessageThrownBy([] { Undefined().Size(); }).rfind("Variant type is undefined!", 0), 0u);
}

TEST(VariantValues, IntegerConversionKeepsEachTypesSignedness) {
    EXPECT_EQ(Variant::FromSByte(-1).ToInt64(), -1);
    EXPECT_EQ(Variant::FromByte(255).ToInt64(), 255);
    EXPECT_EQ(Variant::FromUInt16(65535).ToInt64(), 65535);
    EXPECT_EQ(Variant::FromDouble(-2.9).ToInt64(), -2);
    EXPECT_DOUBLE_EQ(Variant::FromUInt64(UINT64_MAX).ToDouble(), 18446744073709551615.0);
    EXPECT_EQ(VeskTest::MessageThrownBy([] { Variant::FromInlineString("1").ToInt64(); }),
              "String cannot be converted to the primitive type!");
    EXPECT_EQ(VeskTest::MessageThrownBy([] { Variant::FromString("1").ToInt64(); }), "Must be value type!");
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

TEST(VariantValues, UuidTextAcceptsUrnBracesAndBlanks) {
    const Uuid expected = Data::UuidFromText("0123456789abcdef0123456789abcdef");
    EXPECT_EQ(
        std::memcmp(Data::UuidFromText("urn:uuid:01234567-89ab-cdef-0123-456789abcdef").bytes, expected.bytes, 16), 0);
    EXPECT_EQ(std::memcmp(Data::UuidFromText("  {01234567-89AB-CDEF-0123-456789ABCDEF} ").bytes, expected.bytes, 16),
              0);
    EXPECT_FALSE(VeskTest::MessageThrownBy([] { Data::UuidFromText("urn:uuid:nonsense"); }).empty());
}

// Counts live instances so that a test sees exactly when the last holder lets go.
class Counted final : public Core::ObjectT<Core::IObject> {
public:
    explicit Counted(int* alive) : alive_(alive) { ++*alive_; }

private:
    ~Counted() override { --*alive_; }
    int* alive_;
};

TEST(VariantValues, CopiesShareTheHeldObjectAndReleaseIt) {
    int alive = 0;
    {
        Variant a = Variant::FromObject(Core::MakeObject<Counted>(&alive), VT_IObject);
        Variant b = a;
        Variant c = std::move(b);
        a = Variant::FromInt32(1);
        EXPECT_EQ(alive, 1);
        EXPECT_EQ(c.Raw().object, c.AsObject<Core::IObject>().GetUnchecked());
    }
    EXPECT_EQ(alive, 0);
}

TEST(VariantValues, TypedAccessorsNameWhatIsMissing) {
    EXPECT_EQ(VeskTest::MessageThrownBy([] { Variant::FromInt32(1).AsJson(); }),
              "Must be json type! Meaning: Must implement Data::IJsonDocument interface");
    EXPECT_EQ(VeskTest::MessageThrownBy([] { Variant::FromObject(Data::NewString("x"), VT_DateTime).AsDateTime(); }),
              "Object does not implement Interfaces::IDateTime interface!");
    EXPECT_EQ(VeskTest::MessageThrownBy([] { Variant::FromInlineString("x").AsString(); }),
              "String cannot be converted to the primitive type!");
    EXPECT_EQ(VeskTest::MessageThrownBy([] { Variant::FromInt32(1).AsObject<Data::Interfaces::IString>(); }),
              "Must be reference type! Must implement Core::IObject interface!");
    EXPECT_FALSE(Variant().AsObject<Data::Interfaces::IString>());
}

TEST(VariantValues, ConversionsForFilters) {
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
