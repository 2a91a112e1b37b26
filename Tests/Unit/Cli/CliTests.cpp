// The built vesk tool, run as a user runs it: what it prints, what it leaves in the file, how it fails.
#include <sqlite3.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include <rapidjson/document.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include "Support/Fixtures.h"
#include "Support/TempFolder.h"
#include "ToolProcess.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using Result = VeskTest::ToolResult;

// Runs the built tool with arguments and input as its standard input.
class Cli : public VeskTest::ToolTest {
protected:
    const std::string path_ = folder_.File("cli.veskdb");
};

// The secure property's value read back through the library with the workspace's own secret.
std::string StoredSecureText(const std::string& path, const std::string& owner, const char* name) {
    Data::Structures::_UUID uuid{};
    EXPECT_TRUE(Data_UuidFromString(owner.c_str(), &uuid, nullptr));
    Vesk::Interfaces::IWorkspaceManager* workspace = nullptr;
    Data::Interfaces::IProperties* set = nullptr;
    Data::Structures::_VARIANT value{};
    std::string text = "(unreadable)";
    if (VeskWorkspace_CreateOnFilesystem(&uuid, path.c_str(), Vesk::Interfaces::ReadOnly, &workspace, nullptr) &&
        workspace->GetObjectProperties(&uuid, &set, nullptr) && set->GetValue(name, &value, nullptr)) {
        if (auto* secure = dynamic_cast<Data::Interfaces::ISecureString*>(value.object)) {
            text.assign(secure->GetText(), secure->GetLength());
        }
    }
    Data::Structures::VariantClear(&value);
    for (Core::IObject* object : {static_cast<Core::IObject*>(set), static_cast<Core::IObject*>(workspace)}) {
        if (object != nullptr) {
            object->Release();
        }
    }
    return text;
}

