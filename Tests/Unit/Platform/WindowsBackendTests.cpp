// The Windows backend: Win32 error texts, files and mappings over handles with UTF-8 paths that
// the system sees in UTF-16, DbgHelp stack traces, LoadLibraryW modules and the known data folder.
#include <gtest/gtest.h>
#include <windows.h>
// The credential functions need the definitions of windows.h first.
#include <wincred.h>
// The system names its own function so; the one tested here is Platform::IO::CreateFileMapping.
#undef CreateFileMapping

#include <cstring>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

#include "Core/DataObjects.h"
#include "Core/ErrorCode.h"
#include "Core/Ptr.h"
#include "Platform/ApplicationData.h"
#include "Platform/CredentialStore.h"
#include "Platform/File.h"
#include "Platform/FileMapping.h"
#include "Platform/FileMetadata.h"
#include "Platform/Module.h"
#include "Platform/RichError.h"
#include "Platform/StackTrace.h"
#include "PlatformTestSupport.h"
#include "Support/LogCapture.h"
#include "Support/TempFolder.h"
#include "Support/Thrown.h"

namespace {

using namespace Platform::IO;
using Platform::Interfaces::IDll;
using Platform::Interfaces::IFile;
using Platform::Interfaces::IFileMapping;
using Platform::Interfaces::ISynchrounousFile;
using Platform::RichError::Family;
using Platform::RichError::Text;
using VeskTest::MessageThrownBy;

// A folder and a file name with letters outside ASCII and outside the system's code page.
const std::string kFolderName = "V\xC3\xA9sk \xE6\x97\xA5\xE6\x9C\xAC";
const std::string kFileName = "d\xC3\xA4ta \xCE\xB1.bin";

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

class WideFolder : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = temp_.Path() / PathFromUtf8(kFolderName);
        ASSERT_TRUE(std::filesystem::create_directory(folder_));
    }
    std::string File(const std::string& name) const { return Utf8(folder_) + "\\" + name; }

    VeskTest::TempFolder temp_;
    std::filesystem::path folder_;
};

Core::Ptr<ISynchrounousFile> OpenSync(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition) {
    return OpenFile(path, access, share, disposition).Cast<ISynchrounousFile>();
}

TEST(WindowsRichError, TakesTheSystemsTextsPerFamily) {
    const std::string denied = Text(Family::Win32, ERROR_ACCESS_DENIED);
    EXPECT_EQ(denied.rfind("[Win32(5)] ", 0), 0u) << denied;
    EXPECT_GT(denied.size(), std::string("[Win32(5)] ").size());
    EXPECT_EQ(denied.find("<Error message could not be obtained>"), std::string::npos) << denied;
    // The system's texts end in a line break that the error text does not keep.
    EXPECT_NE(denied.back(), '\n');
    EXPECT_EQ(Text(Family::Win32, ERROR_FILE_NOT_FOUND, "Opening x").rfind("Opening x::[Win32(2)] ", 0), 0u);
    // WinHTTP comes with the platform layer (the HTTP client runs on it): its message table gives the
    // text, and a WinHTTP without one (Wine's) has none to give.
    const std::string timedOut = Text(Family::WinHttp, 12002);
    const bool underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    if (underWine) {
        EXPECT_EQ(timedOut, "[WinHttp(12002)] <Error message could not be obtained from WinHttp.dll>");
    } else {
        EXPECT_EQ(timedOut.rfind("[WinHttp(12002)] ", 0), 0u) << timedOut;
        EXPECT_EQ(timedOut.find("<Error message could not be obtained"), std::string::npos) << timedOut;
    }
    EXPECT_EQ(MessageThrownBy([] { Platform::RichError::ThrowWin32(ERROR_ACCESS_DENIED, "Doing y"); }),
              "5: Doing y::" + denied);
}

