// Workspace files that another program changed: edited by hand, made read-only, or written by a second
// process while a workspace has them open. Each gives a clear error and loses nothing already saved.
#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include <gmock/gmock.h>

#include "HostFixture.h"
#include "Support/Fixtures.h"
#include "Support/SqliteReader.h"

namespace VeskHost {
namespace {

using Data::Structures::_UUID;
using Vesk::Interfaces::IWorkspaceDataset;
using Vesk::Interfaces::IWorkspaceDataSource;
using Vesk::Interfaces::IWorkspaceManager;
using Vesk::Interfaces::IWorkspaceObject;

// While dropped, file permissions bind this process even when it runs as root (as CI containers do):
// its effective user becomes nobody. Elsewhere (and on Windows) it changes nothing.
class Unprivileged {
public:
    Unprivileged() { Drop(); }
    ~Unprivileged() { Restore(); }
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;

    void Drop() {
#if !defined(_WIN32)
        constexpr unsigned kNobody = 65534;
        dropped_ = geteuid() == 0 && setegid(kNobody) == 0 && seteuid(kNobody) == 0;
#endif
    }
    void Restore() {
#if !defined(_WIN32)
        if (dropped_) {
            (void)!seteuid(0);
            (void)!setegid(0);
            dropped_ = false;
        }
#endif
    }

private:
    bool dropped_ = false;
};

// Makes a file read-only (or writable again) for everyone but root.
void SetWritable(const std::string& path, bool writable) {
    using std::filesystem::perms;
    std::filesystem::permissions(path, perms::owner_write | perms::group_write | perms::others_write,
                                 writable ? std::filesystem::perm_options::add : std::filesystem::perm_options::remove);
}

bool CanWrite(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (file != nullptr) {
        std::fclose(file);
    }
    return file != nullptr;
}

constexpr const char* kChangedOutside = "the database was changed outside the workspace library and is not opened";

class DataSafety : public HostTest {
protected:
    // A saved workspace at path: a data source with a property, a dataset of it, a generic object.
    void Populate(const std::string& path) {
        Held<IWorkspaceManager> workspace;
        ASSERT_OK(Library().CreateOnFilesystem(&uuid_, path.c_str(), Vesk::Interfaces::ReadWrite, workspace.Out(), e));
        Held<Data::Interfaces::IProperties> properties;
        IntProperty("lanes", 7, properties);
        Held<IWorkspaceDataSource> source;
        ASSERT_OK(workspace->CreateDataSource(&source_, "roads", 11, properties.Get(), source.Out(), e));
        Held<IWorkspaceDataset> dataset;
        ASSERT_OK(workspace->CreateDataset(source.Get(), &dataset_, "lanes", 2, 0, 1, false, dataset.Out(), e));
        Held<IWorkspaceObject> object;
        ASSERT_OK(workspace->CreateObject(nullptr, &object_, "map", "Map", false, object.Out(), e));
    }

    // A new set holding one Int32 property.
    void IntProperty(const char* name, int32_t number, Held<Data::Interfaces::IProperties>& set) {
        ASSERT_TRUE(Library().CreateProperties(set.Out(), nullptr));
        Data::Structures::_VARIANT value{};
        value.type = Data::Structures::VT_Int32;
        value.i32 = number;
        ASSERT_TRUE(set->Register("", name, "", "", "", Data::Structures::VT_Int32, false, nullptr));
        ASSERT_TRUE(set->SetValue(name, &value, nullptr));
    }

    // The error of opening path in mode; empty when it opens.
    std::string OpenFailure(const std::string& path, int mode) {
        Held<IWorkspaceManager> workspace;
        const std::string failure =
            FAILURE_OF(Library().CreateOnFilesystem(&uuid_, path.c_str(), mode, workspace.Out(), e));
        EXPECT_EQ(failure.empty(), static_cast<bool>(workspace));
        return failure;
    }

