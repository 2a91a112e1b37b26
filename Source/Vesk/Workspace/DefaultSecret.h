#pragma once
#include "Vesk/Workspace/IWorkspaceManager.h"

namespace Vesk::Workspace {

// Replaces the workspace's secret by the one derived from its UUID alone: a fixed value encrypted
// under a key made of the UUID's hexadecimal digits. The same UUID always gives the same secret.
void GenerateDefaultSecret(Interfaces::IWorkspaceManager* workspace);

}  // namespace Vesk::Workspace
