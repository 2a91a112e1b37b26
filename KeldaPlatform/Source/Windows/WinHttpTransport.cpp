// The HTTP transport over WinHTTP in asynchronous mode. WinHTTP reports completions on its own worker
// threads through one status callback; the callback only queues them for the session's network
// thread, which also makes every WinHTTP call of a transfer. One thread thus owns each transfer's
// state, completions reach the sink one at a time, and a completion that WinHTTP delivers from inside
// one of its own calls cannot re-enter the code that made the call.
#include "Win32.h"

#include <winhttp.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "Common/Backend.h"
#include "Common/Http/HttpTransport.h"
#include "Core/Log.h"
#include "Core/StringFormat.h"
#include "Platform/RichError.h"
#include "WideText.h"
#include "WinHttpTransport.h"

namespace Platform::Network::Http::Transport {
namespace {

using RichError::ThrowWinHttp;
using Windows::Text::Narrow;
using Windows::Text::Widen;

// Session options without a name in every SDK; their values are fixed, their results ignored.
constexpr DWORD kOptionHttp2 = WINHTTP_OPTION_ENABLE_HTTP_PROTOCOL;
constexpr DWORD kHttp2Flag = 0x1;
constexpr DWORD kDecompressGzipAndDeflate = 0x1 | 0x2;
constexpr DWORD kOption138 = 138;
constexpr DWORD kOption184 = 184;
constexpr DWORD kOption184Value = 59;
// Requests ask for HTTP/2 where WinHTTP speaks it. A WinHTTP without the HTTP/2 option (Wine's, and
// Windows before 10) writes the version string into the request line as it stands, which servers
// refuse: those requests use WinHTTP's default, HTTP/1.1.
constexpr const wchar_t* kHttp2Version = L"HTTP/2.0";

constexpr const char* kCancelledText = "The operation has been cancelled";

// Response heads longer than this are refused: a server that never ends its head must not make the
// client grow without bound. WinHTTP enforces it where it knows the option; the transport checks
// what it is handed as well.
constexpr DWORD kMaxHeadBytes = 65536;

std::string HeadTooLargeText() {
    return Core::StringFormat("The response head is larger than %u bytes", unsigned(kMaxHeadBytes));
}

class WinHttpSession;

// Closes a WinHTTP handle when it goes; network thread only once shared.
struct HandleCloser {
    void operator()(void* handle) const {
        if (handle != nullptr) {
            WinHttpCloseHandle(static_cast<HINTERNET>(handle));
        }
    }
};
using UniqueInternet = std::unique_ptr<void, HandleCloser>;

// Texts for the errors a transfer meets most, for a WinHTTP whose module carries no message table
// (Wine's): a log line should say what happened, not only a number.
const char* FallbackText(uint32_t code) {
    switch (code) {
        case ERROR_WINHTTP_TIMEOUT:
            return "The operation timed out";
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
            return "The server name or address could not be resolved";
        case ERROR_WINHTTP_OPERATION_CANCELLED:
            return "The operation has been cancelled";
        case ERROR_WINHTTP_CANNOT_CONNECT:
            return "A connection with the server could not be established";
        case ERROR_WINHTTP_CONNECTION_ERROR:
            return "The connection with the server was terminated abnormally";
        case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
            return "The server returned an invalid or unrecognized response";
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
            return "An error occurred in the secure channel support";
        case ERROR_WINHTTP_SECURE_FAILURE:
            return "A security error occurred";
        case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED:
            return "The server requires a client certificate";
        default:
            return nullptr;
    }
}

std::string WinHttpText(uint32_t code) {
    std::string text = Backend::SystemMessage(RichError::Family::WinHttp, code);
    if (text.empty()) {
        text = Backend::SystemMessage(RichError::Family::Win32, code);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    if (text.empty() && FallbackText(code) != nullptr) {
        text = FallbackText(code);
    }
    return text.empty() ? Core::StringFormat("WinHTTP error %u", unsigned(code)) : text;
}

// Why WinHTTP refused the server's certificate, from the flags of its secure-failure report.
std::string CertificateProblem(uint32_t flags) {
    if ((flags & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA) != 0) {
        return "the server's certificate comes from an authority that is not trusted";
    }
    if ((flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID) != 0) {
        return "the server's certificate is for another host name";
    }
    if ((flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID) != 0) {
        return "the server's certificate has expired or is not valid yet";
    }
    if ((flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED) != 0) {
        return "the server's certificate has been revoked";
    }
    if ((flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED) != 0) {
        return "the revocation of the server's certificate could not be checked";
    }
    if ((flags & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT) != 0) {
        return "the server's certificate is invalid";
    }
    return {};
}

// The error of a failed transfer: Wine reports a receive time-out by its Winsock number where Windows
// gives WinHTTP's own.
uint32_t TransferErrorCode(uint32_t code) {
    return code == WSAETIMEDOUT ? ERROR_WINHTTP_TIMEOUT : code;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return text.size() >= n && _strnicmp(text.data(), prefix, n) == 0;
}

// The value of header name in a head of CRLF lines; empty when absent.
std::string HeadValue(const std::string& head, const char* name) {
    const size_t nameLength = std::strlen(name);
    size_t start = 0;
    while (start < head.size()) {
        size_t end = head.find('\n', start);
        if (end == std::string::npos) {
            end = head.size();
        }
        const std::string line = head.substr(start, end - start);
        if (line.size() > nameLength && line[nameLength] == ':' && _strnicmp(line.data(), name, nameLength) == 0) {
            std::string value = line.substr(nameLength + 1);
            const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
            while (!value.empty() && blank(value.front())) {
                value.erase(value.begin());
            }
            while (!value.empty() && blank(value.back())) {
                value.pop_back();
            }
            return value;
        }
        start = end + 1;
    }
    return {};
}

// WinHTTP hands over a decoded body; the head must not announce the encoding or the encoded length.
std::string WithoutEncoding(const std::string& head) {
    const std::string encoding = HeadValue(head, "Content-Encoding");
    if (_stricmp(encoding.c_str(), "gzip") != 0 && _stricmp(encoding.c_str(), "deflate") != 0 &&
        _stricmp(encoding.c_str(), "x-gzip") != 0) {
        return head;
    }
    std::string kept;
    size_t start = 0;
    while (start < head.size()) {
        size_t end = head.find('\n', start);
        end = end == std::string::npos ? head.size() : end + 1;
        const std::string line = head.substr(start, end - start);
        if (!StartsWithNoCase(line, "content-encoding:") && !StartsWithNoCase(line, "content-length:")) {
            kept += line;
        }
        start = end;
    }
    return kept;
}

void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, void* information, DWORD length);

class WinHttpTransfer final : public Transfer, public std::enable_shared_from_this<WinHttpTransfer> {
public:
    WinHttpTransfer(std::shared_ptr<WinHttpSession> session, bool secure, bool decodes, bool http2)
        : session_(std::move(session)), secure_(secure), decodes_(decodes), http2_(http2) {}

