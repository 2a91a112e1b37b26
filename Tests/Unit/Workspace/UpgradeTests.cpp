// Opening databases of older (and newer) data-model versions: what the upgrade writes, what it logs,
// and that a failed upgrade leaves the file exactly as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "Core/DataObjects.h"
#include "Support/Fixtures.h"
#include "Support/LogCapture.h"
#include "Support/SqliteReader.h"
#include "Support/TempFolder.h"
#include "Support/Thrown.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"

namespace {

using Vesk::Workspace::WorkspaceTable;
using Vesk::Workspace::impl::WorkspaceManagerImpl;
using Rows = std::vector<std::vector<std::string>>;

constexpr const char* kLegacy = "Legacy (5b0e7c1a-3f2d-4c6b-9a8e-1d2c3b4a5f60)";
constexpr const char* kRivers = "0d1c2b3a-4958-4675-8493-a2b1c0d9e8f7";
constexpr const char* kRoads = "1e2d3c4b-5a69-4786-95a4-b3c2d1e0f9a8";

Data::Uuid NewUuid() {
    Data::Uuid uuid{};
    EXPECT_TRUE(Data_NewUuid(&uuid));
    return uuid;
}

Core::Ptr<WorkspaceManagerImpl> Open(const std::string& path, int mode) {
    return Core::MakeObject<WorkspaceManagerImpl>(NewUuid(), path, mode, nullptr, 0);
}

std::string TablesOf(VeskTest::SqliteReader& db) {
    return db.Value(
        "SELECT group_concat(name) FROM (SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name)");
}

// The lines from the first one that starts with from on.
std::vector<std::string> LinesFrom(const VeskTest::LogCapture& log, const std::string& from) {
    const auto lines = log.Lines();
    auto first = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(from, 0) == 0; });
    return std::vector<std::string>(first, lines.end());
}

class Upgrade : public ::testing::Test {
protected:
    std::string Build(const std::string& fixture) {
        const std::string path = folder_.File("w.veskdb");
        VeskTest::BuildFromFixture(fixture, path);
        return path;
    }

    VeskTest::TempFolder folder_;
};

TEST_F(Upgrade, Version1FileIsMigratedStepByStepAndLogged) {
    const std::string path = Build("WorkspaceVersion1.sql");
    VeskTest::LogCapture log(false);
    auto workspace = Open(path, Vesk::Interfaces::ReadWrite);
    const std::string on = std::string(" for workspace ") + kLegacy + ".";
    const std::vector<std::string> expected = {
        std::string("WARN: Workspace ") + kLegacy +
            " is not at latest version! Datamodel upgrade will be attempted in separate transaction...",
        "INFO: Migrating data from version 1 to version 2" + on,
        "INFO: Table DataSources got Connection row removed. Connection content will be migrated to the Properties "
        "table via FilePath key. This was the only usage found in the wild.",
        "INFO: Table DataSources got TypeIdentifier column added. No migration needed.",
        "INFO: Table Datasets got Type row removed and DatasetType added. Type will be migrated to DatasetType.",
        "INFO: Table Datasets got TemporalType row added. No migration needed since no temporal datasets exists yet.",
        "INFO: Table AttributeSchemas was removed. No migration needed.",
        "INFO: Table Styles was removed. No migration needed.",
        "INFO: Table RasterFeatureEquations was removed. No migration needed.",
        "INFO: Table ValidationRules was removed. No migration needed.",
        "INFO: Migrating data from version 2 to version 3" + on,
        "INFO: Table Datasets got SpatialType row added. Existing datasets will need to have SpatialType manually set "
        "from None to appropriate type.",
        std::string("INFO: Upgrade to version 3 successful on workspace ") + kLegacy + ". Saving changes...",
        std::string("INFO: Save completed. Reloading workspace ") + kLegacy + ".",
        std::string("INFO: Workspace ") + kLegacy + " reloaded.",
    };
    EXPECT_EQ(LinesFrom(log, "WARN: "), expected);

    VeskTest::SqliteReader db(path);
    EXPECT_EQ(db.Value("SELECT Version FROM Workspaces"), "3");
    EXPECT_EQ(db.Value("SELECT typeof(Description) FROM Workspaces"), "text");
    EXPECT_NE(db.Value("SELECT Updated FROM Workspaces"), "2019-03-02T11:30:00.000Z");
    EXPECT_EQ(TablesOf(db), "DataSources,Datasets,GenericObjects,Properties,Workspaces");
    EXPECT_EQ(db.Value("SELECT group_concat(name) FROM pragma_table_info('DataSources')"),
              "Uuid,Name,Description,Type,Connection,EnableCache,ReadOnly,Inserted,Updated,TypeIdentifier");
    EXPECT_EQ(db.Rows("SELECT Name, Type, DatasetType, TemporalType, SpatialType FROM Datasets ORDER BY Name"),
              (Rows{{"Rivers", "Spatial", "Spatial", "None", "None"},
                    {"Traffic counts", "Generic", "Generic", "None", "None"}}));
    EXPECT_EQ(db.Value("SELECT Connection FROM DataSources WHERE Name = 'Rivers'"), "/data/hydrology/rivers.shp");
    EXPECT_EQ(db.Rows("SELECT WorkspaceObjectUuid, PropertyGroup, CAST(PropertyValue AS TEXT), PropertyValueType, "
                      "IsRequired FROM Properties WHERE PropertyName = 'FilePath' ORDER BY WorkspaceObjectUuid"),
              (Rows{{kRivers, "", "/data/hydrology/rivers.shp", "19", "1"},
                    {kRoads, "", "/data/transport/roads.gpkg", "19", "1"}}));

    // What is in memory was loaded again from the upgraded file; the host tests read it through the exports.
    EXPECT_EQ(workspace->StoredVersion(), 3);
}

