#include "Vesk/Services/RemoteRegistry.h"

#include <fmt/format.h>

#include <optional>
#include <stdexcept>
#include <string_view>

#include "Core/DataObjects.h"
#include "Core/Guard.h"
#include "Core/TableAccess.h"
#include "Core/TypeName.h"
#include "Core/Variant.h"
#include "Platform/ApplicationData.h"
#include "Platform/CredentialStore.h"
#include "Private/Data/SQLite.h"
#include "Vesk/Data/KeldaData.h"

namespace Vesk::Workspace::Services {
namespace {

namespace DI = Data::Interfaces;
namespace DS = Data::Structures;
namespace SQLite = Vesk::Data::SQLite;
using Connection = Core::Ptr<SQLite::impl::SQLiteImpl>;

constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS \"WorkspaceRemotes\" (\n\t\t\"Alias\" TEXT NOT NULL,\n\t\t\"Url\" TEXT NOT "
    "NULL,\n\t\tPRIMARY KEY(\"Alias\")\n\t)";
constexpr const char* kUpsert =
    "INSERT INTO WorkspaceRemotes (Alias, Url) VALUES (?, ?) ON CONFLICT(Alias) DO UPDATE SET Url=excluded.Url;";
constexpr const char* kSelectAll = "SELECT Alias, Url FROM WorkspaceRemotes";
constexpr const char* kDeleteOne = "DELETE FROM WorkspaceRemotes WHERE Alias = ?";
constexpr const char* kDeleteAll = "DELETE FROM WorkspaceRemotes";
// The class name under which the suite's data-object library registers its secure strings; hosts read
// it back from the property's description of its type.
constexpr const char* kSecureStringClass = "struct Data::SecureString";

// A fresh connection per call: the registry is small, calls are rare, and no handle outlives the call
// that a host might make from another thread or process.
Connection OpenRegistry() {
    Connection connection = SQLite::CreateConnection(RemoteRegistryPath());
    connection->EnableWal();
    SQLite::CreateStatement(connection, kCreateTable)->Execute();
    return connection;
}

Data::Variant PropertyValue(DI::IProperties* remote, const char* name) {
    Data::Variant value;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return remote->GetValue(name, value.Receive(), e); });
    return value;
}

std::string TextOf(const Data::Variant& value) {
    return value.HasData() ? value.Text() : std::string();
}

std::string TargetOf(const std::string& alias, const std::string& url) {
    return fmt::format("VESKWSROOT:{}:{}", alias, url);
}

void Register(DI::IProperties* remote, const char* name, const char* description, const std::string& interfaceType,
              const char* classType, int32_t valueType) {
    Core::ThrowIfFailed([&](Core::IErrorCode** e) {
        return remote->Register("", name, description, interfaceType.c_str(), classType, valueType, false, e);
    });
}

void RegisterApiKey(DI::IProperties* remote) {
    Register(remote, kApiKeyProperty, kApiKeyDescription, Core::TypeName<DI::ISecureString>(), kSecureStringClass,
             DS::VT_IObject);
}

Core::Ptr<DI::IProperties> RemoteOf(const Data::Variant& alias, const Data::Variant& url) {
    Core::Ptr<DI::IProperties> remote;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return Data_CreateProperties(remote.Receive(), e); });
    Register(remote.Get(), kAliasProperty, "", "", "", DS::VT_String);
    Register(remote.Get(), kUrlProperty, "", "", "", DS::VT_String);
    RegisterApiKey(remote.Get());
    const Data::Variant aliasText = Data::Variant::FromString(TextOf(alias));
    const Data::Variant urlText = Data::Variant::FromString(TextOf(url));
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return remote->SetValue(kAliasProperty, &aliasText.Raw(), e); });
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return remote->SetValue(kUrlProperty, &urlText.Raw(), e); });
    return remote;
}

// Overwrites a plain copy of a secret once it has been handed on.
void Wipe(std::string& secret) noexcept {
    volatile char* bytes = secret.data();
    for (size_t i = 0; i < secret.size(); ++i) {
        bytes[i] = 0;
    }
}

}  // namespace

