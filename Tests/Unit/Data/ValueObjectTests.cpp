// Strings, arrays, JSON and XML documents, UUIDs and hashing: the value objects of the data library.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "DataTestSupport.h"

namespace DataTest {
namespace {

TEST(String, HoldsZeroBytesAndComparesBytewise) {
    auto string = Out<IString>([&](auto p) { return Data_CreateString(p); });
    EXPECT_EQ(string->GetLength(), 0u);
    EXPECT_STREQ(string->GetText(), "");
    ASSERT_TRUE(string->Set("a\0b", 3, nullptr));
    EXPECT_EQ(string->GetLength(), 3u);
    EXPECT_EQ(std::memcmp(string->GetText(), "a\0b\0", 4), 0) << "terminated behind its own zero bytes";

    EXPECT_LT(MakeString("a")->Compare(MakeString(std::string_view("a\0", 2)).Get()), 0) << "shorter is less";
    EXPECT_LT(MakeString("abc")->Compare(MakeString("abd").Get()), 0);
    EXPECT_GT(MakeString("\xff")->Compare(MakeString("a").Get()), 0) << "bytes are unsigned";
    EXPECT_EQ(MakeString("same")->Compare(MakeString("same").Get()), 0);
    EXPECT_TRUE(MakeString("same")->Equals(MakeString("same").Get()));
    EXPECT_FALSE(MakeString("same")->Equals(MakeString("Same").Get()));
    EXPECT_NE(FailureOf([&](auto e) { return string->Set(nullptr, 2, e); }), "");
    EXPECT_EQ(string->GetLength(), 3u) << "a failed set keeps the text";
}

TEST(String, SecureStringKeepsItsBytes) {
    auto secret = Out<ISecureString>([&](auto p) { return Data_CreateSecureString(p, "pa\0ss", 5, nullptr); });
    EXPECT_EQ(secret->GetLength(), 5u);
    EXPECT_EQ(std::memcmp(secret->GetText(), "pa\0ss\0", 6), 0);
    auto empty = Out<ISecureString>([&](auto p) { return Data_CreateSecureString(p, nullptr, 0, nullptr); });
    EXPECT_STREQ(empty->GetText(), "");
    Ptr<ISecureString> refused;
    EXPECT_NE(FailureOf([&](auto e) { return Data_CreateSecureString(refused.Receive(), nullptr, 3, e); }), "");
}

std::vector<uint32_t> Elements(IArray* array) {
    std::vector<uint32_t> values(array->GetCount());
    std::memcpy(values.data(), array->GetData(), array->GetByteSize());
    return values;
}

TEST(Array, AssignInsertAppend) {
    auto array = Out<IArray>([&](auto p) { return Data_CreateArray(p); });
    EXPECT_EQ(array->GetElementSize(), 1u);
    EXPECT_EQ(array->GetCount(), 0u);
    EXPECT_NE(array->GetData(), nullptr) << "an empty array still has a data pointer";

    ASSERT_TRUE(array->Assign(nullptr, 4, 3, nullptr));
    EXPECT_EQ(array->GetByteSize(), 12u);
    EXPECT_EQ(Elements(array.Get()), (std::vector<uint32_t>{0, 0, 0}));
    const uint32_t inserted[] = {7, 8};
    ASSERT_TRUE(array->Insert(1, inserted, sizeof inserted, nullptr));
    const uint32_t tail = 9;
    ASSERT_TRUE(array->Append(&tail, sizeof tail, nullptr));
    EXPECT_EQ(Elements(array.Get()), (std::vector<uint32_t>{0, 7, 8, 0, 0, 9}));

    // Appending the array to itself reads the bytes before the buffer moves.
    ASSERT_TRUE(array->Append(array->GetData(), array->GetByteSize(), nullptr));
    EXPECT_EQ(Elements(array.Get()), (std::vector<uint32_t>{0, 7, 8, 0, 0, 9, 0, 7, 8, 0, 0, 9}));

    EXPECT_EQ(FailureOf([&](auto e) { return array->Insert(0, inserted, 6, e); }),
              "Byte size 6 is not a multiple of the element size 4");
    EXPECT_NE(FailureOf([&](auto e) { return array->Insert(13, inserted, 4, e); }), "");
    EXPECT_NE(FailureOf([&](auto e) { return array->Assign(inserted, 0, 1, e); }), "");
    EXPECT_EQ(array->GetCount(), 12u) << "failures change nothing";

    // Assigning part of the array to itself, large to small and back.
    ASSERT_TRUE(array->Assign(array->GetData() + 4, 4, 2, nullptr));
    EXPECT_EQ(Elements(array.Get()), (std::vector<uint32_t>{7, 8}));
    ASSERT_TRUE(array->Append(array->GetData(), 8, nullptr));
    ASSERT_TRUE(array->Append(array->GetData(), 16, nullptr));
    ASSERT_TRUE(array->Assign(array->GetData() + 8, 4, 5, nullptr));
    EXPECT_EQ(Elements(array.Get()), (std::vector<uint32_t>{7, 8, 7, 8, 7}));
}

template <class Document>
std::string Rendered(Document* document) {
    auto text = Out<IString>([&](auto p) { return document->Render(p, nullptr); });
    return Text(text.Get());
}

Ptr<IJsonDocument> Json(std::string_view text) {
    auto document = Out<IJsonDocument>([&](auto p) { return Data_CreateJsonDocument(p); });
    EXPECT_TRUE(document->Load(text.data(), text.size(), nullptr)) << "bad text is not a failure";
    return document;
}

Ptr<IXmlDocument> Xml(std::string_view text) {
    auto document = Out<IXmlDocument>([&](auto p) { return Data_CreateXmlDocument(p); });
    EXPECT_TRUE(document->Load(text.data(), text.size(), nullptr)) << "bad text is not a failure";
    return document;
}

TEST(JsonDocument, ValidityRenderingAndEquality) {
    auto empty = Out<IJsonDocument>([&](auto p) { return Data_CreateJsonDocument(p); });
    EXPECT_FALSE(empty->IsValid());
    EXPECT_EQ(Rendered(empty.Get()), "");

    Ptr<IJsonDocument> document = Json(" { \"a\" : [1, 2.5, \"x\"], \"b\" : null } ");
    EXPECT_TRUE(document->IsValid());
    EXPECT_EQ(Rendered(document.Get()), R"({"a":[1,2.5,"x"],"b":null})");
    EXPECT_TRUE(document->Equals(Json(R"({"b":null,"a":[1,2.5,"x"]})").Get())) << "member order is not structure";
    EXPECT_FALSE(document->Equals(Json(R"({"a":[2.5,1,"x"],"b":null})").Get())) << "array order is";
    EXPECT_FALSE(document->Equals(Json(R"({"a":[1,2.5,"x"]})").Get()));

    for (const char* text : {"{", "[1,]", "{} {}", "nul", ""}) {
        Ptr<IJsonDocument> bad = Json(text);
        EXPECT_FALSE(bad->IsValid()) << text;
        EXPECT_EQ(Rendered(bad.Get()), "") << text;
        EXPECT_FALSE(document->Equals(bad.Get())) << text;
    }
    // Loading again replaces the content, also from invalid back to valid.
    ASSERT_TRUE(empty->Load("[", 1, nullptr));
    EXPECT_FALSE(empty->IsValid());
    ASSERT_TRUE(empty->Load("[0.1]", 5, nullptr));
    EXPECT_EQ(Rendered(empty.Get()), "[0.1]");
}

TEST(XmlDocument, ValidityRenderingAndEquality) {
    Ptr<IXmlDocument> document = Xml("<root a=\"1\" b=\"2\">\n  <child>text</child>\n  <leaf/>\n</root>");
    EXPECT_TRUE(document->IsValid());
    EXPECT_EQ(Rendered(document.Get()),
              R"(<?xml version="1.0" encoding="UTF-8"?><root a="1" b="2"><child>text</child><leaf/></root>)");
    EXPECT_TRUE(document->Equals(Xml(R"(<root b="2" a="1"><child>text</child><leaf/></root>)").Get()));
    EXPECT_FALSE(document->Equals(Xml(R"(<root a="1" b="3"><child>text</child><leaf/></root>)").Get()));
    EXPECT_FALSE(document->Equals(Xml(R"(<root a="1" b="2"><child>text!</child><leaf/></root>)").Get()));
    EXPECT_FALSE(document->Equals(Xml(R"(<root a="1" b="2"><leaf/><child>text</child></root>)").Get()));

    for (const char* text : {"<root>", "<a/><b/>", "plain text", "", "<a></b>"}) {
        Ptr<IXmlDocument> bad = Xml(text);
        EXPECT_FALSE(bad->IsValid()) << text;
        EXPECT_EQ(Rendered(bad.Get()), "") << text;
    }
}

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
