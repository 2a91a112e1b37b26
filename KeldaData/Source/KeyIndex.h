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
// any mix of inserts and removals.
//
// A slot stands for one distinct key. Rows that share a key hang off it in a circular list kept in
// table order, whose head (the slot's row) is the row a lookup returns. Duplicates therefore never
// lengthen probe runs: a table whose key column is mostly one value (all empty texts, say) is
// indexed in linear time, not quadratic. Table order survives row removal unchanged, since removal
// shifts all later positions alike.
class KeyIndex {
public:
    // Forgets every entry and unlinks the rows it held.
    void Clear() noexcept;
    // Room for count distinct keys without growing.
    void Reserve(size_t count);
    // Adds a row under its key (row's key must not be empty). Fails only before changing anything.
    void Insert(RowImpl* row);
    // Removes the row's entry, if it has one.
    void Erase(RowImpl* row) noexcept;
    // The first row in table order with that key, or null.
    RowImpl* Find(const RowKey& key) const noexcept;
    size_t Size() const noexcept { return count_; }

private:
    struct Slot {
        uint64_t hash = 0;
        RowImpl* row = nullptr;  // null: free; else the first row with this key
    };

    size_t Mask() const noexcept { return slots_.size() - 1; }
    // The slot holding key, or slots_.size() when there is none.
    size_t Locate(const RowKey& key, uint64_t hash) const noexcept;
    void Place(uint64_t hash, RowImpl* row) noexcept;
    void Vacate(size_t hole) noexcept;
    void Rehash(size_t capacity);
    // Puts row into the list of rows sharing head's key, in table order; gives the list's new head.
    static RowImpl* Link(RowImpl* head, RowImpl* row) noexcept;
    static void Unlink(RowImpl* row) noexcept;

    std::vector<Slot> slots_;
    size_t count_ = 0;  // occupied slots, that is distinct keys
};

}  // namespace Data::impl
