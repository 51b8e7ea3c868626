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
        std::uint32_t count;
    };
    // A run of one is kept in the slot itself; a run marked bare holds a
    // rule that matches whenever its key is found (a plain `||host^`).
    static constexpr std::uint32_t kBare = 1u << 31;

    FlatArray<Slot> table;
    FlatArray<std::uint64_t> bits;
    FlatArray<std::uint32_t> ids;

    // Entries of one key keep their order in their run.
    void build(const std::vector<std::pair<std::uint64_t, std::uint32_t>> &entries,
               const std::unordered_set<std::uint64_t> &bareKeys = {});

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
    const std::uint32_t *find(std::uint64_t key, std::uint32_t &count, bool &bare) const;
    const std::uint32_t *find(std::uint64_t key, std::uint32_t &count) const {
        bool bare = false;
        return find(key, count, bare);
    }

    // A table read from a file: sizes as built, never full, every number
    // below `idLimit` and every run inside `ids`.
    bool valid(std::size_t idLimit) const;
};

}  // namespace quillow::filter
