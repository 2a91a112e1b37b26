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

void BM_ClientDownload(benchmark::State& state) {
    Core::Ptr<IHttpClient> client = Platform::Network::Http::OpenHttpClient(g_baseUrl, "HttpClient/1.0");
    Core::Ptr<IAcceptTypes> types = Platform::Network::Http::CreateAcceptTypes();
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        const auto start = Clock::now();
        const double cpu = ProcessCpuSeconds(RUSAGE_SELF);
        Core::Ptr<IHttpRequest> request;
        client->CreateRequest(("/blob?size=" + std::to_string(kSize)).c_str(), types.GetUnchecked(), HttpGet,
                              request.Receive(), nullptr);
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
        if (g_received != kSize) {
            state.SkipWithError("the body was not received whole");
        }
        Record(g_clientDown, start, cpu, RUSAGE_SELF);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kSize));
}

void BM_ClientUpload(benchmark::State& state) {
    Core::Ptr<IHttpClient> client = Platform::Network::Http::OpenHttpClient(g_baseUrl, "HttpClient/1.0");
    Core::Ptr<IAcceptTypes> types = Platform::Network::Http::CreateAcceptTypes();
    for (auto _ : state) {
        const auto start = Clock::now();
        const double cpu = ProcessCpuSeconds(RUSAGE_SELF);
        Core::Ptr<IHttpRequestStream> request;
        client->CreateStreamRequest("/sink", types.GetUnchecked(), HttpPut, request.Receive(), nullptr);
        auto body = Core::MakeObject<RepeatingStream>(kSize);
        request->SetBodyStream(body.GetUnchecked(), nullptr);
        Core::Ptr<IAsyncTask> task;
        request->SendAsync(task.Receive(), nullptr);
        task->Wait(0xFFFFFFFF);
        auto response = Platform::Threading::AsyncTask(task).ResultAs<IHttpResponse>();
        if (std::string(static_cast<const char*>(response->GetBody()), response->GetBodySize()) !=
            std::to_string(kSize)) {
            state.SkipWithError("the server did not receive the whole body");
        }
        Record(g_clientUp, start, cpu, RUSAGE_SELF);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kSize));
}

void RunCurl(benchmark::State& state, Figures& figures, const std::string& command) {
    for (auto _ : state) {
        const auto start = Clock::now();
        const double cpu = ProcessCpuSeconds(RUSAGE_CHILDREN);
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("curl failed");
        }
        Record(figures, start, cpu, RUSAGE_CHILDREN);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kSize));
}

void BM_CurlDownload(benchmark::State& state) {
    RunCurl(state, g_curlDown,
            "curl -s -o /dev/null --noproxy '*' '" + g_baseUrl + "/blob?size=" + std::to_string(kSize) + "'");
}

void BM_CurlUpload(benchmark::State& state) {
    RunCurl(state, g_curlUp,
            "curl -s -o /dev/null --noproxy '*' -H 'Expect:' -T '" + g_uploadFile + "' '" + g_baseUrl + "/sink'");
}

BENCHMARK(BM_ClientDownload)->Iterations(6)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlDownload)->Iterations(6)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClientUpload)->Iterations(6)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlUpload)->Iterations(6)->UseRealTime()->Unit(benchmark::kMillisecond);

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