    // Opens the connection and request handles; throws the WinHTTP error when either fails.
    void Open(HINTERNET sessionHandle, const std::string& verb, const URL_COMPONENTS& url,
              const SessionSettings& settings);

    bool AddHeaders(const std::string& lines) override;
    bool Send(ITransferSink* sink, const void* body, uint64_t bodySize, bool streamedBody,
              int64_t contentLength) override;
    bool ReceiveResponse() override;
    std::string QueryRawHeaders() override;
    bool ReadData(void* buffer, uint32_t size) override;
    bool WriteData(const void* data, uint64_t size) override;
    void Close() override;

    // Any thread: the flags of WinHTTP's report on a refused certificate.
    void NoteSecureFailure(uint32_t flags) { secureFailure_.fetch_or(flags); }

    // Network thread only.
    void OnStatus(DWORD status, void* information, DWORD length, DWORD errorCode);
    void Cancel();

private:
    bool Post(std::function<void()> command);
    void Start();
    void Fail(uint32_t code, std::string text, bool cancelled);
    void FailWithLastError();
    void TryReceive();
    // Stores the response head; false when it is longer than the client takes.
    bool ReadHead();
    void CloseHandle();

    std::shared_ptr<WinHttpSession> session_;
    const bool secure_;
    const bool decodes_;  // WinHTTP decodes gzip and deflate bodies
    const bool http2_;    // the request asks for HTTP/2
    UniqueInternet connection_;
    HINTERNET request_ = nullptr;  // closed by CloseHandle; WinHTTP reports its end asynchronously

