#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "Vesk/Data/Structures.h"

namespace Data::impl {

// A cell value reduced to what identifies it as a key, so that values that name the same thing hash
// and compare alike:
// - a Uuid, a 128-bit integer with the same bytes, and a String holding the UUID's text (any case,
//   with or without hyphens, inline or by IString) are one key: rows read from SQLite hold Uuid
//   values while rows made by the library hold the text;
// - integers of every width, Bool and whole-numbered doubles key by their int64 value;
// - other text by its bytes, date-times by their instant, arrays by their bytes, other objects by
//   identity.
// Null and values that hold no data make an empty key: such rows are not indexed.
struct RowKey {
    enum Kind : uint8_t { None = 0, Integer, Real, Wide, Text, Time, Bytes, Json, Xml, Error, Identity };

    Kind kind = None;
    uint64_t low = 0;
    uint64_t high = 0;
    // Only keys made from text or bytes have them; held apart so that the other keys, which every
    // indexed row carries, stay small.
    std::unique_ptr<const std::string> bytes;

    explicit operator bool() const { return kind != None; }
    std::string_view ByteView() const noexcept { return bytes ? std::string_view(*bytes) : std::string_view(); }
    bool operator==(const RowKey& other) const noexcept {
        return kind == other.kind && low == other.low && high == other.high && ByteView() == other.ByteView();
    }
};

struct RowKeyHash {
    size_t operator()(const RowKey& key) const noexcept;
};

// Throws for a record whose type code names no type.
RowKey MakeRowKey(const Structures::_VARIANT& value);

}  // namespace Data::impl
