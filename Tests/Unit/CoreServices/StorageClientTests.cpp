// The storage and direct-database-access clients against a canned loopback server: what they send,
// how they read good answers, and how they refuse bad ones.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Core/DataObjects.h"
#include "Core/ErrorCode.h"
#include "HttpTestServer.h"
#include "Platform/DeserializedFile.h"
#include "Platform/FileMetadata.h"
#include "Support/Hex.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/VeskCore.h"

namespace {

using Data::Interfaces::IObjectList;
using Platform::Interfaces::IFileMetadata;
using Vesk::Interfaces::IDeserializedFile;
using Vesk::Interfaces::StorageCreateOnly;
using Vesk::Interfaces::StorageReplace;

constexpr const char* kKey = "s3cret-key-value";
constexpr const char* kRoot = "/ws/0f8fad5b-d9cb-469f-a165-70867728950e/services/storage";
const std::string kDated = "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT";

// Digests computed by OpenSSL directly, apart from the library's own hashing seam.
std::string Digest(const std::string& bytes) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}
std::string Sha256Hex(const std::string& bytes) {
    return VeskTest::HexOf(Digest(bytes));
}
std::string Tag(const std::string& bytes) {
    return "ETag: \"" + Sha256Hex(bytes) + "\"";
}

// A raw answer; length overrides the body's length (HEAD answers, cut bodies).
std::string Answer(int status, const std::vector<std::string>& headers, const std::string& body = {},
                   long long length = -1) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " Canned\r\n";
    for (const std::string& header : headers) {
        text += header + "\r\n";
    }
    const long long size = length >= 0 ? length : static_cast<long long>(body.size());
    return text + "Content-Length: " + std::to_string(size) + "\r\nConnection: close\r\n\r\n" + body;
}
std::string JsonError(int status, const std::string& text) {
    return Answer(status, {"Content-Type: application/json"}, "{\"error\":\"" + text + "\"}");
}

// One request as the server read it; header names in lower case.
struct Seen {
    std::string method, path, body;
    std::map<std::string, std::string> headers;
    std::string Header(const std::string& name) const { return headers.count(name) ? headers.at(name) : "<absent>"; }
};

Seen Parse(const std::string& raw) {
    Seen seen;
    const size_t headEnd = std::min(raw.find("\r\n\r\n"), raw.size());
    seen.body = raw.substr(std::min(headEnd + 4, raw.size()));
    std::istringstream head(raw.substr(0, headEnd));
    std::string line;
    std::getline(head, line);
    std::istringstream(line) >> seen.method >> seen.path;
    while (std::getline(head, line)) {
        line.erase(line.find_last_not_of('\r') + 1);
        const size_t colon = line.find(':');
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        seen.headers[name] = line.substr(std::min(colon + 2, line.size()));
    }
    return seen;
}

// Answers "METHOD path" with what a test set, everything else with 404 and a JSON error.
class CannedServer {
public:
    CannedServer()
        : server_([this](const VeskTest::RawTestServer::Connection& connection, const std::string& raw) {
              const Seen seen = Parse(raw);
              std::lock_guard<std::mutex> lock(mutex_);
              auto it = answers_.find(seen.method + " " + seen.path);
              connection.Write(it != answers_.end() ? it->second : JsonError(404, "no such thing"));
          }) {}

    void On(const std::string& method, const std::string& path, std::string answer) {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_[method + " " + path] = std::move(answer);
    }
    size_t Count() const { return server_.Received().size(); }
    Seen Last() const { return Parse(server_.Received().back()); }
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
    const bool ok = call(error.Receive());
    return {ok, error.Code(), std::string(error.Message())};
}

template <class T>
Core::Ptr<T> Item(IObjectList* list, uint64_t index) {
    Core::Ptr<Core::IObject> item;
    EXPECT_TRUE(list->Get(index, item.Receive(), nullptr));
    return item.Cast<T>();
}

Core::Ptr<IObjectList> NewList(const std::vector<Core::Ptr<Core::IObject>>& items) {
    Core::Ptr<IObjectList> list;
    EXPECT_TRUE(Data_CreateObjectList(list.Receive()));
    for (const auto& item : items) {
        EXPECT_TRUE(list->Append(item.GetUnchecked(), nullptr));
    }
    return list;
}
Core::Ptr<IObjectList> Names(const std::vector<std::string>& names) {
    std::vector<Core::Ptr<Core::IObject>> items;
    for (const std::string& name : names) {
        items.emplace_back(Data::NewString(name));
    }
    return NewList(items);
}

