// The HTTP transport over libcurl's multi interface: one network thread per session drives every
// transfer with curl_multi_poll, and every operation of a transfer is handed to that thread as a
// command, so that curl handles are only ever touched there.
#include <curl/curl.h>
#include <openssl/ssl.h>

#include <strings.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <unordered_set>
#include <utility>
#include <vector>

#include "Common/Http/HttpTransport.h"
#include "Core/IAppLogger.h"
#include "Core/Log.h"
#include "Core/StringFormat.h"

namespace Platform::Network::Http::Transport {
namespace {

// Response heads longer than this are refused: a server that never ends its head must not make the
// client grow without bound.
constexpr size_t kMaxHeadBytes = 65536;
// Body bytes held for a reader that has not asked for them yet; beyond this the transfer pauses.
constexpr size_t kInboxLimit = 1 << 20;
constexpr long kReceiveBufferSize = 256 * 1024;
constexpr long kUploadBufferSize = 512 * 1024;
constexpr long kMaxRedirects = 10;

using Clock = std::chrono::steady_clock;

bool IsOpenSslBackend() {
    static const bool openssl = [] {
        const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
        return info != nullptr && info->ssl_version != nullptr && std::strncmp(info->ssl_version, "OpenSSL", 7) == 0;
    }();
    return openssl;
}

void GlobalInit() {
    static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (result != CURLE_OK) {
        throw std::runtime_error(curl_easy_strerror(result));
    }
}

// Trust exactly what OpenSSL calls the machine's trust store (its default verify paths, which the
// system's certificate package fills and SSL_CERT_FILE / SSL_CERT_DIR may replace).
CURLcode UseDefaultTrustStore(CURL*, void* sslContext, void*) {
    if (SSL_CTX_set_default_verify_paths(static_cast<SSL_CTX*>(sslContext)) != 1) {
        return CURLE_SSL_CACERT_BADFILE;
    }
    return CURLE_OK;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return text.size() >= n && strncasecmp(text.data(), prefix, n) == 0;
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
        std::string line = head.substr(start, end - start);
        if (line.size() > nameLength && line[nameLength] == ':' && strncasecmp(line.data(), name, nameLength) == 0) {
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

int StatusOf(const std::string& head) {
    // "HTTP/1.1 200 OK": the number after the first space.
    const size_t space = head.find(' ');
    return space == std::string::npos ? 0 : std::atoi(head.c_str() + space + 1);
}

// Network threads whose session ended on the thread itself (its last owner let go from a callback)
// cannot join themselves; they are joined here: by the next session, and at the latest when the
// process ends. The reaper is never destroyed, because a network thread may still be ending while
// the process exits; a thread buried after that point is detached. Safe for concurrent use; mutex_
// guards threads_ and closed_.
class ThreadReaper {
public:
    static ThreadReaper& Instance() {
        // Registered after the application logger is made, so that the joining at exit happens
        // before the logger that the ending threads may have used is destroyed.
        static ThreadReaper* const reaper = [] {
            Core::GetAppLoggerInstance();
            auto* instance = new ThreadReaper();
            std::atexit([] { Instance().Close(); });
            return instance;
        }();
        return *reaper;
    }
    void Bury(std::thread thread) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) {
            thread.detach();
            return;
        }
        threads_.push_back(std::move(thread));
    }
    void JoinAll() { Join(TakeThreads(false)); }

private:
    ThreadReaper() = default;
    void Close() { Join(TakeThreads(true)); }
    std::vector<std::thread> TakeThreads(bool close) {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = closed_ || close;
        std::vector<std::thread> threads;
        threads.swap(threads_);
        return threads;
    }
    void Join(std::vector<std::thread> threads) {
        for (std::thread& thread : threads) {
            if (thread.get_id() == std::this_thread::get_id()) {
                Bury(std::move(thread));
            } else {
                thread.join();
            }
        }
    }

    std::mutex mutex_;
    std::vector<std::thread> threads_;
    bool closed_ = false;
};

class CurlSession;

class CurlTransfer final : public Transfer, public std::enable_shared_from_this<CurlTransfer> {
public:
    CurlTransfer(std::shared_ptr<CurlSession> session, SessionSettings settings, std::string verb, std::string url)
        : session_(std::move(session)), settings_(std::move(settings)), verb_(std::move(verb)), url_(std::move(url)) {}
    ~CurlTransfer() override;

