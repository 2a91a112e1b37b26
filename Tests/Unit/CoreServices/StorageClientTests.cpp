// The storage and direct-database-access clients against a canned loopback server: what they send,
// how they read good answers, and how they refuse bad ones.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "Core/DataObjects.h"
#include "Core/ErrorCode.h"
#include "Core/Guard.h"
#include "HttpTestServer.h"
#include "Platform/DeserializedFile.h"
#include "Platform/FileMetadata.h"
#include "Support/Hex.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/VeskCore.h"

namespace {

using Platform::Interfaces::IFileMetadata;
using Vesk::Interfaces::IDeserializedFile;
using Vesk::Interfaces::IStorageServices;

constexpr const char* kKey = "s3cret-key-value";
constexpr const char* kRoot = "/ws/0f8fad5b-d9cb-469f-a165-70867728950e/services/storage";
constexpr const char* kDate = "Sun, 06 Nov 1994 08:49:37 GMT";

// Digests computed by OpenSSL directly, apart from the library's own hashing seam.
std::string Sha256Hex(const std::string& bytes) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    return VeskTest::HexOf(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

std::string ReprDigestOf(const std::string& bytes) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    unsigned char encoded[64] = {};
    EVP_EncodeBlock(encoded, digest, sizeof digest);
    return "sha-256=:" + std::string(reinterpret_cast<const char*>(encoded)) + ":";
}

// A raw answer; contentLength overrides the body's length (HEAD answers, cut bodies).
std::string Answer(int status, const std::vector<std::string>& headers, const std::string& body = {},
                   long long contentLength = -1) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " Canned\r\n";
    for (const std::string& header : headers) {
        text += header + "\r\n";
    }
    text += "Content-Length: " + std::to_string(contentLength >= 0 ? contentLength : (long long)body.size()) + "\r\n";
    return text + "Connection: close\r\n\r\n" + body;
}

std::string FileAnswer(const std::string& body, const std::string& tag) {
    return Answer(200, {"ETag: " + tag, "Last-Modified: " + std::string(kDate)}, body);
}

std::string HeadAnswer(const std::string& body) {
    return Answer(200, {"ETag: \"" + Sha256Hex(body) + "\"", "Last-Modified: " + std::string(kDate)}, {},
                  (long long)body.size());
}

std::string JsonError(int status, const std::string& text) {
    return Answer(status, {"Content-Type: application/json"}, "{\"error\":\"" + text + "\"}");
}

// One request as the server read it; header names in lower case.
struct Seen {
    std::string method, path, body;
    std::map<std::string, std::string> headers;
    bool Has(const std::string& name) const { return headers.count(name) != 0; }
    std::string Header(const std::string& name) const { return Has(name) ? headers.at(name) : "<absent>"; }
};

Seen Parse(const std::string& raw) {
    Seen seen;
    const size_t headEnd = raw.find("\r\n\r\n");
    const std::string head = raw.substr(0, headEnd);
    seen.body = headEnd == std::string::npos ? "" : raw.substr(headEnd + 4);
    size_t lineEnd = head.find("\r\n");
    const std::string first = head.substr(0, lineEnd);
    seen.method = first.substr(0, first.find(' '));
    seen.path = first.substr(first.find(' ') + 1, first.rfind(' ') - first.find(' ') - 1);
    while (lineEnd != std::string::npos) {
        const size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        const size_t colon = line.find(':');
        std::string name = line.substr(0, colon);
        for (char& c : name) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        seen.headers[name] = line.substr(line.find_first_not_of(' ', colon + 1));
    }
    return seen;
}

// Answers "METHOD path" with what a test set, everything else with 404 and a JSON error.
class CannedServer {
public:
    CannedServer()
        : server_([this](const VeskTest::RawTestServer::Connection& connection, const std::string& raw) {
              const Seen seen = Parse(raw);
              std::string answer = JsonError(404, "no such thing");
              {
                  std::lock_guard<std::mutex> lock(mutex_);
                  auto it = answers_.find(seen.method + " " + seen.path);
                  if (it != answers_.end()) {
                      answer = it->second;
                  }
              }
              connection.Write(answer);
          }) {}

