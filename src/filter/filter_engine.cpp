#include "filter/filter_engine.h"

#include "filter/host_hash.h"

#include <QRegularExpression>
#include <QString>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace quillow::filter {

namespace {

enum FilterFlag : std::uint8_t {
    kAnchorLeft = 1,
    kAnchorHost = 2,
    kAnchorRight = 4,
    kMatchCase = 8,
    kRegex = 16,
    kEntityDomains = 32,
    kPositiveDomains = 64,
    kWordAnchored = 128,
};

constexpr std::size_t kMaxLabels = 32;
constexpr std::size_t kMaxTokens = 256;
constexpr std::size_t kAnywhere = std::size_t(-1);
// Host keys share the index's table with word keys.
constexpr std::uint64_t kHostSalt = 0x9e3779b97f4a7c15ull;
constexpr std::uint32_t kCacheMagic = 0x51464c31;  // "QFL1"
constexpr std::uint32_t kCacheVersion = 10;

std::uint64_t hostKey(std::uint64_t hostHashValue) {
    return (hostHashValue ^ kHostSalt) | 1;
}

// The separators '^' stands for: anything but a letter, a digit or "_-.%".
bool isSeparator(unsigned char c) {
    return !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
             c == '_' || c == '-' || c == '.' || c == '%' || c >= 0x80);
}

// Matches a piece of pattern without '*' at `pos`; '^' also matches the end.
bool segmentAt(std::string_view seg, std::string_view u, std::size_t pos, std::size_t &end) {
    std::size_t i = pos;
    for (const char c : seg) {
        if (c == '^') {
            if (i == u.size())
                continue;
            if (!isSeparator(static_cast<unsigned char>(u[i])))
                return false;
            ++i;
        } else {
            if (i >= u.size() || u[i] != c)
                return false;
            ++i;
        }
    }
    end = i;
    return true;
}

// The leftmost place at or after `pos` where `seg` matches.
std::size_t searchSegment(std::string_view seg, std::string_view u, std::size_t pos,
                          std::size_t &end) {
    if (seg.empty()) {
        end = pos;
        return pos;
    }
    const std::size_t literal = std::min(seg.find('^'), seg.size());
    if (literal == 0) {
        for (std::size_t q = pos; q <= u.size(); ++q)
            if (segmentAt(seg, u, q, end))
                return q;
        return std::string_view::npos;
    }
    while (pos + literal <= u.size()) {
        const void *hit = memmem(u.data() + pos, u.size() - pos, seg.data(), literal);
        if (!hit)
            return std::string_view::npos;
        const std::size_t q = static_cast<std::size_t>(static_cast<const char *>(hit) - u.data());
        if (segmentAt(seg, u, q, end))
            return q;
        pos = q + 1;
    }
    return std::string_view::npos;
}

// Adblock Plus patterns: pieces between '*' found leftmost in turn, which
// is exact for wildcards that match anything.
bool globMatch(std::string_view p, std::string_view u, std::size_t pos, bool anchoredStart,
               bool anchoredEnd) {
    bool first = true;
    for (;;) {
        const std::size_t star = p.find('*');
        const bool last = star == std::string_view::npos;
        const std::string_view seg = last ? p : p.substr(0, star);
        std::size_t end = 0;
        if (first && anchoredStart) {
            if (!segmentAt(seg, u, pos, end) || (last && anchoredEnd && end != u.size()))
                return false;
        } else if (last && anchoredEnd) {
            const std::size_t from = u.size() >= seg.size() ? u.size() - seg.size() : 0;
            bool found = false;
            for (std::size_t q = std::max(pos, from); q <= u.size() && !found; ++q)
                found = segmentAt(seg, u, q, end) && end == u.size();
            return found;
        } else if (searchSegment(seg, u, pos, end) == std::string_view::npos) {
            return false;
        }
        if (last)
            return true;
        pos = end;
        first = false;
        p.remove_prefix(star + 1);
    }
}

// Where the host of an encoded address lies: after "scheme://", without
// user, password and port.
void findHost(std::string_view u, std::size_t &begin, std::size_t &end) {
    begin = end = 0;
    const std::size_t n = u.size();
    std::size_t start = 0;
    while (start < n && start <= 32 && u[start] != ':')
        ++start;
    if (start + 2 >= n || u[start] != ':' || u[start + 1] != '/' || u[start + 2] != '/')
        return;
    start += 3;
    std::size_t hostStart = start;
    std::size_t colon = std::string_view::npos;
    std::size_t stop = start;
    for (; stop < n; ++stop) {
        const char c = u[stop];
        if (c == '/' || c == '?' || c == '#')
            break;
        if (c == '@') {
            hostStart = stop + 1;
            colon = std::string_view::npos;
        } else if (c == ':' && colon == std::string_view::npos) {
            colon = stop;
        }
    }
    std::size_t hostEnd = colon == std::string_view::npos ? stop : colon;
    if (hostStart < stop && u[hostStart] == '[') {
        hostEnd = hostStart;
        while (hostEnd < stop && u[hostEnd] != ']')
            ++hostEnd;
        hostEnd = hostEnd < stop ? hostEnd + 1 : stop;
    }
    begin = hostStart;
    end = hostEnd;
}

char lowerChar(char c) {
    // Without a branch: addresses mix cases at random.
    const auto u = static_cast<unsigned char>(c);
    return static_cast<char>(u + (static_cast<unsigned char>(u - 'A') < 26u) * 32u);
}

bool isCommonWord(std::string_view t) {
    static constexpr std::string_view kCommon[] = {
        "http", "https",  "www", "com", "net", "org", "js",  "html", "php",    "static", "cdn",
        "img",  "images", "css", "api", "jpg", "png", "gif", "min",  "assets", "v1",     "id"};
    return std::find(std::begin(kCommon), std::end(kCommon), t) != std::end(kCommon);
}

