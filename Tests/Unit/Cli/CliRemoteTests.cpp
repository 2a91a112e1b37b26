// The vesk remote commands, run as a user runs them, beside a private keyring daemon
// (scripts/with-keyring.sh): what they print, and what the registry file and the keyring hold afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <filesystem>

#include "ServerProcess.h"
#include "Support/Fixtures.h"
#include "Support/SqliteReader.h"
#include "Support/TempFolder.h"
#include "ToolProcess.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using Result = VeskTest::ToolResult;
using VeskTest::Quoted;

class CliRemote : public VeskTest::ToolTest {
protected:
    void SetUp() override { ASSERT_EQ(setenv("XDG_DATA_HOME", folder_.Path().c_str(), 1), 0); }

    // The key the keyring holds for the target, as secret-tool sees it.
    static std::optional<std::string> KeyringSecret(const std::string& target) {
        FILE* pipe = popen(("secret-tool lookup target " + Quoted(target) + " 2>/dev/null").c_str(), "r");
        std::string text;
        char buffer[256];
        while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
            text.append(buffer, n);
        }
        return pclose(pipe) == 0 ? std::optional<std::string>(text) : std::nullopt;
    }
};

TEST_F(CliRemote, AddsListsAndRemovesRemotesWithKeysFromStandardInput) {
    const std::string url = "https://ws.example.org/api/ws";
    const std::string key = "cli-key-7c1e";
    const Result added = Vesk({"remote", "add", "prod", url, "--api-key-stdin"}, key + "\r\n");
    ASSERT_EQ(added.code, 0) << added.err;
    EXPECT_THAT(added.out, Not(HasSubstr(key)));
    EXPECT_EQ(KeyringSecret("VESKWSROOT:prod:" + url), key) << "the line's end is not part of the key";
    // The registry is the tool's own, in the per-user data folder named after it.
    EXPECT_EQ(VeskTest::SqliteReader(folder_.File("vesk/Remotes.db")).Value("SELECT Url FROM WorkspaceRemotes"), url);

    ASSERT_EQ(Vesk({"remote", "add", "test", "http://127.0.0.1:9/ws"}).code, 0);
    ASSERT_EQ(Vesk({"remote", "add", "prod", url + "2"}).code, 0);
    // In the registry's order: a changed URL keeps the remote's place.
    EXPECT_EQ(Vesk({"remote", "ls"}).out, "prod\t" + url + "2\ntest\thttp://127.0.0.1:9/ws\n");
    EXPECT_EQ(
        Vesk({"remote", "ls", "--json"}).out,
        "[{\"alias\":\"prod\",\"url\":\"" + url + "2\"},{\"alias\":\"test\",\"url\":\"http://127.0.0.1:9/ws\"}]\n");

    // rm finds the URL itself, so the key stored under alias and URL goes with the remote.
    ASSERT_EQ(Vesk({"remote", "add", "prod", url, "--api-key-stdin"}, key + "\n").code, 0);
    const Result removed = Vesk({"remote", "rm", "prod"});
    EXPECT_EQ(removed.code, 0) << removed.err;
    EXPECT_FALSE(KeyringSecret("VESKWSROOT:prod:" + url).has_value());
    const Result missing = Vesk({"remote", "rm", "prod"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_THAT(missing.err, HasSubstr("no remote named prod"));

    EXPECT_EQ(Vesk({"remote", "clear"}).code, 0);
    EXPECT_EQ(Vesk({"remote", "ls"}).out, "");
}

// A workspace shared through a server that wants a key: the key goes from standard input to the keyring,
// and from there into every request of the sync commands.
TEST_F(CliRemote, SyncsAWorkspaceThroughAServerThatWantsAKey) {
    const std::string uuid = "0f8fad5b-d9cb-469f-a165-70867728950e";
    const std::string shared = folder_.File("root/" + uuid + "/Shared.veskdb");
    std::filesystem::create_directories(folder_.Path() / "root" / uuid);
    ASSERT_EQ(Vesk({"create", shared}).code, 0);
    std::ofstream(folder_.File("key")) << "k-42";
    VeskTest::ServerProcess server(folder_.File("root"), {"--api-key-file", folder_.File("key")});
    ASSERT_EQ(Vesk({"remote", "add", "local", server.Url("/ws"), "--api-key-stdin"}, "k-42\n").code, 0);
    const std::vector<std::string> cache = {"--cache", folder_.File("cache")};
    auto sync = [&](const std::string& action, std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments = {"sync", action, "local", uuid};
        arguments.insert(arguments.end(), cache.begin(), cache.end());
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return Vesk(arguments);
    };

    const Result health = Vesk({"remote", "health", "local"});
    EXPECT_EQ(health.code, 0) << health.err;
    EXPECT_THAT(health.out, HasSubstr("HTTP 200"));
    EXPECT_THAT(Vesk({"remote", "workspaces", "local", "--json"}).out, HasSubstr("\"uuid\":\"" + uuid + "\""));
    EXPECT_THAT(sync("status", {"--json"}).out, HasSubstr("\"localModified\":false,\"remoteModified\":true"));
    const Result reloaded = sync("reload");
    ASSERT_EQ(reloaded.code, 0) << reloaded.err;
    EXPECT_THAT(sync("status", {"--json"}).out, HasSubstr("\"localModified\":false,\"remoteModified\":false"));

    // A change made in the cache goes up; a second one is not lost to a reload.
    const std::string cached = folder_.File("cache/" + uuid + "/Files/Shared.veskdb");
    EXPECT_THAT(reloaded.out, HasSubstr("local copy: " + cached));
    ASSERT_EQ(Vesk({"add-source", cached, "Roads", "--type", "FilePath"}).code, 0);
    EXPECT_THAT(sync("status", {"--json"}).out, HasSubstr("\"localModified\":true"));
    const Result stored = sync("store");
    ASSERT_EQ(stored.code, 0) << stored.err;
    EXPECT_THAT(Vesk({"ls", shared}).out, HasSubstr("Roads"));
    ASSERT_EQ(Vesk({"add-source", cached, "Rivers", "--type", "FilePath"}).code, 0);
    const Result refused = sync("reload");
    EXPECT_EQ(refused.code, 1);
    EXPECT_THAT(refused.err, HasSubstr("Local workspace (.veskdb) file was modified"));
    EXPECT_THAT(refused.err,
                HasSubstr("hint: your copy has changes of its own: store them with 'vesk sync store local " + uuid +
                          " --cache "));
    EXPECT_EQ(sync("discard").code, 0);
    EXPECT_FALSE(std::filesystem::exists(cached));

    // Without its key (rm takes it out of the keyring) the server refuses.
    ASSERT_EQ(Vesk({"remote", "rm", "local"}).code, 0);
    ASSERT_EQ(Vesk({"remote", "add", "local", server.Url("/ws")}).code, 0);
    EXPECT_THAT(Vesk({"remote", "workspaces", "local"}).err, HasSubstr("401"));
}

TEST_F(CliRemote, RefusesIncompleteCommandLines) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"remote"},
                                               {"remote", "add", "prod"},
                                               {"remote", "list"},
                                               {"remote", "add", "a", "u", "--api-key", "k"}}) {
        const Result result = Vesk(arguments);
        EXPECT_EQ(result.code, 2) << arguments.back();
        EXPECT_THAT(result.err, HasSubstr("usage:")) << arguments.back();
    }
    const Result noKey = Vesk({"remote", "add", "prod", "https://p.example.org/ws", "--api-key-stdin"}, "");
    EXPECT_EQ(noKey.code, 2);
    EXPECT_THAT(noKey.err, HasSubstr("standard input"));
    EXPECT_EQ(Vesk({"remote", "ls"}).out, "") << "a refused command adds nothing";
}

}  // namespace