    void On(const std::string& method, const std::string& path, std::string answer) {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_[method + " " + path] = std::move(answer);
    }
    std::vector<Seen> Requests() const {
        std::vector<Seen> parsed;
        for (const std::string& raw : server_.Received()) {
            parsed.push_back(Parse(raw));
        }
        return parsed;
    }
    Seen Last() const {
        std::vector<Seen> all = Requests();
        return all.empty() ? Seen{} : all.back();
    }
    std::string Url(const std::string& path = kRoot) const { return server_.BaseUrl() + path; }

private:
    std::mutex mutex_;  // guards answers_
    std::map<std::string, std::string> answers_;
    VeskTest::RawTestServer server_;  // last, so that it stops before the answers go
};

// What a call of the error-code form gave: its result, the error's code and message.
struct Outcome {
    bool ok = false;
    int32_t code = 0;
    std::string message;
};

template <class Body>
Outcome Call(Body&& call) {
    Core::ErrorCode error;
    Outcome outcome;
    outcome.ok = call(error.Receive());
    outcome.code = error.Code();
    outcome.message = std::string(error.Message());
    return outcome;
}

class StorageClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto url = Data::NewString(server_.Url());
        ASSERT_TRUE(VeskCore_CreateHttpStorageClientInstance(url.GetUnchecked(), storage_.Receive(), nullptr));
    }
    void SetKey(const char* key) {
        Core::Ptr<Data::Interfaces::ISecureString> secure;
        if (key != nullptr) {
            secure = Data::NewSecureString(key);
        }
        ASSERT_TRUE(storage_->SetApiKey(secure.GetUnchecked(), nullptr));
    }
    static std::string At(const std::string& encodedName) { return std::string(kRoot) + "/" + encodedName; }

    // A file as the workspace services build one for an upload: local metadata without a hash.
    static Core::Ptr<IDeserializedFile> NewFile(const std::string& name, const std::string& bytes,
                                                const std::string& expected = {}) {
        auto metadata = Core::MakeObject<Platform::IO::impl::FileMetadataImpl>(name, "/local/" + name, "", bytes.size(),
                                                                               Data::NewCurrentDateTime());
        return Core::MakeObject<Platform::IO::DeserializedFile>(
            std::move(metadata), Data::NewByteArray(bytes.data(), bytes.size()), expected);
    }

    Outcome Upload(const std::string& name, const std::string& bytes, int32_t mode, const std::string& expected = {}) {
        auto file = NewFile(name, bytes, expected);
        return Call([&](Core::IErrorCode** e) { return storage_->UploadFile(file.GetUnchecked(), mode, e); });
    }

    CannedServer server_;
    Core::Ptr<IStorageServices> storage_;
};

Core::Ptr<Data::Interfaces::IObjectList> NamesList(const std::vector<std::string>& names) {
    Core::Ptr<Data::Interfaces::IObjectList> list;
    EXPECT_TRUE(Data_CreateObjectList(list.Receive()));
    for (const std::string& name : names) {
        EXPECT_TRUE(list->Append(Data::NewString(name).GetUnchecked(), nullptr));
    }
    return list;
}

template <class T>
Core::Ptr<T> Item(Data::Interfaces::IObjectList* list, uint64_t index) {
    Core::Ptr<Core::IObject> item;
    EXPECT_TRUE(list->Get(index, item.Receive(), nullptr));
    return item.Cast<T>();
}

TEST_F(StorageClientTest, MetadataComesFromTheHeadAnswer) {
    const std::string body = "workspace bytes";
    const std::string upper = Sha256Hex(body);
    std::string shouted = upper;
    for (char& c : shouted) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    server_.On("HEAD", At("Main%20Work.veskdb"),
               Answer(200, {"ETag: W/\"" + shouted + "\"", "Last-Modified: " + std::string(kDate)}, {}, 4242));
    server_.On("HEAD", At("other.txt"), HeadAnswer("x"));

    auto names = NamesList({"Main Work.veskdb", "gone.txt", "other.txt"});
    Core::Ptr<Data::Interfaces::IObjectList> found;
    ASSERT_TRUE(storage_->GetFilesMetadata(names.GetUnchecked(), found.Receive(), nullptr));
    ASSERT_EQ(found->GetCount(), 2u);
    auto first = Item<IFileMetadata>(found.GetUnchecked(), 0);
    EXPECT_STREQ(first->GetName(), "Main Work.veskdb");
    EXPECT_STREQ(first->GetPath(), "Main Work.veskdb");
    EXPECT_EQ(first->GetSha2(), upper);
    EXPECT_EQ(first->GetSize(), 4242u);
    Core::Ptr<Data::Interfaces::IDateTime> time, expected;
    ASSERT_TRUE(first->GetTimeModified(time.Receive()));
    ASSERT_TRUE(Data_CreateDateTimeFromIso8601("1994-11-06T08:49:37Z", expected.Receive(), nullptr));
    EXPECT_EQ(time->Compare(expected.GetUnchecked()), 0) << time->GetText();
    EXPECT_STREQ(Item<IFileMetadata>(found.GetUnchecked(), 1)->GetName(), "other.txt");
    EXPECT_EQ(server_.Requests().size(), 3u);

    Core::Ptr<IFileMetadata> single;
    const Outcome missing =
        Call([&](Core::IErrorCode** e) { return storage_->GetFileMetadata("gone.txt", single.Receive(), e); });
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.message.find("'gone.txt'"), std::string::npos) << missing.message;
    EXPECT_NE(missing.message.find("does not exist"), std::string::npos) << missing.message;
    EXPECT_FALSE(single);
}