// Words of a pattern that any address it matches holds whole.
template <typename F>
void forEachWholeWord(std::string_view p, bool anchoredStart, bool anchoredEnd, F &&f) {
    std::size_t i = 0;
    while (i < p.size()) {
        if (!isTokenChar(static_cast<unsigned char>(p[i]))) {
            ++i;
            continue;
        }
        const std::size_t a = i;
        while (i < p.size() && isTokenChar(static_cast<unsigned char>(p[i])))
            ++i;
        const bool leftWhole = a > 0 ? p[a - 1] != '*' : anchoredStart;
        const bool rightWhole = i < p.size() ? p[i] != '*' : anchoredEnd;
        if (leftWhole && rightWhole)
            f(p.substr(a, i - a));
    }
}

// The host a `||host^...` pattern names whole, or empty.
std::string_view anchoredHost(const NetworkRule &rule) {
    if (!rule.anchorHost || rule.regex)
        return {};
    const std::string_view p = rule.pattern;
    std::size_t i = 0;
    while (i < p.size()) {
        const char c = p[i];
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_')
            ++i;
        else
            break;
    }
    if (i == 0 || p[i - 1] == '.')
        return {};
    if (i < p.size() && (p[i] == '^' || p[i] == '/' || p[i] == ':'))
        return p.substr(0, i);
    if (i == p.size() && rule.anchorRight)
        return p;
    return {};
}

// The longest run of characters every match of a regular expression
// holds, lower case; empty when none is sure (alternation at the top).
std::string requiredLiteral(std::string_view re) {
    std::string best;
    std::string run;
    int depth = 0;
    auto endRun = [&] {
        if (run.size() > best.size())
            best = run;
        run.clear();
    };
    for (std::size_t i = 0; i < re.size(); ++i) {
        const char c = re[i];
        char literal = 0;
        if (c == '\\' && i + 1 < re.size()) {
            const char n = re[++i];
            if (!((n >= 'a' && n <= 'z') || (n >= 'A' && n <= 'Z') || (n >= '0' && n <= '9')))
                literal = n;
            else {
                endRun();
                continue;
            }
        } else if (c == '(') {
            ++depth;
            endRun();
            continue;
        } else if (c == ')') {
            --depth;
            endRun();
            continue;
        } else if (c == '|') {
            if (depth == 0)
                return {};
            continue;
        } else if (c == '[') {
            endRun();
            while (i < re.size() && re[i] != ']') {
                if (re[i] == '\\')
                    ++i;
                ++i;
            }
            continue;
        } else if (std::strchr(".^$+?*{}", c)) {
            const bool optional = c == '?' || c == '*' || c == '{';
            if (optional && !run.empty())
                run.pop_back();
            endRun();
            if (c == '{')
                while (i < re.size() && re[i] != '}')
                    ++i;
            continue;
        } else {
            literal = c;
        }
        if (depth == 0)
            run += static_cast<char>((literal >= 'A' && literal <= 'Z') ? literal - 'A' + 'a'
                                                                        : literal);
    }
    // A final character may yet be made optional by nothing: the run stands.
    endRun();
    return best;
}

