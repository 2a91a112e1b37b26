#pragma once
// Loopback servers for the HTTP client's tests and benchmarks: a well-behaved HTTP/HTTPS server that
// can also misbehave in the ways a network does, and a raw server that answers with canned bytes.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace VeskTest {

// A certificate authority made at test time, a server certificate it issued for 127.0.0.1 and
// localhost, one it issued for another host, and a self-issued one that nobody trusts. The
// authority's certificate is written to a PEM file for the trust store. Immutable after construction.
class TestCertificates {
public:
    TestCertificates();
    ~TestCertificates();
    TestCertificates(const TestCertificates&) = delete;
    TestCertificates& operator=(const TestCertificates&) = delete;

    // The PEM file holding the authority's certificate.
    const std::string& AuthorityFile() const { return authorityFile_; }
    // A folder holding no certificates (for SSL_CERT_DIR, so that only the file counts).
    const std::string& EmptyFolder() const { return emptyFolder_; }

    struct Pair {
        void* certificate = nullptr;  // X509*
        void* key = nullptr;          // EVP_PKEY*
    };
    Pair Loopback() const { return loopback_; }
    Pair OtherHost() const { return otherHost_; }
    Pair Untrusted() const { return untrusted_; }

private:
    std::string folder_;
    std::string authorityFile_;
    std::string emptyFolder_;
    Pair authority_;
    Pair loopback_;
    Pair otherHost_;
    Pair untrusted_;
};

// What the server received for one request, after HTTP decoding (chunks joined).
struct ReceivedRequest {
    std::string method;
    std::string path;  // with the query
    std::multimap<std::string, std::string> headers;
    std::string body;

    // The first value of name (any letter case), or empty.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

// The byte at offset of the bodies that the server sends and expects: a pattern that is not periodic
// at any power of two, so that a piece in the wrong place shows.
inline char PatternByte(uint64_t offset) {
    return static_cast<char>((offset * 131 + offset / 7919) & 0xFF);
}

// An HTTP (or HTTPS) server on 127.0.0.1 and a free port. Routes:
//   GET  /bytes?size=N            N pattern bytes with a Content-Length (application/octet-stream)
//   GET  /blob?size=N             N bytes repeating the first MiB of the pattern (for speed tests)
//   GET  /text?size=N             N letters as text/plain
//   GET  /status/N                status N with the body "status N body"
//   *    /echo                    200 with the request body
//   POST|PUT /upload              200 "ok"; the body is recorded
//   POST|PUT /sink                200 with the body's length as text; the body is counted only
//   GET  /slow?pieces=N&delay=MS  N chunks of "piece-i;" with MS ms between them
//   GET  /stall                   a head announcing 1000 bytes, 10 bytes, then silence until the
//                                 server stops (at most 20 s)
//   GET  /chunked?size=N          N pattern bytes in chunks of 1000
//   GET  /gzip                    "compressed body " x 1000, gzip-encoded
//   GET  /badgzip                 Content-Encoding gzip over bytes that are no gzip
//   GET  /redirect                302 to /text?size=7
// The server runs in this process, or, when the environment variable VESK_HTTP_TEST_SERVER names the
// control URL of a native test server process (HttpTestServerMain), in that process: tests run under
// an emulator then reach a server on the real loopback. Safe for concurrent use.
class HttpTestServer {
public:
    // TlsOnly11 offers nothing newer than TLS 1.1 (with the loopback certificate), which clients must refuse.
    enum class Security { Plain, Tls, TlsOtherHost, TlsUntrusted, TlsOnly11 };

    explicit HttpTestServer(Security security = Security::Plain, const TestCertificates* certificates = nullptr);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>" or "https://...".
    std::string BaseUrl() const;
    // Every request received so far, oldest first (bodies of /upload included).
    std::vector<ReceivedRequest> Requests() const;
    // The last one; fails the test when there was none.
    ReceivedRequest LastRequest() const;
    // Stops listening and ends the stalled answers.
    void Stop();

    // The control URL of the external server process; empty when servers run in this process.
    static std::string ExternalControlUrl();
    // The PEM file of the authority that the external servers' certificates come from; empty when
    // servers run in this process. Throws when the control does not answer.
    static std::string ExternalAuthorityFile();

