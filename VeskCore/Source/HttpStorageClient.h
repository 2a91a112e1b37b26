#pragma once
#include <string>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "ServiceConnection.h"
#include "Vesk/Services/IStorageServices.h"

namespace Vesk::CoreServices::impl {

// The storage service of one workspace over HTTP and WebDAV. Names and paths are relative to the
// service's URL; each of their segments is percent-encoded on the way out. Every request carries the
// API key when one is set. Answers are waited for on the calling thread. Safe for concurrent use: the
// connection guards its key, and each call has its own request.
class HttpStorageClient final : public ::Core::ObjectT<Interfaces::IStorageServices> {
public:
    // The client of the service at url; throws as ServiceConnection does. Nothing is sent.
    explicit HttpStorageClient(std::string url);

    // The URL as given, owned by the client.
    const char* GetUrl() override;
    // MKCOL; fails when the folder exists, its parent is missing or the server refuses.
    bool CreateFolder(const char* path, ::Core::IErrorCode** error) override;
    // PROPFIND with Depth 1: the decoded last segments of the members' hrefs as IString, in the
    // server's order, without the folder itself. Fails for a missing folder, a non-null reserved, and
    // an answer that is not a well-formed multistatus.
    bool ListFolder(const char* path, ::Core::IObject* reserved, Data::Interfaces::IObjectList** names,
                    ::Core::IErrorCode** error) override;
    // DELETE; fails when there is nothing of that name.
    bool DeleteFile(const char* path, ::Core::IErrorCode** error) override;
    // GET; the file (the caller's) holds the bytes and metadata whose hash is the ETag's. Fails when
    // the file does not exist, the ETag is missing or no SHA-256, or the bytes do not hash to it.
    bool DownloadFile(const char* name, Interfaces::IDeserializedFile** file, ::Core::IErrorCode** error) override;
    // DownloadFile for each name; missing files are left out, every other failure fails the call.
    bool DownloadFiles(Data::Interfaces::IObjectList* names, Data::Interfaces::IObjectList** files,
                       ::Core::IErrorCode** error) override;
    // HEAD; name, path (both the name as given), SHA-256 from the ETag, size from Content-Length,
    // time from Last-Modified. Fails when the file does not exist or a header is missing or malformed.
    bool GetFileMetadata(const char* name, Platform::Interfaces::IFileMetadata** metadata,
                         ::Core::IErrorCode** error) override;
    // PUT of the content under the metadata's name with its Repr-Digest. Mode StorageCreateOnly sends
    // "If-None-Match: *"; StorageReplace sends "If-Match" with the file's expected SHA-256 when it names
    // one, else replaces unconditionally. When the server refuses the precondition (412) the error
    // object has code 412 and its message starts with "Precondition failed:": the file exists
    // (create-only) or no longer has the expected hash (someone else stored it since). Every other
    // failure has code 2. Also fails, before sending, for an unknown mode, an expected hash that is no
    // SHA-256, and content that does not have the hash its metadata names.
    bool UploadFile(Interfaces::IDeserializedFile* file, int32_t mode, ::Core::IErrorCode** error) override;
    // UploadFile for each file in turn; stops at the first failure, whose error (and code) it returns.
    bool UploadFiles(Data::Interfaces::IObjectList* files, int32_t mode, ::Core::IErrorCode** error) override;
    // PROPFIND with Depth 0, so that folders count too: true for 207, false for 404, else a failure.
    bool FileExists(const char* name, bool* exists, ::Core::IErrorCode** error) override;
    // HEAD for each name; missing files are left out, every other failure fails the call.
    bool GetFilesMetadata(Data::Interfaces::IObjectList* names, Data::Interfaces::IObjectList** metadata,
                          ::Core::IErrorCode** error) override;
    // Always fails with "Function not implemented".
    bool Reserved(::Core::IObject* argument, ::Core::IErrorCode** error) override;
    // Keeps a reference to key (null: no key); its text is read at each later request.
    bool SetApiKey(Data::Interfaces::ISecureString* key, ::Core::IErrorCode** error) override;

private:
    ~HttpStorageClient() override = default;

    // The request path of a name below the service.
    std::string PathOf(const std::string& name) const;
    // The metadata of name, or null when the server answers 404.
    ::Core::Ptr<Platform::Interfaces::IFileMetadata> ReadMetadata(const std::string& name);
    // The file of that name, or null when the server answers 404.
    ::Core::Ptr<Interfaces::IDeserializedFile> Download(const std::string& name);
    void Upload(Interfaces::IDeserializedFile* file, int32_t mode);

    ServiceConnection connection_;
};

}  // namespace Vesk::CoreServices::impl
