#pragma once
#include <string>

#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/IString.h"

namespace Platform::IO {

// The per-user folder where a module keeps its data: the user's data folder followed by the stem of
// the module's file name (the executable's when module is null). Created with its parents when it
// does not exist yet.
std::string GetApplicationDataFolder(void* module = nullptr);

}  // namespace Platform::IO

// The error-code form: hands the folder out as a string object.
bool Platform_GetApplicationDataFolder(void* module, Data::Interfaces::IString** folder,
                                       Core::IErrorCode** error = nullptr);
