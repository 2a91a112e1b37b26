// The stored form of single property values: blob layouts in both directions and encrypted secure strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Core/DataObjects.h"
#include "Core/ErrorCode.h"
#include "Core/Guard.h"
#include "Core/Variant.h"
#include "Private/Data/Table.h"
#include "PropertyValues.h"
#include "Support/Thrown.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/VeskCore.h"

namespace {

namespace DS = Data::Structures;
namespace DI = Data::Interfaces;
using Data::Variant;
using Vesk::Data::BlobToValue;
using Vesk::Data::ValueToBlob;
using ArrayPtr = Core::Ptr<DI::IArray>;
using WorkspaceTest::Bytes;
using WorkspaceTest::BytesOf;
using WorkspaceTest::DateTime;
using WorkspaceTest::SecureString;
using WorkspaceTest::Shown;
using WorkspaceTest::StringList;

constexpr const char* kBadSize =
    "Failed to read data from blob array due target type size being less than actual or size was beyond 8 bytes.";
constexpr const char* kTampered =
    "Decryption failed: the encrypted data was changed or was not encrypted with this key";

ArrayPtr Blob(const Bytes& bytes) {
    return Data::NewByteArray(bytes.data(), bytes.size());
}
ArrayPtr Secret(const std::string& text = "0123456789abcdef0123456789abcdef") {
    return Data::NewByteArray(text.data(), text.size());
}
Variant Read(const Bytes& bytes, int32_t type, const char* interfaceType = "", DI::IArray* secret = nullptr) {
    return BlobToValue(Blob(bytes).Get(), type, interfaceType, secret);
}

TEST(PropertyBlob, LayoutIsLittleEndianWithoutTerminators) {
    EXPECT_EQ(BytesOf(ValueToBlob(Variant::FromInt32(0x01020304), nullptr)), (Bytes{4, 3, 2, 1}));
    EXPECT_EQ(BytesOf(ValueToBlob(Variant::FromDouble(1.0), nullptr)), (Bytes{0, 0, 0, 0, 0, 0, 0xf0, 0x3f}));
    EXPECT_EQ(BytesOf(ValueToBlob(Variant::FromBool(true), nullptr)), Bytes{1});
    // 2000-01-01T00:00:00Z as a FILETIME: 125911584000000000 = 0x01BF53EB256D4000.
    EXPECT_EQ(BytesOf(ValueToBlob(DateTime(125911584000000000ull), nullptr)),
              (Bytes{0x00, 0x40, 0x6d, 0x25, 0xeb, 0x53, 0xbf, 0x01}));
    const Data::Uuid uuid = Data::UuidFromText("00112233-4455-6677-8899-aabbccddeeff");
    EXPECT_EQ(BytesOf(ValueToBlob(Variant::FromUuid(uuid), nullptr)), Bytes(uuid.bytes, uuid.bytes + 16));
    const std::string json = R"(["a","b\"c"])";
    EXPECT_EQ(BytesOf(ValueToBlob(StringList({"a", "b\"c"}), nullptr)), Bytes(json.begin(), json.end()));
}

TEST(PropertyBlob, ShorterIntegersAreZeroExtendedAndSignedBytesSignExtended) {
    EXPECT_EQ(Read({0xff}, DS::VT_Int32).Type(), DS::VT_Int32);
    EXPECT_EQ(Read({0xff}, DS::VT_Int32).ToInt64(), 255);
    EXPECT_EQ(Read({0xff, 0xff}, DS::VT_Int64).ToInt64(), 65535);
    EXPECT_EQ(Read({1, 2, 3, 4}, DS::VT_UInt64).ToInt64(), 0x04030201);
    EXPECT_EQ(Read({0xff, 0xff}, DS::VT_Int16).ToInt64(), -1);
    EXPECT_EQ(Read({0xff}, DS::VT_SByte).Type(), DS::VT_Int32);
    EXPECT_EQ(Read({0xff}, DS::VT_SByte).ToInt64(), -1);
    EXPECT_EQ(Read({0xff}, DS::VT_Byte).ToInt64(), 255);
    EXPECT_EQ(Read({0, 1, 1}, DS::VT_Bool).ToString(), "false");
    EXPECT_EQ(Read({2}, DS::VT_Bool).ToString(), "true");
}

