// Editing a workspace as a host does: data sources, datasets and generic objects made, changed and removed,
// written at once, under a transaction or by Save, and read back from a freshly opened workspace.
#include <algorithm>
#include <tuple>

#include "HostFixture.h"
#include "Support/SqliteReader.h"

namespace VeskHost {
namespace {

using Data::Interfaces::IArray;
using Data::Interfaces::IObjectList;
using Data::Interfaces::IString;
using Data::Structures::_UUID;
using Vesk::Interfaces::DatasetType;
using Vesk::Interfaces::DataSourceType;
using Vesk::Interfaces::IWorkspaceDataset;
using Vesk::Interfaces::IWorkspaceDataSource;
using Vesk::Interfaces::IWorkspaceManager;
using Vesk::Interfaces::IWorkspaceObject;
using Vesk::Interfaces::SpatialType;
using Vesk::Interfaces::TemporalType;

// The error message of an operation in the error-code form, or an empty text when it succeeds.
template <class Call>
std::string Fails(Call&& call) {
    Held<Core::IErrorCode> error;
    const bool ok = call(error.Out());
    EXPECT_EQ(ok, !error) << "the result and the error object disagree";
    return error ? std::string(error->GetMessage(), error->GetMessageLength()) : std::string();
}

#define EXPECT_OK(call) EXPECT_EQ(Fails([&](Core::IErrorCode** e) { return call; }), "")
#define ASSERT_OK(call) ASSERT_EQ(Fails([&](Core::IErrorCode** e) { return call; }), "")

template <class T>
std::string NameOf(T* object) {
    Held<IString> name;
    EXPECT_OK(object->GetName(name.Out(), e));
    return name ? name->GetText() : "(none)";
}

template <class T, class Getter>
std::string TextOf(T* object, Getter getter) {
    Held<IString> text;
    EXPECT_OK((object->*getter)(text.Out(), e));
    return text ? text->GetText() : "(none)";
}

std::vector<std::string> NamesIn(IObjectList* list) {
    std::vector<std::string> names;
    for (uint64_t i = 0; i < list->GetCount(); ++i) {
        Held<Core::IObject> item;
        EXPECT_OK(list->Get(i, item.Out(), e));
        names.push_back(NameOf(dynamic_cast<IWorkspaceObject*>(item.Get())));
    }
    std::sort(names.begin(), names.end());
    return names;
}

enum class Where { FileReadWrite, FileKeptOpen, Memory };

std::string WhereName(Where where) {
    switch (where) {
        case Where::FileReadWrite:
            return "FileReadWrite";
        case Where::FileKeptOpen:
            return "FileKeptOpen";
        case Where::Memory:
            return "Memory";
    }
    return "Unknown";
}

class WorkspaceEditing : public HostTest, public ::testing::WithParamInterface<Where> {
protected:
    void SetUp() override { uuid_ = NewUuid(); }

    // Opens the workspace anew: the file again, or another connection to the shared memory database.
    void Open(Held<IWorkspaceManager>& workspace) {
        Held<Core::IErrorCode> error;
        bool ok = false;
        switch (GetParam()) {
            case Where::FileReadWrite:
                ok = Library().CreateOnFilesystem(&uuid_, Path().c_str(), Vesk::Interfaces::ReadWrite, workspace.Out(),
                                                  error.Out());
                break;
            case Where::FileKeptOpen:
                ok = Library().CreateOnFilesystem(&uuid_, Path().c_str(), Vesk::Interfaces::ReadWritePersistent,
                                                  workspace.Out(), error.Out());
                break;
            case Where::Memory:
                ok = Library().CreateInMemory(&uuid_, workspace.Out(), error.Out());
                break;
        }
        ASSERT_TRUE(ok) << Message(error.Get());
    }

    std::string Path() { return folder_.File("edit.veskdb"); }

    // Rows of the database as another program sees them (for memory, through an image of it).
    std::vector<std::vector<std::string>> Stored(IWorkspaceManager* workspace, const std::string& sql) {
        if (GetParam() == Where::Memory) {
            Held<IArray> image;
            EXPECT_OK(workspace->Serialize(image.Out(), e));
            VeskTest::SqliteReader reader(image->GetData(), image->GetByteSize());
            return reader.Rows(sql);
        }
        VeskTest::SqliteReader reader(Path());
        return reader.Rows(sql);
    }

