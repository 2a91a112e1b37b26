#include "Listing.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <set>

#include "EnumNames.h"
#include "JsonText.h"
#include "Library.h"
#include "WorkspaceStatistics.h"

namespace VeskTool {
namespace {

namespace DI = Data::Interfaces;
using namespace Vesk::Interfaces;

// The object's properties; a set the library cannot read (a secure value stored under another secret)
// shows as one entry with the library's reason, so that the rest of the workspace is still listed.
ShownProperties PropertiesOf(IWorkspaceObject* object) {
    Handle<DI::IProperties> set;
    Handle<Core::IErrorCode> error;
    if (!object->GetProperties(set.Out(), error.Out())) {
        ShownValue reason;
        reason.kind = ShownValue::Text;
        reason.text = error ? std::string(error->GetMessage(), error->GetMessageLength()) : "unknown failure";
        return {{"(unreadable properties)", reason}};
    }
    return ShowProperties(set.Get());
}

std::string ObjectName(IWorkspaceObject* object) {
    return ReadText([&](auto** out, auto** e) { return object->GetName(out, e); });
}

Handle<DI::IObjectList> List(const auto& operation) {
    Handle<DI::IObjectList> list;
    Call([&](Core::IErrorCode** e) { return operation(list.Out(), e); }, "The workspace could not be read");
    return list;
}

ListedDataSource ReadDataSource(IWorkspaceManager* workspace, IWorkspaceDataSource* source) {
    const Data::Structures::_UUID uuid = UuidValueOf(source);
    ListedDataSource listed{UuidText(uuid),
                            ObjectName(source),
                            NameOf(EnumNames::kDataSourceTypes, source->GetType()),
                            PropertiesOf(source),
                            {}};
    const auto datasets = List(
        [&](DI::IObjectList** out, Core::IErrorCode** e) { return workspace->GetDatasetsOfDataSource(&uuid, out, e); });
    for (uint64_t i = 0; i < datasets->GetCount(); ++i) {
        const auto dataset = ItemAs<IWorkspaceDataset>(datasets.Get(), i);
        listed.datasets.push_back({UuidOf(dataset.Get()), ObjectName(dataset.Get()),
                                   NameOf(EnumNames::kDatasetTypes, dataset->GetDatasetType()),
                                   NameOf(EnumNames::kTemporalTypes, dataset->GetTemporalType()),
                                   NameOf(EnumNames::kSpatialTypes, dataset->GetSpatialType()),
                                   PropertiesOf(dataset.Get())});
    }
    return listed;
}

// The generic objects with their parents' UUIDs (empty for none), keyed by their own.
struct FlatObject {
    ListedObject object;
    std::string parent;
};

std::vector<ListedObject> ChildrenOf(const std::string& parent, std::multimap<std::string, FlatObject*>& byParent) {
    std::vector<ListedObject> children;
    const auto [first, last] = byParent.equal_range(parent);
    std::vector<FlatObject*> found;
    for (auto it = first; it != last; ++it) {
        found.push_back(it->second);
    }
    byParent.erase(parent);
    for (FlatObject* flat : found) {
        flat->object.children = ChildrenOf(flat->object.uuid, byParent);
        children.push_back(std::move(flat->object));
    }
    std::sort(children.begin(), children.end(), [](const ListedObject& a, const ListedObject& b) {
        return std::tie(a.name, a.uuid) < std::tie(b.name, b.uuid);
    });
    return children;
}

std::vector<ListedObject> ReadObjectTree(IWorkspaceManager* workspace, const std::vector<std::string>& types) {
    std::vector<FlatObject> flat;
    for (const std::string& type : types) {
        // The library answers these two type texts with data sources and datasets, listed above already.
        if (EqualsIgnoringCase(type, "Dataset") || EqualsIgnoringCase(type, "DataSource")) {
            continue;
        }
        const auto objects = List([&](DI::IObjectList** out, Core::IErrorCode** e) {
            return workspace->GetObjectsByType(type.c_str(), out, e);
        });
        for (uint64_t i = 0; i < objects->GetCount(); ++i) {
            const auto object = ItemAs<IWorkspaceObject>(objects.Get(), i);
            Data::Structures::_UUID parent{};
            Call([&](Core::IErrorCode** e) { return object->GetParentUuid(&parent, e); },
                 "The object could not be read");
            flat.push_back({{UuidOf(object.Get()), ObjectName(object.Get()), type, PropertiesOf(object.Get()), {}},
                            IsNil(parent) ? std::string() : UuidText(parent)});
        }
    }
    // An object whose parent is not a generic object (none, or a removed one) is a root.
    std::set<std::string> uuids;
    for (const FlatObject& object : flat) {
        uuids.insert(object.object.uuid);
    }
    std::multimap<std::string, FlatObject*> byParent;
    for (FlatObject& object : flat) {
        byParent.emplace(uuids.count(object.parent) != 0 ? object.parent : std::string(), &object);
    }
    std::vector<ListedObject> roots = ChildrenOf("", byParent);
    // Objects in a circle of parents have no way up to a root: show each circle from one of its members.
    while (!byParent.empty()) {
        FlatObject* member = byParent.begin()->second;
        byParent.erase(byParent.begin());
        member->object.children = ChildrenOf(member->object.uuid, byParent);
        roots.push_back(std::move(member->object));
    }
    return roots;
}

void PrintObject(const ListedObject& object, const std::string& indent, std::ostream& out) {
    out << indent << object.name << "  [" << object.type << "]  " << object.uuid << "\n";
    PrintProperties(object.properties, indent + "    ", out);
    for (const ListedObject& child : object.children) {
        PrintObject(child, indent + "  ", out);
    }
}

void WriteMember(JsonWriter& writer, const char* key, const std::string& text) {
    writer.Key(key);
    WriteJsonText(writer, text);
}

void WriteProperties(JsonWriter& writer, const ShownProperties& properties);

void WriteValue(JsonWriter& writer, const ShownValue& value) {
    switch (value.kind) {
        case ShownValue::Null:
            writer.Null();
            break;
        case ShownValue::Integer:
            writer.Int64(value.integer);
            break;
        case ShownValue::Unsigned:
            writer.Uint64(value.unsignedInteger);
            break;
        case ShownValue::Real:
            writer.Double(value.real);
            break;
        case ShownValue::Boolean:
            writer.Bool(value.boolean);
            break;
        case ShownValue::Set:
            WriteProperties(writer, value.members);
            break;
        case ShownValue::Json:
            // Embedded as the document itself; text that is no document (which the library should never
            // hand out) stays a string so that the listing remains JSON.
            if (rapidjson::Document document; !document.Parse(value.text.c_str(), value.text.size()).HasParseError()) {
                writer.RawValue(value.text.c_str(), value.text.size(), document.GetType());
            } else {
                WriteJsonText(writer, value.text);
            }
            break;
        case ShownValue::Text:
        case ShownValue::Secret:
            WriteJsonText(writer, ShownText(value));
            break;
    }
}

void WriteProperties(JsonWriter& writer, const ShownProperties& properties) {
    writer.StartObject();
    for (const auto& [name, value] : properties) {
        writer.Key(name.c_str(), static_cast<rapidjson::SizeType>(name.size()));
        WriteValue(writer, value);
    }
    writer.EndObject();
}

void WriteObject(JsonWriter& writer, const ListedObject& object) {
    writer.StartObject();
    WriteMember(writer, "uuid", object.uuid);
    WriteMember(writer, "name", object.name);
    WriteMember(writer, "type", object.type);
    writer.Key("properties");
    WriteProperties(writer, object.properties);
    writer.Key("children");
    writer.StartArray();
    for (const ListedObject& child : object.children) {
        WriteObject(writer, child);
    }
    writer.EndArray();
    writer.EndObject();
}

}  // namespace

void PrintProperties(const ShownProperties& properties, const std::string& indent, std::ostream& out) {
    for (const auto& [name, value] : properties) {
        out << indent << name << " = " << ShownText(value) << "\n";
    }
}

std::string PropertiesJson(const ShownProperties& properties) {
    rapidjson::StringBuffer buffer;
    JsonWriter writer(buffer);
    WriteProperties(writer, properties);
    return buffer.GetString();
}

Listing ReadListing(const std::string& path) {
    RequireWorkspaceFile(path);
    const std::vector<std::string> types = ReadObjectTypes(path);
    auto workspace = OpenWorkspace(path, Data::Structures::_UUID{}, ReadOnly);
    Listing listing{ObjectName(workspace.Get()), UuidOf(workspace.Get()), {}, {}};
    const auto sources =
        List([&](DI::IObjectList** out, Core::IErrorCode** e) { return workspace->GetDataSources(out, e); });
    for (uint64_t i = 0; i < sources->GetCount(); ++i) {
        listing.dataSources.push_back(
            ReadDataSource(workspace.Get(), ItemAs<IWorkspaceDataSource>(sources.Get(), i).Get()));
    }
    listing.objects = ReadObjectTree(workspace.Get(), types);
    return listing;
}

void PrintListing(const Listing& listing, std::ostream& out) {
    out << "Workspace " << listing.name << "  " << listing.uuid << "\n";
    out << "Data sources:" << (listing.dataSources.empty() ? " (none)" : "") << "\n";
    for (const ListedDataSource& source : listing.dataSources) {
        out << "  " << source.name << "  [" << source.type << "]  " << source.uuid << "\n";
        PrintProperties(source.properties, "      ", out);
        for (const ListedDataset& dataset : source.datasets) {
            out << "    " << dataset.name << "  [" << dataset.datasetType << ", " << dataset.spatialType;
            out << (dataset.temporalType == "None" ? "" : ", " + dataset.temporalType) << "]  " << dataset.uuid << "\n";
            PrintProperties(dataset.properties, "        ", out);
        }
    }
    out << "Objects:" << (listing.objects.empty() ? " (none)" : "") << "\n";
    for (const ListedObject& object : listing.objects) {
        PrintObject(object, "  ", out);
    }
}

void PrintListingJson(const Listing& listing, std::ostream& out) {
    rapidjson::StringBuffer buffer;
    JsonWriter writer(buffer);
    writer.StartObject();
    WriteMember(writer, "name", listing.name);
    WriteMember(writer, "uuid", listing.uuid);
    writer.Key("dataSources");
    writer.StartArray();
    for (const ListedDataSource& source : listing.dataSources) {
        writer.StartObject();
        WriteMember(writer, "uuid", source.uuid);
        WriteMember(writer, "name", source.name);
        WriteMember(writer, "type", source.type);
        writer.Key("properties");
        WriteProperties(writer, source.properties);
        writer.Key("datasets");
        writer.StartArray();
        for (const ListedDataset& dataset : source.datasets) {
            writer.StartObject();
            WriteMember(writer, "uuid", dataset.uuid);
            WriteMember(writer, "name", dataset.name);
            WriteMember(writer, "datasetType", dataset.datasetType);
            WriteMember(writer, "temporalType", dataset.temporalType);
            WriteMember(writer, "spatialType", dataset.spatialType);
            writer.Key("properties");
            WriteProperties(writer, dataset.properties);
            writer.EndObject();
        }
        writer.EndArray();
        writer.EndObject();
    }
    writer.EndArray();
    writer.Key("objects");
    writer.StartArray();
    for (const ListedObject& object : listing.objects) {
        WriteObject(writer, object);
    }
    writer.EndArray();
    writer.EndObject();
    out << buffer.GetString() << "\n";
}

}  // namespace VeskTool