    _UUID uuid_ = NewUuid(), source_ = NewUuid(), dataset_ = NewUuid(), object_ = NewUuid();
};

TEST_F(DataSafety, HandEditsThatCannotBeReadAreRefusedByNameAndLeaveTheFileAsItWas) {
    const std::string duplicate = "aaaaaaaa-aaaa-4aaa-8aaa-aaaaaaaaaaaa";
    const std::pair<std::string, std::function<std::string(const std::string&)>> cases[] = {
        {"ALTER TABLE Datasets DROP COLUMN Label; ALTER TABLE Datasets DROP COLUMN \"Group\"",
         [&](const std::string& path) {
             return "Table Datasets of " + path + " has no column Label, Group: " + kChangedOutside;
         }},
        {"ALTER TABLE Workspaces DROP COLUMN Description",
         [&](const std::string& path) {
             return "Table Workspaces of " + path + " has no column Description: " + kChangedOutside;
         }},
        // Read as a number, the text would be a read-only flag of false.
        {"UPDATE DataSources SET ReadOnly = 'yes'",
         [&](const std::string& path) {
             return "Column DataSources.ReadOnly of row " + Text(source_) + " in " + path +
                    " holds 'yes' where a number belongs: " + kChangedOutside;
         }},
        // Behind a row that reads well, the text is read as a mismatch rather than giving its column a type.
        {"INSERT INTO DataSources SELECT '" + duplicate +
             "', Name, Description, Type, TypeIdentifier, EnableCache, 'maybe', Inserted, Updated FROM DataSources",
         [&](const std::string& path) {
             return "Column DataSources.ReadOnly of row " + duplicate + " in " + path +
                    " holds 'maybe' where a number belongs: " + kChangedOutside;
         }},
        {"UPDATE Properties SET IsRequired = x'01'",
         [&](const std::string& path) {
             const std::string property = VeskTest::SqliteReader(path).Value("SELECT Uuid FROM Properties");
             return "Column Properties.IsRequired of row " + property + " in " + path +
                    " holds X'01' where a number belongs: " + kChangedOutside;
         }},
        // The version is read before anything else, with the value layer's own message.
        {"UPDATE Workspaces SET Version = 'three'", [](const std::string&) { return "Must be value type!"; }},
        {"INSERT INTO Workspaces SELECT '" + duplicate + "', 'copy', '', 3, Inserted, Updated FROM Workspaces",
         [&](const std::string& path) {
             return "The Workspaces table of " + path +
                    " holds 2 rows where a workspace has exactly one: " + kChangedOutside;
         }},
    };
    int index = 0;
    for (const auto& [edit, message] : cases) {
        SCOPED_TRACE(edit);
        const std::string path = folder_.File("edited" + std::to_string(index++) + ".veskdb");
        ASSERT_NO_FATAL_FAILURE(Populate(path));
        VeskTest::SqliteReader(path).Execute(edit);
        const std::string before = VeskTest::FileBytes(path);
        for (int mode :
             {Vesk::Interfaces::ReadOnly, Vesk::Interfaces::ReadWrite, Vesk::Interfaces::ReadWritePersistent}) {
            EXPECT_EQ(OpenFailure(path, mode), message(path)) << "mode " << mode;
        }
        EXPECT_EQ(VeskTest::FileBytes(path), before);
    }

    // A newer version's database opens whatever its columns; an object that cannot be made leaves no
    // half-filled row behind to fail every later save.
    const std::string path = folder_.File("newer.veskdb");
    ASSERT_NO_FATAL_FAILURE(Populate(path));
    VeskTest::SqliteReader(path).Execute(
        "UPDATE Workspaces SET Version = 4; ALTER TABLE GenericObjects DROP COLUMN Name");
    Held<IWorkspaceManager> workspace;
    ASSERT_OK(Library().CreateOnFilesystem(&uuid_, path.c_str(), Vesk::Interfaces::ReadWrite, workspace.Out(), e));
    const _UUID added = NewUuid();
    Held<IWorkspaceObject> object;
    EXPECT_EQ(FAILURE_OF(workspace->CreateObject(nullptr, &added, "layer", "Layer", false, object.Out(), e)),
              "Error while setting cell value");
    EXPECT_OK(workspace->SetDescription("still saves", e));
    EXPECT_OK(workspace->Save(e));
    EXPECT_EQ(VeskTest::SqliteReader(path).Rows("SELECT Description FROM Workspaces"), (Rows{{"still saves"}}));
}

TEST_F(DataSafety, ColumnsAddedByHandKeepTheirValuesAndNewRowsGetTheirDefaults) {
    for (int mode : {Vesk::Interfaces::ReadWrite, Vesk::Interfaces::ReadWritePersistent}) {
        SCOPED_TRACE(mode);
        const std::string path = folder_.File("extra" + std::to_string(mode) + ".veskdb");
        ASSERT_NO_FATAL_FAILURE(Populate(path));
        VeskTest::SqliteReader(path).Execute(
            "ALTER TABLE DataSources ADD COLUMN Note TEXT NULL; UPDATE DataSources SET Note = 'kept';"
            "ALTER TABLE GenericObjects ADD COLUMN Origin TEXT NOT NULL DEFAULT 'outside';"
            "ALTER TABLE Properties ADD COLUMN Checked INTEGER NOT NULL DEFAULT 0");
        const _UUID added = NewUuid();
        {
            Held<IWorkspaceManager> workspace;
            ASSERT_OK(Library().CreateOnFilesystem(&uuid_, path.c_str(), mode, workspace.Out(), e));
            Held<IWorkspaceDataSource> source;
            ASSERT_OK(workspace->GetDataSource(&source_, source.Out(), e));
            ASSERT_TRUE(source);
            EXPECT_OK(source->SetName("streets", e));
            Held<IWorkspaceObject> object;
            EXPECT_OK(workspace->CreateObject(&object_, &added, "layer", "Layer", false, object.Out(), e));
            Held<Data::Interfaces::IProperties> properties;
            IntProperty("depth", 3, properties);
            EXPECT_OK(workspace->SetObjectProperties(&added, properties.Get(), e));
        }
        VeskTest::SqliteReader db(path);
        EXPECT_EQ(db.Rows("SELECT Name, Note FROM DataSources"), (Rows{{"streets", "kept"}}));
        EXPECT_EQ(db.Rows("SELECT Name, Origin FROM GenericObjects ORDER BY Name"),
                  (Rows{{"layer", "outside"}, {"map", "outside"}}));
        EXPECT_EQ(db.Value("SELECT group_concat(Checked) FROM Properties"), "0,0");
    }
}

TEST_F(DataSafety, AReadOnlyFileOpensOnlyForReadingAndKeepsPendingChangesUntilItCanBeWritten) {
    const std::string path = folder_.File("locked.veskdb");
    ASSERT_NO_FATAL_FAILURE(Populate(path));
    // The unprivileged user creates the journal next to the file and opens it for writing until it is locked.
    std::filesystem::permissions(folder_.Path(), std::filesystem::perms::all);
    SetWritable(path, true);
    Unprivileged unprivileged;

    Held<IWorkspaceManager> open;
    ASSERT_OK(Library().CreateOnFilesystem(&uuid_, path.c_str(), Vesk::Interfaces::ReadWrite, open.Out(), e));
    unprivileged.Restore();
    SetWritable(path, false);
    unprivileged.Drop();
    if (CanWrite(path)) {
        unprivileged.Restore();
        SetWritable(path, true);
        GTEST_SKIP() << "this process writes read-only files";
    }
    const std::string before = VeskTest::FileBytes(path);
    const std::string refused = "Workspace file " + path +
                                " cannot be written (the file or its folder is read-only): open it read-only instead";
    for (int mode : {Vesk::Interfaces::ReadWrite, Vesk::Interfaces::ReadWritePersistent}) {
        EXPECT_EQ(OpenFailure(path, mode), refused) << "mode " << mode;
    }
    {
        Held<IWorkspaceManager> reading;
        ASSERT_OK(Library().CreateOnFilesystem(&uuid_, path.c_str(), Vesk::Interfaces::ReadOnly, reading.Out(), e));
        Held<IWorkspaceDataSource> source;
        ASSERT_OK(reading->GetDataSource(&source_, source.Out(), e));
        ASSERT_TRUE(source);
        EXPECT_EQ(NameOf(source.Get()), "roads");
        EXPECT_EQ(
            FAILURE_OF(source->SetName("streets", e)),
            "Workspace " + UuidOf(reading.Get()) + " was opened read-only: its changes cannot be written to " + path);
    }
    // The workspace opened before the file was locked keeps a change it cannot write, and writes it later.
    Held<IWorkspaceObject> object;
    ASSERT_OK(open->GetObject(&object_, object.Out(), e));
    EXPECT_EQ(FAILURE_OF(object->SetName("atlas", e)), refused);
    EXPECT_EQ(VeskTest::FileBytes(path), before);
    unprivileged.Restore();
    SetWritable(path, true);
    unprivileged.Drop();
    EXPECT_OK(open->Save(e));
    EXPECT_EQ(VeskTest::SqliteReader(path).Rows("SELECT Name FROM GenericObjects"), (Rows{{"atlas"}}));
}

#if !defined(_WIN32)
// Runs body in a child process with a connection of its own to path; the child ends with 0 when body
// returns, 1 when it throws. Gives the child's pid.
pid_t InChild(const std::string& path, const std::function<void(VeskTest::SqliteReader&)>& body) {
    const pid_t child = fork();
    if (child == 0) {
        try {
            VeskTest::SqliteReader db(path);
            body(db);
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    return child;
}

bool EndedWell(pid_t child) {
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
#endif

TEST_F(DataSafety, AnotherProcessWritingTheFileKeepsItsRowsAndOurs) {
#if defined(_WIN32)
    GTEST_SKIP() << "needs fork";
#else
    for (int mode : {Vesk::Interfaces::ReadWrite, Vesk::Interfaces::ReadWritePersistent}) {
        SCOPED_TRACE(mode);
        const std::string path = folder_.File("shared" + std::to_string(mode) + ".veskdb");
        ASSERT_NO_FATAL_FAILURE(Populate(path));
        Held<IWorkspaceManager> workspace;
        ASSERT_OK(Library().CreateOnFilesystem(&uuid_, path.c_str(), mode, workspace.Out(), e));
        const std::string other = Text(NewUuid());

        // Rows the other process adds stay when this one writes its own, and a reload shows them.
        ASSERT_TRUE(EndedWell(InChild(path, [&](VeskTest::SqliteReader& db) {
            db.Execute("INSERT INTO GenericObjects SELECT '" + other +
                       "', NULL, 'theirs', ObjectType, NULL, NULL, 0, Inserted, Updated FROM GenericObjects");
        })));
        const _UUID ours = NewUuid();
        Held<IWorkspaceObject> created;
        ASSERT_OK(workspace->CreateObject(nullptr, &ours, "ours", "Map", false, created.Out(), e));
        ASSERT_OK(workspace->Reload(e));
        _UUID otherUuid{};
        ASSERT_TRUE(Library().UuidFromString(other.c_str(), &otherUuid, nullptr));
        Held<IWorkspaceObject> theirs;
        ASSERT_OK(workspace->GetObject(&otherUuid, theirs.Out(), e));
        ASSERT_TRUE(theirs);

        // A write while the other process holds the write lock waits for it, then goes through.
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t locker = InChild(path, [&](VeskTest::SqliteReader& db) {
            close(ready[0]);
            db.Execute("BEGIN IMMEDIATE; UPDATE GenericObjects SET Name = 'theirs, renamed' WHERE Uuid = '" + other +
                       "'");
            (void)!write(ready[1], "r", 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            db.Execute("COMMIT");
        });
        close(ready[1]);
        char signal = 0;
        ASSERT_EQ(read(ready[0], &signal, 1), 1);
        close(ready[0]);
        EXPECT_OK(created->SetName("ours, renamed", e));
        EXPECT_TRUE(EndedWell(locker));
        EXPECT_EQ(VeskTest::SqliteReader(path).Rows("SELECT Name FROM GenericObjects ORDER BY Name"),
                  (Rows{{"map"}, {"ours, renamed"}, {"theirs, renamed"}}));

        // A row the other process changed since this one read it is not overwritten with what was read.
        Held<IWorkspaceObject> map;
        ASSERT_OK(workspace->GetObject(&object_, map.Out(), e));
        ASSERT_TRUE(EndedWell(InChild(path, [&](VeskTest::SqliteReader& db) {
            db.Execute(
                "UPDATE GenericObjects SET Name = 'their map', Updated = '2031-01-01T00:00:00.000Z' WHERE Uuid = '" +
                Text(object_) + "'");
        })));
        EXPECT_THAT(FAILURE_OF(map->SetName("our map", e)),
                    ::testing::StartsWith("Row " + Text(object_) +
                                          " of table GenericObjects was changed by another program at "
                                          "2031-01-01T00:00:00.000Z, after this workspace read it"));
        EXPECT_EQ(
            VeskTest::SqliteReader(path).Value("SELECT Name FROM GenericObjects WHERE Uuid = '" + Text(object_) + "'"),
            "their map");
        EXPECT_OK(workspace->Discard(e));
        EXPECT_EQ(NameOf(map.Get()), "their map");
        EXPECT_OK(map->SetName("our map", e));

        // A row the other process removed cannot take a change; saying so is better than writing nowhere.
        ASSERT_TRUE(EndedWell(InChild(path, [&](VeskTest::SqliteReader& db) {
            db.Execute("DELETE FROM DataSources WHERE Uuid = '" + Text(source_) + "'");
        })));
        Held<IWorkspaceDataSource> source;
        ASSERT_OK(workspace->GetDataSource(&source_, source.Out(), e));
        ASSERT_TRUE(source);
        EXPECT_EQ(FAILURE_OF(source->SetName("streets", e)),
                  "Row " + Text(source_) +
                      " of table DataSources is no longer in the database (another program removed it); the change "
                      "was not written");
        EXPECT_EQ(VeskTest::SqliteReader(path).Value("SELECT COUNT(*) FROM DataSources"), "0");
        // Discarding every pending change reads what the file holds now.
        EXPECT_OK(workspace->Discard(e));
        source.Reset();
        EXPECT_OK(workspace->GetDataSource(&source_, source.Out(), e));
        EXPECT_FALSE(source);
        EXPECT_EQ(VeskTest::SqliteReader(path).Value("PRAGMA integrity_check"), "ok");
    }
#endif
}

}  // namespace
}  // namespace VeskHost
