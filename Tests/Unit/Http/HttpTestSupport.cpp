#include "HttpTestSupport.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
// After windows.h, which they build on.
#include <psapi.h>
#include <wincrypt.h>
#endif

namespace VeskTest {
namespace {

#ifdef _WIN32
// The DER bytes of the authority's certificate, added to the Root store of the current user: the
// trust store that WinHTTP verifies servers against. Only ever done in a throwaway Wine prefix (on
// Windows the system asks the user first, and a test must not change what a machine trusts).
std::vector<BYTE> trustedAuthority;

void TrustAuthorityUnderWine(const std::string& unixPath) {
    // The Unix file system is drive Z: of every Wine prefix.
    std::ifstream file("Z:" + unixPath, std::ios::binary);
    std::stringstream pem;
    pem << file.rdbuf();
    const std::string text = pem.str();
    DWORD size = 0;
    if (text.empty() || !CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER,
                                              nullptr, &size, nullptr, nullptr)) {
        ADD_FAILURE() << "the test authority cannot be read from " << unixPath;
        return;
    }
    std::vector<BYTE> der(size);
    CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size,
                         nullptr, nullptr);
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (store == nullptr) {
        ADD_FAILURE() << "the Root store cannot be opened: " << GetLastError();
        return;
    }
    if (!CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_REPLACE_EXISTING,
                                          nullptr)) {
        ADD_FAILURE() << "the test authority cannot be trusted: " << GetLastError();
    } else {
        trustedAuthority = std::move(der);
    }
    CertCloseStore(store, 0);
}

void ForgetAuthorityUnderWine() {
    if (trustedAuthority.empty()) {
        return;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (store != nullptr) {
        PCCERT_CONTEXT added = CertCreateCertificateContext(X509_ASN_ENCODING, trustedAuthority.data(),
                                                            static_cast<DWORD>(trustedAuthority.size()));
        PCCERT_CONTEXT found = added != nullptr ? CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                                             CERT_FIND_EXISTING, added, nullptr)
                                                : nullptr;
        if (found != nullptr) {
            CertDeleteCertificateFromStore(found);
        }
        if (added != nullptr) {
            CertFreeCertificateContext(added);
        }
        CertCloseStore(store, 0);
    }
    trustedAuthority.clear();
}
#endif

}  // namespace

TestCertificates* HttpTest::certificates_ = nullptr;

void HttpTest::SetUpTestSuite() {
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"}) {
        SetEnvironment(name, nullptr);
    }
    if (ExternalServer()) {
        // The external servers' authority, for a client that reads its trust store from these.
        const std::string authority = HttpTestServer::ExternalAuthorityFile();
        SetEnvironment("SSL_CERT_FILE", authority.c_str());
        SetEnvironment("SSL_CERT_DIR", "");
#ifdef _WIN32
        if (UnderWine() && trustedAuthority.empty()) {
            TrustAuthorityUnderWine(authority);
        }
#endif
        return;
    }
    if (certificates_ == nullptr) {
        certificates_ = new TestCertificates();
    }
    SetEnvironment("SSL_CERT_FILE", certificates_->AuthorityFile().c_str());
    SetEnvironment("SSL_CERT_DIR", certificates_->EmptyFolder().c_str());
}

bool HttpTest::UnderWine() {
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

bool HttpTest::OverWinHttp() {
#ifdef _WIN32
    return true;
#else
    return false;
#endif
}

const TransportWords& Words() {
    // WinHTTP's texts where the client passes them on (or its own words when the system has none, as
    // under Wine); libcurl's numbers with the libcurl transport's words.
    static const TransportWords winHttp{
        12017,
        12002,
        "The operation timed out",
        "The operation timed out",
        "The response body ended after",
        "",
        {"invalid or unrecognized response", "Malformed status line", "Malformed header line"},
        "The response head is larger than 65536 bytes",
    };
    static const TransportWords curl{
        42,
        28,
        "No data arrived for 1000 ms",
        "The server took no data for 1000 ms",
        "transfer closed",
        "unencoding",
        {"HTTP/0.9", "response code", "eader"},
        "The response head is larger than 65536 bytes",
    };
    return HttpTest::OverWinHttp() ? winHttp : curl;
}

void HttpTest::SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value != nullptr ? value : "");
#else
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
#endif
}

