// The library's own application logger: records, start and restart, console sink, shutdown.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "Core/Ptr.h"
#include "Platform/AppLogger.h"
#include "PlatformTestSupport.h"
#include "Support/TempFolder.h"

namespace {

using Platform::Logger::FormatRecord;
using Platform::Logger::RuntimeUnits;
using Platform::Logger::impl::AppLogger;

const std::regex kStartedLine(
    R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 123]\d \d{2}:\d{2}:\d{2} \d{4} :: \[Log successfully started\]\r\n)");

TEST(LogRecord, IsFormattedByteForByte) {
    EXPECT_EQ(FormatRecord("abc", nullptr, nullptr), "abc\r\n");
    std::tm local{};
    local.tm_year = 126;
    local.tm_mon = 0;
    local.tm_mday = 2;
    local.tm_wday = 5;
    local.tm_hour = 3;
    local.tm_min = 4;
    local.tm_sec = 5;
    EXPECT_EQ(FormatRecord("abc", &local, nullptr), "Fri Jan  2 03:04:05 2026 :: abc\r\n");
    local.tm_mday = 12;
    local.tm_mon = 11;
    local.tm_wday = 6;
    EXPECT_EQ(Platform::Logger::AsctimeText(local), "Sat Dec 12 03:04:05 2026");
    const uint32_t thread = 0x12345678;
    EXPECT_EQ(FormatRecord("abc", nullptr, &thread), "abc (Corr: cccfd053e47c3365)\r\n");
    EXPECT_EQ(Platform::Logger::CorrelationHash(0x12345678), 0xCCCFD053E47C3365ull);
}

TEST(LogRecord, RuntimeUsesTheLargestReadableUnit) {
    // Each unit holds up to 120 of itself (48 hours) before the next one takes over.
    constexpr uint64_t kSecond = 10000000ull;
    const struct {
        uint64_t seconds;
        double value;
        const char* unit;
    } cases[] = {{120, 120.0, "seconds"}, {150, 2.5, "minutes"},   {7200, 120.0, "minutes"},
                 {10800, 3.0, "hours"},   {172800, 48.0, "hours"}, {259200, 3.0, "days"}};
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(RuntimeUnits(c.seconds * kSecond).value, c.value) << c.seconds;
        EXPECT_STREQ(RuntimeUnits(c.seconds * kSecond).unit, c.unit) << c.seconds;
    }
}

class LoggerFile : public ::testing::Test {
protected:
    std::string Path(const char* name) const { return folder_.File(name); }
    VeskTest::TempFolder folder_;
};

TEST_F(LoggerFile, StartWritesOneStampedLineThenStaysDisabled) {
    Core::Ptr<AppLogger> logger = Core::MakeObject<AppLogger>();
    // A path that cannot be opened, or none, leaves the logger free to start again.
    EXPECT_FALSE(logger->Start(Path("no/such/folder/app.log").c_str()));
    EXPECT_FALSE(logger->Start(nullptr));
    EXPECT_FALSE(logger->IsEnabled());
    EXPECT_EQ(logger->GetLevel(), 4u);
    EXPECT_TRUE(logger->GetShowFunction());
    EXPECT_FALSE(logger->GetShowFile());
    EXPECT_FALSE(logger->GetShowLine());

    ASSERT_TRUE(logger->Start(Path("app.log").c_str()));
    EXPECT_FALSE(logger->IsEnabled());
    EXPECT_TRUE(std::regex_match(PlatformTest::ReadWholeFile(Path("app.log")), kStartedLine));
    logger->Log("ignored while disabled", 0);
    EXPECT_FALSE(logger->Start(Path("other.log").c_str()));
    EXPECT_STREQ(logger->GetFilePath(), Path("app.log").c_str());
    EXPECT_STREQ(logger->GetFailedFilePath(), Path("Failed_app.log").c_str());

    logger->SetEnabled(true);
    logger->Log("abc", 0);
    logger->Log(nullptr, 0);
    logger->SetCorrelation(true);
    logger->Log("def", 0);
    const std::string content = PlatformTest::ReadWholeFile(Path("app.log"));
    const std::string tail = content.substr(content.find("started]\r\n") + 10);
    EXPECT_TRUE(std::regex_match(tail, std::regex("abc\r\ndef \\(Corr: [0-9a-f]+\\)\r\n"))) << tail;
    EXPECT_FALSE(std::filesystem::exists(Path("other.log")));
}

