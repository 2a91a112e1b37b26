#pragma once
// The interface is public: hosts receive it from the library.
#include "Vesk/Platform/IUrl.h"
