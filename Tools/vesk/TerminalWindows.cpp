#include <io.h>

#include <cstdio>

#include "Terminal.h"

namespace VeskTool {

bool StandardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

}  // namespace VeskTool