    std::mutex mutex_;         // guards headerLines_, sent_ and rawHead_
    std::string headerLines_;  // added by the caller before sending
    bool sent_ = false;
    std::string rawHead_;
    std::atomic<uint32_t> secureFailure_{0};

    // Everything below belongs to the network thread.
    ITransferSink* sink_ = nullptr;
    std::vector<char> body_;
    bool streamed_ = false;
    bool chunked_ = false;
    int64_t contentLength_ = 0;
    bool started_ = false;
    bool finished_ = false;  // failed, closed, or the body was read to its end
    bool closing_ = false;   // the request handle has been closed
    bool receiveRequested_ = false;
    bool receiveIssued_ = false;
    bool bodyEnded_ = false;  // the caller ended the request body and the last write is done
    bool writing_ = false;
    bool writingTerminator_ = false;
    std::vector<char> chunk_;  // the framed chunk in flight
};

class WinHttpSession final : public Session, public std::enable_shared_from_this<WinHttpSession> {
public:
    explicit WinHttpSession(SessionSettings settings) : settings_(std::move(settings)) {}

    ~WinHttpSession() override {
        if (thread_.joinable()) {
            if (thread_.get_id() == std::this_thread::get_id()) {
                // The thread let go of the last reference and returns right after.
                thread_.detach();
            } else {
                thread_.join();
            }
        }
    }

    void OpenHandle() {
        DWORD access = WINHTTP_ACCESS_TYPE_NO_PROXY;
        if (settings_.accessType == 1) {
            access = WINHTTP_ACCESS_TYPE_DEFAULT_PROXY;
        } else if (settings_.accessType == 2) {
            access = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        }
        const std::wstring agent = Widen(settings_.userAgent);
        handle_.reset(
            WinHttpOpen(agent.c_str(), access, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
        if (!handle_) {
            const DWORD code = GetLastError();
            ThrowWinHttp(code, "WinHttpOpen");
        }
        HINTERNET session = handle_.get();
        WinHttpSetTimeouts(session, static_cast<int>(settings_.resolveTimeoutMs),
                           static_cast<int>(settings_.connectTimeoutMs), static_cast<int>(settings_.sendTimeoutMs),
                           static_cast<int>(settings_.receiveTimeoutMs));
        // TLS 1.2 only, HTTP/2 where the server offers it, gzip and deflate decoded. A WinHTTP that
        // lacks an option works without it.
        SetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2);
        http2_ = SetOption(session, kOptionHttp2, kHttp2Flag);
        decodes_ = SetOption(session, WINHTTP_OPTION_DECOMPRESSION, kDecompressGzipAndDeflate);
        SetOption(session, WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE, kMaxHeadBytes);
        SetOption(session, kOption138, 1);
        SetOption(session, kOption184, kOption184Value);
        if (WinHttpSetStatusCallback(session, &StatusCallback, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS, 0) ==
            WINHTTP_INVALID_STATUS_CALLBACK) {
            const DWORD code = GetLastError();
            ThrowWinHttp(code, "WinHttpSetStatusCallback");
        }
    }

    void StartThread() {
        std::shared_ptr<WinHttpSession> self = shared_from_this();
        std::lock_guard<std::mutex> lock(mutex_);
        // The thread owns the session until it ends: once the session is closed and every transfer
        // has been reported closed by WinHTTP.
        thread_ = std::thread([self]() mutable {
            self->Run();
            self.reset();
        });
    }

    std::shared_ptr<Transfer> OpenRequest(const std::string& verb, const std::string& url,
                                          const SessionSettings& settings) override {
        std::wstring wideUrl = Widen(url);
        URL_COMPONENTS parts{};
        parts.dwStructSize = sizeof parts;
        parts.dwSchemeLength = static_cast<DWORD>(-1);
        parts.dwHostNameLength = static_cast<DWORD>(-1);
        parts.dwUrlPathLength = static_cast<DWORD>(-1);
        parts.dwExtraInfoLength = static_cast<DWORD>(-1);
        if (!WinHttpCrackUrl(wideUrl.c_str(), static_cast<DWORD>(wideUrl.size()), 0, &parts)) {
            const DWORD code = GetLastError();
            ThrowWinHttp(code, "WinHttpCrackUrl");
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_ || !handle_) {
            throw std::runtime_error("Invalid session");
        }
        auto transfer = std::make_shared<WinHttpTransfer>(shared_from_this(), parts.nScheme == INTERNET_SCHEME_HTTPS,
                                                          decodes_, http2_);
        SessionSettings merged = settings_;
        merged.resolveTimeoutMs = settings.resolveTimeoutMs;
        merged.connectTimeoutMs = settings.connectTimeoutMs;
        merged.sendTimeoutMs = settings.sendTimeoutMs;
        merged.receiveTimeoutMs = settings.receiveTimeoutMs;
        transfer->Open(handle_.get(), verb, parts, merged);
        // From here on WinHTTP may report on the request, whose end it always reports: keep the
        // transfer until then.
        active_.insert(transfer);
        return transfer;
    }

    void Close() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            return;
        }
        stopping_ = true;
        commands_.push_back([this] {
            std::vector<std::shared_ptr<WinHttpTransfer>> running;
            {
                std::lock_guard<std::mutex> inner(mutex_);
                running.assign(active_.begin(), active_.end());
            }
            for (const auto& transfer : running) {
                transfer->Cancel();
            }
        });
        wake_.notify_all();
    }

