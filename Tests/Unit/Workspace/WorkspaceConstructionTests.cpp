// What construction leaves in memory: the loaded tables, the secret, the connection kept or closed.
#include <gtest/gtest.h>

#include "Core/DataObjects.h"
#include "Core/Guard.h"
#include "Support/TempFolder.h"
#include "Support/Thrown.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"

namespace {

using Vesk::Workspace::WorkspaceTable;
using Vesk::Workspace::impl::WorkspaceManagerImpl;

Data::Uuid NewUuid() {
    Data::Uuid uuid{};
    EXPECT_TRUE(Data_NewUuid(&uuid));
    return uuid;
}

Core::Ptr<WorkspaceManagerImpl> Open(const std::string& path, int mode, const Data::Uuid& uuid = NewUuid()) {
    return Core::MakeObject<WorkspaceManagerImpl>(uuid, path, mode, nullptr, 0);
}

std::string SecretText(const WorkspaceManagerImpl& workspace) {
    const auto& secret = workspace.Secret();
    return std::string(secret->GetText(), secret->GetLength());
}

TEST(WorkspaceConstruction, TablesAreLoadedWithTheirKeysAndEmptyCompanions) {
    VeskTest::TempFolder folder;
    auto workspace = Open(folder.File("w.veskdb"), Vesk::Interfaces::ReadWritePersistent);
    EXPECT_EQ(workspace->WorkspaceRecordTable()->GetRowCount(), 1u);
    EXPECT_STREQ(workspace->WorkspaceRecordTable()->GetKeyColumn(), "Uuid");
    for (WorkspaceTable table : {WorkspaceTable::DataSources, WorkspaceTable::Datasets, WorkspaceTable::Properties,
                                 WorkspaceTable::GenericObjects}) {
        const auto& tracked = workspace->Tables(table);
        EXPECT_STREQ(tracked.main->GetKeyColumn(), "Uuid");
        EXPECT_EQ(tracked.main->GetRowCount(), 0u);
        EXPECT_EQ(tracked.insert->GetColumnCount(), tracked.main->GetColumnCount());
        EXPECT_EQ(tracked.remove->GetColumnCount(), tracked.main->GetColumnCount());
    }
    // The record is only ever updated: it has no companions of its own.
    EXPECT_FALSE(workspace->GetInsertTable(WorkspaceTable::Workspaces));
    EXPECT_EQ(VeskTest::MessageThrownBy([&] { workspace->Tables(WorkspaceTable::Workspaces); }),
              "Table Workspaces is invalid for the current workspace!");
    EXPECT_EQ(VeskTest::MessageThrownBy([&] { workspace->GetMainTable(static_cast<WorkspaceTable>(7)); }),
              "Table  is invalid for the current workspace!");
}

TEST(WorkspaceConstruction, SecretIsTheHexDigestOfTheUuid) {
    const Data::Uuid uuid = Data::UuidFromText("00112233-4455-6677-8899-aabbccddeeff");
    auto workspace = Core::MakeObject<WorkspaceManagerImpl>(uuid, "file:secret-kat?mode=memory&cache=shared",
                                                            Vesk::Interfaces::ReadWrite, nullptr, 0);
    // SHA-256 of the bytes 00 11 22 ... ff, computed with Python's hashlib.
    EXPECT_EQ(SecretText(*workspace), "a8faed6abbf35c12a4b26e40f6feb19d736d90045c83b9f9a31f638d323e6811");
}

TEST(WorkspaceConstruction, FileConnectionIsKeptOnlyInPersistentMode) {
    VeskTest::TempFolder folder;
    const std::string path = folder.File("w.veskdb");
    Core::ErrorCode error;
    Core::Ptr<Data::Interfaces::IArray> image;
    EXPECT_FALSE(Open(path, Vesk::Interfaces::ReadWrite)->Serialize(image.Receive(), error.Receive()));
    EXPECT_EQ(std::string(error.Message()), "Interface is not accessible: struct Vesk::Data::SQLite::impl::SQLiteImpl");
    EXPECT_TRUE(Open(path, Vesk::Interfaces::ReadWritePersistent)->Serialize(image.Receive(), nullptr));
    EXPECT_GT(image->GetByteSize(), 0u);
}

TEST(WorkspaceConstruction, WritableImageGrowsBeyondItsOriginalSize) {
    const Data::Uuid uuid = NewUuid();
    auto source = Core::MakeObject<WorkspaceManagerImpl>(
        uuid, "file:" + Data::UuidToText(uuid) + "?mode=memory&cache=shared", Vesk::Interfaces::ReadWrite, nullptr, 0);
    Core::Ptr<Data::Interfaces::IArray> image;
    ASSERT_TRUE(source->Serialize(image.Receive(), nullptr));
    const uint64_t originalSize = image->GetByteSize();

    auto copy = Core::MakeObject<WorkspaceManagerImpl>(NewUuid(), "file:x?mode=memory", Vesk::Interfaces::ReadWrite,
                                                       image->GetData(), originalSize);
    // Writing well past the image's size must not fail with "database or disk is full".
    Vesk::Data::SQLite::ExecuteScript(copy->CurrentConnection(),
                                      "CREATE TABLE Big (Payload BLOB);"
                                      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200)"
                                      " INSERT INTO Big SELECT zeroblob(4096) FROM n;");
    Core::Ptr<Data::Interfaces::IArray> grown;
    ASSERT_TRUE(copy->Serialize(grown.Receive(), nullptr));
    EXPECT_GT(grown->GetByteSize(), originalSize + 200 * 4096);
}

}  // namespace