    bool AddHeaders(const std::string& lines) override;
    bool Send(ITransferSink* sink, const void* body, uint64_t bodySize, bool streamedBody,
              int64_t contentLength) override;
    bool ReceiveResponse() override;
    std::string QueryRawHeaders() override;
    bool ReadData(void* buffer, uint32_t size) override;
    bool WriteData(const void* data, uint64_t size) override;
    void Close() override;

    // Network thread only.
    void OnDone(CURLcode result);
    void Cancel();
    CURL* Easy() const { return easy_; }

private:
    friend class CurlSession;

    bool Post(std::function<void()> command);
    void Start();
    void Configure(int64_t contentLength);
    void Fail(uint32_t code, std::string text, bool cancelled);
    void FinaliseHead();
    void DeliverHead();
    void ServeRead();
    void UpdatePause();

    static size_t OnHeaderLine(char* data, size_t size, size_t count, void* self);
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    static size_t OnUpload(char* buffer, size_t size, size_t count, void* self);
    static int OnProgress(void* self, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow);

    std::shared_ptr<CurlSession> session_;
    const SessionSettings settings_;
    const std::string verb_;
    const std::string url_;

    std::mutex mutex_;         // guards headerLines_, sent_ and rawHead_
    std::string headerLines_;  // added by the caller before sending
    bool sent_ = false;
    std::string rawHead_;  // the final response head, once known
    std::atomic<bool> failed_{false};

    // Everything below belongs to the network thread.
    ITransferSink* sink_ = nullptr;
    CURL* easy_ = nullptr;
    curl_slist* headers_ = nullptr;
    char errorBuffer_[CURL_ERROR_SIZE] = {};
    std::vector<char> body_;
    bool streamed_ = false;
    bool inMulti_ = false;
    bool finished_ = false;  // curl is done with the transfer, or it failed
    bool closed_ = false;
    std::string abortText_;  // why a callback stopped the transfer
    uint32_t abortCode_ = 0;

    std::string head_;  // the head being received
    bool headFinal_ = false;
    bool headDelivered_ = false;
    bool receiveRequested_ = false;
    bool bodyEnded_ = false;

    std::vector<char> inbox_;
    size_t inboxStart_ = 0;
    void* readBuffer_ = nullptr;
    uint32_t readSize_ = 0;
    bool recvPaused_ = false;

    const char* piece_ = nullptr;
    uint64_t pieceLeft_ = 0;
    bool bodyWritten_ = false;  // the caller ended the body
    bool sendPaused_ = false;

    Clock::time_point lastActivity_ = Clock::now();
    curl_off_t lastDown_ = 0;
    curl_off_t lastUp_ = 0;
};

class CurlSession final : public Session, public std::enable_shared_from_this<CurlSession> {
public:
    explicit CurlSession(SessionSettings settings) : settings_(std::move(settings)) {
        GlobalInit();
        multi_ = curl_multi_init();
        if (multi_ == nullptr) {
            throw std::runtime_error("curl_multi_init failed");
        }
    }
    ~CurlSession() override {
        if (multi_ != nullptr) {
            curl_multi_cleanup(multi_);
        }
        if (thread_.joinable()) {
            if (thread_.get_id() == std::this_thread::get_id()) {
                ThreadReaper::Instance().Bury(std::move(thread_));
            } else {
                thread_.join();
            }
        }
    }

