// Editing a workspace as a host does: data sources, datasets and generic objects made, changed and removed,
// written at once, under a transaction or by Save, and read back from a freshly opened workspace.
#include <algorithm>
#include <functional>

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

// Where the workspace lives: a file opened for each write, a file kept open, shared memory.
enum class Where { FileReadWrite, FileKeptOpen, Memory };
const char* const kWhereNames[] = {"FileReadWrite", "FileKeptOpen", "Memory"};

class WorkspaceEditing : public HostTest, public ::testing::WithParamInterface<Where> {
protected:
    void SetUp() override { uuid_ = NewUuid(); }

    // Opens the workspace anew: the file again, or another connection to the shared memory database.
    void Open(Held<IWorkspaceManager>& workspace) {
        const int mode =
            GetParam() == Where::FileReadWrite ? Vesk::Interfaces::ReadWrite : Vesk::Interfaces::ReadWritePersistent;
        ASSERT_OK(GetParam() == Where::Memory
                      ? Library().CreateInMemory(&uuid_, workspace.Out(), e)
                      : Library().CreateOnFilesystem(&uuid_, Path().c_str(), mode, workspace.Out(), e));
    }

    std::string Path() { return folder_.File("edit.veskdb"); }

    // Rows of the database as another program sees them (for memory, through an image of it).
    Rows Stored(IWorkspaceManager* workspace, const std::string& sql) {
        if (GetParam() != Where::Memory) {
            return VeskTest::SqliteReader(Path()).Rows(sql);
        }
        Held<IArray> image;
        EXPECT_OK(workspace->Serialize(image.Out(), e));
        return VeskTest::SqliteReader(image->GetData(), image->GetByteSize()).Rows(sql);
    }

    _UUID uuid_{};
};

INSTANTIATE_TEST_SUITE_P(Modes, WorkspaceEditing,
                         ::testing::Values(Where::FileReadWrite, Where::FileKeptOpen, Where::Memory),
                         [](const ::testing::TestParamInfo<Where>& info) {
                             return kWhereNames[static_cast<int>(info.param)];
                         });

