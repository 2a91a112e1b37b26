#pragma once
#include <string>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Vesk/Services/IStorageServices.h"

namespace Platform::IO {

// A storage file made of its metadata, its bytes and the hash an upload expects the stored file to have
// (empty for none). Immutable after construction, hence safe for concurrent use.
class DeserializedFile final : public Core::ObjectT<Vesk::Interfaces::IDeserializedFile> {
public:
    DeserializedFile(Core::Ptr<Interfaces::IFileMetadata> metadata, Core::Ptr<Data::Interfaces::IArray> content,
                     std::string expectedSha2 = {})
        : metadata_(std::move(metadata)), content_(std::move(content)), expectedSha2_(std::move(expectedSha2)) {}

    bool GetMetadata(Interfaces::IFileMetadata** metadata, Core::IErrorCode** error) override;
    bool GetContent(Data::Interfaces::IArray** content, Core::IErrorCode** error) override;
    const char* GetExpectedSha2() override { return expectedSha2_.c_str(); }

private:
    ~DeserializedFile() override = default;

    Core::Ptr<Interfaces::IFileMetadata> metadata_;
    Core::Ptr<Data::Interfaces::IArray> content_;
    std::string expectedSha2_;
};

}  // namespace Platform::IO