    void StartThread() {
        ThreadReaper::Instance().JoinAll();
        std::shared_ptr<CurlSession> self = shared_from_this();
        // The thread owns the session until it ends; it ends once the session is closed and every
        // transfer is gone.
        std::lock_guard<std::mutex> lock(mutex_);
        thread_ = std::thread([self]() mutable {
            self->Run();
            self.reset();
        });
    }

    std::shared_ptr<Transfer> OpenRequest(const std::string& verb, const std::string& url,
                                          const SessionSettings& settings) override {
        SessionSettings merged = settings_;
        merged.resolveTimeoutMs = settings.resolveTimeoutMs;
        merged.connectTimeoutMs = settings.connectTimeoutMs;
        merged.sendTimeoutMs = settings.sendTimeoutMs;
        merged.receiveTimeoutMs = settings.receiveTimeoutMs;
        return std::make_shared<CurlTransfer>(shared_from_this(), std::move(merged), verb, url);
    }

    void Close() override {
        bool onWorker = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) {
                return;
            }
            stopping_ = true;
            onWorker = std::this_thread::get_id() == workerId_;
            commands_.push_back([this] {
                std::vector<std::shared_ptr<CurlTransfer>> running(active_.begin(), active_.end());
                for (const auto& transfer : running) {
                    transfer->Cancel();
                }
            });
            curl_multi_wakeup(multi_);
        }
        if (!onWorker) {
            // Waits for the thread only when nothing outlives it; a transfer that its owner keeps open
            // keeps the thread until it is closed.
            std::unique_lock<std::mutex> lock(mutex_);
            stopped_.wait_for(lock, std::chrono::seconds(5), [this] { return finished_ || !active_.empty(); });
        }
    }

    // False once the thread has ended.
    bool Post(std::function<void()> command) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (finished_) {
                return false;
            }
            commands_.push_back(std::move(command));
            // Under the lock: the thread releases the multi handle under it once it has finished.
            curl_multi_wakeup(multi_);
        }
        return true;
    }

    bool IsStopping() {
        std::lock_guard<std::mutex> lock(mutex_);
        return stopping_;
    }

    // Network thread only.
    bool Add(const std::shared_ptr<CurlTransfer>& transfer) {
        if (curl_multi_add_handle(multi_, transfer->Easy()) != CURLM_OK) {
            return false;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        active_.insert(transfer);
        return true;
    }
    void Remove(CURL* easy) { curl_multi_remove_handle(multi_, easy); }
    void Forget(const std::shared_ptr<CurlTransfer>& transfer) {
        std::lock_guard<std::mutex> lock(mutex_);
        active_.erase(transfer);
    }
    void Unpause(CURL* easy, int mask) { curl_easy_pause(easy, mask); }

private:
    void Run() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            workerId_ = std::this_thread::get_id();
        }
        for (;;) {
            std::deque<std::function<void()>> commands;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                commands.swap(commands_);
                if (commands.empty() && stopping_ && active_.empty()) {
                    finished_ = true;
                    curl_multi_cleanup(multi_);
                    multi_ = nullptr;
                    break;
                }
            }
            for (auto& command : commands) {
                command();
            }
            int running = 0;
            curl_multi_perform(multi_, &running);
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
                if (message->msg != CURLMSG_DONE) {
                    continue;
                }
                CurlTransfer* transfer = nullptr;
                curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
                const CURLcode result = message->data.result;
                if (transfer != nullptr) {
                    transfer->OnDone(result);
                }
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!commands_.empty() || (stopping_ && active_.empty())) {
                    continue;
                }
            }
            curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
        }
        stopped_.notify_all();
    }

    const SessionSettings settings_;
    CURLM* multi_ = nullptr;
    std::mutex mutex_;  // guards commands_, active_, stopping_, finished_ and workerId_
    std::condition_variable stopped_;
    std::deque<std::function<void()>> commands_;
    std::unordered_set<std::shared_ptr<CurlTransfer>> active_;
    bool stopping_ = false;
    bool finished_ = false;
    std::thread::id workerId_;
    std::thread thread_;  // set once at the start
};