    _UUID uuid_{};
};

INSTANTIATE_TEST_SUITE_P(Modes, WorkspaceEditing,
                         ::testing::Values(Where::FileReadWrite, Where::FileKeptOpen, Where::Memory),
                         [](const ::testing::TestParamInfo<Where>& info) { return WhereName(info.param); });

TEST_P(WorkspaceEditing, EveryKindSurvivesReopeningAfterCreationChangeAndRemoval) {
    Held<IWorkspaceManager> first;
    ASSERT_NO_FATAL_FAILURE(Open(first));
    const _UUID sourceId = NewUuid(), datasetId = NewUuid(), parentId = NewUuid(), childId = NewUuid();
    const _UUID typeId = NewUuid();
    {
        Held<Data::Interfaces::IProperties> properties;
        ASSERT_TRUE(Library().CreateProperties(properties.Out(), nullptr));
        Held<IWorkspaceDataSource> source;
        ASSERT_OK(first->CreateDataSource(&sourceId, "roads", static_cast<int>(DataSourceType::FilePath),
                                          properties.Get(), source.Out(), e));
        EXPECT_OK(source->SetTypeIdentifier(&typeId, e));
        EXPECT_OK(source->SetEnableCache(true, e));
        Held<IWorkspaceDataset> dataset;
        ASSERT_OK(first->CreateDataset(source.Get(), &datasetId, "lanes", static_cast<int>(DatasetType::Spatial),
                                       static_cast<int>(TemporalType::TimeSeries), static_cast<int>(SpatialType::Shape),
                                       true, dataset.Out(), e));
        EXPECT_OK(dataset->SetLabel("Lanes", e));
        EXPECT_OK(dataset->SetGroup("transport", e));
        EXPECT_OK(dataset->SetInternalName("lanes_v2", e));
        EXPECT_OK(dataset->SetDescription("all lanes", e));
        Held<IWorkspaceObject> parent, child;
        ASSERT_OK(first->CreateObject(nullptr, &parentId, "map", "Map", false, parent.Out(), e));
        ASSERT_OK(first->CreateObject(&parentId, &childId, "layer", "Layer", true, child.Out(), e));
    }
    if (GetParam() != Where::Memory) {
        first.Reset();
    }

    Held<IWorkspaceManager> second;
    ASSERT_NO_FATAL_FAILURE(Open(second));
    {
        Held<IWorkspaceDataSource> source;
        ASSERT_OK(second->GetDataSource(&sourceId, source.Out(), e));
        ASSERT_TRUE(source);
        EXPECT_EQ(NameOf(source.Get()), "roads");
        EXPECT_EQ(source->GetType(), DataSourceType::FilePath);
        EXPECT_TRUE(source->GetEnableCache());
        _UUID stored{};
        EXPECT_OK(source->GetTypeIdentifier(&stored, e));
        EXPECT_EQ(Text(stored), Text(typeId));
        EXPECT_EQ(TextOf(source.Get(), &IWorkspaceObject::GetObjectType), "DataSource");

        Held<IWorkspaceDataset> dataset;
        ASSERT_OK(second->GetDataset(&datasetId, dataset.Out(), e));
        ASSERT_TRUE(dataset);
        EXPECT_EQ(NameOf(dataset.Get()), "lanes");
        EXPECT_EQ(TextOf(dataset.Get(), &IWorkspaceDataset::GetLabel), "Lanes");
        EXPECT_EQ(TextOf(dataset.Get(), &IWorkspaceDataset::GetGroup), "transport");
        EXPECT_EQ(TextOf(dataset.Get(), &IWorkspaceDataset::GetInternalName), "lanes_v2");
        EXPECT_EQ(TextOf(dataset.Get(), &IWorkspaceObject::GetDescription), "all lanes");
        EXPECT_EQ(dataset->GetDatasetType(), DatasetType::Spatial);
        EXPECT_EQ(dataset->GetTemporalType(), TemporalType::TimeSeries);
        EXPECT_EQ(dataset->GetSpatialType(), SpatialType::Shape);
        EXPECT_TRUE(dataset->IsReadOnly());
        EXPECT_OK(dataset->GetParentUuid(&stored, e));
        EXPECT_EQ(Text(stored), Text(sourceId));

        Held<IWorkspaceObject> child;
        ASSERT_OK(second->GetObject(&childId, child.Out(), e));
        ASSERT_TRUE(child);
        EXPECT_EQ(TextOf(child.Get(), &IWorkspaceObject::GetObjectType), "Layer");
        EXPECT_OK(child->GetParentUuid(&stored, e));
        EXPECT_EQ(Text(stored), Text(parentId));

        // Loaded rows hold their UUIDs as values; their changes and deletions must reach the database.
        EXPECT_OK(source->SetName("streets", e));
        EXPECT_OK(source->SetType(DataSourceType::WebMapService, e));
        EXPECT_OK(dataset->SetName("kerbs", e));
        EXPECT_OK(dataset->SetSpatialType(SpatialType::Raster, e));
        EXPECT_OK(child->SetName("overlay", e));
        EXPECT_OK(child->SetObjectType("Overlay", e));
        EXPECT_OK(second->SetName("renamed", e));
        EXPECT_OK(second->SetDescription("described", e));
    }
    EXPECT_EQ(Stored(second.Get(), "SELECT Name, Type FROM DataSources"),
              (std::vector<std::vector<std::string>>{{"streets", "WebMapService"}}));
    if (GetParam() != Where::Memory) {
        second.Reset();
    }

    Held<IWorkspaceManager> third;
    ASSERT_NO_FATAL_FAILURE(Open(third));
    EXPECT_EQ(NameOf(third.Get()), "renamed");
    EXPECT_EQ(TextOf(third.Get(), &IWorkspaceObject::GetDescription), "described");
    Held<IWorkspaceDataset> dataset;
    ASSERT_OK(third->GetDataset(&datasetId, dataset.Out(), e));
    EXPECT_EQ(NameOf(dataset.Get()), "kerbs");
    EXPECT_EQ(dataset->GetSpatialType(), SpatialType::Raster);
    Held<IWorkspaceDataSource> source;
    ASSERT_OK(dataset->GetDataSource(source.Out(), e));
    ASSERT_TRUE(source);
    EXPECT_EQ(NameOf(source.Get()), "streets");
    Held<IWorkspaceObject> child;
    ASSERT_OK(third->GetObject(&childId, child.Out(), e));
    EXPECT_EQ(NameOf(child.Get()), "overlay");
    EXPECT_EQ(TextOf(child.Get(), &IWorkspaceObject::GetObjectType), "Overlay");

    // Removal of loaded rows.
    EXPECT_OK(third->RemoveObject(&parentId, e));
    EXPECT_OK(third->RemoveDataSource(&sourceId, e));
    EXPECT_EQ(Stored(third.Get(), "SELECT COUNT(*) FROM GenericObjects"),
              (std::vector<std::vector<std::string>>{{"0"}}));
    EXPECT_EQ(Stored(third.Get(), "SELECT COUNT(*) FROM DataSources"), (std::vector<std::vector<std::string>>{{"0"}}));
    // The data source's datasets go with the next write of the datasets, not at once.
    EXPECT_EQ(Stored(third.Get(), "SELECT COUNT(*) FROM Datasets"), (std::vector<std::vector<std::string>>{{"1"}}));
    EXPECT_NE(Fails([&](Core::IErrorCode** e) { return third->Reload(e); }), "");
    ASSERT_OK(third->Save(e));
    EXPECT_EQ(Stored(third.Get(), "SELECT COUNT(*) FROM Datasets"), (std::vector<std::vector<std::string>>{{"0"}}));
    Held<IString> name;
    EXPECT_EQ(Fails([&](Core::IErrorCode** e) { return child->GetName(name.Out(), e); }),
              "Null pointer exception! Interface is not accessible: struct Data::Interfaces::IRow");
}

TEST_P(WorkspaceEditing, WithoutAutoSaveChangesWaitForSave) {
    Held<IWorkspaceManager> workspace;
    ASSERT_NO_FATAL_FAILURE(Open(workspace));
    workspace->SetAutoSave(false);
    const _UUID objectId = NewUuid();
    Held<IWorkspaceObject> object;
    ASSERT_OK(workspace->CreateObject(nullptr, &objectId, "pending", "Note", false, object.Out(), e));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT COUNT(*) FROM GenericObjects"),
              (std::vector<std::vector<std::string>>{{"0"}}));
    EXPECT_EQ(Fails([&](Core::IErrorCode** e) { return workspace->Reload(e); }),
              "Database state contains changes that were not yet written into the file. Reload cancelled to prevent "
              "data loss! (" +
                  UuidOf(workspace.Get()) + ")");
    ASSERT_OK(workspace->Save(e));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT Name, ObjectType, ParentUuid FROM GenericObjects"),
              (std::vector<std::vector<std::string>>{{"pending", "Note", "NULL"}}));
    EXPECT_OK(workspace->Reload(e));