TEST_F(Cli, BuildsListsAndRemovesAWorkspace) {
    const std::string uuid = "0f8fad5b-d9cb-469f-a165-70867728950e";
    ASSERT_EQ(Vesk({"create", path_, "--uuid", uuid}).code, 0);
    // An existing workspace keeps its UUID, and says so.
    const auto reopened = Json(Vesk({"create", path_, "--uuid", "22222222-2222-2222-2222-222222222222", "--json"}).out);
    EXPECT_EQ(reopened["uuid"].GetString(), uuid);
    EXPECT_EQ(reopened["path"].GetString(), path_);

    const std::regex uuidLine("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");
    const std::string roads = Line({"add-source", path_, "Roads", "--type", "FilePath", "--prop", "Path=/data/a=b.gpkg",
                                    "--prop", "Layers:int=3"});
    EXPECT_TRUE(std::regex_match(roads, uuidLine)) << roads;
    const std::string warehouse = Line({"add-source", path_, "Warehouse", "--type", "database", "--prop", "Host=db",
                                        "--secure-prop", "Password", "--secure-prop", "Token"},
                                       "s3cret-one\r\ns3cret-two\n");
    Line({"add-dataset", path_, roads, "Motorways", "--spatial-type", "Shape", "--prop", "Opacity:double=0.8", "--prop",
          "Visible:bool=false"});
    Line({"add-dataset", path_, roads, "Junctions", "--type", "Table"});
    const std::string map = Line({"add-object", path_, "Main map", "--type", "Map"});
    const std::string legend =
        Line({"add-object", path_, "Legend", "--type", "MapElement", "--parent", map, "--prop", "Title=Roads"});
    Line({"add-object", path_, "Entry", "--type", "LegendEntry", "--parent", legend});
    // After -- a name may look like an option.
    const rapidjson::Document note = Json(Line({"add-object", path_, "--type", "Note", "--json", "--", "--draft"}));

    const Result listed = Vesk({"ls", path_, "--json"});
    ASSERT_EQ(listed.code, 0) << listed.err;
    const rapidjson::Document json = Json(listed.out);
    EXPECT_STREQ(json["uuid"].GetString(), uuid.c_str());
    const auto& sources = json["dataSources"];
    ASSERT_EQ(sources.Size(), 2u);
    const auto& roadsJson = std::string(sources[0]["uuid"].GetString()) == roads ? sources[0] : sources[1];
    const auto& warehouseJson = &roadsJson == &sources[0] ? sources[1] : sources[0];
    EXPECT_STREQ(roadsJson["type"].GetString(), "FilePath");
    EXPECT_STREQ(roadsJson["properties"]["Path"].GetString(), "/data/a=b.gpkg");
    EXPECT_EQ(roadsJson["properties"]["Layers"].GetInt64(), 3);
    ASSERT_EQ(roadsJson["datasets"].Size(), 2u);
    const auto& motorways = roadsJson["datasets"][0];
    EXPECT_STREQ(motorways["name"].GetString(), "Motorways");
    EXPECT_STREQ(motorways["datasetType"].GetString(), "Spatial");
    EXPECT_STREQ(motorways["spatialType"].GetString(), "Shape");
    EXPECT_DOUBLE_EQ(motorways["properties"]["Opacity"].GetDouble(), 0.8);
    EXPECT_FALSE(motorways["properties"]["Visible"].GetBool());
    EXPECT_STREQ(roadsJson["datasets"][1]["datasetType"].GetString(), "Table");
    EXPECT_STREQ(warehouseJson["type"].GetString(), "Database");
    EXPECT_STREQ(warehouseJson["properties"]["Password"].GetString(), "***");
    const auto& objects = json["objects"];
    ASSERT_EQ(objects.Size(), 2u);
    EXPECT_STREQ(objects[0]["name"].GetString(), "--draft");
    EXPECT_STREQ(objects[0]["uuid"].GetString(), note["uuid"].GetString());
    EXPECT_EQ(objects[0]["children"].Size(), 0u);
    EXPECT_STREQ(objects[1]["name"].GetString(), "Main map");
    EXPECT_STREQ(objects[1]["children"][0]["properties"]["Title"].GetString(), "Roads");
    EXPECT_STREQ(objects[1]["children"][0]["children"][0]["name"].GetString(), "Entry");

    // The secret lines reach the file encrypted, one per --secure-prop in order, and never the output.
    const std::string text = Vesk({"ls", path_}).out;
    EXPECT_THAT(text, HasSubstr("Password = ***"));
    EXPECT_THAT(text, HasSubstr("  Main map  [Map]  " + map + "\n    Legend  [MapElement]  " + legend));
    EXPECT_THAT(text + listed.out, Not(HasSubstr("s3cret")));
    EXPECT_THAT(VeskTest::FileBytes(path_), Not(HasSubstr("s3cret")));
    EXPECT_EQ(StoredSecureText(path_, warehouse, "Password"), "s3cret-one");
    EXPECT_EQ(StoredSecureText(path_, warehouse, "Token"), "s3cret-two");

    // A removed object takes its descendants and all their properties with it; a removed data source its datasets.
    EXPECT_EQ(Line({"rm", path_, map}), "Removed " + map);
    EXPECT_EQ(Line({"rm", path_, roads}), "Removed " + roads);
    const rapidjson::Document info = Json(Vesk({"info", path_, "--json"}).out);
    EXPECT_EQ(info["rows"]["GenericObjects"].GetInt(), 1);
    EXPECT_EQ(info["rows"]["Datasets"].GetInt(), 0);
    EXPECT_EQ(info["rows"]["Properties"].GetInt(), 3);
    const Result again = Vesk({"rm", path_, map});
    EXPECT_EQ(again.code, 1);
    EXPECT_THAT(again.err, HasSubstr(map));
}

TEST_F(Cli, UpgradeSaysFromWhichVersion) {
    VeskTest::BuildFromFixture("WorkspaceVersion1.sql", path_);
    EXPECT_EQ(Line({"upgrade", path_}), "Upgraded " + path_ + " from version 1 to version 3");
    const rapidjson::Document json = Json(Vesk({"upgrade", path_, "--json"}).out);
    EXPECT_EQ(json["from"].GetInt(), 3);
    EXPECT_EQ(json["to"].GetInt(), 3);
    EXPECT_FALSE(json["upgraded"].GetBool());
}

