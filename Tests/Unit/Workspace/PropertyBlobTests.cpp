// The stored form of property values: blob layouts in both directions, encrypted secure strings,
// and property sets (nested ones included) as rows of the Properties table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "Core/DataObjects.h"
#include "Core/ErrorCode.h"
#include "Core/Guard.h"
#include "Core/TableAccess.h"
#include "Core/Variant.h"
#include "Private/Data/SQLite.h"
#include "Private/Data/Table.h"
#include "Private/Database/DbTable.h"
#include "Support/Thrown.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/VeskCore.h"
#include "Vesk/Workspace/WorkspaceSchema.h"
#include "WorkspaceTestSupport.h"

namespace {

namespace DS = Data::Structures;
namespace DI = Data::Interfaces;
using Data::Variant;
using Vesk::Data::BlobToValue;
using Vesk::Data::ValueToBlob;
using ArrayPtr = Core::Ptr<DI::IArray>;

constexpr const char* kBadSize =
    "Failed to read data from blob array due target type size being less than actual or size was beyond 8 bytes.";

std::vector<uint8_t> BytesOf(const ArrayPtr& array) {
    if (!array || array->GetByteSize() == 0) {
        return {};
    }
    return std::vector<uint8_t>(array->GetData(), array->GetData() + array->GetByteSize());
}

ArrayPtr Blob(const std::vector<uint8_t>& bytes) {
    return Data::NewByteArray(bytes.data(), bytes.size());
}

ArrayPtr Secret(const std::string& text = "0123456789abcdef0123456789abcdef") {
    return Data::NewByteArray(text.data(), text.size());
}

Variant Read(const std::vector<uint8_t>& bytes, int32_t type, const char* interfaceType = "") {
    return BlobToValue(Blob(bytes).Get(), type, interfaceType, nullptr);
}

Variant RoundTrip(const Variant& value, const char* interfaceType = "") {
    ArrayPtr secret = Secret();
    ArrayPtr blob = ValueToBlob(value, secret.Get());
    EXPECT_TRUE(blob) << "no blob for type " << Data::VariantTypeName(value.Type());
    return BlobToValue(blob.Get(), value.Type(), interfaceType, secret.Get());
}

Variant SecureString(const std::string& text) {
    Core::Ptr<DI::ISecureString> secure;
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return Data_CreateSecureString(secure.Receive(), text.data(), text.size(), e); });
    return Variant::FromObject(secure, DS::VT_IObject);
}

std::string SecureText(const Variant& value) {
    auto secure = value.AsObject<DI::ISecureString>();
    return std::string(secure->GetText(), secure->GetLength());
}

Variant DateTimeFromFileTime(uint64_t fileTime) {
    Core::Ptr<DI::IDateTime> dateTime;
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return Data_CreateDateTimeFromFileTime(fileTime, dateTime.Receive(), e); });
    return Variant::FromObject(dateTime, DS::VT_DateTime);
}

template <class Document>
Variant DocumentOf(bool (*create)(Document**), const std::string& text, uint16_t type) {
    Core::Ptr<Document> document;
    create(document.Receive());
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return document->Load(text.data(), text.size(), e); });
    return Variant::FromObject(document, type);
}

Variant StringList(const std::vector<std::string>& items) {
    Core::Ptr<DI::IObjectList> list;
    Data_CreateObjectList(list.Receive());
    for (const std::string& item : items) {
        auto text = Data::NewString(item);
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return list->Append(text.Get(), e); });
    }
    return Variant::FromObject(list, DS::VT_StringList);
}

Variant EnumValue(const char* text) {
    Core::Ptr<DI::IEnum> value;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return Data_CreateEnum(value.Receive(), text, e); });
    return Variant::FromObject(value, DS::VT_IObject);
}

// ---- Layout of single values ----

TEST(PropertyBlob, EveryStoredValueTypeComesBackAsItWent) {
    const Data::Uuid uuid = Data::UuidFromText("00112233-4455-6677-8899-aabbccddeeff");
    const std::vector<Variant> values = {
        Variant::FromInt16(-2),
        Variant::FromUInt16(65535),
        Variant::FromInt32(-123456),
        Variant::FromUInt32(4000000000u),
        Variant::FromInt64(std::numeric_limits<int64_t>::min()),
        Variant::FromUInt64(std::numeric_limits<uint64_t>::max()),
        Variant::FromInt128(0x8000000000000001ull, 0x7fffffffffffffffull),
        Variant::FromUInt128(1, 0xffffffffffffffffull),
        Variant::FromUuid(uuid),
        Variant::FromByte(200),
        Variant::FromDouble(-1.5e300),
        Variant::FromFloat(3.25f),
        Variant::FromBool(true),
        Variant::FromBool(false),
        Variant::FromString("Gr\xc3\xbc\xc3\x9f"
                            "e aus K\xc3\xb6ln"),
        Variant::FromInlineString("short"),
        DateTimeFromFileTime(133000000000000000ull),
        DocumentOf<DI::IJsonDocument>(Data_CreateJsonDocument, R"({"depth":[1,2.5],"name":"lake"})",
                                      DS::VT_JsonDocument),
        DocumentOf<DI::IXmlDocument>(Data_CreateXmlDocument, "<style><line width=\"2\"/></style>", DS::VT_XmlDocument),
    };
    for (const Variant& value : values) {
        SCOPED_TRACE(Data::VariantTypeName(value.Type()) + std::string(" ") + value.ToString());
        const Variant back = RoundTrip(value);
        ASSERT_EQ(back.Type(), value.Type());
        EXPECT_EQ(Data::Compare(back, value, true), 0);
        EXPECT_EQ(back.ToString(), value.ToString());
    }
}

