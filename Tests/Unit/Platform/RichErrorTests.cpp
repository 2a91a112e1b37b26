// Error texts of the native families, the raising pattern, stack traces and the per-user folder.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>

#include "Core/ErrorCode.h"
#include "Core/Ptr.h"
#include "Platform/ApplicationData.h"
#include "Platform/Module.h"
#include "Platform/RichError.h"
#include "Platform/StackTrace.h"
#include "PlatformTestSupport.h"
#include "Support/LogCapture.h"
#include "Support/TempFolder.h"
#include "Support/Thrown.h"

namespace {

using Platform::RichError::Family;
using Platform::RichError::Text;

TEST(RichErrorText, NamesFamilyCodeAndMessageAfterAnyContext) {
    EXPECT_EQ(Text(Family::Win32, 5), "[Win32(5)] Access is denied.");
    EXPECT_EQ(Text(Family::Win32, 4000000), "[Win32(4000000)] <Error message could not be obtained>");
    EXPECT_EQ(Text(Family::NtStatus, 0xC0000005u),
              "[NTSTATUS(3221225477)] <Error message could not be obtained from Ntdll.dll>");
    EXPECT_EQ(Text(Family::WinHttp, 12002), "[WinHttp(12002)] <Error message could not be obtained from WinHttp.dll>");
    EXPECT_EQ(Text(Family::HResult, 0x80070005u), "[HResult(2147942405)] Access is denied.");
    EXPECT_EQ(Text(Family::Custom, 0), "[Custom(0)] No error");
    EXPECT_EQ(Text(Family::Custom, 1), "[Custom(1)] Start can be called only once");
    EXPECT_EQ(Text(Family::Custom, 2), "[Custom(2)] Invalid error code");
    EXPECT_EQ(Text(Family::Errno, ENOENT), "[Errno(2)] No such file or directory");
    EXPECT_EQ(Text(Family::Curl, 6), "[Curl(6)] Couldn't resolve host name");
    EXPECT_EQ(Text(Family::None, 17), "no error");
    EXPECT_EQ(Text(static_cast<Family>(99), 1), "INVALID ERROR TYPE");
    // A context goes in front.
    EXPECT_EQ(Text(Family::Errno, EACCES, "Opening x"), "Opening x::[Errno(13)] Permission denied");
    EXPECT_EQ(Text(Family::None, 0, "ctx"), "ctx::no error");
}

TEST(RichErrorRaise, LogsFatalAndStackThenThrowsTheBareMessage) {
    VeskTest::LogCapture capture;
    EXPECT_EQ(VeskTest::MessageThrownBy([] { Platform::RichError::ThrowErrno(ENOENT, "Opening x"); }),
              "2: Opening x::[Errno(2)] No such file or directory");
    const std::string log = capture.Text();
    const size_t fatal =
        log.find("FATAL: 2: Opening x::[Errno(2)] No such file or directory [Platform::RichError::ThrowErrno]");
    const size_t stack = log.find("STACK_TRACE: [\n\t[0]. [0x");
    ASSERT_NE(fatal, std::string::npos) << log;
    ASSERT_NE(stack, std::string::npos) << log;
    EXPECT_LT(fatal, stack);
    EXPECT_NE(log.find("]\n\r\n", stack), std::string::npos) << log;
}

}  // namespace

namespace PlatformTest {

// Exported, so that a stack trace can name it.
__attribute__((noinline, visibility("default"))) std::string TraceFromHere(uint32_t skip) {
    std::string trace;
    std::string error;
    EXPECT_TRUE(Platform::Diagnostics::CaptureStackTrace(skip, 8, trace, error)) << error;
    return trace;
}

}  // namespace PlatformTest

