// Property sets as a host keeps them on its objects: values of several types, a secure string that only the
// workspace's secret opens, a nested set, and the hashes that data sources and datasets derive from them.
#include <cstring>
#include <utility>

#include "HostFixture.h"
#include "Support/SqliteReader.h"

namespace VeskHost {
namespace {

using Data::Interfaces::IArray;
using Data::Interfaces::IProperties;
using Data::Structures::_UUID;
using Data::Structures::_VARIANT;
using namespace Data::Structures;
using Vesk::Interfaces::IWorkspaceDataset;
using Vesk::Interfaces::IWorkspaceDataSource;
using Vesk::Interfaces::IWorkspaceManager;

// A value record that owns what it holds.
struct Value {
    _VARIANT raw{};
    Value() { raw.type = VT_Null; }
    static Value Int32(int32_t v) {
        Value value;
        value.raw.type = VT_Int32;
        value.raw.i32 = v;
        return value;
    }
    static Value Double(double v) {
        Value value;
        value.raw.type = VT_Double;
        value.raw.f64 = v;
        return value;
    }
    static Value Text(const char* text) {  // at most 15 bytes, held inline
        Value value;
        value.raw.type = VT_String;
        std::strncpy(value.raw.text, text, sizeof value.raw.text - 1);
        return value;
    }
    static Value Object(Core::IObject* object) {  // takes over the caller's reference
        Value value;
        value.raw.type = uint32_t{VT_IObject} | VF_Reference;
        value.raw.object = object;
        return value;
    }
    Value(const Value& other) { VariantCopy(&raw, &other.raw); }
    Value& operator=(const Value&) = delete;
    ~Value() { VariantClear(&raw); }
};

class Properties : public HostTest {
protected:
    void SetUp() override { path_ = folder_.File("properties.veskdb"); }

    void Open(Held<IWorkspaceManager>& workspace) {
        Held<Core::IErrorCode> error;
        ASSERT_TRUE(Library().CreateOnFilesystem(&uuid_, path_.c_str(), Vesk::Interfaces::ReadWrite, workspace.Out(),
                                                 error.Out()))
            << Message(error.Get());
    }

    IProperties* Set(const std::vector<std::tuple<const char*, const char*, Value>>& entries) {
        IProperties* set = nullptr;
        EXPECT_TRUE(Library().CreateProperties(&set, nullptr));
        for (const auto& [name, interfaceType, value] : entries) {
            EXPECT_TRUE(set->Register("", name, "", interfaceType, "", VariantTypeCode(value.raw), false, nullptr));
            EXPECT_TRUE(set->SetValue(name, &value.raw, nullptr)) << name;
        }
        return set;
    }

    Core::IObject* Secure(const char* text) {
        Data::Interfaces::ISecureString* secure = nullptr;
        EXPECT_TRUE(Library().CreateSecureString(&secure, text, std::strlen(text), nullptr));
        return secure;
    }

    static std::string Hash(Vesk::Interfaces::IWorkspaceObject* object) {
        Held<IArray> hash;
        Held<Core::IErrorCode> error;
        if (!object->CalculateHash(hash.Out(), error.Out())) {
            return "error: " + Message(error.Get());
        }
        return std::string(reinterpret_cast<const char*>(hash->GetData()), hash->GetByteSize());
    }