TEST_F(WideFolder, FilesWithWideNamesAreWrittenReadAndDescribed) {
    const std::string path = File(kFileName);
    {
        auto file = OpenSync(path, kGenericRead | kGenericWrite, kShareRead | kShareWrite, kCreateNew);
        ASSERT_EQ(file->Write("0123456789", 10, nullptr), 10u);
        EXPECT_EQ(file->GetSize(), 10u) << "with write sharing the size is asked for every time";
        ASSERT_TRUE(file->SetPosition(4, nullptr));
        char buffer[16] = {};
        EXPECT_EQ(file->Read(buffer, sizeof buffer, nullptr), 6u);
        EXPECT_STREQ(buffer, "456789");
        EXPECT_EQ(file->GetPosition(nullptr), 10u);
    }
    {
        auto file = OpenSync(path, kGenericRead | kGenericWrite, kShareRead, kOpenExisting);
        ASSERT_TRUE(file->SeekToEnd(nullptr));
        ASSERT_EQ(file->Write("ab", 2, nullptr), 2u);
        EXPECT_EQ(file->GetSize(), 10u) << "without write sharing the size at open stays";
        EXPECT_EQ(file->GetPosition(nullptr), 12u);
    }
    // The system sees the very name that was given in UTF-8.
    EXPECT_TRUE(std::filesystem::exists(folder_ / PathFromUtf8(kFileName)));
    EXPECT_TRUE(FileExists(path));
    EXPECT_FALSE(FileExists(Utf8(folder_)));
    EXPECT_FALSE(FileExists(File("missing")));
    EXPECT_EQ(OpenSync(path, kGenericRead, kShareRead | kShareWrite, kOpenExisting)->GetSize(), 12u);

    auto plain = OpenFile(path, 0, kShareRead | kShareWrite, kOpenExisting);
    EXPECT_EQ(plain->GetAccess(), 0u);
    EXPECT_EQ(plain->GetAttributes(nullptr) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(ReadFileToArray(path)->GetByteSize(), 12u);

    auto metadata = CreateFileMetadata(path);
    EXPECT_STREQ(metadata->GetName(), kFileName.c_str());
    EXPECT_EQ(metadata->GetSize(), 12u);
    // SHA-256 of "0123456789ab".
    EXPECT_STREQ(metadata->GetSha2(), "d407ad901895723f32d31e6515f5284beb4c01e70e56720d65099da4771f3193");
}

TEST_F(WideFolder, OpeningFailuresNameThePathAndTheSystemsReason) {
    const std::string path = File(kFileName);
    const std::string missing = MessageThrownBy([&] { OpenFile(path, kGenericRead, kShareRead, kOpenExisting); });
    EXPECT_EQ(missing, "2: Failed to open or create file at location " + path +
                           "::" + Text(Family::Win32, ERROR_FILE_NOT_FOUND));
    OpenFile(path, kGenericWrite, 0, kCreateNew);
    EXPECT_EQ(MessageThrownBy([&] {
                  OpenFile(path, kGenericWrite, 0, kCreateNew);
              }).rfind("80: Failed to open or create file at location ", 0),
              0u);
    EXPECT_EQ(MessageThrownBy([&] { OpenFile(path, kGenericRead, 0, kOpenExisting, kFlagOverlapped); }),
              "Support for async files not yet implemented");
    EXPECT_EQ(MessageThrownBy([&] { CreateFileMetadata(File("missing")); }), "File specified does not exists");
}

TEST(WindowsPaths, OnlyDrivePathsTakeTheLongPrefix) {
    EXPECT_EQ(ToLongPath("C:/a/b.txt"), "\\\\?\\C:\\a\\b.txt");
    EXPECT_EQ(ToLongPath("c:\\a"), "\\\\?\\c:\\a");
    EXPECT_EQ(ToLongPath("\\\\?\\C:\\a"), "\\\\?\\C:\\a");
    EXPECT_EQ(ToLongPath("relative\\a"), "relative\\a");
    EXPECT_EQ(ToLongPath("\\\\server\\share\\a"), "\\\\server\\share\\a");
    EXPECT_THROW(FileExists(""), std::runtime_error);
}

TEST_F(WideFolder, MappingsExtendFlushAndRefuseBadRequests) {
    const std::string path = File(kFileName);
    {
        auto mapping = CreateFileMapping(Data::NewString(path).GetUnchecked(), 4096, false);
        ASSERT_EQ(mapping->GetSize(), 4096u);
        std::memcpy(mapping->GetData(), "mapped", 6);
        Core::ErrorCode error;
        EXPECT_FALSE(mapping->Flush(10, 5, false, error.Receive()));
        EXPECT_EQ(error.Message(), "Invalid offsets");
        EXPECT_TRUE(mapping->Flush(0, mapping->GetSize(), false, nullptr));
    }
    EXPECT_EQ(std::filesystem::file_size(PathFromUtf8(path)), 4096u);
    auto reader = CreateFileMapping(Data::NewString(path).GetUnchecked(), 0, true);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reader->GetData()), 6), "mapped");
    EXPECT_TRUE(reader->IsReadOnly());
    EXPECT_EQ(MessageThrownBy([&] { CreateFileMapping(Data::NewString(path).GetUnchecked(), 4097, true); }),
              "When creating file mapping in read only mode, size should not be greater than file size");
}

TEST(WindowsStackTrace, NamesModulesAndSymbolsThroughDbgHelp) {
    std::string trace;
    std::string error;
    ASSERT_TRUE(Platform::Diagnostics::CaptureStackTrace(0, 4, trace, error)) << error;
    std::istringstream lines(trace);
    std::string line;
    int count = 0;
    const std::regex frame(R"(\t\[(\d+)\]\. \[0x[0-9A-F]{16}\](, \(Symbols not loaded\)|, \[[^\]]+\], [^!]+![^\n]+))");
    while (std::getline(lines, line)) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, frame)) << line;
        EXPECT_EQ(std::stoi(match[1]), count++);
    }
    EXPECT_GE(count, 2);
    EXPECT_FALSE(Platform::Diagnostics::CaptureStackTrace(0, 0, trace, error));
}

