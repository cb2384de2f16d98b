// A set of pointers in one flat table (open addressing, linear probing). Every handle a module
// passes in is checked against the set of live vessels, several times per vessel per step; here
// a check reads one or two neighbouring slots rather than a bucket and a list node.
#ifndef HOST_POINTER_SET_H
#define HOST_POINTER_SET_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace host {
namespace detail {

class PointerSet {
public:
    std::size_t count(const void* p) const {
        if (p == nullptr || slots_.empty()) return 0;
        for (std::size_t i = home(p);; i = next(i)) {
            if (slots_[i] == p) return 1;
            if (slots_[i] == nullptr) return 0;
        }
    }

    void insert(const void* p) {
        if (p == nullptr || count(p) != 0) return;
        // At most half full, so every run of occupied slots stays short.
        if ((size_ + 1) * 2 > slots_.size()) grow();
        place(p);
        ++size_;
    }

    void erase(const void* p) {
        if (p == nullptr || slots_.empty()) return;
        std::size_t hole = home(p);
        while (slots_[hole] != p) {
            if (slots_[hole] == nullptr) return;
            hole = next(hole);
        }
        // Close the gap: a later entry of the same run moves into the hole unless its home lies
        // cyclically in (hole, j], so that no look-up ever stops early at an empty slot.
        for (std::size_t j = next(hole); slots_[j] != nullptr; j = next(j)) {
            const std::size_t h = home(slots_[j]);
            const bool stays = hole <= j ? (hole < h && h <= j) : (hole < h || h <= j);
            if (!stays) {
                slots_[hole] = slots_[j];
                hole = j;
            }
        }
        slots_[hole] = nullptr;
        --size_;
    }

    void clear() {
        slots_.clear();
        mask_ = 0;
        size_ = 0;
    }

    std::size_t size() const { return size_; }

private:
    std::size_t home(const void* p) const {
        // Heap addresses share their low bits; mix them all in before masking.
        std::uint64_t x = reinterpret_cast<std::uintptr_t>(p);
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdULL;
        x ^= x >> 33;
        return static_cast<std::size_t>(x) & mask_;
    }
    std::size_t next(std::size_t i) const { return (i + 1) & mask_; }

    void place(const void* p) {
        std::size_t i = home(p);
        while (slots_[i] != nullptr) i = next(i);
        slots_[i] = p;
    }

    void grow() {
        std::vector<const void*> old;
        old.swap(slots_);
        const std::size_t capacity = old.empty() ? 64 : old.size() * 2;
        slots_.assign(capacity, nullptr);
        mask_ = capacity - 1;
        for (const void* p : old) {
            if (p != nullptr) place(p);
        }
    }

    std::vector<const void*> slots_;
    std::size_t mask_ = 0;
    std::size_t size_ = 0;
};

}  // namespace detail
}  // namespace host

#endif  // HOST_POINTER_SET_H
