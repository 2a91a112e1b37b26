// A module that the loader tests load, query and unload.
#include "Vesk/Export.h"

extern "C" VESK_SYMBOL_EXPORT int PlatformTestModule_Answer() {
    return 42;
}
