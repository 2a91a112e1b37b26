// The remote registry through the library's exports, against a real keyring daemon on a private session
// bus (scripts/with-keyring.sh). What the library stored is checked from outside: the registry file with
// SQLite, the keys with secret-tool.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/CredentialStore.h"
#include "Support/Fixtures.h"
#include "Support/SqliteReader.h"
#include "Support/TempFolder.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace.h"

namespace {

namespace DI = Data::Interfaces;
namespace DS = Data::Structures;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using Rows = std::vector<std::vector<std::string>>;

struct Releaser {
    void operator()(Core::IObject* object) const { object->Release(); }
};
template <class T>
using Owned = std::unique_ptr<T, Releaser>;

struct Error {
    Core::IErrorCode* raw = nullptr;
    ~Error() {
        if (raw != nullptr) {
            raw->Release();
        }
    }
    std::string Message() const { return raw != nullptr ? raw->GetMessage() : "(no error)"; }
};

std::string Target(const std::string& alias, const std::string& url) {
    return "VESKWSROOT:" + alias + ":" + url;
}

// Standard output of a shell command; nothing when it fails.
std::optional<std::string> Output(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string text;
    char buffer[256];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
        text.append(buffer, n);
    }
    const int status = pclose(pipe);
    return status == 0 ? std::optional<std::string>(text) : std::nullopt;
}

// The key that the keyring holds for target, as any Secret Service client sees it.
std::optional<std::string> KeyringSecret(const std::string& target) {
    return Output("secret-tool lookup target '" + target + "' 2>/dev/null");
}

Owned<DI::ISecureString> SecureString(const std::string& text) {
    DI::ISecureString* secure = nullptr;
    EXPECT_TRUE(Data_CreateSecureString(&secure, text.data(), text.size(), nullptr));
    return Owned<DI::ISecureString>(secure);
}

DS::_VARIANT TextValue(const std::string& text) {
    DI::IString* string = nullptr;
    EXPECT_TRUE(Data_CreateString(&string));
    string->Set(text.data(), text.size(), nullptr);
    DS::_VARIANT value{};
    value.type = uint32_t{DS::VT_String} | DS::VF_Reference;
    value.object = string;
    return value;
}

enum class Key { Absent, Null, Given };

// A remote as a host builds one: Alias and Url, and an ApiKey that is not registered, registered and
// set to Null, or holding key.
Owned<DI::IProperties> Remote(const std::string& alias, const std::string& url, Key kind = Key::Absent,
                              const std::string& key = "") {
    DI::IProperties* raw = nullptr;
    EXPECT_TRUE(Data_CreateProperties(&raw, nullptr));
    Owned<DI::IProperties> remote(raw);
    for (const auto& [name, text] : {std::pair{"Alias", alias}, std::pair{"Url", url}}) {
        EXPECT_TRUE(remote->Register("", name, "", "", "", DS::VT_String, false, nullptr));
        DS::_VARIANT value = TextValue(text);
        EXPECT_TRUE(remote->SetValue(name, &value, nullptr));
        DS::VariantClear(&value);
    }
    if (kind != Key::Absent) {
        EXPECT_TRUE(remote->Register("", "ApiKey", "", "Data::ISecureString", "", DS::VT_IObject, false, nullptr));
        DS::_VARIANT value{};
        value.type = DS::VT_Null;
        if (kind == Key::Given) {
            Owned<DI::ISecureString> secure = SecureString(key);
            // The record borrows the key: SetValue takes a reference of its own.
            value.type = uint32_t{DS::VT_IObject} | DS::VF_Reference;
            value.object = secure.get();
            EXPECT_TRUE(remote->SetValue("ApiKey", &value, nullptr));
        } else {
            EXPECT_TRUE(remote->SetValue("ApiKey", &value, nullptr));
        }
    }
    return remote;
}

