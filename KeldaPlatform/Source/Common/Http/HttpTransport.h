#pragma once
// The seam between the HTTP client's states and rules and the system's HTTP stack. A backend runs
// transfers asynchronously in the manner of an asynchronous HTTP API: each operation starts work and
// returns; its completion arrives later through the transfer's sink on the backend's own thread.
#include <cstdint>
#include <memory>
#include <string>

namespace Platform::Network::Http::Transport {

// The settings of one session.
struct SessionSettings {
    std::string userAgent;
    uint32_t accessType = 0;
    uint32_t resolveTimeoutMs = 0;
    uint32_t connectTimeoutMs = 60000;
    uint32_t sendTimeoutMs = 30000;
    uint32_t receiveTimeoutMs = 30000;
};

// Why a transfer failed: the backend's error number, its text, and whether the transfer was closed
// on purpose (which callers log more quietly).
struct TransferError {
    uint32_t code = 0;
    std::string text;
    bool cancelled = false;
};

// Receives the completions of one transfer, on the backend's thread, one at a time and never after
// OnHandleClosing.
class ITransferSink {
public:
    virtual ~ITransferSink() = default;
    // The request has been handed to the network; body pieces may now be written.
    virtual void OnSendRequestComplete() = 0;
    // The last body piece has been taken; its buffer may be reused.
    virtual void OnWriteComplete() = 0;
    // The response head can be queried (only after ReceiveResponse).
    virtual void OnHeadersAvailable() = 0;
    // A read finished into buffer with bytes bytes; 0 means the body has ended.
    virtual void OnReadComplete(void* buffer, uint32_t bytes) = 0;
    // The transfer failed; nothing but OnHandleClosing follows.
    virtual void OnRequestError(const TransferError& error) = 0;
    // The last notification: the transfer is gone.
    virtual void OnHandleClosing() = 0;
};

// One request. Every operation is safe for concurrent use; completions run on the backend's thread.
class Transfer {
public:
    virtual ~Transfer() = default;
    // Adds header lines ("Name: value\r\n" each) to the request; false once it has been sent.
    virtual bool AddHeaders(const std::string& lines) = 0;
    // Starts the transfer. With a body the request carries exactly those bytes (copied); with
    // streamedBody the body comes through WriteData: Content-Length contentLength, or chunked
    // transfer encoding when contentLength is negative. False when the transfer cannot start.
    virtual bool Send(ITransferSink* sink, const void* body, uint64_t bodySize, bool streamedBody,
                      int64_t contentLength) = 0;
    // Asks for the response head; OnHeadersAvailable follows once it has arrived.
    virtual bool ReceiveResponse() = 0;
    // The response head as CRLF lines, the status line first; empty before OnHeadersAvailable.
    virtual std::string QueryRawHeaders() = 0;
    // Reads up to size body bytes into buffer; completes with OnReadComplete as soon as any arrived.
    virtual bool ReadData(void* buffer, uint32_t size) = 0;
    // Writes one body piece (size 0 ends the body); the data must stay valid until OnWriteComplete.
    virtual bool WriteData(const void* data, uint64_t size) = 0;
    // Ends the transfer: a running one fails as cancelled; OnHandleClosing follows in every case.
    virtual void Close() = 0;
};

// One session with its own network thread. Safe for concurrent use.
class Session {
public:
    virtual ~Session() = default;
    // A transfer of method verb (empty: GET) to url with the time-outs of settings; nothing happens
    // on the network before Send.
    virtual std::shared_ptr<Transfer> OpenRequest(const std::string& verb, const std::string& url,
                                                  const SessionSettings& settings) = 0;
    // Ends every running transfer as cancelled and stops the network thread once they are gone.
    virtual void Close() = 0;
};

// A new session with its network thread running; throws when it cannot be made.
std::shared_ptr<Session> OpenSession(const SessionSettings& settings);

// The backend's text for one of its error numbers.
std::string ErrorText(uint32_t code);

}  // namespace Platform::Network::Http::Transport