    // A change to a saved row is written only by Save as well, and Updated moves with the write.
    Held<Data::Interfaces::IDateTime> before;
    ASSERT_OK(object->GetUpdated(before.Out(), e));
    EXPECT_OK(object->SetName("changed", e));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT Name FROM GenericObjects"),
              (std::vector<std::vector<std::string>>{{"pending"}}));
    EXPECT_OK(object->Save(e));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT Name FROM GenericObjects"),
              (std::vector<std::vector<std::string>>{{"changed"}}));
    Held<Data::Interfaces::IDateTime> after;
    ASSERT_OK(object->GetUpdated(after.Out(), e));
    EXPECT_GE(std::string(after->GetText()), std::string(before->GetText()));

    // Discarding an object drops its unsaved change, and a pending creation with it.
    EXPECT_OK(object->SetName("dropped", e));
    EXPECT_OK(object->Discard(e));
    EXPECT_EQ(NameOf(object.Get()), "changed");
    const _UUID newId = NewUuid();
    Held<IWorkspaceObject> created;
    ASSERT_OK(workspace->CreateObject(nullptr, &newId, "new", "Note", false, created.Out(), e));
    EXPECT_OK(created->Discard(e));
    Held<IWorkspaceObject> lookedUp;
    EXPECT_OK(workspace->GetObject(&newId, lookedUp.Out(), e));
    EXPECT_FALSE(lookedUp);
    EXPECT_OK(workspace->Reload(e));

    // A pending removal is written by the object's own Save while the workspace's other changes wait.
    EXPECT_OK(workspace->SetDescription("waiting", e));
    EXPECT_OK(workspace->RemoveObject(&objectId, e));
    EXPECT_OK(object->Save(e));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT COUNT(*) FROM GenericObjects"),
              (std::vector<std::vector<std::string>>{{"0"}}));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT Description FROM Workspaces"),
              (std::vector<std::vector<std::string>>{{""}}));
    // Discarding the workspace drops the waiting change.
    EXPECT_OK(workspace->Discard(e));
    EXPECT_EQ(TextOf(workspace.Get(), &IWorkspaceObject::GetDescription), "");
    EXPECT_OK(workspace->Reload(e));
}

