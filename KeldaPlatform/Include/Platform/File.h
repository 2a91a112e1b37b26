#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "Core/Ptr.h"
#include "Platform/IFile.h"
#include "Vesk/Data/IArray.h"

namespace Platform::IO {

// Access rights, share modes, creation dispositions and flags in the suite's numbering.
inline constexpr uint32_t kGenericRead = 0x80000000u;
inline constexpr uint32_t kGenericWrite = 0x40000000u;
inline constexpr uint32_t kFileReadAttributes = 0x80u;
inline constexpr uint32_t kShareRead = 0x1u;
inline constexpr uint32_t kShareWrite = 0x2u;
inline constexpr uint32_t kShareDelete = 0x4u;
inline constexpr uint32_t kCreateNew = 1;
inline constexpr uint32_t kCreateAlways = 2;
inline constexpr uint32_t kOpenExisting = 3;
inline constexpr uint32_t kOpenAlways = 4;
inline constexpr uint32_t kTruncateExisting = 5;
inline constexpr uint32_t kFlagOverlapped = 0x40000000u;
inline constexpr uint32_t kAttributeReadOnly = 0x1u;
inline constexpr uint32_t kAttributeHidden = 0x2u;
inline constexpr uint32_t kAttributeDirectory = 0x10u;
inline constexpr uint32_t kAttributeArchive = 0x20u;
inline constexpr uint32_t kAttributeNormal = 0x80u;

// Every function here is safe to call from any thread.

// Opens a file: access 0 gives a plain IFile, any other access an ISynchrounousFile; the caller owns
// the new object. Throws "Failed to open or create file at location %s" with the system's code when
// the file cannot be opened, is a folder, or is to be truncated without write access; throws "Support
// for async files not yet implemented" for overlapped I/O.
Core::Ptr<Interfaces::IFile> OpenFile(const std::string& path, uint32_t access, uint32_t shareMode,
                                      uint32_t creationDisposition, uint32_t flagsAndAttributes = 0);

// The long form of a path for the file functions: on Windows an absolute path gains the \\?\ prefix
// that lifts the length limit; where paths have no such limit, every path is its own long form.
std::string ToLongPath(const std::string& path);

// The file-system path named by UTF-8 text (never read in the system's code page).
std::filesystem::path PathFromUtf8(const std::string& path);

// True when path names an existing entry that is not a directory; throws "Invalid ObjectName" for an
// empty path.
bool FileExists(const std::string& path);

// The most bytes one Read or Write of a file can report: they count in 32 bits.
inline constexpr uint64_t kMaxFilePiece = 0xFFFFFFFFull;

// Reads size bytes from the file's current position into buffer, asking for at most piece bytes at a
// time (piece 0 or above kMaxFilePiece: kMaxFilePiece) so that every count fits the file's 32-bit
// result. Throws when the file fails or ends before size bytes were read.
void ReadFully(Interfaces::ISynchrounousFile& file, uint8_t* buffer, uint64_t size, uint64_t piece = kMaxFilePiece);

// Writes size bytes at data to a new temporary file beside path, flushes it to the storage and renames
// it over path in one step: a reader, or a crash at any moment, leaves path with its old bytes or the
// new ones, never a part. On failure path is as it was and the temporary file is removed.
void ReplaceFileAtomically(const std::string& path, const void* data, uint64_t size);

// The whole file as a new byte array object, read with ReadFully in pieces of at most piece bytes.
// Throws "file_size" when the size cannot be taken, and what ReadFully throws when the file holds
// fewer bytes than its size said.
Core::Ptr<Data::Interfaces::IArray> ReadFileToArray(const std::string& path, uint64_t piece = kMaxFilePiece);

// Closes descriptors whose closing had to wait because another part of the process (a database
// connection) had the same file open and could be holding locks on it; gives how many remain open.
size_t ClosePendingDescriptors();

}  // namespace Platform::IO

// The error-code forms.
bool Platform_OpenFile(const char* path, uint32_t access, uint32_t shareMode, uint32_t creationDisposition,
                       uint32_t flagsAndAttributes, Platform::Interfaces::IFile** file, Core::IErrorCode** error);
bool Platform_ReadFileToArray(const char* path, Data::Interfaces::IArray** array, Core::IErrorCode** error);