TEST_F(Upgrade, EmptyTablesAreRecreatedWithTheCurrentSchema) {
    const std::string path = Build("WorkspaceVersion1Empty.sql");
    VeskTest::LogCapture log(false);
    auto workspace = Open(path, Vesk::Interfaces::ReadWritePersistent);
    const std::string on = " for workspace Empty (7e8d9c0b-1a2f-4dec-bb0a-b9c8d7e6f5a4).";
    std::vector<std::string> expected = {
        "INFO: No existing records found during migration. Recreating DataSources table" + on,
        "INFO: No existing records found during migration. Recreating Datasets table" + on,
        "INFO: No existing records found during migration. Recreating Properties table" + on,
        "INFO: No existing records found during migration. Recreating GenericObjects table" + on,
        "INFO: Migrating data from version 1 to version 2" + on,
        "INFO: Table AttributeSchemas was removed. No migration needed.",
        "INFO: Table Styles was removed. No migration needed.",
        "INFO: Table RasterFeatureEquations was removed. No migration needed.",
        "INFO: Table ValidationRules was removed. No migration needed.",
        "INFO: Migrating data from version 2 to version 3" + on,
    };
    auto lines = LinesFrom(log, "INFO: No existing records");
    lines.resize(std::min(lines.size(), expected.size()));
    EXPECT_EQ(lines, expected);

    // The recreated tables are those of a workspace made new.
    const std::string fresh = folder_.File("fresh.veskdb");
    Open(fresh, Vesk::Interfaces::ReadWrite);
    const std::string schema =
        "SELECT group_concat(sql, ';') FROM (SELECT sql FROM sqlite_master WHERE name <> 'Workspaces' ORDER BY name)";
    VeskTest::SqliteReader db(path);
    EXPECT_EQ(db.Value(schema), VeskTest::SqliteReader(fresh).Value(schema));
    EXPECT_EQ(TablesOf(db), "DataSources,Datasets,GenericObjects,Properties,Workspaces");
    EXPECT_EQ(db.Value("SELECT Version FROM Workspaces"), "3");
    // Mode 2 keeps its connection through the upgrade and after it.
    Core::Ptr<Data::Interfaces::IArray> image;
    EXPECT_TRUE(workspace->Serialize(image.Receive(), nullptr));
}