TEST_P(WorkspaceEditing, ARowCreatedAndRemovedBeforeAnyWriteNeverReachesTheDatabase) {
    Held<IWorkspaceManager> workspace;
    ASSERT_NO_FATAL_FAILURE(Open(workspace));
    workspace->SetAutoSave(false);
    const _UUID sourceId = NewUuid();
    Held<IWorkspaceObject> source;
    ASSERT_OK(workspace->CreateObject(nullptr, &sourceId, "brief", "datasource", false, source.Out(), e));
    EXPECT_OK(workspace->RemoveObject(&sourceId, e));
    // Nothing is left to write, so a reload is allowed.
    EXPECT_OK(workspace->Reload(e));
    ASSERT_OK(workspace->Save(e));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT COUNT(*) FROM DataSources"),
              (std::vector<std::vector<std::string>>{{"0"}}));
}

TEST_P(WorkspaceEditing, TransactionsCommitOrRollBackEverything) {
    Held<IWorkspaceManager> workspace;
    ASSERT_NO_FATAL_FAILURE(Open(workspace));
    const std::string uuidText = UuidOf(workspace.Get());
    const _UUID keptId = NewUuid(), droppedId = NewUuid();

    ASSERT_OK(workspace->BeginTransaction(e));
    Held<IWorkspaceObject> dropped;
    ASSERT_OK(workspace->CreateObject(nullptr, &droppedId, "dropped", "Note", false, dropped.Out(), e));
    EXPECT_EQ(Fails([&](Core::IErrorCode** e) { return dropped->Save(e); }),
              "Transaction is in progress. Cannot save changes on the object alone!");
    EXPECT_EQ(Fails([&](Core::IErrorCode** e) { return workspace->Reload(e); }),
              "Transaction is currently in progress. Cannot reload data for workspace " + uuidText);
    ASSERT_OK(workspace->Discard(e));
    Held<IWorkspaceObject> gone;
    EXPECT_OK(workspace->GetObject(&droppedId, gone.Out(), e));
    EXPECT_FALSE(gone);

    ASSERT_OK(workspace->BeginTransaction(e));
    ASSERT_OK(workspace->BeginTransaction(e));  // a second begin changes nothing
    Held<IWorkspaceObject> kept;
    ASSERT_OK(workspace->CreateObject(nullptr, &keptId, "kept", "Note", false, kept.Out(), e));
    EXPECT_OK(workspace->SetName("committed", e));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT COUNT(*) FROM GenericObjects"),
              (std::vector<std::vector<std::string>>{{"0"}}));
    ASSERT_OK(workspace->Save(e));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT Name FROM GenericObjects"),
              (std::vector<std::vector<std::string>>{{"kept"}}));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT Name FROM Workspaces"),
              (std::vector<std::vector<std::string>>{{"committed"}}));
    // After the commit, single changes are written at once again.
    EXPECT_OK(kept->SetName("again", e));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT Name FROM GenericObjects"),
              (std::vector<std::vector<std::string>>{{"again"}}));
}

