#include <unistd.h>

#include "Terminal.h"

namespace VeskTool {

bool StandardErrorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

}  // namespace VeskTool
