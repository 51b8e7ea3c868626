#include "filter/rule_table.h"

#include <algorithm>
#include <numeric>

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
    *this = RuleTable();
    if (entries.empty())
        return;
    // The entries by key, each key's in their order: sorted, not hashed
    // (the lists give a hundred thousand keys).
    std::vector<std::uint32_t> order(entries.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&entries](std::uint32_t a, std::uint32_t b) {
        return entries[a].first < entries[b].first;
    });
    std::size_t keyCount = 0;
    for (std::size_t i = 0; i < order.size(); ++i)
        keyCount += i == 0 || entries[order[i]].first != entries[order[i - 1]].first;
    std::size_t slotCount = 16;
    while (slotCount < keyCount * 2)
        slotCount *= 2;
    std::vector<Slot> slots(slotCount, Slot{0, 0, 0, 0});
    std::vector<std::uint64_t> keyBits(slotCount / 8, 0);
    std::vector<std::uint32_t> runIds;
    std::vector<std::uint64_t> runHints;
    const std::size_t mask = slotCount - 1;
    for (std::size_t from = 0; from < order.size();) {
        const std::uint64_t key = entries[order[from]].first;
        std::size_t to = from + 1;
        while (to < order.size() && entries[order[to]].first == key)
            ++to;
        const auto n = static_cast<std::uint32_t>(to - from);
        std::size_t i = key & mask;
        while (slots[i].key != 0)
            i = (i + 1) & mask;
        Slot &slot = slots[i];
        slot.key = key;
        slot.kinds = hintOf ? 0 : 0xffff;
        for (std::size_t j = from; j < to; ++j)
            slot.kinds |=
                hintOf ? static_cast<std::uint16_t>((*hintOf)[entries[order[j]].second]) : 0xffff;
        if (n == 1) {
            slot.first = entries[order[from]].second;
            slot.count = 1;
        } else {
            slot.first = static_cast<std::uint32_t>(runIds.size());
            if (n >= kLongRun) {
                runIds.push_back(n);
                runHints.push_back(0xffff);
            }
            for (std::size_t j = from; j < to; ++j) {
                runIds.push_back(entries[order[j]].second);
                if (hintOf)
                    runHints.push_back((*hintOf)[entries[order[j]].second]);
            }
            slot.count = static_cast<std::uint16_t>(std::min<std::uint32_t>(n, kLongRun));
        }
        if (bareKeys.count(key))
            slot.count |= kBare;
        const std::uint64_t bit = (key >> 32) & (keyBits.size() * 64 - 1);
        keyBits[bit >> 6] |= 1ull << (bit & 63);
        from = to;
    }
    table = std::move(slots);
    bits = std::move(keyBits);
    ids = std::move(runIds);
    if (hintOf)
        hints = std::move(runHints);
}

}  // namespace quillow::filter
