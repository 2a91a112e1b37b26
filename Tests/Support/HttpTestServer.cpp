#include "HttpTestServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace VeskTest {
namespace {

using Clock = std::chrono::steady_clock;

EVP_PKEY* NewKey() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (key == nullptr) {
        throw std::runtime_error("EVP_EC_gen failed");
    }
    return key;
}

void AddExtension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (extension == nullptr) {
        throw std::runtime_error("X509V3_EXT_conf_nid failed");
    }
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// A certificate for key with common name cn, issued by issuer (itself when null) and signed with
// issuerKey; an authority when authority is true, else a server certificate for names.
X509* NewCertificate(EVP_PKEY* key, const char* cn, X509* issuer, EVP_PKEY* issuerKey, bool authority,
                     const char* names, long serial) {
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 7 * 24 * 3600);
    X509_set_pubkey(certificate, key);
    X509_NAME* subject = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Vesk tests"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn), -1, -1, 0);
    X509* signer = issuer != nullptr ? issuer : certificate;
    X509_set_issuer_name(certificate, X509_get_subject_name(signer));
    if (authority) {
        AddExtension(certificate, signer, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(certificate, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
        AddExtension(certificate, signer, NID_subject_key_identifier, "hash");
    } else {
        AddExtension(certificate, signer, NID_basic_constraints, "critical,CA:FALSE");
        AddExtension(certificate, signer, NID_key_usage, "critical,digitalSignature");
        AddExtension(certificate, signer, NID_ext_key_usage, "serverAuth");
        AddExtension(certificate, signer, NID_subject_alt_name, names);
    }
    if (X509_sign(certificate, issuerKey != nullptr ? issuerKey : key, EVP_sha256()) == 0) {
        throw std::runtime_error("X509_sign failed");
    }
    return certificate;
}

std::string Gzip(const std::string& text) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(compressBound(static_cast<uLong>(text.size())) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

size_t SizeParam(const httplib::Request& request, const char* name, size_t fallback) {
    return request.has_param(name) ? std::stoull(request.get_param_value(name)) : fallback;
}

}  // namespace

TestCertificates::TestCertificates() {
    std::random_device random;
    folder_ = (std::filesystem::temp_directory_path() / ("vesk-certs-" + std::to_string(random()))).string();
    std::filesystem::create_directories(folder_ + "/empty");
    emptyFolder_ = folder_ + "/empty";
    authorityFile_ = folder_ + "/authority.pem";

    authority_.key = NewKey();
    authority_.certificate = NewCertificate(static_cast<EVP_PKEY*>(authority_.key), "Vesk Test Authority", nullptr,
                                            nullptr, true, nullptr, 1);
    auto issue = [&](const char* cn, const char* names, long serial) {
        Pair pair;
        pair.key = NewKey();
        pair.certificate =
            NewCertificate(static_cast<EVP_PKEY*>(pair.key), cn, static_cast<X509*>(authority_.certificate),
                           static_cast<EVP_PKEY*>(authority_.key), false, names, serial);
        return pair;
    };
    // The address also as a DNS name: Wine's WinHTTP compares a host given as an address with the DNS
    // names only (OpenSSL looks at the IP entry and ignores such a name).
    loopback_ = issue("127.0.0.1", "IP:127.0.0.1,DNS:localhost,DNS:127.0.0.1", 2);
    otherHost_ = issue("other.example", "DNS:other.example", 3);
    untrusted_.key = NewKey();
    untrusted_.certificate = NewCertificate(static_cast<EVP_PKEY*>(untrusted_.key), "127.0.0.1", nullptr, nullptr,
                                            false, "IP:127.0.0.1,DNS:localhost", 4);

    FILE* file = std::fopen(authorityFile_.c_str(), "w");
    if (file == nullptr) {
        throw std::runtime_error("cannot write " + authorityFile_);
    }
    PEM_write_X509(file, static_cast<X509*>(authority_.certificate));
    std::fclose(file);
}

TestCertificates::~TestCertificates() {
    for (Pair* pair : {&authority_, &loopback_, &otherHost_, &untrusted_}) {
        X509_free(static_cast<X509*>(pair->certificate));
        EVP_PKEY_free(static_cast<EVP_PKEY*>(pair->key));
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

namespace {

struct Impl {
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    mutable std::mutex mutex;  // guards requests and stopping
    std::condition_variable stopped;
    std::vector<ReceivedRequest> requests;
    bool stopping = false;

    void Record(const httplib::Request& request, std::string body) {
        ReceivedRequest received;
        received.method = request.method;
        received.path = request.target;
        for (const auto& [name, value] : request.headers) {
            received.headers.emplace(name, value);
        }
        received.body = std::move(body);
        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back(std::move(received));
    }

    // Waits until the server stops or ms milliseconds passed; true when it stopped.
    bool WaitForStop(int ms) {
        std::unique_lock<std::mutex> lock(mutex);
        return stopped.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping; });
    }

    void AddRoutes() {
        httplib::Server& s = *server;
        s.Get("/bytes", [this](const httplib::Request& request, httplib::Response& response) {
            Record(request, {});
            const size_t size = SizeParam(request, "size", 0);
            response.set_content_provider(size, "application/octet-stream",
                                          [](size_t offset, size_t length, httplib::DataSink& sink) {
                                              char block[65536];
                                              const size_t n = std::min(length, sizeof block);
                                              for (size_t i = 0; i < n; ++i) {
                                                  block[i] = PatternByte(offset + i);
                                              }
                                              return sink.write(block, n);
                                          });
        });
        s.Get("/blob", [this](const httplib::Request& request, httplib::Response& response) {
            Record(request, {});
            const size_t size = SizeParam(request, "size", 0);
            // One block served again and again: cheap enough that the server never limits a client.
            static const std::string block = [] {
                std::string bytes(1 << 20, '\0');
                for (size_t i = 0; i < bytes.size(); ++i) {
                    bytes[i] = PatternByte(i);
                }
                return bytes;
            }();
            response.set_content_provider(size, "application/octet-stream",
                                          [](size_t offset, size_t length, httplib::DataSink& sink) {
                                              const size_t start = offset % block.size();
                                              const size_t n = std::min(length, block.size() - start);
                                              return sink.write(block.data() + start, n);
                                          });
        });
        s.Get("/text", [this](const httplib::Request& request, httplib::Response& response) {
            Record(request, {});
            const size_t size = SizeParam(request, "size", 10);
            std::string text(size, 'a');
            for (size_t i = 0; i < size; ++i) {
                text[i] = static_cast<char>('a' + i % 26);
            }
            response.set_content(text, "text/plain");
        });
        s.Get(R"(/status/(\d+))", [this](const httplib::Request& request, httplib::Response& response) {
            Record(request, {});
            const int status = std::stoi(request.matches[1]);
            response.status = status;
            response.set_content("status " + std::to_string(status) + " body", "application/octet-stream");
        });
        const auto echo = [this](const httplib::Request& request, httplib::Response& response) {
            Record(request, request.body);
            response.set_content(request.body, "application/octet-stream");
        };
        s.Get("/echo", echo).Post("/echo", echo).Put("/echo", echo).Delete("/echo", echo).Patch("/echo", echo);
        const auto upload = [this](const httplib::Request& request, httplib::Response& response) {
            Record(request, request.body);
            response.set_content("ok", "application/octet-stream");
        };
        s.Post("/upload", upload).Put("/upload", upload);
        const auto sink = [this](const httplib::Request& request, httplib::Response& response,
                                 const httplib::ContentReader& reader) {
            uint64_t total = 0;
            reader([&](const char*, size_t n) {
                total += n;
                return true;
            });
            Record(request, {});
            response.set_content(std::to_string(total), "application/octet-stream");
        };
        s.Post("/sink", sink).Put("/sink", sink);
        s.Get("/slow", [this](const httplib::Request& request, httplib::Response& response) {
            Record(request, {});
            const size_t pieces = SizeParam(request, "pieces", 5);
            const int delay = static_cast<int>(SizeParam(request, "delay", 20));
            response.set_chunked_content_provider("application/octet-stream",
                                                  [this, pieces, delay](size_t, httplib::DataSink& sink) {
                                                      for (size_t i = 0; i < pieces; ++i) {
                                                          if (i > 0 && WaitForStop(delay)) {
                                                              return false;
                                                          }
                                                          const std::string piece = "piece-" + std::to_string(i) + ";";
                                                          if (!sink.write(piece.data(), piece.size())) {
                                                              return false;
                                                          }
                                                      }
                                                      sink.done();
                                                      return true;
                                                  });
        });
        s.Get("/stall", [this](const httplib::Request& request, httplib::Response& response) {
            Record(request, {});
            response.set_content_provider(1000, "application/octet-stream",
                                          [this](size_t offset, size_t, httplib::DataSink& sink) {
                                              if (offset == 0) {
                                                  return sink.write("0123456789", 10);
                                              }
                                              WaitForStop(20000);
                                              return false;
                                          });
        });
        s.Get("/chunked", [this](const httplib::Request& request, httplib::Response& response) {
            Record(request, {});
            const size_t size = SizeParam(request, "size", 5000);
            response.set_chunked_content_provider("application/octet-stream",
                                                  [size](size_t offset, httplib::DataSink& sink) {
                                                      if (offset >= size) {
                                                          sink.done();
                                                          return true;
                                                      }
                                                      std::string piece(std::min<size_t>(1000, size - offset), '\0');
                                                      for (size_t i = 0; i < piece.size(); ++i) {
                                                          piece[i] = PatternByte(offset + i);
                                                      }
                                                      return sink.write(piece.data(), piece.size());
                                                  });
        });
        s.Get("/gzip", [this](const httplib::Request& request, httplib::Response& response) {
            Record(request, {});
            std::string text;
            for (int i = 0; i < 1000; ++i) {
                text += "compressed body ";
            }
            response.set_header("Content-Encoding", "gzip");
            response.set_content(Gzip(text), "application/octet-stream");
        });
        s.Get("/badgzip", [this](const httplib::Request& request, httplib::Response& response) {
            Record(request, {});
            response.set_header("Content-Encoding", "gzip");
            response.set_content(std::string(4000, 'x'), "application/octet-stream");
        });
        s.Get("/redirect", [this](const httplib::Request& request, httplib::Response& response) {
            Record(request, {});
            response.set_redirect("/text?size=7");
        });
    }
};

using Security = HttpTestServer::Security;

// The server in this process: cpp-httplib on a thread of its own.
class LocalServer final : public HttpTestServer::Backend {
public:
    LocalServer(Security security, const TestCertificates* certificates);
    ~LocalServer() override { Stop(); }
    uint16_t Port() const override { return port_; }
    std::vector<ReceivedRequest> Requests() const override {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        return impl_->requests;
    }
    void Stop() override;

private:
    std::unique_ptr<Impl> impl_;
    uint16_t port_ = 0;
};

LocalServer::LocalServer(Security security, const TestCertificates* certificates) : impl_(std::make_unique<Impl>()) {
    if (security == Security::Plain) {
        impl_->server = std::make_unique<httplib::Server>();
    } else {
        if (certificates == nullptr) {
            throw std::invalid_argument("a TLS server needs certificates");
        }
        const TestCertificates::Pair pair = security == Security::TlsOtherHost   ? certificates->OtherHost()
                                            : security == Security::TlsUntrusted ? certificates->Untrusted()
                                                                                 : certificates->Loopback();
        auto* certificate = static_cast<X509*>(pair.certificate);
        auto* key = static_cast<EVP_PKEY*>(pair.key);
        if (security == Security::TlsOnly11) {
            // OpenSSL 3 offers TLS 1.1 only at security level 0.
            impl_->server = std::make_unique<httplib::SSLServer>([certificate, key](SSL_CTX& context) {
                SSL_CTX_set_security_level(&context, 0);
                return SSL_CTX_use_certificate(&context, certificate) == 1 &&
                       SSL_CTX_use_PrivateKey(&context, key) == 1 &&
                       SSL_CTX_set_min_proto_version(&context, TLS1_1_VERSION) == 1 &&
                       SSL_CTX_set_max_proto_version(&context, TLS1_1_VERSION) == 1;
            });
        } else {
            impl_->server = std::make_unique<httplib::SSLServer>(certificate, key);
        }
    }
    // Enough workers for every connection a test opens at once: a connection kept alive holds its
    // worker.
    impl_->server->new_task_queue = [] { return new httplib::ThreadPool(64); };
    impl_->server->set_keep_alive_timeout(2);
    impl_->server->set_read_timeout(5, 0);
    impl_->server->set_write_timeout(5, 0);
    impl_->AddRoutes();
    const int port = impl_->server->bind_to_any_port("127.0.0.1");
    if (port <= 0) {
        throw std::runtime_error("the test server cannot listen");
    }
    port_ = static_cast<uint16_t>(port);
    httplib::Server* server = impl_->server.get();
    impl_->thread = std::thread([server] { server->listen_after_bind(); });
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!server->is_running() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void LocalServer::Stop() {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->stopped.notify_all();
    if (impl_->thread.joinable()) {
        impl_->server->stop();
        impl_->thread.join();
    }
}

}  // namespace

std::unique_ptr<HttpTestServer::Backend> StartLocalHttpTestServer(HttpTestServer::Security security,
                                                                  const TestCertificates* certificates) {
    return std::make_unique<LocalServer>(security, certificates);
}

bool RawTestServer::Connection::Write(const std::string& bytes) const {
    size_t sent = 0;
    while (sent < bytes.size()) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 5000) <= 0) {
            return false;
        }
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

RawTestServer::RawTestServer(Responder respond, bool readBody) : respond_(std::move(respond)), readBody_(readBody) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 16) != 0) {
        throw std::runtime_error("the raw test server cannot listen");
    }
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
}

