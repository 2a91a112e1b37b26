#include <gtest/gtest.h>

#include <string>

#include "DataTestSupport.h"

namespace DataTest {
namespace {

std::string UuidText(const _UUID& uuid) {
    Ptr<IString> text;
    EXPECT_TRUE(Data_UuidToString(&uuid, text.Receive()));
    return Text(text.Get());
}

TEST(Uuid, NewUuidsAreRandomVersion4) {
    _UUID first{}, second{};
    ASSERT_TRUE(Data_NewUuid(&first));
    ASSERT_TRUE(Data_NewUuid(&second));
    EXPECT_NE(UuidText(first), UuidText(second));
    EXPECT_EQ(first.bytes[6] >> 4, 4);
    EXPECT_EQ(first.bytes[8] & 0xC0, 0x80);
    EXPECT_FALSE(Data_NewUuid(nullptr));

    const std::string text = UuidText(first);
    EXPECT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');
    EXPECT_EQ(UuidText(ParseUuid(text.c_str())), text);
}

TEST(Uuid, TextFormsAndRefusals) {
    const _UUID uuid = ParseUuid("3F2504E0-4F89-41D3-9A0C-0305E82C3301");
    EXPECT_EQ(uuid.bytes[0], 0x3F);
    EXPECT_EQ(uuid.bytes[15], 0x01);
    EXPECT_EQ(UuidText(uuid), "3f2504e0-4f89-41d3-9a0c-0305e82c3301");
    EXPECT_EQ(UuidText(ParseUuid("3f2504e04f8941d39a0c0305e82c3301")), "3f2504e0-4f89-41d3-9a0c-0305e82c3301");

    for (const char* text : {"", "xyz", "3f2504e04f8941d39a0c0305e82c330", "{3f2504e0-4f89-41d3-9a0c-0305e82c3301}",
                             "3f2504e04-f89-41d3-9a0c-0305e82c3301", "3f2504e0-4f89-41d3-9a0c-0305e82c330g"}) {
        _UUID parsed{};
        EXPECT_EQ(FailureOf([&](auto e) { return Data_UuidFromString(text, &parsed, e); }),
                  std::string("Invalid UUID text: ") + text);
    }
}

Ptr<IHashing> Sha256() {
    Ptr<IHashing> hashing;
    EXPECT_TRUE(Data_CreateHashingInstanceSha2(0, hashing.Receive(), nullptr));
    return hashing;
}

std::string Digest(std::string_view data) {
    Ptr<IHashing> hashing = Sha256();
    EXPECT_TRUE(hashing->Update(data.data(), data.size(), nullptr));
    EXPECT_TRUE(hashing->Finish(nullptr));
    return hashing->GetDigestText();
}

TEST(Hashing, KnownSha256Vectors) {
    EXPECT_EQ(Digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(Hashing, PiecesFinishAndReset) {
    Ptr<IHashing> hashing = Sha256();
    EXPECT_EQ(hashing->GetDigestSize(), 32u);
    EXPECT_EQ(hashing->GetDigest(), nullptr) << "no digest before Finish";
    ASSERT_TRUE(hashing->Update("a", 1, nullptr));
    ASSERT_TRUE(hashing->Update("bc", 2, nullptr));
    ASSERT_TRUE(hashing->Finish(nullptr));
    ASSERT_NE(hashing->GetDigest(), nullptr);
    EXPECT_EQ(hashing->GetDigest()[0], 0xba);
    EXPECT_EQ(std::string(hashing->GetDigestText()), Digest("abc"));

    EXPECT_NE(FailureOf([&](auto e) { return hashing->Update("d", 1, e); }).find("finished"), std::string::npos);
    EXPECT_NE(FailureOf([&](auto e) { return hashing->Finish(e); }), "");
    ASSERT_TRUE(hashing->Reset(nullptr));
    ASSERT_TRUE(hashing->Update("", 0, nullptr));
    ASSERT_TRUE(hashing->Finish(nullptr));
    EXPECT_EQ(std::string(hashing->GetDigestText()), Digest(""));

    Ptr<IHashing> other;
    EXPECT_NE(FailureOf([&](auto e) { return Data_CreateHashingInstanceSha2(1, other.Receive(), e); }), "");
    EXPECT_FALSE(other);
}

}  // namespace
}  // namespace DataTest
