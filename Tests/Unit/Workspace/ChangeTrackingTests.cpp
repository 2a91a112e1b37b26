// The three tables per object table, how rows move between them, and the stored enumeration names.
#include <gtest/gtest.h>

#include "Core/DataObjects.h"
#include "Core/TableAccess.h"
#include "Support/TempFolder.h"
#include "Support/Thrown.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace/WorkspaceEnums.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"
#include "Vesk/Workspace/WorkspaceObjects.h"

namespace {

using Vesk::Workspace::EnumFromText;
using Vesk::Workspace::EnumKind;
using Vesk::Workspace::EnumToText;
using Vesk::Workspace::WorkspaceTable;
using Vesk::Workspace::impl::GenericObjectImpl;
using Vesk::Workspace::impl::WorkspaceManagerImpl;
using VeskTest::MessageThrownBy;

Data::Uuid NewUuid() {
    Data::Uuid uuid{};
    EXPECT_TRUE(Data_NewUuid(&uuid));
    return uuid;
}

Core::Ptr<WorkspaceManagerImpl> OpenFile(const std::string& path, int mode, const Data::Uuid& uuid = NewUuid()) {
    return Core::MakeObject<WorkspaceManagerImpl>(uuid, path, mode, nullptr, 0);
}

Core::Ptr<WorkspaceManagerImpl> OpenMemory() {
    const std::string path = "file:" + Data::UuidToText(NewUuid()) + "?mode=memory&cache=shared";
    return Core::MakeObject<WorkspaceManagerImpl>(NewUuid(), path, Vesk::Interfaces::ReadWrite, nullptr, 0);
}

uint64_t Rows(const Core::Ptr<Data::Interfaces::ITable>& table) {
    return table->GetRowCount();
}

TEST(WorkspaceEnums, EveryNameReadsBackAsItsValue) {
    const std::pair<EnumKind, int32_t> kinds[] = {{EnumKind::DataSourceType, 23},
                                                  {EnumKind::DatasetType, 3},
                                                  {EnumKind::TemporalType, 1},
                                                  {EnumKind::SpatialType, 4}};
    for (const auto& [kind, last] : kinds) {
        for (int32_t value = -1; value <= last; ++value) {
            const std::string name = EnumToText(kind, value);
            EXPECT_FALSE(name.empty()) << value;
            EXPECT_EQ(EnumFromText(kind, name), value) << name;
        }
        EXPECT_EQ(EnumToText(kind, last + 1), "");
        EXPECT_EQ(EnumToText(kind, -2), "");
        EXPECT_EQ(EnumToText(kind, INT32_MIN), "");
        EXPECT_EQ(EnumToText(kind, INT32_MAX), "");
        EXPECT_EQ(EnumFromText(kind, ""), -1);
    }
    EXPECT_EQ(EnumToText(EnumKind::DataSourceType, 11), "FilePath");
    EXPECT_EQ(EnumToText(EnumKind::SpatialType, 3), "PointCloud");
    EXPECT_EQ(EnumFromText(EnumKind::TemporalType, "timeseries"), -1);
    EXPECT_EQ(EnumFromText(EnumKind::DatasetType, "Spatial "), -1);
}

TEST(ChangeTracking, TableAccessByIndex) {
    auto workspace = OpenMemory();
    EXPECT_EQ(workspace->GetMainTable(WorkspaceTable::Workspaces), workspace->WorkspaceRecordTable());
    EXPECT_EQ(workspace->GetRemoveTable(WorkspaceTable::Workspaces), workspace->WorkspaceRecordTable());
    EXPECT_FALSE(workspace->GetInsertTable(WorkspaceTable::Workspaces));
    EXPECT_EQ(workspace->GetInsertTable(WorkspaceTable::Datasets), workspace->Tables(WorkspaceTable::Datasets).insert);
    EXPECT_EQ(MessageThrownBy([&] { workspace->GetMainTable(static_cast<WorkspaceTable>(7)); }),
              "Table  is invalid for the current workspace!");
}

TEST(ChangeTracking, RowsMoveBetweenTheThreeTables) {
    auto workspace = OpenMemory();
    workspace->SetAutoSave(false);
    const auto& tables = workspace->Tables(WorkspaceTable::GenericObjects);
    const Data::Uuid neverWritten = NewUuid(), written = NewUuid();
    GenericObjectImpl::Create(workspace, nullptr, neverWritten, "a", "Note", false);
    GenericObjectImpl::Create(workspace, nullptr, written, "b", "Note", false);
    EXPECT_EQ(Rows(tables.insert), 2u);
    EXPECT_TRUE(workspace->HasUnsavedChanges());

    workspace->RemoveRow(neverWritten, WorkspaceTable::GenericObjects);
    EXPECT_EQ(Rows(tables.insert), 1u);
    EXPECT_EQ(Rows(tables.remove), 0u);

    workspace->SaveTableChanges(WorkspaceTable::GenericObjects);
    EXPECT_EQ(Rows(tables.insert), 0u);
    EXPECT_EQ(Rows(tables.main), 1u);
    EXPECT_FALSE(Data::RowAt(tables.main, 0)->HasChanges());
    EXPECT_FALSE(workspace->HasUnsavedChanges());

    workspace->RemoveRow(written, WorkspaceTable::GenericObjects);
    EXPECT_EQ(Rows(tables.main), 0u);
    EXPECT_EQ(Rows(tables.remove), 1u);
    EXPECT_FALSE(workspace->FindRow(WorkspaceTable::GenericObjects, written));
    EXPECT_TRUE(workspace->HasUnsavedChanges());

    // An object's Discard takes back a pending removal.
    workspace->DiscardRow(written, WorkspaceTable::GenericObjects);
    EXPECT_EQ(Rows(tables.remove), 0u);
    EXPECT_TRUE(workspace->FindRow(WorkspaceTable::GenericObjects, written));
    EXPECT_FALSE(workspace->HasUnsavedChanges());

    EXPECT_EQ(MessageThrownBy([&] { workspace->RemoveRow(neverWritten, WorkspaceTable::GenericObjects); }),
              "Row " + Data::UuidToText(neverWritten) + " does not exists any of the tables! Cannot remove!");
}

TEST(ChangeTracking, SingleRowWritesAreRefusedUnderATransaction) {
    auto workspace = OpenMemory();
    const Data::Uuid uuid = NewUuid();
    GenericObjectImpl::Create(workspace, nullptr, uuid, "a", "Note", false);
    ASSERT_TRUE(workspace->BeginTransaction(nullptr));
    EXPECT_FALSE(workspace->SavesAtOnce());
    EXPECT_EQ(MessageThrownBy([&] {
                  workspace->SaveRowChanges(workspace->FindRow(WorkspaceTable::GenericObjects, uuid),
                                            WorkspaceTable::GenericObjects);
              }),
              "Transaction is in progress. Cannot save changes on the object alone!");
    ASSERT_TRUE(workspace->Save(nullptr));
    EXPECT_TRUE(workspace->SavesAtOnce());
}

TEST(ChangeTracking, ReopenedRowsHoldUuidValuesAndStillWriteBack) {
    // Loaded rows key on Uuid values, new rows on texts; both must find their database row.
    VeskTest::TempFolder folder;
    const std::string path = folder.File("w.veskdb");
    const Data::Uuid uuid = NewUuid(), parent = NewUuid();
    {
        auto workspace = OpenFile(path, Vesk::Interfaces::ReadWrite);
        GenericObjectImpl::Create(workspace, nullptr, parent, "p", "Note", false);
        GenericObjectImpl::Create(workspace, &parent, uuid, "a", "Note", false);
        const auto row = workspace->FindRow(WorkspaceTable::GenericObjects, uuid);
        EXPECT_EQ(Data::CellNamed(row, "Uuid").Type(), Data::Structures::VT_String);
    }
    {
        auto workspace = OpenFile(path, Vesk::Interfaces::ReadWrite);
        const auto row = workspace->FindRow(WorkspaceTable::GenericObjects, uuid);
        ASSERT_TRUE(row);
        EXPECT_EQ(Data::CellNamed(row, "Uuid").Type(), Data::Structures::VT_Uuid);
        EXPECT_EQ(Data::CellNamed(row, "ParentUuid").Type(), Data::Structures::VT_Uuid);
        EXPECT_TRUE(Core::MakeObject<GenericObjectImpl>(workspace, uuid)->SetName("changed", nullptr));
    }
    auto workspace = OpenFile(path, Vesk::Interfaces::ReadOnly);
    EXPECT_EQ(Data::CellNamed(workspace->FindRow(WorkspaceTable::GenericObjects, uuid), "Name").Text(), "changed");
    // The parent link was written back as text, so children are still found by it.
    const auto children = workspace->FindRows(WorkspaceTable::GenericObjects, [&](const auto& row) {
        return Data::CellNamed(row, "ParentUuid").Type() == Data::Structures::VT_Uuid &&
               Data::UuidToText(Data::CellNamed(row, "ParentUuid").ToUuid()) == Data::UuidToText(parent);
    });
    EXPECT_EQ(children.size(), 1u);
}

}  // namespace
