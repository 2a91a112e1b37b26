#pragma once
// The built vesk tool run as a separate process, as a user runs it: its exit code, standard output and
// standard error.
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "Support/Fixtures.h"
#include "Support/TempFolder.h"

namespace VeskTest {

struct ToolResult {
    int code;
    std::string out;
    std::string err;
};

#if defined(_WIN32)
// For cmd.exe and the C runtime's argument parsing: double quotes, inner ones escaped.
inline std::string Quoted(const std::string& argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        quoted += c == '"' ? std::string("\\\"") : std::string(1, c);
    }
    return quoted + "\"";
}

inline int ExitCode(int status) {
    return status;
}
#else
// For the POSIX shell: single quotes, inner ones closed, escaped and reopened.
inline std::string Quoted(const std::string& argument) {
    std::string quoted = "'";
    for (const char c : argument) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

inline int ExitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

// The file's text, with Windows line ends made plain ones: the tool writes text, in the system's form.
inline std::string Slurp(const std::string& path) {
    return std::regex_replace(FileBytes(path), std::regex("\r\n"), "\n");
}

// Wine's command processor adds a note of its own to the standard error of what it starts; Windows
// does not, and the tool never writes one.
inline std::string WithoutWineNotes(const std::string& text) {
    return std::regex_replace(text, std::regex("NOTE: you should run 'diskperf -y' to enable the disk statistics\n"),
                              "");
}

// Runs the tool with arguments and input as its standard input; its streams pass through files in folder.
inline ToolResult RunTool(const TempFolder& folder, const std::vector<std::string>& arguments,
                          const std::string& input = "") {
    std::ofstream(folder.File("stdin"), std::ios::binary) << input;
    std::string command = Quoted(VESK_TOOL_PATH);
    for (const std::string& argument : arguments) {
        command += " " + Quoted(argument);
    }
    command += " <" + Quoted(folder.File("stdin")) + " >" + Quoted(folder.File("stdout")) + " 2>" +
               Quoted(folder.File("stderr"));
#if defined(_WIN32)
    // cmd.exe drops the outer quotes of a command line that starts with one.
    command = "\"" + command + "\"";
#endif
    const int status = std::system(command.c_str());
    return {ExitCode(status), Slurp(folder.File("stdout")), WithoutWineNotes(Slurp(folder.File("stderr")))};
}

// A test that runs the tool in a temporary folder of its own.
class ToolTest : public ::testing::Test {
protected:
    ToolResult Vesk(const std::vector<std::string>& arguments, const std::string& input = "") {
        return RunTool(folder_, arguments, input);
    }

    // The first line of output of a command that must succeed, with its errors in the failure message.
    std::string Line(const std::vector<std::string>& arguments, const std::string& input = "") {
        const ToolResult result = Vesk(arguments, input);
        EXPECT_EQ(result.code, 0) << result.err;
        EXPECT_TRUE(result.err.empty()) << result.err;
        return result.out.substr(0, result.out.find('\n'));
    }

    static rapidjson::Document Json(const std::string& text) {
        rapidjson::Document json;
        json.Parse(text.c_str());
        EXPECT_FALSE(json.HasParseError()) << text;
        return json;
    }

    TempFolder folder_;
};

}  // namespace VeskTest
