#pragma once
// The interface is public: hosts receive it from the library.
#include "Platform/ErrorRecord.h"
#include "Vesk/Platform/IAsyncTask.h"