// A file as the workspace services build one for an upload: local metadata without a hash.
Core::Ptr<IDeserializedFile> NewFile(const std::string& name, const std::string& bytes,
                                     const std::string& expected = {}) {
    auto metadata = Core::MakeObject<Platform::IO::impl::FileMetadataImpl>(name, "/local/" + name, "", bytes.size(),
                                                                           Data::NewCurrentDateTime());
    return Core::MakeObject<Platform::IO::DeserializedFile>(std::move(metadata),
                                                            Data::NewByteArray(bytes.data(), bytes.size()), expected);
}

class StorageClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto url = Data::NewString(server_.Url());
        ASSERT_TRUE(VeskCore_CreateHttpStorageClientInstance(url.GetUnchecked(), storage_.Receive(), nullptr));
    }
    void SetKey(const char* key) {
        ASSERT_TRUE(storage_->SetApiKey(key ? Data::NewSecureString(key).GetUnchecked() : nullptr, nullptr));
    }
    static std::string At(const std::string& encodedName) { return std::string(kRoot) + "/" + encodedName; }

    Outcome Upload(const std::string& name, const std::string& bytes, int32_t mode, const std::string& expected = {}) {
        auto file = NewFile(name, bytes, expected);
        return Call([&](Core::IErrorCode** e) { return storage_->UploadFile(file.GetUnchecked(), mode, e); });
    }
    Outcome Metadata(const std::string& name, Core::Ptr<IFileMetadata>& metadata) {
        return Call(
            [&](Core::IErrorCode** e) { return storage_->GetFileMetadata(name.c_str(), metadata.Receive(), e); });
    }
    Outcome Download(const std::string& name, Core::Ptr<IDeserializedFile>& file) {
        return Call([&](Core::IErrorCode** e) { return storage_->DownloadFile(name.c_str(), file.Receive(), e); });
    }

    CannedServer server_;
    Core::Ptr<Vesk::Interfaces::IStorageServices> storage_;
};

TEST_F(StorageClientTest, MetadataComesFromTheHeadAnswer) {
    std::string shouted = Sha256Hex("workspace bytes");
    std::transform(shouted.begin(), shouted.end(), shouted.begin(), [](unsigned char c) { return std::toupper(c); });
    server_.On("HEAD", At("Main%20Work.veskdb"), Answer(200, {"ETag: W/\"" + shouted + "\"", kDated}, {}, 4242));
    server_.On("HEAD", At("other.txt"), Answer(200, {Tag("x"), kDated}, {}, 1));
    server_.On("HEAD", At("md5"), Answer(200, {"ETag: \"d41d8cd98f00b204e9800998ecf8427e\"", kDated}, {}, 1));
    server_.On("HEAD", At("undated"), Answer(200, {Tag("x"), "Last-Modified: 1994-11-06T08:49:37Z"}, {}, 1));

    Core::Ptr<IObjectList> found;
    auto names = Names({"Main Work.veskdb", "gone.txt", "other.txt"});
    ASSERT_TRUE(storage_->GetFilesMetadata(names.GetUnchecked(), found.Receive(), nullptr));
    EXPECT_EQ(server_.Count(), 3u);
    EXPECT_EQ(server_.Last().Header("x-api-key"), "<absent>");
    ASSERT_EQ(found->GetCount(), 2u);
    auto first = Item<IFileMetadata>(found.GetUnchecked(), 0);
    EXPECT_STREQ(first->GetName(), "Main Work.veskdb");
    EXPECT_STREQ(first->GetPath(), "Main Work.veskdb");
    EXPECT_EQ(first->GetSha2(), Sha256Hex("workspace bytes"));
    EXPECT_EQ(first->GetSize(), 4242u);
    Core::Ptr<Data::Interfaces::IDateTime> time, expected;
    ASSERT_TRUE(first->GetTimeModified(time.Receive()));
    ASSERT_TRUE(Data_CreateDateTimeFromIso8601("1994-11-06T08:49:37Z", expected.Receive(), nullptr));
    EXPECT_EQ(time->Compare(expected.GetUnchecked()), 0) << time->GetText();
    EXPECT_STREQ(Item<IFileMetadata>(found.GetUnchecked(), 1)->GetName(), "other.txt");

    const std::map<std::string, std::string> refusals = {
        {"gone.txt", "does not exist"}, {"md5", "is not a quoted SHA-256"}, {"undated", "is not an HTTP date"}};
    for (const auto& [name, reason] : refusals) {
        Core::Ptr<IFileMetadata> metadata;
        const Outcome outcome = Metadata(name, metadata);
        EXPECT_EQ(outcome.message.rfind("HEAD '" + name + "'", 0), 0u) << outcome.message;
        EXPECT_NE(outcome.message.find(reason), std::string::npos) << outcome.message;
        EXPECT_FALSE(outcome.ok || metadata);
    }
}

