// Internal: a table of handles to reference-counted objects (the value layout is implemented
// in handle_table.cpp).
//
// A handle value encodes a table tag, a slot index and the slot's generation, so that a
// closed handle, a handle of another table (an HWND given to CloseHandle) or an arbitrary
// pointer is recognised and refused instead of reaching the wrong object. Freed slots are
// reused oldest first and every reuse bumps the generation, so a stale value stays invalid
// for 2^32 reuses of its slot. All operations are thread-safe.
#ifndef WINPORT_POSIX_KERNEL_HANDLE_TABLE_H
#define WINPORT_POSIX_KERNEL_HANDLE_TABLE_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace winport {

// The value layout shared by every table (implemented in handle_table.cpp): bits 2..25 the
// slot index + 1, bits 26..57 the generation, bits 58..61 the table tag. Multiples of 4 as
// on Windows, never 0 nor one of the negative pseudo-handles.
constexpr std::uint32_t kMaxHandleSlots = (1u << 24) - 1;
std::uintptr_t EncodeHandleValue(std::uint32_t tag, std::uint32_t index, std::uint32_t generation);
// False when the value is not a handle of the table with that tag.
bool DecodeHandleValue(std::uintptr_t value, std::uint32_t tag, std::uint32_t* index, std::uint32_t* generation);

template <class T>
class HandleTable {
public:
    explicit HandleTable(std::uint32_t tag) : tag_(tag & 0xF) {}

    // 0 when the table is full.
    std::uintptr_t Insert(std::shared_ptr<T> object)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::uint32_t index;
        if (free_.size() > kMinFreeBeforeReuse || (slots_.size() >= kMaxSlots && !free_.empty())) {
            index = free_.front();
            free_.pop_front();
        } else if (slots_.size() < kMaxSlots) {
            index = static_cast<std::uint32_t>(slots_.size());
            slots_.push_back(Slot{});
        } else {
            return 0;
        }
        Slot& slot = slots_[index];
        slot.object = std::move(object);
        ++live_;
        return Encode(index, slot.generation);
    }

    std::shared_ptr<T> Get(std::uintptr_t value) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const Slot* slot = Find(value);
        return slot ? slot->object : nullptr;
    }

    // Removes the entry; the object dies when the last reference elsewhere goes.
    std::shared_ptr<T> Remove(std::uintptr_t value)
    {
        std::shared_ptr<T> object;
        std::lock_guard<std::mutex> lock(mutex_);
        Slot* slot = const_cast<Slot*>(Find(value));
        if (!slot) return nullptr;
        object = std::move(slot->object);
        slot->object.reset();
        ++slot->generation;
        free_.push_back(static_cast<std::uint32_t>(slot - slots_.data()));
        --live_;
        return object;
    }

    std::size_t LiveCount() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return live_;
    }

    // Copies of every live object (for sweeps such as "windows of a thread").
    std::vector<std::pair<std::uintptr_t, std::shared_ptr<T>>> Snapshot() const
    {
        std::vector<std::pair<std::uintptr_t, std::shared_ptr<T>>> out;
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            if (slots_[i].object)
                out.emplace_back(Encode(static_cast<std::uint32_t>(i), slots_[i].generation), slots_[i].object);
        }
        return out;
    }

private:
    struct Slot {
        std::shared_ptr<T> object;
        std::uint32_t generation = 1;
    };
    static constexpr std::uint32_t kMaxSlots = kMaxHandleSlots;
    static constexpr std::size_t kMinFreeBeforeReuse = 1024;

    std::uintptr_t Encode(std::uint32_t index, std::uint32_t generation) const
    {
        return EncodeHandleValue(tag_, index, generation);
    }

    const Slot* Find(std::uintptr_t value) const
    {
        std::uint32_t index;
        std::uint32_t generation;
        if (!DecodeHandleValue(value, tag_, &index, &generation) || index >= slots_.size()) return nullptr;
        const Slot& slot = slots_[index];
        return slot.object && slot.generation == generation ? &slot : nullptr;
    }

    const std::uint32_t tag_;
    mutable std::mutex mutex_;
    std::vector<Slot> slots_;
    std::deque<std::uint32_t> free_;
    std::size_t live_ = 0;
};

}  // namespace winport

#endif
