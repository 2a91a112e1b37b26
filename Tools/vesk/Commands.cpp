#include "Commands.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <istream>
#include <optional>
#include <ostream>
#include <utility>

#include "EnumNames.h"
#include "Library.h"
#include "Listing.h"
#include "Properties.h"
#include "Remotes.h"
#include "Sync.h"
#include "WorkspaceStatistics.h"

namespace VeskTool {
namespace {

namespace DI = Data::Interfaces;
using Vesk::Interfaces::IWorkspaceManager;

constexpr const char* kPropertyHelp =
    "  --prop KEY=VALUE       a property holding the text VALUE (repeatable)\n"
    "  --prop KEY:TYPE=VALUE  a typed property: TYPE is string, int (64-bit), double or bool (true, false)\n"
    "  --secure-prop KEY      a secure text property whose value is the next line of standard input; it is\n"
    "                         stored encrypted with the workspace secret and listed as ***\n";

// One command line after its command name: the positional arguments, and the options in their order.
struct CommandLine {
    std::string name;  // the command's name, "sync reload" for a grouped one
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;  // (option, value); flags have an empty value

    bool Has(const std::string& option) const {
        return std::any_of(options.begin(), options.end(), [&](const auto& o) { return o.first == option; });
    }
    std::optional<std::string> Value(const std::string& option) const {
        for (const auto& [name, value] : options) {
            if (name == option) {
                return value;
            }
        }
        return std::nullopt;
    }
};

struct Command {
    const char* name;
    const char* usage;  // the arguments after "vesk NAME"
    const char* help;   // what it does, its options and an example
    size_t positionals;
    std::vector<std::string> valueOptions;
    std::vector<std::string> flags;
    int (*run)(const CommandLine&, std::istream&, std::ostream&);
};

// Options that may be given more than once.
bool Repeatable(const std::string& option) {
    return option == "--prop" || option == "--secure-prop";
}

CommandLine Parse(const Command& command, const std::vector<std::string>& arguments) {
    CommandLine line;
    line.name = command.name;
    auto known = [](const std::vector<std::string>& list, const std::string& option) {
        return std::find(list.begin(), list.end(), option) != list.end();
    };
    bool optionsEnded = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--" && !optionsEnded) {
            optionsEnded = true;  // what follows is positional even when it starts with --
            continue;
        }
        if (optionsEnded || argument.size() < 3 || argument.rfind("--", 0) != 0) {
            line.positional.push_back(argument);
            continue;
        }
        const bool takesValue = known(command.valueOptions, argument);
        if (!takesValue && !known(command.flags, argument)) {
            throw UsageError("unknown option " + argument);
        }
        if (line.Has(argument) && !Repeatable(argument)) {
            throw UsageError("option " + argument + " is given twice");
        }
        if (takesValue && i + 1 == arguments.size()) {
            throw UsageError("option " + argument + " needs a value");
        }
        line.options.emplace_back(argument, takesValue ? arguments[++i] : std::string());
    }
    if (line.positional.size() != command.positionals) {
        throw UsageError(std::string(command.name) + " takes " + std::to_string(command.positionals) +
                         " argument(s), not " + std::to_string(line.positional.size()));
    }
    return line;
}

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

Data::Structures::_UUID NewUuid() {
    Data::Structures::_UUID uuid{};
    if (!Data_NewUuid(&uuid)) {
        throw LibraryError("A UUID could not be made");
    }
    return uuid;
}

// Opens an existing workspace file for writing with a transaction open, so that a command's changes reach
// the file together at Commit or not at all.
Handle<IWorkspaceManager> OpenForEditing(const std::string& path) {
    RequireWorkspaceFile(path);
    auto workspace = OpenWorkspace(path, Data::Structures::_UUID{}, Vesk::Interfaces::ReadWrite);
    Call([&](Core::IErrorCode** e) { return workspace->BeginTransaction(e); }, "The transaction could not begin");
    return workspace;
}

