// The remote registry through the library's exports, against a real keyring daemon on a private session
// bus (scripts/with-keyring.sh). What the library stored is checked from outside: the registry file with
// SQLite, the keys with secret-tool.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Core/DataObjects.h"
#include "Core/ErrorCode.h"
#include "Core/Variant.h"
#include "Platform/CredentialStore.h"
#include "Support/Fixtures.h"
#include "Support/SqliteReader.h"
#include "Support/TempFolder.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace.h"

namespace {

namespace DI = Data::Interfaces;
namespace DS = Data::Structures;
namespace Credentials = Platform::Credentials;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using Rows = std::vector<std::vector<std::string>>;
using Remote = Core::Ptr<DI::IProperties>;

std::string Target(const std::string& alias, const std::string& url) {
    return "VESKWSROOT:" + alias + ":" + url;
}

// Standard output of a shell command; nothing when it fails.
std::optional<std::string> Output(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    std::string text;
    char buffer[256];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
        text.append(buffer, n);
    }
    return pclose(pipe) == 0 ? std::optional<std::string>(text) : std::nullopt;
}

// The key that the keyring holds for target, as any Secret Service client sees it.
std::optional<std::string> KeyringSecret(const std::string& target) {
    return Output("secret-tool lookup target '" + target + "' 2>/dev/null");
}

void Set(DI::IProperties* remote, const char* name, const Data::Variant& value, const char* interfaceType = "") {
    if (!remote->Contains(name)) {
        ASSERT_TRUE(remote->Register("", name, "", interfaceType, "", value.Type(), false, nullptr));
    }
    ASSERT_TRUE(remote->SetValue(name, &value.Raw(), nullptr));
}

// A remote as a host builds one; key, when given, is the ApiKey's value (Null included).
Remote MakeRemote(const std::string& alias, const std::string& url, std::optional<Data::Variant> key = {}) {
    Remote remote;
    EXPECT_TRUE(Data_CreateProperties(remote.Receive(), nullptr));
    Set(remote.Get(), "Alias", Data::Variant::FromString(alias));
    Set(remote.Get(), "Url", Data::Variant::FromString(url));
    if (key) {
        EXPECT_TRUE(remote->Register("", "ApiKey", "", "Data::ISecureString", "", DS::VT_IObject, false, nullptr));
        Set(remote.Get(), "ApiKey", *key);
    }
    return remote;
}

Data::Variant Key(const std::string& text) {
    return Data::Variant::FromObject(Data::NewSecureString(text), DS::VT_IObject);
}

// The remote's ApiKey as text, or what it holds instead.
std::string ApiKeyOf(DI::IProperties* remote) {
    Data::Variant value;
    if (!remote->Contains("ApiKey") || !remote->GetValue("ApiKey", value.Receive(), nullptr)) {
        return "(unregistered)";
    }
    const auto secure = value.HasData() ? value.AsObject<DI::ISecureString>() : Core::Ptr<DI::ISecureString>();
    return secure ? std::string(secure->GetText(), secure->GetLength()) : "(unset)";
}

class RemoteRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        // The per-user folder follows XDG_DATA_HOME: every test starts with a registry of its own.
        ASSERT_EQ(setenv("XDG_DATA_HOME", folder_.Path().c_str(), 1), 0);
        const auto exe = std::filesystem::read_symlink("/proc/self/exe");
        registry_ = (folder_.Path() / exe.stem() / "Remotes.db").string();
    }
    void TearDown() override { EXPECT_TRUE(VeskWorkspace_ClearWorkspaceRemotes(nullptr)); }

    Rows RegistryRows() {
        return VeskTest::SqliteReader(registry_).Rows("SELECT Alias, Url FROM WorkspaceRemotes ORDER BY Alias");
    }

    static void Add(const Remote& remote) {
        Core::ErrorCode error;
        EXPECT_TRUE(VeskWorkspace_AddWorkspaceRemote(remote.Get(), error.Receive())) << error.Message();
    }

    // The remotes as the library lists them.
    static std::vector<Remote> Listed() {
        Core::Ptr<DI::IObjectList> list;
        Core::ErrorCode error;
        EXPECT_TRUE(VeskWorkspace_GetWorkspaceRemotes(list.Receive(), error.Receive())) << error.Message();
        std::vector<Remote> remotes;
        for (uint64_t i = 0; list && i < list->GetCount(); ++i) {
            Core::Ptr<Core::IObject> item;
            EXPECT_TRUE(list->Get(i, item.Receive(), nullptr));
            remotes.push_back(item.Cast<DI::IProperties>());
        }
        return remotes;
    }

    VeskTest::TempFolder folder_;
    std::string registry_;
};

