#include <gtest/gtest.h>

#include <string>

#include "DataTestSupport.h"

namespace DataTest {
namespace {

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

}  // namespace
}  // namespace DataTest