void Commit(IWorkspaceManager* workspace) {
    Call([&](Core::IErrorCode** e) { return workspace->Save(e); }, "The workspace could not be saved");
}

void SetPropertiesIfAny(Vesk::Interfaces::IWorkspaceObject* object, DI::IProperties* properties) {
    if (properties->GetCount() != 0) {
        Call([&](Core::IErrorCode** e) { return object->SetProperties(properties, e); },
             "The properties could not be set");
    }
}

int Create(const CommandLine& line, std::istream&, std::ostream& out) {
    const auto given = line.Value("--uuid");
    const Data::Structures::_UUID uuid = given ? ParseUuid(*given, "--uuid") : NewUuid();
    auto workspace = OpenWorkspace(line.positional[0], uuid, Vesk::Interfaces::ReadWrite);
    out << "Workspace ready: " << line.positional[0] << "\n";
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

int Info(const CommandLine& line, std::istream&, std::ostream& out) {
    const WorkspaceInfo info = ReadInfo(line.positional[0]);
    if (!line.Has("--json")) {
        out << "Name:    " << info.name << "\n"
            << "UUID:    " << info.uuid << "\n"
            << "Version: " << info.statistics.version << "\n"
            << "Folder:  " << info.folder << "\n"
            << "Rows:\n";
        for (const auto& [table, count] : info.statistics.rowCounts) {
            out << "  " << table << ": " << count << "\n";
        }
        return 0;
    }
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
    return 0;
}

int List(const CommandLine& line, std::istream&, std::ostream& out) {
    const Listing listing = ReadListing(line.positional[0]);
    line.Has("--json") ? PrintListingJson(listing, out) : PrintListing(listing, out);
    return 0;
}

int AddSource(const CommandLine& line, std::istream& in, std::ostream& out) {
    const auto type = line.Value("--type");
    if (!type) {
        throw UsageError("add-source needs --type TYPE");
    }
    const auto kind = ValueNamed(EnumNames::kDataSourceTypes, *type, "--type");
    const auto arguments = PropertyArguments(line);
    RequireWorkspaceFile(line.positional[0]);
    const auto properties = BuildProperties(arguments, in);
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
    PrintNewUuid(uuid, line.Has("--json"), out);
    return 0;
}

int AddDataset(const CommandLine& line, std::istream& in, std::ostream& out) {
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
    const auto properties = BuildProperties(arguments, in);
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
    PrintNewUuid(uuid, line.Has("--json"), out);
    return 0;
}

int AddObject(const CommandLine& line, std::istream& in, std::ostream& out) {
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
    const auto properties = BuildProperties(arguments, in);
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
    PrintNewUuid(uuid, line.Has("--json"), out);
    return 0;
}

int Remove(const CommandLine& line, std::istream&, std::ostream& out) {
    const Data::Structures::_UUID uuid = ParseUuid(line.positional[1], "UUID");
    auto workspace = OpenForEditing(line.positional[0]);
    Call([&](Core::IErrorCode** e) { return workspace->RemoveObject(&uuid, e); }, "The object could not be removed");
    Commit(workspace.Get());
    out << "Removed " << UuidText(uuid) << "\n";
    return 0;
}

int Upgrade(const CommandLine& line, std::istream&, std::ostream& out) {
    const std::string& path = line.positional[0];
    RequireWorkspaceFile(path);
    // The library upgrades as it opens and says nothing of where it started, so the file tells us first.
    const int64_t before = ReadVersion(path);
    OpenWorkspace(path, Data::Structures::_UUID{}, Vesk::Interfaces::ReadWrite).Reset();
    const int64_t after = ReadVersion(path);
    if (line.Has("--json")) {
        out << "{\"from\":" << before << ",\"to\":" << after << ",\"upgraded\":" << (before != after ? "true" : "false")
            << "}\n";
    } else if (before != after) {
        out << "Upgraded " << path << " from version " << before << " to version " << after << "\n";
    } else {
        out << path << " is at version " << after << " already; nothing to upgrade\n";
    }
    return 0;
}

void WriteJsonText(rapidjson::Writer<rapidjson::StringBuffer>& writer, const std::string& text) {
    writer.String(text.c_str(), static_cast<rapidjson::SizeType>(text.size()));
}

int RemoteAdd(const CommandLine& line, std::istream& in, std::ostream& out) {
    std::optional<std::string> key;
    if (line.Has("--api-key-stdin")) {
        // Read from standard input only: a key on the command line would show in the process list and
        // the shell's history.
        std::string text;
        if (!std::getline(in, text)) {
            throw UsageError("--api-key-stdin given, but standard input holds no line");
        }
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        if (text.empty()) {
            throw UsageError("the API key on standard input is empty");
        }
        key = std::move(text);
    }
    const std::string& alias = line.positional[0];
    const std::string& url = line.positional[1];
    if (alias.empty() || url.empty()) {
        throw UsageError("ALIAS and URL must not be empty");
    }
    AddRemote(alias, url, key);
    out << "Remote " << alias << ": " << url << (key ? " (API key stored)" : "") << "\n";
    return 0;
}

int RemoteList(const CommandLine& line, std::istream&, std::ostream& out) {
    const std::vector<RemoteEntry> remotes = ListRemotes();
    if (!line.Has("--json")) {
        for (const RemoteEntry& remote : remotes) {
            out << remote.alias << "\t" << remote.url << "\n";
        }
        return 0;
    }
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartArray();
    for (const RemoteEntry& remote : remotes) {
        writer.StartObject();
        writer.Key("alias");
        WriteJsonText(writer, remote.alias);
        writer.Key("url");
        WriteJsonText(writer, remote.url);
        writer.EndObject();
    }
    writer.EndArray();
    out << buffer.GetString() << "\n";
    return 0;
}

int RemoteRemove(const CommandLine& line, std::istream&, std::ostream& out) {
    if (!RemoveRemote(line.positional[0])) {
        throw LibraryError("no remote named " + line.positional[0]);
    }
    out << "Removed remote " << line.positional[0] << "\n";
    return 0;
}

int RemoteHealthCommand(const CommandLine& line, std::istream&, std::ostream& out) {
    return RemoteHealth(line.positional[0], line.Has("--json"), out);
}

int RemoteWorkspacesCommand(const CommandLine& line, std::istream&, std::ostream& out) {
    return RemoteWorkspaces(line.positional[0], line.Has("--json"), out);
}

constexpr const char* kSyncUsage = "ALIAS UUID [--cache DIR] [--json]";

int SyncCommand(const CommandLine& line, std::istream&, std::ostream& out) {
    return SyncWorkspace(line.name.substr(5), line.positional[0], line.positional[1],
                         line.Value("--cache").value_or(""), line.Has("--json"), out);
}

int RemoteClear(const CommandLine&, std::istream&, std::ostream& out) {
    ClearRemotes();
    out << "Removed every remote\n";
    return 0;
}

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"create",
         "PATH [--uuid UUID]",
         "Creates a workspace file, or opens the existing one (which keeps its own UUID and is upgraded when an\n"
         "older version wrote it).\n"
         "  --uuid UUID   the new workspace's UUID (default: a random one)\n"
         "example:\n  vesk create ~/VeskWorkspaces/Demo/workspace.veskdb\n",
         1,
         {"--uuid"},
         {},
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
         "                         WebMapTileService, WebFeatureService or RuntimeExtension\n",
         2,
         {"--type", "--prop", "--secure-prop"},
         {"--json"},
         AddSource},
        {"add-dataset",
         "PATH SOURCE_UUID NAME [--type T] [--spatial-type S] [--prop KEY=VALUE]... [--json]",
         "Adds a dataset to the data source SOURCE_UUID and prints its new UUID.\n"
         "  --type T               Generic, Table, Spatial or BaseMap (default: Spatial when --spatial-type\n"
         "                         names spatial data, otherwise Generic)\n"
         "  --spatial-type S       None, Shape, Raster, PointCloud or Lidar (default None)\n",
         3,
         {"--type", "--spatial-type", "--prop", "--secure-prop"},
         {"--json"},
         AddDataset},
        {"add-object",
         "PATH NAME --type TEXT [--parent UUID] [--prop KEY=VALUE]... [--json]",
         "Adds a generic object and prints its new UUID.\n"
         "  --type TEXT            the object's type, any text but Dataset and DataSource\n"
         "  --parent UUID          the generic object it belongs under (default: none, a root)\n",
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
        {"remote add",
         "ALIAS URL [--api-key-stdin]",
         "Adds a workspace server to your list of remotes, or gives the remote ALIAS a new URL.\n"
         "  --api-key-stdin   store the first line of standard input as the server's API key, in the system's\n"
         "                    credential store (never on the command line, never in a file)\n"
         "example:\n  printf '%s\\n' \"$KEY\" | vesk remote add prod https://ws.example.org/api/ws --api-key-stdin\n",
         2,
         {},
         {"--api-key-stdin"},
         RemoteAdd},
        {"remote ls",
         "[--json]",
         "Lists your remotes, one per line: alias, a tab, URL. Keys are not shown.\n"
         "  --json   print [{\"alias\": ..., \"url\": ...}, ...]\n",
         0,
         {},
         {"--json"},
         RemoteList},
        {"remote rm",
         "ALIAS",
         "Removes the remote ALIAS and its stored API key.\nexample:\n  vesk remote rm prod\n",
         1,
         {},
         {},
         RemoteRemove},
        {"remote clear", "", "Removes every remote and their stored API keys.\n", 0, {}, {}, RemoteClear},
        {"remote health",
         "ALIAS [--json]",
         "Asks the server ALIAS whether it answers (its health check) and prints the HTTP status.\n"
         "example:\n  vesk remote health prod\n",
         1,
         {},
         {"--json"},
         RemoteHealthCommand},
        {"remote workspaces",
         "ALIAS [--json]",
         "Lists the workspaces on the server ALIAS: UUID, name and description.\n"
         "example:\n  vesk remote workspaces prod\n",
         1,
         {},
         {"--json"},
         RemoteWorkspacesCommand},
        {"sync status",
         kSyncUsage,
         "Says whether the cached copy of workspace UUID on the server ALIAS has changes of its own, and whether\n"
         "the server's copy changed since they were last synchronised.\n",
         2,
         {"--cache"},
         {"--json"},
         SyncCommand},
        {"sync reload",
         kSyncUsage,
         "Downloads the server's copy into the cache unless the cache has it already; refused while the cached\n"
         "copy has changes of its own (store or discard them first).\n",
         2,
         {"--cache"},
         {"--json"},
         SyncCommand},
        {"sync store",
         kSyncUsage,
         "Uploads the cached copy; refused when it has no changes, or when the server's copy changed since the\n"
         "last synchronisation (nothing is overwritten: discard, reload and redo the change).\n",
         2,
         {"--cache"},
         {"--json"},
         SyncCommand},
        {"sync discard",
         kSyncUsage,
         "Throws the cached copy and its synchronisation record away.\n",
         2,
         {"--cache"},
         {"--json"},
         SyncCommand},
        {"upgrade",
         "PATH [--json]",
         "Opens the workspace for writing, which brings an older file to the current data model, and prints from\n"
         "which version to which.\n"
         "example:\n  vesk upgrade old.veskdb\n",
         1,
         {},
         {"--json"},
         Upgrade},
    };
    return commands;
}

