// The texts of the storage protocol read and written on their own: names in paths, WebDAV listings as
// different servers spell them, entity tags, HTTP dates and digests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Core/Ptr.h"
#include "StorageWire.h"
#include "Support/Thrown.h"
#include "Vesk/Data/KeldaData.h"

namespace {

using namespace Vesk::CoreServices::impl;
using Names = std::vector<std::string>;

TEST(StorageWire, NamesArePercentEncodedPerSegmentAndDecodeBack) {
    const std::string awkward = "a b/%?#\xC3\xBC~._-";
    EXPECT_EQ(PercentEncodeSegment(awkward), "a%20b%2F%25%3F%23%C3%BC~._-");
    EXPECT_EQ(PercentDecode(PercentEncodeSegment(awkward)), awkward);
    EXPECT_EQ(EncodeRelativePath("/dir//my file.veskdb"), "dir/my%20file.veskdb");
    EXPECT_EQ(EncodeRelativePath("/"), "");
    EXPECT_EQ(PercentDecode("%c3%BC"), "\xC3\xBC");
    for (const char* broken : {"%", "%4", "a%zz", "%%41"}) {
        EXPECT_THROW(PercentDecode(broken), std::runtime_error) << broken;
    }
}

TEST(StorageWire, ListingsGiveMemberNamesWhateverThePrefixes) {
    // A server that uses D: and lists itself first, with an encoded and a folder member.
    const std::string usual = R"(<?xml version="1.0" encoding="utf-8"?><D:multistatus xmlns:D="DAV:">)"
                              R"(<D:response><D:href>/ws/w/services/storage/</D:href></D:response>)"
                              R"(<D:response><D:href>/ws/w/services/storage/My%20Work.veskdb</D:href></D:response>)"
                              R"(<D:response><D:href>/ws/w/services/storage/sub%2Ffolder/</D:href></D:response>)"
                              R"(</D:multistatus>)";
    EXPECT_EQ(MultistatusMemberNames(usual, "/ws/w/services/storage/"), (Names{"My Work.veskdb", "sub/folder"}));
    // The default namespace, absolute URLs, the folder itself last and without its slash, blanks
    // around the href, and an element of another namespace that happens to be called response.
    const std::string other = R"(<multistatus xmlns="DAV:" xmlns:x="urn:other">)"
                              R"(<response><href> http://h:1/ws/w/services/storage/a.txt </href></response>)"
                              R"(<x:response><href>/ws/w/services/storage/not-dav</href></x:response>)"
                              R"(<response><href>http://h:1/ws/w/services/storage</href></response></multistatus>)";
    EXPECT_EQ(MultistatusMemberNames(other, "/ws/w/services/storage/"), (Names{"a.txt"}));
    // A prefix declared on the root but named differently, and a folder asked for with encoded text.
    const std::string renamed =
        R"(<lp1:multistatus xmlns:lp1="DAV:"><lp1:response><lp1:href>/s/my%20dir/</lp1:href></lp1:response>)"
        R"(<lp1:response><lp1:href>/s/my%20dir/x</lp1:href></lp1:response></lp1:multistatus>)";
    EXPECT_EQ(MultistatusMemberNames(renamed, "/s/my%20dir/"), (Names{"x"}));
}

TEST(StorageWire, BrokenListingsAreRefused) {
    const std::string whole =
        R"(<D:multistatus xmlns:D="DAV:"><D:response><D:href>/s/a</D:href></D:response></D:multistatus>)";
    ASSERT_EQ(MultistatusMemberNames(whole, "/s/"), (Names{"a"}));
    const std::vector<std::string> broken = {
        whole.substr(0, whole.size() - 8),                                                        // cut short
        "{\"error\":\"not xml\"}",                                                                // not XML at all
        "",                                                                                       // nothing
        R"(<D:multistatus xmlns:D="urn:not-dav"><D:response/></D:multistatus>)",                  // wrong namespace
        R"(<D:multistatus xmlns:D="DAV:"><D:response><D:status/></D:response></D:multistatus>)",  // no href
    };
    for (const std::string& text : broken) {
        EXPECT_THROW(MultistatusMemberNames(text, "/s/"), std::runtime_error) << text;
    }
    EXPECT_NE(VeskTest::MessageThrownBy([&] { MultistatusMemberNames(broken[0], "/s/"); }).find("not well-formed XML"),
              std::string::npos);
}

TEST(StorageWire, EntityTagsMustCarryASha256) {
    const std::string hex(64, 'a');
    EXPECT_EQ(Sha256FromEntityTag("\"" + hex + "\""), hex);
    EXPECT_EQ(Sha256FromEntityTag(" W/\"" + std::string(64, 'F') + "\" "), std::string(64, 'f'));
    for (const std::string& bad : {hex, "\"" + hex.substr(1) + "\"", "\"" + hex + "0\"", "\"" + hex.substr(1) + "g\"",
                                   std::string("\"\""), std::string("W/"), "\"" + hex}) {
        EXPECT_FALSE(Sha256FromEntityTag(bad).has_value()) << bad;
    }
}

int64_t PosixOfIso(const char* iso) {
    Core::Ptr<Data::Interfaces::IDateTime> time;
    EXPECT_TRUE(Data_CreateDateTimeFromIso8601(iso, time.Receive(), nullptr)) << iso;
    return static_cast<int64_t>(time->GetPosixTime());
}

TEST(StorageWire, HttpDatesReadAsUtcSeconds) {
    EXPECT_EQ(ParseImfFixdate("Sun, 06 Nov 1994 08:49:37 GMT"), PosixOfIso("1994-11-06T08:49:37Z"));
    EXPECT_EQ(ParseImfFixdate("Thu, 29 Feb 2024 23:59:59 GMT"), PosixOfIso("2024-02-29T23:59:59Z"));
    EXPECT_EQ(ParseImfFixdate("Thu, 01 Jan 1970 00:00:00 GMT"), 0);
    EXPECT_EQ(ParseImfFixdate("Fri, 31 Dec 2100 12:00:00 GMT"), PosixOfIso("2100-12-31T12:00:00Z"));
    for (const char* bad :
         {"Wed, 29 Feb 2023 10:00:00 GMT", "Sun, 06 Nov 1994 24:00:00 GMT", "Sun, 06 Foo 1994 08:49:37 GMT",
          "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994", "Sun, 06 Nov 1994 08:49:37 UTC",
          "Xyz, 06 Nov 1994 08:49:37 GMT", ""}) {
        EXPECT_FALSE(ParseImfFixdate(bad).has_value()) << bad;
    }
}

}  // namespace
