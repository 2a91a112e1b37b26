// The commands that read and edit the property set of one object (the workspace itself, a data source, a
// dataset or a generic object): prop get, prop set and prop rm.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "Command.h"
#include "JsonText.h"
#include "Library.h"
#include "Listing.h"
#include "Properties.h"

namespace VeskTool {
namespace {

namespace DI = Data::Interfaces;
using Vesk::Interfaces::IWorkspaceManager;
using Vesk::Interfaces::IWorkspaceObject;

// The object that uuid names: the workspace for its own UUID, otherwise its dataset, data source or generic
// object. Throws LibraryError when the workspace has none.
Handle<IWorkspaceObject> FindObject(IWorkspaceManager* workspace, const CommandLine& line) {
    const Data::Structures::_UUID uuid = ParseUuid(line.positional[1], "UUID");
    Handle<IWorkspaceObject> object;
    const Data::Structures::_UUID own = UuidValueOf(workspace);
    if (std::memcmp(own.bytes, uuid.bytes, sizeof uuid.bytes) == 0) {
        workspace->AddReference();
        *object.Out() = workspace;
        return object;
    }
    Call([&](Core::IErrorCode** e) { return workspace->GetObject(&uuid, object.Out(), e); },
         "The object could not be read");
    if (!object) {
        throw LibraryError("no object " + line.positional[1] + " in " + line.positional[0]);
    }
    return object;
}

Handle<DI::IProperties> PropertiesOf(IWorkspaceObject* object) {
    Handle<DI::IProperties> set;
    Call([&](Core::IErrorCode** e) { return object->GetProperties(set.Out(), e); }, "The properties could not be read");
    return set;
}

// The keys after PATH and UUID, each given once.
std::vector<std::string> Keys(const CommandLine& line) {
    std::vector<std::string> keys(line.positional.begin() + 2, line.positional.end());
    for (auto key = keys.begin(); key != keys.end(); ++key) {
        if (key->empty()) {
            throw UsageError("a key is empty");
        }
        if (std::find(keys.begin(), key, *key) != key) {
            throw UsageError("the key " + *key + " is given twice");
        }
    }
    return keys;
}

std::string Joined(const std::vector<std::string>& keys) {
    std::string text;
    for (const std::string& key : keys) {
        text += (text.empty() ? "" : ", ") + key;
    }
    return text;
}

void PrintChange(const char* verb, const char* preposition, const std::vector<std::string>& keys,
                 const CommandLine& line, std::ostream& out) {
    const std::string uuid = UuidText(ParseUuid(line.positional[1], "UUID"));
    if (!line.Has("--json")) {
        out << verb << " " << Joined(keys) << " " << preposition << " " << uuid << "\n";
        return;
    }
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    writer.Key("uuid");
    writer.String(uuid.c_str());
    writer.Key("keys");
    writer.StartArray();
    for (const std::string& key : keys) {
        WriteJsonText(writer, key);
    }
    writer.EndArray();
    writer.EndObject();
    out << buffer.GetString() << "\n";
}

int Get(const CommandLine& line, const Streams& streams) {
    const std::string& path = line.positional[0];
    RequireWorkspaceFile(path);
    auto workspace = OpenWorkspace(path, Data::Structures::_UUID{}, Vesk::Interfaces::ReadOnly);
    const auto object = FindObject(workspace.Get(), line);
    ShownProperties shown = ShowProperties(PropertiesOf(object.Get()).Get());
    if (line.positional.size() == 3) {
        const std::string& key = line.positional[2];
        const auto found =
            std::find_if(shown.begin(), shown.end(), [&](const auto& property) { return property.first == key; });
        if (found == shown.end()) {
            throw LibraryError("no property " + key + " on " + line.positional[1]);
        }
        if (!line.Has("--json")) {
            streams.out << ShownText(found->second) << "\n";
            return 0;
        }
        shown = {*found};
    }
    if (line.Has("--json")) {
        streams.out << PropertiesJson(shown) << "\n";
    } else {
        PrintProperties(shown, "", streams.out);
    }
    return 0;
}

int Set(const CommandLine& line, const Streams& streams) {
    std::vector<PropertyArgument> assignments;
    for (auto text = line.positional.begin() + 2; text != line.positional.end(); ++text) {
        assignments.push_back(ParsePropertyArgument(*text));
    }
    if (const auto secure = line.Value("--secure")) {
        assignments.push_back(SecurePropertyArgument(*secure));
    }
    if (assignments.empty()) {
        throw UsageError("prop set needs KEY=VALUE or --secure KEY");
    }
    std::vector<std::string> keys;
    for (const PropertyArgument& assignment : assignments) {
        if (std::find(keys.begin(), keys.end(), assignment.name) != keys.end()) {
            throw UsageError("the key " + assignment.name + " is given twice");
        }
        keys.push_back(assignment.name);
    }
    ParseUuid(line.positional[1], "UUID");
    RequireWorkspaceFile(line.positional[0]);
    auto workspace = OpenForEditing(line.positional[0]);
    const auto object = FindObject(workspace.Get(), line);
    const auto edited = EditedProperties(PropertiesOf(object.Get()).Get(), assignments, {}, streams.in);
    Call([&](Core::IErrorCode** e) { return object->SetProperties(edited.Get(), e); },
         "The properties could not be set");
    Commit(workspace.Get());
    PrintChange("Set", "on", keys, line, streams.out);
    return 0;
}

int Remove(const CommandLine& line, const Streams& streams) {
    const std::vector<std::string> keys = Keys(line);
    ParseUuid(line.positional[1], "UUID");
    auto workspace = OpenForEditing(line.positional[0]);
    const auto object = FindObject(workspace.Get(), line);
    const auto current = PropertiesOf(object.Get());
    for (const std::string& key : keys) {
        if (!current->Contains(key.c_str())) {
            throw LibraryError("no property " + key + " on " + line.positional[1] + "; nothing was removed");
        }
    }
    const auto edited = EditedProperties(current.Get(), {}, keys, streams.in);
    Call([&](Core::IErrorCode** e) { return object->SetProperties(edited.Get(), e); },
         "The properties could not be set");
    Commit(workspace.Get());
    PrintChange("Removed", "from", keys, line, streams.out);
    return 0;
}

constexpr const char* kObjectHelp =
    "UUID names the workspace itself (its own UUID, see 'vesk info'), a data source, a dataset or a generic\n"
    "object.\n";

}  // namespace

std::vector<Command> PropertyCommands() {
    return {
        {"prop get",
         "PATH UUID [KEY] [--json]",
         std::string(
             "Prints the properties of the object UUID, one \"KEY = VALUE\" a line, or the value of KEY alone.\n") +
             kObjectHelp +
             "Secure values are shown as ***. A missing object or key fails with exit code 1.\n"
             "  --json   print the properties as one JSON object (a json value as the document itself)\n"
             "example:\n"
             "  vesk prop get ws.veskdb 0f8fad5b-d9cb-469f-a165-70867728950e\n"
             "  vesk prop get ws.veskdb 0f8fad5b-d9cb-469f-a165-70867728950e Opacity --json\n",
         2,
         {},
         {"--json"},
         Get,
         3},
        {"prop set",
         "PATH UUID [KEY[:TYPE]=VALUE]... [--secure KEY] [--json]",
         std::string("Sets properties of the object UUID in one change; its other properties stay as they are. A key\n"
                     "that exists takes the new value and type.\n") +
             kObjectHelp +
             "  KEY=VALUE          a text property\n"
             "  KEY:TYPE=VALUE     a typed property: TYPE is string, int (64-bit), double, bool (true, false),\n"
             "                     datetime (ISO 8601, such as 2026-12-06T14:30:00Z, from 1601 on), uuid or json\n"
             "                     (one JSON document)\n"
             "  --secure KEY       a secure text property whose value is the first line of standard input; it is\n"
             "                     stored encrypted with the workspace secret and shown as ***\n"
             "  --json             print {\"uuid\": ..., \"keys\": [...]}\n"
             "Keys are plain names: a dot in a key is part of its name, not a path into a nested set.\n"
             "example:\n"
             "  vesk prop set ws.veskdb OBJECT_UUID Opacity:double=0.8 Checked:datetime=2026-12-06T14:30:00Z\n"
             "  vesk prop set ws.veskdb OBJECT_UUID 'Style:json={\"color\": \"red\", \"width\": 2}'\n"
             "  printf '%s\\n' \"$PASSWORD\" | vesk prop set ws.veskdb SOURCE_UUID --secure Password\n",
         2,
         {"--secure"},
         {"--json"},
         Set,
         kAnyNumber},
        {"prop rm",
         "PATH UUID KEY... [--json]",
         std::string(
             "Removes the properties KEY... of the object UUID in one change. When one of them does not exist,\n"
             "nothing is removed and the exit code is 1.\n") +
             kObjectHelp +
             "  --json   print {\"uuid\": ..., \"keys\": [...]}\n"
             "example:\n"
             "  vesk prop rm ws.veskdb OBJECT_UUID Opacity Checked\n",
         3,
         {},
         {"--json"},
         Remove,
         kAnyNumber},
    };
}

}  // namespace VeskTool
