// The reference server, spoken to over loopback HTTP(S) the way the workspace client and WebDAV
// tools speak to it.

#include <gtest/gtest.h>
#include <httplib.h>
#include <openssl/evp.h>
#include <rapidjson/document.h>
#include <sqlite3.h>
#include <pugixml.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "Support/TempFolder.h"
#include "WorkspaceServer.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUuid = "0f8fad5b-d9cb-469f-a165-70867728950e";
constexpr const char* kOtherUuid = "7c9e6679-7425-40de-944b-e07fc1f90ae7";
const std::string kStorage = std::string("/ws/") + kUuid + "/services/storage";

std::string Sha256Hex(const std::string& data) {
    unsigned char digest[32];
    EVP_Digest(data.data(), data.size(), digest, nullptr, EVP_sha256(), nullptr);
    std::string hex;
    char byte[3];
    for (unsigned char b : digest) {
        std::snprintf(byte, sizeof byte, "%02x", b);
        hex += byte;
    }
    return hex;
}

std::string ReprDigest(const std::string& data) {
    unsigned char digest[32];
    unsigned char text[48] = {};
    EVP_Digest(data.data(), data.size(), digest, nullptr, EVP_sha256(), nullptr);
    EVP_EncodeBlock(text, digest, 32);
    return "sha-256=:" + std::string(reinterpret_cast<char*>(text)) + ":";
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

void MakeWorkspaceDatabase(const fs::path& file, const char* name, const char* description) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    const std::string sql = std::string("CREATE TABLE Workspaces(Uuid BLOB, Name TEXT, Description TEXT);") +
                            "INSERT INTO Workspaces VALUES(NULL, '" + name + "', '" + description + "');";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// Leftover temporary upload files anywhere below folder.
int TemporaryFiles(const fs::path& folder) {
    int count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        count += entry.path().filename().string().rfind(".vesk-", 0) == 0 ? 1 : 0;
    }
    return count;
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A server that hangs up on an upload must fail the client's write, not end the test process.
        std::signal(SIGPIPE, SIG_IGN);
        root_ = temp_.Path() / "root";
        workspace_ = root_ / kUuid;
        fs::create_directories(workspace_);
        WriteFile(root_ / "secret.txt", "outside");
    }

    // The server logs into log_ until it stops, so it stops before the members go.
    void TearDown() override { server_.reset(); }

    void Start(VeskServer::ServerOptions options = {}) {
        options.bind = "127.0.0.1";
        options.port = 0;
        options.log = [this](const std::string& line) {
            std::lock_guard lock(logMutex_);
            log_ += line + "\n";
        };
        server_ = std::make_unique<VeskServer::WorkspaceServer>(VeskServer::MakeFolderStore(root_.string()),
                                                                std::move(options));
        port_ = server_->Start();
    }

    httplib::Client Client(const httplib::Headers& headers = {}) {
        httplib::Client client("127.0.0.1", port_);
        client.set_url_encode(false);
        client.set_default_headers(headers);
        client.set_read_timeout(10, 0);
        return client;
    }

    httplib::Result Send(const std::string& method, const std::string& path, const httplib::Headers& headers = {},
                         const std::string& body = {}) {
        httplib::Request request;
        request.method = method;
        request.path = path;
        request.headers = headers;
        request.body = body;
        return Client().send(request);
    }

    httplib::Result Put(const std::string& name, const std::string& body, const httplib::Headers& headers = {}) {
        return Client().Put((kStorage + "/" + name).c_str(), headers, body, "application/octet-stream");
    }

    std::string Log() {
        std::lock_guard lock(logMutex_);
        return log_;
    }

    VeskTest::TempFolder temp_;
    fs::path root_;
    fs::path workspace_;
    std::unique_ptr<VeskServer::WorkspaceServer> server_;
    int port_ = 0;
    std::mutex logMutex_;
    std::string log_;  // guarded by logMutex_
};

void ExpectJsonError(const httplib::Result& result, int status) {
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, status);
    EXPECT_EQ(result->get_header_value("Content-Type"), "application/json");
    rapidjson::Document body;
    body.Parse(result->body.c_str());
    ASSERT_TRUE(body.IsObject()) << result->body;
    EXPECT_TRUE(body.HasMember("error") && body["error"].IsString()) << result->body;
}