TEST_F(StorageClientTest, DownloadsAreCheckedAgainstTheirTag) {
    const std::string body("binary\0bytes\xff", 13);
    server_.On("GET", At("good.veskdb"), Answer(200, {Tag(body), kDated}, body));
    server_.On("GET", At("changed.veskdb"), Answer(200, {Tag(body + "!"), kDated}, body));
    server_.On("GET", At("untagged.veskdb"), Answer(200, {kDated}, body));
    // Whole in its own right, but shorter than announced.
    server_.On("GET", At("cut.veskdb"), Answer(200, {Tag(body), kDated}, body, 100));

    Core::Ptr<IDeserializedFile> file;
    ASSERT_TRUE(Download("good.veskdb", file).ok);
    Core::Ptr<Data::Interfaces::IArray> content;
    Core::Ptr<IFileMetadata> metadata;
    ASSERT_TRUE(file->GetContent(content.Receive(), nullptr) && file->GetMetadata(metadata.Receive(), nullptr));
    EXPECT_EQ(content->GetElementSize(), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(content->GetData()), content->GetByteSize()), body);
    EXPECT_EQ(metadata->GetSha2(), Sha256Hex(body));
    EXPECT_EQ(metadata->GetSize(), body.size());
    // The content is the response's own buffer until it is changed; then it is a copy of its own.
    ASSERT_TRUE(content->Append("+", 1, nullptr));
    ASSERT_TRUE(content->Insert(0, "<", 1, nullptr));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(content->GetData()), content->GetByteSize()), "<" + body + "+");
    EXPECT_FALSE(content->Insert(99, "x", 1, nullptr));

    const std::map<std::string, std::string> refusals = {{"changed.veskdb", "the downloaded bytes have the SHA-256"},
                                                         {"untagged.veskdb", "no ETag"},
                                                         {"cut.veskdb", "failed: "},
                                                         {"missing.veskdb", "does not exist"}};
    for (const auto& [name, reason] : refusals) {
        Core::Ptr<IDeserializedFile> refused;
        const Outcome outcome = Download(name, refused);
        EXPECT_EQ(outcome.message.rfind("GET '" + name + "'", 0), 0u) << outcome.message;
        EXPECT_NE(outcome.message.find(reason), std::string::npos) << outcome.message;
        EXPECT_FALSE(outcome.ok || refused);
    }

    // The list form leaves missing files out but refuses a changed one.
    Core::Ptr<IObjectList> files;
    ASSERT_TRUE(
        storage_->DownloadFiles(Names({"missing.veskdb", "good.veskdb"}).GetUnchecked(), files.Receive(), nullptr));
    EXPECT_EQ(files->GetCount(), 1u);
    files.Reset();
    EXPECT_FALSE(
        storage_->DownloadFiles(Names({"good.veskdb", "changed.veskdb"}).GetUnchecked(), files.Receive(), nullptr));
    EXPECT_FALSE(files);
}