CurlTransfer::~CurlTransfer() {
    if (easy_ != nullptr) {
        curl_easy_cleanup(easy_);
    }
    curl_slist_free_all(headers_);
}

bool CurlTransfer::Post(std::function<void()> command) {
    std::shared_ptr<CurlTransfer> self = shared_from_this();
    return session_->Post([self, command = std::move(command)] { command(); });
}

bool CurlTransfer::AddHeaders(const std::string& lines) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (sent_) {
        return false;
    }
    headerLines_ += lines;
    return true;
}

bool CurlTransfer::Send(ITransferSink* sink, const void* body, uint64_t bodySize, bool streamedBody,
                        int64_t contentLength) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (sent_ || session_->IsStopping()) {
            return false;
        }
        sent_ = true;
    }
    sink_ = sink;
    streamed_ = streamedBody;
    if (!streamedBody && body != nullptr && bodySize > 0) {
        body_.assign(static_cast<const char*>(body), static_cast<const char*>(body) + bodySize);
    }
    easy_ = curl_easy_init();
    if (easy_ == nullptr) {
        return false;
    }
    Configure(streamedBody ? contentLength : static_cast<int64_t>(body_.size()));
    return Post([this] { Start(); });
}

void CurlTransfer::Configure(int64_t contentLength) {
    CURL* e = easy_;
    curl_easy_setopt(e, CURLOPT_PRIVATE, this);
    curl_easy_setopt(e, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(e, CURLOPT_USERAGENT, settings_.userAgent.c_str());
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
    curl_easy_setopt(e, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    if (settings_.accessType != 1) {
        // Only the default access type uses the system's proxy configuration.
        curl_easy_setopt(e, CURLOPT_PROXY, "");
    }
    if (IsOpenSslBackend()) {
        curl_easy_setopt(e, CURLOPT_CAINFO, nullptr);
        curl_easy_setopt(e, CURLOPT_CAPATH, nullptr);
        curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, UseDefaultTrustStore);
    }
    const uint64_t connectMs = static_cast<uint64_t>(settings_.resolveTimeoutMs) + settings_.connectTimeoutMs;
    if (settings_.connectTimeoutMs != 0 && connectMs <= 0x7FFFFFFF) {
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectMs));
    }
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
    // A secure request is never redirected to plain HTTP.
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, StartsWithNoCase(url_, "https:") ? "https" : "http,https");
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferSize);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &CurlTransfer::OnHeaderLine);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlTransfer::OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &CurlTransfer::OnProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);

    std::string lines;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lines = headerLines_;
    }
    bool hasContentType = false;
    size_t start = 0;
    while (start < lines.size()) {
        size_t end = lines.find("\r\n", start);
        if (end == std::string::npos) {
            end = lines.size();
        }
        std::string line = lines.substr(start, end - start);
        if (!line.empty()) {
            hasContentType = hasContentType || StartsWithNoCase(line, "content-type:");
            headers_ = curl_slist_append(headers_, line.c_str());
        }
        start = end + 2;
    }
    // The request carries what its owner gave and nothing else: no "Expect: 100-continue" pause, no
    // form content type for a body.
    headers_ = curl_slist_append(headers_, "Expect:");
    if (!hasContentType) {
        headers_ = curl_slist_append(headers_, "Content-Type:");
    }

    const bool hasBody = verb_ == "POST" || verb_ == "PUT" || verb_ == "DELETE" || verb_ == "PATCH";
    if (verb_ == "HEAD") {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else if (hasBody) {
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        if (verb_ != "POST") {
            curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb_.c_str());
        }
        if (streamed_) {
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(contentLength));
            curl_easy_setopt(e, CURLOPT_READFUNCTION, &CurlTransfer::OnUpload);
            curl_easy_setopt(e, CURLOPT_READDATA, this);
            if (contentLength < 0) {
                bool declared = false;
                for (curl_slist* item = headers_; item != nullptr; item = item->next) {
                    declared = declared || StartsWithNoCase(item->data, "transfer-encoding:");
                }
                if (!declared) {
                    headers_ = curl_slist_append(headers_, "Transfer-Encoding: chunked");
                }
            }
        } else {
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
            curl_easy_setopt(e, CURLOPT_POSTFIELDS, body_.empty() ? "" : body_.data());
        }
    } else if (!verb_.empty() && verb_ != "GET") {
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb_.c_str());
    }
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers_);
}

