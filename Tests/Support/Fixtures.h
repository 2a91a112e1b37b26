#pragma once
// SQL fixtures under Tests/Data that build databases of older data-model versions at test time.
#include <string>

namespace VeskTest {

// The text of the fixture file name (for example "WorkspaceVersion1.sql").
std::string FixtureText(const std::string& name);

// Creates the database at path (which must not exist yet) by running every statement of the fixture.
void BuildFromFixture(const std::string& name, const std::string& path);

// Every byte of a file, to tell whether anything at all changed in it.
std::string FileBytes(const std::string& path);

}  // namespace VeskTest