TEST_F(ServerTest, ListsWorkspacesWithNamesFromTheirDatabaseAndAnswersTheHealthCheck) {
    MakeWorkspaceDatabase(workspace_ / "Team.veskdb", "Team plan", "Shared \"plans\"");
    fs::create_directories(root_ / kOtherUuid);
    fs::create_directories(root_ / "not-a-workspace");
    Start();
    auto client = Client();

    const auto listing = client.Get("/ws");
    ASSERT_TRUE(listing);
    ASSERT_EQ(listing->status, 200);
    EXPECT_EQ(listing->get_header_value("Content-Type"), "application/json");
    rapidjson::Document json;
    json.Parse(listing->body.c_str());
    ASSERT_TRUE(json.IsArray()) << listing->body;
    ASSERT_EQ(json.Size(), 2u);
    EXPECT_STREQ(json[0]["uuid"].GetString(), kUuid);
    EXPECT_STREQ(json[0]["name"].GetString(), "Team plan");
    EXPECT_STREQ(json[0]["description"].GetString(), "Shared \"plans\"");
    ASSERT_EQ(json[0]["services"].Size(), 1u);
    EXPECT_STREQ(json[0]["services"][0]["name"].GetString(), "storage");
    // Without a database the UUID names the workspace.
    EXPECT_STREQ(json[1]["uuid"].GetString(), kOtherUuid);
    EXPECT_STREQ(json[1]["name"].GetString(), kOtherUuid);
    EXPECT_STREQ(json[1]["description"].GetString(), "");
    EXPECT_STREQ(json[1]["services"][0]["uuid"].GetString(), json[0]["services"][0]["uuid"].GetString());

    const auto one = client.Get((std::string("/ws/") + kUuid).c_str());
    ASSERT_TRUE(one);
    rapidjson::Document single;
    single.Parse(one->body.c_str());
    ASSERT_TRUE(single.IsObject());
    EXPECT_STREQ(single["name"].GetString(), "Team plan");
    ExpectJsonError(client.Get("/ws/11111111-2222-4333-8444-555555555555"), 404);

    const auto health = client.Get("/healthcheck");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
    EXPECT_EQ(health->body, "{\"status\":\"ok\"}");
}

TEST_F(ServerTest, PrefixMovesEveryPathAndHrefsFollowIt) {
    VeskServer::ServerOptions options;
    options.prefix = "/api";
    Start(options);
    auto client = Client();
    EXPECT_EQ(client.Get("/api/healthcheck")->status, 200);
    EXPECT_EQ(client.Get("/api/ws")->status, 200);
    EXPECT_EQ(client.Get("/healthcheck")->status, 404);
    EXPECT_EQ(client.Get("/ws")->status, 404);
    const auto propfind = Send("PROPFIND", "/api" + kStorage + "/", {{"Depth", "0"}});
    ASSERT_TRUE(propfind);
    EXPECT_NE(propfind->body.find("<D:href>/api" + kStorage + "/</D:href>"), std::string::npos) << propfind->body;
}

TEST_F(ServerTest, GetAndHeadCarryTheContentHashDigestAndTime) {
    std::string content(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>((i * 7919) >> 5);
    }
    WriteFile(workspace_ / "big.bin", content);
    const auto modified = fs::last_write_time(workspace_ / "big.bin");
    const std::time_t seconds = std::chrono::system_clock::to_time_t(
        std::chrono::file_clock::to_sys(std::chrono::time_point_cast<std::chrono::system_clock::duration>(modified)));
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char expectedDate[64];
    std::strftime(expectedDate, sizeof expectedDate, "%a, %d %b %Y %H:%M:%S GMT", &utc);
    Start();
    auto client = Client();

    for (const bool head : {false, true}) {
        SCOPED_TRACE(head ? "HEAD" : "GET");
        const auto result =
            head ? client.Head((kStorage + "/big.bin").c_str()) : client.Get((kStorage + "/big.bin").c_str());
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 200);
        EXPECT_EQ(result->get_header_value("ETag"), "\"" + Sha256Hex(content) + "\"");
        EXPECT_EQ(result->get_header_value("Repr-Digest"), ReprDigest(content));
        EXPECT_EQ(result->get_header_value("Last-Modified"), expectedDate);
        EXPECT_EQ(result->get_header_value("Content-Length"), std::to_string(content.size()));
        EXPECT_EQ(result->get_header_value("Content-Type"), "application/octet-stream");
        EXPECT_EQ(result->body, head ? std::string() : content);
    }
    const auto range = client.Get((kStorage + "/big.bin").c_str(), {{"Range", "bytes=100-199"}});
    ASSERT_TRUE(range);
    EXPECT_EQ(range->status, 206);
    EXPECT_EQ(range->body, content.substr(100, 100));
    EXPECT_EQ(range->get_header_value("ETag"), "\"" + Sha256Hex(content) + "\"");
    // A file replaced behind the server's back gets its new hash, not the remembered one.
    WriteFile(workspace_ / "big.bin", "changed");
    EXPECT_EQ(client.Head((kStorage + "/big.bin").c_str())->get_header_value("ETag"),
              "\"" + Sha256Hex("changed") + "\"");
    ExpectJsonError(client.Get((kStorage + "/missing.bin").c_str()), 404);
    fs::create_directories(workspace_ / "folder");
    ExpectJsonError(client.Get((kStorage + "/folder").c_str()), 405);
}