TEST_F(RemoteRegistry, AddsRowAndKeyAndReadsTheKeyBack) {
    const std::string url = "https://ws.example.org:8443/api/ws";
    const std::string key = "k-3f9a\xc3\xa9-unique-key-text";
    Add(MakeRemote("prod", url, Key(key)));

    EXPECT_EQ(RegistryRows(), (Rows{{"prod", url}}));
    EXPECT_EQ(VeskTest::SqliteReader(registry_).Value("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(KeyringSecret(Target("prod", url)), key);
    const auto item = Output("secret-tool search --all target '" + Target("prod", url) + "' 2>&1");
    EXPECT_THAT(item.value_or(""), HasSubstr("label = Vesk workspace server " + Target("prod", url)));
    for (const char* suffix : {"", "-wal"}) {
        if (std::filesystem::exists(registry_ + suffix)) {
            EXPECT_THAT(VeskTest::FileBytes(registry_ + suffix), Not(HasSubstr(key))) << "the key never goes to a file";
        }
    }

    // Listing hands out the addresses with the key registered but unread.
    const std::vector<Remote> listed = Listed();
    ASSERT_EQ(listed.size(), 1u);
    Core::Ptr<DI::IProperty> apiKey;
    ASSERT_TRUE(listed[0]->GetProperty(2, apiKey.Receive(), nullptr));
    EXPECT_STREQ(apiKey->GetName(), "ApiKey");
    EXPECT_STREQ(apiKey->GetDescription(), "API Key with access right");
    EXPECT_EQ(apiKey->GetValueType(), DS::VT_IObject);
    EXPECT_THAT(apiKey->GetInterfaceType(), HasSubstr("Data::Interfaces::ISecureString"));
    EXPECT_EQ(ApiKeyOf(listed[0].Get()), "(unset)");

    Core::ErrorCode error;
    ASSERT_TRUE(VeskWorkspace_ReadRemoteSecret(listed[0].Get(), error.Receive())) << error.Message();
    EXPECT_EQ(ApiKeyOf(listed[0].Get()), key);
    const Remote bare = MakeRemote("prod", url);  // without the property: it is registered and set
    ASSERT_TRUE(VeskWorkspace_ReadRemoteSecret(bare.Get(), nullptr));
    EXPECT_EQ(ApiKeyOf(bare.Get()), key);
}

TEST_F(RemoteRegistry, AddingAnAliasAgainReplacesItsUrlAndKeepsTheOldKey) {
    const std::string oldUrl = "https://old.example.org/ws", newUrl = "https://new.example.org/ws";
    Add(MakeRemote("prod", oldUrl, Key("old-key")));
    Add(MakeRemote("test", "https://test.example.org/ws"));
    Add(MakeRemote("prod", newUrl, Key("new-key")));
    EXPECT_EQ(RegistryRows(), (Rows{{"prod", newUrl}, {"test", "https://test.example.org/ws"}}));
    EXPECT_EQ(KeyringSecret(Target("prod", newUrl)), "new-key");
    EXPECT_EQ(KeyringSecret(Target("prod", oldUrl)), "old-key") << "the old URL's target is another one and stays";

    // Writing a target again replaces its key rather than adding a second item.
    Add(MakeRemote("prod", newUrl, Key("newer-key")));
    EXPECT_EQ(KeyringSecret(Target("prod", newUrl)), "newer-key");
    EXPECT_EQ(Output("secret-tool search --all target '" + Target("prod", newUrl) + "' 2>&1 | grep -c '^secret = '"),
              "1\n");
    Credentials::Delete(Target("prod", oldUrl));
}

TEST_F(RemoteRegistry, RemotesWithoutAKeyStoreNoCredentialAndReadLeavesThemAlone) {
    Add(MakeRemote("absent", "https://a.example.org/ws"));
    Add(MakeRemote("null", "https://n.example.org/ws", Data::Variant::Null()));
    EXPECT_EQ(RegistryRows(), (Rows{{"absent", "https://a.example.org/ws"}, {"null", "https://n.example.org/ws"}}));
    EXPECT_FALSE(KeyringSecret(Target("absent", "https://a.example.org/ws")).has_value());
    EXPECT_FALSE(KeyringSecret(Target("null", "https://n.example.org/ws")).has_value());

    // A key under a longer target is not this remote's key: targets match whole.
    Credentials::Write(Target("null", "https://n.example.org/ws2"), "null", "someone else's");
    const Remote held = MakeRemote("null", "https://n.example.org/ws", Key("host-side key"));
    const Remote unset = MakeRemote("null", "https://n.example.org/ws", Data::Variant::Null());
    const Remote bare = MakeRemote("absent", "https://a.example.org/ws");
    for (const Remote& remote : {held, unset, bare}) {
        Core::ErrorCode error;
        EXPECT_TRUE(VeskWorkspace_ReadRemoteSecret(remote.Get(), error.Receive())) << error.Message();
    }
    EXPECT_EQ(ApiKeyOf(held.Get()), "host-side key");
    EXPECT_EQ(ApiKeyOf(unset.Get()), "(unset)");
    EXPECT_EQ(ApiKeyOf(bare.Get()), "(unregistered)");
    Credentials::Delete(Target("null", "https://n.example.org/ws2"));
}

TEST_F(RemoteRegistry, RemoveAndClearDeleteRowsAndTheirKeysOnly) {
    Add(MakeRemote("keyed", "https://k.example.org/ws", Key("k")));
    Add(MakeRemote("plain", "https://p.example.org/ws"));
    Add(MakeRemote("other", "https://o.example.org/ws", Key("o")));
    // A key nobody registered, under a target that differs only in the URL.
    Credentials::Write(Target("other", "https://o.example.org/old"), "other", "stray");

    Core::ErrorCode error;
    EXPECT_TRUE(
        VeskWorkspace_RemoveWorkspaceRemote(MakeRemote("keyed", "https://k.example.org/ws").Get(), error.Receive()))
        << error.Message();
    EXPECT_FALSE(KeyringSecret(Target("keyed", "https://k.example.org/ws")).has_value());
    EXPECT_TRUE(VeskWorkspace_RemoveWorkspaceRemote(MakeRemote("plain", "https://p.example.org/ws").Get(), nullptr))
        << "a remote that never had a key is removed too";
    EXPECT_EQ(RegistryRows(), (Rows{{"other", "https://o.example.org/ws"}}));

    EXPECT_TRUE(VeskWorkspace_ClearWorkspaceRemotes(nullptr));
    EXPECT_EQ(RegistryRows(), Rows{});
    EXPECT_FALSE(KeyringSecret(Target("other", "https://o.example.org/ws")).has_value());
    EXPECT_EQ(KeyringSecret(Target("other", "https://o.example.org/old")), "stray");
    Credentials::Delete(Target("other", "https://o.example.org/old"));
}

TEST_F(RemoteRegistry, RefusesMissingArgumentsAndKeysThatAreNotSecureStrings) {
    Core::ErrorCode error;
    EXPECT_FALSE(VeskWorkspace_AddWorkspaceRemote(nullptr, error.Receive()));
    EXPECT_EQ(error.Message(), "Pointer of struct Data::Interfaces::IProperties must not be null!");
    EXPECT_FALSE(VeskWorkspace_ReadRemoteSecret(nullptr, nullptr));
    EXPECT_FALSE(VeskWorkspace_RemoveWorkspaceRemote(nullptr, nullptr));
    Core::ErrorCode outMissing;
    EXPECT_FALSE(VeskWorkspace_GetWorkspaceRemotes(nullptr, outMissing.Receive()));
    EXPECT_THAT(outMissing.Message(), StartsWith("Pointer to a pointer of struct Data::Interfaces::IObjectList"));

    // A key that is not a secure string is refused after the row went in.
    Core::ErrorCode cast;
    EXPECT_FALSE(VeskWorkspace_AddWorkspaceRemote(
        MakeRemote("wrong", "https://w.example.org/ws", Data::Variant::FromString("plain key")).Get(), cast.Receive()));
    EXPECT_THAT(cast.Message(), HasSubstr("Cannot cast to desired interface"));
    EXPECT_EQ(RegistryRows(), (Rows{{"wrong", "https://w.example.org/ws"}}));
}

TEST(CredentialStore, KeepsBytesPerExactTarget) {
    const std::string target = "VESKWSROOT:direct:https://d.example.org/ws";
    const std::string secret("with\0zero and \xe2\x82\xac", 18);
    EXPECT_NO_THROW(Credentials::Delete(target)) << "no credential is no failure";
    EXPECT_FALSE(Credentials::Read(target).has_value());
    Credentials::Write(target, "direct", "first");
    Credentials::Write(target, "someone", secret);
    EXPECT_EQ(Credentials::Read(target), secret) << "bytes as written, the later write replacing";
    EXPECT_TRUE(Credentials::Exists(target));
    EXPECT_FALSE(Credentials::Exists(target.substr(0, target.size() - 1))) << "a prefix is another target";
    Credentials::Delete(target);
    EXPECT_FALSE(Credentials::Exists(target));
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
    Core::ErrorCode error;
    EXPECT_FALSE(VeskWorkspace_AddWorkspaceRemote(
        MakeRemote("prod", "https://p.example.org/ws", Key("never-written-key")).Get(), error.Receive()));
    EXPECT_THAT(error.Message(), StartsWith("No Secret Service is reachable ("));
    EXPECT_THAT(error.Message(), HasSubstr("was not stored"));
    EXPECT_THAT(error.Message(), Not(HasSubstr("never-written-key")));
    EXPECT_EQ(RegistryRows(), (Rows{{"prod", "https://p.example.org/ws"}})) << "the row is written before the key";

    EXPECT_FALSE(Credentials::Exists(Target("prod", "https://p.example.org/ws")));
    EXPECT_THROW(Credentials::Read(Target("prod", "https://p.example.org/ws")), std::runtime_error);
    // Without keys the registry works as ever; nothing can be stored, so nothing is found.
    const Remote remote = MakeRemote("prod", "https://p.example.org/ws", Data::Variant::Null());
    EXPECT_TRUE(VeskWorkspace_ReadRemoteSecret(remote.Get(), nullptr));
    EXPECT_EQ(ApiKeyOf(remote.Get()), "(unset)");
    EXPECT_TRUE(VeskWorkspace_RemoveWorkspaceRemote(remote.Get(), nullptr));
    EXPECT_EQ(RegistryRows(), Rows{});
}

}  // namespace