// The examples of the commands that take properties follow the property options in their help.
std::string HelpOf(const Command& command) {
    const std::string usage = command.usage;
    std::string help =
        "usage: vesk " + std::string(command.name) + (usage.empty() ? "" : " " + usage) + "\n" + command.help;
    const std::string name = command.name;
    if (name == "add-source") {
        help += std::string(kPropertyHelp) + "  --json                 print {\"uuid\": ...}\nexample:\n" +
                "  vesk add-source ws.veskdb Roads --type FilePath --prop Path=/data/roads.gpkg --prop Layers:int=3\n" +
                "  printf '%s\\n' \"$PASSWORD\" | vesk add-source ws.veskdb Warehouse --type Database \\\n" +
                "      --prop Host=db.example.org --secure-prop Password\n";
    } else if (name == "add-dataset") {
        help += std::string(kPropertyHelp) + "  --json                 print {\"uuid\": ...}\nexample:\n" +
                "  vesk add-dataset ws.veskdb SOURCE_UUID Motorways --spatial-type Shape --prop Opacity:double=0.8\n";
    } else if (name.rfind("sync ", 0) == 0) {
        help +=
            "  --cache DIR            the folder that holds this server's caches (default:\n"
            "                         $XDG_CACHE_HOME/vesk/ALIAS, else ~/.cache/vesk/ALIAS); the cache is DIR/UUID\n"
            "  --json                 print the outcome as JSON\nexample:\n  vesk " +
            name + " prod 0f8fad5b-d9cb-469f-a165-70867728950e\n";
    } else if (name == "add-object") {
        help += std::string(kPropertyHelp) + "  --json                 print {\"uuid\": ...}\nexample:\n" +
                "  vesk add-object ws.veskdb \"Main map\" --type Map --prop Visible:bool=true\n" +
                "  vesk add-object ws.veskdb Legend --type MapElement --parent MAP_UUID\n";
    }
    return help;
}

