#pragma once
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "Core/ErrorCode.h"
#include "Core/IConsole.h"
#include "Core/Object.h"
#include "Core/Ptr.h"

namespace PlatformTest {

// A console sink that keeps every call it receives, in order.
class RecordingConsole final : public Core::ObjectT<Platform::Interfaces::IConsole> {
public:
    void EndWrite() override;
    void SetColour(uint32_t colour) override;
    void Clear() override {}
    void Write(const char* text, uint64_t length) override;

    std::string Text() const;
    std::vector<std::string> Calls() const;

private:
    ~RecordingConsole() override = default;
    mutable std::mutex mutex_;
    std::string text_;
    std::vector<std::string> calls_;
};

// The message of a call through an error out-pointer that must fail (give false, null or zero).
template <class Call>
std::string FailureOf(Call&& call) {
    Core::ErrorCode error;
    EXPECT_FALSE(call(error.Receive()));
    return std::string(error.Message());
}

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);

}  // namespace PlatformTest
