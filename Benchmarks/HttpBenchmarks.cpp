// 256 MiB down and up over loopback, through the client and through the curl command-line tool in
// the same run. The server runs in a child process, so that this process's CPU time is the client's.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "HttpTestServer.h"
#include "Platform/AsyncTask.h"
#include "Platform/HttpClient.h"

namespace {

using namespace Platform::Interfaces;
using Clock = std::chrono::steady_clock;

constexpr uint64_t kSize = 256ull << 20;
constexpr double kMiB = 1024.0 * 1024.0;

std::string g_baseUrl;
std::string g_uploadFile;

struct Figures {
    double seconds = 0;
    double cpuSeconds = 0;
    uint64_t bytes = 0;
    double MiBPerSecond() const { return seconds > 0 ? bytes / kMiB / seconds : 0; }
};
Figures g_clientDown, g_curlDown, g_clientUp, g_curlUp;

double ProcessCpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A body source that hands out the same pattern block again and again.
class RepeatingStream final : public Core::ObjectT<IStream> {
public:
    explicit RepeatingStream(uint64_t size) : size_(size), block_(1 << 20) {
        for (size_t i = 0; i < block_.size(); ++i) {
            block_[i] = VeskTest::PatternByte(i);
        }
    }
    uint64_t Read(void* buffer, uint64_t count, Core::IErrorCode**) override {
        const uint64_t n = std::min(count, size_ - position_);
        char* out = static_cast<char*>(buffer);
        for (uint64_t done = 0; done < n;) {
            const uint64_t piece = std::min<uint64_t>(n - done, block_.size());
            std::memcpy(out + done, block_.data(), piece);
            done += piece;
        }
        position_ += n;
        return n;
    }
    uint64_t Write(const void*, uint64_t, Core::IErrorCode**) override { return 0; }
    uint64_t GetPosition() override { return position_; }
    bool SetPosition(uint64_t position, Core::IErrorCode**) override {
        position_ = position;
        return true;
    }
    uint64_t GetSize() override { return size_; }
    bool SetSize(uint64_t, Core::IErrorCode**) override { return false; }
    bool IsValid() override { return true; }
    bool IsReadable() override { return true; }
    bool IsWritable() override { return false; }
    bool IsEndOfStream() override { return position_ == size_; }

private:
    ~RepeatingStream() override = default;
    uint64_t size_;
    uint64_t position_ = 0;
    std::vector<char> block_;
};

uint64_t g_received = 0;
void Count(Core::IObject*, Core::IErrorCode* error, uint32_t bytes) {
    g_received += error == nullptr ? bytes : 0;
}

void Record(Figures& figures, Clock::time_point start, double cpuStart, int who) {
    figures.seconds += std::chrono::duration<double>(Clock::now() - start).count();
    figures.cpuSeconds += ProcessCpuSeconds(who) - cpuStart;
    figures.bytes += kSize;
}

// One download of the blob through the client's streamed response; false when it came short.
bool ClientDownload(IHttpClient* client, IAcceptTypes* types, std::vector<char>& buffer) {
    const auto start = Clock::now();
    const double cpu = ProcessCpuSeconds(RUSAGE_SELF);
    Core::Ptr<IHttpRequest> request;
    client->CreateRequest(("/blob?size=" + std::to_string(kSize)).c_str(), types, HttpGet, request.Receive(), nullptr);
    Core::Ptr<IAsyncTask> task;
    request.TryCast<IHttpRequest2>()->GetResponseStreamAsync(task.Receive(), nullptr);
    task->Wait(0xFFFFFFFF);
    auto response = Platform::Threading::AsyncTask(task).ResultAs<IHttpResponse2>();
    Core::Ptr<IAsyncStream> stream;
    response->GetBodyStream(stream.Receive(), nullptr);
    g_received = 0;
    while (!stream->IsEndOfStream()) {
        stream->QueueReadAsync(buffer.data(), buffer.size(), nullptr, 0, &Count, nullptr);
        stream->WaitForCompletion(0xFFFFFFFF, false, false);
    }
    Record(g_clientDown, start, cpu, RUSAGE_SELF);
    return g_received == kSize;
}

// One upload of kSize bytes through a streamed request body; false when the server got less.
bool ClientUpload(IHttpClient* client, IAcceptTypes* types) {
    const auto start = Clock::now();
    const double cpu = ProcessCpuSeconds(RUSAGE_SELF);
    Core::Ptr<IHttpRequestStream> request;
    client->CreateStreamRequest("/sink", types, HttpPut, request.Receive(), nullptr);
    auto body = Core::MakeObject<RepeatingStream>(kSize);
    request->SetBodyStream(body.GetUnchecked(), nullptr);
    Core::Ptr<IAsyncTask> task;
    request->SendAsync(task.Receive(), nullptr);
    task->Wait(0xFFFFFFFF);
    auto response = Platform::Threading::AsyncTask(task).ResultAs<IHttpResponse>();
    Record(g_clientUp, start, cpu, RUSAGE_SELF);
    return std::string(static_cast<const char*>(response->GetBody()), response->GetBodySize()) == std::to_string(kSize);
}

bool RunCurl(Figures& figures, const std::string& command) {
    const auto start = Clock::now();
    const double cpu = ProcessCpuSeconds(RUSAGE_CHILDREN);
    const bool ok = std::system(command.c_str()) == 0;
    Record(figures, start, cpu, RUSAGE_CHILDREN);
    return ok;
}

void SetRatio(benchmark::State& state, const Figures& client, const Figures& curl) {
    state.counters["client_MiB/s"] = client.MiBPerSecond();
    state.counters["curl_MiB/s"] = curl.MiBPerSecond();
    state.counters["client/curl"] = curl.MiBPerSecond() > 0 ? client.MiBPerSecond() / curl.MiBPerSecond() : 0;
}

// The client and the tool take turns (each going first every other time), so that a machine whose
// load changes during the run treats both alike.
void BM_Download(benchmark::State& state) {
    Core::Ptr<IHttpClient> client = Platform::Network::Http::OpenHttpClient(g_baseUrl, "HttpClient/1.0");
    Core::Ptr<IAcceptTypes> types = Platform::Network::Http::CreateAcceptTypes();
    std::vector<char> buffer(1 << 20);
    const std::string curl =
        "curl -s -o /dev/null --noproxy '*' '" + g_baseUrl + "/blob?size=" + std::to_string(kSize) + "'";
    bool clientFirst = true;
    for (auto _ : state) {
        const bool ok =
            clientFirst
                ? ClientDownload(client.GetUnchecked(), types.GetUnchecked(), buffer) && RunCurl(g_curlDown, curl)
                : RunCurl(g_curlDown, curl) && ClientDownload(client.GetUnchecked(), types.GetUnchecked(), buffer);
        if (!ok) {
            state.SkipWithError("a download came short");
        }
        clientFirst = !clientFirst;
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(2 * kSize));
    SetRatio(state, g_clientDown, g_curlDown);
}

void BM_Upload(benchmark::State& state) {
    Core::Ptr<IHttpClient> client = Platform::Network::Http::OpenHttpClient(g_baseUrl, "HttpClient/1.0");
    Core::Ptr<IAcceptTypes> types = Platform::Network::Http::CreateAcceptTypes();
    const std::string curl =
        "curl -s -o /dev/null --noproxy '*' -H 'Expect:' -T '" + g_uploadFile + "' '" + g_baseUrl + "/sink'";
    bool clientFirst = true;
    for (auto _ : state) {
        const bool ok = clientFirst
                            ? ClientUpload(client.GetUnchecked(), types.GetUnchecked()) && RunCurl(g_curlUp, curl)
                            : RunCurl(g_curlUp, curl) && ClientUpload(client.GetUnchecked(), types.GetUnchecked());
        if (!ok) {
            state.SkipWithError("an upload came short");
        }
        clientFirst = !clientFirst;
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(2 * kSize));
    SetRatio(state, g_clientUp, g_curlUp);
}

BENCHMARK(BM_Download)->Iterations(8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Upload)->Iterations(8)->UseRealTime()->Unit(benchmark::kMillisecond);

// Runs the server in a child process until told to stop; gives its port.
pid_t StartServer(uint16_t& port) {
    int fds[2];
    if (pipe(fds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        VeskTest::HttpTestServer server;
        const uint16_t p = server.Port();
        if (write(fds[1], &p, sizeof p) != sizeof p) {
            _exit(1);
        }
        close(fds[1]);
        pause();  // until the parent's SIGTERM
        _exit(0);
    }
    close(fds[1]);
    if (read(fds[0], &port, sizeof port) != sizeof port) {
        std::fprintf(stderr, "the server did not start\n");
        std::exit(1);
    }
    close(fds[0]);
    return child;
}

}  // namespace

int main(int argc, char** argv) {
    uint16_t port = 0;
    const pid_t server = StartServer(port);
    g_baseUrl = "http://127.0.0.1:" + std::to_string(port);
    g_uploadFile = "/tmp/vesk-http-bench-" + std::to_string(getpid()) + ".bin";
    {
        FILE* file = std::fopen(g_uploadFile.c_str(), "wb");
        std::vector<char> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i) {
            block[i] = VeskTest::PatternByte(i);
        }
        for (uint64_t written = 0; file != nullptr && written < kSize; written += block.size()) {
            std::fwrite(block.data(), 1, block.size(), file);
        }
        if (file != nullptr) {
            std::fclose(file);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    std::remove(g_uploadFile.c_str());

    const auto report = [](const char* what, const Figures& client, const Figures& curl) {
        if (client.bytes == 0 || curl.bytes == 0) {
            return;
        }
        std::printf(
            "%s: client %.0f MiB/s, curl %.0f MiB/s, client/curl %.2f; CPU per MiB: client %.2f ms, curl %.2f ms\n",
            what, client.MiBPerSecond(), curl.MiBPerSecond(), client.MiBPerSecond() / curl.MiBPerSecond(),
            client.cpuSeconds * 1000 / (client.bytes / kMiB), curl.cpuSeconds * 1000 / (curl.bytes / kMiB));
    };
    report("download 256 MiB", g_clientDown, g_curlDown);
    report("upload 256 MiB", g_clientUp, g_curlUp);
    return 0;
}