    // Where the server runs: in this process or in another.
    class Backend {
    public:
        virtual ~Backend() = default;
        virtual uint16_t Port() const = 0;
        virtual std::vector<ReceivedRequest> Requests() const = 0;
        virtual void Stop() = 0;
    };

private:
    std::unique_ptr<Backend> backend_;
    uint16_t port_ = 0;
    bool secure_ = false;
};

// A server of this process; throws where this system has none (only the external one runs there).
std::unique_ptr<HttpTestServer::Backend> StartLocalHttpTestServer(HttpTestServer::Security security,
                                                                  const TestCertificates* certificates);

// Strings as one byte string and back, in the encoding of EncodeRequests.
std::string EncodeStrings(const std::vector<std::string>& strings);
std::vector<std::string> DecodeStrings(const std::string& text);

// The requests as one byte string and back, for the control of the external server: every field is
// written as its length in decimal, a colon and its bytes. DecodeRequests throws on malformed text.
std::string EncodeRequests(const std::vector<ReceivedRequest>& requests);
std::vector<ReceivedRequest> DecodeRequests(const std::string& text);

// The security of a server by its name in the control protocol ("plain", "tls", "tls-other-host",
// "tls-untrusted", "tls11") and back; false for an unknown name.
bool SecurityFromName(const std::string& name, HttpTestServer::Security& security);
const char* SecurityName(HttpTestServer::Security security);

// A server on 127.0.0.1 that reads one request at a time (its head, then a body by Content-Length or
// chunked encoding) and hands the raw bytes to respond, which writes whatever it likes to the
// connection. Connections are handled one after another until the server is destroyed; every read
// and write is bounded in time. Safe for concurrent use.
class RawTestServer {
public:
    // Writes the answer for request to the connection; false from Write means the peer is gone.
    struct Connection {
        int fd;
        const std::atomic<bool>* stop;
        bool Write(const std::string& bytes) const;
        // True once the server is being destroyed: a responder that waits must give up.
        bool Stopping() const { return stop->load(); }
    };
    using Responder = std::function<void(const Connection& connection, const std::string& request)>;

    // With readBody false only the request's head is read before respond runs, and the body is left
    // unread (a server that takes no upload).
    explicit RawTestServer(Responder respond, bool readBody = true);
    ~RawTestServer();
    RawTestServer(const RawTestServer&) = delete;
    RawTestServer& operator=(const RawTestServer&) = delete;

    uint16_t Port() const { return port_; }
    std::string BaseUrl() const;
    // The raw bytes of every request so far, oldest first.
    std::vector<std::string> Received() const;

private:
    void Run();
    std::string ReadRequest(int fd);

    Responder respond_;
    bool readBody_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;  // guards received_
    std::vector<std::string> received_;
    std::thread thread_;
};

// A raw server that plays one of a few fixed scripts, in this process or, like HttpTestServer, in
// the external server process. Safe for concurrent use.
class ScriptedTestServer {
public:
    enum class Script {
        Reply,        // answers every request with the reply bytes, then closes the connection
        Deaf,         // reads a request's head only, then waits (at most 10 s) without reading its body
        EndlessHead,  // a status line, then header lines without end (at most 16 MiB)
    };
    explicit ScriptedTestServer(Script script, std::string reply = {});
    ~ScriptedTestServer();
    ScriptedTestServer(const ScriptedTestServer&) = delete;
    ScriptedTestServer& operator=(const ScriptedTestServer&) = delete;

    std::string BaseUrl() const;
    // The raw bytes of every request so far, oldest first.
    std::vector<std::string> Received() const;

    // What a server playing script does with a connection, and whether it reads request bodies.
    static RawTestServer::Responder Responder(Script script, std::string reply);
    static bool ReadsBody(Script script) { return script != Script::Deaf; }
    // The script by its name in the control protocol ("reply", "deaf", "endless-head") and back.
    static bool ScriptFromName(const std::string& name, Script& script);
    static const char* ScriptName(Script script);

private:
    struct Remote;
    std::unique_ptr<RawTestServer> local_;
    std::unique_ptr<Remote> remote_;
    uint16_t port_ = 0;
};

}  // namespace VeskTest