TEST_P(WorkspaceEditing, GenericObjectsGoWithTheirWholeSubtree) {
    Held<IWorkspaceManager> workspace;
    ASSERT_NO_FATAL_FAILURE(Open(workspace));
    const _UUID root = NewUuid(), child = NewUuid(), grandchild = NewUuid(), other = NewUuid();
    for (const auto& [parent, id, name] : {std::tuple<const _UUID*, const _UUID*, const char*>{nullptr, &root, "root"},
                                           {&root, &child, "child"},
                                           {&child, &grandchild, "grandchild"},
                                           {nullptr, &other, "other"}}) {
        Held<IWorkspaceObject> object;
        ASSERT_OK(workspace->CreateObject(parent, id, name, "Node", false, object.Out(), e));
    }
    Held<IObjectList> children;
    ASSERT_OK(workspace->GetObjectsByParent(&root, children.Out(), e));
    EXPECT_EQ(NamesIn(children.Get()), std::vector<std::string>{"child"});
    EXPECT_OK(workspace->RemoveObject(&root, e));
    Held<IObjectList> left;
    ASSERT_OK(workspace->GetObjectsByType("Node", left.Out(), e));
    EXPECT_EQ(NamesIn(left.Get()), std::vector<std::string>{"other"});
    EXPECT_EQ(Stored(workspace.Get(), "SELECT Name FROM GenericObjects"),
              (std::vector<std::vector<std::string>>{{"other"}}));

    // Removals one after another, with creations between them: each sees the tree as it is now.
    const _UUID top = NewUuid(), first = NewUuid(), late = NewUuid(), lateChild = NewUuid();
    Held<IWorkspaceObject> made[4];
    ASSERT_OK(workspace->CreateObject(nullptr, &top, "top", "Node", false, made[0].Out(), e));
    ASSERT_OK(workspace->CreateObject(&top, &first, "first", "Node", false, made[1].Out(), e));
    EXPECT_OK(workspace->RemoveObject(&first, e));
    ASSERT_OK(workspace->CreateObject(&top, &late, "late", "Node", false, made[2].Out(), e));
    ASSERT_OK(workspace->CreateObject(&late, &lateChild, "lateChild", "Node", false, made[3].Out(), e));
    EXPECT_OK(workspace->RemoveObject(&top, e));
    Held<IObjectList> rest;
    ASSERT_OK(workspace->GetObjectsByType("Node", rest.Out(), e));
    EXPECT_EQ(NamesIn(rest.Get()), std::vector<std::string>{"other"});
    EXPECT_EQ(Stored(workspace.Get(), "SELECT Name FROM GenericObjects"),
              (std::vector<std::vector<std::string>>{{"other"}}));
}

class WorkspaceQueries : public HostTest {
protected:
    void SetUp() override {
        const auto uuid = NewUuid();
        Held<Core::IErrorCode> error;
        ASSERT_TRUE(Library().CreateInMemory(&uuid, workspace_.Out(), error.Out())) << Message(error.Get());
    }
    Held<IWorkspaceManager> workspace_;
};

TEST_F(WorkspaceQueries, TypeTextsAndLookups) {
    const _UUID sourceId = NewUuid(), setA = NewUuid(), setB = NewUuid(), noteId = NewUuid();
    Held<IWorkspaceObject> source, a, b, note;
    ASSERT_OK(workspace_->CreateObject(nullptr, &sourceId, "src", "DATASOURCE", false, source.Out(), e));
    ASSERT_OK(workspace_->CreateObject(&sourceId, &setA, "a", "dataSet", false, a.Out(), e));
    ASSERT_OK(workspace_->CreateObject(&sourceId, &setB, "b", "Dataset", false, b.Out(), e));
    ASSERT_OK(workspace_->CreateObject(nullptr, &noteId, "n", "Note", false, note.Out(), e));
    EXPECT_EQ(TextOf(a.Get(), &IWorkspaceObject::GetObjectType), "Dataset");
    EXPECT_EQ(TextOf(source.Get(), &IWorkspaceObject::GetObjectType), "DataSource");

    Held<IObjectList> datasets, sources, notes, lowerNotes, ofSource, byName;
    ASSERT_OK(workspace_->GetObjectsByType("DATASET", datasets.Out(), e));
    EXPECT_EQ(NamesIn(datasets.Get()), (std::vector<std::string>{"a", "b"}));
    ASSERT_OK(workspace_->GetObjectsByType("datasource", sources.Out(), e));
    EXPECT_EQ(NamesIn(sources.Get()), std::vector<std::string>{"src"});
    ASSERT_OK(workspace_->GetObjectsByType("Note", notes.Out(), e));
    EXPECT_EQ(NamesIn(notes.Get()), std::vector<std::string>{"n"});
    ASSERT_OK(workspace_->GetDatasetsOfDataSource(&sourceId, ofSource.Out(), e));
    EXPECT_EQ(NamesIn(ofSource.Get()), (std::vector<std::string>{"a", "b"}));
    ASSERT_OK(workspace_->GetDatasetsByName("b", byName.Out(), e));
    EXPECT_EQ(NamesIn(byName.Get()), std::vector<std::string>{"b"});
    EXPECT_TRUE(workspace_->ContainsDataset(&setA, nullptr));
    EXPECT_FALSE(workspace_->ContainsDataset(&noteId, nullptr));

    Held<Core::IObject> asObject;
    ASSERT_OK(workspace_->GetObjectAsIObject(&setB, asObject.Out(), e));
    EXPECT_NE(dynamic_cast<IWorkspaceDataset*>(asObject.Get()), nullptr);

    // Removing the data source takes its datasets along.
    EXPECT_OK(workspace_->RemoveObject(&sourceId, e));
    EXPECT_FALSE(workspace_->ContainsDataset(&setA, nullptr));
    Held<IObjectList> remaining;
    ASSERT_OK(workspace_->GetDatasets(remaining.Out(), e));
    EXPECT_EQ(remaining->GetCount(), 0u);
}

