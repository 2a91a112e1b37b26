#pragma once
#include <string>

#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/IString.h"

namespace Platform::IO {

// The per-user folder where a module keeps its data: the user's data folder followed by the module's
// name without the platform's additions, "Vesk.Workspace" for libVesk.Workspace.so as for
// Vesk.Workspace.dll (the executable's stem when module is null). Created with its parents when it
// does not exist yet; throws the file-system error of "exists" or "create_directories". Safe to call
// from any thread.
std::string GetApplicationDataFolder(void* module = nullptr);

}  // namespace Platform::IO

// The error-code form: hands the folder out as a string object.
bool Platform_GetApplicationDataFolder(void* module, Data::Interfaces::IString** folder,
                                       Core::IErrorCode** error = nullptr);
