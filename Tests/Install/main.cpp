// The README's host example: create a workspace in the folder given and print its name.
#include <cstdio>
#include <string>

#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: host FOLDER\n");
        return 2;
    }
    const std::string path = std::string(argv[1]) + "/host.veskdb";
    Data::Structures::_UUID uuid{};
    Data_NewUuid(&uuid);
    Vesk::Interfaces::IWorkspaceManager* workspace = nullptr;
    Core::IErrorCode* error = nullptr;
    if (!VeskWorkspace_CreateOnFilesystem(&uuid, path.c_str(), Vesk::Interfaces::ReadWrite, &workspace, &error)) {
        std::fprintf(stderr, "%s\n", error->GetMessage());
        error->Release();
        return 1;
    }
    Data::Interfaces::IString* name = nullptr;
    if (workspace->GetName(&name, nullptr)) {
        std::printf("%s\n", name->GetText());
        name->Release();
    }
    workspace->Release();
    return 0;
}