TEST_F(LoggerFile, RestartReopensTheStoredPathOnlyWhenClosed) {
    Core::Ptr<AppLogger> logger = Core::MakeObject<AppLogger>();
    EXPECT_FALSE(logger->Restart());
    PlatformTest::WriteWholeFile(Path("re.log"), "old content\r\n");
    logger->SetFilePath(Path("re.log").c_str());
    logger->SetFilePath(Path("ignored.log").c_str());
    EXPECT_STREQ(logger->GetFilePath(), Path("re.log").c_str());
    ASSERT_TRUE(logger->Restart());
    EXPECT_TRUE(std::regex_match(PlatformTest::ReadWholeFile(Path("re.log")), kStartedLine));
    EXPECT_FALSE(logger->IsEnabled());
    EXPECT_FALSE(logger->Restart());
    EXPECT_FALSE(logger->Start(Path("re.log").c_str()));
}

TEST_F(LoggerFile, ShutdownReportsRuntimeAndMovesOnlyAFailedLog) {
    for (bool failed : {false, true}) {
        const std::string name = failed ? "failed.log" : "ok.log";
        {
            Core::Ptr<AppLogger> logger = Core::MakeObject<AppLogger>();
            ASSERT_TRUE(logger->Start(Path(name.c_str()).c_str()));
            logger->SetEnabled(true);
            if (failed) {
                logger->MarkFailed();
            }
        }
        EXPECT_EQ(std::filesystem::exists(Path(name.c_str())), !failed);
        EXPECT_EQ(std::filesystem::exists(Path(("Failed_" + name).c_str())), failed);
    }
    EXPECT_NE(PlatformTest::ReadWholeFile(Path("ok.log")).find("[Log successfully terminated] [Runtime: "),
              std::string::npos);
    const std::string content = PlatformTest::ReadWholeFile(Path("Failed_failed.log"));
    const std::regex expected(R"(.* :: \[Log successfully started\]\r\n)"
                              R"(\[Log successfully terminated\] \[Runtime: \d+\.\d{3} seconds\]\r\n)"
                              R"(\[Log file renamed from \[(.*)\] to \[(.*)\]\r\n)");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(content, match, expected)) << content;
    EXPECT_EQ(match[1], Path("failed.log"));
    EXPECT_EQ(match[2], Path("Failed_failed.log"));
}

TEST_F(LoggerFile, ConsoleGetsColourTextAndEndInOrderAndFramedStackTraces) {
    Core::Ptr<AppLogger> logger = Core::MakeObject<AppLogger>();
    Core::Ptr<PlatformTest::RecordingConsole> console = Core::MakeObject<PlatformTest::RecordingConsole>();
    logger->SetConsole(console.GetUnchecked());
    EXPECT_EQ(logger->GetConsole(), console.GetUnchecked());
    logger->LogStackTrace(0, 4);
    EXPECT_EQ(console->Text(), "");
    logger->SetEnabled(true);
    logger->Log("red", 0x0F1FC5);
    logger->Log("plain", 0);
    const std::vector<std::string> expected = {"colour 0f1fc5", "write red\r\n", "end", "write plain\r\n", "end"};
    EXPECT_EQ(console->Calls(), expected);
    logger->LogStackTrace(0, 4);
    const std::string trace = console->Text().substr(std::string("red\r\nplain\r\n").size());
    EXPECT_TRUE(
        std::regex_match(trace, std::regex(R"(STACK_TRACE: \[\n(\t\[\d\]\. \[0x[0-9A-F]+\][^\n]*\n){1,4}\]\n\r\n)")))
        << trace;
    logger->SetConsole(nullptr);
    EXPECT_EQ(logger->GetConsole(), nullptr);
}

}  // namespace
