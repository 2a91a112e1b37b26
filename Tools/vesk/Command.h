#pragma once
// A subcommand of the tool as the dispatcher sees it: its name, usage, help text, the options it takes and
// the function that runs it. Each group of commands lives in its own file and lists its commands here.
#include <algorithm>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace VeskTool {

// One command line after its command name: the positional arguments, and the options in their order.
struct CommandLine {
    std::string name;  // the command's name, "sync reload" for a grouped one
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;  // (option, value); flags have an empty value

    bool Has(const std::string& option) const {
        return std::any_of(options.begin(), options.end(), [&](const auto& o) { return o.first == option; });
    }
    std::optional<std::string> Value(const std::string& option) const {
        for (const auto& [name, value] : options) {
            if (name == option) {
                return value;
            }
        }
        return std::nullopt;
    }
};

// Where a command reads its input and writes its results and its notes (progress, questions).
struct Streams {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
};

// Command::maxPositionals of a command that takes any number of arguments after its first ones.
inline constexpr size_t kAnyNumber = static_cast<size_t>(-1);

struct Command {
    std::string name;   // "create"; a grouped command is "GROUP SUBCOMMAND", e.g. "remote add"
    std::string usage;  // the arguments after "vesk NAME"
    std::string help;   // what it does, its options and an example
    size_t positionals;
    std::vector<std::string> valueOptions;
    std::vector<std::string> flags;
    int (*run)(const CommandLine&, const Streams&);
    size_t maxPositionals = 0;  // more than positionals allowed up to this many; 0: exactly positionals
};

// The commands of each group, in the order the overview lists them.
std::vector<Command> WorkspaceCommands();  // create, info, ls, add-*, rm, upgrade
std::vector<Command> RemoteCommands();     // remote ..., sync ...
std::vector<Command> PropertyCommands();   // prop get, prop set, prop rm
std::vector<Command> TransferCommands();   // export, import
std::vector<Command> CheckCommands();      // check
std::vector<Command> ServeCommands();      // serve

}  // namespace VeskTool