RawTestServer::~RawTestServer() {
    stop_.store(true);
    thread_.join();
    close(listener_);
}

std::string RawTestServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> RawTestServer::Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

void RawTestServer::Run() {
    while (!stop_.load()) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) {
            continue;
        }
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        const std::string request = ReadRequest(fd);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.push_back(request);
        }
        if (!request.empty()) {
            respond_(Connection{fd, &stop_}, request);
        }
        shutdown(fd, SHUT_RDWR);
        close(fd);
    }
}

std::string RawTestServer::ReadRequest(int fd) {
    std::string data;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    size_t headEnd = std::string::npos;
    size_t wanted = std::string::npos;  // total bytes when known
    bool chunked = false;
    while (!stop_.load() && Clock::now() < deadline) {
        if (headEnd == std::string::npos) {
            headEnd = data.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                headEnd += 4;
                const std::string head = data.substr(0, headEnd);
                std::string lower = head;
                for (char& c : lower) {
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                }
                const size_t length = lower.find("\r\ncontent-length:");
                chunked = lower.find("\r\ntransfer-encoding: chunked") != std::string::npos;
                wanted = length != std::string::npos ? headEnd + std::stoull(lower.substr(length + 17)) : headEnd;
            }
        }
        if (headEnd != std::string::npos) {
            if (!readBody_) {
                return data;
            }
            if (chunked && data.size() >= 5 && data.compare(data.size() - 5, 5, "0\r\n\r\n") == 0) {
                return data;
            }
            if (!chunked && data.size() >= wanted) {
                return data;
            }
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) {
            continue;
        }
        char buffer[65536];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return data;
        }
        data.append(buffer, static_cast<size_t>(n));
    }
    return data;
}

}  // namespace VeskTest

// cpp-httplib is not built for ThreadSanitizer; its own bookkeeping between its worker threads is
// invisible to the sanitizer and reported as races. The server is test equipment, not the product.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
    return "race:libcpp-httplib.so\n";
}