void CurlTransfer::Start() {
    if (closed_ || finished_) {
        return;
    }
    if (session_->IsStopping()) {
        Fail(CURLE_ABORTED_BY_CALLBACK, "The operation has been cancelled", true);
        return;
    }
    lastActivity_ = Clock::now();
    if (!session_->Add(shared_from_this())) {
        Fail(CURLE_FAILED_INIT, "The transfer could not be started", false);
        return;
    }
    inMulti_ = true;
    sink_->OnSendRequestComplete();
}

bool CurlTransfer::ReceiveResponse() {
    if (failed_.load()) {
        return false;
    }
    return Post([this] {
        receiveRequested_ = true;
        DeliverHead();
        ServeRead();
    });
}

std::string CurlTransfer::QueryRawHeaders() {
    std::lock_guard<std::mutex> lock(mutex_);
    return rawHead_;
}

bool CurlTransfer::ReadData(void* buffer, uint32_t size) {
    if (failed_.load() || buffer == nullptr || size == 0) {
        return false;
    }
    return Post([this, buffer, size] {
        if (finished_ && !bodyEnded_) {
            return;
        }
        readBuffer_ = buffer;
        readSize_ = size;
        ServeRead();
        UpdatePause();
    });
}

bool CurlTransfer::WriteData(const void* data, uint64_t size) {
    if (failed_.load()) {
        return false;
    }
    return Post([this, data, size] {
        if (size == 0) {
            bodyWritten_ = true;
        } else {
            piece_ = static_cast<const char*>(data);
            pieceLeft_ = size;
        }
        lastActivity_ = Clock::now();
        UpdatePause();
    });
}

void CurlTransfer::Close() {
    Post([this] {
        if (closed_) {
            return;
        }
        if (!finished_ && sink_ != nullptr) {
            Fail(CURLE_ABORTED_BY_CALLBACK, "The operation has been cancelled", true);
        }
        closed_ = true;
        if (inMulti_) {
            session_->Remove(easy_);
            inMulti_ = false;
        }
        ITransferSink* sink = std::exchange(sink_, nullptr);
        session_->Forget(shared_from_this());
        if (sink != nullptr) {
            sink->OnHandleClosing();
        }
    });
}

void CurlTransfer::Cancel() {
    if (!finished_) {
        Fail(CURLE_ABORTED_BY_CALLBACK, "The operation has been cancelled", true);
    }
}

void CurlTransfer::Fail(uint32_t code, std::string text, bool cancelled) {
    finished_ = true;
    failed_.store(true);
    if (inMulti_) {
        session_->Remove(easy_);
        inMulti_ = false;
    }
    readBuffer_ = nullptr;
    if (sink_ != nullptr) {
        sink_->OnRequestError(TransferError{code, std::move(text), cancelled});
    }
}

void CurlTransfer::OnDone(CURLcode result) {
    if (finished_) {
        return;
    }
    if (result != CURLE_OK) {
        std::string text = !abortText_.empty()       ? abortText_
                           : errorBuffer_[0] != '\0' ? std::string(errorBuffer_)
                                                     : std::string(curl_easy_strerror(result));
        const uint32_t code = abortCode_ != 0 ? abortCode_ : static_cast<uint32_t>(result);
        Fail(code, std::move(text), false);
        return;
    }
    session_->Remove(easy_);
    inMulti_ = false;
    finished_ = true;
    bodyEnded_ = true;
    FinaliseHead();
    DeliverHead();
    ServeRead();
}