namespace {

std::string LineOf(const std::string& text, int index) {
    std::istringstream lines(text);
    std::string line;
    for (int i = 0; i <= index && std::getline(lines, line); ++i) {
    }
    return line;
}

TEST(StackTrace, OneLinePerFrameWithModuleAndSymbolFromTheCaptureOn) {
    const std::string trace = PlatformTest::TraceFromHere(1);
    std::istringstream lines(trace);
    std::string line;
    int count = 0;
    const std::regex frame(R"(\t\[(\d+)\]\. \[0x[0-9A-F]{16}\](, \(Symbols not loaded\)|, \[[^\]]+\], [^!]+![^\n]+))");
    while (std::getline(lines, line)) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, frame)) << line;
        EXPECT_EQ(std::stoi(match[1]), count);
        ++count;
    }
    EXPECT_EQ(count, 8);
    // Frame 0 is the capture itself; skipping one frame starts the trace in its caller.
    const char* helper = "PlatformTests!PlatformTest::TraceFromHere";
    EXPECT_NE(LineOf(trace, 0).find(helper), std::string::npos) << trace;
    const std::string unskipped = PlatformTest::TraceFromHere(0);
    EXPECT_EQ(LineOf(unskipped, 0).find(helper), std::string::npos) << unskipped;
    EXPECT_NE(LineOf(unskipped, 1).find(helper), std::string::npos) << unskipped;

    std::string empty;
    std::string error;
    EXPECT_FALSE(Platform::Diagnostics::CaptureStackTrace(0, 0, empty, error));
    EXPECT_FALSE(error.empty());
}

// Sets an environment variable (or removes it, for null) for a scope and puts the old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Set(value);
    }
    ~ScopedEnvironment() { Set(old_ ? old_->c_str() : nullptr); }

private:
    void Set(const char* value) { (void)(value != nullptr ? setenv(name_, value, 1) : unsetenv(name_)); }
    const char* name_;
    std::optional<std::string> old_;
};

TEST(ApplicationData, UsesTheUserDataFolderAndTheModuleNameOrSaysWhyNot) {
    VeskTest::TempFolder folder;
    {
        ScopedEnvironment xdg("XDG_DATA_HOME", folder.Path().c_str());
        const std::string path = Platform::IO::GetApplicationDataFolder();
        EXPECT_EQ(path, (folder.Path() / "PlatformTests").string());
        EXPECT_TRUE(std::filesystem::is_directory(path));
        // A shared library's folder drops the platform's additions to its name, as elsewhere.
        Core::Ptr<Platform::Interfaces::IDll> module = Platform::Module::LoadDll(PLATFORM_TEST_MODULE);
        ASSERT_EQ(std::filesystem::path(PLATFORM_TEST_MODULE).filename(), "libPlatformTestModule.so");
        EXPECT_EQ(Platform::IO::GetApplicationDataFolder(module->GetHandle()),
                  (folder.Path() / "PlatformTestModule").string());
    }
    {
        ScopedEnvironment xdg("XDG_DATA_HOME", nullptr);
        ScopedEnvironment home("HOME", folder.File("home").c_str());
        Data::Interfaces::IString* text = nullptr;
        ASSERT_TRUE(Platform_GetApplicationDataFolder(nullptr, &text));
        Core::Ptr<Data::Interfaces::IString> owned = Core::Ptr<Data::Interfaces::IString>::Adopt(text);
        EXPECT_EQ(std::string(owned->GetText()), folder.File("home") + "/.local/share/PlatformTests");
        EXPECT_TRUE(std::filesystem::is_directory(owned->GetText()));
    }
    PlatformTest::WriteWholeFile(folder.File("blocker"), "x");
    ScopedEnvironment xdg("XDG_DATA_HOME", folder.File("blocker").c_str());
    Data::Interfaces::IString* text = nullptr;
    const std::string blocked =
        PlatformTest::FailureOf([&](auto e) { return Platform_GetApplicationDataFolder(nullptr, &text, e); });
    EXPECT_EQ(text, nullptr);
    EXPECT_NE(blocked.find("create_directories"), std::string::npos) << blocked;
}

}  // namespace
