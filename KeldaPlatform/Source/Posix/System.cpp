// The thread, time, error-text and file-status services of the backend seam.
#include <curl/curl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "Common/Backend.h"

namespace Platform::Backend {
namespace {

class PosixThread final : public NativeThread {
public:
    PosixThread() : thread_(pthread_self()) {}
    void SetName(const char* name) override {
        // The system keeps at most 15 bytes of a thread's name; a longer one would be refused whole.
        char shortened[16];
        std::strncpy(shortened, name, sizeof shortened - 1);
        shortened[sizeof shortened - 1] = '\0';
        pthread_setname_np(thread_, shortened);
    }

private:
    pthread_t thread_;
};

// The texts that Windows gives for the error numbers the suite's code meets most, for reports that
// carry such numbers on a system that has no table of its own for them.
const char* Win32Message(uint32_t code) {
    switch (code) {
        case 0:
            return "The operation completed successfully.";
        case 1:
            return "Incorrect function.";
        case 2:
            return "The system cannot find the file specified.";
        case 3:
            return "The system cannot find the path specified.";
        case 4:
            return "The system cannot open the file.";
        case 5:
            return "Access is denied.";
        case 6:
            return "The handle is invalid.";
        case 8:
            return "Not enough memory resources are available to process this command.";
        case 14:
            return "Not enough memory resources are available to complete this operation.";
        case 32:
            return "The process cannot access the file because it is being used by another process.";
        case 33:
            return "The process cannot access the file because another process has locked a portion of the file.";
        case 80:
            return "The file exists.";
        case 87:
            return "The parameter is incorrect.";
        case 112:
            return "There is not enough space on the disk.";
        case 122:
            return "The data area passed to a system call is too small.";
        case 126:
            return "The specified module could not be found.";
        case 127:
            return "The specified procedure could not be found.";
        case 183:
            return "Cannot create a file when that file already exists.";
        case 1168:
            return "Element not found.";
        default:
            return "";
    }
}

std::string ErrnoMessage(int code) {
    char buffer[256];
    // The GNU form may return a static text instead of filling the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return text != nullptr ? text : "";
}

}  // namespace

uint32_t CurrentThreadId() {
    return static_cast<uint32_t>(gettid());
}

std::unique_ptr<NativeThread> CaptureCurrentThread() {
    return std::make_unique<PosixThread>();
}

std::tm LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::string SystemMessage(RichError::Family family, uint32_t code) {
    switch (family) {
        case RichError::Family::Errno:
            return ErrnoMessage(static_cast<int>(code));
        case RichError::Family::Curl:
            return curl_easy_strerror(static_cast<CURLcode>(code));
        case RichError::Family::Win32:
            return Win32Message(code);
        case RichError::Family::HResult:
            // HRESULTs that wrap a Windows error number (facility 7) read as that number.
            if ((code & 0xFFFF0000u) == 0x80070000u) {
                return Win32Message(code & 0xFFFFu);
            }
            switch (code) {
                case 0:
                    return "The operation completed successfully.";
                case 0x80004001u:
                    return "Not implemented";
                case 0x80004005u:
                    return "Unspecified error";
                default:
                    return "";
            }
        default:
            return "";
    }
}

int LastError() {
    return errno;
}

RichError::Family ErrorFamily() {
    return RichError::Family::Errno;
}

bool QueryFileStatus(const std::string& path, FileStatus& status, int& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = errno;
        return false;
    }
    status.size = static_cast<uint64_t>(info.st_size);
    status.modifiedSeconds = static_cast<int64_t>(info.st_mtim.tv_sec);
    status.isDirectory = S_ISDIR(info.st_mode);
    return true;
}

bool FlushFile(intptr_t handle) {
    return fsync(static_cast<int>(handle)) == 0;
}

bool RenameReplacing(const std::string& from, const std::string& to, int& error) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        error = errno;
        return false;
    }
    return true;
}

void DebuggerOutput(const std::string&) noexcept {
    // There is no debugger channel on this system.
}

void ReleaseStackTraceResources() noexcept {
    // backtrace and dladdr hold nothing that needs giving back.
}

}  // namespace Platform::Backend