    // Whether WinHTTP took the HTTP/2 option, and requests ask for HTTP/2.
    bool AsksForHttp2() const { return http2_; }

    // Queues command for the network thread; false once the thread has ended.
    bool Post(std::function<void()> command) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (finished_) {
            return false;
        }
        commands_.push_back(std::move(command));
        wake_.notify_all();
        return true;
    }

    bool IsStopping() {
        std::lock_guard<std::mutex> lock(mutex_);
        return stopping_;
    }

    // WinHTTP has reported the request handle closed; network thread only.
    void Forget(const std::shared_ptr<WinHttpTransfer>& transfer) {
        std::lock_guard<std::mutex> lock(mutex_);
        active_.erase(transfer);
        wake_.notify_all();
    }

private:
    static bool SetOption(HINTERNET handle, DWORD option, DWORD value) {
        return WinHttpSetOption(handle, option, &value, sizeof value) != FALSE;
    }

    void Run() {
        for (;;) {
            std::function<void()> command;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return !commands_.empty() || (stopping_ && active_.empty()); });
                if (commands_.empty()) {
                    finished_ = true;
                    break;
                }
                command = std::move(commands_.front());
                commands_.pop_front();
            }
            command();
        }
        // Every request has been reported closed: no callback can come any more.
        UniqueInternet handle;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            handle = std::move(handle_);
        }
        if (handle) {
            WinHttpSetStatusCallback(handle.get(), nullptr, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS, 0);
        }
    }

    const SessionSettings settings_;
    std::mutex mutex_;  // guards handle_, commands_, active_, stopping_ and finished_
    std::condition_variable wake_;
    UniqueInternet handle_;
    std::deque<std::function<void()>> commands_;
    std::unordered_set<std::shared_ptr<WinHttpTransfer>> active_;
    bool stopping_ = false;
    bool finished_ = false;
    bool decodes_ = false;  // set once before the thread starts
    bool http2_ = false;    // set once before the thread starts
    std::thread thread_;    // set once at the start
};

void CALLBACK StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, void* information, DWORD length) {
    // The session and connection handles carry no context: only requests report.
    if (context == 0) {
        return;
    }
    auto* transfer = reinterpret_cast<WinHttpTransfer*>(context);
    switch (status) {
        case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        case WINHTTP_CALLBACK_STATUS_WRITE_COMPLETE:
        case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
            transfer->OnStatus(status, information, length, 0);
            break;
        case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
            if (information != nullptr && length >= sizeof(DWORD)) {
                transfer->NoteSecureFailure(*static_cast<const DWORD*>(information));
            }
            break;
        case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: {
            const auto* result = static_cast<const WINHTTP_ASYNC_RESULT*>(information);
            transfer->OnStatus(status, nullptr, 0, result != nullptr ? result->dwError : ERROR_WINHTTP_INTERNAL_ERROR);
            break;
        }
        default:
            break;
    }
}