std::string RemoteRegistryPath() {
    return Platform::IO::GetApplicationDataFolder() + "/Remotes.db";
}

std::string CredentialTarget(DI::IProperties* remote) {
    const std::string url = TextOf(PropertyValue(remote, kUrlProperty));
    const std::string alias = TextOf(PropertyValue(remote, kAliasProperty));
    return TargetOf(alias, url);
}

void AddWorkspaceRemote(DI::IProperties* remote) {
    const Data::Variant alias = PropertyValue(remote, kAliasProperty);
    const Data::Variant url = PropertyValue(remote, kUrlProperty);
    {
        const Connection connection = OpenRegistry();
        const auto statement = SQLite::CreateStatement(connection, kUpsert);
        statement->Bind(1, alias);
        statement->Bind(2, url);
        statement->Execute();
    }
    // The row is written first and stays when the credential cannot be: the server is known, its key
    // can be given again.
    if (!remote->Contains(kApiKeyProperty)) {
        return;
    }
    const Data::Variant key = PropertyValue(remote, kApiKeyProperty);
    if (!key.HasData()) {
        return;
    }
    const Core::Ptr<DI::ISecureString> secret = key.AsObject<DI::ISecureString>();
    const std::string aliasText = TextOf(alias);
    Platform::Credentials::Write(TargetOf(aliasText, TextOf(url)), aliasText,
                                 std::string_view(secret->GetText(), secret->GetLength()));
}

Core::Ptr<DI::IObjectList> GetWorkspaceRemotes() {
    Core::Ptr<DI::ITable> rows;
    {
        const Connection connection = OpenRegistry();
        rows = SQLite::ExecuteToTable(connection, kSelectAll);
    }
    Core::Ptr<DI::IObjectList> list;
    if (!Data_CreateObjectList(list.Receive()) || !list) {
        throw std::runtime_error("Failed to create object list");
    }
    for (const auto& row : Data::RowsOf(rows)) {
        const Core::Ptr<DI::IProperties> remote =
            RemoteOf(Data::CellNamed(row, kAliasProperty), Data::CellNamed(row, kUrlProperty));
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return list->Append(remote.Get(), e); });
    }
    return list;
}

void RemoveWorkspaceRemote(DI::IProperties* remote) {
    const std::string target = CredentialTarget(remote);
    const Data::Variant alias = PropertyValue(remote, kAliasProperty);
    {
        const Connection connection = OpenRegistry();
        const auto statement = SQLite::CreateStatement(connection, kDeleteOne);
        statement->Bind(1, alias);
        statement->Execute();
    }
    if (Platform::Credentials::Exists(target)) {
        Platform::Credentials::Delete(target);
    }
}

void ClearWorkspaceRemotes() {
    const Connection connection = OpenRegistry();
    const Core::Ptr<DI::ITable> rows = SQLite::ExecuteToTable(connection, kSelectAll);
    for (const auto& row : Data::RowsOf(rows)) {
        const std::string target =
            TargetOf(TextOf(Data::CellNamed(row, kAliasProperty)), TextOf(Data::CellNamed(row, kUrlProperty)));
        if (Platform::Credentials::Exists(target)) {
            Platform::Credentials::Delete(target);
        }
    }
    SQLite::CreateStatement(connection, kDeleteAll)->Execute();
}

void ReadRemoteSecret(DI::IProperties* remote) {
    const std::string target = CredentialTarget(remote);
    if (!Platform::Credentials::Exists(target)) {
        return;
    }
    std::optional<std::string> stored = Platform::Credentials::Read(target);
    if (!stored) {
        // Deleted by someone else between the two questions: as if it had never been there.
        return;
    }
    const Core::Ptr<DI::ISecureString> secret = Data::NewSecureString(*stored);
    Wipe(*stored);
    if (!remote->Contains(kApiKeyProperty)) {
        RegisterApiKey(remote);
    }
    const Data::Variant value = Data::Variant::FromObject(secret, DS::VT_IObject);
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return remote->SetValue(kApiKeyProperty, &value.Raw(), e); });
}

}  // namespace Vesk::Workspace::Services
