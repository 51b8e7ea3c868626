// The compiled lists' file, written and read back.

#include "filter/cache_format.h"

#include "filter/filter_engine.h"

namespace quillow::filter {

namespace {

constexpr std::uint64_t kCacheMagic = 0x51464c31;  // "QFL1"
constexpr std::uint64_t kCacheVersion = 11;

void writeTable(CacheWriter &out, const RuleTable &t) {
    out.vector(t.table);
    out.vector(t.bits);
    out.vector(t.ids);
}

void readTable(CacheReader &in, RuleTable &t) {
    in.vector(t.table);
    in.vector(t.bits);
    in.vector(t.ids);
}

bool validIndex(const RuleIndex &index, std::size_t ruleCount) {
    if (!index.words.valid(ruleCount) || !index.pages.valid(ruleCount))
        return false;
    for (const std::uint32_t id : index.unindexed)
        if (id >= ruleCount)
            return false;
    return true;
}

}  // namespace

std::string FilterEngine::serialize(std::string_view source) const {
    CacheWriter out;
    out.number(kCacheMagic);
    out.number(kCacheVersion);
    out.text(source);
    writeTable(out, suffixes_.table());
    out.vector(rules_);
    out.vector(regexRules_);
    out.vector(domains_);
    out.text(pool_);
    for (const RuleIndex *index : {&important_, &blocking_, &exceptions_}) {
        writeTable(out, index->words);
        writeTable(out, index->pages);
        out.vector(index->unindexed);
    }
    elementHiding_.write(out);
    for (const std::size_t count : {stats_.networkRules, stats_.cosmeticRules, stats_.unsupported,
                                    stats_.invalid, stats_.overLimit})
        out.number(count);
    return out.take();
}

std::unique_ptr<FilterEngine> FilterEngine::deserialize(std::string_view data,
                                                        std::string_view source) {
    CacheReader in(data);
    if (in.number() != kCacheMagic || in.number() != kCacheVersion)
        return nullptr;
    std::string storedSource;
    in.text(storedSource);
    if (!in.ok() || storedSource != source)
        return nullptr;
    std::unique_ptr<FilterEngine> engine(new FilterEngine());
    RuleTable suffixTable;
    readTable(in, suffixTable);
    if (!in.ok() || !PublicSuffixList::fromTable(std::move(suffixTable), engine->suffixes_))
        return nullptr;
    in.vector(engine->rules_);
    in.vector(engine->regexRules_);
    in.vector(engine->domains_);
    in.text(engine->pool_);
    for (RuleIndex *index : {&engine->important_, &engine->blocking_, &engine->exceptions_}) {
        readTable(in, index->words);
        readTable(in, index->pages);
        in.vector(index->unindexed);
    }
    if (!in.ok() || !engine->elementHiding_.read(in))
        return nullptr;
    FilterStats &s = engine->stats_;
    for (std::size_t *count :
         {&s.networkRules, &s.cosmeticRules, &s.unsupported, &s.invalid, &s.overLimit})
        *count = in.number();
    if (!in.ok() || !in.atEnd() || !engine->validAfterReading())
        return nullptr;
    engine->compileRegexes();
    return engine;
}

// A cache is a file like any other: nothing in it may point outside.
bool FilterEngine::validAfterReading() const {
    const std::size_t poolSize = pool_.size();
    for (const CompiledRule &f : rules_) {
        if (std::uint64_t(f.pattern) + f.patternLength > poolSize ||
            std::uint64_t(f.domains) + f.domainCount > domains_.size() ||
            ((f.flags & kRegex) && f.regex >= regexRules_.size()))
            return false;
    }
    for (const RegexRule &re : regexRules_)
        if (std::uint64_t(re.requiredText) + re.requiredLength > poolSize)
            return false;
    return validIndex(important_, rules_.size()) && validIndex(blocking_, rules_.size()) &&
           validIndex(exceptions_, rules_.size());
}

}  // namespace quillow::filter
