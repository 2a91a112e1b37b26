// Creating and opening workspaces on disk, in memory and from images, as a host application does.
#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gmock/gmock.h>

#include "HostFixture.h"
#include "Support/Fixtures.h"
#include "Support/Hex.h"
#include "Support/SqliteReader.h"

namespace VeskHost {
namespace {

using Vesk::Interfaces::IWorkspaceManager;

const char* const kExpectedSchema[] = {
    "CREATE TABLE \"Workspaces\" (\n\t\t\t\t\t\"Uuid\" UUID NOT NULL,\n\t\t\t\t\t\"Name\" TEXT NOT NULL,"
    "\n\t\t\t\t\t\"Description\" TEXT NULL,\n\t\t\t\t\t\"Version\" INTEGER NOT NULL,"
    "\n\t\t\t\t\t\"Inserted\" DATETIME NOT NULL,\n\t\t\t\t\t\"Updated\" DATETIME NOT NULL,"
    "\n\t\t\t\t\tPRIMARY KEY(\"Uuid\")\n\t\t\t\t)",
    "CREATE TABLE \"DataSources\" (\n\t\t\t\t\t\"Uuid\" UUID NOT NULL,\n\t\t\t\t\t\"Name\" TEXT NOT NULL,"
    "\n\t\t\t\t\t\"Description\" TEXT NULL,\n\t\t\t\t\t\"Type\" TEXT NOT NULL,"
    "\n\t\t\t\t\t\"TypeIdentifier\" UUID NULL,\n\t\t\t\t\t\"EnableCache\" BOOL NOT NULL,"
    "\n\t\t\t\t\t\"ReadOnly\" BOOL NOT NULL,\n\t\t\t\t\t\"Inserted\" DATETIME NOT NULL,"
    "\n\t\t\t\t\t\"Updated\" DATETIME NOT NULL,\n\t\t\t\t\tPRIMARY KEY(\"Uuid\")\n\t\t\t\t)",
    "CREATE TABLE \"Properties\" (\n\t\t\t\t\t\"Uuid\" UUID NOT NULL,\n\t\t\t\t\t\"WorkspaceObjectUuid\" UUID NOT NULL,"
    "\n\t\t\t\t\t\"PropertyGroup\" TEXT NOT NULL,\n\t\t\t\t\t\"PropertyName\" TEXT NOT NULL,"
    "\n\t\t\t\t\t\"PropertyDescription\" TEXT NULL,\n\t\t\t\t\t\"PropertyValueType\" INTEGER NOT NULL,"
    "\n\t\t\t\t\t\"PropertyInterfaceType\" TEXT NOT NULL,\n\t\t\t\t\t\"PropertyClassType\" TEXT NOT NULL,"
    "\n\t\t\t\t\t\"PropertyValue\" BLOB NULL,\n\t\t\t\t\t\"IsRequired\" BOOL NOT NULL,"
    "\n\t\t\t\t\tPRIMARY KEY(\"Uuid\")\n\t\t\t\t)",
    "CREATE TABLE \"Datasets\" (\n\t\t\t\t\t\"Uuid\" UUID NOT NULL,\n\t\t\t\t\t\"DataSourceUuid\" TEXT NOT NULL,"
    "\n\t\t\t\t\t\"Name\" TEXT NOT NULL,\n\t\t\t\t\t\"Label\" TEXT NULL,\n\t\t\t\t\t\"Group\" TEXT NULL,"
    "\n\t\t\t\t\t\"DatasetType\" TEXT NOT NULL,\n\t\t\t\t\t\"TemporalType\" TEXT NOT NULL,"
    "\n\t\t\t\t\t\"SpatialType\" TEXT NOT NULL,\n\t\t\t\t\t\"Description\" TEXT NULL,"
    "\n\t\t\t\t\t\"InternalName\" TEXT NOT NULL,\n\t\t\t\t\t\"ReadOnly\" BOOL NOT NULL,"
    "\n\t\t\t\t\t\"Inserted\" DATETIME NOT NULL,\n\t\t\t\t\t\"Updated\" DATETIME NOT NULL,"
    "\n\t\t\t\t\tPRIMARY KEY(\"Uuid\")\n\t\t\t\t)",
    "CREATE TABLE \"GenericObjects\" (\n\t\t\t\t\t\"Uuid\" UUID NOT NULL,\n\t\t\t\t\t\"ParentUuid\" UUID NULL,"
    "\n\t\t\t\t\t\"Name\" TEXT NOT NULL,\n\t\t\t\t\t\"ObjectType\" TEXT NOT NULL,"
    "\n\t\t\t\t\t\"Description\" TEXT NULL,\n\t\t\t\t\t\"TypeIdentifier\" UUID NULL,"
    "\n\t\t\t\t\t\"ReadOnly\" BOOL NOT NULL,\n\t\t\t\t\t\"Inserted\" DATETIME NOT NULL,"
    "\n\t\t\t\t\t\"Updated\" DATETIME NOT NULL,\n\t\t\t\t\tPRIMARY KEY(\"Uuid\")\n\t\t\t\t)",
};

class WorkspaceCreation : public HostTest {
protected:
    // Opens path with uuid and mode; on failure gives the error message instead.
    std::string Open(const std::string& path, const Data::Structures::_UUID& uuid, int mode,
                     Held<IWorkspaceManager>& workspace) {
        const std::string failure =
            FAILURE_OF(Library().CreateOnFilesystem(&uuid, path.c_str(), mode, workspace.Out(), e));
        EXPECT_EQ(failure.empty(), static_cast<bool>(workspace));
        return failure;
    }

