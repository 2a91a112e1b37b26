// The property commands and the image commands of the vesk tool, run as a user runs them; what they store is
// read back through the library.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "Support/Fixtures.h"
#include "Support/SqliteReader.h"
#include "Support/TempFolder.h"
#include "ToolProcess.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace DS = Data::Structures;
namespace DI = Data::Interfaces;
using Result = VeskTest::ToolResult;

const std::string kWorkspaceUuid = "0f8fad5b-d9cb-469f-a165-70867728950e";

// One stored property as the library reads it back: its value record and its declared interface type.
struct StoredValue {
    DS::_VARIANT value{};
    bool found = false;
    StoredValue() { value.type = DS::VT_Null; }
    ~StoredValue() { DS::VariantClear(&value); }
    StoredValue(const StoredValue&) = delete;
    StoredValue& operator=(const StoredValue&) = delete;

    uint32_t Type() const { return DS::VariantTypeCode(value); }
    template <class T>
    T* As() const {
        return DS::VariantFormOf(value) == DS::VF_Reference ? dynamic_cast<T*>(value.object) : nullptr;
    }
};

// Reads the property name of the object owner from the workspace file at path, opened read-only.
void ReadStored(const std::string& path, const std::string& owner, const char* name, StoredValue& stored) {
    DS::_UUID uuid{};
    ASSERT_TRUE(Data_UuidFromString(owner.c_str(), &uuid, nullptr));
    Vesk::Interfaces::IWorkspaceManager* workspace = nullptr;
    DI::IProperties* set = nullptr;
    if (VeskWorkspace_CreateOnFilesystem(&uuid, path.c_str(), Vesk::Interfaces::ReadOnly, &workspace, nullptr) &&
        workspace->GetObjectProperties(&uuid, &set, nullptr) && set->Contains(name)) {
        stored.found = set->GetValue(name, &stored.value, nullptr);
    }
    for (Core::IObject* object : {static_cast<Core::IObject*>(set), static_cast<Core::IObject*>(workspace)}) {
        if (object != nullptr) {
            object->Release();
        }
    }
}

class CliProperties : public VeskTest::ToolTest {
protected:
    void SetUp() override {
        ASSERT_EQ(Vesk({"create", path_, "--uuid", kWorkspaceUuid}).code, 0);
        object_ = Line({"add-object", path_, "Main map", "--type", "Map", "--prop", "Kept=yes"});
    }

    const std::string path_ = folder_.File("props.veskdb");
    std::string object_;
};