// The remote's ApiKey as text, "(unset)" without a value and "(not a key)" for anything but a key.
std::string ApiKeyOf(DI::IProperties* remote) {
    if (!remote->Contains("ApiKey")) {
        return "(unregistered)";
    }
    DS::_VARIANT value{};
    std::string text = "(unset)";
    if (remote->GetValue("ApiKey", &value, nullptr) && DS::VariantFormOf(value) == DS::VF_Reference &&
        value.object != nullptr) {
        auto* secure = dynamic_cast<DI::ISecureString*>(value.object);
        text = secure != nullptr ? std::string(secure->GetText(), secure->GetLength()) : "(not a key)";
    }
    DS::VariantClear(&value);
    return text;
}

class RemoteRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        // The per-user folder follows XDG_DATA_HOME: every test starts with a registry of its own.
        ASSERT_EQ(setenv("XDG_DATA_HOME", folder_.Path().c_str(), 1), 0);
        char exe[4096] = {};
        ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
        registry_ = (folder_.Path() / std::filesystem::path(exe).stem() / "Remotes.db").string();
    }
    void TearDown() override { EXPECT_TRUE(VeskWorkspace_ClearWorkspaceRemotes(nullptr)); }

    Rows RegistryRows() {
        return VeskTest::SqliteReader(registry_).Rows("SELECT Alias, Url FROM WorkspaceRemotes ORDER BY Alias");
    }

    void Add(DI::IProperties* remote) {
        Error error;
        EXPECT_TRUE(VeskWorkspace_AddWorkspaceRemote(remote, &error.raw)) << error.Message();
    }

    // The remotes as the library lists them, each as alias, URL and what its ApiKey holds.
    Rows Listed() {
        DI::IObjectList* raw = nullptr;
        Error error;
        EXPECT_TRUE(VeskWorkspace_GetWorkspaceRemotes(&raw, &error.raw)) << error.Message();
        Owned<DI::IObjectList> list(raw);
        Rows rows;
        for (uint64_t i = 0; list && i < list->GetCount(); ++i) {
            Core::IObject* item = nullptr;
            EXPECT_TRUE(list->Get(i, &item, nullptr));
            Owned<Core::IObject> owned(item);
            auto* remote = dynamic_cast<DI::IProperties*>(item);
            std::vector<std::string> row;
            for (const char* name : {"Alias", "Url"}) {
                DS::_VARIANT value{};
                EXPECT_TRUE(remote->GetValue(name, &value, nullptr));
                auto* text = dynamic_cast<DI::IString*>(value.object);
                row.emplace_back(text != nullptr ? text->GetText() : "(not text)");
                DS::VariantClear(&value);
            }
            row.push_back(ApiKeyOf(remote));
            rows.push_back(row);
        }
        return rows;
    }

    VeskTest::TempFolder folder_;
    std::string registry_;
};