TEST_F(StorageClientTest, MetadataWithoutAUsableTagOrDateIsRefused) {
    const std::string sha = Sha256Hex("x");
    const std::map<std::string, std::vector<std::string>> cases = {
        {"no-tag", {"Last-Modified: " + std::string(kDate)}},
        {"md5-tag", {"ETag: \"d41d8cd98f00b204e9800998ecf8427e\"", "Last-Modified: " + std::string(kDate)}},
        {"unquoted", {"ETag: " + sha, "Last-Modified: " + std::string(kDate)}},
        {"bad-date", {"ETag: \"" + sha + "\"", "Last-Modified: 1994-11-06T08:49:37Z"}},
        {"no-date", {"ETag: \"" + sha + "\""}},
    };
    for (const auto& [name, headers] : cases) {
        server_.On("HEAD", At(name), Answer(200, headers, {}, 1));
        Core::Ptr<IFileMetadata> metadata;
        const Outcome outcome =
            Call([&](Core::IErrorCode** e) { return storage_->GetFileMetadata(name.c_str(), metadata.Receive(), e); });
        EXPECT_FALSE(outcome.ok) << name;
        EXPECT_NE(outcome.message.find("HEAD '" + name + "'"), std::string::npos) << outcome.message;
    }
}

TEST_F(StorageClientTest, DownloadsAreCheckedAgainstTheirTag) {
    const std::string body("binary\0bytes\xff", 13);
    server_.On("GET", At("good.veskdb"), FileAnswer(body, "\"" + Sha256Hex(body) + "\""));
    server_.On("GET", At("changed.veskdb"), FileAnswer(body, "\"" + Sha256Hex(body + "!") + "\""));
    server_.On("GET", At("untagged.veskdb"), Answer(200, {"Last-Modified: " + std::string(kDate)}, body));
    // Whole in its own right, but shorter than announced.
    server_.On("GET", At("cut.veskdb"),
               Answer(200, {"ETag: \"" + Sha256Hex(body) + "\"", "Last-Modified: " + std::string(kDate)}, body, 100));

    Core::Ptr<IDeserializedFile> file;
    ASSERT_TRUE(storage_->DownloadFile("good.veskdb", file.Receive(), nullptr));
    Core::Ptr<Data::Interfaces::IArray> content;
    Core::Ptr<IFileMetadata> metadata;
    ASSERT_TRUE(file->GetContent(content.Receive(), nullptr));
    ASSERT_TRUE(file->GetMetadata(metadata.Receive(), nullptr));
    EXPECT_EQ(content->GetElementSize(), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(content->GetData()), content->GetByteSize()), body);
    EXPECT_EQ(metadata->GetSha2(), Sha256Hex(body));
    EXPECT_EQ(metadata->GetSize(), body.size());

    const std::map<std::string, std::string> refusals = {{"changed.veskdb", "the downloaded bytes have the SHA-256"},
                                                         {"untagged.veskdb", "no ETag"},
                                                         {"cut.veskdb", "failed: "},
                                                         {"missing.veskdb", "does not exist"}};
    for (const auto& [name, reason] : refusals) {
        Core::Ptr<IDeserializedFile> refused;
        const Outcome outcome =
            Call([&](Core::IErrorCode** e) { return storage_->DownloadFile(name.c_str(), refused.Receive(), e); });
        EXPECT_FALSE(outcome.ok) << name;
        EXPECT_EQ(outcome.message.rfind("GET '" + name + "'", 0), 0u) << outcome.message;
        EXPECT_NE(outcome.message.find(reason), std::string::npos) << outcome.message;
        EXPECT_FALSE(refused);
    }

    // The list form leaves missing files out but refuses a changed one.
    Core::Ptr<Data::Interfaces::IObjectList> files;
    auto names = NamesList({"missing.veskdb", "good.veskdb"});
    ASSERT_TRUE(storage_->DownloadFiles(names.GetUnchecked(), files.Receive(), nullptr));
    ASSERT_EQ(files->GetCount(), 1u);
    files.Reset();
    auto withChanged = NamesList({"good.veskdb", "changed.veskdb"});
    EXPECT_FALSE(storage_->DownloadFiles(withChanged.GetUnchecked(), files.Receive(), nullptr));
    EXPECT_FALSE(files);
}