TEST_F(CliProperties, EachTypeIsStoredWithItsKindAndShownAsItself) {
    const std::string id = "11111111-2222-3333-4444-555555555555";
    ASSERT_EQ(Vesk({"prop", "set", path_, object_, "Title=Roads: main", "Layers:int=-7", "Opacity:double=0.25",
                    "Visible:bool=true", "Checked:datetime=2026-12-06T15:30:00.250+01:00", "Link:uuid=" + id,
                    R"(Style:json={"color": "red", "widths": [1, 2.5], "dash": null})"})
                  .code,
              0);
    {
        StoredValue title, layers, opacity, visible, checked, link, style, kept;
        ReadStored(path_, object_, "Title", title);
        ReadStored(path_, object_, "Layers", layers);
        ReadStored(path_, object_, "Opacity", opacity);
        ReadStored(path_, object_, "Visible", visible);
        ReadStored(path_, object_, "Checked", checked);
        ReadStored(path_, object_, "Link", link);
        ReadStored(path_, object_, "Style", style);
        ReadStored(path_, object_, "Kept", kept);
        ASSERT_EQ(title.Type(), DS::VT_String);
        ASSERT_NE(title.As<DI::IString>(), nullptr);
        EXPECT_EQ(std::string(title.As<DI::IString>()->GetText()), "Roads: main");
        ASSERT_EQ(layers.Type(), DS::VT_Int64);
        EXPECT_EQ(layers.value.i64, -7);
        ASSERT_EQ(opacity.Type(), DS::VT_Double);
        EXPECT_EQ(opacity.value.f64, 0.25);
        ASSERT_EQ(visible.Type(), DS::VT_Bool);
        EXPECT_NE(visible.value.i32, 0);
        ASSERT_EQ(checked.Type(), DS::VT_DateTime);
        ASSERT_NE(checked.As<DI::IDateTime>(), nullptr);
        EXPECT_STREQ(checked.As<DI::IDateTime>()->GetText(), "2026-12-06T14:30:00.250Z");
        ASSERT_EQ(link.Type(), DS::VT_Uuid);
        DS::_UUID expected{};
        ASSERT_TRUE(Data_UuidFromString(id.c_str(), &expected, nullptr));
        EXPECT_EQ(std::memcmp(link.value.bytes, expected.bytes, sizeof expected.bytes), 0);
        ASSERT_EQ(style.Type(), DS::VT_JsonDocument);
        DI::IJsonDocument* document = nullptr;
        ASSERT_TRUE(Data_CreateJsonDocument(&document));
        const std::string text = R"({"dash":null,"color":"red","widths":[1,2.5]})";
        ASSERT_TRUE(document->Load(text.data(), text.size(), nullptr));
        ASSERT_NE(style.As<DI::IJsonDocument>(), nullptr);
        EXPECT_TRUE(style.As<DI::IJsonDocument>()->Equals(document));
        document->Release();
        EXPECT_TRUE(kept.found);
    }

    // The listing embeds the document; get shows each kind as text, or as JSON with --json.
    const rapidjson::Document listing = Json(Vesk({"ls", path_, "--json"}).out);
    const auto& properties = listing["objects"][0]["properties"];
    ASSERT_TRUE(properties["Style"].IsObject());
    EXPECT_DOUBLE_EQ(properties["Style"]["widths"][1].GetDouble(), 2.5);
    EXPECT_EQ(properties["Layers"].GetInt64(), -7);
    EXPECT_EQ(Line({"prop", "get", path_, object_, "Checked"}), "2026-12-06T14:30:00.250Z");
    EXPECT_EQ(Line({"prop", "get", path_, object_, "Link"}), id);
    const rapidjson::Document one = Json(Vesk({"prop", "get", path_, object_, "Style", "--json"}).out);
    ASSERT_TRUE(one.IsObject());
    EXPECT_EQ(one.MemberCount(), 1u);
    EXPECT_STREQ(one["Style"]["color"].GetString(), "red");
    EXPECT_THAT(Vesk({"prop", "get", path_, object_}).out, HasSubstr("Visible = true\n"));

    // A key set again takes the new type in its place; the workspace has properties of its own.
    ASSERT_EQ(Vesk({"prop", "set", path_, object_, "Layers=many"}).code, 0);
    StoredValue layers;
    ReadStored(path_, object_, "Layers", layers);
    EXPECT_EQ(layers.Type(), DS::VT_String);
    ASSERT_EQ(Vesk({"prop", "set", path_, kWorkspaceUuid, "Owner:int=4"}).code, 0);
    StoredValue owner;
    ReadStored(path_, kWorkspaceUuid, "Owner", owner);
    EXPECT_EQ(owner.value.i64, 4);
}

