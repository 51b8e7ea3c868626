// The compiled lists' file, written and read back.

#include "filter/cache_format.h"

#include <algorithm>

#include "filter/filter_engine.h"

namespace quillow::filter {

namespace {

constexpr std::uint64_t kCacheMagic = 0x51464c31;  // "QFL1"
constexpr std::uint64_t kCacheVersion = 24;

}  // namespace

void writeTable(CacheWriter &out, const RuleTable &t) {
    out.array(t.table);
    out.array(t.bits);
    out.array(t.ids);
    out.array(t.hints);
}

void readTable(CacheReader &in, RuleTable &t) {
    in.array(t.table);
    in.array(t.bits);
    in.array(t.ids);
    in.array(t.hints);
}

namespace {

bool validIndex(const RuleIndex &index, std::size_t ruleCount) {
    if (!index.words.valid(ruleCount) || !index.pages.valid(ruleCount) ||
        !index.entities.valid(ruleCount))
        return false;
    for (const std::uint32_t id : index.unindexed)
        if (id >= ruleCount)
            return false;
    // One run of rules a kind, in order, within the rules.
    const auto &starts = index.unindexedStarts;
    if (starts.size() != kRequestKindCount + 1 || starts[0] != 0 ||
        starts[kRequestKindCount] != index.unindexed.size())
        return false;
    return std::is_sorted(starts.begin(), starts.end());
}

}  // namespace

std::string FilterEngine::serialize(std::string_view source) const {
    CacheWriter out;
    out.number(kCacheMagic);
    out.number(kCacheVersion);
    out.text(source);
    writeTable(out, suffixes_.table());
    out.array(rules_);
    out.array(regexRules_);
    out.array(domains_);
    out.array(pool_);
    out.array(modifiers_);
    out.array(resources_);
    out.array(xhrResources_);
    for (const RuleIndex *index :
         {&important_, &blocking_, &exceptions_, &redirects_, &removeParams_}) {
        writeTable(out, index->words);
        writeTable(out, index->pages);
        writeTable(out, index->entities);
        out.array(index->unindexed);
        out.array(index->unindexedStarts);
    }
    elementHiding_.write(out);
    scriptlets_.write(out);
    for (const std::size_t count :
         {stats_.networkRules, stats_.cosmeticRules, stats_.scriptletRules, stats_.unsupported,
          stats_.invalid, stats_.overLimit})
        out.number(count);
    for (const std::size_t count : stats_.skipped)
        out.number(count);
    return out.take();
}

std::unique_ptr<FilterEngine> FilterEngine::deserialize(std::string_view data,
                                                        std::string_view source) {
    return deserialize(std::make_shared<CopiedCacheBytes>(data), source);
}

std::unique_ptr<FilterEngine> FilterEngine::deserialize(std::shared_ptr<const CacheBytes> data,
                                                        std::string_view source) {
    CacheReader in(data->bytes());
    if (in.number() != kCacheMagic || in.number() != kCacheVersion)
        return nullptr;
    std::string storedSource;
    in.text(storedSource);
    if (!in.ok() || storedSource != source)
        return nullptr;
    std::unique_ptr<FilterEngine> engine(new FilterEngine());
    engine->cache_ = std::move(data);
    RuleTable suffixTable;
    readTable(in, suffixTable);
    if (!in.ok() || !PublicSuffixList::fromTable(std::move(suffixTable), engine->suffixes_))
        return nullptr;
    in.array(engine->rules_);
    in.array(engine->regexRules_);
    in.array(engine->domains_);
    in.array(engine->pool_);
    in.array(engine->modifiers_);
    in.array(engine->resources_);
    in.array(engine->xhrResources_);
    for (RuleIndex *index : {&engine->important_, &engine->blocking_, &engine->exceptions_,
                             &engine->redirects_, &engine->removeParams_}) {
        readTable(in, index->words);
        readTable(in, index->pages);
        readTable(in, index->entities);
        in.array(index->unindexed);
        in.array(index->unindexedStarts);
    }
    if (!in.ok() || !engine->elementHiding_.read(in) || !engine->scriptlets_.read(in))
        return nullptr;
    FilterStats &s = engine->stats_;
    for (std::size_t *count : {&s.networkRules, &s.cosmeticRules, &s.scriptletRules, &s.unsupported,
                               &s.invalid, &s.overLimit})
        *count = in.number();
    for (std::size_t &count : s.skipped)
        count = in.number();
    if (!in.ok() || !in.atEnd() || !engine->validAfterReading())
        return nullptr;
    engine->compileRegexes();
    engine->findNeedles();
    return engine;
}

// A cache is a file like any other: nothing in it may point outside.
bool FilterEngine::validAfterReading() const {
    const std::size_t poolSize = pool_.size();
    for (const CompiledRule &f : rules_) {
        if (std::uint64_t(f.pattern) + f.patternLength > poolSize ||
            std::uint64_t(f.domains) + f.domainCount > domains_.size() ||
            std::uint64_t(f.targets) + f.targetCount > domains_.size() ||
            f.modifier > modifiers_.size() || ((f.flags & kRegex) && f.regex >= regexRules_.size()))
            return false;
    }
    for (const ModifierRule &m : modifiers_)
        if (std::uint64_t(m.value) + m.length > poolSize || m.token > m.length)
            return false;
    for (const RegexRule &re : regexRules_)
        if (std::uint64_t(re.requiredText) + re.requiredLength > poolSize ||
            std::uint64_t(re.otherTexts) + re.otherLength > poolSize ||
            (re.otherLength && pool_[re.otherTexts + re.otherLength - 1] != '\n'))
            return false;
    for (const RuleIndex *index : {&important_, &blocking_, &exceptions_})
        if (!validIndex(*index, rules_.size()))
            return false;
    // A modifier's index holds only rules that have one.
    for (const RuleIndex *index : {&redirects_, &removeParams_}) {
        if (!validIndex(*index, rules_.size()))
            return false;
        for (const RuleTable *t : {&index->words, &index->pages, &index->entities}) {
            for (const RuleTable::Slot &slot : t->table)
                if (slot.key)
                    for (std::uint32_t i = 0, n = t->runLength(slot); i < n; ++i)
                        if (!rules_[t->runOf(slot)[i]].modifier)
                            return false;
        }
        for (const std::uint32_t id : index->unindexed)
            if (!rules_[id].modifier)
                return false;
    }
    return true;
}

}  // namespace quillow::filter
