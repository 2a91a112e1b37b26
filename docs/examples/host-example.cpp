// A host application of the workspace library, start to end: it creates a workspace in the folder given as
// its argument, adds a data source with properties (one of them secure), a dataset and a tree of generic
// objects, reads them back from the file, shows the error object of a call that fails on purpose, and
// serialises the workspace to a memory image that it opens again. It prints what it does and exits with 0
// when every step worked, 1 when one failed, 2 for a bad command line.
//
//   host-example FOLDER
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace.h"

namespace {

namespace DI = Data::Interfaces;
namespace DS = Data::Structures;
namespace VI = Vesk::Interfaces;

// Owns the one reference that an operation hands out, and releases it when it goes.
template <class T>
class Ref {
public:
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Reset(); }
    // The out-pointer for an operation; it points to null, as the operations require.
    T** Out() {
        Reset();
        return &object_;
    }
    T* Get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    void Reset() {
        if (object_ != nullptr) {
            object_->Release();
            object_ = nullptr;
        }
    }

private:
    T* object_ = nullptr;
};

// A value record that releases what it holds.
struct Value {
    DS::_VARIANT raw{};
    Value() { raw.type = DS::VT_Null; }
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;
    ~Value() { DS::VariantClear(&raw); }
};

// Prints the error object of a failed call and says the step failed.
bool Failed(const char* step, Ref<Core::IErrorCode>& error) {
    std::fprintf(stderr, "%s failed: %s\n", step, error ? error->GetMessage() : "(no error object)");
    return false;
}

std::string TextOf(DI::IString* text) {
    return std::string(text->GetText(), text->GetLength());
}

std::string UuidText(const DS::_UUID& uuid) {
    Ref<DI::IString> text;
    return Data_UuidToString(&uuid, text.Out()) ? TextOf(text.Get()) : std::string("?");
}

DS::_UUID NewUuid() {
    DS::_UUID uuid{};
    Data_NewUuid(&uuid);
    return uuid;
}

// Registers a property and sets its value; the set keeps its own copy of the value.
bool AddProperty(DI::IProperties* set, const char* name, const char* interfaceType, const Value& value) {
    Ref<Core::IErrorCode> error;
    if (!set->Register("", name, "", interfaceType, "", DS::VariantTypeCode(value.raw), false, error.Out())) {
        return Failed("Register", error);
    }
    if (!set->SetValue(name, &value.raw, error.Out())) {
        return Failed("SetValue", error);
    }
    return true;
}

bool AddText(DI::IProperties* set, const char* name, const char* text) {
    Value value;
    DI::IString* string = nullptr;
    if (!Data_CreateString(&string)) {
        return false;
    }
    value.raw.type = uint32_t{DS::VT_String} | DS::VF_Reference;  // the record owns the string's reference
    value.raw.object = string;
    Ref<Core::IErrorCode> error;
    if (!string->Set(text, std::strlen(text), error.Out())) {
        return Failed("IString::Set", error);
    }
    return AddProperty(set, name, "", value);
}

bool AddInteger(DI::IProperties* set, const char* name, int64_t number) {
    Value value;
    value.raw.type = DS::VT_Int64;
    value.raw.i64 = number;
    return AddProperty(set, name, "", value);
}

// A secure text is an ISecureString held as an object; the interface type tells the workspace to store it
// encrypted with its secret.
bool AddSecureText(DI::IProperties* set, const char* name, const char* text) {
    Value value;
    DI::ISecureString* secure = nullptr;
    Ref<Core::IErrorCode> error;
    if (!Data_CreateSecureString(&secure, text, std::strlen(text), error.Out())) {
        return Failed("Data_CreateSecureString", error);
    }
    value.raw.type = uint32_t{DS::VT_IObject} | DS::VF_Reference;
    value.raw.object = secure;
    return AddProperty(set, name, "Data::ISecureString", value);
}

