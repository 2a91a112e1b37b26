#include "Support/Fixtures.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "Support/SqliteReader.h"

namespace VeskTest {

std::string FixtureText(const std::string& name) {
    return FileBytes((std::filesystem::path(VESK_TEST_DATA_DIR) / name).string());
}

void BuildFromFixture(const std::string& name, const std::string& path) {
    if (std::filesystem::exists(path)) {
        throw std::runtime_error(path + " exists already");
    }
    SqliteReader(path).Execute(FixtureText(name));
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace VeskTest