    std::string Folder() { return folder_.Path().filename().string(); }
};

TEST_F(WorkspaceCreation, NewFileGetsTheSchemaAndOneRecordThatLaterOpeningsKeep) {
    const std::string path = folder_.File("new.veskdb");
    Data::Structures::_UUID uuid{};
    std::memcpy(uuid.bytes, "\x00\x11\x22\x33\x44\x55\x66\x77\x88\x99\xaa\xbb\xcc\xdd\xee\xff", 16);
    {
        Held<IWorkspaceManager> workspace;
        ASSERT_EQ(Open(path, uuid, Vesk::Interfaces::ReadWrite, workspace), "");
        EXPECT_EQ(UuidOf(workspace.Get()), Text(uuid));
        EXPECT_EQ(NameOf(workspace.Get()), Folder());
        auto hashOf = [](Vesk::Interfaces::IWorkspaceObject* object) {
            Held<Data::Interfaces::IArray> hash;
            EXPECT_OK(object->CalculateHash(hash.Out(), e));
            return hash ? VeskTest::HexOf({reinterpret_cast<const char*>(hash->GetData()), hash->GetByteSize()}) : "";
        };
        // SHA-256 of the UUID's 16 bytes, computed with Python's hashlib; a generic object's hash is its UUID's too.
        EXPECT_EQ(hashOf(workspace.Get()), "a8faed6abbf35c12a4b26e40f6feb19d736d90045c83b9f9a31f638d323e6811");
        Held<Vesk::Interfaces::IWorkspaceObject> object;
        ASSERT_OK(workspace->CreateObject(nullptr, &uuid, "n", "Note", false, object.Out(), e));
        EXPECT_EQ(hashOf(object.Get()), hashOf(workspace.Get()));
        Held<Data::Interfaces::IDateTime> inserted, updated;
        ASSERT_OK(workspace->GetInserted(inserted.Out(), e));
        ASSERT_OK(workspace->GetUpdated(updated.Out(), e));
        EXPECT_EQ(VeskTest::SqliteReader(path).Rows("SELECT Inserted, Updated FROM Workspaces"),
                  (Rows{{inserted->GetText(), updated->GetText()}}));
        EXPECT_LE(inserted->Compare(updated.Get()), 0);
    }
    VeskTest::SqliteReader db(path);
    const auto schema = db.Rows("SELECT sql FROM sqlite_master WHERE type='table' ORDER BY rowid");
    ASSERT_EQ(schema.size(), 5u);
    for (size_t i = 0; i < schema.size(); ++i) {
        EXPECT_EQ(schema[i][0], kExpectedSchema[i]);
    }
    EXPECT_EQ(db.Rows("SELECT Uuid, Name, typeof(Description), Description, Version FROM Workspaces"),
              (Rows{{Text(uuid), Folder(), "text", "", "3"}}));
    EXPECT_EQ(db.Value("SELECT Inserted GLOB '[0-9][0-9][0-9][0-9]-*T*Z' FROM Workspaces"), "1");

    // Every later opening keeps the file's own record, whatever UUID it is given.
    for (int mode : {0, 1, 2}) {
        Held<IWorkspaceManager> again;
        ASSERT_EQ(Open(path, NewUuid(), mode, again), "");
        EXPECT_EQ(UuidOf(again.Get()), Text(uuid)) << "mode " << mode;
    }
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM Workspaces"), "1");
}

// Paths cross the library as UTF-8 on every system; the folder's name becomes the workspace's.
TEST_F(WorkspaceCreation, AFolderNamedBeyondAsciiHoldsTheWorkspaceAndNamesIt) {
    const std::string name = "K\xc3\xb6ln \xe6\x97\xa5\xe6\x9c\xac";
    const std::filesystem::path folder = folder_.Path() / std::u8string(name.begin(), name.end());
    std::filesystem::create_directories(folder);
    const std::u8string file = (folder / "w.veskdb").u8string();
    const std::string path(file.begin(), file.end());
    const Data::Structures::_UUID uuid = NewUuid();
    {
        Held<IWorkspaceManager> workspace;
        ASSERT_EQ(Open(path, uuid, Vesk::Interfaces::ReadWrite, workspace), "");
        EXPECT_EQ(NameOf(workspace.Get()), name);
        const Data::Structures::_UUID objectUuid = NewUuid();
        Held<Vesk::Interfaces::IWorkspaceObject> object;
        ASSERT_OK(workspace->CreateObject(nullptr, &objectUuid, "n", "Note", false, object.Out(), e));
    }
    ASSERT_TRUE(std::filesystem::is_regular_file(folder / "w.veskdb"));
    Held<IWorkspaceManager> again;
    ASSERT_EQ(Open(path, NewUuid(), Vesk::Interfaces::ReadOnly, again), "");
    EXPECT_EQ(UuidOf(again.Get()), Text(uuid));
    EXPECT_EQ(VeskTest::SqliteReader(path).Rows("SELECT Name, (SELECT COUNT(*) FROM GenericObjects) FROM Workspaces"),
              (Rows{{name, "1"}}));
}

TEST_F(WorkspaceCreation, FolderPathIsThePathWithoutItsLastComponent) {
    std::filesystem::create_directories(folder_.Path() / "sub");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder_.Path());
    std::vector<std::pair<std::string, std::string>> seen;
    for (const std::string& path :
         std::vector<std::string>{"sub//relative.veskdb", "bare.veskdb", folder_.File("sub/absolute.veskdb")}) {
        Held<IWorkspaceManager> workspace;
        if (Open(path, NewUuid(), Vesk::Interfaces::ReadWrite, workspace).empty()) {
            Held<Data::Interfaces::IString> folder;
            Held<Data::Interfaces::IString> name;
            EXPECT_TRUE(workspace->GetFolderPath(folder.Out(), nullptr));
            EXPECT_TRUE(workspace->GetName(name.Out(), nullptr));
            seen.emplace_back(folder->GetText(), name->GetText());
        }
    }
    std::filesystem::current_path(previous);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"sub", "sub"}, {"", Folder()}, {(folder_.Path() / "sub").string(), "sub"}};
    EXPECT_EQ(seen, expected);
}