TEST(PropertyBlob, ObjectValuesComeBackAsNewObjectsOfTheirKind) {
    const Variant list = RoundTrip(StringList({"north", "",
                                               "s\xc3\xbc"
                                               "d \"quoted\""}));
    ASSERT_EQ(list.Type(), DS::VT_StringList);
    EXPECT_EQ(list.ToString(),
              "[ \"north\" \"\" \"s\xc3\xbc"
              "d \"quoted\"\" ]");

    const Variant enumeration = RoundTrip(EnumValue("Spatial"), "Data::IEnum");
    ASSERT_TRUE(enumeration.AsObject<DI::IEnum>());
    EXPECT_STREQ(enumeration.AsObject<DI::IEnum>()->GetText(), "Spatial");

    const ArrayPtr bytes = Blob({0, 1, 2, 0xfe, 0xff});
    const Variant array = RoundTrip(Variant::FromObject(bytes, DS::VT_Array));
    ASSERT_EQ(array.Type(), DS::VT_Array);
    EXPECT_EQ(BytesOf(array.AsArray()), BytesOf(bytes));
}

TEST(PropertyBlob, LayoutIsLittleEndianWithoutTerminators) {
    EXPECT_EQ(BytesOf(ValueToBlob(Variant::FromInt32(0x01020304), nullptr)),
              (std::vector<uint8_t>{0x04, 0x03, 0x02, 0x01}));
    EXPECT_EQ(BytesOf(ValueToBlob(Variant::FromInt16(-2), nullptr)), (std::vector<uint8_t>{0xfe, 0xff}));
    EXPECT_EQ(BytesOf(ValueToBlob(Variant::FromDouble(1.0), nullptr)),
              (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0xf0, 0x3f}));
    EXPECT_EQ(BytesOf(ValueToBlob(Variant::FromBool(true), nullptr)), std::vector<uint8_t>{1});
    EXPECT_EQ(BytesOf(ValueToBlob(Variant::FromBool(false), nullptr)), std::vector<uint8_t>{0});
    // 2000-01-01T00:00:00Z as a FILETIME: 125911584000000000 = 0x01BF53EB256D4000.
    EXPECT_EQ(BytesOf(ValueToBlob(DateTimeFromFileTime(125911584000000000ull), nullptr)),
              (std::vector<uint8_t>{0x00, 0x40, 0x6d, 0x25, 0xeb, 0x53, 0xbf, 0x01}));
    const Data::Uuid uuid = Data::UuidFromText("00112233-4455-6677-8899-aabbccddeeff");
    EXPECT_EQ(BytesOf(ValueToBlob(Variant::FromUuid(uuid), nullptr)),
              std::vector<uint8_t>(uuid.bytes, uuid.bytes + 16));
    const std::vector<uint8_t> text{'r', 'i', 'v', 'e', 'r'};
    EXPECT_EQ(BytesOf(ValueToBlob(Variant::FromString("river"), nullptr)), text);
    const std::string json = R"(["a","b\"c"])";
    EXPECT_EQ(BytesOf(ValueToBlob(StringList({"a", "b\"c"}), nullptr)), std::vector<uint8_t>(json.begin(), json.end()));
    EXPECT_EQ(BytesOf(ValueToBlob(EnumValue("Raster"), nullptr)), (std::vector<uint8_t>{'R', 'a', 's', 't', 'e', 'r'}));
}