TEST_F(WorkspaceQueries, CreationRules) {
    const _UUID sourceId = NewUuid(), setId = NewUuid(), noteId = NewUuid(), unknown = NewUuid();
    Held<IWorkspaceObject> missingParent;
    EXPECT_EQ(Fails([&](Core::IErrorCode** e) {
                  return workspace_->CreateObject(nullptr, &setId, "orphan", "dataset", false, missingParent.Out(), e);
              }),
              "Failed to insert Dataset orphan! Missing parent object id (DataSource Uuid)");
    Held<IWorkspaceObject> unknownParent;
    EXPECT_EQ(Fails([&](Core::IErrorCode** e) {
                  return workspace_->CreateObject(&unknown, &setId, "stray", "Dataset", false, unknownParent.Out(), e);
              }),
              "Cannot update dataset since it replaces datasource with non existing datasource. Add datasource first "
              "then dataset can be replaced! Name stray, New datasource id which does not exists: " +
                  Text(unknown));
    // The failed dataset left no row behind that a later creation would trip over.
    Held<IObjectList> none;
    ASSERT_OK(workspace_->GetDatasets(none.Out(), e));
    EXPECT_EQ(none->GetCount(), 0u);

    Held<IWorkspaceObject> note, again;
    ASSERT_OK(workspace_->CreateObject(nullptr, &noteId, "n", "Note", false, note.Out(), e));
    EXPECT_EQ(Fails([&](Core::IErrorCode** e) {
                  return workspace_->CreateObject(nullptr, &noteId, "n2", "Note", false, again.Out(), e);
              }),
              "Cannot create new row because row with id " + Text(noteId) + " already exists!");

    // Creating a data source over an existing one updates it.
    Held<Data::Interfaces::IProperties> properties;
    ASSERT_TRUE(Library().CreateProperties(properties.Out(), nullptr));
    Held<IWorkspaceDataSource> first, second;
    ASSERT_OK(workspace_->CreateDataSource(&sourceId, "one", 11, properties.Get(), first.Out(), e));
    EXPECT_OK(first->SetEnableCache(true, e));
    ASSERT_OK(workspace_->CreateDataSource(&sourceId, "two", 14, properties.Get(), second.Out(), e));
    EXPECT_EQ(NameOf(first.Get()), "two");
    EXPECT_EQ(first->GetType(), DataSourceType::SimpleUrl);
    EXPECT_FALSE(first->GetEnableCache());
    Held<IObjectList> sources;
    ASSERT_OK(workspace_->GetDataSources(sources.Out(), e));
    EXPECT_EQ(sources->GetCount(), 1u);

    // So does creating a dataset over an existing one, keeping what the creation does not set.
    Held<IWorkspaceDataset> dataset, again2;
    ASSERT_OK(workspace_->CreateDataset(first.Get(), &setId, "d1", 1, 0, 0, false, dataset.Out(), e));
    EXPECT_OK(dataset->SetDescription("kept", e));
    ASSERT_OK(workspace_->CreateDataset(first.Get(), &setId, "d2", 2, 1, 2, true, again2.Out(), e));
    EXPECT_EQ(NameOf(dataset.Get()), "d2");
    EXPECT_EQ(dataset->GetDatasetType(), DatasetType::Spatial);
    EXPECT_EQ(dataset->GetSpatialType(), SpatialType::Raster);
    EXPECT_TRUE(dataset->IsReadOnly());
    EXPECT_EQ(TextOf(dataset.Get(), &IWorkspaceObject::GetDescription), "kept");
    Held<IObjectList> datasets;
    ASSERT_OK(workspace_->GetDatasets(datasets.Out(), e));
    EXPECT_EQ(datasets->GetCount(), 1u);
}

