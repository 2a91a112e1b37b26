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
    explicit Value(uint32_t type = VT_Null) { raw.type = type; }
    static Value Int32(int32_t v) {
        Value value(VT_Int32);
        value.raw.i32 = v;
        return value;
    }
    static Value Double(double v) {
        Value value(VT_Double);
        value.raw.f64 = v;
        return value;
    }
    // At most 15 bytes, held inline.
    static Value Text(const char* text) {
        Value value(VT_String);
        std::strncpy(value.raw.text, text, sizeof value.raw.text - 1);
        return value;
    }
    // Takes over the caller's reference.
    static Value Object(Core::IObject* object) {
        Value value(uint32_t{VT_IObject} | VF_Reference);
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
        ASSERT_OK(Library().CreateOnFilesystem(&uuid_, path_.c_str(), Vesk::Interfaces::ReadWrite, workspace.Out(), e));
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
        const std::string failure = FAILURE_OF(object->CalculateHash(hash.Out(), e));
        return hash ? std::string(reinterpret_cast<const char*>(hash->GetData()), hash->GetByteSize())
                    : "error: " + failure;
    }

    _UUID uuid_ = NewUuid();
    std::string path_;
};

TEST_F(Properties, SetsSurviveReopeningSecretsStayUnreadableAndGoWithTheirObject) {
    const _UUID sourceId = NewUuid(), datasetId = NewUuid();
    {
        Held<IWorkspaceManager> workspace;
        Open(workspace);
        Held<IProperties> sourceSet(
            Set({{"Path", "", Value::Text("/data/roads")},
                 {"Port", "", Value::Int32(5432)},
                 {"Options", "IProperties",
                  Value::Object(Set({{"Depth", "", Value::Double(2.5)},
                                     {"Password", "Data::ISecureString", Value::Object(Secure("hunter2"))}}))}}));
        Held<IWorkspaceDataSource> source;
        ASSERT_OK(workspace->CreateDataSource(&sourceId, "roads", 11, sourceSet.Get(), source.Out(), e));
        Held<IWorkspaceDataset> dataset;
        ASSERT_OK(workspace->CreateDataset(source.Get(), &datasetId, "lanes", 1, 0, 0, false, dataset.Out(), e));
        Held<IProperties> datasetSet(Set({{"Depth", "", Value::Double(0.5)}}));
        ASSERT_OK(dataset->SetProperties(datasetSet.Get(), e));
    }
    // The nested set's rows belong to the UUID its own row holds; the secret is nowhere in plain text.
    VeskTest::SqliteReader stored(path_);
    EXPECT_EQ(stored.Value("SELECT COUNT(*) FROM Properties o JOIN Properties n ON CAST(o.PropertyValue AS TEXT) = "
                           "n.WorkspaceObjectUuid WHERE o.PropertyName = 'Options' AND n.PropertyName = 'Depth'"),
              "1");
    EXPECT_EQ(stored.Value("SELECT COUNT(*) FROM Properties WHERE instr(PropertyValue, CAST('hunter2' AS BLOB)) > 0"),
              "0");

    Held<IWorkspaceManager> workspace;
    Open(workspace);
    Held<IProperties> read, ofDataset;
    ASSERT_OK(workspace->GetObjectProperties(&sourceId, read.Out(), e));
    _VARIANT value{};
    ASSERT_TRUE(read->GetValue("Path", &value, nullptr));
    EXPECT_EQ(ValueText(value), "/data/roads");
    VariantClear(&value);
    ASSERT_TRUE(read->GetValue("Port", &value, nullptr));
    EXPECT_EQ(value.i32, 5432);
    ASSERT_TRUE(read->GetValue("Options", &value, nullptr));
    auto* options = dynamic_cast<IProperties*>(value.object);
    ASSERT_NE(options, nullptr);
    _VARIANT nested{};
    ASSERT_TRUE(options->GetValue("Depth", &nested, nullptr));
    EXPECT_EQ(nested.f64, 2.5);
    ASSERT_TRUE(options->GetValue("Password", &nested, nullptr));
    EXPECT_EQ(ValueText(nested), "hunter2");
    VariantClear(&nested);
    VariantClear(&value);
    ASSERT_OK(workspace->GetObjectProperties(&datasetId, ofDataset.Out(), e));
    ASSERT_TRUE(ofDataset->GetValue("Depth", &value, nullptr));
    EXPECT_EQ(value.f64, 0.5);

    // Removing the data source takes its rows, its nested set's rows and its dataset's rows along.
    ASSERT_OK(workspace->RemoveObject(&sourceId, e));
    ASSERT_OK(workspace->Save(e));
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
