// vesk check, run as a user runs it, on workspace files damaged behind the library's back with plain SQLite.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <rapidjson/document.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "Support/Fixtures.h"
#include "Support/SqliteReader.h"
#include "Support/TempFolder.h"
#include "ToolProcess.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace.h"

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using Result = VeskTest::ToolResult;
namespace DS = Data::Structures;

constexpr const char* kNoSource = "11111111-1111-1111-1111-111111111111";
constexpr const char* kNoOwner = "22222222-2222-2222-2222-222222222222";
constexpr const char* kNoParent = "33333333-3333-3333-3333-333333333333";

// Gives owner a property set through the library: Kind=text and the nested set Style holding Colour=red.
void SetNestedProperties(const std::string& path, const std::string& owner, const char* text) {
    DS::_UUID uuid{};
    ASSERT_TRUE(Data_UuidFromString(owner.c_str(), &uuid, nullptr));
    Vesk::Interfaces::IWorkspaceManager* workspace = nullptr;
    Data::Interfaces::IProperties* set = nullptr;
    Data::Interfaces::IProperties* style = nullptr;
    Data::Interfaces::IString* textValue = nullptr;
    Data::Interfaces::IString* red = nullptr;
    ASSERT_TRUE(Data_CreateProperties(&set, nullptr) && Data_CreateProperties(&style, nullptr) &&
                Data_CreateString(&textValue) && Data_CreateString(&red));
    textValue->Set(text, std::strlen(text), nullptr);
    red->Set("red", 3, nullptr);
    auto reference = [](uint32_t type, Core::IObject* object) {
        DS::_VARIANT value{};
        value.type = type | DS::VF_Reference;
        value.object = object;
        return value;
    };
    const DS::_VARIANT kind = reference(DS::VT_String, textValue);
    const DS::_VARIANT colour = reference(DS::VT_String, red);
    const DS::_VARIANT nested = reference(DS::VT_IObject, style);
    EXPECT_TRUE(style->Register("", "Colour", "", "", "", DS::VT_String, false, nullptr) &&
                style->SetValue("Colour", &colour, nullptr));
    EXPECT_TRUE(set->Register("", "Kind", "", "", "", DS::VT_String, false, nullptr) &&
                set->SetValue("Kind", &kind, nullptr));
    EXPECT_TRUE(set->Register("", "Style", "", "IProperties", "", DS::VT_IObject, false, nullptr) &&
                set->SetValue("Style", &nested, nullptr));
    EXPECT_TRUE(
        VeskWorkspace_CreateOnFilesystem(&uuid, path.c_str(), Vesk::Interfaces::ReadWrite, &workspace, nullptr) &&
        workspace->SetObjectProperties(&uuid, set, nullptr));
    for (Core::IObject* object :
         {static_cast<Core::IObject*>(workspace), static_cast<Core::IObject*>(set), static_cast<Core::IObject*>(style),
          static_cast<Core::IObject*>(textValue), static_cast<Core::IObject*>(red)}) {
        if (object != nullptr) {
            object->Release();
        }
    }
}

class CliCheck : public VeskTest::ToolTest {
protected:
    // A data source Roads with datasets Motorways and Junctions, the objects Map > Legend > Entry, Note and
    // Overlay under Motorways, most with properties; Map and Legend also with a nested set.
    void Build() {
        ASSERT_EQ(Vesk({"create", path_}).code, 0);
        roads_ = Line(
            {"add-source", path_, "Roads", "--type", "FilePath", "--prop", "Path=/r.gpkg", "--prop", "Layers:int=3"});
        motorways_ = Line({"add-dataset", path_, roads_, "Motorways", "--prop", "Opacity:double=0.8"});
        junctions_ = Line({"add-dataset", path_, roads_, "Junctions", "--prop", "Opacity:double=0.5"});
        map_ = Line({"add-object", path_, "Map", "--type", "Map"});
        legend_ = Line({"add-object", path_, "Legend", "--type", "MapElement", "--parent", map_});
        entry_ = Line({"add-object", path_, "Entry", "--type", "LegendEntry", "--parent", legend_, "--prop", "N=1"});
        note_ = Line({"add-object", path_, "Note", "--type", "Note", "--prop", "Text=keep"});
        // A dataset is a parent that the tool accepts, too.
        Line({"add-object", path_, "Overlay", "--type", "Layer", "--parent", motorways_});
        SetNestedProperties(path_, map_, "map");
        SetNestedProperties(path_, legend_, "legend");
    }

