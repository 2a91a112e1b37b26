#include "KeyIndex.h"

#include <bit>

#include "Row.h"

namespace Data::impl {

namespace {

constexpr size_t kMinimumCapacity = 16;

// Slots needed for count rows at a load factor of at most one half; always a power of two.
size_t CapacityFor(size_t count) {
    return std::bit_ceil(std::max(kMinimumCapacity, count * 2));
}

}  // namespace

void KeyIndex::Clear() noexcept {
    for (Slot& slot : slots_) {
        slot = Slot{};
    }
    count_ = 0;
}

void KeyIndex::Reserve(size_t count) {
    if (CapacityFor(count) > slots_.size()) {
        Rehash(CapacityFor(count));
    }
}

void KeyIndex::Rehash(size_t capacity) {
    std::vector<Slot> old(capacity);
    old.swap(slots_);
    for (const Slot& slot : old) {
        if (slot.row != nullptr) {
            Place(slot.hash, slot.row);
        }
    }
}

void KeyIndex::Place(uint64_t hash, RowImpl* row) noexcept {
    size_t i = hash & Mask();
    while (slots_[i].row != nullptr) {
        i = (i + 1) & Mask();
    }
    slots_[i] = Slot{hash, row};
}

void KeyIndex::Insert(RowImpl* row) {
    Reserve(count_ + 1);
    Place(RowKeyHash{}(row->key_), row);
    ++count_;
}

void KeyIndex::Erase(const RowImpl* row) noexcept {
    if (slots_.empty() || !row->key_) {
        return;
    }
    size_t hole = RowKeyHash{}(row->key_) & Mask();
    while (slots_[hole].row != row) {
        if (slots_[hole].row == nullptr) {
            return;
        }
        hole = (hole + 1) & Mask();
    }
    // Backward shift: pull each later entry of the run into the hole unless its home slot lies
    // (cyclically) after the hole, where a lookup would not pass the hole to reach it.
    for (size_t next = (hole + 1) & Mask(); slots_[next].row != nullptr; next = (next + 1) & Mask()) {
        const size_t home = slots_[next].hash & Mask();
        const bool stays = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
        if (!stays) {
            slots_[hole] = slots_[next];
            hole = next;
        }
    }
    slots_[hole] = Slot{};
    --count_;
}

RowImpl* KeyIndex::Find(const RowKey& key) const noexcept {
    if (count_ == 0) {
        return nullptr;
    }
    const uint64_t hash = RowKeyHash{}(key);
    RowImpl* found = nullptr;
    for (size_t i = hash & Mask(); slots_[i].row != nullptr; i = (i + 1) & Mask()) {
        RowImpl* row = slots_[i].row;
        if (slots_[i].hash == hash && row->key_ == key && (found == nullptr || row->position_ < found->position_)) {
            found = row;
        }
    }
    return found;
}

}  // namespace Data::impl
