// Reload and Store of a 256 MiB workspace through vesk-server on loopback, against the curl tool moving
// the same file the same way (GET to a file, PUT from it). Wall time; the server runs in its own process.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "Core/ErrorCode.h"
#include "ServerProcess.h"
#include "TempFolder.h"
#include "Vesk/Services/WorkspaceServicesImpl.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"

namespace {

namespace fs = std::filesystem;
using Vesk::Workspace::Services::impl::WorkspaceServicesImpl;
using Clock = std::chrono::steady_clock;

constexpr const char* kUuid = "3d6f4e2a-0b1c-4d5e-8f90-a1b2c3d4e5f6";
constexpr int kMiBs = 256;

void Exec(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message != nullptr ? message : "?";
        sqlite3_free(message);
        throw std::runtime_error(text);
    }
}

// A valid workspace grown to kMiBs MiB with a table of incompressible blobs.
void MakeLargeWorkspace(const fs::path& path) {
    Core::MakeObject<Vesk::Workspace::impl::WorkspaceManagerImpl>(Data::UuidFromText(kUuid), path.string(),
                                                                  Vesk::Interfaces::ReadWrite, nullptr, 0);
    sqlite3* db = nullptr;
    sqlite3_open(path.string().c_str(), &db);
    Exec(db,
         "CREATE TABLE Padding(Bytes BLOB); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
         "WHERE i < " +
             std::to_string(kMiBs) + ") INSERT INTO Padding SELECT randomblob(1048576 - 200) FROM n;");
    sqlite3_close(db);
}

// Changes one page of the cached file, as an edit would, so that Store has something to send.
void TouchWorkspace(const fs::path& path, int round) {
    sqlite3* db = nullptr;
    sqlite3_open(path.string().c_str(), &db);
    Exec(db, "UPDATE Workspaces SET Description = 'round " + std::to_string(round) + "'");
    sqlite3_close(db);
}

struct Setup {
    VeskTest::TempFolder temp;
    std::unique_ptr<VeskTest::ServerProcess> server;
    fs::path remote;

    Setup() {
        fs::create_directories(temp.Path() / "root" / kUuid);
        remote = temp.Path() / "root" / kUuid / "Large.veskdb";
        MakeLargeWorkspace(remote);
        server = std::make_unique<VeskTest::ServerProcess>((temp.Path() / "root").string());
    }
    std::string WorkspaceUrl() const { return server->Url(std::string("/ws/") + kUuid); }
    std::string FileUrl() const { return WorkspaceUrl() + "/services/storage/Large.veskdb"; }
};

Setup& Shared() {
    static Setup setup;
    return setup;
}

void Check(bool ok, Core::ErrorCode& error) {
    if (!ok) {
        throw std::runtime_error(std::string(error.Message()));
    }
}

void Curl(const std::string& arguments) {
    if (std::system(("curl -sSf " + arguments + " >/dev/null").c_str()) != 0) {
        throw std::runtime_error("curl failed: " + arguments);
    }
}

// Times body alone; prepare runs before it, untimed.
template <class Prepare, class Body>
void TimeEach(benchmark::State& state, Prepare prepare, Body body) {
    for (auto _ : state) {
        prepare();
        const auto started = Clock::now();
        body();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - started).count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (int64_t(kMiBs) << 20));
}

void BM_Reload(benchmark::State& state) {
    Setup& setup = Shared();
    auto services = WorkspaceServicesImpl::Open(setup.WorkspaceUrl(), (setup.temp.Path() / "reload").string(), nullptr);
    TimeEach(
        state,
        [&] {
            Core::ErrorCode error;
            Check(services->Discard(error.Receive()), error);
        },
        [&] {
            Core::ErrorCode error;
            Check(services->Reload(error.Receive()), error);
        });
}

void BM_CurlDownload(benchmark::State& state) {
    Setup& setup = Shared();
    const std::string target = (setup.temp.Path() / "curl-download.veskdb").string();
    TimeEach(
        state, [] {}, [&] { Curl("-o '" + target + "' '" + setup.FileUrl() + "'"); });
}

// curl followed by a flush of the file to the disk, as Reload flushes its download before it takes it.
void BM_CurlDownloadFlushed(benchmark::State& state) {
    Setup& setup = Shared();
    const std::string target = (setup.temp.Path() / "curl-download.veskdb").string();
    TimeEach(
        state, [] {},
        [&] {
            Curl("-o '" + target + "' '" + setup.FileUrl() + "'");
            if (std::system(("sync '" + target + "'").c_str()) != 0) {
                throw std::runtime_error("sync failed");
            }
        });
}

void BM_Store(benchmark::State& state) {
    Setup& setup = Shared();
    const fs::path cache = setup.temp.Path() / "store";
    auto services = WorkspaceServicesImpl::Open(setup.WorkspaceUrl(), cache.string(), nullptr);
    Core::ErrorCode error;
    Check(services->Discard(error.Receive()), error);
    Check(services->Reload(error.Receive()), error);
    int round = 0;
    TimeEach(
        state, [&] { TouchWorkspace(cache / "Files" / "Large.veskdb", ++round); },
        [&] {
            Core::ErrorCode failure;
            Check(services->Store(failure.Receive()), failure);
        });
}

void BM_CurlUpload(benchmark::State& state) {
    Setup& setup = Shared();
    const std::string source = setup.remote.string() + ".copy";
    fs::copy_file(setup.remote, source, fs::copy_options::overwrite_existing);
    TimeEach(
        state, [] {}, [&] { Curl("-T '" + source + "' '" + setup.FileUrl() + "'"); });
}

BENCHMARK(BM_Reload)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CurlDownload)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CurlDownloadFlushed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Store)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CurlUpload)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
