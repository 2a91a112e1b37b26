// Opening workspaces through the exports, as a host does: a new memory workspace, an existing
// file in each open mode, and a memory image read in place or copied for writing.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace.h"

namespace {

using Vesk::Interfaces::IWorkspaceManager;

Data::Structures::_UUID NewUuid() {
    Data::Structures::_UUID uuid{};
    Data_NewUuid(&uuid);
    return uuid;
}

void Check(bool ok, Core::IErrorCode* error) {
    if (!ok) {
        const std::string message = error != nullptr ? error->GetMessage() : "failed";
        if (error != nullptr) {
            error->Release();
        }
        throw std::runtime_error(message);
    }
}

std::string BenchmarkFile() {
    const auto folder = std::filesystem::temp_directory_path() / "vesk-benchmarks";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "open.veskdb").string();
    std::filesystem::remove(path);
    const auto uuid = NewUuid();
    IWorkspaceManager* workspace = nullptr;
    Core::IErrorCode* error = nullptr;
    Check(VeskWorkspace_CreateOnFilesystem(&uuid, path.c_str(), 1, &workspace, &error), error);
    workspace->Release();
    return path;
}

std::vector<unsigned char> Image() {
    const auto uuid = NewUuid();
    IWorkspaceManager* workspace = nullptr;
    Core::IErrorCode* error = nullptr;
    Check(VeskWorkspace_CreateInMemory(&uuid, &workspace, &error), error);
    Data::Interfaces::IArray* image = nullptr;
    Check(workspace->Serialize(&image, &error), error);
    std::vector<unsigned char> bytes(image->GetData(), image->GetData() + image->GetByteSize());
    image->Release();
    workspace->Release();
    return bytes;
}

void BM_CreateInMemory(benchmark::State& state) {
    for (auto _ : state) {
        const auto uuid = NewUuid();
        IWorkspaceManager* workspace = nullptr;
        Core::IErrorCode* error = nullptr;
        Check(VeskWorkspace_CreateInMemory(&uuid, &workspace, &error), error);
        workspace->Release();
    }
}
BENCHMARK(BM_CreateInMemory);

void BM_OpenExistingFile(benchmark::State& state) {
    const std::string path = BenchmarkFile();
    const auto uuid = NewUuid();
    const int mode = static_cast<int>(state.range(0));
    for (auto _ : state) {
        IWorkspaceManager* workspace = nullptr;
        Core::IErrorCode* error = nullptr;
        Check(VeskWorkspace_CreateOnFilesystem(&uuid, path.c_str(), mode, &workspace, &error), error);
        workspace->Release();
    }
}
BENCHMARK(BM_OpenExistingFile)->Arg(0)->Arg(1)->Arg(2);

void BM_LoadFromImage(benchmark::State& state) {
    const std::vector<unsigned char> image = Image();
    const int mode = static_cast<int>(state.range(0));
    for (auto _ : state) {
        IWorkspaceManager* workspace = nullptr;
        Core::IErrorCode* error = nullptr;
        Check(VeskWorkspace_LoadFromMemory1(image.data(), image.size(), mode, &workspace, &error), error);
        workspace->Release();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
}
BENCHMARK(BM_LoadFromImage)->Arg(0)->Arg(1);

}  // namespace