TEST_F(ServerTest, ConditionalPutsReplaceOnlyTheVersionTheClientSaw) {
    Start();
    const auto created = Put("w.veskdb", "one", {{"If-None-Match", "*"}});
    ASSERT_TRUE(created);
    EXPECT_EQ(created->status, 201);
    EXPECT_EQ(created->get_header_value("ETag"), "\"" + Sha256Hex("one") + "\"");
    EXPECT_EQ(Put("w.veskdb", "again", {{"If-None-Match", "*"}})->status, 412);

    const auto replaced = Put("w.veskdb", "two", {{"If-Match", "\"" + Sha256Hex("one") + "\""}});
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced->status, 204);
    EXPECT_EQ(replaced->get_header_value("ETag"), "\"" + Sha256Hex("two") + "\"");
    EXPECT_EQ(ReadFile(workspace_ / "w.veskdb"), "two");

    ExpectJsonError(Put("w.veskdb", "stale", {{"If-Match", "\"" + Sha256Hex("one") + "\""}}), 412);
    EXPECT_EQ(Put("absent.veskdb", "x", {{"If-Match", "\"" + Sha256Hex("x") + "\""}})->status, 412);
    EXPECT_FALSE(fs::exists(workspace_ / "absent.veskdb"));

    ExpectJsonError(Put("w.veskdb", "three", {{"Repr-Digest", ReprDigest("not three")}}), 400);
    ExpectJsonError(Put("w.veskdb", "three", {{"Repr-Digest", "sha-256=:dGhyZWU=:"}}), 400);
    EXPECT_EQ(Put("w.veskdb", "three", {{"Content-Digest", ReprDigest("three")}})->status, 204);
    EXPECT_EQ(ReadFile(workspace_ / "w.veskdb"), "three");

    ExpectJsonError(Put("no/parent.txt", "x"), 409);
    fs::create_directories(workspace_ / "folder");
    ExpectJsonError(Put("folder", "x"), 405);
    EXPECT_EQ(TemporaryFiles(root_), 0);

    // The first upload into a workspace that has no folder yet shares it.
    const auto shared = Client().Put((std::string("/ws/") + kOtherUuid + "/services/storage/new.veskdb").c_str(),
                                     "fresh", "application/octet-stream");
    EXPECT_EQ(shared->status, 201);
    EXPECT_EQ(ReadFile(root_ / kOtherUuid / "new.veskdb"), "fresh");
}

TEST_F(ServerTest, OfTwoConcurrentPutsOnTheSameBaseExactlyOneWins) {
    Start();
    for (int round = 0; round < 50; ++round) {
        const std::string base = "base " + std::to_string(round);
        ASSERT_EQ(Put("race.veskdb", base)->status, round == 0 ? 201 : 204);
        const std::string first(64 * 1024 + round, 'a');
        const std::string second(64 * 1024 + round, 'b');
        const httplib::Headers condition{{"If-Match", "\"" + Sha256Hex(base) + "\""}};
        int statuses[2] = {0, 0};
        std::thread other([&] {
            const auto result = Put("race.veskdb", second, condition);
            statuses[1] = result ? result->status : -1;
        });
        const auto result = Put("race.veskdb", first, condition);
        statuses[0] = result ? result->status : -1;
        other.join();
        ASSERT_TRUE((statuses[0] == 204 && statuses[1] == 412) || (statuses[0] == 412 && statuses[1] == 204))
            << "round " << round << ": " << statuses[0] << ", " << statuses[1];
        EXPECT_EQ(ReadFile(workspace_ / "race.veskdb"), statuses[0] == 204 ? first : second);
    }
    EXPECT_EQ(TemporaryFiles(root_), 0);
}