TEST_P(WorkspaceEditing, EveryKindSurvivesReopeningAfterCreationChangeAndRemoval) {
    Held<IWorkspaceManager> first;
    ASSERT_NO_FATAL_FAILURE(Open(first));
    const _UUID sourceId = NewUuid(), datasetId = NewUuid(), parentId = NewUuid(), childId = NewUuid();
    const _UUID typeId = NewUuid();
    {
        Held<IWorkspaceDataSource> source;
        ASSERT_OK(first->CreateDataSource(&sourceId, "roads", static_cast<int>(DataSourceType::FilePath),
                                          NoProperties(), source.Out(), e));
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
    EXPECT_EQ(Stored(second.Get(), "SELECT Name, Type FROM DataSources"), (Rows{{"streets", "WebMapService"}}));
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
    // The data source's datasets go with the next write of the datasets, not at once.
    const std::string counts =
        "SELECT (SELECT COUNT(*) FROM GenericObjects), (SELECT COUNT(*) FROM DataSources), "
        "(SELECT COUNT(*) FROM Datasets)";
    EXPECT_EQ(Stored(third.Get(), counts), (Rows{{"0", "0", "1"}}));
    EXPECT_NE(FAILURE_OF(third->Reload(e)), "");
    ASSERT_OK(third->Save(e));
    EXPECT_EQ(Stored(third.Get(), counts), (Rows{{"0", "0", "0"}}));
    Held<IString> name;
    EXPECT_EQ(FAILURE_OF(child->GetName(name.Out(), e)),
              "Null pointer exception! Interface is not accessible: struct Data::Interfaces::IRow");
}

TEST_P(WorkspaceEditing, WithoutAutoSaveChangesWaitForSave) {
    Held<IWorkspaceManager> workspace;
    ASSERT_NO_FATAL_FAILURE(Open(workspace));
    workspace->SetAutoSave(false);
    const _UUID objectId = NewUuid();
    Held<IWorkspaceObject> object;
    ASSERT_OK(workspace->CreateObject(nullptr, &objectId, "pending", "Note", false, object.Out(), e));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT COUNT(*) FROM GenericObjects"), (Rows{{"0"}}));
    EXPECT_EQ(FAILURE_OF(workspace->Reload(e)),
              "Database state contains changes that were not yet written into the file. Reload cancelled to prevent "
              "data loss! (" +
                  UuidOf(workspace.Get()) + ")");
    ASSERT_OK(workspace->Save(e));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT Name, ObjectType, ParentUuid FROM GenericObjects"),
              (Rows{{"pending", "Note", "NULL"}}));
    EXPECT_OK(workspace->Reload(e));

    // A change to a saved row is written only by Save as well, and Updated moves with the write.
    Held<Data::Interfaces::IDateTime> before;
    ASSERT_OK(object->GetUpdated(before.Out(), e));
    EXPECT_OK(object->SetName("changed", e));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT Name FROM GenericObjects"), (Rows{{"pending"}}));
    EXPECT_OK(object->Save(e));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT Name FROM GenericObjects"), (Rows{{"changed"}}));
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

    // Discarding an object takes back its pending removal.
    EXPECT_OK(workspace->RemoveObject(&objectId, e));
    EXPECT_OK(object->Discard(e));
    ASSERT_OK(workspace->GetObject(&objectId, lookedUp.Out(), e));
    ASSERT_TRUE(lookedUp);
    EXPECT_EQ(NameOf(lookedUp.Get()), "changed");
    EXPECT_OK(workspace->Reload(e));

    // A pending removal is written by the object's own Save while the workspace's other changes wait.
    EXPECT_OK(workspace->SetDescription("waiting", e));
    EXPECT_OK(workspace->RemoveObject(&objectId, e));
    EXPECT_OK(object->Save(e));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT (SELECT COUNT(*) FROM GenericObjects), Description FROM Workspaces"),
              (Rows{{"0", ""}}));
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
    EXPECT_EQ(Stored(workspace.Get(), "SELECT COUNT(*) FROM DataSources"), (Rows{{"0"}}));
}

TEST_P(WorkspaceEditing, TransactionsCommitOrRollBackEverything) {
    Held<IWorkspaceManager> workspace;
    ASSERT_NO_FATAL_FAILURE(Open(workspace));
    const std::string uuidText = UuidOf(workspace.Get());
    const _UUID keptId = NewUuid(), droppedId = NewUuid();

    ASSERT_OK(workspace->BeginTransaction(e));
    Held<IWorkspaceObject> dropped;
    ASSERT_OK(workspace->CreateObject(nullptr, &droppedId, "dropped", "Note", false, dropped.Out(), e));
    EXPECT_EQ(FAILURE_OF(dropped->Save(e)), "Transaction is in progress. Cannot save changes on the object alone!");
    EXPECT_EQ(FAILURE_OF(workspace->Reload(e)),
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
    EXPECT_EQ(Stored(workspace.Get(), "SELECT COUNT(*) FROM GenericObjects"), (Rows{{"0"}}));
    ASSERT_OK(workspace->Save(e));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT g.Name, w.Name FROM GenericObjects g, Workspaces w"),
              (Rows{{"kept", "committed"}}));
    // After the commit, single changes are written at once again.
    EXPECT_OK(kept->SetName("again", e));
    EXPECT_EQ(Stored(workspace.Get(), "SELECT Name FROM GenericObjects"), (Rows{{"again"}}));
}