TEST_F(StorageClientTest, UploadsCarryTheirDigestAndPrecondition) {
    const std::string bytes = "new workspace content";
    const std::string expected = Sha256Hex("old content");
    server_.On("PUT", At("a%20b.veskdb"), Answer(204, {Tag(bytes)}));
    unsigned char base64[64] = {};
    EVP_EncodeBlock(base64, reinterpret_cast<const unsigned char*>(Digest(bytes).data()), SHA256_DIGEST_LENGTH);

    ASSERT_TRUE(Upload("a b.veskdb", bytes, StorageReplace, expected).ok);
    Seen put = server_.Last();
    EXPECT_EQ(put.body, bytes);
    EXPECT_EQ(put.Header("repr-digest"), "sha-256=:" + std::string(reinterpret_cast<char*>(base64)) + ":");
    EXPECT_EQ(put.Header("if-match"), "\"" + expected + "\"");
    EXPECT_EQ(put.Header("if-none-match"), "<absent>");

    ASSERT_TRUE(Upload("a b.veskdb", bytes, StorageCreateOnly).ok);
    put = server_.Last();
    EXPECT_EQ(put.Header("if-none-match"), "*");
    EXPECT_EQ(put.Header("if-match"), "<absent>");
    ASSERT_TRUE(Upload("a b.veskdb", bytes, StorageReplace).ok);
    EXPECT_EQ(server_.Last().Header("if-match") + server_.Last().Header("if-none-match"), "<absent><absent>");

    // Refused before anything is sent.
    const size_t sent = server_.Count();
    EXPECT_FALSE(Upload("a b.veskdb", bytes, StorageReplace, "not-a-hash").ok);
    EXPECT_FALSE(Upload("a b.veskdb", bytes, 7).ok);
    EXPECT_EQ(server_.Count(), sent);
    // A server that stored other bytes than those sent.
    server_.On("PUT", At("odd"), Answer(201, {Tag("other")}));
    EXPECT_FALSE(Upload("odd", bytes, StorageReplace).ok);
}

TEST_F(StorageClientTest, RefusalsNameTheRequestAndALostRaceHasItsOwnCode) {
    SetKey(kKey);
    server_.On("PUT", At("race.veskdb"), JsonError(412, "precondition failed"));
    server_.On("PUT", At("locked.veskdb"), JsonError(401, "missing or wrong API key"));
    server_.On("PUT", At("huge.veskdb"), Answer(413, {}, "too large, plain text"));

    for (int32_t mode : {StorageReplace, StorageCreateOnly}) {
        const Outcome race = Upload("race.veskdb", "bytes", mode, Sha256Hex("old"));
        EXPECT_FALSE(race.ok);
        EXPECT_EQ(race.code, 412);
        EXPECT_EQ(race.message.rfind("Precondition failed: 'race.veskdb'", 0), 0u) << race.message;
    }
    const Outcome locked = Upload("locked.veskdb", "bytes", StorageReplace);
    EXPECT_EQ(locked.code, Core::kErrorCodeException);
    EXPECT_EQ(locked.message, "PUT 'locked.veskdb' failed with status 401: missing or wrong API key");
    EXPECT_EQ(server_.Last().Header("x-api-key"), kKey);
    EXPECT_EQ(Upload("huge.veskdb", "bytes", StorageReplace).message,
              "PUT 'huge.veskdb' failed with status 413: too large, plain text");

    // The list form hands on the code of the file that failed, after storing the ones before it.
    server_.On("PUT", At("fine"), Answer(201, {}));
    auto files = NewList({NewFile("fine", "b"), NewFile("race.veskdb", "b", Sha256Hex("old")), NewFile("never", "b")});
    const size_t before = server_.Count();
    EXPECT_EQ(
        Call([&](Core::IErrorCode** e) { return storage_->UploadFiles(files.GetUnchecked(), StorageReplace, e); }).code,
        412);
    EXPECT_EQ(server_.Count(), before + 2);

    SetKey(nullptr);
    EXPECT_TRUE(Upload("fine", "b", StorageReplace).ok);
    EXPECT_EQ(server_.Last().Header("x-api-key"), "<absent>");
}

