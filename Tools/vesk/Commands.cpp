#include "Commands.h"

#include <algorithm>
#include <exception>
#include <istream>
#include <ostream>
#include <utility>

#include "Command.h"
#include "Library.h"

namespace VeskTool {
namespace {

// Options that may be given more than once.
bool Repeatable(const std::string& option) {
    return option == "--prop" || option == "--secure-prop";
}

CommandLine Parse(const Command& command, const std::vector<std::string>& arguments) {
    CommandLine line;
    line.name = command.name;
    auto known = [](const std::vector<std::string>& list, const std::string& option) {
        return std::find(list.begin(), list.end(), option) != list.end();
    };
    bool optionsEnded = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--" && !optionsEnded) {
            optionsEnded = true;  // what follows is positional even when it starts with --
            continue;
        }
        if (optionsEnded || argument.size() < 3 || argument.rfind("--", 0) != 0) {
            line.positional.push_back(argument);
            continue;
        }
        const bool takesValue = known(command.valueOptions, argument);
        if (!takesValue && !known(command.flags, argument)) {
            throw UsageError("unknown option " + argument);
        }
        if (line.Has(argument) && !Repeatable(argument)) {
            throw UsageError("option " + argument + " is given twice");
        }
        if (takesValue && i + 1 == arguments.size()) {
            throw UsageError("option " + argument + " needs a value");
        }
        line.options.emplace_back(argument, takesValue ? arguments[++i] : std::string());
    }
    const size_t given = line.positional.size();
    if (command.maxPositionals > command.positionals) {
        if (given < command.positionals || given > command.maxPositionals) {
            const std::string most =
                command.maxPositionals == kAnyNumber ? " or more" : " to " + std::to_string(command.maxPositionals);
            throw UsageError(std::string(command.name) + " takes " + std::to_string(command.positionals) + most +
                             " arguments, not " + std::to_string(given));
        }
    } else if (given != command.positionals) {
        throw UsageError(std::string(command.name) + " takes " + std::to_string(command.positionals) +
                         " argument(s), not " + std::to_string(given));
    }
    return line;
}

std::string HelpOf(const Command& command) {
    return "usage: vesk " + command.name + (command.usage.empty() ? "" : " " + command.usage) + "\n" + command.help;
}

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = [] {
        std::vector<Command> all;
        for (auto group :
             {WorkspaceCommands, PropertyCommands, TransferCommands, CheckCommands, RemoteCommands, ServeCommands}) {
            for (Command& command : group()) {
                all.push_back(std::move(command));
            }
        }
        return all;
    }();
    return commands;
}

std::string Overview() {
    std::string text = "usage:\n";
    for (const Command& command : Commands()) {
        text += "  vesk " + command.name + (command.usage.empty() ? "" : " " + command.usage) + "\n";
    }
    return text +
           "  vesk --version\n"
           "Run 'vesk COMMAND --help' for a command's options and an example. Exit codes: 0 done, 1 refused or\n"
           "failed, 2 bad command line.\n";
}

const Command* Find(const std::string& name) {
    for (const Command& command : Commands()) {
        if (name == command.name) {
            return &command;
        }
    }
    return nullptr;
}

// The subcommands of a group such as "remote", joined for a message; empty when name is no group.
std::string SubcommandsOf(const std::string& name) {
    std::string list;
    for (const Command& command : Commands()) {
        if (command.name.rfind(name + " ", 0) == 0) {
            list += (list.empty() ? "" : ", ") + command.name.substr(name.size() + 1);
        }
    }
    return list;
}

}  // namespace

int Run(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out, std::ostream& err) {
    // A group's subcommand ("remote add") is one command name from here on.
    std::vector<std::string> words = arguments;
    if (words.size() > 1 && Find(words[0] + " " + words[1]) != nullptr) {
        words[1] = words[0] + " " + words[1];
        words.erase(words.begin());
    }
    const Command* command = words.empty() ? nullptr : Find(words[0]);
    try {
        if (command == nullptr && !words.empty() && !SubcommandsOf(words[0]).empty()) {
            throw UsageError(words[0] + " takes a subcommand: " + SubcommandsOf(words[0]));
        }
        if (arguments.empty()) {
            throw UsageError("no command given");
        }
        if (words[0] == "--version" && words.size() == 1) {
            out << "vesk " << VESK_VERSION << "\n";
            return 0;
        }
        if (words[0] == "--help" || words[0] == "help") {
            std::string topicName;
            for (size_t i = 1; i < words.size(); ++i) {
                topicName += (i == 1 ? "" : " ") + words[i];
            }
            const Command* topic = Find(topicName);
            out << (topic != nullptr ? HelpOf(*topic) : Overview());
            return 0;
        }
        if (command == nullptr) {
            throw UsageError("unknown command '" + words[0] + "'");
        }
        const auto optionsEnd = std::find(words.begin() + 1, words.end(), "--");
        if (std::find(words.begin() + 1, optionsEnd, "--help") != optionsEnd) {
            out << HelpOf(*command);
            return 0;
        }
        return command->run(Parse(*command, words), Streams{in, out, err});
    } catch (const UsageError& e) {
        err << "vesk: " << e.what() << "\n";
        if (command != nullptr) {
            err << "usage: vesk " << command->name << " " << command->usage << "\n"
                << "Run 'vesk " << command->name << " --help' for more.\n";
        } else {
            err << Overview();
        }
        return 2;
    } catch (const std::exception& e) {
        err << "vesk: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace VeskTool
