// A set of indexes into a list that its owner keeps, found by a key of each element: the symbols
// of a run's securities, the names of its staged files. A run may hold tens of thousands, and
// a node set takes about forty bytes an index; this one keeps a 32-bit slot, in a table at most
// half full (open addressing, linear probing), 8 to 16 bytes an index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace msdb {

// `Key` gives the hash of a key, `key(text)`, and of an element, `key(index)`, which must agree,
// and tells whether an element has a key, `key(text, index)`.
template <typename Key>
class IndexSet {
public:
    explicit IndexSet(Key key) : key_(std::move(key)) {}

    std::optional<std::size_t> Find(std::string_view text) const {
        if (slots_.empty()) {
            return std::nullopt;
        }
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = key_(text) & mask;; at = (at + 1) & mask) {
            if (slots_[at] == 0) {
                return std::nullopt;
            }
            if (key_(text, slots_[at] - 1)) {
                return slots_[at] - 1;
            }
        }
    }

    // `index` must not be in the set yet.
    void Insert(std::size_t index) {
        if ((size_ + 1) * 2 > slots_.size()) {
            Grow();
        }
        Place(static_cast<std::uint32_t>(index + 1));
        ++size_;
    }

    void Clear() {
        slots_.clear();
        slots_.shrink_to_fit();
        size_ = 0;
    }

private:
    void Place(std::uint32_t slot) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t at = key_(static_cast<std::size_t>(slot - 1)) & mask;
        while (slots_[at] != 0) {
            at = (at + 1) & mask;
        }
        slots_[at] = slot;
    }

    void Grow() {
        std::vector<std::uint32_t> old = std::move(slots_);
        slots_.assign(old.empty() ? 16 : old.size() * 2, 0);
        for (std::uint32_t slot : old) {
            if (slot != 0) {
                Place(slot);
            }
        }
    }

    Key key_;
    std::vector<std::uint32_t> slots_;  // index + 1; 0 is free
    std::size_t size_ = 0;
};

}  // namespace msdb