TEST_F(StorageClientTest, UploadsCarryTheirDigestAndPrecondition) {
    const std::string bytes = "new workspace content";
    const std::string expected = Sha256Hex("old content");
    server_.On("PUT", At("a%20b.veskdb"), Answer(204, {"ETag: \"" + Sha256Hex(bytes) + "\""}));

    ASSERT_TRUE(Upload("a b.veskdb", bytes, Vesk::Interfaces::StorageReplace, expected).ok);
    Seen put = server_.Last();
    EXPECT_EQ(put.method, "PUT");
    EXPECT_EQ(put.body, bytes);
    EXPECT_EQ(put.Header("repr-digest"), ReprDigestOf(bytes));
    EXPECT_EQ(put.Header("if-match"), "\"" + expected + "\"");
    EXPECT_FALSE(put.Has("if-none-match"));

    ASSERT_TRUE(Upload("a b.veskdb", bytes, Vesk::Interfaces::StorageCreateOnly).ok);
    put = server_.Last();
    EXPECT_EQ(put.Header("if-none-match"), "*");
    EXPECT_FALSE(put.Has("if-match"));

    ASSERT_TRUE(Upload("a b.veskdb", bytes, Vesk::Interfaces::StorageReplace).ok);
    put = server_.Last();
    EXPECT_FALSE(put.Has("if-match") || put.Has("if-none-match"));

    // Refused before anything is sent.
    const size_t sent = server_.Requests().size();
    EXPECT_FALSE(Upload("a b.veskdb", bytes, Vesk::Interfaces::StorageReplace, "not-a-hash").ok);
    EXPECT_FALSE(Upload("a b.veskdb", bytes, 7).ok);
    EXPECT_EQ(server_.Requests().size(), sent);

    // A server that stored other bytes than those sent.
    server_.On("PUT", At("odd"), Answer(201, {"ETag: \"" + Sha256Hex("other") + "\""}));
    EXPECT_FALSE(Upload("odd", bytes, Vesk::Interfaces::StorageReplace).ok);
}

TEST_F(StorageClientTest, RefusalsNameTheRequestAndALostRaceHasItsOwnCode) {
    SetKey(kKey);
    server_.On("PUT", At("race.veskdb"), JsonError(412, "precondition failed"));
    server_.On("PUT", At("locked.veskdb"), JsonError(401, "missing or wrong API key"));
    server_.On("PUT", At("huge.veskdb"), Answer(413, {}, "too large, plain text"));

    const Outcome race = Upload("race.veskdb", "bytes", Vesk::Interfaces::StorageReplace, Sha256Hex("old"));
    EXPECT_FALSE(race.ok);
    EXPECT_EQ(race.code, 412);
    EXPECT_EQ(race.message.rfind("Precondition failed:", 0), 0u) << race.message;
    EXPECT_NE(race.message.find("race.veskdb"), std::string::npos);
    const Outcome exists = Upload("race.veskdb", "bytes", Vesk::Interfaces::StorageCreateOnly);
    EXPECT_EQ(exists.code, 412);
    EXPECT_EQ(exists.message.rfind("Precondition failed:", 0), 0u) << exists.message;

    const Outcome locked = Upload("locked.veskdb", "bytes", Vesk::Interfaces::StorageReplace);
    EXPECT_EQ(locked.code, Core::kErrorCodeException);
    EXPECT_EQ(locked.message, "PUT 'locked.veskdb' failed with status 401: missing or wrong API key");
    EXPECT_EQ(locked.message.find(kKey), std::string::npos);
    const Outcome huge = Upload("huge.veskdb", "bytes", Vesk::Interfaces::StorageReplace);
    EXPECT_EQ(huge.message, "PUT 'huge.veskdb' failed with status 413: too large, plain text");

    // The list form hands on the code of the file that failed, after storing the ones before it.
    server_.On("PUT", At("fine"), Answer(201, {}));
    Core::Ptr<Data::Interfaces::IObjectList> files;
    ASSERT_TRUE(Data_CreateObjectList(files.Receive()));
    for (const char* name : {"fine", "race.veskdb", "never-sent"}) {
        ASSERT_TRUE(files->Append(NewFile(name, "b", Sha256Hex("old")).GetUnchecked(), nullptr));
    }
    const size_t before = server_.Requests().size();
    const Outcome batch = Call([&](Core::IErrorCode** e) {
        return storage_->UploadFiles(files.GetUnchecked(), Vesk::Interfaces::StorageReplace, e);
    });
    EXPECT_EQ(batch.code, 412);
    EXPECT_EQ(server_.Requests().size(), before + 2);
}

