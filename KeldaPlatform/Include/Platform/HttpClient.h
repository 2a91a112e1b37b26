#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "Core/Ptr.h"
#include "Platform/IHttp.h"
#include "Vesk/Data/Structures.h"

namespace Platform::Network::Http {

// A parsed response head: every header line by name (the status line under "Response") and the
// status code read from the status line.
struct ResponseHead {
    std::unordered_map<std::string, std::string> headers;
    uint32_t statusCode = 0;
};

// Splits raw head text (CRLF or LF lines, status line first) into head. Lines split at their first
// ":"; names and values lose surrounding white space; the status code is the number between the
// first and second space. Returns false, with what is wrong in problem, for a status line that is not
// "HTTP/<version> <three digits>[ reason]" or a header line without a name and colon; head is filled
// as far as the rules allow either way.
bool ParseResponseHead(std::string_view raw, ResponseHead& head, std::string& problem);

// The name of a method in log lines ("Get", "Post", ...); empty beyond the table.
const char* MethodName(uint32_t method);
// The verb sent for a method; empty for methods that have none (which are sent as GET).
const char* MethodVerb(uint32_t method);

// A client that is constructed but not opened: default time-outs, plain HTTP, no texts.
Core::Ptr<Interfaces::IHttpClient> CreateHttpClient();

// The client for one server: opened with userAgent and the system's default proxy, connected to url
// ("http[s]://host[:port][/...]") and secure when url starts with "https". Throws "Session creation
// failed" or "Cannot connect to the specified server".
Core::Ptr<Interfaces::IHttpClient> OpenHttpClient(const std::string& url, const std::string& userAgent);

// An empty header set owned by the caller.
Core::Ptr<Interfaces::IHttpHeaders> CreateHttpHeaders();
// An empty accept-type list owned by the caller.
Core::Ptr<Interfaces::IAcceptTypes> CreateAcceptTypes();
// A fixed-size stream over a copy of size bytes at data (zeros when data is null).
Core::Ptr<Interfaces::IStream> CreateMemoryStream(const void* data, uint64_t size, bool readable, bool writable);

}  // namespace Platform::Network::Http

using HttpResponseFunction = void (*)(Platform::Interfaces::IHttpRequest* request,
                                      Platform::Interfaces::IHttpResponse* response, Data::Structures::_VARIANT* result,
                                      Core::IErrorCode** error);
using HttpResponseFunction2 = void (*)(Platform::Interfaces::IHttpRequest* request,
                                       Platform::Interfaces::IHttpResponse* response,
                                       const Data::Structures::_VARIANT* userData, Data::Structures::_VARIANT* result,
                                       Core::IErrorCode** error);

// Sends request and hands out a task (owned by the caller) that completes with what onResponse
// makes of a response below 400. A status of 400 or more, a failed request and a cancelled one fail
// the task. The task ends on the calling thread, during its pumping waits. Fails when the request
// cannot be sent.
bool Platform_ReceiveSuccessfulHttpResponse(Platform::Interfaces::IHttpRequest* request,
                                            HttpResponseFunction onResponse, Platform::Interfaces::IAsyncTask** task,
                                            Core::IErrorCode** error);
// The same with a value (copied) that is handed to onResponse.
bool Platform_ReceiveSuccessfulHttpResponse2(Platform::Interfaces::IHttpRequest* request,
                                             HttpResponseFunction2 onResponse,
                                             const Data::Structures::_VARIANT* userData,
                                             Platform::Interfaces::IAsyncTask** task, Core::IErrorCode** error);