void WinHttpTransfer::Open(HINTERNET sessionHandle, const std::string& verb, const URL_COMPONENTS& url,
                           const SessionSettings& settings) {
    const std::wstring host(url.lpszHostName, url.dwHostNameLength);
    std::wstring path(url.lpszUrlPath, url.dwUrlPathLength);
    path.append(url.lpszExtraInfo, url.dwExtraInfoLength);
    connection_.reset(WinHttpConnect(sessionHandle, host.c_str(), url.nPort, 0));
    if (!connection_) {
        const DWORD code = GetLastError();
        ThrowWinHttp(code, "WinHttpConnect");
    }
    const std::wstring wideVerb = Widen(verb.empty() ? std::string("GET") : verb);
    const DWORD flags = secure_ ? WINHTTP_FLAG_SECURE : 0;
    request_ = WinHttpOpenRequest(connection_.get(), wideVerb.c_str(), path.c_str(), http2_ ? kHttp2Version : nullptr,
                                  WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    if (request_ == nullptr) {
        const DWORD code = GetLastError();
        ThrowWinHttp(code, "WinHttpOpenRequest");
    }
    // The request's reports carry the transfer; it lives until WinHTTP reports the handle closing.
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(this);
    WinHttpSetOption(request_, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
    WinHttpSetOption(request_, WINHTTP_OPTION_CLIENT_CERT_CONTEXT, WINHTTP_NO_CLIENT_CERT_CONTEXT, 0);
    if (!WinHttpSetTimeouts(request_, static_cast<int>(settings.resolveTimeoutMs),
                            static_cast<int>(settings.connectTimeoutMs), static_cast<int>(settings.sendTimeoutMs),
                            static_cast<int>(settings.receiveTimeoutMs))) {
        Core::LogMessage(Core::LogError, "Platform::Network::Http::HttpClientImpl::CreateRequest", __FILE__, __LINE__,
                         Core::StringFormat("Failed to set timeouts: %d", static_cast<int>(GetLastError())).c_str());
    }
}

bool WinHttpTransfer::Post(std::function<void()> command) {
    std::shared_ptr<WinHttpTransfer> self = shared_from_this();
    return session_->Post([self, command = std::move(command)] { command(); });
}

bool WinHttpTransfer::AddHeaders(const std::string& lines) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (sent_) {
        return false;
    }
    headerLines_ += lines;
    return true;
}

bool WinHttpTransfer::Send(ITransferSink* sink, const void* body, uint64_t bodySize, bool streamedBody,
                           int64_t contentLength) {
    if (!streamedBody && bodySize > 0xFFFFFFFFull) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (sent_ || session_->IsStopping()) {
            return false;
        }
        sent_ = true;
    }
    std::vector<char> copy;
    if (!streamedBody && body != nullptr && bodySize > 0) {
        copy.assign(static_cast<const char*>(body), static_cast<const char*>(body) + bodySize);
    }
    // The sink is only ever called on the network thread, and only once this command has run.
    return Post([this, sink, copy = std::move(copy), streamedBody, contentLength]() mutable {
        sink_ = sink;
        body_ = std::move(copy);
        streamed_ = streamedBody;
        chunked_ = streamedBody && contentLength < 0;
        contentLength_ = contentLength;
        Start();
    });
}

void WinHttpTransfer::Start() {
    if (closing_ || finished_) {
        return;
    }
    if (session_->IsStopping()) {
        Fail(ERROR_WINHTTP_OPERATION_CANCELLED, kCancelledText, true);
        return;
    }
    std::string lines;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lines = headerLines_;
    }
    if (streamed_ && !chunked_) {
        lines += Core::StringFormat("Content-Length: %llu\r\n", static_cast<unsigned long long>(contentLength_));
    } else if (chunked_ && HeadValue(lines, "Transfer-Encoding").empty()) {
        lines += "Transfer-Encoding: chunked\r\n";
    }
    if (!lines.empty()) {
        const std::wstring wide = Widen(lines);
        if (!WinHttpAddRequestHeaders(request_, wide.c_str(), static_cast<DWORD>(wide.size()),
                                      WINHTTP_ADDREQ_FLAG_ADD)) {
            FailWithLastError();
            return;
        }
    }
    DWORD total = 0;
    if (!streamed_) {
        total = static_cast<DWORD>(body_.size());
    } else if (!chunked_ && contentLength_ <= 0xFFFFFFFFll) {
        total = static_cast<DWORD>(contentLength_);
    } else {
        total = WINHTTP_IGNORE_REQUEST_TOTAL_LENGTH;
    }
    started_ = true;
    if (!WinHttpSendRequest(request_, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            body_.empty() ? WINHTTP_NO_REQUEST_DATA : body_.data(), static_cast<DWORD>(body_.size()),
                            total, reinterpret_cast<DWORD_PTR>(this))) {
        FailWithLastError();
    }
}

