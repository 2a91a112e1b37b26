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

// The error is taken by reference: it must be read after the call that fills it.
void Check(bool ok, Core::IErrorCode*& error) {
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

// A generic object tree of n objects (each a child of the one made before it, in chains of 10) made
// under one transaction and committed, or written one row at a time under auto-save.
void MakeTree(IWorkspaceManager* workspace, int64_t n, std::vector<Data::Structures::_UUID>& made) {
    Core::IErrorCode* error = nullptr;
    for (int64_t i = 0; i < n; ++i) {
        const auto uuid = NewUuid();
        const Data::Structures::_UUID* parent = i % 10 == 0 ? nullptr : &made.back();
        Vesk::Interfaces::IWorkspaceObject* object = nullptr;
        Check(workspace->CreateObject(parent, &uuid, "node", "Node", false, &object, &error), error);
        object->Release();
        made.push_back(uuid);
    }
}

void BM_CreateObjects(benchmark::State& state) {
    const bool transaction = state.range(1) != 0;
    for (auto _ : state) {
        const auto uuid = NewUuid();
        IWorkspaceManager* workspace = nullptr;
        Core::IErrorCode* error = nullptr;
        Check(VeskWorkspace_CreateInMemory(&uuid, &workspace, &error), error);
        std::vector<Data::Structures::_UUID> made;
        if (transaction) {
            Check(workspace->BeginTransaction(&error), error);
        }
        MakeTree(workspace, state.range(0), made);
        Check(workspace->Save(&error), error);
        workspace->Release();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CreateObjects)->Args({1000, 1})->Args({10000, 1})->Args({1000, 0})->Unit(benchmark::kMillisecond);

// Removing the tops of all chains of a tree of n objects (so every object) under one transaction.
void BM_RemoveSubtrees(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        const auto uuid = NewUuid();
        IWorkspaceManager* workspace = nullptr;
        Core::IErrorCode* error = nullptr;
        Check(VeskWorkspace_CreateInMemory(&uuid, &workspace, &error), error);
        std::vector<Data::Structures::_UUID> made;
        Check(workspace->BeginTransaction(&error), error);
        MakeTree(workspace, state.range(0), made);
        Check(workspace->Save(&error), error);
        Check(workspace->BeginTransaction(&error), error);
        state.ResumeTiming();
        for (size_t i = 0; i < made.size(); i += 10) {
            Check(workspace->RemoveObject(&made[i], &error), error);
        }
        Check(workspace->Save(&error), error);
        state.PauseTiming();
        workspace->Release();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RemoveSubtrees)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