    // Each table's rows as "Name" (properties: "Name=owner's name or uuid"), sorted.
    std::set<std::string> Rows(const std::string& table) {
        VeskTest::SqliteReader db(path_);
        std::set<std::string> rows;
        const std::string sql = table == "Properties"
                                    ? "SELECT p.PropertyName || '@' || COALESCE(d.Name, s.Name, g.Name, "
                                      "n.PropertyName, p.WorkspaceObjectUuid) "
                                      "FROM Properties p LEFT JOIN Datasets d ON d.Uuid = p.WorkspaceObjectUuid "
                                      "LEFT JOIN DataSources s ON s.Uuid = p.WorkspaceObjectUuid "
                                      "LEFT JOIN GenericObjects g ON g.Uuid = p.WorkspaceObjectUuid "
                                      "LEFT JOIN Properties n ON CAST(n.PropertyValue AS TEXT) = p.WorkspaceObjectUuid"
                                    : "SELECT Name FROM " + table;
        for (const auto& row : db.Rows(sql)) {
            rows.insert(row[0]);
        }
        return rows;
    }

    const std::string path_ = folder_.File("check.veskdb");
    std::string roads_, motorways_, junctions_, map_, legend_, entry_, note_;
};

TEST_F(CliCheck, ACleanWorkspaceHasNoProblemsAndBadCommandLinesExitWithTwo) {
    Build();
    const Result clean = Vesk({"check", path_});
    EXPECT_EQ(clean.code, 0) << clean.err;
    EXPECT_EQ(clean.out, "no problems found\n");
    const Result fixed = Vesk({"check", path_, "--fix", "--json"});
    EXPECT_EQ(fixed.code, 0) << fixed.err;
    EXPECT_EQ(fixed.out, "{\"ok\":true,\"problems\":[],\"fixed\":0}\n");
    EXPECT_TRUE(fixed.err.empty()) << "no question without orphans: " << fixed.err;

    const std::string missing = folder_.File("missing.veskdb");
    const Result absent = Vesk({"check", missing, "--fix", "--yes"});
    EXPECT_EQ(absent.code, 1);
    EXPECT_EQ(absent.err, "vesk: no workspace file at " + missing + "\n");
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"check"}, {"check", path_, "--yes"}, {"check", path_, "--repair"}, {"check", path_, path_}}) {
        const Result bad = Vesk(arguments);
        EXPECT_EQ(bad.code, 2) << ::testing::PrintToString(arguments);
        EXPECT_THAT(bad.err, HasSubstr("usage: vesk check PATH"));
    }
    EXPECT_THAT(Vesk({"check", "--help"}).out, HasSubstr("example:\n  vesk check "));
}

TEST_F(CliCheck, OrphansAreReportedAndRemovedTogetherOnlyWhenConfirmed) {
    Build();
    std::string pathProperty;
    {
        VeskTest::SqliteReader db(path_);
        db.Execute("UPDATE Datasets SET DataSourceUuid = '" + std::string(kNoSource) + "' WHERE Name = 'Motorways'");
        pathProperty = db.Value("SELECT Uuid FROM Properties WHERE PropertyName = 'Path'");
        db.Execute("UPDATE Properties SET WorkspaceObjectUuid = '" + std::string(kNoOwner) + "' WHERE Uuid = '" +
                   pathProperty + "'");
        db.Execute("UPDATE GenericObjects SET ParentUuid = '" + std::string(kNoParent) + "' WHERE Name = 'Legend'");
    }
    const std::string problems = "dataset " + motorways_ + " (Motorways) names data source " + kNoSource +
                                 ", which does not exist (1 object beneath it)\n" + "object " + legend_ +
                                 " (Legend) names parent " + kNoParent +
                                 ", which does not exist (1 object beneath it)\n" + "property 'Path' (" + pathProperty +
                                 ") belongs to " + kNoOwner + ", which does not exist\n" + "3 problems found\n";
    const Result found = Vesk({"check", path_});
    EXPECT_EQ(found.code, 1);
    EXPECT_EQ(found.out, problems);
    const rapidjson::Document json = Json(Vesk({"check", path_, "--json"}).out);
    EXPECT_FALSE(json["ok"].GetBool());
    ASSERT_EQ(json["problems"].Size(), 3u);
    EXPECT_STREQ(json["problems"][0]["kind"].GetString(), "orphan-dataset");
    EXPECT_STREQ(json["problems"][0]["uuid"].GetString(), motorways_.c_str());
    EXPECT_STREQ(json["problems"][1]["kind"].GetString(), "orphan-object");
    EXPECT_STREQ(json["problems"][2]["kind"].GetString(), "orphan-property");

    // Motorways with Opacity and Overlay; Legend with Kind, Style and Colour; Entry with N; the Path property.
    const std::string question = "Remove 10 orphaned rows from " + path_ + "? [y/N] ";
    const std::string before = VeskTest::FileBytes(path_);
    for (const std::string& answer : {std::string("n\n"), std::string("yess\n"), std::string()}) {
        const Result refused = Vesk({"check", path_, "--fix"}, answer);
        EXPECT_EQ(refused.code, 1);
        EXPECT_EQ(refused.out, problems + "Nothing removed.\n");
        EXPECT_THAT(refused.err, StartsWith(question));
    }
    {
        // Another program in the middle of a write: the fix waits a little, then gives up untouched.
        VeskTest::SqliteReader writer(path_);
        writer.Execute("BEGIN IMMEDIATE");
        const Result busy = Vesk({"check", path_, "--fix", "--yes"});
        EXPECT_EQ(busy.code, 1);
        EXPECT_THAT(busy.err, HasSubstr(path_ + " is being changed by another program; nothing removed"));
        writer.Execute("ROLLBACK");
    }
    EXPECT_EQ(VeskTest::FileBytes(path_), before);

    const Result fix = Vesk({"check", path_, "--fix"}, "Yes\r\n");
    EXPECT_EQ(fix.code, 0) << fix.err;
    EXPECT_EQ(fix.out, problems +
                           "Removed 10 orphaned rows: 1 dataset, 3 generic objects, 6 properties\n"
                           "no problems found\n");
    EXPECT_EQ(fix.err, question);
    EXPECT_EQ(Rows("Datasets"), std::set<std::string>({"Junctions"}));
    EXPECT_EQ(Rows("GenericObjects"), std::set<std::string>({"Map", "Note"}));
    // The healthy siblings keep their properties, nested set included.
    EXPECT_EQ(Rows("Properties"), std::set<std::string>({"Layers@Roads", "Opacity@Junctions", "Kind@Map", "Style@Map",
                                                         "Colour@Style", "Text@Note"}));
    EXPECT_EQ(Vesk({"check", path_}).code, 0);
    const Result listed = Vesk({"ls", path_});
    EXPECT_EQ(listed.code, 0) << listed.err;
    EXPECT_THAT(listed.out, HasSubstr("Colour = red"));
}

