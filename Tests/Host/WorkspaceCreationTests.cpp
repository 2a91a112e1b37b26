// Creating and opening workspaces on disk, in memory and from images, as a host application does.
#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstring>
#include <filesystem>
#include <fstream>

#include "HostFixture.h"
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
        Held<Core::IErrorCode> error;
        const bool ok = Library().CreateOnFilesystem(&uuid, path.c_str(), mode, workspace.Out(), error.Out());
        EXPECT_EQ(ok, !error);
        EXPECT_EQ(ok, static_cast<bool>(workspace));
        return ok ? std::string() : Message(error.Get());
    }

    std::string Folder() { return folder_.Path().filename().string(); }
};

TEST_F(WorkspaceCreation, NewFileGetsTheSchemaAndOneRecord) {
    const auto uuid = NewUuid();
    const std::string path = folder_.File("new.veskdb");
    {
        Held<IWorkspaceManager> workspace;
        ASSERT_EQ(Open(path, uuid, Vesk::Interfaces::ReadWrite, workspace), "");
        EXPECT_EQ(UuidOf(workspace.Get()), Text(uuid));
        Held<Data::Interfaces::IString> name;
        ASSERT_TRUE(workspace->GetName(name.Out(), nullptr));
        EXPECT_EQ(std::string(name->GetText()), Folder());
    }
    VeskTest::SqliteReader db(path);
    const auto schema = db.Rows("SELECT sql FROM sqlite_master WHERE type='table' ORDER BY rowid");
    ASSERT_EQ(schema.size(), 5u);
    for (size_t i = 0; i < schema.size(); ++i) {
        EXPECT_EQ(schema[i][0], kExpectedSchema[i]);
    }
    const auto record = db.Rows("SELECT Uuid, Name, typeof(Description), Description, Version FROM Workspaces");
    ASSERT_EQ(record.size(), 1u);
    EXPECT_EQ(record[0], (std::vector<std::string>{Text(uuid), Folder(), "text", "", "3"}));
    EXPECT_EQ(db.Value("SELECT Inserted GLOB '[0-9][0-9][0-9][0-9]-*T*Z' FROM Workspaces"), "1");
}

