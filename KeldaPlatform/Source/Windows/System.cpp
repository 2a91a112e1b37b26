// The thread, time, error-text and file-status services of the backend seam.
#include "Win32.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <stdexcept>

#include "Common/Backend.h"
#include "NativeThread.h"
#include "Platform/File.h"
#include "WideText.h"

namespace Platform::Windows::Threading {
namespace {

using SetThreadDescriptionFunction = HRESULT(WINAPI*)(HANDLE, PCWSTR);

// Resolved once per process: systems before Windows 10 1607 (and some Wine versions) lack it.
SetThreadDescriptionFunction SetThreadDescriptionAddress() {
    static std::once_flag once;
    static SetThreadDescriptionFunction function = nullptr;
    std::call_once(once, [] {
        if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
            function = reinterpret_cast<SetThreadDescriptionFunction>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")));
        }
    });
    return function;
}

}  // namespace

WindowsThread::WindowsThread() {
    // The pseudo-handle means "the calling thread" to whoever uses it: other threads need a real one.
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &handle_,
                         THREAD_SET_CONTEXT | THREAD_SET_LIMITED_INFORMATION | THREAD_QUERY_LIMITED_INFORMATION, FALSE,
                         0)) {
        throw std::runtime_error("The calling thread's handle could not be duplicated");
    }
}

WindowsThread::~WindowsThread() {
    CloseHandle(handle_);
}

void WindowsThread::SetName(const char* name) {
    if (name == nullptr) {
        return;
    }
    if (SetThreadDescriptionFunction function = SetThreadDescriptionAddress()) {
        try {
            function(handle_, Text::Widen(name).c_str());
        } catch (const std::exception&) {
            // A name that is no UTF-8 is not set; naming is a courtesy to debuggers only.
        }
    }
}

}  // namespace Platform::Windows::Threading

namespace Platform::Backend {
namespace {

// FormatMessageW's text for a code, from the system or from a loaded module; empty when it has none.
std::string FormatMessageText(DWORD code, HMODULE module) {
    wchar_t* buffer = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                        (module != nullptr ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
    const DWORD length = FormatMessageW(flags, module, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length != 0 && buffer != nullptr) {
        text = Windows::Text::Narrow(buffer, length);
    }
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
    return text;
}

std::string ModuleMessage(const wchar_t* moduleName, uint32_t code) {
    HMODULE module = GetModuleHandleW(moduleName);
    return module != nullptr ? FormatMessageText(code, module) : std::string();
}

std::string ErrnoMessage(int code) {
    char buffer[256] = {};
    return strerror_s(buffer, sizeof buffer, code) == 0 ? std::string(buffer) : std::string();
}

// 100-nanosecond intervals between 1601-01-01 (FILETIME) and 1970-01-01 (POSIX).
constexpr int64_t kEpochDifference = 116444736000000000LL;

int64_t PosixSeconds(const FILETIME& time) {
    const int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    return (ticks - kEpochDifference) / 10000000LL;
}

}  // namespace

uint32_t CurrentThreadId() {
    return static_cast<uint32_t>(GetCurrentThreadId());
}

std::unique_ptr<NativeThread> CaptureCurrentThread() {
    return std::make_unique<Windows::Threading::WindowsThread>();
}

std::tm LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    return local;
}

std::string SystemMessage(RichError::Family family, uint32_t code) {
    switch (family) {
        case RichError::Family::Win32:
        case RichError::Family::HResult:
            return FormatMessageText(code, nullptr);
        case RichError::Family::NtStatus:
            return ModuleMessage(L"Ntdll.dll", code);
        case RichError::Family::WinHttp:
            return ModuleMessage(L"WinHttp.dll", code);
        case RichError::Family::Errno:
            return ErrnoMessage(static_cast<int>(code));
        default:
            return "";
    }
}

int LastError() {
    return errno;
}

RichError::Family ErrorFamily() {
    return RichError::Family::Win32;
}

bool QueryFileStatus(const std::string& path, FileStatus& status, int& error) {
    const std::wstring wide = Windows::Text::Widen(IO::ToLongPath(path));
    // Only attributes are read, and nobody is kept from using the file meanwhile. Folders open only
    // with backup semantics.
    HANDLE file =
        CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(file, &info) != 0;
    if (!ok) {
        error = static_cast<int>(GetLastError());
    }
    CloseHandle(file);
    if (!ok) {
        return false;
    }
    status.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    status.modifiedSeconds = PosixSeconds(info.ftLastWriteTime);
    status.isDirectory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

bool FlushFile(intptr_t handle) {
    return FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) != 0;
}

bool RenameReplacing(const std::string& from, const std::string& to, int& error) {
    const std::wstring source = Windows::Text::Widen(IO::ToLongPath(from));
    const std::wstring target = Windows::Text::Widen(IO::ToLongPath(to));
    if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    return true;
}

void DebuggerOutput(const std::string& record) noexcept {
    try {
        OutputDebugStringW(Windows::Text::Widen(record).c_str());
    } catch (...) {
        // A record that is no UTF-8 is not copied; the log itself still gets it.
    }
}

}  // namespace Platform::Backend