TEST_P(WorkspaceEditing, GenericObjectsGoWithTheirWholeSubtree) {
    Held<IWorkspaceManager> workspace;
    ASSERT_NO_FATAL_FAILURE(Open(workspace));
    const _UUID root = NewUuid(), child = NewUuid(), grandchild = NewUuid(), other = NewUuid();
    const _UUID late = NewUuid(), lateChild = NewUuid();
    auto create = [&](const _UUID* parent, const _UUID* id, const char* name) {
        Held<IWorkspaceObject> object;
        EXPECT_OK(workspace->CreateObject(parent, id, name, "Node", false, object.Out(), e));
    };
    create(nullptr, &root, "root");
    create(&root, &child, "child");
    create(&child, &grandchild, "grandchild");
    create(nullptr, &other, "other");
    Held<IObjectList> children;
    ASSERT_OK(workspace->GetObjectsByParent(&root, children.Out(), e));
    EXPECT_EQ(NamesIn(children.Get()), std::vector<std::string>{"child"});
    EXPECT_OK(workspace->RemoveObject(&child, e));
    // Removals one after another, with creations between them: each sees the tree as it is now.
    create(&root, &late, "late");
    create(&late, &lateChild, "lateChild");
    EXPECT_OK(workspace->RemoveObject(&root, e));
    Held<IObjectList> left;
    ASSERT_OK(workspace->GetObjectsByType("Node", left.Out(), e));
    EXPECT_EQ(NamesIn(left.Get()), std::vector<std::string>{"other"});
    EXPECT_EQ(Stored(workspace.Get(), "SELECT Name FROM GenericObjects"), (Rows{{"other"}}));
}

class WorkspaceQueries : public HostTest {
protected:
    void SetUp() override {
        const auto uuid = NewUuid();
        ASSERT_OK(Library().CreateInMemory(&uuid, workspace_.Out(), e));
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
    Held<IWorkspaceObject> missingParent, unknownParent;
    EXPECT_EQ(FAILURE_OF(workspace_->CreateObject(nullptr, &setId, "orphan", "dataset", false, missingParent.Out(), e)),
              "Failed to insert Dataset orphan! Missing parent object id (DataSource Uuid)");
    EXPECT_EQ(FAILURE_OF(workspace_->CreateObject(&unknown, &setId, "stray", "Dataset", false, unknownParent.Out(), e)),
              "Cannot update dataset since it replaces datasource with non existing datasource. Add datasource first "
              "then dataset can be replaced! Name stray, New datasource id which does not exists: " +
                  Text(unknown));
    // The failed dataset left no row behind that a later creation would trip over.
    Held<IObjectList> none;
    ASSERT_OK(workspace_->GetDatasets(none.Out(), e));
    EXPECT_EQ(none->GetCount(), 0u);

    Held<IWorkspaceObject> note, again;
    ASSERT_OK(workspace_->CreateObject(nullptr, &noteId, "n", "Note", false, note.Out(), e));
    EXPECT_EQ(FAILURE_OF(workspace_->CreateObject(nullptr, &noteId, "n2", "Note", false, again.Out(), e)),
              "Cannot create new row because row with id " + Text(noteId) + " already exists!");

    // Creating a data source over an existing one updates it.
    Held<IWorkspaceDataSource> first, second;
    ASSERT_OK(workspace_->CreateDataSource(&sourceId, "one", 11, NoProperties(), first.Out(), e));
    EXPECT_OK(first->SetEnableCache(true, e));
    ASSERT_OK(workspace_->CreateDataSource(&sourceId, "two", 14, NoProperties(), second.Out(), e));
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
    Held<IWorkspaceDataSource> source;
    ASSERT_OK(workspace_->CreateDataSource(&sourceId, "s", 99, NoProperties(), source.Out(), e));
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
              (Rows{{"", "text", "Unknown", "", ""}}));
    EXPECT_EQ(stored.Rows("SELECT Type FROM DataSources"), (Rows{{""}}));
}