TEST(PropertyBlob, ShortIntegerBlobsAreZeroExtended) {
    EXPECT_EQ(Read({0xff}, DS::VT_Int32).ToInt64(), 255);
    EXPECT_EQ(Read({0xff}, DS::VT_Int32).Type(), DS::VT_Int32);
    EXPECT_EQ(Read({0xff, 0xff}, DS::VT_Int64).ToInt64(), 65535);
    EXPECT_EQ(Read({0x01, 0x02, 0x03, 0x04}, DS::VT_UInt64).ToInt64(), 0x04030201);
    EXPECT_EQ(Read({0x80}, DS::VT_Int16).ToInt64(), 128);
    EXPECT_EQ(Read({0xff, 0xff}, DS::VT_Int16).ToInt64(), -1);
    EXPECT_EQ(Read({0xff}, DS::VT_UInt16).Type(), DS::VT_UInt16);
}

TEST(PropertyBlob, SignedBytesBecomeSignExtendedInt32) {
    const Variant value = Read({0xff}, DS::VT_SByte);
    EXPECT_EQ(value.Type(), DS::VT_Int32);
    EXPECT_EQ(value.ToInt64(), -1);
    EXPECT_EQ(RoundTrip(Variant::FromSByte(-100)).ToInt64(), -100);
    EXPECT_EQ(Read({0xff}, DS::VT_Byte).ToInt64(), 255);
}

TEST(PropertyBlob, BoolReadsItsFirstByteOnly) {
    EXPECT_EQ(Read({0x00, 0x01, 0x01}, DS::VT_Bool).ToString(), "false");
    EXPECT_EQ(Read({0x02}, DS::VT_Bool).ToString(), "true");
}

TEST(PropertyBlob, SizesThatDoNotFitTheTypeAreRefused) {
    struct Case {
        int32_t type;
        size_t size;
    };
    const Case cases[] = {{DS::VT_Int16, 4},  {DS::VT_Int16, 0},   {DS::VT_UInt32, 3}, {DS::VT_Int32, 8},
                          {DS::VT_Int64, 16}, {DS::VT_Int64, 5},   {DS::VT_Byte, 2},   {DS::VT_SByte, 0},
                          {DS::VT_Double, 4}, {DS::VT_Float, 8},   {DS::VT_Uuid, 15},  {DS::VT_Int128, 17},
                          {DS::VT_Bool, 0},   {DS::VT_DateTime, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(Data::VariantTypeName(c.type)) + " from " + std::to_string(c.size) + " bytes");
        EXPECT_EQ(VeskTest::MessageThrownBy([&] { Read(std::vector<uint8_t>(c.size, 1), c.type); }), kBadSize);
    }
}

TEST(PropertyBlob, ValuesWithoutAStoredFormGiveNoBlobAndReadAsNull) {
    auto error = Core::MakeObject<Core::impl::ErrorCodeImpl>(2, "x");
    Core::Ptr<DI::IObjectList> list;
    Data_CreateObjectList(list.Receive());
    const std::vector<Variant> unstored = {
        Variant::Null(),
        Variant::FromObject(Core::Ptr<DI::IString>(), DS::VT_String),
        Variant::FromPointer(nullptr),
        Variant::FromObject(error, DS::VT_ErrorCode),
        Variant::FromObject(list, DS::VT_ObjectList),
        Variant::FromObject(Data::NewString("an object of no stored kind"), DS::VT_IObject),
    };
    for (const Variant& value : unstored) {
        SCOPED_TRACE(Data::VariantTypeName(value.Type()));
        EXPECT_FALSE(ValueToBlob(value, nullptr));
    }
    EXPECT_FALSE(Read({1, 2, 3}, DS::VT_ObjectList).HasData());
    EXPECT_FALSE(Read({1, 2, 3}, DS::VT_IObject, "Data::IUnknownThing").HasData());
    EXPECT_FALSE(BlobToValue(nullptr, DS::VT_Int32, "", nullptr).HasData());
}

TEST(PropertyBlob, ReferencedBoolIsRefused) {
    const Variant referenced = Variant::FromObject(Data::NewString("1"), DS::VT_Bool);
    EXPECT_EQ(VeskTest::MessageThrownBy([&] { ValueToBlob(referenced, nullptr); }), "Must be value type!");
}

TEST(PropertyBlob, StringListBlobMustBeAJsonArray) {
    const std::string broken = R"(["a", )";
    EXPECT_EQ(
        VeskTest::MessageThrownBy([&] { Read(std::vector<uint8_t>(broken.begin(), broken.end()), DS::VT_StringList); }),
        "Json document is not valid!");
    const std::string mixed = R"(["a", 5, {"k": true}])";
    EXPECT_EQ(Read(std::vector<uint8_t>(mixed.begin(), mixed.end()), DS::VT_StringList).ToString(),
              "[ \"a\" \"5\" \"{\"k\":true}\" ]");
}

// ---- Secure strings ----