TEST_F(ServerTest, ApiKeyIsRequiredExceptForTheHealthCheckAndNeverLogged) {
    VeskServer::ServerOptions options;
    options.apiKey = "s3cret-key-0123";
    Start(options);
    ExpectJsonError(Client().Get("/ws"), 401);
    ExpectJsonError(Client({{"x-api-key", "s3cret-key-0124"}}).Get("/ws"), 401);
    ExpectJsonError(Client({{"x-api-key", "s3cret"}}).Get("/ws"), 401);
    ExpectJsonError(Put("f.txt", "x", {{"x-api-key", "wrong"}}), 401);
    EXPECT_FALSE(fs::exists(workspace_ / "f.txt"));
    EXPECT_EQ(Client().Get("/healthcheck")->status, 200);
    auto client = Client({{"x-api-key", "s3cret-key-0123"}});
    EXPECT_EQ(client.Get("/ws")->status, 200);
    EXPECT_EQ(client.Put((kStorage + "/f.txt").c_str(), "x", "application/octet-stream")->status, 201);

    server_.reset();  // each line is written once its answer is out
    const std::string log = Log();
    EXPECT_NE(log.find("127.0.0.1:"), std::string::npos);
    EXPECT_NE(log.find(" GET /ws 401 "), std::string::npos) << log;
    EXPECT_NE(log.find(" PUT " + kStorage + "/f.txt 201 "), std::string::npos) << log;
    EXPECT_EQ(log.find("s3cret"), std::string::npos) << log;
}

TEST_F(ServerTest, PathsThatCouldLeaveTheWorkspaceAreRefusedWithoutHarm) {
    fs::create_directories(root_ / kOtherUuid);
    WriteFile(root_ / kOtherUuid / "theirs.txt", "theirs");
    fs::create_symlink(root_ / "secret.txt", workspace_ / "link.txt");
    fs::create_directory_symlink(root_ / kOtherUuid, workspace_ / "linked");
    Start();
    const std::string other = std::string("..%2F") + kOtherUuid + "%2Ftheirs.txt";
    for (const std::string& path :
         {std::string("../secret.txt"), std::string("%2e%2e/secret.txt"), std::string("%2E%2E%2Fsecret.txt"), other,
          std::string("a%2F..%2F..%2Fsecret.txt"), std::string("/etc/passwd"), std::string("..%5Csecret.txt"),
          std::string("a\\..\\secret.txt"), std::string("x%00.txt"), std::string("./x"),
          std::string(".vesk-upload-abc"), std::string("%zz")}) {
        SCOPED_TRACE(path);
        const auto get = Client().Get((kStorage + "/" + path).c_str());
        ASSERT_TRUE(get);
        EXPECT_EQ(get->status, 400);
        EXPECT_EQ(Put(path, "overwritten")->status, 400);
        EXPECT_EQ(Send("DELETE", kStorage + "/" + path)->status, 400);
    }
    for (const std::string& path : {std::string("link.txt"), std::string("linked/theirs.txt")}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Client().Get((kStorage + "/" + path).c_str())->status, 403);
        EXPECT_EQ(Put(path, "overwritten")->status, 403);
        EXPECT_EQ(Send("DELETE", kStorage + "/" + path)->status, 403);
    }
    EXPECT_EQ(ReadFile(root_ / "secret.txt"), "outside");
    EXPECT_EQ(ReadFile(root_ / kOtherUuid / "theirs.txt"), "theirs");
    EXPECT_TRUE(fs::is_symlink(workspace_ / "link.txt"));
    EXPECT_EQ(TemporaryFiles(root_), 0);
}

