#include "Platform/CrossProcessLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>

namespace Platform::Threading {
namespace {

// Lock names become file names: path separators would leave the temporary folder.
std::string FileNameOf(const std::string& name) {
    std::string file = name;
    for (char& c : file) {
        if (c == '/' || c == '\\' || c == '\0') {
            c = '_';
        }
    }
    return file + ".lock";
}

}  // namespace

CrossProcessLock::CrossProcessLock(const std::string& name) {
    std::error_code error;
    const auto folder = std::filesystem::temp_directory_path(error);
    path_ = ((error ? std::filesystem::path("/tmp") : folder) / FileNameOf(name)).string();
    // flock locks belong to the open file description, so two locks of one name in one process
    // exclude each other just as two processes do.
    native_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (native_ < 0 && errno == EACCES) {
        // Another user made the file (the umask, or a sticky temporary folder, keeps it from us for
        // writing); flock needs only a descriptor open for reading.
        native_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (native_ < 0) {
        // Fixed text: hosts match on it.
        throw std::runtime_error("Cannot create windows mutex!");
    }
}

CrossProcessLock::~CrossProcessLock() {
    Release();
    ::close(static_cast<int>(native_));
}

void CrossProcessLock::Acquire() {
    while (::flock(static_cast<int>(native_), LOCK_EX) != 0) {
        if (errno != EINTR) {
            // Fixed text: hosts match on it.
            throw std::runtime_error("Cannot create windows mutex!");
        }
    }
    held_ = true;
}

void CrossProcessLock::Release() noexcept {
    if (held_) {
        ::flock(static_cast<int>(native_), LOCK_UN);
        held_ = false;
    }
}

}  // namespace Platform::Threading
