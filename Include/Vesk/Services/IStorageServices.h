#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/IArray.h"
#include "Vesk/Data/IObjectList.h"
#include "Vesk/Data/IString.h"
#include "Vesk/Platform/IFileMetadata.h"

namespace Vesk::Interfaces {

// One file of a workspace's storage: what is known of it and its bytes. A download hands one out; an
// upload takes one, which may also name the hash that the stored file must still have. The library's
// files are immutable after construction, hence safe for concurrent use.
struct IDeserializedFile : Core::IObject {
    // The file's name, SHA-256, size and modification time, with a new reference.
    virtual bool GetMetadata(Platform::Interfaces::IFileMetadata** metadata, Core::IErrorCode** error) = 0;
    // The file's bytes, with a new reference.
    virtual bool GetContent(Data::Interfaces::IArray** content, Core::IErrorCode** error) = 0;
    // For an upload: the SHA-256 (64 lower-case hexadecimal characters) that the stored file must still
    // have to be replaced, or "" when the uploader knows of no stored version.
    virtual const char* GetExpectedSha2() = 0;
};

// How UploadFile treats a file that exists on the server.
enum StorageUploadMode : int32_t {
    // Fails when the file exists.
    StorageCreateOnly = 0,
    // Replaces it; when the uploaded file names an expected hash, only if the stored file still has it.
    StorageReplace = 1,
};

// The client of one workspace's storage service on a workspace server. Paths are relative to the
// storage root and use "/". Safe for concurrent use; each call waits for its answer. A refusal by the
// server fails the call with a message that names the file and the server's reason.
struct IStorageServices : Core::IObject {
    // The storage service's URL, owned by the client.
    virtual const char* GetUrl() = 0;
    // Creates a folder whose parent exists.
    virtual bool CreateFolder(const char* path, Core::IErrorCode** error) = 0;
    // The names (IString) of the entries of a folder, files and folders alike. reserved must be null.
    virtual bool ListFolder(const char* path, Core::IObject* reserved, Data::Interfaces::IObjectList** names,
                            Core::IErrorCode** error) = 0;
    // Deletes a file, or a folder with everything in it; fails when there is none.
    virtual bool DeleteFile(const char* path, Core::IErrorCode** error) = 0;
    // Downloads one file; fails when it does not exist or its bytes do not have the announced hash.
    virtual bool DownloadFile(const char* name, IDeserializedFile** file, Core::IErrorCode** error) = 0;
    // One IDeserializedFile per name (IString) that exists, in the order of names.
    virtual bool DownloadFiles(Data::Interfaces::IObjectList* names, Data::Interfaces::IObjectList** files,
                               Core::IErrorCode** error) = 0;
    // The metadata of one file; fails when it does not exist.
    virtual bool GetFileMetadata(const char* name, Platform::Interfaces::IFileMetadata** metadata,
                                 Core::IErrorCode** error) = 0;
    // Stores file under its metadata's name (mode: a StorageUploadMode). The server replaces the stored
    // file in one step, so a concurrent reader sees the old or the new bytes, never a mix; a failed
    // upload leaves the stored file as it was. When the server refuses the precondition (the file exists
    // for StorageCreateOnly, or no longer has the expected hash for StorageReplace), the error object has
    // code 412 and a message that starts with "Precondition failed:"; other failures have code 2.
    virtual bool UploadFile(IDeserializedFile* file, int32_t mode, Core::IErrorCode** error) = 0;
    // UploadFile for each IDeserializedFile of files in turn; stops at the first failure, whose error
    // (code included) it returns.
    virtual bool UploadFiles(Data::Interfaces::IObjectList* files, int32_t mode, Core::IErrorCode** error) = 0;
    // Whether a file or folder of that name exists.
    virtual bool FileExists(const char* name, bool* exists, Core::IErrorCode** error) = 0;
    // One IFileMetadata per name (IString) that exists, in the order of names.
    virtual bool GetFilesMetadata(Data::Interfaces::IObjectList* names, Data::Interfaces::IObjectList** metadata,
                                  Core::IErrorCode** error) = 0;
    // Holds its place in the operation order; always fails with "Function not implemented".
    virtual bool Reserved(Core::IObject* argument, Core::IErrorCode** error) = 0;
    // Later requests carry key in the "x-api-key" header; null sends none. The client keeps a reference.
    virtual bool SetApiKey(Data::Interfaces::ISecureString* key, Core::IErrorCode** error) = 0;
};

}  // namespace Vesk::Interfaces
