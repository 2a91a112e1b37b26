#pragma once
// Starting the reference server, vesk-server, which is installed beside the tool.
#include <string>
#include <vector>

namespace VeskTool {

// Replaces this process with vesk-server from the tool's own folder, given arguments (without the program
// name), so that signals and the exit code are the server's own. Returns only on failure, by throwing
// LibraryError naming the server's path and the reason (not installed, not startable, no such system).
void ReplaceProcessWithServer(const std::vector<std::string>& arguments);

}  // namespace VeskTool