void CurlTransfer::FinaliseHead() {
    if (headFinal_) {
        return;
    }
    headFinal_ = true;
    std::string head = head_;
    // curl hands over a decoded body; the head must not announce the encoded length any more.
    const std::string encoding = HeadValue(head, "Content-Encoding");
    if (strcasecmp(encoding.c_str(), "gzip") == 0 || strcasecmp(encoding.c_str(), "deflate") == 0 ||
        strcasecmp(encoding.c_str(), "x-gzip") == 0) {
        std::string kept;
        size_t start = 0;
        while (start < head.size()) {
            size_t end = head.find('\n', start);
            end = end == std::string::npos ? head.size() : end + 1;
            std::string line = head.substr(start, end - start);
            if (!StartsWithNoCase(line, "content-encoding:") && !StartsWithNoCase(line, "content-length:")) {
                kept += line;
            }
            start = end;
        }
        head = std::move(kept);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    rawHead_ = std::move(head);
}

void CurlTransfer::DeliverHead() {
    if (!headFinal_ || headDelivered_ || !receiveRequested_ || closed_ || sink_ == nullptr) {
        return;
    }
    headDelivered_ = true;
    sink_->OnHeadersAvailable();
}

void CurlTransfer::ServeRead() {
    if (readBuffer_ == nullptr || !headDelivered_ || sink_ == nullptr) {
        return;
    }
    const size_t available = inbox_.size() - inboxStart_;
    if (available > 0) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(available, readSize_));
        std::memcpy(readBuffer_, inbox_.data() + inboxStart_, n);
        inboxStart_ += n;
        if (inboxStart_ == inbox_.size()) {
            inbox_.clear();
            inboxStart_ = 0;
        }
        void* buffer = std::exchange(readBuffer_, nullptr);
        sink_->OnReadComplete(buffer, n);
    } else if (bodyEnded_) {
        void* buffer = std::exchange(readBuffer_, nullptr);
        sink_->OnReadComplete(buffer, 0);
    }
}

void CurlTransfer::UpdatePause() {
    if (!inMulti_) {
        return;
    }
    bool change = false;
    if (recvPaused_ && (readBuffer_ != nullptr || inbox_.size() - inboxStart_ < kInboxLimit / 2)) {
        recvPaused_ = false;
        change = true;
    }
    if (sendPaused_ && (pieceLeft_ > 0 || bodyWritten_)) {
        sendPaused_ = false;
        change = true;
    }
    if (change) {
        lastActivity_ = Clock::now();
        session_->Unpause(easy_, (recvPaused_ ? CURLPAUSE_RECV : 0) | (sendPaused_ ? CURLPAUSE_SEND : 0));
    }
}

size_t CurlTransfer::OnHeaderLine(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<CurlTransfer*>(self);
    const size_t n = size * count;
    t->lastActivity_ = Clock::now();
    if (n >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
        // A new head: the one before was an interim answer or a redirect that curl follows.
        t->head_.clear();
    }
    if (t->head_.size() + n > kMaxHeadBytes) {
        t->abortText_ = Core::StringFormat("The response head is larger than %u bytes", unsigned(kMaxHeadBytes));
        t->abortCode_ = CURLE_RECV_ERROR;
        return 0;
    }
    t->head_.append(data, n);
    const bool blank = (n == 2 && data[0] == '\r' && data[1] == '\n') || (n == 1 && data[0] == '\n');
    if (blank) {
        const int status = StatusOf(t->head_);
        const bool interim = status >= 100 && status < 200;
        const bool redirect = (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) &&
                              !HeadValue(t->head_, "Location").empty();
        if (!interim && !redirect) {
            t->FinaliseHead();
            t->DeliverHead();
        }
    }
    return n;
}