void appendJsonString(std::string &out, std::string_view s) {
    out += '"';
    for (const char c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

}  // namespace

struct FilterEngine::Filter {
    std::uint32_t pattern = 0;
    std::uint32_t patternLength = 0;
    std::uint32_t domains = 0;
    std::uint32_t domainCount = 0;
    std::uint32_t literal = 0;  // a regular expression's sure part
    std::uint32_t literalLength = 0;
    std::uint32_t regex = 0;
    std::uint16_t kinds = 0;
    std::uint8_t party = kAnyParty;
    std::uint8_t flags = 0;
};

struct FilterEngine::Domain {
    std::uint64_t hash = 0;
    std::uint32_t negated = 0;
    std::uint32_t entity = 0;
};

// Keys (host or word) to runs of filter numbers.
struct FilterEngine::Table {
    struct Slot {
        std::uint64_t key;
        std::uint32_t first;
        std::uint32_t count;
    };
    std::vector<Slot> table;
    // One bit per key, in front of the table: most words of an address
    // have no rule, and this answers so from the processor's cache.
    std::vector<std::uint64_t> bits;
    std::vector<std::uint32_t> ids;

    // A run of one is kept in the slot itself; a run whose rules include a
    // bare `||host^` (no options) is marked: finding its key is the match.
    static constexpr std::uint32_t kBare = 1u << 31;

    std::uint64_t bitOf(std::uint64_t key) const { return (key >> 32) & (bits.size() * 64 - 1); }
    void prefetchBit(std::uint64_t key) const {
        if (!bits.empty())
            __builtin_prefetch(&bits[bitOf(key) >> 6]);
    }
    bool mayHold(std::uint64_t key) const {
        if (bits.empty())
            return false;
        const std::uint64_t bit = bitOf(key);
        return bits[bit >> 6] & (1ull << (bit & 63));
    }
    void prefetchSlot(std::uint64_t key) const {
        __builtin_prefetch(&table[key & (table.size() - 1)]);
    }

    // Callers ask mayHold() first.
    const std::uint32_t *find(std::uint64_t key, std::uint32_t &n, bool &bare) const {
        const std::size_t mask = table.size() - 1;
        for (std::size_t i = key & mask;; i = (i + 1) & mask) {
            const Slot &slot = table[i];
            if (slot.key == key) {
                bare = slot.count & kBare;
                n = slot.count & ~kBare;
                return n == 1 ? &slot.first : ids.data() + slot.first;
            }
            if (slot.key == 0)
                return nullptr;
        }
    }

    // A table read from the cache: sizes as built, nothing pointing outside.
    bool valid(std::size_t filterCount) const {
        const std::size_t slotCount = table.size();
        const std::size_t bitCount = bits.size() * 64;
        if ((slotCount & (slotCount - 1)) != 0 || (bitCount & (bitCount - 1)) != 0 ||
            (slotCount && !bitCount))
            return false;
        std::size_t used = 0;
        for (const Slot &slot : table) {
            used += slot.key != 0;
            const std::uint32_t n = slot.count & ~kBare;
            if (n == 1 ? slot.first >= filterCount : std::uint64_t(slot.first) + n > ids.size())
                return false;
        }
        if (slotCount && used == slotCount)
            return false;
        for (const std::uint32_t id : ids)
            if (id >= filterCount)
                return false;
        return true;
    }

    void build(const std::vector<std::pair<std::uint64_t, std::uint32_t>> &entries,
               const std::unordered_set<std::uint64_t> &bareKeys = {}) {
        std::unordered_map<std::uint64_t, std::uint32_t> sizes;
        for (const auto &e : entries)
            ++sizes[e.first];
        std::size_t slotCount = 16;
        while (slotCount < sizes.size() * 2)
            slotCount *= 2;
        table.assign(slotCount, Slot{0, 0, 0});
        bits.assign(slotCount / 8, 0);  // sixteen bits a key, or more
        ids.assign(entries.size(), 0);
        const std::size_t mask = slotCount - 1;
        std::uint32_t next = 0;
        std::unordered_map<std::uint64_t, std::size_t> slotOf;
        for (const auto &[key, n] : sizes) {
            std::size_t i = key & mask;
            while (table[i].key != 0)
                i = (i + 1) & mask;
            table[i] = Slot{key, next, 0};
            next += n;
            slotOf[key] = i;
            const std::uint64_t bit = (key >> 32) & (bits.size() * 64 - 1);
            bits[bit >> 6] |= 1ull << (bit & 63);
        }
        for (const auto &e : entries) {
            Slot &slot = table[slotOf[e.first]];
            ids[slot.first + slot.count++] = e.second;
        }
        for (Slot &slot : table) {
            if (slot.count == 1)
                slot.first = ids[slot.first];
            if (slot.key && bareKeys.count(slot.key))
                slot.count |= kBare;
        }
    }
};

struct FilterEngine::Index {
    Table words;  // by the request's host or a word of its address
    Table pages;  // by a site the rule names in domain=, for rules with no word
    std::vector<std::uint32_t> unindexed;
};

// One request as the index reads it, prepared once; what only some rules
// ask (the party, the page's names) is worked out when first asked.
struct FilterEngine::Request {
    std::string_view url;       // lower case
    std::string_view original;  // as given, for match-case rules
    std::size_t hostBegin = 0;
    std::size_t hostEnd = 0;
    std::string_view pageHost;
    std::uint16_t kind = 0;
    std::uint8_t party = 0;  // 0 until asked
    bool pageReady = false;
    bool entitiesReady = false;
    std::size_t hostCount = 0;
    std::size_t pageCount = 0;
    std::size_t entityCount = 0;
    std::size_t tokenCount = 0;
    std::uint64_t hostHashes[kMaxLabels];
    std::uint64_t pageHashes[kMaxLabels];
    std::uint64_t entityHashes[kMaxLabels];
    std::uint64_t tokens[kMaxTokens];
    std::uint32_t hostSuffixLengths[kMaxLabels];
    std::uint32_t tokenPositions[kMaxTokens];
};

FilterEngine::FilterEngine()
    : important_(std::make_unique<Index>()),
      blocking_(std::make_unique<Index>()),
      exceptions_(std::make_unique<Index>()) {}

FilterEngine::~FilterEngine() = default;

std::size_t FilterEngine::networkRuleCount() const {
    return filters_.size();
}

std::unique_ptr<FilterEngine> FilterEngine::build(const std::vector<std::string_view> &lists,
                                                  PublicSuffixList suffixes,
                                                  const FilterLimits &limits) {
    std::unique_ptr<FilterEngine> engine(new FilterEngine());
    engine->suffixes_ = std::move(suffixes);
    FilterStats &stats = engine->stats_;

    std::vector<NetworkRule> rules;
    std::vector<std::string_view> ruleLines;
    std::vector<CosmeticRule> cosmetics;
    std::unordered_set<std::string> cancelled;
    std::size_t regexCount = 0;
    NetworkRule rule;
    CosmeticRule cosmetic;
    for (const std::string_view list : lists) {
        std::size_t start = 0;
        while (start < list.size()) {
            std::size_t end = list.find('\n', start);
            if (end == std::string_view::npos)
                end = list.size();
            const std::string_view line = list.substr(start, end - start);
            start = end + 1;
            switch (parseRule(line, rule, cosmetic)) {
                case RuleType::None:
                    break;
                case RuleType::Unsupported:
                    ++stats.unsupported;
                    break;
                case RuleType::Invalid:
                    ++stats.invalid;
                    break;
                case RuleType::Cosmetic:
                    if (cosmetics.size() >= limits.maxCosmeticRules ||
                        cosmetic.domains.size() > limits.maxDomainsPerRule)
                        ++stats.overLimit;
                    else
                        cosmetics.push_back(std::move(cosmetic));
                    break;
                case RuleType::Network:
                    if (rule.badfilter) {
                        cancelled.insert(withoutBadfilter(line));
                        break;
                    }
                    if (rules.size() >= limits.maxNetworkRules ||
                        rule.domains.size() > limits.maxDomainsPerRule ||
                        (rule.regex && (++regexCount > limits.maxRegexRules ||
                                        rule.pattern.size() > limits.maxRegexLength))) {
                        ++stats.overLimit;
                        break;
                    }
                    if (rule.regex) {
                        const QRegularExpression re(
                            QString::fromUtf8(rule.pattern.data(), int(rule.pattern.size())));
                        if (!re.isValid()) {
                            ++stats.invalid;
                            break;
                        }
                    }
                    rules.push_back(std::move(rule));
                    ruleLines.push_back(line);
                    break;
            }
        }
    }

    // Words that many rules hold index poorly: each rule goes under its
    // rarest whole word.
    std::unordered_map<std::uint64_t, std::uint32_t> wordUse;
    for (const NetworkRule &r : rules) {
        if (r.regex || !anchoredHost(r).empty())
            continue;
        forEachWholeWord(r.pattern, r.anchorLeft || r.anchorHost, r.anchorRight,
                         [&](std::string_view w) {
                             std::string lower(w);
                             for (char &c : lower)
                                 if (c >= 'A' && c <= 'Z')
                                     c = static_cast<char>(c - 'A' + 'a');
                             ++wordUse[tokenHash(lower.data(), lower.data() + lower.size())];
                         });
    }

    std::vector<std::pair<std::uint64_t, std::uint32_t>> entries[3];
    std::vector<std::pair<std::uint64_t, std::uint32_t>> pageEntries[3];
    std::unordered_set<std::uint64_t> bareKeys[3];
    std::vector<std::uint32_t> unindexed[3];
    std::map<std::string, std::uint8_t> switches;
    std::string lower;
    for (std::size_t n = 0; n < rules.size(); ++n) {
        NetworkRule &r = rules[n];
        if (!cancelled.empty()) {
            std::string_view line = ruleLines[n];
            while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                line.remove_suffix(1);
            if (cancelled.count(std::string(line)))
                continue;
        }
        const std::string_view host = anchoredHost(r);
        if (r.cosmeticSwitches && !host.empty() && r.pattern.size() <= host.size() + 1)
            switches[std::string(host)] |= r.cosmeticSwitches;
        if (r.kinds == 0)
            continue;

        Filter f;
        f.pattern = static_cast<std::uint32_t>(engine->pool_.size());
        f.patternLength = static_cast<std::uint32_t>(r.pattern.size());
        engine->pool_ += r.pattern;
        f.kinds = r.kinds;
        f.party = r.party;
        f.flags = (r.anchorLeft ? kAnchorLeft : 0) | (r.anchorHost ? kAnchorHost : 0) |
                  (r.anchorRight ? kAnchorRight : 0) | (r.matchCase ? kMatchCase : 0) |
                  (r.regex ? kRegex : 0);
        if (!r.domains.empty()) {
            std::vector<Domain> ds;
            for (const DomainEntry &d : r.domains) {
                Domain entry;
                entry.hash = hostHash(d.name);
                entry.negated = d.negated;
                entry.entity = d.name.size() > 2 && d.name.compare(d.name.size() - 2, 2, ".*") == 0;
                if (entry.entity)
                    f.flags |= kEntityDomains;
                if (!d.negated)
                    f.flags |= kPositiveDomains;
                ds.push_back(entry);
            }
            std::sort(ds.begin(), ds.end(),
                      [](const Domain &a, const Domain &b) { return a.hash < b.hash; });
            f.domains = static_cast<std::uint32_t>(engine->domains_.size());
            f.domainCount = static_cast<std::uint32_t>(ds.size());
            engine->domains_.insert(engine->domains_.end(), ds.begin(), ds.end());
        }
        std::uint64_t key = 0;
        if (r.regex) {
            const std::string literal = requiredLiteral(r.pattern);
            // A word the sure part holds whole, with other characters on
            // both sides, is a word of every address the expression matches.
            std::size_t bestUse = SIZE_MAX;
            forEachWholeWord(literal, false, false, [&](std::string_view w) {
                const std::uint64_t h = tokenHash(w.data(), w.data() + w.size());
                const std::size_t use = wordUse[h] + (isCommonWord(w) ? 1000000 : 0);
                if (use < bestUse) {
                    bestUse = use;
                    key = h;
                }
            });
            f.literal = static_cast<std::uint32_t>(engine->pool_.size());
            f.literalLength = static_cast<std::uint32_t>(literal.size());
            engine->pool_ += literal;
        }
        const auto id = static_cast<std::uint32_t>(engine->filters_.size());
        engine->filters_.push_back(f);

        // Which index, and under which key.
        const int which = r.exception ? 2 : (r.important ? 0 : 1);
        if (!host.empty()) {
            key = hostKey(hostHash(host));
            if (!r.matchCase && !r.anchorRight && r.domains.empty() && r.party == kAnyParty &&
                r.kinds == kDefaultKinds && r.pattern.size() == host.size() + 1 &&
                r.pattern.back() == '^')
                bareKeys[which].insert(key);
        } else if (!r.regex) {
            std::uint64_t best = 0;
            std::size_t bestScore = SIZE_MAX;
            std::size_t bestLength = 0;
            std::size_t bestOffset = 0;
            forEachWholeWord(
                r.pattern, r.anchorLeft || r.anchorHost, r.anchorRight, [&](std::string_view w) {
                    lower.assign(w);
                    for (char &c : lower)
                        if (c >= 'A' && c <= 'Z')
                            c = static_cast<char>(c - 'A' + 'a');
                    const std::uint64_t h = tokenHash(lower.data(), lower.data() + lower.size());
                    const std::size_t score = wordUse[h] + (isCommonWord(lower) ? 1000000 : 0);
                    if (score < bestScore || (score == bestScore && w.size() > bestLength)) {
                        best = h;
                        bestScore = score;
                        bestLength = w.size();
                        bestOffset = static_cast<std::size_t>(w.data() - r.pattern.data());
                    }
                });
            key = best;
            // With no wildcard before its word, a rule can only match where
            // the address holds that word, a fixed distance after its start.
            if (key && r.pattern.find('*') >= bestOffset) {
                Filter &indexed = engine->filters_[id];
                indexed.flags |= kWordAnchored;
                indexed.literal = static_cast<std::uint32_t>(bestOffset);
            }
        }
        for (const int target : {which, which == 0 ? 1 : -1}) {
            if (target < 0)
                continue;
            if (key) {
                entries[target].emplace_back(key, id);
            } else if ((f.flags & kPositiveDomains) && !(f.flags & kEntityDomains)) {
                for (const DomainEntry &d : r.domains)
                    if (!d.negated)
                        pageEntries[target].emplace_back(hostHash(d.name), id);
            } else {
                unindexed[target].push_back(id);
            }
        }
    }
    Index *indexes[3] = {engine->important_.get(), engine->blocking_.get(),
                         engine->exceptions_.get()};
    for (int i = 0; i < 3; ++i) {
        indexes[i]->words.build(entries[i], bareKeys[i]);
        indexes[i]->pages.build(pageEntries[i]);
        indexes[i]->unindexed = std::move(unindexed[i]);
    }
    stats.networkRules = engine->filters_.size();

    // Element hiding, in the shape the page script reads.
    std::vector<std::string> generic;
    std::unordered_set<std::string> genericSeen;
    std::set<std::string> everywhereExcepted;
    std::map<std::string, std::vector<std::string>> specific;
    std::map<std::string, std::vector<std::string>> excepted;
    for (const CosmeticRule &c : cosmetics) {
        bool positive = false;
        for (const DomainEntry &d : c.domains) {
            if (c.exception) {
                if (!d.negated)
                    excepted[d.name].push_back(c.selector);
            } else {
                (d.negated ? excepted : specific)[d.name].push_back(c.selector);
            }
            positive |= !d.negated;
        }
        if (c.exception && c.domains.empty())
            everywhereExcepted.insert(c.selector);
        else if (!c.exception && !positive && genericSeen.insert(c.selector).second)
            generic.push_back(c.selector);
    }
    stats.cosmeticRules = cosmetics.size();
    std::string &json = engine->cosmeticJson_;
    json = "{\"g\":[";
    bool firstItem = true;
    for (const std::string &s : generic) {
        if (everywhereExcepted.count(s))
            continue;
        if (!firstItem)
            json += ',';
        firstItem = false;
        appendJsonString(json, s);
    }
    json += "]";
    for (const auto &[name, map] :
         {std::pair<const char *, decltype(&specific)>{"s", &specific}, {"x", &excepted}}) {
        json += ",\"";
        json += name;
        json += "\":{";
        bool firstHost = true;
        for (const auto &[hostName, selectors] : *map) {
            if (selectors.empty())
                continue;
            if (!firstHost)
                json += ',';
            firstHost = false;
            appendJsonString(json, hostName);
            json += ":[";
            bool firstSelector = true;
            for (const std::string &s : selectors) {
                if (map == &specific && everywhereExcepted.count(s))
                    continue;
                if (!firstSelector)
                    json += ',';
                firstSelector = false;
                appendJsonString(json, s);
            }
            json += ']';
        }
        json += '}';
    }
    json += ",\"o\":{";
    firstItem = true;
    for (const auto &[hostName, bits] : switches) {
        if (!firstItem)
            json += ',';
        firstItem = false;
        appendJsonString(json, hostName);
        json += ':';
        json += (bits & kElementHide) ? '2' : '1';
    }
    json += "}}";

    engine->compileRegexes();
    return engine;
}

void FilterEngine::compileRegexes() {
    regexes_.clear();
    for (Filter &f : filters_) {
        if (!(f.flags & kRegex))
            continue;
        f.regex = static_cast<std::uint32_t>(regexes_.size());
        QRegularExpression::PatternOptions options = QRegularExpression::DontCaptureOption;
        if (!(f.flags & kMatchCase))
            options |= QRegularExpression::CaseInsensitiveOption;
        auto re = std::make_unique<QRegularExpression>(
            QString::fromUtf8(pool_.data() + f.pattern, int(f.patternLength)), options);
        re->optimize();
        regexes_.push_back(std::move(re));
    }
}

namespace {

// Each thread's room for the request it decides; grown once for a long
// address, then reused.
struct Scratch {
    std::string lower;
    std::string original;
    std::string page;
};
thread_local Scratch scratch;

char *roomFor(std::string &buffer, std::size_t n) {
    if (buffer.size() < n)
        buffer.resize(std::max<std::size_t>(n, 4096));
    return buffer.data();
}

}  // namespace

// One pass over the address: lower case, and its words hashed as the
// index keys them, with where each starts.
void FilterEngine::prepare(std::string_view original, std::string &lowerBuffer, Request &r,
                           const Table *early) {
    const std::size_t n = original.size();
    char *__restrict out = roomFor(lowerBuffer, n);
    const char *__restrict in = original.data();
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < n) {
        const char c = lowerChar(in[i]);
        out[i] = c;
        if (!isTokenChar(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        std::uint64_t h = wordStep(5381, static_cast<unsigned char>(c));
        for (++i; i < n; ++i) {
            const char d = lowerChar(in[i]);
            out[i] = d;
            if (!isTokenChar(static_cast<unsigned char>(d)))
                break;
            h = wordStep(h, static_cast<unsigned char>(d));
        }
        if (count < kMaxTokens) {
            r.tokens[count] = wordFinish(h);
            // The index's bit for this word is fetched while the rest of
            // the address is read.
            if (early)
                early->prefetchBit(r.tokens[count]);
            r.tokenPositions[count++] = static_cast<std::uint32_t>(start);
        }
    }
    r.tokenCount = count;
    r.original = original;
    r.url = std::string_view(out, n);
    findHost(r.url, r.hostBegin, r.hostEnd);
}

bool FilterEngine::blocks(std::string_view url, std::string_view pageUrl, RequestKind kind) const {
    Scratch &s = scratch;
    thread_local Request r;
    prepare(url, s.lower, r, &blocking_->words);
    std::size_t pageBegin = 0;
    std::size_t pageEnd = 0;
    findHost(pageUrl, pageBegin, pageEnd);
    const std::size_t hostLength = pageEnd - pageBegin;
    char *page = roomFor(s.page, hostLength);
    for (std::size_t i = 0; i < hostLength; ++i)
        page[i] = lowerChar(pageUrl[pageBegin + i]);
    r.pageHost = std::string_view(page, hostLength);
    r.kind = kindBit(kind);
    return decide(r);
}

namespace {

// Appends a component that is plain ASCII (percent-encoded) as it stands.
char *appendAscii(char *out, const QString &text) {
    const QChar *d = text.constData();
    for (qsizetype i = 0, n = text.size(); i < n; ++i) {
        const char16_t u = d[i].unicode();
        *out++ = u < 0x80 ? static_cast<char>(u) : '?';
    }
    return out;
}

}  // namespace

bool FilterEngine::blocks(const QUrl &url, const QUrl &page, RequestKind kind) const {
    // The address as it goes out, built from its parts: cheaper than
    // QUrl::toEncoded, and without the user name and fragment, which the
    // rules do not see.
    Scratch &s = scratch;
    thread_local Request r;
    const QString scheme = url.scheme();
    // Hosts reach the rules as the request names them: international
    // names in their ASCII form, IPv6 addresses in brackets.
    QString host = url.host();
    for (const QChar ch : host) {
        if (ch.unicode() >= 0x80 || ch == QLatin1Char(':')) {
            host = url.host(QUrl::FullyEncoded);
            if (host.contains(QLatin1Char(':')))
                host = QLatin1Char('[') + host + QLatin1Char(']');
            break;
        }
    }
    const int port = url.port();
    const QString portText = port == -1 ? QString() : QString::number(port);
    const QString path = url.path(QUrl::FullyEncoded);
    const bool hasQuery = url.hasQuery();
    const QString query = hasQuery ? url.query(QUrl::FullyEncoded) : QString();
    const std::size_t length = std::size_t(scheme.size() + 3 + host.size() + 1 + portText.size() +
                                           path.size() + 1 + query.size());
    char *const begin = roomFor(s.original, length);
    char *out = appendAscii(begin, scheme);
    *out++ = ':';
    *out++ = '/';
    *out++ = '/';
    out = appendAscii(out, host);
    if (port != -1) {
        *out++ = ':';
        out = appendAscii(out, portText);
    }
    out = appendAscii(out, path);
    if (hasQuery) {
        *out++ = '?';
        out = appendAscii(out, query);
    }
    prepare(std::string_view(begin, std::size_t(out - begin)), s.lower, r, &blocking_->words);

    const QString pageHost = page.host();
    char *pageOut = roomFor(s.page, std::size_t(pageHost.size()));
    const char *const pageEnd = appendAscii(pageOut, pageHost);
    for (char *c = pageOut; c != pageEnd; ++c)
        *c = lowerChar(*c);
    r.pageHost = std::string_view(pageOut, std::size_t(pageEnd - pageOut));
    r.kind = kindBit(kind);
    return decide(r);
}

bool FilterEngine::decide(Request &r) const {
    const std::string_view host = r.url.substr(r.hostBegin, r.hostEnd - r.hostBegin);
    r.hostCount = 0;
    std::uint64_t h = kHashSeed;
    for (std::size_t i = host.size(); i-- > 0 && r.hostCount < kMaxLabels;) {
        h = hashStep(h, static_cast<unsigned char>(host[i]));
        if (i == 0 || host[i - 1] == '.') {
            r.hostSuffixLengths[r.hostCount] = static_cast<std::uint32_t>(host.size() - i);
            r.hostHashes[r.hostCount++] = h | 1;
        }
    }
    r.party = 0;
    r.pageReady = false;
    r.entitiesReady = false;

    // Important rules are in the blocking index too; they are asked for
    // only when an exception would allow the request.
    if (!anyMatch(*blocking_, r))
        return false;
    if (!anyMatch(*exceptions_, r))
        return true;
    return anyMatch(*important_, r);
}

bool FilterEngine::anyMatch(const Index &index, Request &r) const {
    // The keys' bits and slots are far apart in memory: ask for all of them
    // first, so their cache misses overlap instead of following each other.
    const bool byPage = !index.pages.table.empty();
    if (byPage && !r.pageReady) {
        r.pageCount = hostSuffixHashes(r.pageHost, r.pageHashes, kMaxLabels);
        r.pageReady = true;
    }
    std::uint64_t keys[kMaxLabels * 2 + kMaxTokens];
    std::size_t count = 0;
    for (std::size_t i = 0; i < r.hostCount; ++i)
        keys[count++] = hostKey(r.hostHashes[i]);
    const std::size_t tokensFrom = count;
    for (std::size_t i = 0; i < r.tokenCount; ++i)
        keys[count++] = r.tokens[i];
    const std::size_t pagesFrom = count;
    if (byPage)
        for (std::size_t i = 0; i < r.pageCount; ++i)
            keys[count++] = r.pageHashes[i];
    for (std::size_t k = 0; k < count; ++k)
        (k < pagesFrom ? index.words : index.pages).prefetchBit(keys[k]);
    std::uint16_t hits[kMaxLabels * 2 + kMaxTokens];
    std::size_t hitCount = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const Table &table = k < pagesFrom ? index.words : index.pages;
        if (table.mayHold(keys[k])) {
            table.prefetchSlot(keys[k]);
            hits[hitCount++] = static_cast<std::uint16_t>(k);
        }
    }

    std::uint32_t n = 0;
    bool bare = false;
    for (std::size_t h = 0; h < hitCount; ++h) {
        const std::size_t k = hits[h];
        if (k < tokensFrom) {
            const std::uint32_t *ids = index.words.find(keys[k], n, bare);
            if (!ids)
                continue;
            if (bare && (r.kind & kDefaultKinds))
                return true;
            // A `||host^` rule starts where this suffix of the host starts.
            const std::size_t at = r.hostEnd - r.hostSuffixLengths[k];
            for (std::uint32_t j = 0; j < n; ++j)
                if (matches(filters_[ids[j]], r, at))
                    return true;
        } else if (k < pagesFrom) {
            const std::uint32_t *ids = index.words.find(keys[k], n, bare);
            if (!ids)
                continue;
            const std::uint32_t position = r.tokenPositions[k - tokensFrom];
            for (std::uint32_t j = 0; j < n; ++j) {
                const Filter &f = filters_[ids[j]];
                std::size_t at = kAnywhere;
                if (f.flags & kWordAnchored) {
                    if (position < f.literal)
                        continue;
                    at = position - f.literal;
                }
                if (matches(f, r, at))
                    return true;
            }
        } else {
            const std::uint32_t *ids = index.pages.find(keys[k], n, bare);
            if (!ids)
                continue;
            for (std::uint32_t j = 0; j < n; ++j)
                if (matches(filters_[ids[j]], r, kAnywhere))
                    return true;
        }
    }
    for (const std::uint32_t id : index.unindexed)
        if (matches(filters_[id], r, kAnywhere))
            return true;
    return false;
}

bool FilterEngine::matches(const Filter &f, Request &r, std::size_t at) const {
    if (!(f.kinds & r.kind))
        return false;
    const bool regex = f.flags & kRegex;
    if (regex) {
        if (f.literalLength &&
            !memmem(r.url.data(), r.url.size(), pool_.data() + f.literal, f.literalLength))
            return false;
    } else if (!patternMatches(f, r, at)) {
        return false;
    }
    if (f.party != kAnyParty) {
        if (!r.party) {
            // A request without a page (or from a blank one) comes from no site.
            const std::string_view host = r.url.substr(r.hostBegin, r.hostEnd - r.hostBegin);
            if (r.pageHost.empty() || host.empty())
                r.party = kThirdParty;
            else
                r.party =
                    suffixes_.registrableDomain(host) == suffixes_.registrableDomain(r.pageHost)
                        ? kFirstParty
                        : kThirdParty;
        }
        if (!(f.party & r.party))
            return false;
    }
    if (f.domainCount && !domainsMatch(f, r))
        return false;
    if (!regex)
        return true;
    const QString subject = QString::fromLatin1(r.original.data(), int(r.original.size()));
    return regexes_[f.regex]->match(subject).hasMatch();
}

bool FilterEngine::patternMatches(const Filter &f, const Request &r, std::size_t at) const {
    const std::string_view p(pool_.data() + f.pattern, f.patternLength);
    const std::string_view u = (f.flags & kMatchCase) ? r.original : r.url;
    const bool anchoredEnd = f.flags & kAnchorRight;
    auto hostLabelStart = [&](std::size_t s) {
        return s >= r.hostBegin && s < r.hostEnd && (s == r.hostBegin || u[s - 1] == '.');
    };
    if (at != kAnywhere) {
        if (((f.flags & kAnchorLeft) && at != 0) ||
            ((f.flags & kAnchorHost) && !hostLabelStart(at)))
            return false;
        return globMatch(p, u, at, true, anchoredEnd);
    }
    if (f.flags & kAnchorHost) {
        for (std::size_t s = r.hostBegin; s < r.hostEnd; ++s)
            if (hostLabelStart(s) && globMatch(p, u, s, true, anchoredEnd))
                return true;
        return false;
    }
    return globMatch(p, u, 0, f.flags & kAnchorLeft, anchoredEnd);
}

bool FilterEngine::domainsMatch(const Filter &f, Request &r) const {
    const Domain *begin = domains_.data() + f.domains;
    const Domain *end = begin + f.domainCount;
    // A page the rule excludes is excluded however general the exclusion;
    // otherwise any listed name of the page's host includes it.
    bool included = false;
    auto look = [&](const std::uint64_t *hashes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const Domain *d = std::lower_bound(
                begin, end, hashes[i], [](const Domain &x, std::uint64_t h) { return x.hash < h; });
            for (; d != end && d->hash == hashes[i]; ++d) {
                if (d->negated)
                    return false;
                included = true;
            }
        }
        return true;
    };
    if (!r.pageReady) {
        r.pageCount = hostSuffixHashes(r.pageHost, r.pageHashes, kMaxLabels);
        r.pageReady = true;
    }
    if (!look(r.pageHashes, r.pageCount))
        return false;
    if (f.flags & kEntityDomains) {
        if (!r.entitiesReady) {
            // "google.*" names: the host without its public suffix, plus ".*".
            const std::size_t suffixLabels = suffixes_.suffixLabels(r.pageHost);
            std::size_t cut = r.pageHost.size();
            for (std::size_t labels = 0; labels < suffixLabels && cut > 0;) {
                if (r.pageHost[--cut] == '.')
                    ++labels;
            }
            const std::string_view name = r.pageHost.substr(0, cut);
            r.entityCount = 0;
            std::uint64_t h = hashStep(hashStep(kHashSeed, '*'), '.');
            for (std::size_t i = name.size(); i-- > 0 && r.entityCount < kMaxLabels;) {
                h = hashStep(h, static_cast<unsigned char>(name[i]));
                if (i == 0 || name[i - 1] == '.')
                    r.entityHashes[r.entityCount++] = h | 1;
            }
            r.entitiesReady = true;
        }
        if (!look(r.entityHashes, r.entityCount))
            return false;
    }
    return included || !(f.flags & kPositiveDomains);
}