TEST_F(WorkspaceQueries, EnumerationsOutsideTheirListsReadAsUnknown) {
    const _UUID sourceId = NewUuid(), setId = NewUuid();
    Held<Data::Interfaces::IProperties> properties;
    ASSERT_TRUE(Library().CreateProperties(properties.Out(), nullptr));
    Held<IWorkspaceDataSource> source;
    ASSERT_OK(workspace_->CreateDataSource(&sourceId, "s", 99, properties.Get(), source.Out(), e));
    EXPECT_EQ(source->GetType(), DataSourceType::Unknown);
    Held<IWorkspaceDataset> dataset;
    ASSERT_OK(workspace_->CreateDataset(source.Get(), &setId, "d", -1, 0, 1, false, dataset.Out(), e));
    EXPECT_OK(dataset->SetSpatialType(static_cast<SpatialType>(7), e));
    EXPECT_EQ(dataset->GetSpatialType(), SpatialType::Unknown);
    EXPECT_EQ(dataset->GetDatasetType(), DatasetType::Unknown);
    EXPECT_EQ(dataset->GetTemporalType(), TemporalType::None);
    Held<IArray> image;
    ASSERT_OK(workspace_->Serialize(image.Out(), e));
    VeskTest::SqliteReader stored(image->GetData(), image->GetByteSize());
    EXPECT_EQ(stored.Rows("SELECT SpatialType, typeof(SpatialType), DatasetType, InternalName, Label FROM Datasets"),
              (std::vector<std::vector<std::string>>{{"", "text", "Unknown", "", ""}}));
    EXPECT_EQ(stored.Rows("SELECT Type FROM DataSources"), (std::vector<std::vector<std::string>>{{""}}));
}

TEST_F(WorkspaceQueries, NamesAreMatchedExactly) {
    // A temporal type stored in another letter case is no known name.
    const auto path = folder_.File("case.veskdb");
    const _UUID uuid = NewUuid(), sourceId = NewUuid(), setId = NewUuid();
    {
        Held<IWorkspaceManager> workspace;
        ASSERT_TRUE(Library().CreateOnFilesystem(&uuid, path.c_str(), 1, workspace.Out(), nullptr));
        Held<Data::Interfaces::IProperties> properties;
        ASSERT_TRUE(Library().CreateProperties(properties.Out(), nullptr));
        Held<IWorkspaceDataSource> source;
        ASSERT_OK(workspace->CreateDataSource(&sourceId, "s", 1, properties.Get(), source.Out(), e));
        Held<IWorkspaceDataset> dataset;
        ASSERT_OK(workspace->CreateDataset(source.Get(), &setId, "d", 0, 1, 0, false, dataset.Out(), e));
        EXPECT_EQ(dataset->GetTemporalType(), TemporalType::TimeSeries);
    }
    VeskTest::SqliteReader(path).Rows("UPDATE Datasets SET TemporalType = 'timeseries'");
    Held<IWorkspaceManager> workspace;
    ASSERT_TRUE(Library().CreateOnFilesystem(&uuid, path.c_str(), 0, workspace.Out(), nullptr));
    Held<IWorkspaceDataset> dataset;
    ASSERT_OK(workspace->GetDataset(&setId, dataset.Out(), e));
    EXPECT_EQ(dataset->GetTemporalType(), TemporalType::Unknown);
    // A read-only workspace keeps changes in memory but cannot write them.
    EXPECT_NE(Fails([&](Core::IErrorCode** e) { return dataset->SetName("x", e); }), "");
}

