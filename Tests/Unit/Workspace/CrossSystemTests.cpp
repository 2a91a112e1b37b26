// A workspace file written on one system opens on the other with identical values: stored values of
// every type, and a secure string encrypted under the default secret, which each system derives on
// its own from the workspace UUID. CI writes the file on Linux and reads it on Windows, and back:
//   VESK_CROSS_SYSTEM_WRITE=<file>  write the workspace there (then read it back here);
//   VESK_CROSS_SYSTEM_READ=<file>   only read a workspace that the other system wrote.
// Without either, the file is written and read in a temporary folder.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "Core/DataObjects.h"
#include "Core/ErrorCode.h"
#include "Core/Guard.h"
#include "Core/Variant.h"
#include "Platform/File.h"
#include "Private/Data/Table.h"
#include "Support/TempFolder.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"

namespace {

namespace DS = Data::Structures;
namespace DI = Data::Interfaces;
using Data::Variant;
using Vesk::Data::BlobToValue;
using Vesk::Data::ValueToBlob;
using Vesk::Workspace::impl::WorkspaceManagerImpl;
using Bytes = std::vector<uint8_t>;

constexpr const char* kUuid = "4f0c2d1e-9b7a-4c55-8e21-6a3b0d9f7c14";

struct Stored {
    std::string name;
    Variant value;
    const char* interfaceType;
};

Variant SecureString(const std::string& text) {
    Core::Ptr<DI::ISecureString> secure;
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return Data_CreateSecureString(secure.Receive(), text.data(), text.size(), e); });
    return Variant::FromObject(secure, DS::VT_IObject);
}

Variant DateTime(uint64_t fileTime) {
    Core::Ptr<DI::IDateTime> dateTime;
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return Data_CreateDateTimeFromFileTime(fileTime, dateTime.Receive(), e); });
    return Variant::FromObject(dateTime, DS::VT_DateTime);
}

template <class T>
Variant Document(bool (*create)(T**), const std::string& text, uint16_t type) {
    Core::Ptr<T> document;
    create(document.Receive());
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return document->Load(text.data(), text.size(), e); });
    return Variant::FromObject(document, type);
}

Variant StringList(const std::vector<std::string>& items) {
    Core::Ptr<DI::IObjectList> list;
    Data_CreateObjectList(list.Receive());
    for (const std::string& item : items) {
        list->Append(Data::NewString(item).Get(), nullptr);
    }
    return Variant::FromObject(list, DS::VT_StringList);
}

// The same values on every system: one of each stored type.
std::vector<Stored> Values() {
    const Bytes raw{0, 1, 0xfe, 0xff};
    Core::Ptr<DI::IEnum> enumeration;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return Data_CreateEnum(enumeration.Receive(), "Spatial", e); });
    return {
        {"int16", Variant::FromInt16(-2), ""},
        {"uint16", Variant::FromUInt16(65535), ""},
        {"int32", Variant::FromInt32(-123456), ""},
        {"uint32", Variant::FromUInt32(4000000000u), ""},
        {"int64", Variant::FromInt64(std::numeric_limits<int64_t>::min()), ""},
        {"uint64", Variant::FromUInt64(std::numeric_limits<uint64_t>::max()), ""},
        {"int128", Variant::FromInt128(0x8000000000000001ull, 0x7fffffffffffffffull), ""},
        {"uint128", Variant::FromUInt128(1, ~0ull), ""},
        {"uuid", Variant::FromUuid(Data::UuidFromText("00112233-4455-6677-8899-aabbccddeeff")), ""},
        {"byte", Variant::FromByte(200), ""},
        {"double", Variant::FromDouble(-1.5e300), ""},
        {"float", Variant::FromFloat(3.25f), ""},
        {"bool", Variant::FromBool(true), ""},
        {"string",
         Variant::FromString("Gr\xc3\xbc\xc3\x9f"
                             "e aus K\xc3\xb6ln \xe6\x97\xa5\xe6\x9c\xac"),
         ""},
        {"datetime", DateTime(133000000000000000ull), ""},
        {"json", Document<DI::IJsonDocument>(Data_CreateJsonDocument, R"({"depth":[1,2.5]})", DS::VT_JsonDocument), ""},
        {"xml",
         Document<DI::IXmlDocument>(Data_CreateXmlDocument, "<style><line w=\"2\"/></style>", DS::VT_XmlDocument), ""},
        {"array", Variant::FromObject(Data::NewByteArray(raw.data(), raw.size()), DS::VT_Array), ""},
        {"strings",
         StringList({"north", "",
                     "s\xc3\xbc"
                     "d \"quoted\""}),
         ""},
        {"enum", Variant::FromObject(enumeration, DS::VT_IObject), "Data::IEnum"},
        {"secure", SecureString("p@ssw\xc3\xb6rd under the default secret"), "Data::ISecureString"},
    };
}

Bytes BytesOf(DI::IArray* array) {
    return array != nullptr && array->GetByteSize() != 0
               ? Bytes(array->GetData(), array->GetData() + array->GetByteSize())
               : Bytes();
}

