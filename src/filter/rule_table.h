#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <utility>
#include <vector>

#include "filter/flat_array.h"

namespace quillow::filter {

// Keys (hashes of hosts or words) to runs of numbers (rules, selectors or
// a suffix's kind), open-addressed. A bit filter in front of the table
// answers most keys that hold nothing from the processor's cache.
struct RuleTable {
    struct Slot {
        std::uint64_t key;  // 0: empty
        std::uint32_t first;
        std::uint16_t count;
        // The request kinds any of the run's rules is for: a run for none
        // of a request's is passed over without reading its rules.
        std::uint16_t kinds;
    };
    // A run of one is kept in the slot itself; a run marked bare holds a
    // rule that matches whenever its key is found (a plain `||host^`).
    static constexpr std::uint16_t kBare = 1u << 15;
    // A longer run keeps its length in `ids` just before it.
    static constexpr std::uint16_t kLongRun = kBare - 1;

    FlatArray<Slot> table;
    FlatArray<std::uint64_t> bits;
    FlatArray<std::uint32_t> ids;
    // Beside each of `ids`, when built with them: what the index keeps of
    // each rule to pass it over unread (its kinds in the low 16 bits, then
    // two pairs of characters, each marked with kHintPair).
    FlatArray<std::uint64_t> hints;
    static constexpr std::uint16_t kHintPair = 1u << 15;

    // Entries of one key keep their order in their run; `hintOf` gives
    // each number's hint (none given: every kind, no pairs).
    void build(const std::vector<std::pair<std::uint64_t, std::uint32_t>> &entries,
               const std::unordered_set<std::uint64_t> &bareKeys = {},
               const std::vector<std::uint64_t> *hintOf = nullptr);

    std::uint64_t bitOf(std::uint64_t key) const { return (key >> 32) & (bits.size() * 64 - 1); }
    void prefetchBit(std::uint64_t key) const {
        if (!bits.empty())
            __builtin_prefetch(&bits[bitOf(key) >> 6]);
    }
    bool mayHold(std::uint64_t key) const {
        if (table.empty())
            return false;
        const std::uint64_t bit = bitOf(key);
        return bits[bit >> 6] & (1ull << (bit & 63));
    }
    void prefetchSlot(std::uint64_t key) const {
        if (!table.empty())
            __builtin_prefetch(&table[key & (table.size() - 1)]);
    }
    // The run under `key`, or null.
    const std::uint32_t *find(std::uint64_t key, std::uint32_t &count, bool &bare,
                              std::uint16_t &kinds) const;
    const std::uint32_t *find(std::uint64_t key, std::uint32_t &count) const {
        bool bare = false;
        std::uint16_t kinds = 0;
        return find(key, count, bare, kinds);
    }
    // A slot's run: its length and where it starts.
    std::uint32_t runLength(const Slot &slot) const {
        const std::uint32_t n = slot.count & ~kBare;
        return n == kLongRun ? ids[slot.first] : n;
    }
    // The hints of a run of more than one, or null.
    const std::uint64_t *hintsOf(const std::uint32_t *run) const {
        return hints.empty() ? nullptr : hints.data() + (run - ids.data());
    }
    const std::uint32_t *runOf(const Slot &slot) const {
        const std::uint32_t n = slot.count & ~kBare;
        return n == 1 ? &slot.first : ids.data() + slot.first + (n == kLongRun);
    }

    // A table read from a file: sizes as built, never full, every number
    // below `idLimit` and every run inside `ids`.
    bool valid(std::size_t idLimit) const;
};

}  // namespace quillow::filter