bool WinHttpTransfer::ReceiveResponse() {
    return Post([this] {
        receiveRequested_ = true;
        TryReceive();
    });
}

void WinHttpTransfer::TryReceive() {
    // WinHTTP takes the whole request body before it looks for the response.
    if (!receiveRequested_ || receiveIssued_ || finished_ || closing_ || !started_ || writing_ ||
        (streamed_ && !bodyEnded_)) {
        return;
    }
    receiveIssued_ = true;
    if (!WinHttpReceiveResponse(request_, nullptr)) {
        FailWithLastError();
    }
}

std::string WinHttpTransfer::QueryRawHeaders() {
    std::lock_guard<std::mutex> lock(mutex_);
    return rawHead_;
}

bool WinHttpTransfer::ReadData(void* buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) {
        return false;
    }
    return Post([this, buffer, size] {
        if (finished_ || closing_) {
            return;
        }
        if (!WinHttpReadData(request_, buffer, size, nullptr)) {
            FailWithLastError();
        }
    });
}

bool WinHttpTransfer::WriteData(const void* data, uint64_t size) {
    if (size > 0xFFFFFFF0ull) {
        return false;
    }
    return Post([this, data, size] {
        if (finished_ || closing_ || bodyEnded_) {
            return;
        }
        const bool end = size == 0;
        if (!chunked_) {
            if (end) {
                bodyEnded_ = true;
                TryReceive();
                return;
            }
            writing_ = true;
            if (!WinHttpWriteData(request_, data, static_cast<DWORD>(size), nullptr)) {
                writing_ = false;
                FailWithLastError();
            }
            return;
        }
        // Chunked transfer encoding: the size in hexadecimal, the bytes and a line end, as one write
        // from a buffer that lives until WinHTTP has taken it.
        chunk_.clear();
        const std::string prefix = Core::StringFormat("%llX\r\n", static_cast<unsigned long long>(size));
        chunk_.insert(chunk_.end(), prefix.begin(), prefix.end());
        if (!end) {
            chunk_.insert(chunk_.end(), static_cast<const char*>(data), static_cast<const char*>(data) + size);
        }
        // The last chunk is empty: "0", a line end, and the line end that closes the body.
        chunk_.push_back('\r');
        chunk_.push_back('\n');
        writing_ = true;
        writingTerminator_ = end;
        if (!WinHttpWriteData(request_, chunk_.data(), static_cast<DWORD>(chunk_.size()), nullptr)) {
            writing_ = false;
            FailWithLastError();
        }
    });
}

void WinHttpTransfer::Close() {
    Post([this] {
        if (!finished_ && started_ && sink_ != nullptr) {
            Fail(ERROR_WINHTTP_OPERATION_CANCELLED, kCancelledText, true);
        }
        CloseHandle();
    });
}

void WinHttpTransfer::Cancel() {
    if (!finished_ && started_) {
        Fail(ERROR_WINHTTP_OPERATION_CANCELLED, kCancelledText, true);
    }
    CloseHandle();
}

void WinHttpTransfer::CloseHandle() {
    if (closing_) {
        return;
    }
    closing_ = true;
    finished_ = true;
    // WinHTTP answers with WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING, the transfer's last report.
    WinHttpCloseHandle(std::exchange(request_, nullptr));
}

void WinHttpTransfer::Fail(uint32_t code, std::string text, bool cancelled) {
    finished_ = true;
    if (sink_ != nullptr) {
        sink_->OnRequestError(TransferError{code, std::move(text), cancelled});
    }
}