// What a value holds, as text: the text of secure strings and enumerations, the bytes of arrays.
std::string Shown(const Variant& value) {
    if (value.Type() == DS::VT_Array) {
        const Bytes bytes = BytesOf(value.AsArray().Get());
        return std::string(bytes.begin(), bytes.end());
    }
    if (value.Type() == DS::VT_IObject) {
        auto object = value.AsObject<Core::IObject>();
        if (auto secure = object.TryCast<DI::ISecureString>()) {
            return std::string(secure->GetText(), secure->GetLength());
        }
        if (auto enumeration = object.TryCast<DI::IEnum>()) {
            return enumeration->GetText();
        }
    }
    return value.ToString();
}

// The workspace's own secret as the key of its secure strings.
Core::Ptr<DI::IArray> SecretOf(const std::string& path, int mode) {
    auto workspace = Core::MakeObject<WorkspaceManagerImpl>(Data::UuidFromText(kUuid), path, mode, nullptr, 0);
    const auto& secret = workspace->Secret();
    return Data::NewByteArray(secret->GetText(), secret->GetLength());
}

class Database {
public:
    explicit Database(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            throw std::runtime_error("cannot open " + path);
        }
    }
    ~Database() { sqlite3_close(db_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    sqlite3* Get() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

void Write(const std::string& path) {
    std::filesystem::remove(Platform::IO::PathFromUtf8(path));
    const auto secret = SecretOf(path, Vesk::Interfaces::ReadWritePersistent);
    Database db(path);
    ASSERT_EQ(sqlite3_exec(db.Get(), "CREATE TABLE CrossSystemValues (Name TEXT PRIMARY KEY, Type INTEGER, Value BLOB)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_stmt* insert = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db.Get(), "INSERT INTO CrossSystemValues VALUES (?, ?, ?)", -1, &insert, nullptr),
              SQLITE_OK);
    for (const Stored& stored : Values()) {
        const Bytes blob = BytesOf(ValueToBlob(stored.value, secret.Get()).Get());
        sqlite3_bind_text(insert, 1, stored.name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 2, stored.value.Type());
        sqlite3_bind_blob(insert, 3, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE) << stored.name;
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
}

void Read(const std::string& path) {
    // Opening the workspace checks its schema; its secret is derived here, not read from the file.
    const auto secret = SecretOf(path, Vesk::Interfaces::ReadOnly);
    Database db(path);
    sqlite3_stmt* select = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db.Get(), "SELECT Type, Value FROM CrossSystemValues WHERE Name = ?", -1, &select, nullptr),
        SQLITE_OK);
    for (const Stored& stored : Values()) {
        SCOPED_TRACE(stored.name);
        sqlite3_bind_text(select, 1, stored.name.c_str(), -1, SQLITE_TRANSIENT);
        ASSERT_EQ(sqlite3_step(select), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(select, 0), stored.value.Type());
        const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(select, 1));
        const Bytes written(data, data + sqlite3_column_bytes(select, 1));
        sqlite3_reset(select);
        // The same bytes as this system writes, the encrypted secure string included.
        EXPECT_EQ(written, BytesOf(ValueToBlob(stored.value, secret.Get()).Get()));
        const Variant back = BlobToValue(Data::NewByteArray(written.data(), written.size()).Get(), stored.value.Type(),
                                         stored.interfaceType, secret.Get());
        ASSERT_EQ(back.Type(), stored.value.Type());
        EXPECT_EQ(Shown(back), Shown(stored.value));
    }
    sqlite3_finalize(select);
}

TEST(CrossSystem, AWorkspaceFileReadsBackWithIdenticalValuesAndBlobs) {
    if (const char* other = std::getenv("VESK_CROSS_SYSTEM_READ"); other != nullptr && *other != '\0') {
        Read(other);
        return;
    }
    VeskTest::TempFolder folder;
    const char* target = std::getenv("VESK_CROSS_SYSTEM_WRITE");
    const std::string path = target != nullptr && *target != '\0' ? target : folder.File("cross.veskdb");
    Write(path);
    Read(path);
}

TEST(CrossSystem, AFolderNamedBeyondAsciiNamesTheWorkspace) {
    VeskTest::TempFolder temp;
    const std::string folderName = "V\xC3\xA9sk \xE6\x97\xA5\xE6\x9C\xAC";
    const std::filesystem::path folder = temp.Path() / Platform::IO::PathFromUtf8(folderName);
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::u8string folderText = folder.u8string();
    const std::string path = std::string(folderText.begin(), folderText.end()) + "/w.veskdb";
    SecretOf(path, Vesk::Interfaces::ReadWritePersistent);
    ASSERT_TRUE(std::filesystem::exists(folder / "w.veskdb"));
    Database db(path);
    sqlite3_stmt* select = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db.Get(), "SELECT Name FROM Workspaces", -1, &select, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(select), SQLITE_ROW);
    EXPECT_EQ(reinterpret_cast<const char*>(sqlite3_column_text(select, 0)), folderName);
    sqlite3_finalize(select);
}

}  // namespace
