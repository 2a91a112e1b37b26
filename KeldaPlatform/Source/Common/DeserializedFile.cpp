#include "Platform/DeserializedFile.h"

#include "Core/Guard.h"

namespace Platform::IO {

bool DeserializedFile::GetMetadata(Interfaces::IFileMetadata** metadata, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(metadata);
        Core::HandOut(metadata_, metadata);
    });
}

bool DeserializedFile::GetContent(Data::Interfaces::IArray** content, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(content);
        Core::HandOut(content_, content);
    });
}

}  // namespace Platform::IO
