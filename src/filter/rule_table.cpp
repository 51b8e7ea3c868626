#include "filter/rule_table.h"

#include <algorithm>
#include <unordered_map>

namespace quillow::filter {

namespace {

bool isPowerOfTwo(std::size_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}

}  // namespace

const std::uint32_t *RuleTable::find(std::uint64_t key, std::uint32_t &count, bool &bare,
                                     std::uint16_t &kinds) const {
    if (table.empty())
        return nullptr;
    const std::size_t mask = table.size() - 1;
    for (std::size_t i = key & mask;; i = (i + 1) & mask) {
        const Slot &slot = table[i];
        if (slot.key == key) {
            bare = slot.count & kBare;
            kinds = slot.kinds;
            count = runLength(slot);
            return runOf(slot);
        }
        if (slot.key == 0)
            return nullptr;
    }
}

bool RuleTable::valid(std::size_t idLimit) const {
    if (table.empty())
        return bits.empty() && ids.empty() && hints.empty();
    if (!hints.empty() && hints.size() != ids.size())
        return false;
    // Sixteen bits a key, or more: as build() makes them.
    if (!isPowerOfTwo(table.size()) || bits.size() * 8 != table.size())
        return false;
    std::size_t used = 0;
    for (const Slot &slot : table) {
        if (slot.key == 0)
            continue;
        ++used;
        const std::uint32_t n = slot.count & ~kBare;
        if (n == 0 || (n == 1 && slot.first >= idLimit))
            return false;
        if (n == 1)
            continue;
        // A long run's length stands before it, among the numbers.
        const bool isLong = n == kLongRun;
        if (isLong && slot.first >= ids.size())
            return false;
        const std::uint64_t length = runLength(slot);
        const std::uint64_t begin = std::uint64_t(slot.first) + isLong;
        if (length < 2 || begin + length > ids.size())
            return false;
        for (std::uint64_t i = begin; i < begin + length; ++i)
            if (ids[i] >= idLimit)
                return false;
    }
    // A full table would make a lookup endless.
    return used < table.size();
}

void RuleTable::build(const std::vector<std::pair<std::uint64_t, std::uint32_t>> &entries,
                      const std::unordered_set<std::uint64_t> &bareKeys,
                      const std::vector<std::uint64_t> *hintOf) {
    std::unordered_map<std::uint64_t, std::uint32_t> sizes;
    for (const auto &e : entries)
        ++sizes[e.first];
    *this = RuleTable();
    if (sizes.empty())
        return;
    std::size_t slotCount = 16;
    while (slotCount < sizes.size() * 2)
        slotCount *= 2;
    std::vector<Slot> slots(slotCount, Slot{0, 0, 0, 0});
    std::vector<std::uint64_t> keyBits(slotCount / 8, 0);
    std::vector<std::uint32_t> runIds;
    std::vector<std::uint64_t> runHints;
    std::vector<std::uint32_t> runs(entries.size(), 0);
    const std::size_t mask = slotCount - 1;
    std::uint32_t next = 0;
    std::unordered_map<std::uint64_t, std::size_t> slotOf;
    for (const auto &[key, n] : sizes) {
        std::size_t i = key & mask;
        while (slots[i].key != 0)
            i = (i + 1) & mask;
        slots[i] = Slot{key, next, 0, 0};
        next += n;
        slotOf[key] = i;
        const std::uint64_t bit = (key >> 32) & (keyBits.size() * 64 - 1);
        keyBits[bit >> 6] |= 1ull << (bit & 63);
    }
    std::vector<std::uint32_t> filled(slotCount, 0);
    for (const auto &e : entries) {
        const std::size_t i = slotOf[e.first];
        runs[slots[i].first + filled[i]++] = e.second;
        slots[i].kinds |= hintOf ? static_cast<std::uint16_t>((*hintOf)[e.second]) : 0xffff;
    }
    // Runs of one move into their slots; the rest keep their place.
    for (std::size_t i = 0; i < slotCount; ++i) {
        Slot &slot = slots[i];
        const std::uint32_t n = filled[i];
        if (slot.key == 0)
            continue;
        if (n == 1) {
            slot.first = runs[slot.first];
            slot.count = 1;
        } else {
            const std::uint32_t at = static_cast<std::uint32_t>(runIds.size());
            if (n >= kLongRun) {
                runIds.push_back(n);
                runHints.push_back(0xffff);
            }
            runIds.insert(runIds.end(), runs.begin() + slot.first, runs.begin() + slot.first + n);
            if (hintOf)
                for (std::uint32_t j = 0; j < n; ++j)
                    runHints.push_back((*hintOf)[runs[slot.first + j]]);
            slot.first = at;
            slot.count = static_cast<std::uint16_t>(std::min<std::uint32_t>(n, kLongRun));
        }
        if (bareKeys.count(slot.key))
            slot.count |= kBare;
    }
    table = std::move(slots);
    bits = std::move(keyBits);
    ids = std::move(runIds);
    if (hintOf)
        hints = std::move(runHints);
}

}  // namespace quillow::filter
