// Workspaces written by older versions of the library, opened through the exports as a host does.
#include "HostFixture.h"
#include "Support/Fixtures.h"
#include "Support/SqliteReader.h"

namespace VeskHost {
namespace {

using Vesk::Interfaces::IWorkspaceManager;

class OlderWorkspace : public HostTest {
protected:
    std::string Build(const std::string& fixture) {
        const std::string path = folder_.File("old.veskdb");
        VeskTest::BuildFromFixture(fixture, path);
        return path;
    }
};

TEST_F(OlderWorkspace, Version1FileOpensUpgradedWithItsOwnRecordAndMigratedProperties) {
    // What the upgrade writes and logs, step by step, is checked in the unit tests.
    const std::string path = Build("WorkspaceVersion1.sql");
    const auto uuid = NewUuid();
    Held<IWorkspaceManager> workspace;
    ASSERT_OK(Library().CreateOnFilesystem(&uuid, path.c_str(), Vesk::Interfaces::ReadWrite, workspace.Out(), e));
    EXPECT_EQ(UuidOf(workspace.Get()), "5b0e7c1a-3f2d-4c6b-9a8e-1d2c3b4a5f60");
    EXPECT_EQ(NameOf(workspace.Get()), "Legacy");
    // The old connection text became a property that the reloaded workspace hands out.
    Data::Structures::_UUID roads{};
    ASSERT_TRUE(Library().UuidFromString("1e2d3c4b-5a69-4786-95a4-b3c2d1e0f9a8", &roads, nullptr));
    Held<Data::Interfaces::IProperties> properties;
    ASSERT_OK(workspace->GetObjectProperties(&roads, properties.Out(), e));
    EXPECT_EQ(properties->GetCount(), 2u);
    for (const auto& [name, expected] :
         {std::pair<const char*, const char*>{"FilePath", "/data/transport/roads.gpkg"}, {"Colour", "#336699"}}) {
        Data::Structures::_VARIANT value{};
        ASSERT_TRUE(properties->GetValue(name, &value, nullptr)) << name;
        EXPECT_EQ(ValueText(value), expected);
        Data::Structures::VariantClear(&value);
    }
    VeskTest::SqliteReader db(path);
    EXPECT_EQ(db.Value("SELECT Version FROM Workspaces"), "3");
    EXPECT_EQ(db.Value("PRAGMA integrity_check"), "ok");
}

TEST_F(OlderWorkspace, FailedUpgradeRefusesTheWorkspaceAndKeepsTheFile) {
    const std::string path = Build("WorkspaceVersion1FailingAlter.sql");
    const std::string before = VeskTest::FileBytes(path);
    const auto uuid = NewUuid();
    Held<IWorkspaceManager> workspace;
    Held<Core::IErrorCode> error;
    EXPECT_FALSE(
        Library().CreateOnFilesystem(&uuid, path.c_str(), Vesk::Interfaces::ReadWrite, workspace.Out(), error.Out()));
    EXPECT_FALSE(workspace);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->GetCode(), 2);
    EXPECT_EQ(Message(error.Get()),
              "Prepared statement error! ALTER TABLE Datasets ADD COLUMN \"TemporalType\" NOT NULL DEFAULT 'None' "
              "[duplicate column name: TemporalType]");
    EXPECT_EQ(VeskTest::FileBytes(path), before);
}

TEST_F(OlderWorkspace, Version2ImageIsUpgradedWithoutTouchingTheCallersBytes) {
    const std::string path = Build("WorkspaceVersion2.sql");
    const std::string image = VeskTest::FileBytes(path);
    const std::string copy = image;
    Held<IWorkspaceManager> workspace;
    ASSERT_OK(Library().LoadFromMemory1(image.data(), image.size(), Vesk::Interfaces::ReadWrite, workspace.Out(), e));
    EXPECT_EQ(image, copy);
    Held<Data::Interfaces::IArray> upgraded;
    ASSERT_OK(workspace->Serialize(upgraded.Out(), e));
    VeskTest::SqliteReader db(upgraded->GetData(), upgraded->GetByteSize());
    EXPECT_EQ(db.Rows("SELECT Version, (SELECT group_concat(SpatialType) FROM Datasets) FROM Workspaces"),
              (Rows{{"3", "None,None"}}));
}

}  // namespace
}  // namespace VeskHost
