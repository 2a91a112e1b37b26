#include "HttpStorageClient.h"

#include "ResponseBodyArray.h"

#include <cstring>

#include "Core/Crypto.h"
#include "Core/DataObjects.h"
#include "Platform/DeserializedFile.h"
#include "Platform/FileMetadata.h"
#include "StorageWire.h"
#include "Vesk/Data/KeldaData.h"

namespace Vesk::CoreServices::impl {

namespace {

using Platform::Interfaces::HttpDelete;
using Platform::Interfaces::HttpGet;
using Platform::Interfaces::HttpHead;
using Platform::Interfaces::HttpMkcol;
using Platform::Interfaces::HttpPropfind;
using Platform::Interfaces::HttpPut;
using Platform::Interfaces::IFileMetadata;
using Platform::Interfaces::IHttpResponse;

constexpr uint32_t kPreconditionFailed = 412;

std::string Quoted(const std::string& name) {
    return "'" + name + "'";
}

bool IsSuccess(uint32_t status) {
    return status >= 200 && status < 300;
}

// The hexadecimal text of a digest.
std::string HexOf(const std::array<uint8_t, 32>& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(64);
    for (uint8_t byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

// The digest that 64 hexadecimal characters (checked by IsSha256Text) spell.
std::array<uint8_t, 32> DigestOfHex(std::string_view hex) {
    const auto value = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    std::array<uint8_t, 32> digest{};
    for (size_t i = 0; i < digest.size(); ++i) {
        digest[i] = static_cast<uint8_t>(value(hex[2 * i]) << 4 | value(hex[2 * i + 1]));
    }
    return digest;
}

std::array<uint8_t, 32> Sha256Of(const void* data, uint64_t size) {
    ::Core::Crypto::Sha256 hash;
    // The digest takes size_t pieces; a body beyond that cannot be in memory anyway.
    hash.Update(data, static_cast<size_t>(size));
    return hash.Finish();
}

std::string RequiredHeader(IHttpResponse* response, std::string_view name, const std::string& what) {
    std::optional<std::string> value = HeaderOf(response, name);
    if (!value) {
        throw std::runtime_error(what + ": the answer carries no " + std::string(name) + " header");
    }
    return *value;
}

std::string Sha256FromAnswer(IHttpResponse* response, const std::string& what) {
    const std::string tag = RequiredHeader(response, "ETag", what);
    std::optional<std::string> sha = Sha256FromEntityTag(tag);
    if (!sha) {
        throw std::runtime_error(what + ": the ETag " + tag + " is not a quoted SHA-256");
    }
    return *sha;
}

::Core::Ptr<Data::Interfaces::IDateTime> ModifiedFromAnswer(IHttpResponse* response, const std::string& what) {
    const std::string text = RequiredHeader(response, "Last-Modified", what);
    const std::optional<int64_t> seconds = ParseImfFixdate(text);
    if (!seconds) {
        throw std::runtime_error(what + ": the Last-Modified date '" + text + "' is not an HTTP date");
    }
    ::Core::Ptr<Data::Interfaces::IDateTime> time;
    ::Core::ThrowIfFailed(
        [&](::Core::IErrorCode** e) { return Data_CreateDateTimeFromPosixTime(*seconds, time.Receive(), e); },
        "Failed to create a date-time");
    return time;
}

uint64_t ContentLengthFromAnswer(IHttpResponse* response, const std::string& what) {
    const std::string text = RequiredHeader(response, "Content-Length", what);
    uint64_t value = 0;
    bool digits = !text.empty();
    for (char c : text) {
        if (c < '0' || c > '9' || value > (UINT64_MAX - 9) / 10) {
            digits = false;
            break;
        }
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (!digits) {
        throw std::runtime_error(what + ": the Content-Length '" + text + "' is not a size");
    }
    return value;
}

::Core::Ptr<IFileMetadata> MakeMetadata(const std::string& name, std::string sha, uint64_t size,
                                        ::Core::Ptr<Data::Interfaces::IDateTime> time) {
    return ::Core::MakeObject<Platform::IO::impl::FileMetadataImpl>(name, name, std::move(sha), size, std::move(time));
}

// The text of an IString item of a list of names.
std::string NameAt(Data::Interfaces::IObjectList* names, uint64_t index) {
    ::Core::Ptr<::Core::IObject> item;
    ::Core::ThrowIfFailed([&](::Core::IErrorCode** e) { return names->Get(index, item.Receive(), e); });
    ::Core::Ptr<Data::Interfaces::IString> name = item.Cast<Data::Interfaces::IString>();
    return std::string(name->GetText(), name->GetLength());
}

::Core::Ptr<Data::Interfaces::IObjectList> NewObjectList() {
    ::Core::Ptr<Data::Interfaces::IObjectList> list;
    if (!Data_CreateObjectList(list.Receive())) {
        throw std::runtime_error("Failed to create an object list");
    }
    return list;
}

void AppendTo(Data::Interfaces::IObjectList* list, ::Core::IObject* item) {
    ::Core::ThrowIfFailed([&](::Core::IErrorCode** e) { return list->Append(item, e); });
}

// One found item per name that exists, in the order of names: what a list variant answers.
template <class Find>
::Core::Ptr<Data::Interfaces::IObjectList> EachFound(Data::Interfaces::IObjectList* names, Find find) {
    ::Core::Ptr<Data::Interfaces::IObjectList> list = NewObjectList();
    for (uint64_t i = 0; i < names->GetCount(); ++i) {
        if (auto found = find(NameAt(names, i))) {
            AppendTo(list.GetUnchecked(), found.GetUnchecked());
        }
    }
    return list;
}

// The one item a single-name variant answers; a missing file is a failure there.
template <class T>
::Core::Ptr<T> Required(::Core::Ptr<T> found, const char* verb, const std::string& name) {
    if (!found) {
        throw std::runtime_error(std::string(verb) + " " + Quoted(name) + ": the file does not exist");
    }
    return found;
}

}  // namespace

HttpStorageClient::HttpStorageClient(std::string url) : connection_(std::move(url)) {}

const char* HttpStorageClient::GetUrl() {
    return connection_.Url().c_str();
}

std::string HttpStorageClient::PathOf(const std::string& name) const {
    return connection_.BasePath() + "/" + EncodeRelativePath(name);
}

bool HttpStorageClient::CreateFolder(const char* path, ::Core::IErrorCode** error) {
    return ::Core::AbiGuard(error, [&] {
        ::Core::CheckNotNull(path);
        const std::string what = "MKCOL " + Quoted(path);
        ::Core::Ptr<IHttpResponse> answer = connection_.Send(HttpMkcol, PathOf(path), {}, nullptr, 0, what);
        if (answer->GetStatusCode() == 405) {
            throw std::runtime_error(what + ": the folder already exists");
        }
        if (!IsSuccess(answer->GetStatusCode())) {
            throw std::runtime_error(StatusFailure(what, answer.GetUnchecked()));
        }
    });
}

bool HttpStorageClient::ListFolder(const char* path, ::Core::IObject* reserved, Data::Interfaces::IObjectList** names,
                                   ::Core::IErrorCode** error) {
    return ::Core::AbiGuard(error, [&] {
        ::Core::CheckNotNull(path);
        ::Core::CheckOut(names);
        if (reserved != nullptr) {
            throw std::runtime_error("The second argument of ListFolder is reserved and must be null");
        }
        const std::string what = "PROPFIND " + Quoted(path);
        // A collection's own URL ends with "/".
        std::string folder = PathOf(path);
        if (folder.back() != '/') {
            folder += '/';
        }
        ::Core::Ptr<IHttpResponse> answer = connection_.Send(HttpPropfind, folder, {{"Depth", "1"}}, nullptr, 0, what);
        const uint32_t status = answer->GetStatusCode();
        if (status == 404) {
            throw std::runtime_error(what + ": the folder does not exist");
        }
        if (status != 207) {
            throw std::runtime_error(IsSuccess(status)
                                         ? what + " answered " + std::to_string(status) + " instead of 207 Multi-Status"
                                         : StatusFailure(what, answer.GetUnchecked()));
        }
        const auto* body = static_cast<const char*>(answer->GetBody());
        std::vector<std::string> members;
        try {
            members = MultistatusMemberNames(
                body != nullptr ? std::string_view(body, answer->GetBodySize()) : std::string_view(), folder);
        } catch (const std::exception& e) {
            throw std::runtime_error(what + ": " + e.what());
        }
        ::Core::Ptr<Data::Interfaces::IObjectList> list = NewObjectList();
        for (const std::string& member : members) {
            AppendTo(list.GetUnchecked(), Data::NewString(member).GetUnchecked());
        }
        ::Core::HandOut(std::move(list), names);
    });
}

bool HttpStorageClient::DeleteFile(const char* path, ::Core::IErrorCode** error) {
    return ::Core::AbiGuard(error, [&] {
        ::Core::CheckNotNull(path);
        const std::string what = "DELETE " + Quoted(path);
        ::Core::Ptr<IHttpResponse> answer = connection_.Send(HttpDelete, PathOf(path), {}, nullptr, 0, what);
        if (answer->GetStatusCode() == 404) {
            throw std::runtime_error(what + ": " + Quoted(path) + " does not exist");
        }
        if (!IsSuccess(answer->GetStatusCode())) {
            throw std::runtime_error(StatusFailure(what, answer.GetUnchecked()));
        }
    });
}

::Core::Ptr<Interfaces::IDeserializedFile> HttpStorageClient::Download(const std::string& name) {
    const std::string what = "GET " + Quoted(name);
    ::Core::Ptr<IHttpResponse> answer = connection_.Send(HttpGet, PathOf(name), {}, nullptr, 0, what);
    const uint32_t status = answer->GetStatusCode();
    if (status == 404) {
        return {};
    }
    if (status != 200) {
        throw std::runtime_error(IsSuccess(status) ? what + " answered " + std::to_string(status) + " instead of 200"
                                                   : StatusFailure(what, answer.GetUnchecked()));
    }
    const std::string announced = Sha256FromAnswer(answer.GetUnchecked(), what);
    const uint64_t size = answer->GetBodySize();
    const void* bytes = answer->GetBody();
    const std::string received = HexOf(Sha256Of(bytes, size));
    if (received != announced) {
        throw std::runtime_error(what + ": the downloaded bytes have the SHA-256 " + received + ", not the announced " +
                                 announced);
    }
    ::Core::Ptr<Data::Interfaces::IDateTime> time = ModifiedFromAnswer(answer.GetUnchecked(), what);
    auto content = ::Core::MakeObject<ResponseBodyArray>(answer);
    return ::Core::MakeObject<Platform::IO::DeserializedFile>(MakeMetadata(name, received, size, std::move(time)),
                                                              std::move(content));
}

bool HttpStorageClient::DownloadFile(const char* name, Interfaces::IDeserializedFile** file,
                                     ::Core::IErrorCode** error) {
    return ::Core::AbiGuard(error, [&] {
        ::Core::CheckNotNull(name);
        ::Core::CheckOut(file);
        ::Core::HandOut(Required(Download(name), "GET", name), file);
    });
}

bool HttpStorageClient::DownloadFiles(Data::Interfaces::IObjectList* names, Data::Interfaces::IObjectList** files,
                                      ::Core::IErrorCode** error) {
    return ::Core::AbiGuard(error, [&] {
        ::Core::CheckNotNull(names);
        ::Core::CheckOut(files);
        ::Core::HandOut(EachFound(names, [this](const std::string& name) { return Download(name); }), files);
    });
}

::Core::Ptr<IFileMetadata> HttpStorageClient::ReadMetadata(const std::string& name) {
    const std::string what = "HEAD " + Quoted(name);
    ::Core::Ptr<IHttpResponse> answer = connection_.Send(HttpHead, PathOf(name), {}, nullptr, 0, what);
    const uint32_t status = answer->GetStatusCode();
    if (status == 404) {
        return {};
    }
    if (status != 200) {
        throw std::runtime_error(IsSuccess(status) ? what + " answered " + std::to_string(status) + " instead of 200"
                                                   : StatusFailure(what, answer.GetUnchecked()));
    }
    std::string sha = Sha256FromAnswer(answer.GetUnchecked(), what);
    const uint64_t size = ContentLengthFromAnswer(answer.GetUnchecked(), what);
    return MakeMetadata(name, std::move(sha), size, ModifiedFromAnswer(answer.GetUnchecked(), what));
}

bool HttpStorageClient::GetFileMetadata(const char* name, IFileMetadata** metadata, ::Core::IErrorCode** error) {
    return ::Core::AbiGuard(error, [&] {
        ::Core::CheckNotNull(name);
        ::Core::CheckOut(metadata);
        ::Core::HandOut(Required(ReadMetadata(name), "HEAD", name), metadata);
    });
}

bool HttpStorageClient::GetFilesMetadata(Data::Interfaces::IObjectList* names, Data::Interfaces::IObjectList** metadata,
                                         ::Core::IErrorCode** error) {
    return ::Core::AbiGuard(error, [&] {
        ::Core::CheckNotNull(names);
        ::Core::CheckOut(metadata);
        ::Core::HandOut(EachFound(names, [this](const std::string& name) { return ReadMetadata(name); }), metadata);
    });
}

void HttpStorageClient::Upload(Interfaces::IDeserializedFile* file, int32_t mode) {
    ::Core::CheckNotNull(file);
    ::Core::Ptr<IFileMetadata> metadata;
    ::Core::ThrowIfFailed([&](::Core::IErrorCode** e) { return file->GetMetadata(metadata.Receive(), e); });
    ::Core::Ptr<Data::Interfaces::IArray> content;
    ::Core::ThrowIfFailed([&](::Core::IErrorCode** e) { return file->GetContent(content.Receive(), e); });
    const std::string name = metadata->GetName() != nullptr ? metadata->GetName() : "";
    const std::string what = "PUT " + Quoted(name);
    if (name.empty()) {
        throw std::runtime_error("PUT: the file to store has no name");
    }
    // An empty file still has a body pointer, so that the request carries an empty body.
    const void* bytes = content->GetByteSize() > 0 ? static_cast<const void*>(content->GetData()) : "";
    // The hash that the metadata names is sent as the body's digest without hashing the body again (a
    // large file has just been hashed by its uploader): the server checks the body against it and refuses
    // a mismatch with the stored file untouched. Without one, the body is hashed here.
    const char* claimed = metadata->GetSha2();
    const std::array<uint8_t, 32> digest =
        claimed != nullptr && IsSha256Text(claimed) ? DigestOfHex(claimed) : Sha256Of(bytes, content->GetByteSize());
    const std::string sha = HexOf(digest);

    HeaderList headers{{"Content-Type", "application/octet-stream"}, {"Repr-Digest", ReprDigestSha256(digest)}};
    const std::string expected = file->GetExpectedSha2() != nullptr ? file->GetExpectedSha2() : "";
    if (mode == Interfaces::StorageCreateOnly) {
        headers.emplace_back("If-None-Match", "*");
    } else if (mode == Interfaces::StorageReplace) {
        if (!expected.empty()) {
            if (!IsSha256Text(expected)) {
                throw std::runtime_error(what + ": the expected hash '" + expected + "' is not a SHA-256");
            }
            headers.emplace_back("If-Match", "\"" + expected + "\"");
        }
    } else {
        throw std::runtime_error(what + ": unknown upload mode " + std::to_string(mode));
    }

    ::Core::Ptr<IHttpResponse> answer =
        connection_.Send(HttpPut, PathOf(name), headers, bytes, content->GetByteSize(), what);
    const uint32_t status = answer->GetStatusCode();
    if (status == kPreconditionFailed) {
        throw CodedError(static_cast<int32_t>(status),
                         mode == Interfaces::StorageCreateOnly
                             ? "Precondition failed: " + Quoted(name) + " already exists on the server"
                             : "Precondition failed: " + Quoted(name) + " on the server no longer has the SHA-256 " +
                                   expected + " (it was stored by someone else since, or removed)");
    }
    if (!IsSuccess(status)) {
        throw std::runtime_error(StatusFailure(what, answer.GetUnchecked()));
    }
    if (std::optional<std::string> tag = HeaderOf(answer.GetUnchecked(), "ETag")) {
        if (Sha256FromEntityTag(*tag) != sha) {
            throw std::runtime_error(what + ": the server stored the file as " + *tag + ", not with the SHA-256 " +
                                     sha);
        }
    }
}

bool HttpStorageClient::UploadFile(Interfaces::IDeserializedFile* file, int32_t mode, ::Core::IErrorCode** error) {
    return CodedGuard(error, [&] { Upload(file, mode); });
}

bool HttpStorageClient::UploadFiles(Data::Interfaces::IObjectList* files, int32_t mode, ::Core::IErrorCode** error) {
    return CodedGuard(error, [&] {
        ::Core::CheckNotNull(files);
        for (uint64_t i = 0; i < files->GetCount(); ++i) {
            ::Core::Ptr<::Core::IObject> item;
            ::Core::ThrowIfFailed([&](::Core::IErrorCode** e) { return files->Get(i, item.Receive(), e); });
            Upload(item.Cast<Interfaces::IDeserializedFile>().GetUnchecked(), mode);
        }
    });
}

bool HttpStorageClient::FileExists(const char* name, bool* exists, ::Core::IErrorCode** error) {
    return ::Core::AbiGuard(error, [&] {
        ::Core::CheckNotNull(name);
        ::Core::CheckNotNull(exists);
        const std::string what = "PROPFIND " + Quoted(name);
        ::Core::Ptr<IHttpResponse> answer =
            connection_.Send(HttpPropfind, PathOf(name), {{"Depth", "0"}}, nullptr, 0, what);
        const uint32_t status = answer->GetStatusCode();
        if (status != 207 && status != 404) {
            throw std::runtime_error(IsSuccess(status)
                                         ? what + " answered " + std::to_string(status) + " instead of 207 Multi-Status"
                                         : StatusFailure(what, answer.GetUnchecked()));
        }
        *exists = status == 207;
    });
}

bool HttpStorageClient::Reserved(::Core::IObject*, ::Core::IErrorCode** error) {
    return ::Core::AbiGuard(error, [] { throw std::runtime_error("Function not implemented"); });
}

bool HttpStorageClient::SetApiKey(Data::Interfaces::ISecureString* key, ::Core::IErrorCode** error) {
    return ::Core::AbiGuard(error, [&] { connection_.SetApiKey(::Core::Ptr<Data::Interfaces::ISecureString>(key)); });
}

}  // namespace Vesk::CoreServices::impl
