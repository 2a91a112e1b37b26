#pragma once
// What every command needs from the workspace library: its errors as exceptions, UUIDs as text, the
// workspace opened, and the interface an object list's item implements.
#include <stdexcept>
#include <string>

#include "Handle.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace.h"

namespace VeskTool {

// A failure the library (or the workspace file) reported: its message goes to the user as it stands; exit 1.
struct LibraryError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A command line that does not say what to do; exit 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws LibraryError with the error object's message (or what, when the library gave none) unless ok.
void ThrowIfFailed(bool ok, Handle<Core::IErrorCode>& error, const char* what);

// Calls operation(error) and throws as ThrowIfFailed when it returns false.
template <class Operation>
void Call(Operation operation, const char* what) {
    Handle<Core::IErrorCode> error;
    ThrowIfFailed(operation(error.Out()), error, what);
}

// The text the string holds, zero bytes included.
std::string TextOf(Data::Interfaces::IString* text);

// Hands out the text that getter(IString**, IErrorCode**) hands out; throws LibraryError on failure.
template <class Getter>
std::string ReadText(Getter getter) {
    Handle<Data::Interfaces::IString> text;
    Call([&](Core::IErrorCode** e) { return getter(text.Out(), e); }, "The workspace could not be read");
    return TextOf(text.Get());
}

// Parses a UUID; throws UsageError naming what the UUID was for when the text is not one.
Data::Structures::_UUID ParseUuid(const std::string& text, const char* what);

// The lower-case hyphenated text of uuid.
std::string UuidText(const Data::Structures::_UUID& uuid);

// True for the nil UUID.
bool IsNil(const Data::Structures::_UUID& uuid);

// The UUID of a workspace object, as a value and as text.
Data::Structures::_UUID UuidValueOf(Vesk::Interfaces::IWorkspaceObject* object);
std::string UuidOf(Vesk::Interfaces::IWorkspaceObject* object);

// Throws LibraryError "no workspace file at PATH" when path is a plain file path (not an SQLite URI)
// that names nothing, so that the user is not left with SQLite's "unable to open database file".
// As RequireWorkspaceFile without looking inside: only "no workspace file at PATH" and "PATH is a folder".
void RequireExistingFile(const std::string& path);

// Also throws, saying why, when path names a folder or a file that is not a workspace (not SQLite, or SQLite
// without the workspace's tables).
void RequireWorkspaceFile(const std::string& path);

// For create: path is a workspace file already (as RequireWorkspaceFile), or nothing in an existing folder;
// throws LibraryError saying which folder is missing otherwise.
void RequireNewWorkspaceLocation(const std::string& path);

// Opens the workspace at path in mode (a WorkspaceOpenMode); uuid is stored only in a new file.
Handle<Vesk::Interfaces::IWorkspaceManager> OpenWorkspace(const std::string& path, const Data::Structures::_UUID& uuid,
                                                          int mode);

// A new random UUID; throws LibraryError when none can be made.
Data::Structures::_UUID NewUuid();

// Opens an existing workspace file for writing with a transaction open, so that a command's changes reach
// the file together at Commit or not at all.
Handle<Vesk::Interfaces::IWorkspaceManager> OpenForEditing(const std::string& path);

// Saves what the transaction of OpenForEditing holds; throws LibraryError with the library's message.
void Commit(Vesk::Interfaces::IWorkspaceManager* workspace);

// Item index of list as T with its own reference; throws LibraryError when it is something else.
template <class T>
Handle<T> ItemAs(Data::Interfaces::IObjectList* list, uint64_t index) {
    Handle<Core::IObject> item;
    Call([&](Core::IErrorCode** e) { return list->Get(index, item.Out(), e); }, "The list could not be read");
    auto* typed = dynamic_cast<T*>(item.Get());
    if (typed == nullptr) {
        throw LibraryError("The workspace handed out an object of an unexpected kind");
    }
    Handle<T> result;
    typed->AddReference();
    *result.Out() = typed;
    return result;
}

}  // namespace VeskTool
