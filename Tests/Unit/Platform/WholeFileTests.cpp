// Replacing a whole file in one step, on every system: the new bytes arrive whole, nothing else is left
// beside the file, and a replacement that cannot be made leaves the old file as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "Platform/File.h"
#include "Support/Fixtures.h"
#include "Support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

TEST(WholeFileTest, ReplacesAFileInOneStepOrLeavesItAsItWas) {
    VeskTest::TempFolder folder;
    const std::string path = folder.File("cached.veskdb");
    std::ofstream(path, std::ios::binary) << "old bytes";

    std::string bytes(3 << 20, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7 + i / 4096);
    }
    Platform::IO::ReplaceFileAtomically(path, bytes.data(), bytes.size());
    EXPECT_EQ(VeskTest::FileBytes(path), bytes);
    Platform::IO::ReplaceFileAtomically(folder.File("new.veskdb"), "", 0);
    EXPECT_EQ(fs::file_size(folder.File("new.veskdb")), 0u);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 2)
        << "a temporary file was left beside the target";

    // A folder where the file should be cannot be replaced: it stays, and no temporary file is left.
    fs::create_directory(folder.Path() / "taken");
    EXPECT_ANY_THROW(Platform::IO::ReplaceFileAtomically(folder.File("taken"), "x", 1));
    EXPECT_TRUE(fs::is_directory(folder.Path() / "taken"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 3);
    EXPECT_ANY_THROW(Platform::IO::ReplaceFileAtomically(folder.File("no-such-folder/file"), "x", 1));
}

}  // namespace
