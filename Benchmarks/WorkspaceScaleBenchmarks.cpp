// The same logical work on N datasets through the library (as a host calls it) and through raw SQLite
// prepared statements, in one run, so that their ratio can be read off: creating N datasets with five
// properties each under one transaction, opening a workspace of N datasets up to its first query, looking
// every dataset up by UUID, and the memory an open workspace holds against its file's size (heap bytes in
// use, read from glibc: this suite is for Linux).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace.h"

namespace {

using Data::Structures::_UUID;
using Vesk::Interfaces::IWorkspaceManager;

constexpr int kPropertiesPerDataset = 5;

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

void CheckSql(int rc, sqlite3* db) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        throw std::runtime_error(sqlite3_errmsg(db));
    }
}

_UUID NewUuid() {
    _UUID uuid{};
    Data_NewUuid(&uuid);
    return uuid;
}

std::string Text(const _UUID& uuid) {
    Data::Interfaces::IString* text = nullptr;
    Data_UuidToString(&uuid, &text);
    std::string result = text->GetText();
    text->Release();
    return result;
}

std::string FreshPath(const std::string& name) {
    const auto folder = std::filesystem::temp_directory_path() / "vesk-scale-benchmarks";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / name).string();
    std::filesystem::remove(path);
    return path;
}

IWorkspaceManager* Open(const std::string& path, int mode) {
    const _UUID uuid = NewUuid();
    IWorkspaceManager* workspace = nullptr;
    Core::IErrorCode* error = nullptr;
    Check(VeskWorkspace_CreateOnFilesystem(&uuid, path.c_str(), mode, &workspace, &error), error);
    return workspace;
}

Data::Interfaces::IProperties* FiveProperties(int64_t i) {
    Data::Interfaces::IProperties* set = nullptr;
    Core::IErrorCode* error = nullptr;
    Check(Data_CreateProperties(&set, &error), error);
    for (int p = 0; p < kPropertiesPerDataset; ++p) {
        const std::string name = "P" + std::to_string(p);
        Data::Structures::_VARIANT value{};
        value.type = Data::Structures::VT_Int64;
        value.i64 = i * kPropertiesPerDataset + p;
        Check(set->Register("", name.c_str(), "", "", "", Data::Structures::VT_Int64, false, &error), error);
        Check(set->SetValue(name.c_str(), &value, &error), error);
    }
    return set;
}

// Creates n datasets of one data source, five properties each, in one transaction; returns their UUIDs.
std::vector<_UUID> CreateThroughLibrary(IWorkspaceManager* workspace, int64_t n) {
    Core::IErrorCode* error = nullptr;
    Check(workspace->BeginTransaction(&error), error);
    const _UUID sourceId = NewUuid();
    Vesk::Interfaces::IWorkspaceDataSource* source = nullptr;
    Data::Interfaces::IProperties* none = nullptr;
    Check(Data_CreateProperties(&none, &error), error);
    Check(workspace->CreateDataSource(&sourceId, "source", 11, none, &source, &error), error);
    none->Release();
    std::vector<_UUID> made;
    for (int64_t i = 0; i < n; ++i) {
        const _UUID uuid = NewUuid();
        Vesk::Interfaces::IWorkspaceDataset* dataset = nullptr;
        Check(workspace->CreateDataset(source, &uuid, "dataset", 1, 0, 1, false, &dataset, &error), error);
        Data::Interfaces::IProperties* set = FiveProperties(i);
        Check(dataset->SetProperties(set, &error), error);
        set->Release();
        dataset->Release();
        made.push_back(uuid);
    }
    source->Release();
    Check(workspace->Save(&error), error);
    return made;
}

