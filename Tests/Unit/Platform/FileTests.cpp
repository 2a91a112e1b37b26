// Files, metadata with content hashes, and memory mappings.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Core/Crypto.h"
#include "Core/DataObjects.h"
#include "Core/ErrorCode.h"
#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Core/StringFormat.h"
#include "Platform/File.h"
#include "Platform/FileMapping.h"
#include "Platform/FileMetadata.h"
#include "PlatformTestSupport.h"
#include "Support/TempFolder.h"
#include "Support/Thrown.h"

namespace {

using namespace Platform::IO;
using Platform::Interfaces::IFile;
using Platform::Interfaces::IFileMapping;
using Platform::Interfaces::IFileMetadata;
using Platform::Interfaces::ISynchrounousFile;
using PlatformTest::FailureOf;
using PlatformTest::ReadWholeFile;
using PlatformTest::WriteWholeFile;
using VeskTest::MessageThrownBy;

Core::Ptr<ISynchrounousFile> OpenSync(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition) {
    return OpenFile(path, access, share, disposition).Cast<ISynchrounousFile>();
}

Core::Ptr<IFileMapping> Map(const std::string& path, uint64_t size, bool readOnly) {
    return CreateFileMapping(Data::NewString(path).GetUnchecked(), size, readOnly);
}

class FileTest : public ::testing::Test {
protected:
    VeskTest::TempFolder folder_;
};

TEST_F(FileTest, SizeIsTakenAtOpenOnlyWithoutWriteSharing) {
    const std::string path = folder_.File("size.bin");
    WriteWholeFile(path, "abcd");
    Core::Ptr<IFile> exclusive = OpenFile(path, kGenericRead, kShareRead, kOpenExisting);
    Core::Ptr<IFile> shared = OpenFile(path, kGenericRead, kShareRead | kShareWrite, kOpenExisting);
    EXPECT_EQ(exclusive->GetSize(), 4u);
    EXPECT_EQ(shared->GetSize(), 4u);
    std::ofstream(path, std::ios::binary | std::ios::app) << "efghij";
    EXPECT_EQ(exclusive->GetSize(), 4u);
    EXPECT_EQ(shared->GetSize(), 10u);
    EXPECT_EQ(exclusive->GetShareMode(), kShareRead);
    EXPECT_EQ(exclusive->GetAccess(), kGenericRead);
}

TEST_F(FileTest, ReadsWritesAndPositions) {
    const std::string path = folder_.File("rw.bin");
    Core::Ptr<ISynchrounousFile> file = OpenSync(path, kGenericRead | kGenericWrite, kShareRead, kCreateAlways);
    EXPECT_EQ(file->Write("abcd", 4, nullptr), 4u);
    EXPECT_EQ(file->GetPosition(nullptr), 4u);
    ASSERT_TRUE(file->SetPosition(0, nullptr));
    char buffer[10] = {};
    EXPECT_EQ(file->Read(buffer, sizeof buffer, nullptr), 4u);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(file->Read(buffer, sizeof buffer, nullptr), 0u);
    ASSERT_TRUE(file->SetPosition(1, nullptr));
    EXPECT_EQ(file->Write("XY", 2, nullptr), 2u);
    ASSERT_TRUE(file->SeekToEnd(nullptr));
    EXPECT_EQ(file->GetPosition(nullptr), 4u);
    EXPECT_EQ(ReadWholeFile(path), "aXYd");

    EXPECT_EQ(FailureOf([&](auto e) { return file->Read(nullptr, 1, e); }), "Pointer of void must not be null!");
    // A file opened for writing only cannot be read; the failure names the system's reason.
    Core::Ptr<ISynchrounousFile> writeOnly = OpenSync(path, kGenericWrite, kShareRead, kOpenExisting);
    const std::string denied = FailureOf([&](auto e) { return writeOnly->Read(buffer, 1, e); });
    EXPECT_NE(denied.find("Failed to read file::[Errno(9)]"), std::string::npos) << denied;
}

// The message of an open that must fail.
std::string Refusal(const std::string& path, uint32_t access, uint32_t disposition, uint32_t flags = 0) {
    IFile* file = nullptr;
    Core::ErrorCode error;
    EXPECT_FALSE(Platform_OpenFile(path.c_str(), access, kShareRead, disposition, flags, &file, error.Receive()));
    EXPECT_EQ(file, nullptr);
    return std::string(error.Message());
}

TEST_F(FileTest, CreationDispositionsAndOpeningErrors) {
    const std::string path = folder_.File("new.bin");
    const std::string failed = "Failed to open or create file at location ";
    EXPECT_EQ(Refusal(path, kGenericRead, kOpenExisting),
              "2: " + failed + path + "::[Errno(2)] No such file or directory");
    OpenFile(path, kGenericWrite, 0, kCreateNew);
    EXPECT_EQ(Refusal(path, kGenericWrite, kCreateNew), "17: " + failed + path + "::[Errno(17)] File exists");
    WriteWholeFile(path, "content");
    EXPECT_EQ(OpenFile(path, kGenericWrite, 0, kOpenAlways)->GetSize(), 7u);
    // An unknown disposition, and truncation without write access, are refused before anything
    // happens to the content; so is a folder.
    const std::string invalid = "22: " + failed + path + "::[Errno(22)] Invalid argument";
    EXPECT_EQ(Refusal(path, kGenericRead, 99), invalid);
    EXPECT_EQ(Refusal(path, kGenericRead, kTruncateExisting), invalid);
    EXPECT_EQ(Refusal(path, 0, kTruncateExisting), invalid);
    EXPECT_EQ(ReadWholeFile(path), "content");
    const std::string dir = folder_.Path().string();
    EXPECT_EQ(Refusal(dir, kGenericRead, kOpenExisting), "21: " + failed + dir + "::[Errno(21)] Is a directory");
    EXPECT_EQ(Refusal(dir, 0, kOpenExisting), "21: " + failed + dir + "::[Errno(21)] Is a directory");
    EXPECT_EQ(OpenFile(path, kGenericWrite, 0, kTruncateExisting)->GetSize(), 0u);
    EXPECT_EQ(Refusal(path, kGenericRead, kOpenExisting, kFlagOverlapped),
              "Support for async files not yet implemented");
}

TEST_F(FileTest, AccessZeroGivesAPlainFileWithAttributes) {
    const std::string path = folder_.File(".hidden");
    WriteWholeFile(path, "x");
    IFile* raw = nullptr;
    ASSERT_TRUE(Platform_OpenFile(path.c_str(), 0, kShareRead | kShareWrite, kOpenExisting, 0, &raw, nullptr));
    Core::Ptr<IFile> file = Core::Ptr<IFile>::Adopt(raw);
    EXPECT_FALSE(file.TryCast<ISynchrounousFile>());
    EXPECT_EQ(file->GetAttributes(nullptr), kAttributeHidden);
    ASSERT_TRUE(file->SetAttributes(kAttributeReadOnly, nullptr));
    EXPECT_EQ(file->GetAttributes(nullptr), kAttributeHidden | kAttributeReadOnly);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0222, 0u);
    ASSERT_TRUE(file->SetAttributes(kAttributeNormal, nullptr));
    EXPECT_EQ(file->GetAttributes(nullptr), kAttributeHidden);
    EXPECT_TRUE(file->Reserved(7, nullptr));