// The cache: a header naming what it was built from, then each table as
// its length and its bytes.
namespace {

struct Writer {
    std::string out;
    void u64(std::uint64_t v) { out.append(reinterpret_cast<const char *>(&v), sizeof v); }
    template <typename T>
    void vec(const std::vector<T> &v) {
        u64(v.size());
        out.append(reinterpret_cast<const char *>(v.data()), v.size() * sizeof(T));
    }
    void str(std::string_view s) {
        u64(s.size());
        out.append(s.data(), s.size());
    }
};

struct Reader {
    std::string_view in;
    bool ok = true;
    std::uint64_t u64() {
        std::uint64_t v = 0;
        if (in.size() < sizeof v) {
            ok = false;
            return 0;
        }
        std::memcpy(&v, in.data(), sizeof v);
        in.remove_prefix(sizeof v);
        return v;
    }
    template <typename T>
    void vec(std::vector<T> &v) {
        const std::uint64_t n = u64();
        if (!ok || n > in.size() / sizeof(T)) {
            ok = false;
            return;
        }
        v.resize(n);
        if (n)
            std::memcpy(static_cast<void *>(v.data()), in.data(), n * sizeof(T));
        in.remove_prefix(n * sizeof(T));
    }
    void str(std::string &s) {
        const std::uint64_t n = u64();
        if (!ok || n > in.size()) {
            ok = false;
            return;
        }
        s.assign(in.data(), n);
        in.remove_prefix(n);
    }
};

}  // namespace

