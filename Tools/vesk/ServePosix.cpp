#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "Library.h"
#include "Serve.h"

namespace VeskTool {

void ReplaceProcessWithServer(const std::vector<std::string>& arguments) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        throw LibraryError("The tool's own folder could not be found: " + error.message());
    }
    const std::string server = (self.parent_path() / "vesk-server").string();
    std::vector<std::string> words{server};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    execv(server.c_str(), argv.data());
    const int reason = errno;
    throw LibraryError("vesk-server could not be started from " + server + ": " + std::strerror(reason) +
                       (reason == ENOENT ? " (it is installed beside vesk; build the vesk-server target)" : ""));
}

}  // namespace VeskTool