TEST_F(WorkspaceCreation, TwoProcessesCreatingOneNewFileMakeOneRecord) {
#if defined(_WIN32)
    GTEST_SKIP() << "needs fork; on Windows the named mutex behind this is tested in CrossProcessLock";
#else
    const std::string path = folder_.File("race.veskdb");
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < 2; ++i) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(gate[1]);
            char ignored;
            (void)!read(gate[0], &ignored, 1);  // both start when the parent closes the gate
            Held<IWorkspaceManager> workspace;
            const Data::Structures::_UUID uuid = NewUuid();
            _exit(
                Library().CreateOnFilesystem(&uuid, path.c_str(), Vesk::Interfaces::ReadWrite, workspace.Out(), nullptr)
                    ? 0
                    : 1);
        }
        children.push_back(child);
    }
    close(gate[0]);
    close(gate[1]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    VeskTest::SqliteReader db(path);
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM Workspaces"), "1");
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'"), "5");
#endif
}

TEST_F(WorkspaceCreation, AProcessKilledDuringALargeCommitLeavesAllOrNothingOfIt) {
#if defined(_WIN32)
    GTEST_SKIP() << "needs fork and SIGKILL";
#else
    constexpr int kObjects = 20000;
    const std::string path = folder_.File("killed.veskdb");
    {
        Held<IWorkspaceManager> workspace;
        const Data::Structures::_UUID uuid = NewUuid();
        ASSERT_OK(Library().CreateOnFilesystem(&uuid, path.c_str(), Vesk::Interfaces::ReadWrite, workspace.Out(), e));
    }
    // Kill points spread over the commit's writing (it takes about a second in a Debug build).
    std::vector<std::string> outcomes;
    for (const int delayMs : {50, 250, 500, 800, 1200}) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(ready[0]);
            Held<IWorkspaceManager> workspace;
            const Data::Structures::_UUID uuid = NewUuid();
            if (!Library().CreateOnFilesystem(&uuid, path.c_str(), Vesk::Interfaces::ReadWrite, workspace.Out(),
                                              nullptr) ||
                !workspace->BeginTransaction(nullptr)) {
                _exit(1);
            }
            for (int i = 0; i < kObjects; ++i) {
                const Data::Structures::_UUID id = NewUuid();
                Held<Vesk::Interfaces::IWorkspaceObject> object;
                workspace->CreateObject(nullptr, &id, "node", "Node", false, object.Out(), nullptr);
            }
            (void)!write(ready[1], "r", 1);  // the commit starts now
            workspace->Save(nullptr);
            _exit(0);
        }
        close(ready[1]);
        char signal;
        ASSERT_EQ(read(ready[0], &signal, 1), 1);
        close(ready[0]);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        // Whatever was cut off, the file opens and holds every object of a commit or none of it.
        Held<IWorkspaceManager> reopened;
        const Data::Structures::_UUID uuid = NewUuid();
        ASSERT_OK(Library().CreateOnFilesystem(&uuid, path.c_str(), Vesk::Interfaces::ReadWrite, reopened.Out(), e));
        const int64_t count = std::stoll(VeskTest::SqliteReader(path).Value("SELECT COUNT(*) FROM GenericObjects"));
        EXPECT_EQ(count % kObjects, 0) << "a commit was cut in the file: " << count << " objects";
        EXPECT_EQ(VeskTest::SqliteReader(path).Value("PRAGMA integrity_check"), "ok");
        outcomes.push_back(WIFSIGNALED(status) ? "killed" : "finished");
    }
    EXPECT_NE(std::find(outcomes.begin(), outcomes.end(), "killed"), outcomes.end()) << "no commit was cut short";
