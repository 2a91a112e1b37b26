#include "Platform/RichError.h"

#include <stdexcept>

#include "Backend.h"
#include "Core/IAppLogger.h"
#include "Core/Log.h"
#include "Core/StringFormat.h"

namespace Platform::RichError {
namespace {

const char* FamilyName(Family family) {
    switch (family) {
        case Family::Win32:
            return "Win32";
        case Family::NtStatus:
            return "NTSTATUS";
        case Family::WinHttp:
            return "WinHttp";
        case Family::HResult:
            return "HResult";
        case Family::Custom:
            return "Custom";
        case Family::Errno:
            return "Errno";
        case Family::Curl:
            return "Curl";
        default:
            return nullptr;
    }
}

const char* CustomMessage(uint32_t code) {
    switch (code) {
        case CustomNoError:
            return "No error";
        case CustomStartOnce:
            return "Start can be called only once";
        default:
            return "Invalid error code";
    }
}

// What a family says when the system has no message for a number.
const char* MissingMessage(Family family) {
    switch (family) {
        case Family::NtStatus:
            return "<Error message could not be obtained from Ntdll.dll>";
        case Family::WinHttp:
            return "<Error message could not be obtained from WinHttp.dll>";
        default:
            return "<Error message could not be obtained>";
    }
}

std::string MessageOf(Family family, uint32_t code) {
    if (family == Family::Custom) {
        return CustomMessage(code);
    }
    std::string message = Backend::SystemMessage(family, code);
    while (!message.empty() &&
           (message.back() == ' ' || message.back() == '\r' || message.back() == '\n' || message.back() == '\t')) {
        message.pop_back();
    }
    return message.empty() ? MissingMessage(family) : message;
}

[[noreturn]] void RaiseFamily(Family family, uint32_t code, int32_t printedCode, const std::string& text,
                              const char* function, const std::source_location& where) {
    ErrorRecord record =
        ErrorRecord::FromMessage(Core::StringFormat("%d: %s", printedCode, Text(family, code, text).c_str()));
    record.function = function;
    record.file = where.file_name();
    record.line = static_cast<int32_t>(where.line());
    record.code = printedCode;
    Raise(record);
}

}  // namespace

std::string Text(Family family, uint32_t code, const std::string& context) {
    std::string text;
    if (family == Family::None) {
        text = "no error";
    } else if (const char* name = FamilyName(family)) {
        text = Core::StringFormat("[%s(%u)] %s", name, code, MessageOf(family, code).c_str());
    } else {
        text = "INVALID ERROR TYPE";
    }
    return context.empty() ? text : context + "::" + text;
}

void Raise(const ErrorRecord& record) {
    Core::LogMessage(Core::LogFatal, record.function.c_str(), record.file.c_str(), record.line, record.message.c_str());
    if (Core::Ptr<Interfaces::IAppLogger> logger = Core::GetAppLoggerInstance()) {
        logger->LogStackTrace(2, 64);
    }
    throw std::runtime_error(record.message);
}

void ThrowWin32(uint32_t code, const std::string& text, const std::source_location& where) {
    RaiseFamily(Family::Win32, code, static_cast<int32_t>(code), text, "Platform::RichError::ThrowWin32", where);
}

void ThrowWinHttp(uint32_t code, const std::string& text, const std::source_location& where) {
    RaiseFamily(Family::WinHttp, code, static_cast<int32_t>(code), text, "Platform::RichError::ThrowWinHttp", where);
}

void ThrowErrno(int code, const std::string& text, const std::source_location& where) {
    RaiseFamily(Family::Errno, static_cast<uint32_t>(code), code, text, "Platform::RichError::ThrowErrno", where);
}

void ThrowLastErrno(const std::string& text, const std::source_location& where) {
    const int code = Backend::LastError();
    RaiseFamily(Family::Errno, static_cast<uint32_t>(code), code, text, "Platform::RichError::ThrowErrno", where);
}

void ThrowCurl(uint32_t code, const std::string& text, const std::source_location& where) {
    RaiseFamily(Family::Curl, code, static_cast<int32_t>(code), text, "Platform::RichError::ThrowCurl", where);
}

}  // namespace Platform::RichError