TEST_F(Cli, BadCommandLinesExitWithTwoAndChangeNothing) {
    ASSERT_EQ(Vesk({"create", path_}).code, 0);
    const std::string source = Line({"add-source", path_, "S", "--type", "Memory"});
    const std::string before = VeskTest::FileBytes(path_);
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate", path_},
        {"info"},
        {"ls", path_, "extra"},
        {"ls", path_, "--verbose"},
        {"create", path_, "--uuid", "not-a-uuid"},
        {"add-source", path_, "X"},
        {"add-source", path_, "X", "--type", "Teleport"},
        {"add-source", path_, "X", "--type", "FilePath", "--type", "Memory"},
        {"add-source", path_, "X", "--type", "FilePath", "--prop"},
        {"add-source", path_, "X", "--type", "FilePath", "--prop", "NoValue"},
        {"add-source", path_, "X", "--type", "FilePath", "--prop", "N:int=5.5"},
        {"add-source", path_, "X", "--type", "FilePath", "--prop", "N:bool=yes"},
        {"add-source", path_, "X", "--type", "FilePath", "--prop", "N:secure=shown"},
        {"add-source", path_, "X", "--type", "FilePath", "--secure-prop", "P"},  // no line on standard input
        {"add-dataset", path_, source, "D", "--spatial-type", "Hologram"},
        {"add-object", path_, "O", "--type", "Dataset"},
        {"add-object", path_, "O", "--type", "Map", "--parent", "123"},
        {"rm", path_, "123"},
    };
    for (const auto& arguments : bad) {
        const Result result = Vesk(arguments);
        EXPECT_EQ(result.code, 2) << ::testing::PrintToString(arguments) << result.err;
        EXPECT_TRUE(result.out.empty()) << result.out;
        EXPECT_THAT(result.err, HasSubstr("usage:")) << ::testing::PrintToString(arguments);
    }
    EXPECT_EQ(VeskTest::FileBytes(path_), before);
    // Every command the overview lists has help with an example of itself.
    const std::string overview = Vesk({"--help"}).out;
    const std::regex listed("\n  vesk ([a-z][a-z-]*(?: [a-z]+)?)");
    size_t commands = 0;
    for (auto it = std::sregex_iterator(overview.begin(), overview.end(), listed); it != std::sregex_iterator(); ++it) {
        const std::string command = (*it)[1];
        std::vector<std::string> arguments;
        std::istringstream words(command);
        for (std::string word; words >> word;) {
            arguments.push_back(word);
        }
        arguments.push_back("--help");
        const Result help = Vesk(arguments);
        EXPECT_EQ(help.code, 0) << command;
        EXPECT_THAT(help.out, HasSubstr("usage: vesk " + command));
        const size_t example = help.out.find("example:\n");
        EXPECT_NE(example, std::string::npos) << command;
        EXPECT_NE(help.out.find("vesk " + command, example), std::string::npos) << command;
        ++commands;
    }
    EXPECT_GE(commands, 19u);
}

TEST_F(Cli, RefusalsExitWithOneAndTheReason) {
    const std::string missing = folder_.File("missing.veskdb");
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"info", missing},
                                               {"ls", missing},
                                               {"upgrade", missing},
                                               {"rm", missing, "0f8fad5b-d9cb-469f-a165-70867728950e"},
                                               {"add-object", missing, "O", "--type", "Map"}}) {
        const Result result = Vesk(arguments);
        EXPECT_EQ(result.code, 1) << arguments[0];
        EXPECT_EQ(result.err, "vesk: no workspace file at " + missing + "\n");
        EXPECT_TRUE(result.out.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(missing));

    // What is not a workspace is named as such, and an SQLite database of someone else's is left alone.
    const std::string text = folder_.File("text.veskdb");
    std::ofstream(text) << "plain text that is certainly not an SQLite database file";
    EXPECT_EQ(Vesk({"ls", text}).err, "vesk: " + text + " is not a workspace file: it is not an SQLite database\n");
    const std::string other = folder_.File("other.db");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(other.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE Notes(Text TEXT)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const std::string before = VeskTest::FileBytes(other);
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"create", other}, {"add-object", other, "O", "--type", "Map"}}) {
        EXPECT_EQ(Vesk(arguments).err,
                  "vesk: " + other + " is not a workspace file: it is an SQLite database without a Workspaces table\n");
    }
    EXPECT_EQ(VeskTest::FileBytes(other), before);
    EXPECT_EQ(Vesk({"info", folder_.Path().string()}).err,
              "vesk: " + folder_.Path().string() + " is a folder, not a workspace file\n");
    EXPECT_THAT(Vesk({"create", folder_.File("no/such/folder.veskdb")}).err, HasSubstr("no folder "));

    ASSERT_EQ(Vesk({"create", path_}).code, 0);
    const std::string nobody = "11111111-1111-1111-1111-111111111111";
    const Result noSource = Vesk({"add-dataset", path_, nobody, "D"});
    EXPECT_EQ(noSource.code, 1);
    EXPECT_EQ(noSource.err, "vesk: no data source " + nobody + " in " + path_ + "\n");
    EXPECT_EQ(Vesk({"add-object", path_, "O", "--type", "Map", "--parent", nobody}).code, 1);
    const Result duplicate = Vesk({"add-object", path_, "O", "--type", "Map", "--prop", "A=1", "--prop", "A=2"});
    EXPECT_EQ(duplicate.code, 1);
    EXPECT_THAT(duplicate.err, HasSubstr("Property A is already registered"));
    // Nothing of a refused command reaches the file.
    EXPECT_EQ(Json(Vesk({"info", path_, "--json"}).out)["rows"]["GenericObjects"].GetInt(), 0);
}

}  // namespace
