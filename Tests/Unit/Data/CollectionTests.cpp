#include <gtest/gtest.h>

#include <string>

#include "DataTestSupport.h"

namespace DataTest {
namespace {

TEST(ObjectList, HoldsReferencesAndRefusesPastTheEnd) {
    bool destroyed = false;
    auto* tracked = new Tracked(&destroyed);
    Ptr<IObjectList> list;
    ASSERT_TRUE(Data_CreateObjectList(list.Receive()));
    ASSERT_TRUE(list->Append(tracked, nullptr));
    tracked->Release();
    EXPECT_FALSE(destroyed) << "the list keeps its item alive";
    EXPECT_EQ(list->GetCount(), 1u);
    {
        Ptr<Core::IObject> item;
        ASSERT_TRUE(list->Get(0, item.Receive(), nullptr));
        EXPECT_EQ(item.Get(), tracked);
        EXPECT_EQ(ReferenceCount(tracked), 2u);
    }
    Ptr<Core::IObject> none;
    EXPECT_EQ(FailureOf([&](auto e) { return list->Get(1, none.Receive(), e); }), "ObjectList index out of bounds");
    EXPECT_NE(FailureOf([&](auto e) { return list->Append(nullptr, e); }), "");
    list = nullptr;
    EXPECT_TRUE(destroyed);
}

TEST(VariantList, CopiesValuesWithTheirReferences) {
    bool destroyed = false;
    auto* tracked = new Tracked(&destroyed);
    Ptr<IVariantList> list;
    ASSERT_TRUE(Data_CreateVariantList(list.Receive()));
    {
        Owned value;
        value.value = ObjectValue(VT_IObject, tracked);
        tracked->Release();
        ASSERT_TRUE(list->Append(&value.value, nullptr));
        const _VARIANT number = Int64Value(5);
        ASSERT_TRUE(list->Append(&number, nullptr));
        EXPECT_EQ(ReferenceCount(tracked), 2u);
    }
    Owned out;
    ASSERT_TRUE(list->Get(0, &out.value, nullptr));
    EXPECT_EQ(out.value.object, tracked);
    EXPECT_EQ(ReferenceCount(tracked), 2u);
    Owned number;
    ASSERT_TRUE(list->Get(1, &number.value, nullptr));
    EXPECT_EQ(number.value.i64, 5);
    EXPECT_EQ(FailureOf([&](auto e) { return list->Get(2, &number.value, e); }), "ObjectList index out of bounds");
    list = nullptr;
    EXPECT_FALSE(destroyed);
    VariantClear(&out.value);
    EXPECT_TRUE(destroyed);
}

Ptr<IProperties> MakeProperties() {
    Ptr<IProperties> properties;
    EXPECT_TRUE(Data_CreateProperties(properties.Receive(), nullptr));
    EXPECT_TRUE(properties->Register("File", "Path", "Where", "IString", "String", VT_String, true, nullptr));
    EXPECT_TRUE(properties->Register("File", "Size", "Bytes", "", "Int64", VT_Int64, false, nullptr));
    return properties;
}

TEST(Properties, RegisterThenSetAndRead) {
    Ptr<IProperties> properties = MakeProperties();
    EXPECT_EQ(properties->GetCount(), 2u);
    EXPECT_TRUE(properties->Contains("Size"));
    EXPECT_FALSE(properties->Contains("size"));
    EXPECT_EQ(FailureOf([&](auto e) { return properties->Register("", "Size", "", "", "", VT_Int32, false, e); }),
              "Property Size is already registered");
    const _VARIANT size = Int64Value(42);
    EXPECT_EQ(FailureOf([&](auto e) { return properties->SetValue("Missing", &size, e); }),
              "Property Missing is not registered");

    Ptr<IProperty> path;
    ASSERT_TRUE(properties->GetProperty(0, path.Receive(), nullptr));
    EXPECT_STREQ(path->GetName(), "Path");
    EXPECT_STREQ(path->GetGroup(), "File");
    EXPECT_STREQ(path->GetDescription(), "Where");
    EXPECT_STREQ(path->GetInterfaceType(), "IString");
    EXPECT_STREQ(path->GetClassType(), "String");
    EXPECT_EQ(path->GetValueType(), VT_String);
    EXPECT_TRUE(path->IsRequired());
    EXPECT_FALSE(path->HasValue());

    Owned text;
    text.value = ObjectValue(VT_String, MakeString("/data/a.shp").Get());
    ASSERT_TRUE(properties->SetValue("Path", &text.value, nullptr));
    EXPECT_TRUE(path->HasValue()) << "the property object sees the value";
    Owned read;
    ASSERT_TRUE(properties->GetValue("Path", &read.value, nullptr));
    EXPECT_EQ(read.value.object, text.value.object);
    Owned unset;
    ASSERT_TRUE(properties->GetValue("Size", &unset.value, nullptr));
    EXPECT_EQ(VariantTypeCode(unset.value), VT_Null);
    Ptr<IProperty> none;
    EXPECT_NE(FailureOf([&](auto e) { return properties->GetProperty(2, none.Receive(), e); }), "");

    // Replacing a value lets go of the old object.
    EXPECT_EQ(ReferenceCount(text.value.object), 3u);
    ASSERT_TRUE(properties->SetValue("Path", &size, nullptr));
    EXPECT_EQ(ReferenceCount(text.value.object), 2u);
}

TEST(VariantDictionary, KeepsInsertionOrder) {
    Ptr<IVariantDictionary> dictionary;
    ASSERT_TRUE(Data_CreateVariantDictionary(dictionary.Receive(), nullptr));
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
    EXPECT_STREQ(dictionary->GetKey(1), "b");
    EXPECT_EQ(dictionary->GetKey(2), nullptr);
    Owned value;
    ASSERT_TRUE(dictionary->Get("b", &value.value, nullptr));
    EXPECT_STREQ(value.value.text, "b");
    ASSERT_TRUE(dictionary->Get("c", &value.value, nullptr));
    EXPECT_EQ(value.value.i64, 1);
    EXPECT_TRUE(dictionary->Contains("c"));
    EXPECT_FALSE(dictionary->Contains("a"));
    EXPECT_EQ(FailureOf([&](auto e) { return dictionary->Get("a", &value.value, e); }), "Key a not found");
}

TEST(Enum, HoldsItsText) {
    Ptr<IEnum> value;
    ASSERT_TRUE(Data_CreateEnum(value.Receive(), "Shapefile", nullptr));
    EXPECT_STREQ(value->GetText(), "Shapefile");
    Ptr<IEnum> none;
    EXPECT_NE(FailureOf([&](auto e) { return Data_CreateEnum(none.Receive(), nullptr, e); }), "");
}

}  // namespace
}  // namespace DataTest