TEST_F(WorkspaceQueries, BadInput) {
    const _UUID unknown = NewUuid();
    EXPECT_EQ(Fails([&](Core::IErrorCode** e) { return workspace_->RemoveDataSource(&unknown, e); }),
              "Row " + Text(unknown) + " does not exists any of the tables! Cannot remove!");
    EXPECT_EQ(Fails([&](Core::IErrorCode** e) { return workspace_->RemoveObject(&unknown, e); }),
              "Row " + Text(unknown) + " does not exists any of the tables! Cannot remove!");
    EXPECT_EQ(Fails([&](Core::IErrorCode** e) { return workspace_->RemoveDataset(&unknown, e); }),
              "Row " + Text(unknown) + " does not exists any of the tables! Cannot remove!");
    Held<IWorkspaceDataSource> source;
    EXPECT_OK(workspace_->GetDataSource(&unknown, source.Out(), e));
    EXPECT_FALSE(source);
    Held<IWorkspaceObject> object;
    EXPECT_OK(workspace_->GetObject(&unknown, object.Out(), e));
    EXPECT_FALSE(object);

    Held<Data::Interfaces::IProperties> properties;
    ASSERT_TRUE(Library().CreateProperties(properties.Out(), nullptr));
    Held<IWorkspaceDataSource> created;
    EXPECT_EQ(Fails([&](Core::IErrorCode** e) {
                  return workspace_->CreateDataSource(nullptr, "x", 0, properties.Get(), created.Out(), e);
              }),
              "Pointer of struct Data::Structures::_UUID must not be null!");
    EXPECT_EQ(Fails([&](Core::IErrorCode** e) {
                  return workspace_->CreateDataSource(&unknown, nullptr, 0, properties.Get(), created.Out(), e);
              }),
              "Pointer of char must not be null!");
    EXPECT_EQ(Fails([&](Core::IErrorCode** e) {
                  return workspace_->CreateDataSource(&unknown, "x", 0, nullptr, created.Out(), e);
              }),
              "Pointer of struct Data::Interfaces::IProperties must not be null!");
    Held<IWorkspaceDataset> dataset;
    EXPECT_EQ(Fails([&](Core::IErrorCode** e) {
                  return workspace_->CreateDataset(nullptr, &unknown, "x", 0, 0, 0, false, dataset.Out(), e);
              }),
              "Pointer of struct Vesk::Interfaces::IWorkspaceDataSource must not be null!");
    EXPECT_FALSE(workspace_->ContainsDataset(nullptr, nullptr));
    EXPECT_NE(Fails([&](Core::IErrorCode** e) { return workspace_->SetName(nullptr, e); }), "");
    EXPECT_EQ(Fails([&](Core::IErrorCode** e) { return workspace_->SetObjectType("x", e); }),
              "Cannot change object type of the workspace!");
    EXPECT_EQ(Fails([&](Core::IErrorCode** e) { return workspace_->SetReadOnly(true, e); }),
              "Workspace Database cannot be set as read only!");
    EXPECT_FALSE(created);
    EXPECT_FALSE(dataset);
}

TEST_F(WorkspaceQueries, SerializedImageOpensWithWhatWasWritten) {
    const _UUID noteId = NewUuid(), pendingId = NewUuid();
    Held<IWorkspaceObject> note, pending;
    ASSERT_OK(workspace_->CreateObject(nullptr, &noteId, "written", "Note", false, note.Out(), e));
    workspace_->SetAutoSave(false);
    ASSERT_OK(workspace_->CreateObject(nullptr, &pendingId, "pending", "Note", false, pending.Out(), e));
    Held<IArray> image;
    ASSERT_OK(workspace_->Serialize(image.Out(), e));
    Held<IWorkspaceManager> loaded;
    Held<Core::IErrorCode> error;
    ASSERT_TRUE(Library().LoadFromMemory(image->GetData(), image->GetByteSize(), loaded.Out(), error.Out()))
        << Message(error.Get());
    Held<IObjectList> notes;
    ASSERT_OK(loaded->GetObjectsByType("Note", notes.Out(), e));
    EXPECT_EQ(NamesIn(notes.Get()), std::vector<std::string>{"written"});
    EXPECT_EQ(UuidOf(loaded.Get()), UuidOf(workspace_.Get()));
}

TEST_F(WorkspaceQueries, GenericObjectHashDependsOnlyOnTheUuid) {
    const _UUID objectId = NewUuid();
    Held<IWorkspaceObject> object;
    ASSERT_OK(workspace_->CreateObject(nullptr, &objectId, "n", "Note", false, object.Out(), e));
    Held<IWorkspaceManager> sameUuid;
    ASSERT_TRUE(Library().CreateInMemory(&objectId, sameUuid.Out(), nullptr));
    Held<IArray> objectHash, workspaceHash;
    ASSERT_OK(object->CalculateHash(objectHash.Out(), e));
    ASSERT_OK(sameUuid->CalculateHash(workspaceHash.Out(), e));
    ASSERT_EQ(objectHash->GetByteSize(), 32u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(objectHash->GetData()), 32),
              std::string(reinterpret_cast<const char*>(workspaceHash->GetData()), 32));
}

}  // namespace
}  // namespace VeskHost