    const std::string plain = folder_.File("plain.txt");
    WriteWholeFile(plain, "x");
    EXPECT_EQ(OpenFile(plain, 0, kShareRead, kOpenExisting)->GetAttributes(nullptr), kAttributeNormal);
}

// A file of any length that asks for no disk: each read marks the last byte it would fill with 'M'
// and reports its count in 32 bits, as a real file does.
class EndlessFile final : public Core::ObjectT<ISynchrounousFile> {
public:
    explicit EndlessFile(uint64_t length) : remaining_(length) {}
    uint64_t GetSize() override { return 0; }
    Platform::Interfaces::FileHandle GetHandle() override { return -1; }
    uint32_t GetAttributes(Core::IErrorCode**) override { return kAttributeNormal; }
    bool SetAttributes(uint32_t, Core::IErrorCode**) override { return true; }
    bool Reserved(uint64_t, Core::IErrorCode**) override { return true; }
    uint32_t GetAccess() override { return kGenericRead; }
    uint32_t GetShareMode() override { return kShareRead; }
    uint32_t Read(void* buffer, uint64_t size, Core::IErrorCode**) override {
        const uint64_t got = std::min(size, remaining_);
        if (got > 0) {
            static_cast<uint8_t*>(buffer)[got - 1] = 'M';
        }
        remaining_ -= got;
        asked.push_back(size);
        return static_cast<uint32_t>(got);
    }
    uint32_t Write(const void*, uint64_t, Core::IErrorCode**) override { return 0; }
    bool SetPosition(uint64_t, Core::IErrorCode**) override { return true; }
    bool SeekToEnd(Core::IErrorCode**) override { return true; }
    uint64_t GetPosition(Core::IErrorCode**) override { return 0; }
    std::vector<uint64_t> asked;

private:
    ~EndlessFile() override = default;
    uint64_t remaining_;
};

