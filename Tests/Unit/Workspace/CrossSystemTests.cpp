// A workspace file written on one system opens on the other with identical values: properties of every
// stored type on a generic object (secure strings under the secret that opening derives from the UUID) and
// on a data source (under the default secret), with a nested set. Each system derives both secrets on its
// own, so identical blobs show that the encryption agrees too. CI writes the file on Linux and reads it on
// Windows, and back:
//   VESK_CROSS_SYSTEM_WRITE=<file>  write the workspace there (then read it back here);
//   VESK_CROSS_SYSTEM_READ=<file>   only read a workspace that the other system wrote.
// Without either, the file is written and read in a temporary folder.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
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
#include "PropertyValues.h"
#include "Support/TempFolder.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace/DefaultSecret.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"

namespace {

namespace DS = Data::Structures;
namespace DI = Data::Interfaces;
using Data::Variant;
using Vesk::Data::BlobToValue;
using Vesk::Data::ValueToBlob;
using Vesk::Workspace::impl::WorkspaceManagerImpl;
using WorkspaceTest::Bytes;
using WorkspaceTest::BytesOf;
using WorkspaceTest::DateTime;
using WorkspaceTest::SecureString;
using WorkspaceTest::Shown;
using WorkspaceTest::StringList;

constexpr const char* kUuid = "4f0c2d1e-9b7a-4c55-8e21-6a3b0d9f7c14";

struct Stored {
    std::string name;
    Variant value;
    const char* interfaceType;
    // The type the value reads back as, when not its own.
    uint16_t readsAs = 0;
};

template <class T>
Variant Document(bool (*create)(T**), const std::string& text, uint16_t type) {
    Core::Ptr<T> document;
    create(document.Receive());
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return document->Load(text.data(), text.size(), e); });
    return Variant::FromObject(document, type);
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
        {"sbyte", Variant::FromSByte(-2), "", DS::VT_Int32},
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

constexpr const char* kObject = "7a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";
constexpr const char* kDataSource = "0e9d8c7b-6a5f-4e3d-a2c1-b0a9f8e7d6c5";

void Check(const std::function<bool(Core::IErrorCode**)>& call) {
    Core::ErrorCode error;
    if (!call(error.Receive())) {
        throw std::runtime_error(error ? std::string(error.Message()) : "failed without an error object");
    }
}

// A set holding every value of Values() under prefix + its name and, when asked, a nested set of the same
// values (under "nested.") as prefix + "nested".
Core::Ptr<DI::IProperties> SetOf(const std::string& prefix, bool withNested) {
    Core::Ptr<DI::IProperties> set;
    Check([&](Core::IErrorCode** e) { return Data_CreateProperties(set.Receive(), e); });
    auto add = [&](const std::string& name, const Variant& value, const char* interfaceType) {
        Check([&](Core::IErrorCode** e) {
            return set->Register("", name.c_str(), "", interfaceType, "", value.Type(), false, e);
        });
        Check([&](Core::IErrorCode** e) { return set->SetValue(name.c_str(), &value.Raw(), e); });
    };
    for (const Stored& stored : Values()) {
        add(prefix + stored.name, stored.value, stored.interfaceType);
    }
    if (withNested) {
        add(prefix + "nested", Variant::FromObject(SetOf("nested.", false), DS::VT_IObject),
            Vesk::Data::kNestedPropertiesInterface);
    }
    return set;
}

Core::Ptr<WorkspaceManagerImpl> Open(const std::string& path, int mode) {
    return Core::MakeObject<WorkspaceManagerImpl>(Data::UuidFromText(kUuid), path, mode, nullptr, 0);
}

// The workspace's current secret as the key of its secure strings.
Core::Ptr<DI::IArray> SecretOf(const WorkspaceManagerImpl& workspace) {
    const auto& secret = workspace.Secret();
    return Data::NewByteArray(secret->GetText(), secret->GetLength());
}

