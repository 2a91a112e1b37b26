#include <gtest/gtest.h>

#include <cstring>
#include <string>
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

}  // namespace
}  // namespace DataTest