TEST_F(RemoteRegistry, AddsRowAndKeyAndReadsTheKeyBack) {
    const std::string url = "https://ws.example.org:8443/api/ws";
    const std::string key = "k-3f9a\xc3\xa9-unique-key-text";
    Add(Remote("prod", url, Key::Given, key).get());

    EXPECT_EQ(RegistryRows(), (Rows{{"prod", url}}));
    EXPECT_EQ(VeskTest::SqliteReader(registry_).Value("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(KeyringSecret(Target("prod", url)), key) << "the key is in the keyring under the remote's target";
    const auto item = Output("secret-tool search --all target '" + Target("prod", url) + "' 2>&1");
    ASSERT_TRUE(item.has_value());
    EXPECT_THAT(*item, HasSubstr("label = Vesk workspace server " + Target("prod", url)));
    EXPECT_THAT(*item, HasSubstr("attribute.user = prod"));
    for (const char* suffix : {"", "-wal", "-shm"}) {
        if (std::filesystem::exists(registry_ + suffix)) {
            EXPECT_THAT(VeskTest::FileBytes(registry_ + suffix), Not(HasSubstr(key))) << "the key never goes to a file";
        }
    }

    // Listing hands out the addresses with the key registered but unread, as the host gets them.
    EXPECT_EQ(Listed(), (Rows{{"prod", url, "(unset)"}}));
    DI::IObjectList* raw = nullptr;
    ASSERT_TRUE(VeskWorkspace_GetWorkspaceRemotes(&raw, nullptr));
    Owned<DI::IObjectList> list(raw);
    Core::IObject* item0 = nullptr;
    ASSERT_TRUE(list->Get(0, &item0, nullptr));
    Owned<Core::IObject> owned(item0);
    auto* listed = dynamic_cast<DI::IProperties*>(item0);
    DI::IProperty* property = nullptr;
    ASSERT_TRUE(listed->GetProperty(2, &property, nullptr));
    Owned<DI::IProperty> apiKey(property);
    EXPECT_STREQ(apiKey->GetName(), "ApiKey");
    EXPECT_STREQ(apiKey->GetDescription(), "API Key with access right");
    EXPECT_EQ(apiKey->GetValueType(), DS::VT_IObject);
    EXPECT_THAT(apiKey->GetInterfaceType(), HasSubstr("Data::Interfaces::ISecureString"));
    EXPECT_FALSE(apiKey->IsRequired());

    Error error;
    ASSERT_TRUE(VeskWorkspace_ReadRemoteSecret(listed, &error.raw)) << error.Message();
    EXPECT_EQ(ApiKeyOf(listed), key);
    // A remote the host built without the property gets it registered and set.
    Owned<DI::IProperties> bare = Remote("prod", url);
    ASSERT_TRUE(VeskWorkspace_ReadRemoteSecret(bare.get(), nullptr));
    EXPECT_EQ(ApiKeyOf(bare.get()), key);
}

TEST_F(RemoteRegistry, AddingAnAliasAgainReplacesItsUrlAndKeepsTheOldKey) {
    Add(Remote("prod", "https://old.example.org/ws", Key::Given, "old-key").get());
    Add(Remote("test", "https://test.example.org/ws").get());
    Add(Remote("prod", "https://new.example.org/ws", Key::Given, "new-key").get());

    EXPECT_EQ(RegistryRows(), (Rows{{"prod", "https://new.example.org/ws"}, {"test", "https://test.example.org/ws"}}));
    EXPECT_EQ(KeyringSecret(Target("prod", "https://new.example.org/ws")), "new-key");
    EXPECT_EQ(KeyringSecret(Target("prod", "https://old.example.org/ws")), "old-key")
        << "the credential of the old URL is another target and stays";

    // Writing a target again replaces its key rather than adding a second item.
    Add(Remote("prod", "https://new.example.org/ws", Key::Given, "newer-key").get());
    EXPECT_EQ(KeyringSecret(Target("prod", "https://new.example.org/ws")), "newer-key");
    const auto items = Output("secret-tool search --all target '" + Target("prod", "https://new.example.org/ws") +
                              "' 2>&1 | grep -c '^secret = '");
    EXPECT_EQ(items, "1\n");
    Platform::Credentials::Delete(Target("prod", "https://old.example.org/ws"));
}

TEST_F(RemoteRegistry, RemotesWithoutAKeyStoreNoCredentialAndReadLeavesThemAlone) {
    Add(Remote("absent", "https://a.example.org/ws").get());
    Add(Remote("null", "https://n.example.org/ws", Key::Null).get());
    EXPECT_EQ(RegistryRows(), (Rows{{"absent", "https://a.example.org/ws"}, {"null", "https://n.example.org/ws"}}));
    EXPECT_FALSE(KeyringSecret(Target("absent", "https://a.example.org/ws")).has_value());
    EXPECT_FALSE(KeyringSecret(Target("null", "https://n.example.org/ws")).has_value());

    // No stored key: success, and whatever the host's remote held stays.
    Owned<DI::IProperties> held = Remote("null", "https://n.example.org/ws", Key::Given, "host-side key");
    Owned<DI::IProperties> unset = Remote("null", "https://n.example.org/ws", Key::Null);
    Owned<DI::IProperties> bare = Remote("absent", "https://a.example.org/ws");
    for (DI::IProperties* remote : {held.get(), unset.get(), bare.get()}) {
        Error error;
        EXPECT_TRUE(VeskWorkspace_ReadRemoteSecret(remote, &error.raw)) << error.Message();
    }
    EXPECT_EQ(ApiKeyOf(held.get()), "host-side key");
    EXPECT_EQ(ApiKeyOf(unset.get()), "(unset)");
    EXPECT_EQ(ApiKeyOf(bare.get()), "(unregistered)");

    // A key under a longer target is not this remote's key: targets match whole.
    Platform::Credentials::Write(Target("null", "https://n.example.org/ws2"), "null", "someone else's");
    EXPECT_TRUE(VeskWorkspace_ReadRemoteSecret(unset.get(), nullptr));
    EXPECT_EQ(ApiKeyOf(unset.get()), "(unset)");
    EXPECT_FALSE(Platform::Credentials::Exists(Target("null", "https://n.example.org/ws")));
    Platform::Credentials::Delete(Target("null", "https://n.example.org/ws2"));
    EXPECT_FALSE(Platform::Credentials::Read(Target("null", "https://n.example.org/ws2")).has_value());
}

TEST_F(RemoteRegistry, RemoveAndClearDeleteRowsAndTheirKeysOnly) {
    Add(Remote("keyed", "https://k.example.org/ws", Key::Given, "k").get());
    Add(Remote("plain", "https://p.example.org/ws").get());
    Add(Remote("other", "https://o.example.org/ws", Key::Given, "o").get());
    Add(Remote("third", "https://t.example.org/ws", Key::Given, "t").get());
    // A key nobody registered, under a target that only differs in the URL.
    Platform::Credentials::Write(Target("other", "https://o.example.org/old"), "other", "stray");

    Error error;
    EXPECT_TRUE(VeskWorkspace_RemoveWorkspaceRemote(Remote("keyed", "https://k.example.org/ws").get(), &error.raw))
        << error.Message();
    EXPECT_FALSE(KeyringSecret(Target("keyed", "https://k.example.org/ws")).has_value());
    EXPECT_TRUE(VeskWorkspace_RemoveWorkspaceRemote(Remote("plain", "https://p.example.org/ws").get(), nullptr))
        << "a remote that never had a key is removed too";
    EXPECT_EQ(Listed(), (Rows{{"other", "https://o.example.org/ws", "(unset)"},
                              {"third", "https://t.example.org/ws", "(unset)"}}));

    EXPECT_TRUE(VeskWorkspace_ClearWorkspaceRemotes(nullptr));
    EXPECT_EQ(RegistryRows(), Rows{});
    EXPECT_FALSE(KeyringSecret(Target("other", "https://o.example.org/ws")).has_value());
    EXPECT_FALSE(KeyringSecret(Target("third", "https://t.example.org/ws")).has_value());
    EXPECT_EQ(KeyringSecret(Target("other", "https://o.example.org/old")), "stray");
    Platform::Credentials::Delete(Target("other", "https://o.example.org/old"));
}

TEST_F(RemoteRegistry, RefusesMissingArgumentsAsTheBoundaryRequires) {
    Error error;
    EXPECT_FALSE(VeskWorkspace_AddWorkspaceRemote(nullptr, &error.raw));
    EXPECT_EQ(error.Message(), "Pointer of struct Data::Interfaces::IProperties must not be null!");
    EXPECT_FALSE(VeskWorkspace_ReadRemoteSecret(nullptr, nullptr));
    EXPECT_FALSE(VeskWorkspace_RemoveWorkspaceRemote(nullptr, nullptr));
    Error outMissing;
    EXPECT_FALSE(VeskWorkspace_GetWorkspaceRemotes(nullptr, &outMissing.raw));
    EXPECT_EQ(outMissing.Message(),
              "Pointer to a pointer of struct Data::Interfaces::IObjectList must not be null! Address of return must "
              "be specified!");

    // A key that is not a secure string is refused after the row went in.
    Owned<DI::IProperties> wrong = Remote("wrong", "https://w.example.org/ws");
    ASSERT_TRUE(wrong->Register("", "ApiKey", "", "", "", DS::VT_String, false, nullptr));
    DS::_VARIANT text = TextValue("plain text key");
    ASSERT_TRUE(wrong->SetValue("ApiKey", &text, nullptr));
    DS::VariantClear(&text);
    Error cast;
    EXPECT_FALSE(VeskWorkspace_AddWorkspaceRemote(wrong.get(), &cast.raw));
    EXPECT_THAT(cast.Message(), HasSubstr("Cannot cast to desired interface"));
    EXPECT_EQ(RegistryRows(), (Rows{{"wrong", "https://w.example.org/ws"}}));
}

TEST(CredentialStore, KeepsBytesPerExactTarget) {
    const std::string target = "VESKWSROOT:direct:https://d.example.org/ws";
    const std::string secret("with\0zero and \xe2\x82\xac", 18);
    EXPECT_NO_THROW(Platform::Credentials::Delete(target)) << "no credential is no failure";
    EXPECT_FALSE(Platform::Credentials::Read(target).has_value());
    Platform::Credentials::Write(target, "direct", "first");
    Platform::Credentials::Write(target, "someone", secret);
    EXPECT_EQ(Platform::Credentials::Read(target), secret) << "bytes as written, the later write replacing";
    EXPECT_TRUE(Platform::Credentials::Exists(target));
    EXPECT_FALSE(Platform::Credentials::Exists(target.substr(0, target.size() - 1))) << "a prefix is another target";
    EXPECT_FALSE(Platform::Credentials::Exists(target + "/")) << "so is a longer name";
    Platform::Credentials::Delete(target);
    EXPECT_FALSE(Platform::Credentials::Exists(target));
}

// Run with DBUS_SESSION_BUS_ADDRESS naming no bus (see CMakeLists.txt): the session bus is opened once
// per process, so these cases have a process of their own.
class NoSecretService : public RemoteRegistry {
protected:
    void SetUp() override {
        if (std::getenv("VESK_EXPECT_NO_SECRET_SERVICE") == nullptr) {
            GTEST_SKIP() << "runs in its own process without a session bus";
        }
        RemoteRegistry::SetUp();
    }
};

TEST_F(NoSecretService, KeysFailClearlyWhileAddressesStillWork) {
    const std::string key = "never-written-key";
    Error error;
    EXPECT_FALSE(VeskWorkspace_AddWorkspaceRemote(Remote("prod", "https://p.example.org/ws", Key::Given, key).get(),
                                                  &error.raw));
    EXPECT_THAT(error.Message(), StartsWith("No Secret Service is reachable ("));
    EXPECT_THAT(error.Message(), HasSubstr("was not stored"));
    EXPECT_THAT(error.Message(), Not(HasSubstr(key)));
    EXPECT_EQ(RegistryRows(), (Rows{{"prod", "https://p.example.org/ws"}})) << "the row is written before the key";

    EXPECT_FALSE(Platform::Credentials::Exists(Target("prod", "https://p.example.org/ws")));
    try {
        Platform::Credentials::Read(Target("prod", "https://p.example.org/ws"));
        ADD_FAILURE() << "a read without a Secret Service must fail";
    } catch (const std::exception& e) {
        EXPECT_THAT(e.what(), StartsWith("No Secret Service is reachable ("));
    }
    // Without keys the registry works as ever; nothing can be stored, so nothing is found.
    Add(Remote("plain", "https://q.example.org/ws").get());
    Owned<DI::IProperties> remote = Remote("prod", "https://p.example.org/ws", Key::Null);
    EXPECT_TRUE(VeskWorkspace_ReadRemoteSecret(remote.get(), nullptr));
    EXPECT_EQ(ApiKeyOf(remote.get()), "(unset)");
    EXPECT_TRUE(VeskWorkspace_RemoveWorkspaceRemote(remote.get(), nullptr));
    EXPECT_EQ(Listed(), (Rows{{"plain", "https://q.example.org/ws", "(unset)"}}));
}

}  // namespace