// The same rows written by hand with two prepared statements in one transaction.
void CreateThroughSqlite(sqlite3* db, int64_t n) {
    CheckSql(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt* dataset = nullptr;
    sqlite3_stmt* property = nullptr;
    CheckSql(sqlite3_prepare_v2(db,
                                "INSERT INTO Datasets (Uuid, DataSourceUuid, Name, Label, \"Group\", DatasetType, "
                                "TemporalType, SpatialType, Description, InternalName, ReadOnly, Inserted, Updated) "
                                "VALUES (?, ?, 'dataset', '', '', 'Table', 'None', 'Shape', NULL, '', 0, ?, ?)",
                                -1, &dataset, nullptr),
             db);
    CheckSql(sqlite3_prepare_v2(db,
                                "INSERT INTO Properties (Uuid, WorkspaceObjectUuid, PropertyGroup, PropertyName, "
                                "PropertyDescription, PropertyValueType, PropertyInterfaceType, PropertyClassType, "
                                "PropertyValue, IsRequired) VALUES (?, ?, '', ?, '', 5, '', '', ?, 0)",
                                -1, &property, nullptr),
             db);
    const std::string source = Text(NewUuid());
    const std::string now = "2026-12-06T07:00:00.000Z";
    for (int64_t i = 0; i < n; ++i) {
        const std::string uuid = Text(NewUuid());
        sqlite3_bind_text(dataset, 1, uuid.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(dataset, 2, source.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(dataset, 3, now.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(dataset, 4, now.c_str(), -1, SQLITE_STATIC);
        CheckSql(sqlite3_step(dataset), db);
        sqlite3_reset(dataset);
        for (int p = 0; p < kPropertiesPerDataset; ++p) {
            const std::string id = Text(NewUuid());
            const std::string name = "P" + std::to_string(p);
            const int64_t value = i * kPropertiesPerDataset + p;
            sqlite3_bind_text(property, 1, id.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(property, 2, uuid.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(property, 3, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_blob(property, 4, &value, sizeof value, SQLITE_TRANSIENT);
            CheckSql(sqlite3_step(property), db);
            sqlite3_reset(property);
        }
    }
    sqlite3_finalize(dataset);
    sqlite3_finalize(property);
    CheckSql(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
}

// Without the per-connection mutex, as the library opens its connections: each side is used by one thread.
sqlite3* OpenRaw(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        throw std::runtime_error("cannot open " + path);
    }
    return db;
}

// (a) through the library: a new workspace file (kept open), N datasets with their properties, one commit.
void BM_CreateDatasets_Library(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        IWorkspaceManager* workspace = Open(FreshPath("create-library.veskdb"), 2);
        state.ResumeTiming();
        CreateThroughLibrary(workspace, state.range(0));
        state.PauseTiming();
        workspace->Release();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// (a) raw: the same rows into the same schema (made by the library beforehand).
void BM_CreateDatasets_Sqlite(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        const std::string path = FreshPath("create-sqlite.veskdb");
        Open(path, 1)->Release();
        sqlite3* db = OpenRaw(path);
        state.ResumeTiming();
        CreateThroughSqlite(db, state.range(0));
        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A workspace file of n datasets with their properties, made once per size.
struct Fixture {
    std::string path;
    std::vector<_UUID> datasets;
};

const Fixture& FixtureOf(int64_t n) {
    static std::vector<std::pair<int64_t, Fixture>> made;
    for (const auto& [size, fixture] : made) {
        if (size == n) {
            return fixture;
        }
    }
    Fixture fixture{FreshPath("open-" + std::to_string(n) + ".veskdb"), {}};
    IWorkspaceManager* workspace = Open(fixture.path, 2);
    fixture.datasets = CreateThroughLibrary(workspace, n);
    workspace->Release();
    made.emplace_back(n, std::move(fixture));
    return made.back().second;
}

// (b) through the library: construction up to the answer of a first query.
void BM_OpenWorkspace_Library(benchmark::State& state) {
    const Fixture& fixture = FixtureOf(state.range(0));
    for (auto _ : state) {
        IWorkspaceManager* workspace = Open(fixture.path, 1);
        Vesk::Interfaces::IWorkspaceDataset* dataset = nullptr;
        Core::IErrorCode* error = nullptr;
        Check(workspace->GetDataset(&fixture.datasets.back(), &dataset, &error), error);
        dataset->Release();
        workspace->Release();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// (b) raw: read every row of the five tables, copying every text, as loading them into memory must.
void BM_OpenWorkspace_Sqlite(benchmark::State& state) {
    const Fixture& fixture = FixtureOf(state.range(0));
    for (auto _ : state) {
        sqlite3* db = OpenRaw(fixture.path);
        std::vector<std::string> cells;
        for (const char* table : {"Workspaces", "DataSources", "Datasets", "Properties", "GenericObjects"}) {
            sqlite3_stmt* select = nullptr;
            CheckSql(sqlite3_prepare_v2(db, (std::string("SELECT * FROM ") + table).c_str(), -1, &select, nullptr), db);
            while (sqlite3_step(select) == SQLITE_ROW) {
                for (int c = 0; c < sqlite3_column_count(select); ++c) {
                    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(select, c));
                    cells.emplace_back(bytes != nullptr ? bytes : "", sqlite3_column_bytes(select, c));
                }
            }
            sqlite3_finalize(select);
        }
        benchmark::DoNotOptimize(cells.data());
        sqlite3_close(db);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// (c) through the library: every dataset by its UUID in an open workspace.
void BM_LookUpEveryDataset_Library(benchmark::State& state) {
    const Fixture& fixture = FixtureOf(state.range(0));
    IWorkspaceManager* workspace = Open(fixture.path, 2);
    for (auto _ : state) {
        for (const _UUID& uuid : fixture.datasets) {
            Vesk::Interfaces::IWorkspaceDataset* dataset = nullptr;
            Core::IErrorCode* error = nullptr;
            Check(workspace->GetDataset(&uuid, &dataset, &error), error);
            dataset->Release();
        }
    }
    workspace->Release();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// (c) raw: the same lookups through the primary key with one prepared statement.
void BM_LookUpEveryDataset_Sqlite(benchmark::State& state) {
    const Fixture& fixture = FixtureOf(state.range(0));
    std::vector<std::string> keys;
    for (const _UUID& uuid : fixture.datasets) {
        keys.push_back(Text(uuid));
    }
    sqlite3* db = OpenRaw(fixture.path);
    sqlite3_stmt* select = nullptr;
    CheckSql(sqlite3_prepare_v2(db, "SELECT * FROM Datasets WHERE Uuid = ?", -1, &select, nullptr), db);
    for (auto _ : state) {
        for (const std::string& key : keys) {
            sqlite3_bind_text(select, 1, key.c_str(), -1, SQLITE_STATIC);
            if (sqlite3_step(select) != SQLITE_ROW) {
                throw std::runtime_error("dataset not found");
            }
            sqlite3_reset(select);
        }
    }
    sqlite3_finalize(select);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Heap bytes in use (glibc): unlike the resident size, not blurred by memory that earlier work freed and
// the allocator kept.
double HeapBytesInUse() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd);
}

// (d) the memory an open workspace holds, against the size of its file.
void BM_OpenWorkspaceMemory(benchmark::State& state) {
    const Fixture& fixture = FixtureOf(state.range(0));
    const double fileSize = static_cast<double>(std::filesystem::file_size(fixture.path));
    double held = 0;
    for (auto _ : state) {
        const double before = HeapBytesInUse();
        IWorkspaceManager* workspace = Open(fixture.path, 1);
        held = HeapBytesInUse() - before;
        workspace->Release();
    }
    state.counters["file_MB"] = fileSize / 1e6;
    state.counters["heap_held_MB"] = held / 1e6;
    state.counters["held_over_file"] = held / fileSize;
}

void Sizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->Arg(10000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_CreateDatasets_Library)->Apply(Sizes);
BENCHMARK(BM_CreateDatasets_Sqlite)->Apply(Sizes);
BENCHMARK(BM_OpenWorkspace_Library)->Apply(Sizes);
BENCHMARK(BM_OpenWorkspace_Sqlite)->Apply(Sizes);
BENCHMARK(BM_LookUpEveryDataset_Library)->Apply(Sizes);
BENCHMARK(BM_LookUpEveryDataset_Sqlite)->Apply(Sizes);
BENCHMARK(BM_OpenWorkspaceMemory)->Apply(Sizes);

}  // namespace
