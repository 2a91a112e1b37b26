// The check command: finds what is wrong in a workspace file and, when asked, removes the rows that belong
// to nothing. The finding and removing is WorkspaceCheck's; this file parses, prints and asks.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cctype>
#include <istream>
#include <ostream>
#include <string>

#include "Command.h"
#include "JsonText.h"
#include "Library.h"
#include "WorkspaceCheck.h"

namespace VeskTool {
namespace {

std::string Counted(uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string Summary(size_t problems) {
    return problems == 0 ? "no problems found" : Counted(problems, "problem", "problems") + " found";
}

void PrintProblems(const std::vector<Problem>& problems, std::ostream& out) {
    for (const Problem& problem : problems) {
        out << problem.detail << "\n";
    }
}

// {"ok":..,"problems":[..],"fixed":N}: the problems the check found, the rows a fix removed, and whether the
// file is sound now.
void PrintJson(bool ok, const std::vector<Problem>& problems, uint64_t fixed, std::ostream& out) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    writer.Key("ok");
    writer.Bool(ok);
    writer.Key("problems");
    writer.StartArray();
    for (const Problem& problem : problems) {
        writer.StartObject();
        writer.Key("kind");
        WriteJsonText(writer, problem.kind);
        writer.Key("uuid");
        WriteJsonText(writer, problem.uuid);
        writer.Key("detail");
        WriteJsonText(writer, problem.detail);
        writer.EndObject();
    }
    writer.EndArray();
    writer.Key("fixed");
    writer.Uint64(fixed);
    writer.EndObject();
    out << buffer.GetString() << "\n";
}

// Asks on standard error and reads one line; only y or yes, in any case, agrees.
bool Confirmed(const std::string& question, const Streams& streams) {
    streams.err << question << std::flush;
    std::string answer;
    if (!std::getline(streams.in, answer)) {
        streams.err << "\n";
        return false;
    }
    if (!answer.empty() && answer.back() == '\r') {
        answer.pop_back();
    }
    for (char& c : answer) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return answer == "y" || answer == "yes";
}

// The library guards opening a workspace (creating its tables, its first record, an upgrade) with a
// cross-process lock that it holds only while it opens; its later writes rely on SQLite's file lock alone, as
// the removal does with BEGIN IMMEDIATE. The public interface cannot hold that lock for us, but opening the
// workspace through it waits until no other process is halfway through opening (perhaps upgrading) the same
// workspace. So the tool opens it once, read-only so that nothing is upgraded behind the user's back, lets go,
// and only then takes SQLite's write lock: taking them the other way round could leave this process waiting
// for an opener that in turn waits for SQLite's lock.
void WaitForOtherOpeners(const std::string& path) {
    try {
        OpenWorkspace(path, Data::Structures::_UUID{}, Vesk::Interfaces::ReadOnly).Reset();
    } catch (const LibraryError& e) {
        throw LibraryError("the workspace library cannot open " + path + ", so nothing was removed: " + e.what());
    }
}

int Check(const CommandLine& line, const Streams& streams) {
    const std::string& path = line.positional[0];
    const bool json = line.Has("--json");
    const bool fix = line.Has("--fix");
    if (line.Has("--yes") && !fix) {
        throw UsageError("--yes answers the question of --fix, which is not given");
    }
    RequireExistingFile(path);
    const CheckResult found = CheckWorkspaceFile(path);
    if (!json) {
        PrintProblems(found.problems, streams.out);
        streams.out << Summary(found.problems.size()) << "\n";
    }
    const bool ok = found.problems.empty();
    if (!fix || ok) {
        if (json) {
            PrintJson(ok, found.problems, 0, streams.out);
        }
        return ok ? 0 : 1;
    }
    if (!found.notFixable.empty() || found.orphans.Total() == 0) {
        if (json) {
            PrintJson(false, found.problems, 0, streams.out);
        }
        throw LibraryError("not fixing " + path + ": " +
                           (found.notFixable.empty() ? "none of its problems is an orphaned row" : found.notFixable));
    }
    if (!line.Has("--yes") &&
        !Confirmed("Remove " + std::to_string(found.orphans.Total()) + " orphaned rows from " + path + "? [y/N] ",
                   streams)) {
        if (json) {
            PrintJson(false, found.problems, 0, streams.out);
        }
        (json ? streams.err : streams.out) << "Nothing removed.\n";
        return 1;
    }
    WaitForOtherOpeners(path);
    const OrphanRows removed = RemoveOrphans(path, found.orphans);
    const CheckResult after = CheckWorkspaceFile(path);
    if (json) {
        PrintJson(after.problems.empty(), found.problems, removed.Total(), streams.out);
    } else {
        streams.out << "Removed " << Counted(removed.Total(), "orphaned row", "orphaned rows") << ": "
                    << Counted(removed.datasets, "dataset", "datasets") << ", "
                    << Counted(removed.objects, "generic object", "generic objects") << ", "
                    << Counted(removed.properties, "property", "properties") << "\n";
        PrintProblems(after.problems, streams.out);
        streams.out << Summary(after.problems.size()) << (after.problems.empty() ? "" : " after the fix") << "\n";
    }
    return after.problems.empty() ? 0 : 1;
}

}  // namespace

std::vector<Command> CheckCommands() {
    return {{"check",
             "PATH [--fix] [--yes] [--json]",
             "Checks a workspace file: SQLite's own integrity check, exactly one workspace record, and that every\n"
             "dataset's data source, every property's owner and every generic object's parent exists. Prints one\n"
             "line per problem and how many there are; exits with 0 when there are none, else 1.\n"
             "  --fix    removes the orphaned rows: datasets without their data source, properties without an\n"
             "           owner, generic objects whose parent is missing (with everything beneath them), each with\n"
             "           its properties; all in one transaction, after asking on standard error. A file whose\n"
             "           integrity check fails or whose workspace record is not single is left untouched.\n"
             "  --yes    removes without asking\n"
             "  --json   prints {\"ok\": ..., \"problems\": [{\"kind\", \"uuid\", \"detail\"}], \"fixed\": N}: the\n"
             "           problems found, the rows removed, and whether the file is sound now\n"
             "example:\n"
             "  vesk check ~/VeskWorkspaces/Demo/workspace.veskdb\n"
             "  vesk check ~/VeskWorkspaces/Demo/workspace.veskdb --fix --yes\n",
             1,
             {},
             {"--fix", "--yes", "--json"},
             Check}};
}

}  // namespace VeskTool
