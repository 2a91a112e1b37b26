// The commands that reach workspace servers: the list of remotes, and the synchronisation of a remote
// workspace with its local cache.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "Command.h"
#include "JsonText.h"
#include "Library.h"
#include "Remotes.h"
#include "Sync.h"

namespace VeskTool {
namespace {

constexpr const char* kSyncOptionsHelp =
    "  --cache DIR            the folder that holds this server's caches (default:\n"
    "                         $XDG_CACHE_HOME/vesk/ALIAS, else ~/.cache/vesk/ALIAS); the cache is DIR/UUID\n"
    "  --json                 print the outcome as JSON\n";

int RemoteAdd(const CommandLine& line, const Streams& streams) {
    std::optional<std::string> key;
    if (line.Has("--api-key-stdin")) {
        // Read from standard input only: a key on the command line would show in the process list and
        // the shell's history.
        std::string text;
        if (!std::getline(streams.in, text)) {
            throw UsageError("--api-key-stdin given, but standard input holds no line");
        }
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        if (text.empty()) {
            throw UsageError("the API key on standard input is empty");
        }
        key = std::move(text);
    }
    const std::string& alias = line.positional[0];
    const std::string& url = line.positional[1];
    if (alias.empty() || url.empty()) {
        throw UsageError("ALIAS and URL must not be empty");
    }
    AddRemote(alias, url, key);
    streams.out << "Remote " << alias << ": " << url << (key ? " (API key stored)" : "") << "\n";
    return 0;
}

int RemoteList(const CommandLine& line, const Streams& streams) {
    const std::vector<RemoteEntry> remotes = ListRemotes();
    if (!line.Has("--json")) {
        for (const RemoteEntry& remote : remotes) {
            streams.out << remote.alias << "\t" << remote.url << "\n";
        }
        return 0;
    }
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartArray();
    for (const RemoteEntry& remote : remotes) {
        writer.StartObject();
        writer.Key("alias");
        WriteJsonText(writer, remote.alias);
        writer.Key("url");
        WriteJsonText(writer, remote.url);
        writer.EndObject();
    }
    writer.EndArray();
    streams.out << buffer.GetString() << "\n";
    return 0;
}

int RemoteRemove(const CommandLine& line, const Streams& streams) {
    if (!RemoveRemote(line.positional[0])) {
        throw LibraryError("no remote named " + line.positional[0]);
    }
    streams.out << "Removed remote " << line.positional[0] << "\n";
    return 0;
}

int RemoteHealthCommand(const CommandLine& line, const Streams& streams) {
    return RemoteHealth(line.positional[0], line.Has("--json"), streams.out);
}

int RemoteWorkspacesCommand(const CommandLine& line, const Streams& streams) {
    return RemoteWorkspaces(line.positional[0], line.Has("--json"), streams.out);
}

constexpr const char* kSyncUsage = "ALIAS UUID [--cache DIR] [--json]";

int SyncCommand(const CommandLine& line, const Streams& streams) {
    return SyncWorkspace(line.name.substr(5), line.positional[0], line.positional[1],
                         line.Value("--cache").value_or(""), line.Has("--json"), streams.out);
}

int RemoteClear(const CommandLine&, const Streams& streams) {
    ClearRemotes();
    streams.out << "Removed every remote\n";
    return 0;
}

}  // namespace

std::vector<Command> RemoteCommands() {
    return {
        {"remote add",
         "ALIAS URL [--api-key-stdin]",
         "Adds a workspace server to your list of remotes, or gives the remote ALIAS a new URL.\n"
         "  --api-key-stdin   store the first line of standard input as the server's API key, in the system's\n"
         "                    credential store (never on the command line, never in a file)\n"
         "example:\n  printf '%s\\n' \"$KEY\" | vesk remote add prod https://ws.example.org/api/ws --api-key-stdin\n",
         2,
         {},
         {"--api-key-stdin"},
         RemoteAdd},
        {"remote ls",
         "[--json]",
         "Lists your remotes, one per line: alias, a tab, URL. Keys are not shown.\n"
         "  --json   print [{\"alias\": ..., \"url\": ...}, ...]\n"
         "example:\n  vesk remote ls --json\n",
         0,
         {},
         {"--json"},
         RemoteList},
        {"remote rm",
         "ALIAS",
         "Removes the remote ALIAS and its stored API key.\nexample:\n  vesk remote rm prod\n",
         1,
         {},
         {},
         RemoteRemove},
        {"remote clear",
         "",
         "Removes every remote and their stored API keys.\nexample:\n  vesk remote clear\n",
         0,
         {},
         {},
         RemoteClear},
        {"remote health",
         "ALIAS [--json]",
         "Asks the server ALIAS whether it answers (its health check) and prints the HTTP status.\n"
         "example:\n  vesk remote health prod\n",
         1,
         {},
         {"--json"},
         RemoteHealthCommand},
        {"remote workspaces",
         "ALIAS [--json]",
         "Lists the workspaces on the server ALIAS: UUID, name and description.\n"
         "example:\n  vesk remote workspaces prod\n",
         1,
         {},
         {"--json"},
         RemoteWorkspacesCommand},
        {"sync status",
         kSyncUsage,
         std::string(
             "Says whether the cached copy of workspace UUID on the server ALIAS has changes of its own, and whether\n"
             "the server's copy changed since they were last synchronised.\n") +
             kSyncOptionsHelp + "example:\n  vesk sync status prod 0f8fad5b-d9cb-469f-a165-70867728950e\n",
         2,
         {"--cache"},
         {"--json"},
         SyncCommand},
        {"sync reload",
         kSyncUsage,
         std::string(
             "Downloads the server's copy into the cache unless the cache has it already; refused while the cached\n"
             "copy has changes of its own (store or discard them first).\n") +
             kSyncOptionsHelp + "example:\n  vesk sync reload prod 0f8fad5b-d9cb-469f-a165-70867728950e\n",
         2,
         {"--cache"},
         {"--json"},
         SyncCommand},
        {"sync store",
         kSyncUsage,
         std::string(
             "Uploads the cached copy; refused when it has no changes, or when the server's copy changed since the\n"
             "last synchronisation (nothing is overwritten: discard, reload and redo the change).\n") +
             kSyncOptionsHelp + "example:\n  vesk sync store prod 0f8fad5b-d9cb-469f-a165-70867728950e\n",
         2,
         {"--cache"},
         {"--json"},
         SyncCommand},
        {"sync discard",
         kSyncUsage,
         std::string("Throws the cached copy and its synchronisation record away.\n") + kSyncOptionsHelp +
             "example:\n  vesk sync discard prod 0f8fad5b-d9cb-469f-a165-70867728950e\n",
         2,
         {"--cache"},
         {"--json"},
         SyncCommand}};
}

}  // namespace VeskTool