TEST_F(StorageClientTest, FoldersAreListedMadeAndRemovedOverWebDav) {
    const std::string root = std::string(kRoot) + "/";
    const std::string listing = "<?xml version=\"1.0\"?><D:multistatus xmlns:D=\"DAV:\"><D:response><D:href>" + root +
                                "</D:href></D:response><D:response><D:href>" + root +
                                "Team%20Plan.veskdb</D:href></D:response><D:response><D:href>" + root +
                                "maps/</D:href></D:response></D:multistatus>";
    server_.On("PROPFIND", root, Answer(207, {"Content-Type: application/xml; charset=utf-8"}, listing));
    server_.On("PROPFIND", At("json/"), Answer(207, {}, "{\"not\":\"xml\"}"));
    server_.On("PROPFIND", At("here"), Answer(207, {}, "<D:multistatus xmlns:D=\"DAV:\"/>"));
    server_.On("PROPFIND", At("forbidden"), JsonError(403, "no"));
    server_.On("MKCOL", At("new"), Answer(201, {}));
    server_.On("MKCOL", At("here"), JsonError(405, "exists"));
    server_.On("DELETE", At("here"), Answer(204, {}));

    Core::Ptr<IObjectList> names;
    ASSERT_TRUE(storage_->ListFolder("/", nullptr, names.Receive(), nullptr));
    EXPECT_EQ(server_.Last().Header("depth"), "1");
    EXPECT_EQ(server_.Last().body, "");
    ASSERT_EQ(names->GetCount(), 2u);
    EXPECT_STREQ(Item<Data::Interfaces::IString>(names.GetUnchecked(), 0)->GetText(), "Team Plan.veskdb");
    EXPECT_STREQ(Item<Data::Interfaces::IString>(names.GetUnchecked(), 1)->GetText(), "maps");
    for (const char* folder : {"json", "missing"}) {
        Core::Ptr<IObjectList> refused;
        const Outcome outcome =
            Call([&](Core::IErrorCode** e) { return storage_->ListFolder(folder, nullptr, refused.Receive(), e); });
        EXPECT_EQ(outcome.message.rfind(std::string("PROPFIND '") + folder + "'", 0), 0u) << outcome.message;
    }

    bool exists = false;
    ASSERT_TRUE(storage_->FileExists("here", &exists, nullptr));
    EXPECT_TRUE(exists);
    EXPECT_EQ(server_.Last().Header("depth"), "0");
    ASSERT_TRUE(storage_->FileExists("elsewhere", &exists, nullptr));
    EXPECT_FALSE(exists);
    EXPECT_FALSE(storage_->FileExists("forbidden", &exists, nullptr));

    EXPECT_TRUE(storage_->CreateFolder("new", nullptr));
    EXPECT_EQ(Call([&](Core::IErrorCode** e) { return storage_->CreateFolder("here", e); }).message,
              "MKCOL 'here': the folder already exists");
    EXPECT_TRUE(storage_->DeleteFile("here", nullptr));
    EXPECT_EQ(Call([&](Core::IErrorCode** e) { return storage_->DeleteFile("gone", e); }).message,
              "DELETE 'gone': 'gone' does not exist");
    EXPECT_EQ(Call([&](Core::IErrorCode** e) { return storage_->Reserved(nullptr, e); }).message,
              "Function not implemented");
}

TEST_F(StorageClientTest, OneClientServesSeveralThreadsAtOnce) {
    server_.On("HEAD", At("f"), Answer(200, {Tag("x"), kDated}, {}, 1));
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 4; ++i) {
                // Keys change under the other threads' requests.
                storage_->SetApiKey(t == 0 ? Data::NewSecureString(kKey).GetUnchecked() : nullptr, nullptr);
                Core::Ptr<IFileMetadata> metadata;
                answered += Metadata("f", metadata).ok && metadata->GetSize() == 1 ? 1 : 0;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(answered.load(), 12);
    EXPECT_EQ(server_.Count(), 12u);
}

TEST(DirectDatabaseAccess, TakesHttpUrlsAndAsksWhetherTheServiceAnswers) {
    CannedServer server;
    const std::string path = "/ws/w/services/dda";
    Core::Ptr<Vesk::Interfaces::IDirectDatabaseAccessServices> client;
    ASSERT_TRUE(VeskCore_CreateDirectDatabaseAccessServiceClient(server.Url(path).c_str(), client.Receive(), nullptr));
    EXPECT_EQ(client->GetUrl(), server.Url(path));
    Vesk::Interfaces::IDirectDatabaseAccessServices* other = nullptr;
    EXPECT_FALSE(VeskCore_CreateDirectDatabaseAccessServiceClient("ftp://127.0.0.1/dda", &other, nullptr) || other);
    EXPECT_EQ(Call([&](Core::IErrorCode** e) {
                  return VeskCore_CreateDirectDatabaseAccessServiceClient(0, &other, e);
              }).message,
              "Pointer of char must not be null!");
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
    EXPECT_EQ(refused.message, "GET '" + server.Url(path) + "' failed with status 401: missing or wrong API key");
}

}  // namespace
