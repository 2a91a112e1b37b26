// The commands that move a workspace as a memory image: export writes a workspace file's image to a file,
// import turns an image file back into a workspace file.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "Command.h"
#include "JsonText.h"
#include "Library.h"
#include "WorkspaceStatistics.h"

namespace VeskTool {
namespace {

namespace fs = std::filesystem;
using Vesk::Interfaces::IWorkspaceManager;

// The data-model version the library writes.
constexpr int64_t kCurrentVersion = 3;

// The whole content of the file at path; throws LibraryError when it cannot be read.
std::vector<char> ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw LibraryError("cannot read " + path);
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) {
        throw LibraryError("cannot read " + path);
    }
    return bytes;
}

// Refuses to go on when target exists and --force is not given, before any work is done.
void RequireFreeTarget(const std::string& target, const CommandLine& line) {
    std::error_code ignored;
    if (fs::exists(target, ignored) && !line.Has("--force")) {
        throw LibraryError(target + " exists; give --force to replace it");
    }
}

// Writes bytes to a new file beside target and renames it over target, so that target is either left as it
// was or holds all of bytes, never a part of them.
void WriteReplacing(const std::string& target, const uint8_t* bytes, uint64_t size) {
    const fs::path destination(target);
    fs::path partial = destination;
    partial += "." + UuidText(NewUuid()).substr(0, 8) + ".partial";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
        file.close();
        if (!file) {
            std::error_code ignored;
            fs::remove(partial, ignored);
            throw LibraryError("cannot write " + partial.string());
        }
    }
    std::error_code error;
    fs::rename(partial, destination, error);
    if (error) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        throw LibraryError("cannot replace " + target + ": " + error.message());
    }
}

// The memory image of workspace as its database holds it.
Handle<Data::Interfaces::IArray> ImageOf(IWorkspaceManager* workspace) {
    Handle<Data::Interfaces::IArray> image;
    Call([&](Core::IErrorCode** e) { return workspace->Serialize(image.Out(), e); },
         "The workspace could not be serialised");
    return image;
}

// Opens the image in bytes as a workspace in mode; throws LibraryError "WHAT is not a workspace image: ..."
// when the library refuses it. An empty image is refused here, since the library opens a new workspace then.
Handle<IWorkspaceManager> OpenImage(const std::vector<char>& bytes, int mode, const std::string& what) {
    if (bytes.empty()) {
        throw LibraryError(what + " is not a workspace image: the file is empty");
    }
    Handle<IWorkspaceManager> workspace;
    Handle<Core::IErrorCode> error;
    if (!VeskWorkspace_LoadFromMemory1(bytes.data(), bytes.size(), mode, workspace.Out(), error.Out())) {
        throw LibraryError(what + " is not a workspace image: " +
                           (error ? std::string(error->GetMessage(), error->GetMessageLength()) : "unknown failure"));
    }
    return workspace;
}

void PrintWritten(const char* verb, const std::string& from, const std::string& to, uint64_t size,
                  const CommandLine& line, std::ostream& out) {
    if (!line.Has("--json")) {
        out << verb << " " << from << " to " << to << " (" << size << " bytes)\n";
        return;
    }
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    WriteJsonMember(writer, "path", to);
    writer.Key("bytes");
    writer.Uint64(size);
    writer.EndObject();
    out << buffer.GetString() << "\n";
}

int Export(const CommandLine& line, const Streams& streams) {
    const std::string& path = line.positional[0];
    const std::string& target = line.positional[1];
    RequireWorkspaceFile(path);
    RequireFreeTarget(target, line);
    // A file workspace opened read-only keeps no connection to serialise from, so the database's image is
    // opened read-only instead: the workspace is checked and nothing is written to the file.
    const std::vector<char> bytes = ReadDatabaseImage(path);
    if (bytes.empty()) {
        throw LibraryError(path + " is not a workspace file: it is empty");
    }
    Handle<IWorkspaceManager> workspace;
    Handle<Core::IErrorCode> error;
    if (!VeskWorkspace_LoadFromMemory1(bytes.data(), bytes.size(), Vesk::Interfaces::ReadOnly, workspace.Out(),
                                       error.Out())) {
        // Read-only, the library cannot bring an older file up to date; say what to do about it.
        std::string reason = error ? std::string(error->GetMessage(), error->GetMessageLength()) : "unknown failure";
        try {
            if (const int64_t version = ReadVersion(path); version < kCurrentVersion) {
                reason = "it is at data-model version " + std::to_string(version) + "; run 'vesk upgrade " + path +
                         "' first";
            }
        } catch (const std::exception&) {
            // No version to read: the library's reason stands.
        }
        throw LibraryError("cannot export " + path + ": " + reason);
    }
    const auto image = ImageOf(workspace.Get());
    WriteReplacing(target, image->GetData(), image->GetByteSize());
    PrintWritten("Exported", path, target, image->GetByteSize(), line, streams.out);
    return 0;
}

int Import(const CommandLine& line, const Streams& streams) {
    const std::string& source = line.positional[0];
    const std::string& path = line.positional[1];
    RequireFreeTarget(path, line);
    const std::vector<char> bytes = ReadBytes(source);
    // A writable mode lets the library bring an image of an older data model up to date as it opens it.
    auto workspace = OpenImage(bytes, Vesk::Interfaces::ReadWrite, source);
    // The library makes a workspace of any SQLite database it is given; one that had no workspace record is
    // someone else's database, not a workspace image.
    if (!ImageHasWorkspaceRecord(bytes)) {
        throw LibraryError(source + " is not a workspace image: it is an SQLite database without a workspace record");
    }
    const auto image = ImageOf(workspace.Get());
    WriteReplacing(path, image->GetData(), image->GetByteSize());
    PrintWritten("Imported", source, path, image->GetByteSize(), line, streams.out);
    return 0;
}

}  // namespace

std::vector<Command> TransferCommands() {
    return {
        {"export",
         "PATH OUT [--force] [--json]",
         "Writes the memory image of the workspace file PATH (opened read-only) to the file OUT, which 'vesk import'\n"
         "and the library's loading from memory open. OUT is written whole or not at all.\n"
         "  --force   replace OUT when it exists (default: refuse)\n"
         "  --json    print {\"path\": OUT, \"bytes\": N}\n"
         "example:\n  vesk export ~/VeskWorkspaces/Demo/workspace.veskdb demo.image\n",
         2,
         {},
         {"--force", "--json"},
         Export},
        {"import",
         "IMAGE PATH [--force] [--json]",
         "Makes the workspace file PATH from the memory image in the file IMAGE, bringing an image of an older data\n"
         "model up to date. A file that is not a workspace image is refused. PATH is written whole or not at all.\n"
         "  --force   replace PATH when it exists (default: refuse)\n"
         "  --json    print {\"path\": PATH, \"bytes\": N}\n"
         "example:\n  vesk import demo.image ~/VeskWorkspaces/Copy/workspace.veskdb\n",
         2,
         {},
         {"--force", "--json"},
         Import},
    };
}

}  // namespace VeskTool