TEST_F(ServerTest, OversizedAndCutUploadsLeaveTheStoredFileAndNoTemporaryFile) {
    VeskServer::ServerOptions options;
    options.maxUploadBytes = 64 * 1024;
    options.timeoutSeconds = 1;
    Start(options);
    ASSERT_EQ(Put("kept.veskdb", "kept")->status, 201);

    ExpectJsonError(Put("kept.veskdb", std::string(200 * 1024, 'x')), 413);
    // Without a length up front the limit is found while receiving.
    const auto chunked = Client().Put((kStorage + "/kept.veskdb").c_str(),
                                      [](std::size_t offset, httplib::DataSink& sink) {
                                          const std::string block(16 * 1024, 'y');
                                          if (offset >= 256 * 1024) {
                                              sink.done();
                                              return true;
                                          }
                                          return sink.write(block.data(), block.size());
                                      },
                                      "application/octet-stream");
    EXPECT_TRUE(!chunked || chunked->status == 413);

    // A client that stops sending mid-body is cut off after the time-out.
    const auto slow = Client().Put((kStorage + "/kept.veskdb").c_str(), 8192,
                                   [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                       if (offset > 0) {
                                           std::this_thread::sleep_for(std::chrono::milliseconds(2500));
                                       }
                                       const std::string block(1024, 'z');
                                       return sink.write(block.data(), block.size());
                                   },
                                   "application/octet-stream");
    EXPECT_TRUE(!slow || slow->status >= 400);

    EXPECT_EQ(ReadFile(workspace_ / "kept.veskdb"), "kept");
    EXPECT_EQ(TemporaryFiles(root_), 0);
    EXPECT_EQ(Client().Get("/healthcheck")->status, 200);
}

TEST_F(ServerTest, PropfindListsMembersWithEncodedHrefsAndHashes) {
    fs::create_directories(workspace_ / "sub folder");
    WriteFile(workspace_ / "a b\xe2\x82\xac.txt", "euro");
    WriteFile(workspace_ / ".vesk-upload-left", "partial");
    Start();
    const auto result = Send("PROPFIND", kStorage + "/", {{"Depth", "1"}});
    ASSERT_TRUE(result);
    ASSERT_EQ(result->status, 207);
    EXPECT_EQ(result->get_header_value("Content-Type"), "application/xml; charset=utf-8");
    pugi::xml_document xml;
    ASSERT_TRUE(xml.load_string(result->body.c_str())) << result->body;
    std::map<std::string, pugi::xml_node> byHref;
    for (const auto& response : xml.child("D:multistatus").children("D:response")) {
        byHref[response.child_value("D:href")] = response.child("D:propstat");
    }
    ASSERT_EQ(byHref.size(), 3u) << result->body;
    ASSERT_TRUE(byHref.count(kStorage + "/"));
    ASSERT_TRUE(byHref.count(kStorage + "/sub%20folder/"));
    const auto file = byHref[kStorage + "/a%20b%E2%82%AC.txt"];
    ASSERT_TRUE(file) << result->body;
    EXPECT_STREQ(file.child_value("D:status"), "HTTP/1.1 200 OK");
    EXPECT_EQ(std::string(file.child("D:prop").child_value("D:getetag")), "\"" + Sha256Hex("euro") + "\"");
    EXPECT_STREQ(file.child("D:prop").child_value("D:getcontentlength"), "4");
    EXPECT_STREQ(file.child("D:prop").child_value("D:displayname"), "a b\xe2\x82\xac.txt");
    EXPECT_TRUE(byHref[kStorage + "/sub%20folder/"].child("D:prop").child("D:resourcetype").child("D:collection"));

    const auto depthZero = Send("PROPFIND", kStorage + "/sub%20folder", {{"Depth", "0"}});
    EXPECT_EQ(depthZero->status, 207);
    EXPECT_EQ(depthZero->body.find("a%20b"), std::string::npos);
    ExpectJsonError(Send("PROPFIND", kStorage + "/", {{"Depth", "infinity"}}), 403);
    ExpectJsonError(Send("PROPFIND", kStorage + "/"), 403);
    ExpectJsonError(Send("PROPFIND", kStorage + "/missing", {{"Depth", "0"}}), 404);
}

TEST_F(ServerTest, MkcolDeleteAndOptionsFollowWebDav) {
    Start();
    EXPECT_EQ(Send("MKCOL", kStorage + "/a/")->status, 201);
    EXPECT_TRUE(fs::is_directory(workspace_ / "a"));
    ExpectJsonError(Send("MKCOL", kStorage + "/a/"), 405);
    ExpectJsonError(Send("MKCOL", kStorage + "/x/y/"), 409);
    ExpectJsonError(Send("MKCOL", kStorage + "/b/", {{"Content-Type", "text/plain"}}, "body"), 415);
    EXPECT_FALSE(fs::exists(workspace_ / "b"));

    ASSERT_EQ(Put("a/inner.txt", "in")->status, 201);
    EXPECT_EQ(Send("DELETE", kStorage + "/a/")->status, 204);
    EXPECT_FALSE(fs::exists(workspace_ / "a"));
    ExpectJsonError(Send("DELETE", kStorage + "/a/"), 404);
    ExpectJsonError(Send("DELETE", kStorage + "/"), 403);
    EXPECT_TRUE(fs::is_directory(workspace_));

    const auto options = Send("OPTIONS", kStorage + "/");
    EXPECT_EQ(options->status, 200);
    EXPECT_EQ(options->get_header_value("DAV"), "1");
    EXPECT_EQ(options->get_header_value("Allow"), "OPTIONS, GET, HEAD, PUT, DELETE, MKCOL, PROPFIND");
    EXPECT_EQ(Send("MOVE", kStorage + "/x")->status, 405);
}