TEST_F(StorageClientTest, TheKeyGoesWithEveryRequestOnlyWhileSet) {
    server_.On("HEAD", At("f"), HeadAnswer("f"));
    bool exists = false;
    Core::Ptr<IFileMetadata> metadata;
    ASSERT_TRUE(storage_->GetFileMetadata("f", metadata.Receive(), nullptr));
    EXPECT_FALSE(server_.Last().Has("x-api-key"));

    SetKey(kKey);
    metadata.Reset();
    ASSERT_TRUE(storage_->GetFileMetadata("f", metadata.Receive(), nullptr));
    EXPECT_EQ(server_.Last().Header("x-api-key"), kKey);
    ASSERT_TRUE(storage_->FileExists("f", &exists, nullptr));
    EXPECT_EQ(server_.Last().Header("x-api-key"), kKey);
    server_.On("DELETE", At("f"), Answer(204, {}));
    EXPECT_TRUE(storage_->DeleteFile("f", nullptr));
    EXPECT_EQ(server_.Last().Header("x-api-key"), kKey);

    SetKey(nullptr);
    metadata.Reset();
    ASSERT_TRUE(storage_->GetFileMetadata("f", metadata.Receive(), nullptr));
    EXPECT_FALSE(server_.Last().Has("x-api-key"));
    EXPECT_EQ(server_.Requests().size(), 5u);
}

TEST_F(StorageClientTest, ListingAsksForOneLevelAndReadsTheMembers) {
    const std::string root = std::string(kRoot) + "/";
    const std::string listing = "<?xml version=\"1.0\"?><D:multistatus xmlns:D=\"DAV:\"><D:response><D:href>" + root +
                                "</D:href></D:response><D:response><D:href>" + root +
                                "Team%20Plan.veskdb</D:href></D:response><D:response><D:href>" + root +
                                "maps/</D:href></D:response></D:multistatus>";
    server_.On("PROPFIND", root, Answer(207, {"Content-Type: application/xml; charset=utf-8"}, listing));
    server_.On("PROPFIND", At("cut/"), Answer(207, {}, listing.substr(0, listing.size() / 2)));
    server_.On("PROPFIND", At("json/"), Answer(207, {}, "{\"not\":\"xml\"}"));

    Core::Ptr<Data::Interfaces::IObjectList> names;
    ASSERT_TRUE(storage_->ListFolder("/", nullptr, names.Receive(), nullptr));
    const Seen propfind = server_.Last();
    EXPECT_EQ(propfind.Header("depth"), "1");
    EXPECT_EQ(propfind.body, "");
    ASSERT_EQ(names->GetCount(), 2u);
    EXPECT_STREQ(Item<Data::Interfaces::IString>(names.GetUnchecked(), 0)->GetText(), "Team Plan.veskdb");
    EXPECT_STREQ(Item<Data::Interfaces::IString>(names.GetUnchecked(), 1)->GetText(), "maps");

    for (const char* folder : {"cut", "json", "missing"}) {
        Core::Ptr<Data::Interfaces::IObjectList> refused;
        const Outcome outcome =
            Call([&](Core::IErrorCode** e) { return storage_->ListFolder(folder, nullptr, refused.Receive(), e); });
        EXPECT_FALSE(outcome.ok) << folder;
        EXPECT_NE(outcome.message.find(std::string("PROPFIND '") + folder + "'"), std::string::npos) << outcome.message;
    }
}

