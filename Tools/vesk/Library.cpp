#include "Library.h"

#include <filesystem>

#include "WorkspaceStatistics.h"

namespace VeskTool {

void ThrowIfFailed(bool ok, Handle<Core::IErrorCode>& error, const char* what) {
    if (ok) {
        return;
    }
    throw LibraryError(error ? std::string(error->GetMessage(), error->GetMessageLength()) : std::string(what));
}

std::string TextOf(Data::Interfaces::IString* text) {
    return std::string(text->GetText(), text->GetLength());
}

Data::Structures::_UUID ParseUuid(const std::string& text, const char* what) {
    Data::Structures::_UUID uuid{};
    Handle<Core::IErrorCode> error;
    if (!Data_UuidFromString(text.c_str(), &uuid, error.Out())) {
        throw UsageError(std::string(what) + " '" + text + "' is not a UUID");
    }
    return uuid;
}

std::string UuidText(const Data::Structures::_UUID& uuid) {
    Handle<Data::Interfaces::IString> text;
    if (!Data_UuidToString(&uuid, text.Out())) {
        throw LibraryError("UUID could not be converted to text");
    }
    return TextOf(text.Get());
}

bool IsNil(const Data::Structures::_UUID& uuid) {
    for (const uint8_t byte : uuid.bytes) {
        if (byte != 0) {
            return false;
        }
    }
    return true;
}

Data::Structures::_UUID UuidValueOf(Vesk::Interfaces::IWorkspaceObject* object) {
    Data::Structures::_UUID uuid{};
    Call([&](Core::IErrorCode** e) { return object->GetUuid(&uuid, e); }, "The workspace could not be read");
    return uuid;
}

std::string UuidOf(Vesk::Interfaces::IWorkspaceObject* object) {
    return UuidText(UuidValueOf(object));
}

void RequireExistingFile(const std::string& path) {
    if (path.rfind("file:", 0) == 0) {
        return;
    }
    std::error_code ignored;
    const auto status = std::filesystem::status(path, ignored);
    if (!std::filesystem::exists(status)) {
        throw LibraryError("no workspace file at " + path);
    }
    if (std::filesystem::is_directory(status)) {
        throw LibraryError(path + " is a folder, not a workspace file");
    }
}

void RequireWorkspaceFile(const std::string& path) {
    RequireExistingFile(path);
    if (path.rfind("file:", 0) == 0) {
        return;
    }
    // The library would make any SQLite database a workspace by adding its tables; the tool edits only
    // files that are workspaces already, and says what else it found.
    const std::string why = WhyNotAWorkspace(path);
    if (!why.empty()) {
        throw LibraryError(path + " is not a workspace file: " + why);
    }
}

void RequireNewWorkspaceLocation(const std::string& path) {
    if (path.rfind("file:", 0) == 0) {
        return;
    }
    std::error_code ignored;
    if (std::filesystem::exists(path, ignored)) {
        // An empty file (as mktemp leaves) is an empty database, which becomes the workspace.
        if (!std::filesystem::is_regular_file(path, ignored) || std::filesystem::file_size(path, ignored) != 0) {
            RequireWorkspaceFile(path);
        }
        return;
    }
    const std::filesystem::path folder = std::filesystem::absolute(path, ignored).parent_path();
    if (!std::filesystem::is_directory(folder, ignored)) {
        throw LibraryError("no folder " + folder.string() + " to create " + path + " in");
    }
}

Handle<Vesk::Interfaces::IWorkspaceManager> OpenWorkspace(const std::string& path, const Data::Structures::_UUID& uuid,
                                                          int mode) {
    Handle<Vesk::Interfaces::IWorkspaceManager> workspace;
    Call(
        [&](Core::IErrorCode** e) {
            return VeskWorkspace_CreateOnFilesystem(&uuid, path.c_str(), mode, workspace.Out(), e);
        },
        "The workspace could not be opened");
    return workspace;
}

Data::Structures::_UUID NewUuid() {
    Data::Structures::_UUID uuid{};
    if (!Data_NewUuid(&uuid)) {
        throw LibraryError("A UUID could not be made");
    }
    return uuid;
}

// Opens an existing workspace file for writing with a transaction open, so that a command's changes reach
// the file together at Commit or not at all.
Handle<Vesk::Interfaces::IWorkspaceManager> OpenForEditing(const std::string& path) {
    RequireWorkspaceFile(path);
    auto workspace = OpenWorkspace(path, Data::Structures::_UUID{}, Vesk::Interfaces::ReadWrite);
    Call([&](Core::IErrorCode** e) { return workspace->BeginTransaction(e); }, "The transaction could not begin");
    return workspace;
}

void Commit(Vesk::Interfaces::IWorkspaceManager* workspace) {
    Call([&](Core::IErrorCode** e) { return workspace->Save(e); }, "The workspace could not be saved");
}

}  // namespace VeskTool