#endif
}

TEST_F(WorkspaceCreation, ImagesOpenReadOnlyOnTheCallersBytesOrWritableOnACopy) {
    Data::Structures::_UUID recordUuid{};
    std::vector<unsigned char> image = Image(&recordUuid);
    const std::vector<unsigned char> before = image;
    Held<IWorkspaceManager> readOnly, writable;
    ASSERT_OK(Library().LoadFromMemory(image.data(), image.size(), readOnly.Out(), e));
    EXPECT_EQ(UuidOf(readOnly.Get()), Text(recordUuid));
    Held<Data::Interfaces::IArray> again;
    ASSERT_OK(readOnly->Serialize(again.Out(), e));
    EXPECT_EQ(again->GetByteSize(), image.size());
    EXPECT_EQ(image, before);
    readOnly.Reset();

    // A writable workspace needs none of the caller's bytes afterwards.
    ASSERT_OK(Library().LoadFromMemory1(image.data(), image.size(), Vesk::Interfaces::ReadWrite, writable.Out(), e));
    std::fill(image.begin(), image.end(), 0);
    image.clear();
    image.shrink_to_fit();
    EXPECT_EQ(UuidOf(writable.Get()), Text(recordUuid));
    Held<Data::Interfaces::IArray> copy;
    ASSERT_OK(writable->Serialize(copy.Out(), e));
    EXPECT_EQ(VeskTest::SqliteReader(copy->GetData(), copy->GetByteSize()).Value("SELECT Uuid FROM Workspaces"),
              Text(recordUuid));

    // An image of size zero opens a fresh memory workspace.
    const unsigned char nothing = 0;
    Held<IWorkspaceManager> fresh;
    ASSERT_OK(Library().LoadFromMemory(&nothing, 0, fresh.Out(), e));
    EXPECT_EQ(NameOf(fresh.Get()), "unnamed");
}

