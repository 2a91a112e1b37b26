#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace VeskTool {

// Runs one command line (without the program name). Reads secure values from in, writes results to out
// and failures to err; returns the process exit code: 0 on success, 1 when the library or the workspace
// file refused, 2 for a bad command line.
int Run(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace VeskTool