TEST(WindowsModule, LoadsByPathAndOnlyUsesAModuleLoadedAlready) {
    const std::string path = PLATFORM_TEST_MODULE;
    ASSERT_FALSE(Platform::Module::IsModuleLoaded(path));
    {
        Core::Ptr<IDll> dll = Platform::Module::LoadDll(path);
        EXPECT_TRUE(Platform::Module::IsModuleLoaded(path));
        auto answer = reinterpret_cast<int (*)()>(dll->GetProcAddress("PlatformTestModule_Answer", nullptr));
        ASSERT_NE(answer, nullptr);
        EXPECT_EQ(answer(), 42);
        EXPECT_FALSE(dll->HasProc("NoSuchProcedure"));
        Core::ErrorCode missing;
        EXPECT_EQ(dll->GetProcAddress("NoSuchProcedure", missing.Receive()), nullptr);
        EXPECT_EQ(missing.Message().rfind("127: Failed to find procedure NoSuchProcedure in " + path + "::", 0), 0u)
            << missing.Message();
    }
    EXPECT_FALSE(Platform::Module::IsModuleLoaded(path));

    HMODULE mine = LoadLibraryA(path.c_str());
    ASSERT_NE(mine, nullptr);
    {
        Core::Ptr<IDll> dll = Platform::Module::LoadDll(path);
        EXPECT_EQ(dll->GetHandle(), reinterpret_cast<void*>(mine));
    }
    EXPECT_TRUE(Platform::Module::IsModuleLoaded(path)) << "the loader freed a module it did not own";
    FreeLibrary(mine);
    EXPECT_FALSE(Platform::Module::IsModuleLoaded(path));

    VeskTest::LogCapture capture;
    const std::string refused = MessageThrownBy([] { Platform::Module::LoadDll("NoSuchModule.dll"); });
    // The loader's last error, whichever of its attempts set it, leads and names the family.
    EXPECT_TRUE(std::regex_match(refused,
                                 std::regex(R"((\d+): Failed to load library: NoSuchModule\.dll::\[Win32\(\1\)\] .+)")))
        << refused;
    EXPECT_NE(capture.Text().find("Failed to load dll [NoSuchModule.dll] directly."), std::string::npos);
}

TEST(WindowsApplicationData, IsTheExecutablesFolderUnderLocalAppData) {
    const std::string folder = GetApplicationDataFolder();
    const std::filesystem::path path = PathFromUtf8(folder);
    EXPECT_EQ(path.filename(), "PlatformTests");
    EXPECT_EQ(path.parent_path().filename(), "Local");
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST(WindowsCredentialStore, KeepsOneGenericCredentialPerExactTarget) {
    // A target of this run only, so that runs never see each other's credentials.
    const std::string alias = "test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
    const std::string target = "VESKWSROOT:" + alias + ":https://example.test/ws";
    const std::string secret = std::string("k\xc3\xa9y-") + '\0' + "tail";
    EXPECT_FALSE(Platform::Credentials::Exists(target));
    EXPECT_FALSE(Platform::Credentials::Read(target).has_value());
    EXPECT_NO_THROW(Platform::Credentials::Delete(target)) << "no credential is no failure";

    Platform::Credentials::Write(target, alias, "first");
    Platform::Credentials::Write(target, alias, secret);
    EXPECT_TRUE(Platform::Credentials::Exists(target));
    EXPECT_FALSE(Platform::Credentials::Exists(target.substr(0, target.size() - 1))) << "a prefix is another target";
    EXPECT_EQ(Platform::Credentials::Read(target), secret) << "bytes as written, the later write replacing";

    // What other programs see in the store: a generic credential under the alias's name.
    const std::wstring wideTarget(target.begin(), target.end());
    PCREDENTIALW record = nullptr;
    ASSERT_TRUE(CredReadW(wideTarget.c_str(), CRED_TYPE_GENERIC, 0, &record));
    EXPECT_EQ(record->Type, static_cast<DWORD>(CRED_TYPE_GENERIC));
    EXPECT_EQ(std::wstring(record->UserName), std::wstring(alias.begin(), alias.end()));
    EXPECT_EQ(record->CredentialBlobSize, secret.size());
    CredFree(record);

    Platform::Credentials::Delete(target);
    EXPECT_FALSE(Platform::Credentials::Exists(target));
    EXPECT_FALSE(Platform::Credentials::Read(target).has_value());
}

}  // namespace