TEST_F(CliProperties, BadValuesAndBadCommandLinesExitTwoAndChangeNothing) {
    const std::string before = VeskTest::FileBytes(path_);
    for (const char* bad : {"N:int=1e3", "N:double=fast", "N:bool=1", "N:datetime=2026-13-01T00:00:00Z",
                            "N:datetime=1600-12-31T23:59:59Z", "N:datetime=yesterday", "N:uuid=1234",
                            "N:json={\"a\":", "N:json=[1] [2]", "N:vector=1", "=value"}) {
        const Result result = Vesk({"prop", "set", path_, object_, "Good=1", bad});
        EXPECT_EQ(result.code, 2) << bad << result.err;
        EXPECT_THAT(result.err, HasSubstr("usage: vesk prop set")) << bad;
    }
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"prop", "set", path_, object_},
             {"prop", "set", path_, object_, "A=1", "A=2"},
             {"prop", "set", path_, object_, "--secure", "P"},  // no line on standard input
             {"prop", "set", path_, "not-a-uuid", "A=1"},
             {"prop", "get", path_, object_, "A", "B"},
             {"prop", "rm", path_, object_},
             {"add-object", path_, "O", "--type", "Map", "--prop", "When:datetime=12:00"},
             {"export", path_},
             {"import", path_}}) {
        EXPECT_EQ(Vesk(arguments).code, 2) << ::testing::PrintToString(arguments);
    }
    EXPECT_EQ(VeskTest::FileBytes(path_), before);
    for (const char* command : {"prop get", "prop set", "prop rm", "export", "import"}) {
        const std::string help = Vesk({command, "--help"}).out;
        EXPECT_THAT(help, HasSubstr(std::string("example:\n  vesk ") + command + " ")) << command;
    }
}

TEST_F(CliProperties, SecureValueComesFromStandardInputAndIsStoredEncrypted) {
    const std::string secret = "Tr0ub4dor&3-not-in-the-file";
    ASSERT_EQ(Vesk({"prop", "set", path_, object_, "--secure", "Password", "User=ana"}, secret + "\nnext line\n").code,
              0);
    // Another change keeps the secure value as it was.
    ASSERT_EQ(Vesk({"prop", "set", path_, object_, "User=bo"}).code, 0);
    EXPECT_EQ(VeskTest::FileBytes(path_).find(secret), std::string::npos);
    {
        StoredValue password;
        ReadStored(path_, object_, "Password", password);
        ASSERT_NE(password.As<DI::ISecureString>(), nullptr);
        EXPECT_EQ(
            std::string(password.As<DI::ISecureString>()->GetText(), password.As<DI::ISecureString>()->GetLength()),
            secret);
    }
    EXPECT_EQ(Line({"prop", "get", path_, object_, "Password"}), "***");
    const Result all = Vesk({"prop", "get", path_, object_, "--json"});
    EXPECT_EQ(Json(all.out)["Password"].GetString(), std::string("***"));
    EXPECT_THAT(all.out + Vesk({"prop", "get", path_, object_}).out, Not(HasSubstr(secret)));
}