TEST_F(ServerTest, ServesHttpsWithAGivenCertificate) {
    const std::string cert = temp_.File("cert.pem");
    const std::string key = temp_.File("key.pem");
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 "
        "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
        key + " -out " + cert + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    VeskServer::ServerOptions options;
    options.tlsCertificate = cert;
    options.tlsKey = key;
    Start(options);
    httplib::SSLClient client("127.0.0.1", port_);
    client.set_ca_cert_path(cert.c_str());
    client.enable_server_certificate_verification(true);
    const auto health = client.Get("/healthcheck");
    ASSERT_TRUE(health) << httplib::to_string(health.error());
    EXPECT_EQ(health->status, 200);
    EXPECT_EQ(client.Put((kStorage + "/tls.txt").c_str(), "secure", "application/octet-stream")->status, 201);
    EXPECT_EQ(ReadFile(workspace_ / "tls.txt"), "secure");

    VeskServer::ServerOptions broken;
    broken.tlsCertificate = temp_.File("missing.pem");
    broken.tlsKey = key;
    EXPECT_THROW(VeskServer::WorkspaceServer(VeskServer::MakeFolderStore(root_.string()), broken), std::runtime_error);
}

// The executable: options from the command line, the port file, the key file, one log line per request
// without the key, and a clean stop on SIGTERM.
TEST(ServerProcess, StartsFromTheCommandLineAndStopsOnSigterm) {
    std::signal(SIGPIPE, SIG_IGN);
    VeskTest::TempFolder temp;
    fs::create_directories(temp.Path() / "root" / kUuid);
    WriteFile(temp.Path() / "key.txt", "process-key-42\n");
    const std::string run = std::string("'") + VESK_SERVER_BINARY + "' --root '" + temp.File("root") +
                            "' --port 0 --prefix /api --api-key-file '" + temp.File("key.txt") + "' --port-file '" +
                            temp.File("port") + "' 2>'" + temp.File("log") + "' & echo $! >'" + temp.File("pid") + "'";
    ASSERT_EQ(std::system(run.c_str()), 0);
    for (int i = 0; i < 200 && !fs::exists(temp.Path() / "port"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    const std::string pid = ReadFile(temp.Path() / "pid");
    const int port = std::atoi(ReadFile(temp.Path() / "port").c_str());
    ASSERT_GT(port, 0) << ReadFile(temp.Path() / "log");

    httplib::Client client("127.0.0.1", port);
    const auto health = client.Get("/api/healthcheck");
    EXPECT_TRUE(health && health->status == 200);
    const auto refused = client.Get("/api/ws");
    EXPECT_TRUE(refused && refused->status == 401);
    client.set_default_headers({{"x-api-key", "process-key-42"}});
    const auto listing = client.Get("/api/ws");
    ASSERT_TRUE(listing);
    EXPECT_EQ(listing->status, 200);
    EXPECT_NE(listing->body.find(kUuid), std::string::npos);

    ASSERT_EQ(std::system(("kill -TERM " + pid).c_str()), 0);
    bool stopped = false;
    for (int i = 0; i < 200 && !stopped; ++i) {
        stopped = ReadFile(temp.Path() / "log").find("vesk-server: stopped") != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    const std::string log = ReadFile(temp.Path() / "log");
    EXPECT_TRUE(stopped) << log;
    EXPECT_NE(log.find(" GET /api/ws 401 "), std::string::npos) << log;
    EXPECT_NE(log.find(" GET /api/ws 200 "), std::string::npos) << log;
    EXPECT_EQ(log.find("process-key-42"), std::string::npos) << log;
    if (!stopped) {
        std::system(("kill -KILL " + pid + " 2>/dev/null").c_str());
    }
}

}  // namespace
