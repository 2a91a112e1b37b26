// Key lookups and row insertion of the data-object library's tables. FindRow should cost the same
// on 1k and 100k rows: the workspace looks rows up by UUID once per object it touches.
#include <benchmark/benchmark.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "Core/Guard.h"
#include "Core/Ptr.h"
#include "Vesk/Data/KeldaData.h"

namespace {

using namespace Data::Interfaces;
using namespace Data::Structures;
using Core::Ptr;

_VARIANT UuidValue(const _UUID& uuid) {
    _VARIANT value{};
    value.type = VT_Uuid;
    std::memcpy(value.bytes, uuid.bytes, sizeof uuid.bytes);
    return value;
}

_VARIANT NewUuidValue() {
    _UUID uuid;
    if (!Data_NewUuid(&uuid)) {
        throw std::runtime_error("Data_NewUuid failed");
    }
    return UuidValue(uuid);
}

Ptr<ITable> MakeTable() {
    Ptr<ITable> table;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return Data_CreateTable(table.Receive(), e); });
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->AddColumn("Uuid", VT_Uuid, nullptr, e); });
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->AddColumn("Name", VT_String, nullptr, e); });
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->SetKeyColumn("Uuid", e); });
    return table;
}

void AppendRow(ITable* table, const _VARIANT& key, const _VARIANT& name) {
    Ptr<IRow> row;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->NewRow(row.Receive(), e); });
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return row->SetCell(0, &key, e); });
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return row->SetCell(1, &name, e); });
}

_VARIANT NameValue() {
    _VARIANT name{};
    name.type = VT_String;
    std::memcpy(name.text, "object", 7);
    return name;
}

// A table of n rows keyed by Uuid values, as loaded from a workspace, and the keys of its rows.
struct Fixture {
    Ptr<ITable> table = MakeTable();
    std::vector<_VARIANT> keys;

    explicit Fixture(int64_t rows) {
        keys.reserve(static_cast<size_t>(rows));
        for (int64_t i = 0; i < rows; ++i) {
            keys.push_back(NewUuidValue());
            AppendRow(table.Get(), keys.back(), NameValue());
        }
    }
};

void BM_FindRowByUuid(benchmark::State& state) {
    Fixture fixture(state.range(0));
    size_t next = 0;
    for (auto _ : state) {
        Ptr<IRow> row;
        fixture.table->FindRow(&fixture.keys[next], row.Receive(), nullptr);
        benchmark::DoNotOptimize(row.GetUnchecked());
        next = next + 1 == fixture.keys.size() ? 0 : next + 1;
    }
}
BENCHMARK(BM_FindRowByUuid)->Arg(1'000)->Arg(100'000);

// The same rows looked up by their UUID text, as rows created by the library carry them.
void BM_FindRowByUuidText(benchmark::State& state) {
    Fixture fixture(state.range(0));
    std::vector<Ptr<IString>> texts;
    for (size_t i = 0; i < fixture.keys.size() && i < 4096; ++i) {
        _UUID uuid;
        std::memcpy(uuid.bytes, fixture.keys[i].bytes, sizeof uuid.bytes);
        Ptr<IString> text;
        Data_UuidToString(&uuid, text.Receive());
        texts.push_back(text);
    }
    size_t next = 0;
    for (auto _ : state) {
        _VARIANT key{};
        key.type = static_cast<uint32_t>(VF_Reference) | VT_String;
        key.object = texts[next].GetUnchecked();  // borrowed: never cleared
        Ptr<IRow> row;
        fixture.table->FindRow(&key, row.Receive(), nullptr);
        benchmark::DoNotOptimize(row.GetUnchecked());
        next = next + 1 == texts.size() ? 0 : next + 1;
    }
}
BENCHMARK(BM_FindRowByUuidText)->Arg(1'000)->Arg(100'000);

void BM_FindRowMissing(benchmark::State& state) {
    Fixture fixture(state.range(0));
    const _VARIANT missing = NewUuidValue();
    for (auto _ : state) {
        benchmark::DoNotOptimize(fixture.table->FindRowIndex(&missing));
    }
}
BENCHMARK(BM_FindRowMissing)->Arg(1'000)->Arg(100'000);

// NewRow plus two SetCell calls (key and name) per row, into a table that grows to n rows.
void BM_NewRowSetCell(benchmark::State& state) {
    const auto rows = static_cast<size_t>(state.range(0));
    std::vector<_VARIANT> keys;
    for (size_t i = 0; i < rows; ++i) {
        keys.push_back(NewUuidValue());
    }
    const _VARIANT name = NameValue();
    for (auto _ : state) {
        Ptr<ITable> table = MakeTable();
        for (const _VARIANT& key : keys) {
            AppendRow(table.Get(), key, name);
        }
        benchmark::DoNotOptimize(table->GetRowCount());
        state.PauseTiming();
        table = nullptr;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_NewRowSetCell)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// Insertion when every row carries the same key (a key column of empty texts, say): rows that share
// a key must not lengthen each other's inserts.
void BM_NewRowSharedKey(benchmark::State& state) {
    const _VARIANT key = NameValue();
    _VARIANT noUuid{};
    noUuid.type = VT_Null;
    for (auto _ : state) {
        Ptr<ITable> table = MakeTable();
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->SetKeyColumn("Name", e); });
        for (int64_t i = 0; i < state.range(0); ++i) {
            AppendRow(table.Get(), noUuid, key);
        }
        benchmark::DoNotOptimize(table->FindRowIndex(&key));
        state.PauseTiming();
        table = nullptr;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_NewRowSharedKey)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

}  // namespace
