#include "filter/scriptlet_library.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <deque>
#include <unordered_set>

namespace quillow::filter {

namespace {

std::vector<std::string> stringsOf(const QJsonValue &value) {
    std::vector<std::string> out;
    for (const QJsonValue &v : value.toArray())
        if (v.isString())
            out.push_back(v.toString().toStdString());
    return out;
}

// A rule's argument as uBlock Origin shows it: quoted where it would not
// read back otherwise.
std::string requoted(const std::string &arg) {
    const bool plain =
        !arg.empty() && arg.find(',') == std::string::npos &&
        !(arg.size() >= 2 && (arg.front() == '"' || arg.front() == '\'' || arg.front() == '`') &&
          arg.back() == arg.front());
    if (plain)
        return arg;
    for (const char quote : {'\'', '"', '`'})
        if (arg.find(quote) == std::string::npos)
            return quote + arg + quote;
    std::string out = "'";
    for (const char c : arg)
        out += c == '\'' ? std::string("\\'") : std::string(1, c);
    return out + '\'';
}

}  // namespace

ScriptletLibrary ScriptletLibrary::fromJson(std::string_view json) {
    static const QRegularExpression functionName(QStringLiteral("^function\\s+([^(\\s]+)\\s*\\("));
    ScriptletLibrary library;
    if (json.size() > kMostBytes)
        return library;
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(json.data(), static_cast<qsizetype>(json.size())));
    const QJsonArray entries = document.array();
    if (entries.size() > qsizetype(kMostEntries))
        return library;
    for (const QJsonValue &value : entries) {
        const QJsonObject o = value.toObject();
        const std::string name = o.value(QLatin1String("n")).toString().toStdString();
        Entry entry;
        const QString source = o.value(QLatin1String("f")).toString();
        entry.source = source.toStdString();
        entry.function = functionName.match(source).captured(1).toStdString();
        if (name.empty() || entry.source.empty())
            continue;
        entry.dependencies = stringsOf(o.value(QLatin1String("d")));
        entry.isolated = o.value(QLatin1String("w"))
                             .toString()
                             .compare(QLatin1String("isolated"), Qt::CaseInsensitive) == 0;
        entry.needsTrust = o.value(QLatin1String("t")).toBool();
        for (const std::string &alias : stringsOf(o.value(QLatin1String("a"))))
            library.aliases_.emplace(alias, name);
        library.entries_.emplace(name, std::move(entry));
    }
    return library;
}

const std::string *ScriptletLibrary::function(const std::string &name) const {
    const auto it = entries_.find(name);
    return it == entries_.end() ? nullptr : &it->second.source;
}

std::string ScriptletLibrary::canonicalName(std::string_view name) const {
    std::string token(name);
    if (const auto alias = aliases_.find(token); alias != aliases_.end())
        token = alias->second;
    return entries_.count(token) ? token : std::string();
}

namespace {

// A rule's arguments, without the mark of a list not trusted.
QJsonArray argumentsOf(std::string_view rule) {
    if (!rule.empty() && rule.front() == '!')
        rule.remove_prefix(1);
    return QJsonDocument::fromJson(
               QByteArray::fromRawData(rule.data(), static_cast<qsizetype>(rule.size())))
        .array();
}

}  // namespace

// A call as uBlock Origin tells two apart: the scriptlet by its own name,
// then its arguments.
std::string ScriptletLibrary::callKey(const QJsonArray &args, std::string &token,
                                      QByteArray &rest) const {
    token = canonicalName(args.first().toString().toStdString() + ".js");
    QJsonArray after = args;
    after.removeFirst();
    rest = QJsonDocument(after).toJson(QJsonDocument::Compact);
    return (token.empty() ? args.first().toString().toStdString() : token) + rest.toStdString();
}

ScriptletLibrary::SiteCode ScriptletLibrary::codeFor(
    const std::vector<std::string_view> &rules,
    const std::vector<std::string_view> &exceptions) const {
    SiteCode code;
    std::string token;
    QByteArray restJson;
    // An exception takes a rule out by whatever name either calls it.
    std::unordered_set<std::string> done;
    for (const std::string_view exception : exceptions) {
        const QJsonArray args = argumentsOf(exception);
        if (!args.isEmpty() && args.first().isString())
            done.insert(callKey(args, token, restJson));
    }
    for (std::size_t place = 0; place < rules.size(); ++place) {
        const std::string_view rule = rules[place];
        const bool trusted = rule.empty() || rule.front() != '!';
        const QJsonArray args = argumentsOf(rule);
        if (args.isEmpty() || !args.first().isString()) {
            ++code.skipped;
            continue;
        }
        const std::string key = callKey(args, token, restJson);
        const auto entry = entries_.find(token);
        if (entry == entries_.end() || (entry->second.needsTrust && !trusted) ||
            entry->second.function.empty() ||
            code.main.calls.size() + code.isolated.calls.size() + rule.size() > kMostCallBytes) {
            ++code.skipped;
            continue;
        }
        // One rule once, however many lists or sites name it.
        if (!done.insert(key).second)
            continue;
        World &world = entry->second.isolated ? code.isolated : code.main;
        const auto add = [&world](const std::string &name) {
            if (std::find(world.functions.begin(), world.functions.end(), name) ==
                world.functions.end())
                world.functions.push_back(name);
        };
        add(token);
        std::deque<std::string> needed(entry->second.dependencies.begin(),
                                       entry->second.dependencies.end());
        for (std::size_t steps = 0; !needed.empty() && steps < kMostEntries; ++steps) {
            const std::string name = needed.front();
            needed.pop_front();
            const auto dependency = entries_.find(name);
            if (dependency == entries_.end() ||
                std::find(world.functions.begin(), world.functions.end(), name) !=
                    world.functions.end())
                continue;
            add(name);
            needed.insert(needed.end(), dependency->second.dependencies.begin(),
                          dependency->second.dependencies.end());
        }
        world.calls += "try {\n\t" + entry->second.function + '(' +
                       restJson.mid(1, restJson.size() - 2).toStdString() +
                       ");\n} catch (e) {\n}\n";
        std::string shown = "##+js(";
        for (qsizetype i = 0; i < args.size(); ++i) {
            if (i > 0)
                shown += ", ";
            shown += requoted(args.at(i).toString().toStdString());
        }
        code.applied.push_back(shown + ')');
        code.appliedFrom.push_back(place);
    }
    return code;
}

}  // namespace quillow::filter
