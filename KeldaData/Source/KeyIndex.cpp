#include "KeyIndex.h"

#include <algorithm>
#include <bit>

#include "Row.h"

namespace Data::impl {

namespace {

constexpr size_t kMinimumCapacity = 16;

// Slots needed for count keys at a load factor of at most one half; always a power of two.
size_t CapacityFor(size_t count) {
    return std::bit_ceil(std::max(kMinimumCapacity, count * 2));
}

}  // namespace

// The list is circular: the head's predecessor is its tail. New rows come last in the table, so the
// walk back from the tail normally ends at once.
RowImpl* KeyIndex::Link(RowImpl* head, RowImpl* row) noexcept {
    RowImpl* before = head->sameKeyPrevious_;
    while (before->position_ > row->position_ && before != head) {
        before = before->sameKeyPrevious_;
    }
    const bool newHead = before == head && head->position_ > row->position_;
    if (newHead) {
        before = head->sameKeyPrevious_;  // the tail: the list is circular
    }
    row->sameKeyPrevious_ = before;
    row->sameKeyNext_ = before->sameKeyNext_;
    before->sameKeyNext_->sameKeyPrevious_ = row;
    before->sameKeyNext_ = row;
    return newHead ? row : head;
}

void KeyIndex::Unlink(RowImpl* row) noexcept {
    row->sameKeyPrevious_->sameKeyNext_ = row->sameKeyNext_;
    row->sameKeyNext_->sameKeyPrevious_ = row->sameKeyPrevious_;
    row->sameKeyPrevious_ = nullptr;
    row->sameKeyNext_ = nullptr;
}

void KeyIndex::Clear() noexcept {
    for (Slot& slot : slots_) {
        if (RowImpl* head = slot.row) {
            RowImpl* row = head;
            do {
                RowImpl* next = row->sameKeyNext_;
                row->sameKeyPrevious_ = nullptr;
                row->sameKeyNext_ = nullptr;
                row = next;
            } while (row != head);
        }
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

size_t KeyIndex::Locate(const RowKey& key, uint64_t hash) const noexcept {
    if (count_ == 0) {
        return slots_.size();
    }
    for (size_t i = hash & Mask(); slots_[i].row != nullptr; i = (i + 1) & Mask()) {
        if (slots_[i].hash == hash && slots_[i].row->key_ == key) {
            return i;
        }
    }
    return slots_.size();
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
    const uint64_t hash = RowKeyHash{}(row->key_);
    const size_t slot = Locate(row->key_, hash);
    if (slot != slots_.size()) {
        slots_[slot].row = Link(slots_[slot].row, row);
        return;
    }
    row->sameKeyPrevious_ = row;
    row->sameKeyNext_ = row;
    Place(hash, row);
    ++count_;
}

void KeyIndex::Erase(RowImpl* row) noexcept {
    if (!row->key_ || row->sameKeyNext_ == nullptr) {
        return;
    }
    const size_t slot = Locate(row->key_, RowKeyHash{}(row->key_));
    if (slot == slots_.size()) {
        return;
    }
    if (row->sameKeyNext_ != row) {
        // Others share the key: the slot stays, headed by the next row in table order if this one led.
        if (slots_[slot].row == row) {
            slots_[slot].row = row->sameKeyNext_;
        }
        Unlink(row);
        return;
    }
    row->sameKeyPrevious_ = nullptr;
    row->sameKeyNext_ = nullptr;
    Vacate(slot);
    --count_;
}

void KeyIndex::Vacate(size_t hole) noexcept {
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
}

RowImpl* KeyIndex::Find(const RowKey& key) const noexcept {
    const size_t slot = Locate(key, RowKeyHash{}(key));
    return slot == slots_.size() ? nullptr : slots_[slot].row;
}

}  // namespace Data::impl
