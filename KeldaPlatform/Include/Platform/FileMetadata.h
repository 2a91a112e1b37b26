#pragma once
#include <cstdint>
#include <string>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Platform/File.h"
#include "Platform/IFileMetadata.h"

namespace Platform::IO {
namespace impl {

// Immutable after construction, hence safe for concurrent use.
class FileMetadataImpl final : public Core::ObjectT<Interfaces::IFileMetadata> {
public:
    FileMetadataImpl(std::string name, std::string path, std::string sha2, uint64_t size,
                     Core::Ptr<Data::Interfaces::IDateTime> timeModified);

    const char* GetName() override { return name_.c_str(); }
    const char* GetSha2() override { return sha2_.c_str(); }
    const char* GetPath() override { return path_.c_str(); }
    bool GetTimeModified(Data::Interfaces::IDateTime** time) override;
    uint64_t GetSize() override { return size_; }
    bool ToJson(Data::Interfaces::IJsonDocument** document) override;
    bool ToJsonText(Data::Interfaces::IString** text) override;

    // The JSON form as text: {"Name", "Sha2" (when computed), "Path", "TimeModified", "Size"}.
    std::string JsonText() const;

private:
    ~FileMetadataImpl() override = default;

    std::string name_;
    std::string path_;
    std::string sha2_;
    uint64_t size_;
    Core::Ptr<Data::Interfaces::IDateTime> timeModified_;
};

}  // namespace impl

// Describes an existing file; hashes its content unless computeHash is false. Reads the file through
// descriptors that never drop locks that another part of the process holds on it. The caller owns
// the result; throws "File specified does not exists" for a missing file. Safe from any thread.
Core::Ptr<Interfaces::IFileMetadata> CreateFileMetadata(const std::string& path, bool computeHash = true);

// The SHA-256 of a file's content as lower-case hexadecimal text, read in pieces of constant size
// through a descriptor opened with shareMode; throws when the file cannot be opened or read.
std::string HashFileSha2(const std::string& path, uint32_t shareMode = kShareRead | kShareDelete);

}  // namespace Platform::IO

bool Platform_CreateFileMetadata(const char* path, Platform::Interfaces::IFileMetadata** metadata,
                                 Core::IErrorCode** error);