TEST(PropertyBlob, SizesThatDoNotFitTheTypeAreRefused) {
    const std::pair<int32_t, size_t> cases[] = {{DS::VT_Int16, 4},  {DS::VT_Int16, 0},   {DS::VT_UInt32, 3},
                                                {DS::VT_Int64, 16}, {DS::VT_Byte, 2},    {DS::VT_SByte, 0},
                                                {DS::VT_Double, 4}, {DS::VT_Float, 8},   {DS::VT_Uuid, 15},
                                                {DS::VT_Bool, 0},   {DS::VT_DateTime, 4}};
    for (const auto& [type, size] : cases) {
        EXPECT_EQ(VeskTest::MessageThrownBy([&] { Read(Bytes(size, 1), type); }), kBadSize)
            << Data::VariantTypeName(type) << " from " << size << " bytes";
    }
    EXPECT_EQ(VeskTest::MessageThrownBy([] {
                  Read({'[', '"', 'a'}, DS::VT_StringList);
              }),
              "Json document is not valid!");
    const Variant referencedBool = Variant::FromObject(Data::NewString("1"), DS::VT_Bool);
    EXPECT_EQ(VeskTest::MessageThrownBy([&] { ValueToBlob(referencedBool, nullptr); }), "Must be value type!");
}

TEST(PropertyBlob, ValuesWithoutAStoredFormGiveNoBlobAndReadAsNull) {
    Core::Ptr<DI::IObjectList> list;
    Data_CreateObjectList(list.Receive());
    const Variant unstored[] = {
        Variant::Null(),
        Variant::FromObject(Core::Ptr<DI::IString>(), DS::VT_String),
        Variant::FromPointer(nullptr),
        Variant::FromObject(Core::MakeObject<Core::impl::ErrorCodeImpl>(2, "x"), DS::VT_ErrorCode),
        Variant::FromObject(list, DS::VT_ObjectList),
        Variant::FromObject(Data::NewString("an object of no stored kind"), DS::VT_IObject),
    };
    for (const Variant& value : unstored) {
        EXPECT_FALSE(ValueToBlob(value, nullptr)) << Data::VariantTypeName(value.Type());
    }
    EXPECT_FALSE(Read({1, 2, 3}, DS::VT_ObjectList).HasData());
    EXPECT_FALSE(Read({1, 2, 3}, DS::VT_IObject, "Data::IUnknownThing").HasData());
    EXPECT_FALSE(BlobToValue(nullptr, DS::VT_Int32, "", nullptr).HasData());
}

TEST(SecureStringBlob, PlainTextIsPaddedWithZerosToTheNextMultipleOf32) {
    const ArrayPtr secret = Secret();
    Core::Ptr<Vesk::Interfaces::IEncryption> aes;
    ASSERT_TRUE(VeskCore_CreateEncryptionInstanceAes256(secret.Get(), aes.Receive(), nullptr));
    for (const auto& [length, padded] : {std::pair<size_t, size_t>{0, 32}, {5, 32}, {32, 64}, {33, 64}, {64, 96}}) {
        const std::string text(length, 'k');
        const ArrayPtr blob = ValueToBlob(SecureString(text), secret.Get());
        ArrayPtr plain;
        ASSERT_TRUE(aes->Decrypt(blob.Get(), plain.Receive(), nullptr));
        const Bytes opened = BytesOf(plain);
        ASSERT_EQ(opened.size(), padded) << length;
        EXPECT_EQ(std::string(opened.begin(), opened.begin() + length), text);
        EXPECT_TRUE(std::all_of(opened.begin() + length, opened.end(), [](uint8_t b) { return b == 0; }));
    }
    // Reading stops at the first zero byte.
    const ArrayPtr withZero = ValueToBlob(SecureString(std::string("before\0after", 12)), secret.Get());
    EXPECT_EQ(Shown(BlobToValue(withZero.Get(), DS::VT_IObject, "ISecureString", secret.Get())), "before");
}

TEST(SecureStringBlob, OnlyTheUnchangedBlobUnderTheSameSecretOpens) {
    const ArrayPtr secret = Secret();
    const Bytes stored = BytesOf(ValueToBlob(SecureString("tamper with me"), secret.Get()));
    EXPECT_EQ(BytesOf(ValueToBlob(SecureString("tamper with me"), secret.Get())), stored);
    for (size_t i = 0; i < stored.size(); ++i) {
        Bytes tampered = stored;
        tampered[i] ^= 0x01;
        EXPECT_EQ(VeskTest::MessageThrownBy([&] { Read(tampered, DS::VT_IObject, "ISecureString", secret.Get()); }),
                  kTampered)
            << "byte " << i;
    }
    const ArrayPtr other = Secret("another workspace's secret");
    EXPECT_EQ(VeskTest::MessageThrownBy([&] { Read(stored, DS::VT_IObject, "ISecureString", other.Get()); }),
              kTampered);
    const std::string noSecret = "A secure string cannot be stored or read without the workspace secret";
    EXPECT_EQ(VeskTest::MessageThrownBy([&] { Read(stored, DS::VT_IObject, "ISecureString"); }), noSecret);
    EXPECT_EQ(VeskTest::MessageThrownBy([&] { ValueToBlob(SecureString("x"), nullptr); }), noSecret);
}

}  // namespace
