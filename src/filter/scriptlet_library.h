#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QByteArray;
class QJsonArray;

namespace quillow::filter {

// uBlock Origin's scriptlets as its own library defines them: each one's
// function source, the helpers it needs, the world it runs in and whether
// only a trusted list may use it. Code for a site is put together from
// these as uBlock Origin puts it together, never written anew here.
class ScriptletLibrary {
public:
    // Bounds against a damaged library.
    static constexpr std::size_t kMostBytes = std::size_t(4) << 20;
    static constexpr std::size_t kMostEntries = 2000;
    // A site's calls, which every document of it parses: a list naming
    // more for one site has the rest skipped.
    static constexpr std::size_t kMostCallBytes = std::size_t(64) << 10;

    // From the library's entries as JSON: [{"n": name ("set-constant.js",
    // "safe-self.fn"), "a": [aliases], "d": [dependencies], "w": world
    // ("ISOLATED" or not), "t": needs trust, "f": the function's source}].
    // Empty when it is not such a list.
    static ScriptletLibrary fromJson(std::string_view json);

    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }

    // What a site's scriptlet rules run, one world's part: the helper
    // functions by name (each defined once however many rules need it), and
    // each rule's call.
    struct World {
        std::vector<std::string> functions;
        std::string calls;
    };
    struct SiteCode {
        World main;      // the page's own world
        World isolated;  // a world of Quillow's own
        // The rules applied, as lists write them ("##+js(set-constant, a, 1)").
        std::vector<std::string> applied;
        std::vector<std::size_t> appliedFrom;  // each one's place in `rules`
        // Those whose scriptlet the library lacks, or that need trust
        // their list lacks.
        std::size_t skipped = 0;
        bool empty() const { return main.calls.empty() && isolated.calls.empty(); }
    };
    // `rules`: the engine's texts for a site (the arguments as a JSON
    // array, "!" before a rule from a list not trusted); `exceptions`, the
    // site's, in the same form, which may name a scriptlet otherwise.
    SiteCode codeFor(const std::vector<std::string_view> &rules,
                     const std::vector<std::string_view> &exceptions = {}) const;
    // A function's source by the name codeFor() gives it.
    const std::string *function(const std::string &name) const;

    // A scriptlet's name as the library knows it ("set.js" is
    // "set-constant.js"); empty when it knows none of that name.
    std::string canonicalName(std::string_view name) const;

private:
    std::string callKey(const QJsonArray &args, std::string &token, QByteArray &rest) const;

    struct Entry {
        std::string source;
        std::string function;  // the name its source defines
        std::vector<std::string> dependencies;
        bool isolated = false;
        bool needsTrust = false;
    };
    std::unordered_map<std::string, Entry> entries_;
    std::unordered_map<std::string, std::string> aliases_;
};

}  // namespace quillow::filter