TEST_F(FileTest, WholeFileReadsGoInPiecesWhoseCountsFitIn32BitsAndExistenceTests) {
    // 2^32 + 5 bytes in one read would report 5. The target is a sparse mapped file, so that only
    // the two pages the reads mark take memory or disk.
    constexpr uint64_t kSize = (1ull << 32) + 5;
    const std::string target = folder_.File("sparse.bin");
    {
        Core::Ptr<IFileMapping> mapping = Map(target, kSize, false);
        auto file = Core::MakeObject<EndlessFile>(kSize);
        ReadFully(*file, mapping->GetData(), kSize);
        EXPECT_EQ(file->asked, (std::vector<uint64_t>{kMaxFilePiece, kSize - kMaxFilePiece}));
        EXPECT_EQ(mapping->GetData()[kMaxFilePiece - 1], 'M');
        EXPECT_EQ(mapping->GetData()[kSize - 1], 'M');
    }
    std::filesystem::remove(target);

    // Small pieces read the same bytes; a file shorter than its size said is an error, not a short
    // array.
    const std::string path = folder_.File("data.bin");
    const std::string content(
        "a\0b\xff"
        "56789",
        10);
    WriteWholeFile(path, content);
    Core::Ptr<Data::Interfaces::IArray> array = ReadFileToArray(path, 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(array->GetData()), array->GetByteSize()), content);
    std::vector<uint8_t> buffer(16);
    EXPECT_EQ(MessageThrownBy([&] {
                  ReadFully(*OpenSync(path, kGenericRead, kShareRead, kOpenExisting), buffer.data(), buffer.size(), 4);
              }),
              "The file ended after 10 of 16 bytes");
    Data::Interfaces::IArray* none = nullptr;
    const std::string missing =
        FailureOf([&](auto e) { return Platform_ReadFileToArray(folder_.File("nope").c_str(), &none, e); });
    EXPECT_NE(missing.find("file_size"), std::string::npos) << missing;

    EXPECT_TRUE(FileExists(path));
    EXPECT_FALSE(FileExists(folder_.File("nope")));
    EXPECT_FALSE(FileExists(folder_.Path().string()));
    EXPECT_FALSE(MessageThrownBy([] { FileExists(""); }).empty());
    EXPECT_EQ(ToLongPath("/a/b"), "/a/b");
}

TEST_F(FileTest, MetadataDescribesAndHashesTheFileOrSaysItIsMissing) {
    const std::string path = folder_.File("abc.txt");
    WriteWholeFile(path, "abc");
    struct timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

    IFileMetadata* raw = nullptr;
    ASSERT_TRUE(Platform_CreateFileMetadata(path.c_str(), &raw, nullptr));
    Core::Ptr<IFileMetadata> metadata = Core::Ptr<IFileMetadata>::Adopt(raw);
    EXPECT_STREQ(metadata->GetName(), "abc.txt");
    EXPECT_STREQ(metadata->GetPath(), path.c_str());
    EXPECT_EQ(metadata->GetSize(), 3u);
    EXPECT_STREQ(metadata->GetSha2(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    Core::Ptr<Data::Interfaces::IDateTime> modified;
    ASSERT_TRUE(metadata->GetTimeModified(modified.Receive()));
    EXPECT_EQ(modified->GetMilliseconds(), 1700000000000);

    Core::Ptr<Data::Interfaces::IString> json;
    ASSERT_TRUE(metadata->ToJsonText(json.Receive()));
    EXPECT_EQ(std::string(json->GetText()),
              "{\"Name\":\"abc.txt\",\"Sha2\":\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\","
              "\"Path\":\"" +
                  path + "\",\"TimeModified\":\"" + modified->GetText() + "\",\"Size\":3}");
    Core::Ptr<Data::Interfaces::IJsonDocument> document;
    ASSERT_TRUE(metadata->ToJson(document.Receive()));
    EXPECT_TRUE(document->IsValid());
    Data::Interfaces::IJsonDocument* occupied = document.GetUnchecked();
    EXPECT_FALSE(metadata->ToJson(&occupied));
    EXPECT_EQ(occupied, document.GetUnchecked());

    // Without a hash there is no "Sha2"; names are escaped and end at either separator.
    const std::string weird = folder_.File("we\"ird\\name.txt");
    WriteWholeFile(weird, "x");
    Core::Ptr<Data::Interfaces::IString> unhashed;
    ASSERT_TRUE(CreateFileMetadata(weird, false)->ToJsonText(unhashed.Receive()));
    const std::string text = unhashed->GetText();
    EXPECT_EQ(text.find("Sha2"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Name\":\"name.txt\""), std::string::npos) << text;
    EXPECT_NE(text.find("we\\\"ird\\\\name.txt"), std::string::npos) << text;
    IFileMetadata* none = nullptr;
    EXPECT_EQ(FailureOf([&](auto e) { return Platform_CreateFileMetadata(folder_.File("missing").c_str(), &none, e); }),
              "File specified does not exists");
}

long MaxResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST_F(FileTest, HashingALargeFileStreamsInConstantMemory) {
    const std::string path = folder_.File("sparse.bin");
    constexpr off_t kSize = 256ll << 20;
    {
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, kSize), 0);
        ASSERT_EQ(::pwrite(fd, "end", 3, kSize - 3), 3);
        ::close(fd);
    }
    const long before = MaxResidentKilobytes();
    const std::string hash = HashFileSha2(path);
    const long grown = MaxResidentKilobytes() - before;
    EXPECT_LT(grown, 32 * 1024) << "resident memory grew by " << grown << " KiB";

    // The same content hashed by a reference implementation, a megabyte at a time.
    Core::Crypto::Sha256 reference;
    std::vector<unsigned char> zeros(1 << 20, 0);
    for (off_t done = 0; done < kSize - (1 << 20); done += 1 << 20) {
        reference.Update(zeros.data(), zeros.size());
    }
    std::memcpy(zeros.data() + zeros.size() - 3, "end", 3);
    reference.Update(zeros.data(), zeros.size());
    const std::array<uint8_t, 32> digest = reference.Finish();
    std::string expected;
    for (unsigned char byte : digest) {
        expected += Core::StringFormat("%02x", byte);
    }
    EXPECT_EQ(hash, expected);
}