// One property's value as text; a secure value is shown by its length only.
std::string ShownValue(DI::IProperty* property) {
    Value value;
    property->GetValue(&value.raw);
    switch (DS::VariantTypeCode(value.raw)) {
        case DS::VT_Int64:
            return std::to_string(value.raw.i64);
        case DS::VT_String:
            if (DS::VariantFormOf(value.raw) == DS::VF_Inline) {
                return std::string(value.raw.text, strnlen(value.raw.text, sizeof value.raw.text));
            }
            if (auto* string = dynamic_cast<DI::IString*>(value.raw.object)) {
                return TextOf(string);
            }
            return "";
        case DS::VT_IObject: {
            auto* secure = dynamic_cast<DI::ISecureString*>(value.raw.object);
            return secure != nullptr ? "(secure, " + std::to_string(secure->GetLength()) + " characters)"
                                     : std::string("(object)");
        }
        default:
            return "(value of type " + std::to_string(DS::VariantTypeCode(value.raw)) + ")";
    }
}

bool PrintProperties(VI::IWorkspaceObject* object, const char* indent) {
    Ref<DI::IProperties> set;
    Ref<Core::IErrorCode> error;
    if (!object->GetProperties(set.Out(), error.Out())) {
        return Failed("GetProperties", error);
    }
    for (uint64_t i = 0; i < set->GetCount(); ++i) {
        Ref<DI::IProperty> property;
        if (!set->GetProperty(i, property.Out(), error.Out())) {
            return Failed("GetProperty", error);
        }
        std::printf("%s%s = %s\n", indent, property->GetName(), ShownValue(property.Get()).c_str());
    }
    return true;
}

// Hands out item index of a list as T; lists hold their items as Core::IObject.
template <class T>
bool ItemOf(DI::IObjectList* list, uint64_t index, Ref<T>& item) {
    Ref<Core::IObject> object;
    Ref<Core::IErrorCode> error;
    if (!list->Get(index, object.Out(), error.Out())) {
        return Failed("IObjectList::Get", error);
    }
    T* typed = dynamic_cast<T*>(object.Get());
    if (typed == nullptr) {
        return false;
    }
    typed->AddReference();
    *item.Out() = typed;
    return true;
}

std::string NameOf(VI::IWorkspaceObject* object) {
    Ref<DI::IString> name;
    return object->GetName(name.Out(), nullptr) ? TextOf(name.Get()) : std::string("?");
}

std::string TypeOf(VI::IWorkspaceObject* object) {
    Ref<DI::IString> type;
    return object->GetObjectType(type.Out(), nullptr) ? TextOf(type.Get()) : std::string("?");
}

// Prints the generic objects under parent, depth first.
bool PrintTree(VI::IWorkspaceManager* workspace, const DS::_UUID& parent, int depth) {
    Ref<DI::IObjectList> children;
    Ref<Core::IErrorCode> error;
    if (!workspace->GetObjectsByParent(&parent, children.Out(), error.Out())) {
        return Failed("GetObjectsByParent", error);
    }
    for (uint64_t i = 0; i < children->GetCount(); ++i) {
        Ref<VI::IWorkspaceObject> child;
        DS::_UUID uuid{};
        if (!ItemOf(children.Get(), i, child) || !child->GetUuid(&uuid, error.Out())) {
            return false;
        }
        std::printf("%*s%s (%s)\n", 4 + 2 * depth, "", NameOf(child.Get()).c_str(), TypeOf(child.Get()).c_str());
        if (!PrintTree(workspace, uuid, depth + 1)) {
            return false;
        }
    }
    return true;
}