void HttpTest::TearDownTestSuite() {
#ifdef _WIN32
    ForgetAuthorityUnderWine();
#endif
    delete certificates_;
    certificates_ = nullptr;
}

Core::Ptr<IHttpClient> HttpTest::OpenClient(const std::string& url) {
    return Platform::Network::Http::OpenHttpClient(url, "HttpClient/1.0");
}

Core::Ptr<IHttpRequest2> HttpTest::NewRequest(IHttpClient* client, const std::string& path, uint32_t method,
                                              std::vector<std::string> acceptTypes) {
    Core::Ptr<Platform::Interfaces::IAcceptTypes> types = Platform::Network::Http::CreateAcceptTypes();
    for (const std::string& type : acceptTypes) {
        types->Add(type.c_str());
    }
    Core::Ptr<IHttpRequest> request;
    Core::ErrorCode error;
    EXPECT_TRUE(client->CreateRequest(path.c_str(), types.GetUnchecked(), method, request.Receive(), error.Receive()))
        << error.Message();
    return request.TryCast<IHttpRequest2>();
}

Core::Ptr<IHttpRequestStream2> HttpTest::NewStreamRequest(IHttpClient* client, const std::string& path,
                                                          uint32_t method) {
    Core::Ptr<Platform::Interfaces::IAcceptTypes> types = Platform::Network::Http::CreateAcceptTypes();
    Core::Ptr<IHttpRequestStream> request;
    Core::ErrorCode error;
    EXPECT_TRUE(
        client->CreateStreamRequest(path.c_str(), types.GetUnchecked(), method, request.Receive(), error.Receive()))
        << error.Message();
    return request.TryCast<IHttpRequestStream2>();
}

Core::Ptr<IHttpResponse> HttpTest::Fetch(IHttpRequest* request) {
    return Core::Ptr<IHttpResponse>::Adopt(request->GetResponse(true));
}

std::string HttpTest::BodyOf(IHttpResponse* response) {
    const char* body = static_cast<const char*>(response->GetBody());
    return body != nullptr ? std::string(body, response->GetBodySize()) : std::string();
}

bool HttpTest::PumpUntilDone(IAsyncTask* task, int seconds) {
    // A watchdog releases the wait if the task never ends, so that a fault fails instead of hanging.
    std::atomic<bool> finished{false};
    Core::Ptr<IAsyncTask> kept(task);
    std::thread watchdog([&finished, kept, seconds] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!finished.load() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!finished.load()) {
            kept->Signal();
        }
    });
    task->WaitPumping(false);
    const uint32_t state = task->GetState();
    const bool ended = state == Platform::Interfaces::TaskCompleted || state == Platform::Interfaces::TaskFailed ||
                       state == Platform::Interfaces::TaskCancelled ||
                       state == Platform::Interfaces::TaskCancelRequested;
    finished.store(true);
    watchdog.join();
    EXPECT_TRUE(ended) << "the task did not end within " << seconds << " s (state " << state << ")";
    return ended;
}

bool HttpTest::WaitDone(IAsyncTask* task, int seconds) {
    const bool ended = task->Wait(static_cast<uint32_t>(seconds) * 1000u);
    EXPECT_TRUE(ended) << "the task did not end within " << seconds << " s";
    return ended;
}

uint64_t ResidentBytes() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.WorkingSetSize : 0;
#else
    std::ifstream statm("/proc/self/statm");
    uint64_t total = 0;
    uint64_t resident = 0;
    statm >> total >> resident;
    return resident * 4096;
#endif
}

bool MatchesPattern(const char* data, size_t size, uint64_t offset) {
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != PatternByte(offset + i)) {
            return false;
        }
    }
    return true;
}

}  // namespace VeskTest