// Bad input: each fails with an error object, creates nothing and leaves the out-pointer empty.
class BadInput : public WorkspaceCreation {
protected:
    std::string OpenImage(const std::vector<unsigned char>& image, int mode) {
        Held<IWorkspaceManager> workspace;
        const std::string failure =
            FAILURE_OF(Library().LoadFromMemory1(image.data(), image.size(), mode, workspace.Out(), e));
        EXPECT_FALSE(workspace);
        return failure.empty() ? "(no error object)" : failure;
    }
};

TEST_F(BadInput, PathsThatCannotBeOpenedCreateNothing) {
    const std::tuple<const char*, int, const char*> cases[] = {
        {"absent/inner.veskdb", Vesk::Interfaces::ReadWrite, "unable to open database file"},
        {"missing.veskdb", Vesk::Interfaces::ReadOnly, "unable to open database file"},
        {"mode.veskdb", 3, "Unsupported workspace open mode 3"}};
    for (const auto& [name, mode, failure] : cases) {
        Held<IWorkspaceManager> workspace;
        EXPECT_THAT(Open(folder_.File(name), NewUuid(), mode, workspace), ::testing::HasSubstr(failure)) << name;
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder_.Path()));
    EXPECT_THAT(OpenImage(Image(), -1), ::testing::HasSubstr("Unsupported workspace open mode -1"));

    const std::string path = folder_.File("notes.veskdb");
    std::ofstream(path) << "these are plain notes, not a database, and long enough to fill a header page";
    const auto size = std::filesystem::file_size(path);
    for (int mode : {0, 1, 2}) {
        Held<IWorkspaceManager> workspace;
        EXPECT_THAT(Open(path, NewUuid(), mode, workspace), ::testing::HasSubstr("file is not a database"));
    }
    EXPECT_EQ(std::filesystem::file_size(path), size);
}

TEST_F(BadInput, TruncatedAndWalModeImages) {
    const std::string path = folder_.File("wal.veskdb");
    {
        Held<IWorkspaceManager> workspace;
        ASSERT_EQ(Open(path, NewUuid(), Vesk::Interfaces::ReadWrite, workspace), "");
    }
    VeskTest::SqliteReader(path).Execute("PRAGMA journal_mode=WAL");
    const std::string wal = VeskTest::FileBytes(path);
    ASSERT_EQ(wal[18], 2);  // the header says WAL
    const std::vector<unsigned char> image = Image();
    const std::vector<unsigned char> images[] = {{image.begin(), image.begin() + image.size() / 2},
                                                 {image.begin(), image.begin() + 50},
                                                 {wal.begin(), wal.end()}};
    for (const auto& bad : images) {
        for (int mode : {0, 1}) {
            EXPECT_NE(OpenImage(bad, mode), "(no error object)") << bad.size() << " bytes, mode " << mode;
        }
    }
}

}  // namespace
}  // namespace VeskHost