std::string Overview() {
    std::string text = "usage:\n";
    for (const Command& command : Commands()) {
        const std::string usage = command.usage;
        text += "  vesk " + std::string(command.name) + (usage.empty() ? "" : " " + usage) + "\n";
    }
    return text +
           "Run 'vesk COMMAND --help' for a command's options and an example. Exit codes: 0 done, 1 refused or\n"
           "failed, 2 bad command line.\n";
}

const Command* Find(const std::string& name) {
    for (const Command& command : Commands()) {
        if (name == command.name) {
            return &command;
        }
    }
    return nullptr;
}

}  // namespace

int Run(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out, std::ostream& err) {
    // "remote" and "sync" group their subcommands: "remote add" and so on are one command name from here on.
    std::vector<std::string> words = arguments;
    const bool grouped = !words.empty() && (words[0] == "remote" || words[0] == "sync");
    if (grouped && words.size() > 1 && Find(words[0] + " " + words[1]) != nullptr) {
        words[1] = words[0] + " " + words[1];
        words.erase(words.begin());
    }
    const Command* command = words.empty() ? nullptr : Find(words[0]);
    try {
        if (!words.empty() && words[0] == "remote") {
            throw UsageError("remote takes a subcommand: add, ls, rm, clear, health or workspaces");
        }
        if (!words.empty() && words[0] == "sync") {
            throw UsageError("sync takes a subcommand: status, reload, store or discard");
        }
        if (arguments.empty()) {
            throw UsageError("no command given");
        }
        if (words[0] == "--help" || words[0] == "help") {
            const Command* topic = words.size() > 1 ? Find(words[1]) : nullptr;
            out << (topic != nullptr ? HelpOf(*topic) : Overview());
            return 0;
        }
        if (command == nullptr) {
            throw UsageError("unknown command '" + words[0] + "'");
        }
        const auto optionsEnd = std::find(words.begin() + 1, words.end(), "--");
        if (std::find(words.begin() + 1, optionsEnd, "--help") != optionsEnd) {
            out << HelpOf(*command);
            return 0;
        }
        return command->run(Parse(*command, words), in, out);
    } catch (const UsageError& e) {
        err << "vesk: " << e.what() << "\n";
        if (command != nullptr) {
            err << "usage: vesk " << command->name << " " << command->usage << "\n"
                << "Run 'vesk " << command->name << " --help' for more.\n";
        } else {
            err << Overview();
        }
        return 2;
    } catch (const std::exception& e) {
        err << "vesk: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace VeskTool