class Database {
public:
    explicit Database(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
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
    auto workspace = Open(path, Vesk::Interfaces::ReadWrite);
    const DS::_UUID object = Data::UuidFromText(kObject);
    const DS::_UUID source = Data::UuidFromText(kDataSource);
    Core::Ptr<Vesk::Interfaces::IWorkspaceObject> created;
    Check([&](Core::IErrorCode** e) {
        return workspace->CreateObject(nullptr, &object, "values", "Values", false, created.Receive(), e);
    });
    Check([&](Core::IErrorCode** e) { return created->SetProperties(SetOf("plain.", false).Get(), e); });
    Vesk::Workspace::GenerateDefaultSecret(workspace.GetUnchecked());
    Core::Ptr<Vesk::Interfaces::IWorkspaceDataSource> dataSource;
    Check([&](Core::IErrorCode** e) {
        return workspace->CreateDataSource(&source, "values", 1, SetOf("default.", true).Get(), dataSource.Receive(),
                                           e);
    });
}

// The PropertyValue of the one property of that name, as the file holds it.
Bytes StoredBlob(sqlite3* db, const std::string& name) {
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "SELECT PropertyValue FROM Properties WHERE PropertyName = ?", -1, &select, nullptr);
    sqlite3_bind_text(select, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    Bytes bytes;
    if (sqlite3_step(select) == SQLITE_ROW) {
        const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(select, 0));
        bytes.assign(data, data + sqlite3_column_bytes(select, 0));
    }
    EXPECT_EQ(sqlite3_step(select), SQLITE_DONE) << name << " is stored once";
    sqlite3_finalize(select);
    return bytes;
}

// Every value of Values() reads back from set under prefix with its type and what it holds, and the file
// holds the very blob that this system writes for it under secret.
void Expect(DI::IProperties* set, const std::string& prefix, DI::IArray* secret, sqlite3* db) {
    ASSERT_NE(set, nullptr);
    for (const Stored& stored : Values()) {
        const std::string name = prefix + stored.name;
        SCOPED_TRACE(name);
        DS::_VARIANT raw{};
        ASSERT_TRUE(set->GetValue(name.c_str(), &raw, nullptr));
        const Variant back = Variant::Adopt(raw);
        ASSERT_EQ(back.Type(), stored.readsAs != 0 ? stored.readsAs : stored.value.Type());
        EXPECT_EQ(Shown(back), Shown(stored.value));
        EXPECT_EQ(StoredBlob(db, name), BytesOf(ValueToBlob(stored.value, secret)));
    }
}

void Read(const std::string& path) {
    auto workspace = Open(path, Vesk::Interfaces::ReadOnly);
    Database db(path);
    const DS::_UUID object = Data::UuidFromText(kObject);
    const DS::_UUID source = Data::UuidFromText(kDataSource);
    Core::Ptr<DI::IProperties> plain, withDefault;
    Check([&](Core::IErrorCode** e) { return workspace->GetObjectProperties(&object, plain.Receive(), e); });
    {
        SCOPED_TRACE("under the secret of opening");
        Expect(plain.Get(), "plain.", SecretOf(*workspace).Get(), db.Get());
    }
    Vesk::Workspace::GenerateDefaultSecret(workspace.GetUnchecked());
    Check([&](Core::IErrorCode** e) { return workspace->GetObjectProperties(&source, withDefault.Receive(), e); });
    const auto secret = SecretOf(*workspace);
    SCOPED_TRACE("under the default secret");
    Expect(withDefault.Get(), "default.", secret.Get(), db.Get());
    DS::_VARIANT raw{};
    ASSERT_TRUE(withDefault->GetValue("default.nested", &raw, nullptr));
    const Variant nested = Variant::Adopt(raw);
    ASSERT_EQ(nested.Type(), DS::VT_IObject);
    Expect(nested.AsObject<Core::IObject>().TryCast<DI::IProperties>().Get(), "nested.", secret.Get(), db.Get());
}

TEST(CrossSystem, AWorkspaceFileReadsBackWithIdenticalPropertiesAndBlobs) {
    if (const char* other = std::getenv("VESK_CROSS_SYSTEM_READ"); other != nullptr && *other != '\0') {
        Read(other);
        return;
    }
    VeskTest::TempFolder folder;
    const char* target = std::getenv("VESK_CROSS_SYSTEM_WRITE");
    const std::string path = target != nullptr && *target != '\0' ? target : folder.File("cross.veskdb");
    ASSERT_NO_THROW(Write(path));
    Read(path);
}

}  // namespace