std::string FilterEngine::serialize(std::string_view source) const {
    Writer w;
    w.u64(kCacheMagic);
    w.u64(kCacheVersion);
    w.str(source);
    w.vec(suffixes_.keys());
    w.vec(suffixes_.kinds());
    w.vec(filters_);
    w.vec(domains_);
    w.str(pool_);
    for (const Index *ix : {important_.get(), blocking_.get(), exceptions_.get()}) {
        for (const Table *t : {&ix->words, &ix->pages}) {
            w.vec(t->table);
            w.vec(t->bits);
            w.vec(t->ids);
        }
        w.vec(ix->unindexed);
    }
    w.str(cosmeticJson_);
    const std::size_t *counts[] = {&stats_.networkRules, &stats_.cosmeticRules, &stats_.unsupported,
                                   &stats_.invalid, &stats_.overLimit};
    for (const std::size_t *c : counts)
        w.u64(*c);
    return std::move(w.out);
}

std::unique_ptr<FilterEngine> FilterEngine::deserialize(std::string_view data,
                                                        std::string_view source) {
    Reader r{data};
    if (r.u64() != kCacheMagic || r.u64() != kCacheVersion)
        return nullptr;
    std::string storedSource;
    r.str(storedSource);
    if (!r.ok || storedSource != source)
        return nullptr;
    std::unique_ptr<FilterEngine> engine(new FilterEngine());
    std::vector<std::uint64_t> suffixKeys;
    std::vector<std::uint8_t> suffixKinds;
    r.vec(suffixKeys);
    r.vec(suffixKinds);
    engine->suffixes_ = PublicSuffixList::fromTable(std::move(suffixKeys), std::move(suffixKinds));
    r.vec(engine->filters_);
    r.vec(engine->domains_);
    r.str(engine->pool_);
    Index *indexes[] = {engine->important_.get(), engine->blocking_.get(),
                        engine->exceptions_.get()};
    for (Index *ix : indexes) {
        for (Table *t : {&ix->words, &ix->pages}) {
            r.vec(t->table);
            r.vec(t->bits);
            r.vec(t->ids);
        }
        r.vec(ix->unindexed);
    }
    r.str(engine->cosmeticJson_);
    std::size_t *counts[] = {&engine->stats_.networkRules, &engine->stats_.cosmeticRules,
                             &engine->stats_.unsupported, &engine->stats_.invalid,
                             &engine->stats_.overLimit};
    for (std::size_t *c : counts)
        *c = r.u64();
    if (!r.ok || !r.in.empty())
        return nullptr;

    // A cache is a file like any other: nothing in it may point outside.
    const std::size_t filterCount = engine->filters_.size();
    const std::size_t poolSize = engine->pool_.size();
    for (const Filter &f : engine->filters_) {
        if (std::uint64_t(f.pattern) + f.patternLength > poolSize ||
            std::uint64_t(f.literal) + f.literalLength > poolSize ||
            std::uint64_t(f.domains) + f.domainCount > engine->domains_.size())
            return nullptr;
    }
    for (const Index *ix : indexes) {
        for (const Table *t : {&ix->words, &ix->pages})
            if (!t->valid(filterCount))
                return nullptr;
        for (const std::uint32_t id : ix->unindexed)
            if (id >= filterCount)
                return nullptr;
    }
    engine->compileRegexes();
    return engine;
}

}  // namespace quillow::filter