size_t CurlTransfer::OnBody(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<CurlTransfer*>(self);
    const size_t n = size * count;
    t->lastActivity_ = Clock::now();
    t->FinaliseHead();
    t->DeliverHead();
    size_t used = 0;
    if (t->readBuffer_ != nullptr && t->inbox_.size() == t->inboxStart_ && t->headDelivered_ && t->sink_ != nullptr) {
        used = std::min<size_t>(n, t->readSize_);
        std::memcpy(t->readBuffer_, data, used);
        void* buffer = std::exchange(t->readBuffer_, nullptr);
        t->sink_->OnReadComplete(buffer, static_cast<uint32_t>(used));
    }
    const size_t rest = n - used;
    if (rest == 0) {
        return n;
    }
    if (used == 0 && t->inbox_.size() - t->inboxStart_ + rest > kInboxLimit) {
        // Nobody is reading: leave the bytes with curl until somebody asks.
        t->recvPaused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (t->inboxStart_ > 0 && t->inboxStart_ >= t->inbox_.size() / 2) {
        t->inbox_.erase(t->inbox_.begin(), t->inbox_.begin() + static_cast<std::ptrdiff_t>(t->inboxStart_));
        t->inboxStart_ = 0;
    }
    t->inbox_.insert(t->inbox_.end(), data + used, data + n);
    return n;
}

size_t CurlTransfer::OnUpload(char* buffer, size_t size, size_t count, void* self) {
    auto* t = static_cast<CurlTransfer*>(self);
    const size_t capacity = size * count;
    if (t->pieceLeft_ > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(capacity, t->pieceLeft_));
        std::memcpy(buffer, t->piece_, n);
        t->piece_ += n;
        t->pieceLeft_ -= n;
        if (t->pieceLeft_ == 0 && t->sink_ != nullptr) {
            // curl holds its own copy now; the writer may refill its buffer.
            t->piece_ = nullptr;
            t->sink_->OnWriteComplete();
        }
        return n;
    }
    if (t->bodyWritten_) {
        return 0;
    }
    t->sendPaused_ = true;
    return CURL_READFUNC_PAUSE;
}

int CurlTransfer::OnProgress(void* self, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
    auto* t = static_cast<CurlTransfer*>(self);
    const Clock::time_point now = Clock::now();
    curl_off_t connected = 0;
    curl_easy_getinfo(t->easy_, CURLINFO_PRETRANSFER_TIME_T, &connected);
    // Waiting for the owner is no stall, and neither is connecting (which has a time-out of its own).
    const bool waitingForOwner = t->recvPaused_ || t->sendPaused_;
    if (dlnow != t->lastDown_ || ulnow != t->lastUp_ || waitingForOwner || connected == 0) {
        t->lastDown_ = dlnow;
        t->lastUp_ = ulnow;
        t->lastActivity_ = now;
        return 0;
    }
    const bool uploading = t->streamed_ ? !t->bodyWritten_ || t->pieceLeft_ > 0 : false;
    const uint32_t limit = uploading ? t->settings_.sendTimeoutMs : t->settings_.receiveTimeoutMs;
    const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(now - t->lastActivity_).count();
    if (limit != 0 && idle > static_cast<int64_t>(limit)) {
        t->abortText_ =
            Core::StringFormat(uploading ? "The server took no data for %u ms" : "No data arrived for %u ms", limit);
        t->abortCode_ = CURLE_OPERATION_TIMEDOUT;
        return 1;
    }
    return 0;
}

}  // namespace

std::shared_ptr<Session> OpenSession(const SessionSettings& settings) {
    auto session = std::make_shared<CurlSession>(settings);
    session->StartThread();
    return session;
}

std::string ErrorText(uint32_t code) {
    return curl_easy_strerror(static_cast<CURLcode>(code));
}

}  // namespace Platform::Network::Http::Transport