TEST_F(StorageClientTest, FoldersExistenceAndDeletionFollowTheStatuses) {
    server_.On("PROPFIND", At("here"), Answer(207, {}, "<D:multistatus xmlns:D=\"DAV:\"/>"));
    server_.On("PROPFIND", At("forbidden"), JsonError(403, "no"));
    server_.On("MKCOL", At("new"), Answer(201, {}));
    server_.On("MKCOL", At("here"), JsonError(405, "exists"));
    server_.On("DELETE", At("here"), Answer(204, {}));

    bool exists = false;
    ASSERT_TRUE(storage_->FileExists("here", &exists, nullptr));
    EXPECT_TRUE(exists);
    EXPECT_EQ(server_.Last().Header("depth"), "0");
    ASSERT_TRUE(storage_->FileExists("elsewhere", &exists, nullptr));
    EXPECT_FALSE(exists);
    EXPECT_FALSE(storage_->FileExists("forbidden", &exists, nullptr));

    EXPECT_TRUE(storage_->CreateFolder("new", nullptr));
    EXPECT_NE(
        Call([&](Core::IErrorCode** e) { return storage_->CreateFolder("here", e); }).message.find("already exists"),
        std::string::npos);
    EXPECT_TRUE(storage_->DeleteFile("here", nullptr));
    EXPECT_NE(
        Call([&](Core::IErrorCode** e) { return storage_->DeleteFile("gone", e); }).message.find("does not exist"),
        std::string::npos);
    EXPECT_EQ(Call([&](Core::IErrorCode** e) { return storage_->Reserved(nullptr, e); }).message,
              "Function not implemented");
}

TEST(CoreServicesExports, FactoriesCheckTheirArguments) {
    const Outcome noUrl = Call([](Core::IErrorCode** e) {
        Vesk::Interfaces::IStorageServices* storage = nullptr;
        return VeskCore_CreateHttpStorageClientInstance(nullptr, &storage, e);
    });
    EXPECT_EQ(noUrl.message, "Pointer of struct Data::Interfaces::IString must not be null!");
    auto url = Data::NewString("ftp://example.invalid/ws");
    const Outcome ftp = Call([&](Core::IErrorCode** e) {
        Vesk::Interfaces::IStorageServices* storage = nullptr;
        return VeskCore_CreateHttpStorageClientInstance(url.GetUnchecked(), &storage, e);
    });
    EXPECT_FALSE(ftp.ok);
    Core::Ptr<Vesk::Interfaces::IDirectDatabaseAccessServices> client;
    ASSERT_TRUE(VeskCore_CreateDirectDatabaseAccessServiceClient("http://127.0.0.1:9/ws/w/services/dda",
                                                                 client.Receive(), nullptr));
    EXPECT_STREQ(client->GetUrl(), "http://127.0.0.1:9/ws/w/services/dda");
    Vesk::Interfaces::IDirectDatabaseAccessServices* held = client.GetUnchecked();
    const Outcome occupied = Call([&](Core::IErrorCode** e) {
        return VeskCore_CreateDirectDatabaseAccessServiceClient("http://127.0.0.1:9/x", &held, e);
    });
    EXPECT_EQ(occupied.message,
              "Pointer of struct Vesk::Interfaces::IDirectDatabaseAccessServices must be null in order to avoid "
              "memory leaks!");
}

TEST(DirectDatabaseAccess, AvailabilityFollowsTheStatus) {
    CannedServer server;
    const std::string path = "/ws/w/services/dda";
    Core::Ptr<Vesk::Interfaces::IDirectDatabaseAccessServices> client;
    ASSERT_TRUE(VeskCore_CreateDirectDatabaseAccessServiceClient(server.Url(path).c_str(), client.Receive(), nullptr));
    bool available = true;
    ASSERT_TRUE(client->IsAvailable(&available, nullptr));
    EXPECT_FALSE(available);
    EXPECT_EQ(server.Last().path, path);

    server.On("GET", path, Answer(200, {}, "{}"));
    ASSERT_TRUE(client->SetApiKey(Data::NewSecureString(kKey).GetUnchecked(), nullptr));
    ASSERT_TRUE(client->IsAvailable(&available, nullptr));
    EXPECT_TRUE(available);
    EXPECT_EQ(server.Last().Header("x-api-key"), kKey);

    server.On("GET", path, JsonError(401, "missing or wrong API key"));
    const Outcome refused = Call([&](Core::IErrorCode** e) { return client->IsAvailable(&available, e); });
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.message.find("401: missing or wrong API key"), std::string::npos) << refused.message;
}

}  // namespace
