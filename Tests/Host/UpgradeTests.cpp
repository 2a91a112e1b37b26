// Workspaces written by older versions of the library, opened through the exports as a host does.
#include "HostFixture.h"
#include "Support/Fixtures.h"
#include "Support/SqliteReader.h"

namespace VeskHost {
namespace {

using Vesk::Interfaces::IWorkspaceManager;
using Rows = std::vector<std::vector<std::string>>;

class OlderWorkspace : public HostTest {
protected:
    std::string Build(const std::string& fixture) {
        const std::string path = folder_.File("old.veskdb");
        VeskTest::BuildFromFixture(fixture, path);
        return path;
    }
};

TEST_F(OlderWorkspace, Version1FileOpensUpgradedWithItsOwnRecord) {
    const std::string path = Build("WorkspaceVersion1.sql");
    const auto uuid = NewUuid();
    Held<IWorkspaceManager> workspace;
    Held<Core::IErrorCode> error;
    ASSERT_TRUE(
        Library().CreateOnFilesystem(&uuid, path.c_str(), Vesk::Interfaces::ReadWrite, workspace.Out(), error.Out()))
        << Message(error.Get());
    EXPECT_EQ(UuidOf(workspace.Get()), "5b0e7c1a-3f2d-4c6b-9a8e-1d2c3b4a5f60");
    Held<Data::Interfaces::IString> name;
    ASSERT_TRUE(workspace->GetName(name.Out(), nullptr));
    EXPECT_STREQ(name->GetText(), "Legacy");

    VeskTest::SqliteReader db(path);
    EXPECT_EQ(db.Value("SELECT Version FROM Workspaces"), "3");
    EXPECT_EQ(db.Rows("SELECT Name, DatasetType, TemporalType, SpatialType FROM Datasets ORDER BY Name"),
              (Rows{{"Rivers", "Spatial", "None", "None"}, {"Traffic counts", "Generic", "None", "None"}}));
    EXPECT_EQ(db.Rows("SELECT d.Name, CAST(p.PropertyValue AS TEXT) FROM Properties p JOIN DataSources d "
                      "ON d.Uuid = p.WorkspaceObjectUuid WHERE p.PropertyName = 'FilePath' ORDER BY d.Name"),
              (Rows{{"Rivers", "/data/hydrology/rivers.shp"}, {"Roads", "/data/transport/roads.gpkg"}}));
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM sqlite_master WHERE name IN ('AttributeSchemas', 'Styles', "
                       "'RasterFeatureEquations', 'ValidationRules')"),
              "0");
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
    Held<Core::IErrorCode> error;
    ASSERT_TRUE(Library().LoadFromMemory1(image.data(), image.size(), Vesk::Interfaces::ReadWrite, workspace.Out(),
                                          error.Out()))
        << Message(error.Get());
    EXPECT_EQ(image, copy);
    Held<Data::Interfaces::IArray> upgraded;
    ASSERT_TRUE(workspace->Serialize(upgraded.Out(), error.Out())) << Message(error.Get());
    VeskTest::SqliteReader db(upgraded->GetData(), upgraded->GetByteSize());
    EXPECT_EQ(db.Value("SELECT Version FROM Workspaces"), "3");
    EXPECT_EQ(db.Value("SELECT group_concat(SpatialType) FROM Datasets"), "None,None");
}

}  // namespace
}  // namespace VeskHost