TEST_F(FileTest, ReadOnlyMappingsShowTheFileAndMayNotOutgrowIt) {
    const std::string empty = folder_.File("empty.bin");
    WriteWholeFile(empty, "");
    IFileMapping* mapping = nullptr;
    const auto failure = [&](const char* path, uint64_t size) {
        return FailureOf([&](auto e) {
            return Platform_CreateFileMapping(path ? Data::NewString(path).GetUnchecked() : nullptr, size, true,
                                              &mapping, e);
        });
    };
    EXPECT_EQ(failure(empty.c_str(), 1),
              "When creating file mapping in read only mode, size should not be greater than file size");
    EXPECT_NE(failure(empty.c_str(), 0).find("Could not create file mapping object"), std::string::npos);
    EXPECT_EQ(failure(nullptr, 0), "Pointer of struct Data::Interfaces::IString must not be null!");

    const std::string data = folder_.File("data.bin");
    WriteWholeFile(data, "hello");
    Core::Ptr<IFileMapping> view = Map(data, 0, true);
    EXPECT_TRUE(view->IsReadOnly());
    ASSERT_EQ(view->GetSize(), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(view->GetData()), 5), "hello");
    // Read-only mappings have nothing to write back.
    EXPECT_TRUE(view->Flush(3, 1, false, nullptr));
}

TEST_F(FileTest, WritableMappingsExtendFlushRangesAndStampTimes) {
    const std::string path = folder_.File("map.bin");
    WriteWholeFile(path, "abc");
    const uint64_t size = 3 * 4096 + 10;
    {
        Core::Ptr<IFileMapping> mapping = Map(path, size, false);
        ASSERT_EQ(mapping->GetSize(), size);
        EXPECT_FALSE(mapping->IsReadOnly());
        EXPECT_EQ(std::filesystem::file_size(path), size);
        EXPECT_EQ(std::memcmp(mapping->GetData(), "abc", 3), 0);

        std::memcpy(mapping->GetData() + 5000, "mapped", 6);
        struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
        // A range that starts inside a page is flushed from that page's start.
        ASSERT_TRUE(mapping->Flush(5000, 5006, true, nullptr));
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_GT(info.st_mtim.tv_sec, std::time(nullptr) - 60);
        EXPECT_GT(info.st_atim.tv_sec, std::time(nullptr) - 60);

        EXPECT_TRUE(mapping->Flush(0, size, false, nullptr));
        EXPECT_TRUE(mapping->Flush(7, 7, false, nullptr));
        for (const auto& [from, to] : {std::pair<uint64_t, uint64_t>{10, 5}, {0, size + 1}}) {
            EXPECT_EQ(FailureOf([&](auto e) { return mapping->Flush(from, to, false, e); }), "Invalid offsets");
        }
    }
    const std::string content = ReadWholeFile(path);
    ASSERT_EQ(content.size(), size);
    EXPECT_EQ(content.substr(5000, 6), "mapped");
}

}  // namespace