TEST_F(WorkspaceQueries, NamesAreMatchedExactly) {
    // A temporal type stored in another letter case is no known name.
    const auto path = folder_.File("case.veskdb");
    const _UUID uuid = NewUuid(), sourceId = NewUuid(), setId = NewUuid();
    {
        Held<IWorkspaceManager> workspace;
        ASSERT_OK(Library().CreateOnFilesystem(&uuid, path.c_str(), 1, workspace.Out(), e));
        Held<IWorkspaceDataSource> source;
        ASSERT_OK(workspace->CreateDataSource(&sourceId, "s", 1, NoProperties(), source.Out(), e));
        Held<IWorkspaceDataset> dataset;
        ASSERT_OK(workspace->CreateDataset(source.Get(), &setId, "d", 0, 1, 0, false, dataset.Out(), e));
        EXPECT_EQ(dataset->GetTemporalType(), TemporalType::TimeSeries);
    }
    VeskTest::SqliteReader(path).Rows("UPDATE Datasets SET TemporalType = 'timeseries'");
    Held<IWorkspaceManager> workspace;
    ASSERT_OK(Library().CreateOnFilesystem(&uuid, path.c_str(), 0, workspace.Out(), e));
    Held<IWorkspaceDataset> dataset;
    ASSERT_OK(workspace->GetDataset(&setId, dataset.Out(), e));
    EXPECT_EQ(dataset->GetTemporalType(), TemporalType::Unknown);
    // A read-only workspace keeps changes in memory but cannot write them.
    EXPECT_NE(FAILURE_OF(dataset->SetName("x", e)), "");
}

TEST_F(WorkspaceQueries, BadInput) {
    const _UUID unknown = NewUuid();
    const std::string noRow = "Row " + Text(unknown) + " does not exists any of the tables! Cannot remove!";
    Held<IWorkspaceDataSource> source;
    Held<IWorkspaceDataset> dataset;
    const std::pair<std::function<bool(Core::IErrorCode**)>, std::string> refused[] = {
        {[&](Core::IErrorCode** e) { return workspace_->RemoveDataSource(&unknown, e); }, noRow},
        {[&](Core::IErrorCode** e) { return workspace_->RemoveObject(&unknown, e); }, noRow},
        {[&](Core::IErrorCode** e) { return workspace_->RemoveDataset(&unknown, e); }, noRow},
        {[&](Core::IErrorCode** e) {
             return workspace_->CreateDataSource(nullptr, "x", 0, NoProperties(), source.Out(), e);
         },
         "Pointer of struct Data::Structures::_UUID must not be null!"},
        {[&](Core::IErrorCode** e) {
             return workspace_->CreateDataSource(&unknown, nullptr, 0, NoProperties(), source.Out(), e);
         },
         "Pointer of char must not be null!"},
        {[&](Core::IErrorCode** e) { return workspace_->CreateDataSource(&unknown, "x", 0, nullptr, source.Out(), e); },
         "Pointer of struct Data::Interfaces::IProperties must not be null!"},
        {[&](Core::IErrorCode** e) {
             return workspace_->CreateDataset(nullptr, &unknown, "x", 0, 0, 0, false, dataset.Out(), e);
         },
         "Pointer of struct Vesk::Interfaces::IWorkspaceDataSource must not be null!"},
        {[&](Core::IErrorCode** e) { return workspace_->GetUuid(nullptr, e); },
         "Pointer of struct Data::Structures::_UUID must not be null!"},
        {[&](Core::IErrorCode** e) { return workspace_->SetObjectType("x", e); },
         "Cannot change object type of the workspace!"},
        {[&](Core::IErrorCode** e) { return workspace_->SetReadOnly(true, e); },
         "Workspace Database cannot be set as read only!"},
    };
    for (const auto& [call, message] : refused) {
        EXPECT_EQ(Fails(call), message);
    }
    EXPECT_NE(FAILURE_OF(workspace_->SetName(nullptr, e)), "");
    EXPECT_FALSE(workspace_->ContainsDataset(nullptr, nullptr));
    EXPECT_FALSE(source);
    EXPECT_FALSE(dataset);
    // Looking up what is not there is no failure: it finds nothing.
    Held<IWorkspaceObject> object;
    EXPECT_OK(workspace_->GetDataSource(&unknown, source.Out(), e));
    EXPECT_OK(workspace_->GetObject(&unknown, object.Out(), e));
    EXPECT_FALSE(source);
    EXPECT_FALSE(object);
    EXPECT_EQ(TextOf(workspace_.Get(), &IWorkspaceObject::GetObjectType), "Workspace");
}

}  // namespace
}  // namespace VeskHost