    _UUID uuid_ = NewUuid();
    std::string path_;
};

// The text of a value, whether held inline or by an object.
std::string TextOf(const _VARIANT& raw) {
    if (VariantFormOf(raw) == VF_Inline) {
        return raw.text;
    }
    if (auto* secure = dynamic_cast<Data::Interfaces::ISecureString*>(raw.object)) {
        return std::string(secure->GetText(), secure->GetLength());
    }
    auto* text = dynamic_cast<Data::Interfaces::IString*>(raw.object);
    return text != nullptr ? text->GetText() : "(not a text)";
}

TEST_F(Properties, SetsSurviveReopeningSecretsStayUnreadableAndGoWithTheirObject) {
    const _UUID sourceId = NewUuid(), datasetId = NewUuid();
    {
        Held<IWorkspaceManager> workspace;
        Open(workspace);
        Held<IProperties> sourceSet(
            Set({{"Path", "", Value::Text("/data/roads")},
                 {"Port", "", Value::Int32(5432)},
                 {"Password", "Data::ISecureString", Value::Object(Secure("hunter2"))},
                 {"Options", "IProperties", Value::Object(Set({{"Depth", "", Value::Double(2.5)}}))}}));
        Held<IWorkspaceDataSource> source;
        ASSERT_TRUE(workspace->CreateDataSource(&sourceId, "roads", 11, sourceSet.Get(), source.Out(), nullptr));
        Held<IWorkspaceDataset> dataset;
        ASSERT_TRUE(
            workspace->CreateDataset(source.Get(), &datasetId, "lanes", 1, 0, 0, false, dataset.Out(), nullptr));
        Held<IProperties> datasetSet(Set({{"Opacity", "", Value::Double(0.5)}}));
        ASSERT_TRUE(dataset->SetProperties(datasetSet.Get(), nullptr));
    }
    EXPECT_EQ(VeskTest::SqliteReader(path_).Value("SELECT COUNT(*) FROM Properties WHERE instr(PropertyValue, "
                                                  "CAST('hunter2' AS BLOB)) > 0"),
              "0");

    Held<IWorkspaceManager> workspace;
    Open(workspace);
    Held<IProperties> read;
    Held<Core::IErrorCode> error;
    ASSERT_TRUE(workspace->GetObjectProperties(&sourceId, read.Out(), error.Out())) << Message(error.Get());
    _VARIANT value{};
    ASSERT_TRUE(read->GetValue("Path", &value, nullptr));
    EXPECT_EQ(TextOf(value), "/data/roads");
    VariantClear(&value);
    ASSERT_TRUE(read->GetValue("Port", &value, nullptr));
    EXPECT_EQ(value.i32, 5432);
    ASSERT_TRUE(read->GetValue("Password", &value, nullptr));
    EXPECT_EQ(TextOf(value), "hunter2");
    VariantClear(&value);
    ASSERT_TRUE(read->GetValue("Options", &value, nullptr));
    auto* options = dynamic_cast<IProperties*>(value.object);
    ASSERT_NE(options, nullptr);
    _VARIANT depth{};
    ASSERT_TRUE(options->GetValue("Depth", &depth, nullptr));
    EXPECT_EQ(depth.f64, 2.5);
    VariantClear(&value);

    // Removing the data source takes its rows, its nested set's rows and its dataset's rows along.
    ASSERT_TRUE(workspace->RemoveObject(&sourceId, nullptr));
    ASSERT_TRUE(workspace->Save(nullptr));
    EXPECT_EQ(VeskTest::SqliteReader(path_).Value("SELECT COUNT(*) FROM Properties"), "0");
}

TEST_F(Properties, DatasetHashesFollowTheirDataSourcesValuesAndTheirOwnInternalName) {
    Held<IWorkspaceManager> workspace;
    Open(workspace);
    const _UUID sourceId = NewUuid(), firstId = NewUuid(), secondId = NewUuid();
    Held<IProperties> onlyNull(Set({{"Nothing", "", Value()}}));
    Held<IWorkspaceDataSource> source;
    ASSERT_TRUE(workspace->CreateDataSource(&sourceId, "src", 11, onlyNull.Get(), source.Out(), nullptr));
    EXPECT_EQ(Hash(source.Get()), "error: DataSource src (" + Text(sourceId) +
                                      ") does not contain any suitable properties from which hash can be calculated!");

    Held<IWorkspaceDataset> first, second;
    ASSERT_TRUE(workspace->CreateDataset(source.Get(), &firstId, "a", 1, 0, 0, false, first.Out(), nullptr));
    ASSERT_TRUE(workspace->CreateDataset(source.Get(), &secondId, "b", 1, 0, 0, false, second.Out(), nullptr));
    ASSERT_TRUE(first->SetInternalName("layer_a", nullptr));
    ASSERT_TRUE(second->SetInternalName("layer_b", nullptr));
    Held<IProperties> values(Set({{"Port", "", Value::Int32(1)}, {"Path", "", Value::Text("x")}}));
    ASSERT_TRUE(source->SetProperties(values.Get(), nullptr));
    const std::string firstHash = Hash(first.Get()), secondHash = Hash(second.Get());
    EXPECT_EQ(firstHash.size(), 32u) << firstHash;
    EXPECT_NE(firstHash, secondHash);

    Held<IProperties> changed(Set({{"Port", "", Value::Int32(2)}, {"Path", "", Value::Text("x")}}));
    ASSERT_TRUE(source->SetProperties(changed.Get(), nullptr));
    EXPECT_NE(Hash(first.Get()), firstHash);
    EXPECT_NE(Hash(second.Get()), secondHash);
}

}  // namespace
}  // namespace VeskHost
