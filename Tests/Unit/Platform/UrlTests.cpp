// Parsing server addresses and file paths into URL parts.
#include <gtest/gtest.h>

#include <string>

#include "Core/ErrorCode.h"
#include "Core/Ptr.h"
#include "Platform/Url.h"

namespace {

using Platform::Interfaces::IUrl;

struct Expected {
    const char* text;
    const char* scheme;
    const char* host;
    uint16_t port;
    const char* path;
    const char* query;
    const char* fragment;
    bool defaultPort;
};

class UrlParse : public ::testing::TestWithParam<Expected> {};

TEST_P(UrlParse, SplitsIntoParts) {
    const Expected& e = GetParam();
    Core::Ptr<IUrl> url = Platform::Network::ParseUrl(e.text);
    EXPECT_STREQ(url->GetScheme(), e.scheme);
    EXPECT_STREQ(url->GetHost(), e.host);
    EXPECT_EQ(url->GetPort(), e.port);
    EXPECT_STREQ(url->GetPath(), e.path);
    EXPECT_STREQ(url->GetQuery(), e.query);
    EXPECT_STREQ(url->GetFragment(), e.fragment);
    EXPECT_EQ(url->IsDefaultPort(), e.defaultPort);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, UrlParse,
    ::testing::Values(
        Expected{"https://example.org/ws/api", "https", "example.org", 443, "/ws/api", "", "", true},
        Expected{"http://example.org:8080/x", "http", "example.org", 8080, "/x", "", "", false},
        Expected{"http://example.org", "http", "example.org", 80, "", "", "", true},
        Expected{"ftp://h/a", "ftp", "h", 21, "/a", "", "", true},
        Expected{"sftp://h", "sftp", "h", 22, "", "", "", true},
        Expected{"ssh://h:2222", "ssh", "h", 2222, "", "", "", false},
        // Scheme names are compared exactly: HTTPS has no default port.
        Expected{"HTTPS://h/", "HTTPS", "h", 0, "/", "", "", true},
        Expected{"custom://h:9/", "custom", "h", 9, "/", "", "", false},
        Expected{"https://h//a///b//", "https", "h", 443, "/a/b/", "", "", true},
        Expected{"https://h/p?x=1&y=2#frag", "https", "h", 443, "/p", "x=1&y=2", "frag", true},
        Expected{"https://h/p#frag?notquery", "https", "h", 443, "/p", "", "frag?notquery", true},
        // Only a "/" ends the authority: text before it belongs to the host, or ends a port's digits.
        Expected{"https://h?x=1", "https", "h?x=1", 443, "", "", "", true},
        Expected{"http://h:8080#top", "http", "h", 8080, "", "", "", false},
        Expected{"http://h#top/p?q", "http", "h#top", 80, "/p", "q", "", true},
        Expected{"https://:8443/p", "https", "", 8443, "/p", "", "", false},
        Expected{"C:\\Data\\Work\\my.veskdb", "file", "localhost", 0, "/C:/Data/Work/my.veskdb", "", "", true},
        Expected{"/home/user//ws.veskdb", "file", "localhost", 0, "/home/user/ws.veskdb", "", "", true},
        Expected{"\\\\?\\C:\\Long\\path.veskdb", "file", "localhost", 0, "/C:/Long/path.veskdb", "", "", true},
        Expected{"file:///?/C:/x", "file", "localhost", 0, "/C:/x", "", "", true},
        Expected{"file:///tmp/a", "file", "localhost", 0, "/tmp/a", "", "", true}));

TEST(UrlErrors, PortsFollowTheSuitesIntegerConversionAndFailuresKeepThePreviousParts) {
    Core::Ptr<IUrl> url = Platform::Network::ParseUrl("https://kept/p");
    Core::ErrorCode error;
    EXPECT_FALSE(url->Parse("http://h:abc/", error.Receive()));
    EXPECT_EQ(error.Message(), "invalid stoi argument");
    EXPECT_EQ(error.Code(), 2);
    Core::ErrorCode empty;
    EXPECT_FALSE(url->Parse("http://h:/", empty.Receive()));
    EXPECT_EQ(empty.Message(), "invalid stoi argument");
    Core::ErrorCode range;
    EXPECT_FALSE(url->Parse("http://h:99999999999/", range.Receive()));
    EXPECT_EQ(range.Message(), "stoi argument out of range");
    EXPECT_STREQ(url->GetHost(), "kept");
    EXPECT_STREQ(url->GetPath(), "/p");
    // Digits up to the first other character count; a port above 65535 wraps as a 16-bit number.
    EXPECT_EQ(Platform::Network::ParseUrlParts("http://h:80abc/").port, 80);
    EXPECT_EQ(Platform::Network::ParseUrlParts("http://h:65536/").port, 0);
}

TEST(UrlAbi, CreatesEmptyObjectsUnderTheOutPointerRulesAndRefusesANullText) {
    IUrl* url = nullptr;
    ASSERT_TRUE(Platform_CreateUrl(&url, nullptr));
    Core::Ptr<IUrl> owned = Core::Ptr<IUrl>::Adopt(url);
    EXPECT_STREQ(owned->GetScheme(), "");
    EXPECT_EQ(owned->GetPort(), 0);

    Core::ErrorCode error;
    IUrl* occupied = owned.GetUnchecked();
    EXPECT_FALSE(Platform_CreateUrl(&occupied, error.Receive()));
    EXPECT_EQ(error.Message(),
              "Pointer of struct Platform::Interfaces::IUrl must be null in order to avoid memory leaks!");

    Core::ErrorCode nullText;
    EXPECT_FALSE(owned->Parse(nullptr, nullText.Receive()));
    EXPECT_EQ(nullText.Message(), "Pointer of char must not be null!");
}

}  // namespace
