// What the WinHTTP transport makes of the system's WinHTTP: the HTTP/2 request version, and error
// texts from WinHTTP's own message table.
#include <gtest/gtest.h>

#include "Common/Http/HttpTransport.h"
#include "HttpTestSupport.h"
#include "Windows/WinHttpTransport.h"

namespace VeskTest {
namespace {

namespace Transport = Platform::Network::Http::Transport;

TEST(WinHttpTransport, SessionsAskForHttp2) {
    if (HttpTest::UnderWine()) {
        GTEST_SKIP() << "Wine's WinHTTP has no HTTP/2 option and would write \"HTTP/2.0\" into the request line";
    }
    Transport::SessionSettings settings;
    settings.userAgent = "HttpClient/1.0";
    std::shared_ptr<Transport::Session> session = Transport::OpenSession(settings);
    EXPECT_TRUE(Transport::AsksForHttp2(*session));
    session->Close();
}

TEST(WinHttpTransport, ErrorTextsComeFromTheSystem) {
    // The time-out and the cancellation: texts of the system, never the number alone.
    for (uint32_t code : {12002u, 12017u, 12029u}) {
        const std::string text = Transport::ErrorText(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_EQ(text.find(std::to_string(code)), std::string::npos) << text;
        EXPECT_NE(text.back(), '\n') << code;
    }
}

}  // namespace
}  // namespace VeskTest