TEST_F(CliProperties, RemovesKeysButNoneWhenOneIsMissing) {
    ASSERT_EQ(Vesk({"prop", "set", path_, object_, "A=1", "B:int=2"}).code, 0);
    const std::string before = VeskTest::FileBytes(path_);
    const Result missing = Vesk({"prop", "rm", path_, object_, "A", "Nope"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_THAT(missing.err, HasSubstr("no property Nope on " + object_));
    EXPECT_EQ(VeskTest::FileBytes(path_), before);

    const rapidjson::Document removed = Json(Vesk({"prop", "rm", path_, object_, "A", "Kept", "--json"}).out);
    EXPECT_EQ(removed["keys"].Size(), 2u);
    EXPECT_EQ(Vesk({"prop", "get", path_, object_}).out, "B = 2\n");

    const std::string nobody = "22222222-2222-2222-2222-222222222222";
    const Result noObject = Vesk({"prop", "get", path_, nobody});
    EXPECT_EQ(noObject.code, 1);
    EXPECT_EQ(noObject.err, "vesk: no object " + nobody + " in " + path_ + "\n");
    EXPECT_EQ(Vesk({"prop", "get", path_, object_, "A"}).code, 1);
}

TEST_F(CliProperties, ExportAndImportGiveTheSameWorkspace) {
    const std::string source = Line({"add-source", path_, "Warehouse", "--type", "Database", "--secure-prop",
                                     "Password", "--prop", "Since:datetime=2020-02-29T12:00:00Z"},
                                    "hunter2\n");
    Line({"add-dataset", path_, source, "Stock", "--spatial-type", "Shape"});
    Line({"add-object", path_, "Legend", "--type", "MapElement", "--parent", object_, "--prop", "S:json=[1,{}]"});
    const std::string image = folder_.File("props.image");
    EXPECT_THAT(Line({"export", path_, image}), HasSubstr("Exported " + path_ + " to " + image + " ("));

    // An existing file is refused unless --force, and stays as it was.
    std::ofstream(folder_.File("taken")) << "mine";
    const Result taken = Vesk({"export", path_, folder_.File("taken")});
    EXPECT_EQ(taken.code, 1);
    EXPECT_THAT(taken.err, HasSubstr("--force"));
    EXPECT_EQ(VeskTest::FileBytes(folder_.File("taken")), "mine");
    const rapidjson::Document forced = Json(Vesk({"export", path_, folder_.File("taken"), "--force", "--json"}).out);
    EXPECT_EQ(forced["bytes"].GetUint64(), VeskTest::FileBytes(folder_.File("taken")).size());

    const std::string copy = folder_.File("copy.veskdb");
    EXPECT_EQ(Vesk({"import", image, path_}).code, 1);
    ASSERT_EQ(Vesk({"import", image, copy}).code, 0);
    EXPECT_EQ(Vesk({"ls", copy, "--json"}).out, Vesk({"ls", path_, "--json"}).out);
    // The copy keeps the workspace's UUID, so its secure values open with the same secret.
    StoredValue password;
    ReadStored(copy, source, "Password", password);
    ASSERT_NE(password.As<DI::ISecureString>(), nullptr);
    EXPECT_EQ(std::string(password.As<DI::ISecureString>()->GetText()), "hunter2");

    // An image of an older data model is brought up to date.
    VeskTest::BuildFromFixture("WorkspaceVersion1.sql", folder_.File("old.veskdb"));
    EXPECT_EQ(Vesk({"export", folder_.File("old.veskdb"), folder_.File("old.image")}).code, 1);
    std::filesystem::copy_file(folder_.File("old.veskdb"), folder_.File("old.image"));
    ASSERT_EQ(Vesk({"import", folder_.File("old.image"), folder_.File("new.veskdb")}).code, 0);
    EXPECT_EQ(Json(Vesk({"info", folder_.File("new.veskdb"), "--json"}).out)["version"].GetInt(), 3);
}

TEST_F(CliProperties, ImportRefusesWhatIsNoWorkspaceImage) {
    const std::string text = folder_.File("notes.txt");
    std::ofstream(text) << "plain text that is certainly not an SQLite database image";
    std::ofstream(folder_.File("empty.image")).close();
    // An SQLite database of another kind, which the library alone would turn into a workspace.
    const std::string foreign = folder_.File("foreign.db");
    VeskTest::SqliteReader(foreign).Execute("CREATE TABLE Notes (Text TEXT); INSERT INTO Notes VALUES ('hi');");
    const std::string target = folder_.File("target.veskdb");
    for (const std::string& image : std::vector<std::string>{text, folder_.File("empty.image"), foreign}) {
        const Result result = Vesk({"import", image, target});
        EXPECT_EQ(result.code, 1);
        EXPECT_THAT(result.err, HasSubstr(image + " is not a workspace image: "));
    }
    EXPECT_EQ(Vesk({"import", folder_.File("absent.image"), target}).code, 1);
    // Nothing is left behind: no target, no partly written file.
    EXPECT_FALSE(std::filesystem::exists(target));
    for (const auto& entry : std::filesystem::directory_iterator(folder_.Path())) {
        EXPECT_THAT(entry.path().filename().string(), Not(HasSubstr("target"))) << "left behind";
    }
}

}  // namespace