// Creates the workspace file and fills it in one transaction. Hands out the UUID of the tree's root.
bool CreateAndFill(const std::string& path, DS::_UUID& mapUuid) {
    Ref<VI::IWorkspaceManager> workspace;
    Ref<Core::IErrorCode> error;
    const DS::_UUID workspaceUuid = NewUuid();
    if (!VeskWorkspace_CreateOnFilesystem(&workspaceUuid, path.c_str(), VI::ReadWrite, workspace.Out(), error.Out())) {
        return Failed("VeskWorkspace_CreateOnFilesystem", error);
    }
    DS::_UUID stored{};
    if (!workspace->GetUuid(&stored, error.Out())) {
        return Failed("GetUuid", error);
    }
    std::printf("Created workspace \"%s\" (%s) at %s\n", NameOf(workspace.Get()).c_str(), UuidText(stored).c_str(),
                path.c_str());

    // Every change from here on waits in memory until Save writes all of them in one SQLite transaction.
    if (!workspace->BeginTransaction(error.Out())) {
        return Failed("BeginTransaction", error);
    }

    Ref<DI::IProperties> sourceProperties;
    if (!Data_CreateProperties(sourceProperties.Out(), error.Out())) {
        return Failed("Data_CreateProperties", error);
    }
    if (!AddText(sourceProperties.Get(), "Host", "db.example.org") ||
        !AddInteger(sourceProperties.Get(), "Port", 5432) ||
        !AddSecureText(sourceProperties.Get(), "Password", "not-a-real-password")) {
        return false;
    }
    const DS::_UUID sourceUuid = NewUuid();
    Ref<VI::IWorkspaceDataSource> source;
    if (!workspace->CreateDataSource(&sourceUuid, "Warehouse", static_cast<int>(VI::DataSourceType::Database),
                                     sourceProperties.Get(), source.Out(), error.Out())) {
        return Failed("CreateDataSource", error);
    }
    std::printf("Added data source Warehouse (%s) with 3 properties, one secure\n", UuidText(sourceUuid).c_str());

    const DS::_UUID datasetUuid = NewUuid();
    Ref<VI::IWorkspaceDataset> dataset;
    if (!workspace->CreateDataset(source.Get(), &datasetUuid, "Orders", static_cast<int>(VI::DatasetType::Table),
                                  static_cast<int>(VI::TemporalType::None), static_cast<int>(VI::SpatialType::None),
                                  false, dataset.Out(), error.Out())) {
        return Failed("CreateDataset", error);
    }
    Ref<DI::IProperties> datasetProperties;
    if (!Data_CreateProperties(datasetProperties.Out(), error.Out()) ||
        !AddInteger(datasetProperties.Get(), "Rows", 1250)) {
        return Failed("the dataset's properties", error);
    }
    if (!dataset->SetProperties(datasetProperties.Get(), error.Out())) {
        return Failed("SetProperties", error);
    }
    std::printf("Added dataset Orders (%s)\n", UuidText(datasetUuid).c_str());

    // A tree of generic objects: a map, a legend under it, an entry under the legend.
    mapUuid = NewUuid();
    const DS::_UUID legendUuid = NewUuid();
    const DS::_UUID entryUuid = NewUuid();
    Ref<VI::IWorkspaceObject> map, legend, entry;
    if (!workspace->CreateObject(nullptr, &mapUuid, "Main map", "Map", false, map.Out(), error.Out()) ||
        !workspace->CreateObject(&mapUuid, &legendUuid, "Legend", "MapElement", false, legend.Out(), error.Out()) ||
        !workspace->CreateObject(&legendUuid, &entryUuid, "Orders entry", "LegendEntry", false, entry.Out(),
                                 error.Out())) {
        return Failed("CreateObject", error);
    }
    std::printf("Added generic objects: Main map > Legend > Orders entry\n");

    if (!workspace->Save(error.Out())) {
        return Failed("Save", error);
    }
    std::printf("Saved\n");
    return true;  // the Refs release the objects, and the workspace last
}

