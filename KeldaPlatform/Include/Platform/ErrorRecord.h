#pragma once
#include <cstdint>
#include <string>

namespace Platform {

// What a failed piece of work leaves behind: the message and where it was raised. A record whose
// noError flag is set describes a success; its texts are empty and its numbers 0. A plain value:
// tasks hand out copies, never a shared record.
struct ErrorRecord {
    bool noError = false;
    std::string message;
    std::string function;
    std::string file;
    int32_t line = 0;
    int32_t code = 0;

    static ErrorRecord None() {
        ErrorRecord record;
        record.noError = true;
        return record;
    }
    static ErrorRecord FromMessage(std::string message) {
        ErrorRecord record;
        record.message = std::move(message);
        return record;
    }
};

}  // namespace Platform