TEST_F(CliCheck, DamagedFilesAreReportedButNeverFixed) {
    Build();
    {
        VeskTest::SqliteReader db(path_);
        db.Execute("UPDATE Datasets SET DataSourceUuid = '" + std::string(kNoSource) + "' WHERE Name = 'Motorways'");
    }
    const std::string corrupt = folder_.File("corrupt.veskdb");
    std::filesystem::copy_file(path_, corrupt);
    {
        VeskTest::SqliteReader db(path_);
        db.Execute(
            "INSERT INTO Workspaces SELECT '44444444-4444-4444-4444-444444444444', Name, Description, Version, "
            "Inserted, Updated FROM Workspaces");
    }
    const std::string twoRecords = "the Workspaces table holds 2 rows where a workspace has exactly one";
    const std::string before = VeskTest::FileBytes(path_);
    const Result records = Vesk({"check", path_, "--fix", "--yes"});
    EXPECT_EQ(records.code, 1);
    EXPECT_THAT(records.out, StartsWith(twoRecords + "\ndataset " + motorways_));
    EXPECT_THAT(records.out, HasSubstr("2 problems found\n"));
    EXPECT_EQ(records.err, "vesk: not fixing " + path_ + ": " + twoRecords + "\n");
    EXPECT_EQ(VeskTest::FileBytes(path_), before);

    // Garbage over the cells of the GenericObjects key index: its rows no longer match the table's.
    int64_t pageSize = 0;
    int64_t page = 0;
    {
        VeskTest::SqliteReader db(corrupt);
        pageSize = std::stoll(db.Value("PRAGMA page_size"));
        page =
            std::stoll(db.Value("SELECT rootpage FROM sqlite_master WHERE name = 'sqlite_autoindex_GenericObjects_1'"));
    }
    {
        std::fstream file(corrupt, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(page * pageSize - 200);
        file << std::string(200, 'x');
    }
    const std::string damaged = VeskTest::FileBytes(corrupt);
    const Result integrity = Vesk({"check", corrupt, "--fix", "--yes", "--json"});
    EXPECT_EQ(integrity.code, 1);
    const rapidjson::Document json = Json(integrity.out);
    EXPECT_FALSE(json["ok"].GetBool());
    EXPECT_EQ(json["fixed"].GetInt(), 0);
    ASSERT_GE(json["problems"].Size(), 1u);
    EXPECT_STREQ(json["problems"][0]["kind"].GetString(), "integrity");
    EXPECT_THAT(json["problems"][0]["detail"].GetString(), StartsWith("SQLite's integrity check: "));
    EXPECT_EQ(integrity.err,
              "vesk: not fixing " + corrupt + ": SQLite's integrity check failed; restore the file from a backup\n");
    EXPECT_EQ(VeskTest::FileBytes(corrupt), damaged);

    const std::string text = folder_.File("text.veskdb");
    std::ofstream(text) << "plain text that is certainly not an SQLite database file";
    const Result notDatabase = Vesk({"check", text});
    EXPECT_EQ(notDatabase.code, 1);
    EXPECT_EQ(notDatabase.out, "SQLite cannot check the file: file is not a database\n1 problem found\n");
}

}  // namespace