TEST_F(Upgrade, FailedAlterLeavesTheFileAsItWas) {
    // The host tests check the message through the exports and that the file keeps every byte.
    const std::string path = Build("WorkspaceVersion1FailingAlter.sql");
    VeskTest::LogCapture log(false);
    const std::string message = VeskTest::MessageThrownBy([&] { Open(path, Vesk::Interfaces::ReadWrite); });
    EXPECT_NE(message.find("duplicate column name: TemporalType"), std::string::npos) << message;
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));

    const auto fatal = log.LinesStartingWith("FATAL: Failed to upgrade");
    ASSERT_EQ(fatal.size(), 1u);
    EXPECT_EQ(fatal[0],
              "FATAL: Failed to upgrade workspace Broken (cd3e4f5a-6b7c-4d8e-af90-1b2c3d4e5f6a) to latest version. "
              "Changes will be discarded. Message: " +
                  message);
    EXPECT_TRUE(log.LinesStartingWith("INFO: Upgrade to version").empty());
    // The steps before the failing one had run inside the discarded transaction.
    EXPECT_EQ(log.LinesStartingWith("INFO: Table Datasets got Type row removed").size(), 1u);
}

TEST_F(Upgrade, Version2NeedsAWritableOpeningAndGetsSpatialTypeNone) {
    const std::string path = Build("WorkspaceVersion2.sql");
    const std::string before = VeskTest::FileBytes(path);
    VeskTest::LogCapture log(false);
    EXPECT_NE(VeskTest::MessageThrownBy([&] { Open(path, Vesk::Interfaces::ReadOnly); }).find("readonly"),
              std::string::npos);
    EXPECT_EQ(log.LinesStartingWith("FATAL: Failed to upgrade workspace Survey").size(), 1u);
    EXPECT_EQ(VeskTest::FileBytes(path), before);

    auto workspace = Open(path, Vesk::Interfaces::ReadWrite);
    EXPECT_TRUE(log.LinesStartingWith("INFO: Migrating data from version 1").empty());
    EXPECT_EQ(log.LinesStartingWith("INFO: Migrating data from version 2").size(), 1u);
    VeskTest::SqliteReader db(path);
    EXPECT_EQ(db.Rows("SELECT Name, DatasetType, TemporalType, SpatialType FROM Datasets ORDER BY Name"),
              (Rows{{"Observations", "Generic", "Snapshot", "None"}, {"Plots", "Spatial", "None", "None"}}));
    EXPECT_EQ(db.Rows("SELECT Description, Version FROM Workspaces"), (Rows{{"field survey 2021", "3"}}));
}

TEST_F(Upgrade, CurrentAndNewerVersionsOpenUnchanged) {
    const std::string path = folder_.File("w.veskdb");
    const Data::Uuid uuid = NewUuid();
    Core::MakeObject<WorkspaceManagerImpl>(uuid, path, Vesk::Interfaces::ReadWrite, nullptr, 0);
    const std::string name = folder_.Path().filename().string();
    {
        VeskTest::LogCapture log(false);
        auto current = Open(path, Vesk::Interfaces::ReadWrite);
        EXPECT_EQ(log.LinesStartingWith("INFO: Workspace "),
                  std::vector<std::string>{"INFO: Workspace " + name + " (" + Data::UuidToText(uuid) +
                                           ") is at latest version"});
    }
    VeskTest::SqliteReader(path).Execute("UPDATE Workspaces SET Version = 4");
    const std::string before = VeskTest::FileBytes(path);
    VeskTest::LogCapture log(false);
    auto newer = Open(path, Vesk::Interfaces::ReadWrite);
    EXPECT_EQ(newer->StoredVersion(), 4);
    EXPECT_EQ(log.LinesStartingWith("ERROR: "),
              std::vector<std::string>{"ERROR: Workspace was created with newer version of the software. "
                                       "Compatibility is not guaranteed. Proceed at your own risk!"});
    EXPECT_TRUE(log.LinesStartingWith("WARN: ").empty());
    EXPECT_EQ(VeskTest::FileBytes(path), before);
}

}  // namespace