TEST_F(WorkspaceCreation, ExistingFileKeepsItsOwnUuid) {
    const auto first = NewUuid();
    const std::string path = folder_.File("kept.veskdb");
    {
        Held<IWorkspaceManager> workspace;
        ASSERT_EQ(Open(path, first, Vesk::Interfaces::ReadWrite, workspace), "");
    }
    for (int mode : {0, 1, 2}) {
        Held<IWorkspaceManager> again;
        ASSERT_EQ(Open(path, NewUuid(), mode, again), "");
        EXPECT_EQ(UuidOf(again.Get()), Text(first)) << "mode " << mode;
    }
    VeskTest::SqliteReader db(path);
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM Workspaces"), "1");
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

TEST_F(WorkspaceCreation, RecordIsReadThroughTheInterface) {
    const std::string path = folder_.File("record.veskdb");
    Data::Structures::_UUID uuid{};
    std::memcpy(uuid.bytes, "\x00\x11\x22\x33\x44\x55\x66\x77\x88\x99\xaa\xbb\xcc\xdd\xee\xff", 16);
    Held<IWorkspaceManager> workspace;
    ASSERT_EQ(Open(path, uuid, Vesk::Interfaces::ReadWrite, workspace), "");
    Held<Data::Interfaces::IArray> hash;
    ASSERT_TRUE(workspace->CalculateHash(hash.Out(), nullptr));
    // SHA-256 of the UUID's 16 bytes, computed with Python's hashlib.
    EXPECT_EQ(VeskTest::HexOf({reinterpret_cast<const char*>(hash->GetData()), hash->GetByteSize()}),
              "a8faed6abbf35c12a4b26e40f6feb19d736d90045c83b9f9a31f638d323e6811");
    Held<Data::Interfaces::IDateTime> inserted;
    Held<Data::Interfaces::IDateTime> updated;
    ASSERT_TRUE(workspace->GetInserted(inserted.Out(), nullptr));
    ASSERT_TRUE(workspace->GetUpdated(updated.Out(), nullptr));
    VeskTest::SqliteReader db(path);
    EXPECT_EQ(inserted->GetText(), db.Value("SELECT Inserted FROM Workspaces"));
    EXPECT_EQ(updated->GetText(), db.Value("SELECT Updated FROM Workspaces"));
    EXPECT_LE(inserted->Compare(updated.Get()), 0);
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

TEST_F(WorkspaceCreation, MemoryWorkspacesOfOneUuidShareADatabase) {
    const auto uuid = NewUuid();
    Held<IWorkspaceManager> first;
    Held<IWorkspaceManager> second;
    ASSERT_TRUE(Library().CreateInMemory(&uuid, first.Out(), nullptr));
    ASSERT_TRUE(Library().CreateInMemory(&uuid, second.Out(), nullptr));
    Held<Data::Interfaces::IArray> image;
    ASSERT_TRUE(second->Serialize(image.Out(), nullptr));
    VeskTest::SqliteReader db(image->GetData(), image->GetByteSize());
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM Workspaces"), "1");
    EXPECT_EQ(db.Value("SELECT Name FROM Workspaces"), "unnamed");
    Held<Data::Interfaces::IString> path;
    ASSERT_TRUE(first->GetFilePath(path.Out(), nullptr));
    EXPECT_STREQ(path->GetText(), "");
}

TEST_F(WorkspaceCreation, ReadOnlyImageWorksOnTheCallersBytes) {
    Data::Structures::_UUID recordUuid{};
    const std::vector<unsigned char> image = Image(&recordUuid);
    const std::vector<unsigned char> before = image;
    Held<IWorkspaceManager> workspace;
    Held<Core::IErrorCode> error;
    ASSERT_TRUE(Library().LoadFromMemory(image.data(), image.size(), workspace.Out(), error.Out()))
        << Message(error.Get());
    EXPECT_EQ(UuidOf(workspace.Get()), Text(recordUuid));
    Held<Data::Interfaces::IArray> again;
    ASSERT_TRUE(workspace->Serialize(again.Out(), nullptr));
    EXPECT_EQ(again->GetByteSize(), image.size());
    EXPECT_EQ(image, before);
}

TEST_F(WorkspaceCreation, WritableImageNeedsNoCallerBytesAfterwards) {
    Data::Structures::_UUID recordUuid{};
    std::vector<unsigned char> image = Image(&recordUuid);
    Held<IWorkspaceManager> workspace;
    Held<Core::IErrorCode> error;
    ASSERT_TRUE(Library().LoadFromMemory1(image.data(), image.size(), Vesk::Interfaces::ReadWrite, workspace.Out(),
                                          error.Out()))
        << Message(error.Get());
    std::fill(image.begin(), image.end(), 0);
    image.clear();
    image.shrink_to_fit();
    EXPECT_EQ(UuidOf(workspace.Get()), Text(recordUuid));
    Held<Data::Interfaces::IArray> copy;
    ASSERT_TRUE(workspace->Serialize(copy.Out(), nullptr));
    VeskTest::SqliteReader db(copy->GetData(), copy->GetByteSize());
    EXPECT_EQ(db.Value("SELECT Uuid FROM Workspaces"), Text(recordUuid));
}

TEST_F(WorkspaceCreation, ImageOfSizeZeroOpensAFreshMemoryWorkspace) {
    const unsigned char nothing = 0;
    Held<IWorkspaceManager> workspace;
    Held<Core::IErrorCode> error;
    ASSERT_TRUE(Library().LoadFromMemory(&nothing, 0, workspace.Out(), error.Out())) << Message(error.Get());
    Held<Data::Interfaces::IString> name;
    ASSERT_TRUE(workspace->GetName(name.Out(), nullptr));
    EXPECT_STREQ(name->GetText(), "unnamed");
}

TEST_F(WorkspaceCreation, VersionsAreCheckedOnOpening) {
    const std::string path = folder_.File("versions.veskdb");
    {
        Held<IWorkspaceManager> workspace;
        ASSERT_EQ(Open(path, NewUuid(), Vesk::Interfaces::ReadWrite, workspace), "");
    }
    VeskTest::SqliteReader(path).Execute("UPDATE Workspaces SET Version = 4");
    {
        Held<IWorkspaceManager> newer;
        EXPECT_EQ(Open(path, NewUuid(), Vesk::Interfaces::ReadWrite, newer), "");
    }
    // An older version is upgraded on opening; the record keeps its empty description.
    VeskTest::SqliteReader(path).Execute("UPDATE Workspaces SET Version = 2");
    Held<IWorkspaceManager> older;
    EXPECT_EQ(Open(path, NewUuid(), Vesk::Interfaces::ReadWrite, older), "");
    VeskTest::SqliteReader db(path);
    EXPECT_EQ(db.Value("SELECT Version FROM Workspaces"), "3");
    EXPECT_EQ(db.Value("SELECT typeof(Description) || ':' || Description FROM Workspaces"), "text:");
}

TEST_F(WorkspaceCreation, DefaultSecretAndLoggerExportsAnswer) {
    const auto uuid = NewUuid();
    Held<IWorkspaceManager> workspace;
    ASSERT_TRUE(Library().CreateInMemory(&uuid, workspace.Out(), nullptr));
    Held<Core::IErrorCode> error;
    EXPECT_TRUE(Library().GenerateDefaultSecret(workspace.Get(), error.Out())) << Message(error.Get());
    EXPECT_TRUE(Library().SetLogger(nullptr));
}

// Bad input: each fails with an error object, creates nothing and leaves the out-pointer empty.
class BadInput : public WorkspaceCreation {
protected:
    std::string OpenImage(const std::vector<unsigned char>& image, int mode) {
        Held<IWorkspaceManager> workspace;
        Held<Core::IErrorCode> error;
        EXPECT_FALSE(Library().LoadFromMemory1(image.data(), image.size(), mode, workspace.Out(), error.Out()));
        EXPECT_FALSE(workspace);
        return Message(error.Get());
    }
};

TEST_F(BadInput, MissingFolder) {
    Held<IWorkspaceManager> workspace;
    const std::string path = folder_.File("absent/inner.veskdb");
    const std::string failure = Open(path, NewUuid(), Vesk::Interfaces::ReadWrite, workspace);
    EXPECT_NE(failure.find("unable to open database file"), std::string::npos) << failure;
    EXPECT_FALSE(std::filesystem::exists(folder_.Path() / "absent"));
}

TEST_F(BadInput, FileThatIsNotADatabase) {
    const std::string path = folder_.File("notes.veskdb");
    std::ofstream(path) << "these are plain notes, not a database, and long enough to fill a header page";
    const auto size = std::filesystem::file_size(path);
    for (int mode : {0, 1, 2}) {
        Held<IWorkspaceManager> workspace;
        const std::string failure = Open(path, NewUuid(), mode, workspace);
        EXPECT_NE(failure.find("file is not a database"), std::string::npos) << failure;
    }
    EXPECT_EQ(std::filesystem::file_size(path), size);
}

TEST_F(BadInput, ReadOnlyOpeningOfAMissingFile) {
    Held<IWorkspaceManager> workspace;
    EXPECT_NE(Open(folder_.File("missing.veskdb"), NewUuid(), Vesk::Interfaces::ReadOnly, workspace), "");
    EXPECT_FALSE(std::filesystem::exists(folder_.File("missing.veskdb")));
}

TEST_F(BadInput, UnknownOpenMode) {
    Held<IWorkspaceManager> workspace;
    const std::string failure = Open(folder_.File("mode.veskdb"), NewUuid(), 3, workspace);
    EXPECT_NE(failure.find("Unsupported workspace open mode 3"), std::string::npos) << failure;
    EXPECT_NE(OpenImage(Image(), -1).find("Unsupported workspace open mode -1"), std::string::npos);
}

TEST_F(BadInput, TruncatedImage) {
    std::vector<unsigned char> image = Image();
    image.resize(image.size() / 2);
    for (int mode : {0, 1}) {
        EXPECT_NE(OpenImage(image, mode), "(no error object)") << "mode " << mode;
    }
    image.resize(50);
    EXPECT_NE(OpenImage(image, 0), "(no error object)");
}

TEST_F(BadInput, WalModeImage) {
    const std::string path = folder_.File("wal.veskdb");
    {
        Held<IWorkspaceManager> workspace;
        ASSERT_EQ(Open(path, NewUuid(), Vesk::Interfaces::ReadWrite, workspace), "");
    }
    VeskTest::SqliteReader(path).Execute("PRAGMA journal_mode=WAL");
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(image[18], 2);  // the header says WAL
    for (int mode : {0, 1}) {
        EXPECT_NE(OpenImage(image, mode), "(no error object)") << "mode " << mode;
    }
}

}  // namespace
}  // namespace VeskHost