// Opens the file again and prints what it holds.
bool ReadBack(VI::IWorkspaceManager* workspace, const DS::_UUID& mapUuid) {
    Ref<DI::IObjectList> sources;
    Ref<Core::IErrorCode> error;
    if (!workspace->GetDataSources(sources.Out(), error.Out())) {
        return Failed("GetDataSources", error);
    }
    std::printf("Read back: %llu data source(s)\n", static_cast<unsigned long long>(sources->GetCount()));
    for (uint64_t i = 0; i < sources->GetCount(); ++i) {
        Ref<VI::IWorkspaceDataSource> source;
        DS::_UUID sourceUuid{};
        if (!ItemOf(sources.Get(), i, source) || !source->GetUuid(&sourceUuid, error.Out())) {
            return false;
        }
        std::printf("  %s (DataSourceType %d)\n", NameOf(source.Get()).c_str(), static_cast<int>(source->GetType()));
        if (!PrintProperties(source.Get(), "    ")) {
            return false;
        }
        Ref<DI::IObjectList> datasets;
        if (!workspace->GetDatasetsOfDataSource(&sourceUuid, datasets.Out(), error.Out())) {
            return Failed("GetDatasetsOfDataSource", error);
        }
        for (uint64_t j = 0; j < datasets->GetCount(); ++j) {
            Ref<VI::IWorkspaceDataset> dataset;
            if (!ItemOf(datasets.Get(), j, dataset)) {
                return false;
            }
            std::printf("    dataset %s\n", NameOf(dataset.Get()).c_str());
            if (!PrintProperties(dataset.Get(), "      ")) {
                return false;
            }
        }
    }
    Ref<VI::IWorkspaceObject> map;
    if (!workspace->GetObject(&mapUuid, map.Out(), error.Out())) {
        return Failed("GetObject", error);
    }
    if (!map) {
        std::fprintf(stderr, "the map is missing\n");
        return false;
    }
    std::printf("  %s (%s)\n", NameOf(map.Get()).c_str(), TypeOf(map.Get()).c_str());
    return PrintTree(workspace, mapUuid, 0);
}

// A call that must fail: removing an object that is not there. It returns false, hands out an error object
// (which we release) and changes nothing.
bool ShowFailure(VI::IWorkspaceManager* workspace) {
    const DS::_UUID unknown = NewUuid();
    Ref<Core::IErrorCode> error;
    if (workspace->RemoveObject(&unknown, error.Out())) {
        std::fprintf(stderr, "removing an unknown object succeeded\n");
        return false;
    }
    if (!error) {
        std::fprintf(stderr, "the failed call handed out no error object\n");
        return false;
    }
    std::printf("Removing an unknown object failed as expected: code %d, \"%s\"\n", error->GetCode(),
                error->GetMessage());
    return true;
}

// Serialises the workspace to a memory image and opens the image as a read-only workspace.
bool SerialiseAndReopen(VI::IWorkspaceManager* workspace) {
    Ref<DI::IArray> image;
    Ref<Core::IErrorCode> error;
    if (!workspace->Serialize(image.Out(), error.Out())) {
        return Failed("Serialize", error);
    }
    std::printf("Serialised: %llu bytes\n", static_cast<unsigned long long>(image->GetByteSize()));
    // A read-only workspace reads the image in place: the image must outlive it.
    Ref<VI::IWorkspaceManager> copy;
    if (!VeskWorkspace_LoadFromMemory(image->GetData(), image->GetByteSize(), copy.Out(), error.Out())) {
        return Failed("VeskWorkspace_LoadFromMemory", error);
    }
    Ref<DI::IObjectList> datasets;
    if (!copy->GetDatasets(datasets.Out(), error.Out())) {
        return Failed("GetDatasets", error);
    }
    std::printf("The image opens as a workspace with %llu dataset(s)\n",
                static_cast<unsigned long long>(datasets->GetCount()));
    datasets.Reset();
    copy.Reset();  // before the image it reads from
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: host-example FOLDER\n");
        return 2;
    }
    const std::string path = std::string(argv[1]) + "/host-example.veskdb";
    DS::_UUID mapUuid{};
    if (!CreateAndFill(path, mapUuid)) {
        return 1;
    }
    // Reopened with its connection kept open (mode 2): Serialize needs an open connection, which a file
    // workspace in modes 0 and 1 closes between operations.
    Ref<VI::IWorkspaceManager> workspace;
    Ref<Core::IErrorCode> error;
    const DS::_UUID ignored{};  // an existing file keeps its own UUID
    if (!VeskWorkspace_CreateOnFilesystem(&ignored, path.c_str(), VI::ReadWritePersistent, workspace.Out(),
                                          error.Out())) {
        Failed("reopening", error);
        return 1;
    }
    if (!ReadBack(workspace.Get(), mapUuid) || !ShowFailure(workspace.Get()) || !SerialiseAndReopen(workspace.Get())) {
        return 1;
    }
    std::printf("host-example: all steps done\n");
    return 0;
}