void WinHttpTransfer::FailWithLastError() {
    const uint32_t code = TransferErrorCode(GetLastError());
    Fail(code, WinHttpText(code), code == ERROR_WINHTTP_OPERATION_CANCELLED);
}

bool WinHttpTransfer::ReadHead() {
    DWORD size = 0;
    WinHttpQueryHeaders(request_, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
    DWORD error = GetLastError();
    std::string head;
    if (error == ERROR_INSUFFICIENT_BUFFER && size > 0) {
        std::wstring wide(size / sizeof(wchar_t) + 1, L'\0');
        DWORD bytes = size;
        if (WinHttpQueryHeaders(request_, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, wide.data(),
                                &bytes, WINHTTP_NO_HEADER_INDEX)) {
            head = Narrow(wide.c_str(), bytes / sizeof(wchar_t));
            if (decodes_) {
                head = WithoutEncoding(head);
            }
            error = 0;
        } else {
            error = GetLastError();
        }
    }
    if (error != 0) {
        // The request then finds an empty head and fails with its own words.
        Core::LogMessage(Core::LogError, "Platform::Network::Http::HttpRequestImpl::OnHeadersAvailable", __FILE__,
                         __LINE__,
                         Core::StringFormat("WinHttpQueryHeaders failed (%d) %s", static_cast<int>(error),
                                            WinHttpText(error).c_str())
                             .c_str());
    }
    if (head.size() > kMaxHeadBytes) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    rawHead_ = std::move(head);
    return true;
}

void WinHttpTransfer::OnStatus(DWORD status, void* information, DWORD length, DWORD errorCode) {
    // Runs on a WinHTTP thread (or inside a WinHTTP call of the network thread): hand over and leave.
    std::shared_ptr<WinHttpTransfer> self = shared_from_this();
    session_->Post([self, status, information, length, errorCode] {
        WinHttpTransfer& t = *self;
        switch (status) {
            case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING: {
                ITransferSink* sink = std::exchange(t.sink_, nullptr);
                t.connection_.reset();
                t.session_->Forget(self);
                if (sink != nullptr) {
                    sink->OnHandleClosing();
                }
                return;
            }
            case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
                if (!t.finished_) {
                    const uint32_t code = TransferErrorCode(errorCode);
                    std::string text =
                        code == ERROR_WINHTTP_HEADER_SIZE_OVERFLOW ? HeadTooLargeText() : WinHttpText(code);
                    const std::string problem = CertificateProblem(t.secureFailure_.load());
                    if (!problem.empty()) {
                        text += ": " + problem;
                    }
                    t.Fail(code, std::move(text), code == ERROR_WINHTTP_OPERATION_CANCELLED);
                }
                return;
            default:
                break;
        }
        if (t.finished_ || t.closing_ || t.sink_ == nullptr) {
            return;
        }
        switch (status) {
            case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
                t.sink_->OnSendRequestComplete();
                t.TryReceive();
                break;
            case WINHTTP_CALLBACK_STATUS_WRITE_COMPLETE:
                t.writing_ = false;
                if (t.writingTerminator_) {
                    t.bodyEnded_ = true;
                    t.TryReceive();
                } else {
                    t.sink_->OnWriteComplete();
                    t.TryReceive();
                }
                break;
            case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
                if (!t.ReadHead()) {
                    t.Fail(ERROR_WINHTTP_HEADER_SIZE_OVERFLOW, HeadTooLargeText(), false);
                    break;
                }
                t.sink_->OnHeadersAvailable();
                break;
            case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
                // The end of the body ends the transfer: closing it afterwards cancels nothing.
                t.finished_ = t.finished_ || length == 0;
                t.sink_->OnReadComplete(information, length);
                break;
            default:
                break;
        }
    });
}

}  // namespace

std::shared_ptr<Session> OpenSession(const SessionSettings& settings) {
    auto session = std::make_shared<WinHttpSession>(settings);
    session->OpenHandle();
    session->StartThread();
    return session;
}

std::string ErrorText(uint32_t code) {
    return WinHttpText(code);
}

bool AsksForHttp2(const Session& session) {
    const auto* winHttp = dynamic_cast<const WinHttpSession*>(&session);
    return winHttp != nullptr && winHttp->AsksForHttp2();
}

}  // namespace Platform::Network::Http::Transport
