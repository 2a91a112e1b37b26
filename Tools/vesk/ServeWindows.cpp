#include "Library.h"
#include "Serve.h"

namespace VeskTool {

void ReplaceProcessWithServer(const std::vector<std::string>&) {
    throw LibraryError(
        "The reference server, vesk-server, runs on Linux only: start it on a Linux machine and reach it from "
        "here with vesk remote add");
}

}  // namespace VeskTool
