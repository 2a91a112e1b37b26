#include "Commands.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <ostream>
#include <stdexcept>

#include "Handle.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace.h"
#include "WorkspaceStatistics.h"

namespace VeskTool {
namespace {

using Vesk::Interfaces::IWorkspaceManager;

constexpr const char* kUsage =
    "usage:\n"
    "  vesk create PATH [--uuid UUID]   create a workspace file (or open the existing one)\n"
    "  vesk info PATH [--json]          print a workspace's name, UUID, version, folder and row counts\n";

// A failure the library reported: its message goes to the user as it stands.
struct LibraryError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void ThrowIfFailed(bool ok, Handle<Core::IErrorCode>& error, const char* what) {
    if (ok) {
        return;
    }
    throw LibraryError(error ? std::string(error->GetMessage(), error->GetMessageLength()) : std::string(what));
}

std::string TextOf(Data::Interfaces::IString* text) {
    return std::string(text->GetText(), text->GetLength());
}

Data::Structures::_UUID ParseUuid(const std::string& text) {
    Data::Structures::_UUID uuid{};
    Handle<Core::IErrorCode> error;
    ThrowIfFailed(Data_UuidFromString(text.c_str(), &uuid, error.Out()), error, "Invalid UUID");
    return uuid;
}

std::string UuidText(const Data::Structures::_UUID& uuid) {
    Handle<Data::Interfaces::IString> text;
    if (!Data_UuidToString(&uuid, text.Out())) {
        throw LibraryError("UUID could not be converted to text");
    }
    return TextOf(text.Get());
}

Handle<IWorkspaceManager> Open(const std::string& path, const Data::Structures::_UUID& uuid, int mode) {
    Handle<IWorkspaceManager> workspace;
    Handle<Core::IErrorCode> error;
    ThrowIfFailed(VeskWorkspace_CreateOnFilesystem(&uuid, path.c_str(), mode, workspace.Out(), error.Out()), error,
                  "The workspace could not be opened");
    return workspace;
}

template <class Getter>
std::string ReadText(Getter getter) {
    Handle<Data::Interfaces::IString> text;
    Handle<Core::IErrorCode> error;
    ThrowIfFailed(getter(text.Out(), error.Out()), error, "The workspace could not be read");
    return TextOf(text.Get());
}

struct WorkspaceInfo {
    std::string name;
    std::string uuid;
    std::string folder;
    WorkspaceStatistics statistics;
};

WorkspaceInfo ReadInfo(const std::string& path) {
    Handle<IWorkspaceManager> workspace = Open(path, Data::Structures::_UUID{}, Vesk::Interfaces::ReadOnly);
    WorkspaceInfo info;
    info.name = ReadText([&](auto** out, auto** e) { return workspace->GetName(out, e); });
    info.folder = ReadText([&](auto** out, auto** e) { return workspace->GetFolderPath(out, e); });
    Data::Structures::_UUID uuid{};
    Handle<Core::IErrorCode> error;
    ThrowIfFailed(workspace->GetUuid(&uuid, error.Out()), error, "The workspace could not be read");
    info.uuid = UuidText(uuid);
    workspace.Reset();
    info.statistics = ReadStatistics(path);
    return info;
}

void PrintText(const WorkspaceInfo& info, std::ostream& out) {
    out << "Name:    " << info.name << "\n"
        << "UUID:    " << info.uuid << "\n"
        << "Version: " << info.statistics.version << "\n"
        << "Folder:  " << info.folder << "\n"
        << "Rows:\n";
    for (const auto& [table, count] : info.statistics.rowCounts) {
        out << "  " << table << ": " << count << "\n";
    }
}

void PrintJson(const WorkspaceInfo& info, std::ostream& out) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    writer.Key("name");
    writer.String(info.name.c_str(), static_cast<rapidjson::SizeType>(info.name.size()));
    writer.Key("uuid");
    writer.String(info.uuid.c_str());
    writer.Key("version");
    writer.Int64(info.statistics.version);
    writer.Key("folder");
    writer.String(info.folder.c_str(), static_cast<rapidjson::SizeType>(info.folder.size()));
    writer.Key("rows");
    writer.StartObject();
    for (const auto& [table, count] : info.statistics.rowCounts) {
        writer.Key(table.c_str());
        writer.Int64(count);
    }
    writer.EndObject();
    writer.EndObject();
    out << buffer.GetString() << "\n";
}

int Create(const std::vector<std::string>& arguments, std::ostream& out) {
    if (arguments.size() != 2 && !(arguments.size() == 4 && arguments[2] == "--uuid")) {
        throw UsageError("create takes a path and optionally --uuid UUID");
    }
    Data::Structures::_UUID uuid{};
    if (arguments.size() == 4) {
        uuid = ParseUuid(arguments[3]);
    } else if (!Data_NewUuid(&uuid)) {
        throw LibraryError("A UUID could not be made");
    }
    Handle<IWorkspaceManager> workspace = Open(arguments[1], uuid, Vesk::Interfaces::ReadWrite);
    out << "Workspace ready: " << arguments[1] << "\n";
    return 0;
}

int Info(const std::vector<std::string>& arguments, std::ostream& out) {
    const bool json = arguments.size() == 3 && arguments[2] == "--json";
    if (arguments.size() != 2 && !json) {
        throw UsageError("info takes a path and optionally --json");
    }
    const WorkspaceInfo info = ReadInfo(arguments[1]);
    json ? PrintJson(info, out) : PrintText(info, out);
    return 0;
}

}  // namespace

int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    try {
        if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "help") {
            (arguments.empty() ? err : out) << kUsage;
            return arguments.empty() ? 2 : 0;
        }
        if (arguments[0] == "create") {
            return Create(arguments, out);
        }
        if (arguments[0] == "info") {
            return Info(arguments, out);
        }
        throw UsageError("unknown command '" + arguments[0] + "'");
    } catch (const UsageError& e) {
        err << "vesk: " << e.what() << "\n" << kUsage;
        return 2;
    } catch (const std::exception& e) {
        err << "vesk: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace VeskTool
