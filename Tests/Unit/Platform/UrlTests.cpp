// Parsing server addresses and file paths into URL parts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Core/ErrorCode.h"
#include "Core/Ptr.h"
#include "Platform/Url.h"
#include "PlatformTestSupport.h"

namespace {

using Platform::Interfaces::IUrl;
using PlatformTest::FailureOf;

TEST(Url, SplitsServerAddressesAndFilePathsIntoParts) {
    const struct {
        const char* text;
        const char* scheme;
        const char* host;
        uint16_t port;
        const char* path;
        const char* query;
        const char* fragment;
        bool defaultPort;
    } cases[] = {{"https://example.org/ws/api", "https", "example.org", 443, "/ws/api", "", "", true},
                 {"http://example.org:8080/x", "http", "example.org", 8080, "/x", "", "", false},
                 {"http://example.org", "http", "example.org", 80, "", "", "", true},
                 {"ftp://h/a", "ftp", "h", 21, "/a", "", "", true},
                 {"sftp://h", "sftp", "h", 22, "", "", "", true},
                 // Scheme names are compared exactly: HTTPS has no default port.
                 {"HTTPS://h/", "HTTPS", "h", 0, "/", "", "", true},
                 {"https://h//a///b//", "https", "h", 443, "/a/b/", "", "", true},
                 {"https://h/p?x=1&y=2#frag", "https", "h", 443, "/p", "x=1&y=2", "frag", true},
                 {"https://h/p#frag?notquery", "https", "h", 443, "/p", "", "frag?notquery", true},
                 // Only a "/" ends the authority: text before it belongs to the host, or ends a port's digits.
                 {"https://h?x=1", "https", "h?x=1", 443, "", "", "", true},
                 {"http://h:8080#top", "http", "h", 8080, "", "", "", false},
                 {"http://h#top/p?q", "http", "h#top", 80, "/p", "q", "", true},
                 {"https://:8443/p", "https", "", 8443, "/p", "", "", false},
                 {"C:\\Data\\Work\\my.veskdb", "file", "localhost", 0, "/C:/Data/Work/my.veskdb", "", "", true},
                 {"/home/user//ws.veskdb", "file", "localhost", 0, "/home/user/ws.veskdb", "", "", true},
                 {"\\\\?\\C:\\Long\\path.veskdb", "file", "localhost", 0, "/C:/Long/path.veskdb", "", "", true},
                 {"file:///?/C:/x", "file", "localhost", 0, "/C:/x", "", "", true},
                 {"file:///tmp/a", "file", "localhost", 0, "/tmp/a", "", "", true}};
    for (const auto& e : cases) {
        Core::Ptr<IUrl> url = Platform::Network::ParseUrl(e.text);
        EXPECT_EQ(std::vector<std::string>(
                      {url->GetScheme(), url->GetHost(), url->GetPath(), url->GetQuery(), url->GetFragment()}),
                  std::vector<std::string>({e.scheme, e.host, e.path, e.query, e.fragment}))
            << e.text;
        EXPECT_EQ(url->GetPort(), e.port) << e.text;
        EXPECT_EQ(url->IsDefaultPort(), e.defaultPort) << e.text;
    }
}

TEST(UrlErrors, PortsFollowTheSuitesIntegerConversionAndFailuresKeepThePreviousParts) {
    Core::Ptr<IUrl> url = Platform::Network::ParseUrl("https://kept/p");
    Core::ErrorCode error;
    EXPECT_FALSE(url->Parse("http://h:abc/", error.Receive()));
    EXPECT_EQ(error.Message(), "invalid stoi argument");
    EXPECT_EQ(error.Code(), 2);
    EXPECT_EQ(FailureOf([&](auto e) { return url->Parse("http://h:/", e); }), "invalid stoi argument");
    EXPECT_EQ(FailureOf([&](auto e) { return url->Parse("http://h:99999999999/", e); }), "stoi argument out of range");
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
    IUrl* occupied = owned.GetUnchecked();
    EXPECT_EQ(FailureOf([&](auto e) { return Platform_CreateUrl(&occupied, e); }),
              "Pointer of struct Platform::Interfaces::IUrl must be null in order to avoid memory leaks!");
    EXPECT_EQ(FailureOf([&](auto e) { return owned->Parse(nullptr, e); }), "Pointer of char must not be null!");
}

}  // namespace
