#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DataTestSupport.h"

namespace DataTest {
namespace {

// Both lists keep what they hold alive and hand out new references to it.
TEST(Lists, HoldReferencesAndRefusePastTheEnd) {
    bool destroyed = false;
    auto* tracked = new Tracked(&destroyed);
    Ptr<IObjectList> objects;
    Ptr<IVariantList> values;
    ASSERT_TRUE(Data_CreateObjectList(objects.Receive()) && Data_CreateVariantList(values.Receive()));
    ASSERT_TRUE(objects->Append(tracked, nullptr));
    {
        Owned value;
        value.value = ObjectValue(VT_IObject, tracked);
        ASSERT_TRUE(values->Append(&value.value, nullptr));
        const _VARIANT number = Int64Value(5);
        ASSERT_TRUE(values->Append(&number, nullptr));
    }
    tracked->Release();
    EXPECT_EQ(ReferenceCount(tracked), 2u) << "one reference per list";
    EXPECT_EQ(objects->GetCount(), 1u);
    EXPECT_EQ(values->GetCount(), 2u);
    Ptr<Core::IObject> item;
    ASSERT_TRUE(objects->Get(0, item.Receive(), nullptr));
    EXPECT_EQ(item.Get(), tracked);
    Owned out, number;
    ASSERT_TRUE(values->Get(0, &out.value, nullptr));
    ASSERT_TRUE(values->Get(1, &number.value, nullptr));
    EXPECT_EQ(out.value.object, tracked);
    EXPECT_EQ(number.value.i64, 5);
    EXPECT_EQ(ReferenceCount(tracked), 4u);

    Ptr<Core::IObject> none;
    EXPECT_EQ(FailureOf([&](auto e) { return objects->Get(1, none.Receive(), e); }), "ObjectList index out of bounds");
    EXPECT_EQ(FailureOf([&](auto e) { return values->Get(2, &number.value, e); }), "ObjectList index out of bounds");
    EXPECT_NE(FailureOf([&](auto e) { return objects->Append(nullptr, e); }), "");
    item = nullptr;
    objects = nullptr;
    values = nullptr;
    EXPECT_FALSE(destroyed) << "the copy handed out keeps it";
    VariantClear(&out.value);
    EXPECT_TRUE(destroyed);
}

TEST(Properties, RegisterThenSetAndRead) {
    auto properties = Out<IProperties>([&](auto p) { return Data_CreateProperties(p, nullptr); });
    ASSERT_TRUE(properties->Register("File", "Path", "Where", "IString", "String", VT_String, true, nullptr));
    ASSERT_TRUE(properties->Register("File", "Size", "Bytes", "", "Int64", VT_Int64, false, nullptr));
    EXPECT_EQ(properties->GetCount(), 2u);
    EXPECT_TRUE(properties->Contains("Size"));
    EXPECT_FALSE(properties->Contains("size"));
    EXPECT_EQ(FailureOf([&](auto e) { return properties->Register("", "Size", "", "", "", VT_Int32, false, e); }),
              "Property Size is already registered");
    const _VARIANT size = Int64Value(42);
    EXPECT_EQ(FailureOf([&](auto e) { return properties->SetValue("Missing", &size, e); }),
              "Property Missing is not registered");

    auto path = Out<IProperty>([&](auto p) { return properties->GetProperty(0, p, nullptr); });
    EXPECT_EQ((std::vector<std::string>{path->GetGroup(), path->GetName(), path->GetDescription(),
                                        path->GetInterfaceType(), path->GetClassType()}),
              (std::vector<std::string>{"File", "Path", "Where", "IString", "String"}));
    EXPECT_EQ(path->GetValueType(), VT_String);
    EXPECT_TRUE(path->IsRequired());
    EXPECT_FALSE(path->HasValue());
    Ptr<IProperty> none;
    EXPECT_NE(FailureOf([&](auto e) { return properties->GetProperty(2, none.Receive(), e); }), "");

    Owned text, read, unset;
    text.value = ObjectValue(VT_String, MakeString("/data/a.shp").Get());
    ASSERT_TRUE(properties->SetValue("Path", &text.value, nullptr));
    EXPECT_TRUE(path->HasValue()) << "the property object sees the value";
    ASSERT_TRUE(properties->GetValue("Path", &read.value, nullptr));
    EXPECT_EQ(read.value.object, text.value.object);
    ASSERT_TRUE(properties->GetValue("Size", &unset.value, nullptr));
    EXPECT_EQ(VariantTypeCode(unset.value), VT_Null);
    // Replacing a value lets go of the old object.
    EXPECT_EQ(ReferenceCount(text.value.object), 3u);
    ASSERT_TRUE(properties->SetValue("Path", &size, nullptr));
    EXPECT_EQ(ReferenceCount(text.value.object), 2u);
}

TEST(VariantDictionary, KeepsInsertionOrderAndEnumsNeedText) {
    auto dictionary = Out<IVariantDictionary>([&](auto p) { return Data_CreateVariantDictionary(p, nullptr); });
    for (const char* key : {"c", "a", "b"}) {
        const _VARIANT value = InlineText(key);
        ASSERT_TRUE(dictionary->Set(key, &value, nullptr));
    }
    const _VARIANT replaced = Int64Value(1);
    ASSERT_TRUE(dictionary->Set("c", &replaced, nullptr));
    EXPECT_EQ(dictionary->GetCount(), 3u);
    EXPECT_STREQ(dictionary->GetKey(0), "c") << "replacing keeps the place";
    EXPECT_TRUE(dictionary->Remove("a"));
    EXPECT_FALSE(dictionary->Remove("a"));
    EXPECT_FALSE(dictionary->Contains("a"));
    EXPECT_STREQ(dictionary->GetKey(1), "b");
    EXPECT_EQ(dictionary->GetKey(2), nullptr);
    Owned value;
    ASSERT_TRUE(dictionary->Get("b", &value.value, nullptr));
    EXPECT_STREQ(value.value.text, "b");
    ASSERT_TRUE(dictionary->Get("c", &value.value, nullptr));
    EXPECT_EQ(value.value.i64, 1);
    EXPECT_EQ(FailureOf([&](auto e) { return dictionary->Get("a", &value.value, e); }), "Key a not found");
    Ptr<IEnum> none;
    EXPECT_NE(FailureOf([&](auto e) { return Data_CreateEnum(none.Receive(), nullptr, e); }), "");
}

}  // namespace
}  // namespace DataTest