class SecureStringBlob : public ::testing::Test {
protected:
    // The padded plain bytes inside a blob, opened directly with the core services library.
    std::vector<uint8_t> Decrypted(const ArrayPtr& blob) {
        Core::Ptr<Vesk::Interfaces::IEncryption> aes;
        EXPECT_TRUE(VeskCore_CreateEncryptionInstanceAes256(secret_.Get(), aes.Receive(), nullptr));
        ArrayPtr plain;
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return aes->Decrypt(blob.Get(), plain.Receive(), e); });
        return BytesOf(plain);
    }

    ArrayPtr secret_ = Secret();
};

TEST_F(SecureStringBlob, ReadsBackWithTheSecret) {
    const std::string text = "p@ssw\xc3\xb6rd for the WMS server";
    const ArrayPtr blob = ValueToBlob(SecureString(text), secret_.Get());
    const Variant back = BlobToValue(blob.Get(), DS::VT_IObject, "Data::ISecureString", secret_.Get());
    EXPECT_EQ(back.Type(), DS::VT_IObject);
    EXPECT_EQ(SecureText(back), text);
    // Nothing of the plain text shows in the stored bytes.
    const std::vector<uint8_t> stored = BytesOf(blob);
    EXPECT_EQ(std::search(stored.begin(), stored.end(), text.begin(), text.begin() + 5), stored.end());
}

TEST_F(SecureStringBlob, PlainTextIsPaddedToTheNextMultipleOf32) {
    const std::pair<size_t, size_t> lengths[] = {{0, 32}, {5, 32}, {31, 32}, {32, 64}, {33, 64}, {64, 96}};
    for (const auto& [length, padded] : lengths) {
        SCOPED_TRACE(length);
        const std::string text(length, 'k');
        const std::vector<uint8_t> plain = Decrypted(ValueToBlob(SecureString(text), secret_.Get()));
        ASSERT_EQ(plain.size(), padded);
        EXPECT_EQ(std::string(plain.begin(), plain.begin() + length), text);
        EXPECT_TRUE(std::all_of(plain.begin() + length, plain.end(), [](uint8_t b) { return b == 0; }));
    }
}

TEST_F(SecureStringBlob, ReadingStopsAtTheFirstZeroByte) {
    const std::string withZero("before\0after", 12);
    const ArrayPtr blob = ValueToBlob(SecureString(withZero), secret_.Get());
    EXPECT_EQ(SecureText(BlobToValue(blob.Get(), DS::VT_IObject, "ISecureString", secret_.Get())), "before");
}

TEST_F(SecureStringBlob, UnreadableWithoutTheRightSecret) {
    const ArrayPtr blob = ValueToBlob(SecureString("top secret"), secret_.Get());
    const ArrayPtr other = Secret("another workspace's secret");
    const std::string wrongKey =
        VeskTest::MessageThrownBy([&] { BlobToValue(blob.Get(), DS::VT_IObject, "Data::ISecureString", other.Get()); });
    EXPECT_EQ(wrongKey, "Decryption failed: the encrypted data was changed or was not encrypted with this key");
    const std::string none =
        VeskTest::MessageThrownBy([&] { BlobToValue(blob.Get(), DS::VT_IObject, "Data::ISecureString", nullptr); });
    EXPECT_EQ(none, "A secure string cannot be stored or read without the workspace secret");
    EXPECT_EQ(VeskTest::MessageThrownBy([&] { ValueToBlob(SecureString("x"), nullptr); }), none);
}

TEST_F(SecureStringBlob, EveryChangedByteIsDetected) {
    const std::vector<uint8_t> stored = BytesOf(ValueToBlob(SecureString("tamper with me"), secret_.Get()));
    for (size_t i = 0; i < stored.size(); ++i) {
        std::vector<uint8_t> tampered = stored;
        tampered[i] ^= 0x01;
        EXPECT_EQ(VeskTest::MessageThrownBy(
                      [&] { BlobToValue(Blob(tampered).Get(), DS::VT_IObject, "ISecureString", secret_.Get()); }),
                  "Decryption failed: the encrypted data was changed or was not encrypted with this key")
            << "byte " << i;
    }
    std::vector<uint8_t> truncated(stored.begin(), stored.end() - 1);
    EXPECT_NE(VeskTest::MessageThrownBy(
                  [&] { BlobToValue(Blob(truncated).Get(), DS::VT_IObject, "ISecureString", secret_.Get()); }),
              "");
}

TEST_F(SecureStringBlob, SameTextUnderTheSameSecretGivesTheSameBlob) {
    EXPECT_EQ(BytesOf(ValueToBlob(SecureString("again"), secret_.Get())),
              BytesOf(ValueToBlob(SecureString("again"), secret_.Get())));
    const ArrayPtr other = Secret("another workspace's secret");
    EXPECT_NE(BytesOf(ValueToBlob(SecureString("again"), secret_.Get())),
              BytesOf(ValueToBlob(SecureString("again"), other.Get())));
}

}  // namespace
