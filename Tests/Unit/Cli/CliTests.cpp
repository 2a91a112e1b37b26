// The vesk tool's commands: what they print, and how they fail.
#include <gtest/gtest.h>

#include <rapidjson/document.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Commands.h"
#include "Support/TempFolder.h"

namespace {

struct Result {
    int code;
    std::string out;
    std::string err;
};

Result Vesk(std::vector<std::string> arguments) {
    std::ostringstream out;
    std::ostringstream err;
    const int code = VeskTool::Run(arguments, out, err);
    return {code, out.str(), err.str()};
}

TEST(Cli, CreateThenInfoAsJson) {
    VeskTest::TempFolder folder;
    const std::string path = folder.File("demo.veskdb");
    const std::string uuid = "0f8fad5b-d9cb-469f-a165-70867728950e";
    ASSERT_EQ(Vesk({"create", path, "--uuid", uuid}).code, 0);
    const Result info = Vesk({"info", path, "--json"});
    ASSERT_EQ(info.code, 0) << info.err;
    rapidjson::Document json;
    json.Parse(info.out.c_str());
    ASSERT_FALSE(json.HasParseError()) << info.out;
    EXPECT_EQ(std::string(json["uuid"].GetString()), uuid);
    EXPECT_EQ(std::string(json["name"].GetString()), folder.Path().filename().string());
    EXPECT_EQ(json["version"].GetInt(), 3);
    EXPECT_EQ(json["rows"]["Workspaces"].GetInt(), 1);
    EXPECT_EQ(json["rows"]["GenericObjects"].GetInt(), 0);
}

TEST(Cli, CreatingAgainKeepsTheFirstUuid) {
    VeskTest::TempFolder folder;
    const std::string path = folder.File("again.veskdb");
    ASSERT_EQ(Vesk({"create", path, "--uuid", "11111111-1111-1111-1111-111111111111"}).code, 0);
    ASSERT_EQ(Vesk({"create", path, "--uuid", "22222222-2222-2222-2222-222222222222"}).code, 0);
    const Result info = Vesk({"info", path});
    EXPECT_NE(info.out.find("UUID:    11111111-1111-1111-1111-111111111111"), std::string::npos) << info.out;
}

TEST(Cli, FailuresGoToStandardErrorWithAnExitCode) {
    VeskTest::TempFolder folder;
    const Result missing = Vesk({"info", folder.File("missing.veskdb")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_NE(missing.err.find("unable to open database file"), std::string::npos) << missing.err;

    std::ofstream(folder.File("text.veskdb")) << "plain text that is certainly not an SQLite database file";
    const Result notDatabase = Vesk({"info", folder.File("text.veskdb")});
    EXPECT_EQ(notDatabase.code, 1);
    EXPECT_NE(notDatabase.err.find("file is not a database"), std::string::npos) << notDatabase.err;

    const Result badUuid = Vesk({"create", folder.File("x.veskdb"), "--uuid", "not-a-uuid"});
    EXPECT_EQ(badUuid.code, 1);
    EXPECT_FALSE(std::filesystem::exists(folder.File("x.veskdb")));

    EXPECT_EQ(Vesk({"frobnicate"}).code, 2);
    EXPECT_EQ(Vesk({}).code, 2);
    EXPECT_EQ(Vesk({"info"}).code, 2);
}

}  // namespace
