// The commands that create, inspect and edit a workspace file: create, info, ls, add-source, add-dataset,
// add-object, rm and upgrade.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "Command.h"
#include "EnumNames.h"
#include "JsonText.h"
#include "Library.h"
#include "Listing.h"
#include "Properties.h"
#include "WorkspaceStatistics.h"

namespace VeskTool {
namespace {

namespace DI = Data::Interfaces;
using Vesk::Interfaces::IWorkspaceManager;

constexpr const char* kPropertyHelp =
    "  --prop KEY=VALUE       a property holding the text VALUE (repeatable)\n"
    "  --prop KEY:TYPE=VALUE  a typed property: TYPE is string, int (64-bit), double, bool (true, false),\n"
    "                         datetime (ISO 8601, such as 2026-12-06T14:30:00Z), uuid or json (a document)\n"
    "  --secure-prop KEY      a secure text property whose value is the next line of standard input; it is\n"
    "                         stored encrypted with the workspace secret and listed as ***\n";

constexpr const char* kUuidJsonHelp = "  --json                 print {\"uuid\": ...}\n";

// The --prop and --secure-prop options in their order, checked.
std::vector<PropertyArgument> PropertyArguments(const CommandLine& line) {
    std::vector<PropertyArgument> properties;
    for (const auto& [option, value] : line.options) {
        if (option == "--prop") {
            properties.push_back(ParsePropertyArgument(value));
        } else if (option == "--secure-prop") {
            properties.push_back(SecurePropertyArgument(value));
        }
    }
    return properties;
}

void PrintNewUuid(const Data::Structures::_UUID& uuid, bool json, std::ostream& out) {
    const std::string text = UuidText(uuid);
    out << (json ? "{\"uuid\":\"" + text + "\"}" : text) << "\n";
}

void SetPropertiesIfAny(Vesk::Interfaces::IWorkspaceObject* object, DI::IProperties* properties) {
    if (properties->GetCount() != 0) {
        Call([&](Core::IErrorCode** e) { return object->SetProperties(properties, e); },
             "The properties could not be set");
    }
}

int Create(const CommandLine& line, const Streams& streams) {
    const auto given = line.Value("--uuid");
    const Data::Structures::_UUID uuid = given ? ParseUuid(*given, "--uuid") : NewUuid();
    RequireNewWorkspaceLocation(line.positional[0]);
    auto workspace = OpenWorkspace(line.positional[0], uuid, Vesk::Interfaces::ReadWrite);
    // An existing file keeps its own UUID, which may differ from --uuid.
    const std::string stored = UuidOf(workspace.Get());
    if (line.Has("--json")) {
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
        writer.StartObject();
        WriteJsonMember(writer, "path", line.positional[0]);
        writer.Key("uuid");
        writer.String(stored.c_str());
        writer.EndObject();
        streams.out << buffer.GetString() << "\n";
    } else {
        streams.out << "Workspace ready: " << line.positional[0] << " (" << stored << ")\n";
    }
    return 0;
}

struct WorkspaceInfo {
    std::string name;
    std::string uuid;
    std::string folder;
    WorkspaceStatistics statistics;
};

WorkspaceInfo ReadInfo(const std::string& path) {
    RequireWorkspaceFile(path);
    auto workspace = OpenWorkspace(path, Data::Structures::_UUID{}, Vesk::Interfaces::ReadOnly);
    WorkspaceInfo info;
    info.name = ReadText([&](auto** out, auto** e) { return workspace->GetName(out, e); });
    info.folder = ReadText([&](auto** out, auto** e) { return workspace->GetFolderPath(out, e); });
    info.uuid = UuidOf(workspace.Get());
    workspace.Reset();
    info.statistics = ReadStatistics(path);
    return info;
}

int Info(const CommandLine& line, const Streams& streams) {
    const WorkspaceInfo info = ReadInfo(line.positional[0]);
    if (!line.Has("--json")) {
        streams.out << "Name:    " << info.name << "\n"
                    << "UUID:    " << info.uuid << "\n"
                    << "Version: " << info.statistics.version << "\n"
                    << "Folder:  " << info.folder << "\n"
                    << "Rows:\n";
        for (const auto& [table, count] : info.statistics.rowCounts) {
            streams.out << "  " << table << ": " << count << "\n";
        }
        return 0;
    }
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    WriteJsonMember(writer, "name", info.name);
    writer.Key("uuid");
    writer.String(info.uuid.c_str());
    writer.Key("version");
    writer.Int64(info.statistics.version);
    WriteJsonMember(writer, "folder", info.folder);
    writer.Key("rows");
    writer.StartObject();
    for (const auto& [table, count] : info.statistics.rowCounts) {
        writer.Key(table.c_str());
        writer.Int64(count);
    }
    writer.EndObject();
    writer.EndObject();
    streams.out << buffer.GetString() << "\n";
    return 0;
}

int List(const CommandLine& line, const Streams& streams) {
    const Listing listing = ReadListing(line.positional[0]);
    line.Has("--json") ? PrintListingJson(listing, streams.out) : PrintListing(listing, streams.out);
    return 0;
}

int AddSource(const CommandLine& line, const Streams& streams) {
    const auto type = line.Value("--type");
    if (!type) {
        throw UsageError("add-source needs --type TYPE");
    }
    const auto kind = ValueNamed(EnumNames::kDataSourceTypes, *type, "--type");
    const auto arguments = PropertyArguments(line);
    RequireWorkspaceFile(line.positional[0]);
    const auto properties = BuildProperties(arguments, streams.in);
    auto workspace = OpenForEditing(line.positional[0]);
    const Data::Structures::_UUID uuid = NewUuid();
    Handle<Vesk::Interfaces::IWorkspaceDataSource> source;
    Call(
        [&](Core::IErrorCode** e) {
            return workspace->CreateDataSource(&uuid, line.positional[1].c_str(), static_cast<int>(kind),
                                               properties.Get(), source.Out(), e);
        },
        "The data source could not be created");
    Commit(workspace.Get());
    PrintNewUuid(uuid, line.Has("--json"), streams.out);
    return 0;
}

int AddDataset(const CommandLine& line, const Streams& streams) {
    using namespace Vesk::Interfaces;
    const Data::Structures::_UUID sourceUuid = ParseUuid(line.positional[1], "SOURCE_UUID");
    const auto spatialName = line.Value("--spatial-type");
    const SpatialType spatial =
        spatialName ? ValueNamed(EnumNames::kSpatialTypes, *spatialName, "--spatial-type") : SpatialType::None;
    // A dataset with spatial data is a spatial one unless told otherwise.
    const auto typeName = line.Value("--type");
    const DatasetType type = typeName ? ValueNamed(EnumNames::kDatasetTypes, *typeName, "--type")
                                      : (spatial == SpatialType::None ? DatasetType::Generic : DatasetType::Spatial);
    const auto arguments = PropertyArguments(line);
    RequireWorkspaceFile(line.positional[0]);
    const auto properties = BuildProperties(arguments, streams.in);
    auto workspace = OpenForEditing(line.positional[0]);
    Handle<IWorkspaceDataSource> source;
    Call([&](Core::IErrorCode** e) { return workspace->GetDataSource(&sourceUuid, source.Out(), e); },
         "The data source could not be read");
    if (!source) {
        throw LibraryError("no data source " + line.positional[1] + " in " + line.positional[0]);
    }
    const Data::Structures::_UUID uuid = NewUuid();
    Handle<IWorkspaceDataset> dataset;
    Call(
        [&](Core::IErrorCode** e) {
            return workspace->CreateDataset(source.Get(), &uuid, line.positional[2].c_str(), static_cast<int>(type),
                                            static_cast<int>(TemporalType::None), static_cast<int>(spatial), false,
                                            dataset.Out(), e);
        },
        "The dataset could not be created");
    SetPropertiesIfAny(dataset.Get(), properties.Get());
    Commit(workspace.Get());
    PrintNewUuid(uuid, line.Has("--json"), streams.out);
    return 0;
}

int AddObject(const CommandLine& line, const Streams& streams) {
    const auto type = line.Value("--type");
    if (!type || type->empty()) {
        throw UsageError("add-object needs --type TEXT");
    }
    if (EqualsIgnoringCase(*type, "Dataset") || EqualsIgnoringCase(*type, "DataSource")) {
        throw UsageError("the type " + *type + " makes no generic object; use add-source or add-dataset");
    }
    const auto parentText = line.Value("--parent");
    const std::optional<Data::Structures::_UUID> parent =
        parentText ? std::optional(ParseUuid(*parentText, "--parent")) : std::nullopt;
    const auto arguments = PropertyArguments(line);
    RequireWorkspaceFile(line.positional[0]);
    const auto properties = BuildProperties(arguments, streams.in);
    auto workspace = OpenForEditing(line.positional[0]);
    if (parent) {
        Handle<Vesk::Interfaces::IWorkspaceObject> found;
        Call([&](Core::IErrorCode** e) { return workspace->GetObject(&*parent, found.Out(), e); },
             "The parent could not be read");
        if (!found) {
            throw LibraryError("no object " + *parentText + " in " + line.positional[0]);
        }
    }
    const Data::Structures::_UUID uuid = NewUuid();
    Handle<Vesk::Interfaces::IWorkspaceObject> object;
    Call(
        [&](Core::IErrorCode** e) {
            return workspace->CreateObject(parent ? &*parent : nullptr, &uuid, line.positional[1].c_str(),
                                           type->c_str(), false, object.Out(), e);
        },
        "The object could not be created");
    SetPropertiesIfAny(object.Get(), properties.Get());
    Commit(workspace.Get());
    PrintNewUuid(uuid, line.Has("--json"), streams.out);
    return 0;
}

int Remove(const CommandLine& line, const Streams& streams) {
    const Data::Structures::_UUID uuid = ParseUuid(line.positional[1], "UUID");
    auto workspace = OpenForEditing(line.positional[0]);
    Handle<Core::IObject> found;
    Call([&](Core::IErrorCode** e) { return workspace->GetObjectAsIObject(&uuid, found.Out(), e); },
         "The workspace could not be read");
    if (!found) {
        throw LibraryError("no data source, dataset or object " + UuidText(uuid) + " in " + line.positional[0]);
    }
    Call([&](Core::IErrorCode** e) { return workspace->RemoveObject(&uuid, e); }, "The object could not be removed");
    Commit(workspace.Get());
    streams.out << "Removed " << UuidText(uuid) << "\n";
    return 0;
}

int Upgrade(const CommandLine& line, const Streams& streams) {
    const std::string& path = line.positional[0];
    RequireWorkspaceFile(path);
    // The library upgrades as it opens and says nothing of where it started, so the file tells us first.
    const int64_t before = ReadVersion(path);
    OpenWorkspace(path, Data::Structures::_UUID{}, Vesk::Interfaces::ReadWrite).Reset();
    const int64_t after = ReadVersion(path);
    if (line.Has("--json")) {
        streams.out << "{\"from\":" << before << ",\"to\":" << after
                    << ",\"upgraded\":" << (before != after ? "true" : "false") << "}\n";
    } else if (before != after) {
        streams.out << "Upgraded " << path << " from version " << before << " to version " << after << "\n";
    } else {
        streams.out << path << " is at version " << after << " already; nothing to upgrade\n";
    }
    return 0;
}

}  // namespace

std::vector<Command> WorkspaceCommands() {
    return {
        {"create",
         "PATH [--uuid UUID] [--json]",
         "Creates a workspace file, or opens the existing one (which keeps its own UUID and is upgraded when an\n"
         "older version wrote it), and prints its UUID.\n"
         "  --uuid UUID   the new workspace's UUID (default: a random one)\n"
         "  --json        print {\"path\": ..., \"uuid\": ...}\n"
         "example:\n  vesk create ~/VeskWorkspaces/Demo/workspace.veskdb\n",
         1,
         {"--uuid"},
         {"--json"},
         Create},
        {"info",
         "PATH [--json]",
         "Prints a workspace's name, UUID, data-model version, folder and the row count of each table.\n"
         "example:\n  vesk info ~/VeskWorkspaces/Demo/workspace.veskdb --json\n",
         1,
         {},
         {"--json"},
         Info},
        {"ls",
         "PATH [--json]",
         "Lists the data sources with their datasets, and the generic objects as a tree by parent, each with its\n"
         "properties. Secure values are shown as ***.\n"
         "example:\n  vesk ls ~/VeskWorkspaces/Demo/workspace.veskdb\n",
         1,
         {},
         {"--json"},
         List},
        {"add-source",
         "PATH NAME --type TYPE [--prop KEY=VALUE]... [--secure-prop KEY]... [--json]",
         "Adds a data source and prints its new UUID.\n"
         "  --type TYPE            how its data is reached: None, Custom, InlineJson, InlineGeoJson, InlineSqlite,\n"
         "                         InlineCsv, InlineTiff, InlineGeopackage, InlineText, InlineBlob, Memory,\n"
         "                         FilePath, FolderPath, Database, SimpleUrl, ODataApi, ArcGisMapService,\n"
         "                         ArcGisFeatureService, TileMapService, WebCoverageService, WebMapService,\n"
         "                         WebMapTileService, WebFeatureService or RuntimeExtension\n" +
             std::string(kPropertyHelp) + kUuidJsonHelp +
             "example:\n"
             "  vesk add-source ws.veskdb Roads --type FilePath --prop Path=/data/roads.gpkg --prop Layers:int=3\n"
             "  printf '%s\\n' \"$PASSWORD\" | vesk add-source ws.veskdb Warehouse --type Database \\\n"
             "      --prop Host=db.example.org --secure-prop Password\n",
         2,
         {"--type", "--prop", "--secure-prop"},
         {"--json"},
         AddSource},
        {"add-dataset",
         "PATH SOURCE_UUID NAME [--type T] [--spatial-type S] [--prop KEY=VALUE]... [--json]",
         "Adds a dataset to the data source SOURCE_UUID and prints its new UUID.\n"
         "  --type T               Generic, Table, Spatial or BaseMap (default: Spatial when --spatial-type\n"
         "                         names spatial data, otherwise Generic)\n"
         "  --spatial-type S       None, Shape, Raster, PointCloud or Lidar (default None)\n" +
             std::string(kPropertyHelp) + kUuidJsonHelp +
             "example:\n"
             "  vesk add-dataset ws.veskdb SOURCE_UUID Motorways --spatial-type Shape --prop Opacity:double=0.8\n",
         3,
         {"--type", "--spatial-type", "--prop", "--secure-prop"},
         {"--json"},
         AddDataset},
        {"add-object",
         "PATH NAME --type TEXT [--parent UUID] [--prop KEY=VALUE]... [--json]",
         "Adds a generic object and prints its new UUID.\n"
         "  --type TEXT            the object's type, any text but Dataset and DataSource\n"
         "  --parent UUID          the generic object it belongs under (default: none, a root)\n" +
             std::string(kPropertyHelp) + kUuidJsonHelp +
             "example:\n"
             "  vesk add-object ws.veskdb \"Main map\" --type Map --prop Visible:bool=true\n"
             "  vesk add-object ws.veskdb Legend --type MapElement --parent MAP_UUID\n",
         2,
         {"--type", "--parent", "--prop", "--secure-prop"},
         {"--json"},
         AddObject},
        {"rm",
         "PATH UUID",
         "Removes a data source (with its datasets), a dataset or a generic object (with all its descendants),\n"
         "each with its properties.\n"
         "example:\n  vesk rm ~/VeskWorkspaces/Demo/workspace.veskdb 0f8fad5b-d9cb-469f-a165-70867728950e\n",
         2,
         {},
         {},
         Remove},
        {"upgrade",
         "PATH [--json]",
         "Opens the workspace for writing, which brings an older file to the current data model, and prints from\n"
         "which version to which.\n"
         "example:\n  vesk upgrade old.veskdb\n",
         1,
         {},
         {"--json"},
         Upgrade}};
}

}  // namespace VeskTool
