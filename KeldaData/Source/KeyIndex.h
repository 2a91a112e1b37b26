#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "RowKey.h"

namespace Data::impl {

class RowImpl;

// The hash index of a table's key column: open addressing with linear probing over slots of (hash,
// row). The key itself is kept once, in the row, so a lookup reads one run of adjacent slots and
// then only the row it returns; a node-based map would chase a pointer per entry in the bucket.
// Deletion shifts later entries back instead of leaving tombstones, so probe runs stay short under
// any mix of inserts and removals. Several rows may share a key; lookups return the first one in
// table order.
class KeyIndex {
public:
    void Clear() noexcept;
    // Room for count rows without growing.
    void Reserve(size_t count);
    // Adds a row under its key (row's key must not be empty). Fails only before changing anything.
    void Insert(RowImpl* row);
    // Removes the row's entry, if it has one.
    void Erase(const RowImpl* row) noexcept;
    RowImpl* Find(const RowKey& key) const noexcept;
    size_t Size() const noexcept { return count_; }

private:
    struct Slot {
        uint64_t hash = 0;
        RowImpl* row = nullptr;  // null: free
    };

    size_t Mask() const noexcept { return slots_.size() - 1; }
    void Place(uint64_t hash, RowImpl* row) noexcept;
    void Rehash(size_t capacity);

    std::vector<Slot> slots_;
    size_t count_ = 0;
};

}  // namespace Data::impl
