#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

#include "DataTestSupport.h"

namespace DataTest {
namespace {

std::string UuidText(const _UUID& uuid) {
    auto text = Out<IString>([&](auto p) { return Data_UuidToString(&uuid, p); });
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

// Known answers, each fed in two pieces to one instance that is reset in between.
TEST(Hashing, Sha256KnownAnswersInPiecesAndAfterReset) {
    const std::pair<std::string_view, const char*> vectors[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    };
    auto hashing = Out<IHashing>([&](auto p) { return Data_CreateHashingInstanceSha2(0, p, nullptr); });
    EXPECT_EQ(hashing->GetDigestSize(), 32u);
    EXPECT_EQ(hashing->GetDigest(), nullptr) << "no digest before Finish";
    for (const auto& [data, digest] : vectors) {
        ASSERT_TRUE(hashing->Reset(nullptr));
        const size_t half = data.size() / 2;
        ASSERT_TRUE(hashing->Update(data.data(), half, nullptr));
        ASSERT_TRUE(hashing->Update(data.data() + half, data.size() - half, nullptr));
        ASSERT_TRUE(hashing->Finish(nullptr));
        EXPECT_STREQ(hashing->GetDigestText(), digest);
    }
    ASSERT_NE(hashing->GetDigest(), nullptr);
    EXPECT_EQ(hashing->GetDigest()[31], 0xc1) << "the raw digest is the text's bytes";

    EXPECT_NE(FailureOf([&](auto e) { return hashing->Update("d", 1, e); }).find("finished"), std::string::npos);
    EXPECT_NE(FailureOf([&](auto e) { return hashing->Finish(e); }), "");
    Ptr<IHashing> other;
    EXPECT_NE(FailureOf([&](auto e) { return Data_CreateHashingInstanceSha2(1, other.Receive(), e); }), "");
    EXPECT_FALSE(other);
}

}  // namespace
}  // namespace DataTest
