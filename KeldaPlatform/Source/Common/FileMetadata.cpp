#include "Platform/FileMetadata.h"

#include <stdexcept>
#include <vector>

#include "Backend.h"
#include "Core/DataObjects.h"
#include "Core/Guard.h"
#include "Core/StringFormat.h"
#include "Platform/File.h"
#include "Platform/RichError.h"
#include "Vesk/Data/KeldaData.h"

namespace Platform::IO {
namespace {

// Hashing reads the file in pieces of this size, whatever the file's size.
constexpr uint64_t kHashPiece = 1u << 20;

void AppendJsonString(std::string& out, const std::string& text) {
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    out += Core::StringFormat("\\u%04x", c);
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

}  // namespace

namespace impl {

FileMetadataImpl::FileMetadataImpl(std::string name, std::string path, std::string sha2, uint64_t size,
                                   Core::Ptr<Data::Interfaces::IDateTime> timeModified)
    : name_(std::move(name)),
      path_(std::move(path)),
      sha2_(std::move(sha2)),
      size_(size),
      timeModified_(std::move(timeModified)) {}

bool FileMetadataImpl::GetTimeModified(Data::Interfaces::IDateTime** time) {
    return Core::AbiGuard(nullptr, [&] {
        Core::CheckOut(time);
        if (timeModified_) {
            Core::HandOut(timeModified_, time);
        }
    });
}

std::string FileMetadataImpl::JsonText() const {
    std::string json = "{\"Name\":";
    AppendJsonString(json, name_);
    if (!sha2_.empty()) {
        json += ",\"Sha2\":";
        AppendJsonString(json, sha2_);
    }
    json += ",\"Path\":";
    AppendJsonString(json, path_);
    if (timeModified_) {
        json += ",\"TimeModified\":";
        AppendJsonString(json, timeModified_.GetUnchecked()->GetText());
    }
    json += Core::StringFormat(",\"Size\":%llu}", static_cast<unsigned long long>(size_));
    return json;
}

bool FileMetadataImpl::ToJson(Data::Interfaces::IJsonDocument** document) {
    return Core::AbiGuard(nullptr, [&] {
        Core::CheckOut(document);
        Core::Ptr<Data::Interfaces::IJsonDocument> json;
        if (!Data_CreateJsonDocument(json.Receive()) || !json) {
            throw std::runtime_error("Could not create JSON document");
        }
        const std::string text = JsonText();
        Core::ThrowIfFailed([&](Core::IErrorCode** error) { return json->Load(text.data(), text.size(), error); });
        Core::HandOut(json, document);
    });
}

bool FileMetadataImpl::ToJsonText(Data::Interfaces::IString** text) {
    return Core::AbiGuard(nullptr, [&] {
        Core::CheckOut(text);
        Core::HandOut(Data::NewString(JsonText()), text);
    });
}

}  // namespace impl

std::string HashFileSha2(const std::string& path, uint32_t shareMode) {
    Core::Ptr<Data::Interfaces::IHashing> hashing;
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** error) { return Data_CreateHashingInstanceSha2(0, hashing.Receive(), error); },
        "Could not create hashing instance");
    Core::Ptr<Interfaces::ISynchrounousFile> file =
        OpenFile(path, kGenericRead, shareMode, kOpenExisting).Cast<Interfaces::ISynchrounousFile>();
    std::vector<uint8_t> piece(kHashPiece);
    for (;;) {
        uint32_t read = 0;
        Core::ThrowIfFailed([&](Core::IErrorCode** error) {
            read = file->Read(piece.data(), piece.size(), error);
            return true;
        });
        if (read == 0) {
            break;
        }
        Core::ThrowIfFailed([&](Core::IErrorCode** error) { return hashing->Update(piece.data(), read, error); });
        if (read < piece.size()) {
            break;
        }
    }
    Core::ThrowIfFailed([&](Core::IErrorCode** error) { return hashing->Finish(error); });
    return hashing->GetDigestText();
}

Core::Ptr<Interfaces::IFileMetadata> CreateFileMetadata(const std::string& path, bool computeHash) {
    if (!FileExists(path)) {
        // Fixed text: hosts match on it.
        throw std::runtime_error("File specified does not exists");
    }
    Backend::FileStatus status;
    int code = 0;
    if (!Backend::QueryFileStatus(ToLongPath(path), status, code)) {
        if (Backend::ErrorFamily() == RichError::Family::Win32) {
            RichError::ThrowWin32(static_cast<uint32_t>(code), "FileAPI");
        }
        RichError::ThrowErrno(code, "FileAPI");
    }
    Core::Ptr<Data::Interfaces::IDateTime> modified;
    Core::ThrowIfFailed([&](Core::IErrorCode** error) {
        return Data_CreateDateTimeFromPosixTime(status.modifiedSeconds, modified.Receive(), error);
    });
    // Paths from the suite's other platform may separate folders with backslashes.
    const size_t separator = path.find_last_of("/\\");
    const std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
    std::string sha2 = computeHash ? HashFileSha2(path) : std::string();
    return Core::MakeObject<impl::FileMetadataImpl>(name, path, std::move(sha2), status.size, std::move(modified));
}

}  // namespace Platform::IO

bool Platform_CreateFileMetadata(const char* path, Platform::Interfaces::IFileMetadata** metadata,
                                 Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(path);
        Core::CheckOut(metadata);
        Core::HandOut(Platform::IO::CreateFileMetadata(path), metadata);
    });
}
