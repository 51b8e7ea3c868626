#!/usr/bin/env node
// Builds a corpus of requests from the eight lists uBlock Origin turns on by
// default (as Debian's webext-ublock-origin-chromium ships them) and stores
// uBlock Origin's answers beside each one: block or allow, the neutral
// resource a blocked request is answered with, and the address left after
// `$removeparam`. Quillow's filter engine is measured against it.
//
//   node make_corpus_default.mjs [-o out.tsv.gz] [--env ublock,chromium,...]
//
// Deterministic: a fixed-seed PRNG drives every choice, and nothing reads
// the clock except the printed timing.

import { createHash } from 'node:crypto';
import { mkdirSync, readFileSync, realpathSync, writeFileSync } from 'node:fs';
import { basename, dirname, relative, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { gzipSync } from 'node:zlib';
import { performance } from 'node:perf_hooks';

import { StaticNetFilteringEngine, pslInit } from '@gorhill/ubo-core';
import * as sfp from '@gorhill/ubo-core/js/static-filtering-parser.js';
import { CompiledListWriter } from '@gorhill/ubo-core/js/static-filtering-io.js';
import { FilteringContext } from '@gorhill/ubo-core/js/filtering-context.js';
import { LineIterator } from '@gorhill/ubo-core/js/text-utils.js';
import snfeCore from '@gorhill/ubo-core/js/static-net-filtering.js';

import {
    CDN_HOSTS, KINDS, NETWORK_KINDS, PATH_WORDS, SUBS, UBO_TYPE,
    clean, concreteDomain, domainOf, hostOf, nearMiss, ordinaryRequests, pageUrlFor,
    pickKind, randomPath, rng, scheme, seedRng, siteDomain, token, upperPath,
    urlFromPattern, withSub, word,
} from './corpus_common.mjs';
import { parseRegex, re2Problems, sampleRegex } from './js_regex.mjs';

const TOOL_NAME = 'quillow tools/filter_corpus/make_corpus_default.mjs';
const UBO_VERSION = '@gorhill/ubo-core 0.1.30';
const PACKAGE_DIR = '/usr/share/chromium/extensions/ublock-origin';
const ASSETS_DIR = `${PACKAGE_DIR}/assets`;
// The eight lists, by uBO's asset key, in the order assets.json gives them.
const DEFAULT_LISTS = [
    ['ublock-filters', 'ublock/filters.min.txt'],
    ['ublock-badware', 'ublock/badware.min.txt'],
    ['ublock-privacy', 'ublock/privacy.min.txt'],
    ['ublock-unbreak', 'ublock/unbreak.min.txt'],
    ['ublock-quick-fixes', 'ublock/quick-fixes.min.txt'],
    ['easylist', 'thirdparties/easylist/easylist.txt'],
    ['easyprivacy', 'thirdparties/easylist/easyprivacy.txt'],
    ['urlhaus-1', 'thirdparties/urlhaus-filter/urlhaus-filter-online.txt'],
];
// See make_corpus.mjs: ubo-core's own serialized copy does not load.
const PSL_PATH = `${ASSETS_DIR}/thirdparties/publicsuffix.org/list/effective_tld_names.dat`;
const RESOURCES_PATH = `${PACKAGE_DIR}/js/redirect-resources.js`;
const HERE = dirname(fileURLToPath(import.meta.url));
const REPO_ROOT = resolve(HERE, '..', '..');

// What `!#if` sees: the words of uBO's "webext flavor" that make a
// preprocessor token true. ext_ublock, env_chromium and cap_user_stylesheet
// are true, every other token false.
const DEFAULT_ENV = ['ublock', 'chromium', 'user_stylesheet'];

const TARGET_TOTAL = 160000;
const ORDINARY_SHARE = 0.25;
const MAX_URL_LEN = 1024;
const MAX_INCLUDE_BYTES = 16 << 20;

// ---------------------------------------------------------------- arguments

function parseArgs(argv) {
    let out = resolve(REPO_ROOT, 'bench/data/filter_corpus_default.tsv.gz');
    let env = DEFAULT_ENV;
    for (let i = 0; i < argv.length; i++) {
        const a = argv[i];
        if (a === '-o' || a === '--output') {
            if (i + 1 >= argv.length) { usage('-o needs a file name'); }
            out = resolve(argv[++i]);
        } else if (a === '--env') {
            if (i + 1 >= argv.length) { usage('--env needs a comma-separated list'); }
            env = argv[++i].split(',').filter(s => s !== '');
        } else if (a === '-h' || a === '--help') {
            usage();
        } else {
            usage(`unknown argument ${a}`);
        }
    }
    return { out, env };
}

function usage(msg) {
    if (msg) { console.error(`make_corpus_default: ${msg}`); }
    console.error('usage: node make_corpus_default.mjs [-o out.tsv.gz] [--env ublock,chromium,user_stylesheet]');
    process.exit(msg ? 2 : 0);
}

seedRng(0x7542_4f38); // "uBO8"

const sha256 = buf => createHash('sha256').update(buf).digest('hex');

// ------------------------------------------------------------ preprocessing

// The package's text of one list as the extension hands it to its compiler:
// `!#include` lines outside a discarded `!#if` branch pull in a file beside
// the including one (never a URL, never a path with `..`, each file once),
// the way assets.fetchFilterList() does; then `!#if`/`!#else`/`!#endif` are
// evaluated with preparser.prune(), as storage.js compileFilters() does.
function readListAsExtension(path, env, folder = PACKAGE_DIR) {
    const root = realpathSync(folder) + '/';
    const readInside = p => {
        const real = realpathSync(p);
        if (!real.startsWith(root)) { throw new Error(`${p} is outside ${folder}`); }
        const buf = readFileSync(real);
        if (buf.length > MAX_INCLUDE_BYTES) { throw new Error(`${p} is too large`); }
        return buf.toString('utf8');
    };
    const isUrl = s => { try { new URL(s.trim()); return true; } catch { return false; } };
    // assets.js isDiffUpdatableAsset(): such lists skip include processing.
    const diffUpdatable = content => {
        const m = /^(?:! *|# +)Diff(?: +|-)Path: *(.+)$/im.exec(content.slice(0, 1024));
        return m !== null && !m[1].trim().startsWith('%');
    };
    const includes = [];
    let parts = [{ path, content: readInside(path) }];
    const seen = new Set();
    do {
        if (parts.length === 1 && typeof parts[0] === 'object' && diffUpdatable(parts[0].content)) {
            parts = [parts[0].content];
            break;
        }
        const out = [];
        for (const part of parts) {
            if (typeof part === 'string') { out.push(part); continue; }
            const content = part.content.trimEnd() + '\n';
            const slices = sfp.utils.preparser.splitter(content, env);
            for (let i = 0; i < slices.length - 1; i++) {
                const slice = content.slice(slices[i], slices[i + 1]);
                if ((i & 1) !== 0) { out.push(slice); continue; }
                const reInclude = /^!#include +(\S+)[^\n\r]*(?:[\n\r]+|$)/gm;
                let lastIndex = 0;
                for (;;) {
                    const match = reInclude.exec(slice);
                    if (match === null) { break; }
                    if (isUrl(match[1]) || match[1].includes('..')) { continue; }
                    // Beside the including file, as a plain join: a leading
                    // `/` stays inside the folder, as it does in the extension.
                    const sub = `${dirname(part.path)}/${match[1].trim()}`;
                    if (seen.has(sub)) { continue; }
                    seen.add(sub);
                    includes.push(relative(dirname(path), sub));
                    out.push(slice.slice(lastIndex, match.index + match[0].length),
                        `! >>>>>>>> ${sub}\n`, { path: sub, content: readInside(sub) }, `! <<<<<<<< ${sub}\n`);
                    lastIndex = reInclude.lastIndex;
                }
                out.push(lastIndex === 0 ? slice : slice.slice(lastIndex));
            }
        }
        parts = out;
    } while (parts.some(p => typeof p !== 'string'));
    const text = parts.join('');
    return { text: sfp.utils.preparser.prune(text, env), rawText: text, includes };
}

// ------------------------------------------------------------- compiling

const T = sfp; // node type names
const KIND_OF_OPTION = new Map([
    [T.NODE_TYPE_NET_OPTION_NAME_CSS, 'stylesheet'], [T.NODE_TYPE_NET_OPTION_NAME_DOC, 'document'],
    [T.NODE_TYPE_NET_OPTION_NAME_FONT, 'font'], [T.NODE_TYPE_NET_OPTION_NAME_FRAME, 'subdocument'],
    [T.NODE_TYPE_NET_OPTION_NAME_IMAGE, 'image'], [T.NODE_TYPE_NET_OPTION_NAME_MEDIA, 'media'],
    [T.NODE_TYPE_NET_OPTION_NAME_OBJECT, 'object'], [T.NODE_TYPE_NET_OPTION_NAME_OTHER, 'other'],
    [T.NODE_TYPE_NET_OPTION_NAME_PING, 'ping'], [T.NODE_TYPE_NET_OPTION_NAME_POPUP, 'popup'],
    [T.NODE_TYPE_NET_OPTION_NAME_SCRIPT, 'script'], [T.NODE_TYPE_NET_OPTION_NAME_XHR, 'xmlhttprequest'],
    [T.NODE_TYPE_NET_OPTION_NAME_WEBSOCKET, 'websocket'], [T.NODE_TYPE_NET_OPTION_NAME_MP4, 'media'],
]);
const MODIFIER_OF_OPTION = new Map([
    [T.NODE_TYPE_NET_OPTION_NAME_CSP, 'csp'], [T.NODE_TYPE_NET_OPTION_NAME_PERMISSIONS, 'permissions'],
    [T.NODE_TYPE_NET_OPTION_NAME_HEADER, 'header'], [T.NODE_TYPE_NET_OPTION_NAME_METHOD, 'method'],
    [T.NODE_TYPE_NET_OPTION_NAME_IPADDRESS, 'ipaddress'], [T.NODE_TYPE_NET_OPTION_NAME_REPLACE, 'replace'],
    [T.NODE_TYPE_NET_OPTION_NAME_URLSKIP, 'urlskip'], [T.NODE_TYPE_NET_OPTION_NAME_URLTRANSFORM, 'urltransform'],
    [T.NODE_TYPE_NET_OPTION_NAME_CNAME, 'cname'], [T.NODE_TYPE_NET_OPTION_NAME_POPUNDER, 'popunder'],
    [T.NODE_TYPE_NET_OPTION_NAME_INLINEFONT, 'inline-font'], [T.NODE_TYPE_NET_OPTION_NAME_INLINESCRIPT, 'inline-script'],
    [T.NODE_TYPE_NET_OPTION_NAME_GENERICBLOCK, 'genericblock'], [T.NODE_TYPE_NET_OPTION_NAME_WEBRTC, 'webrtc'],
    [T.NODE_TYPE_NET_OPTION_NAME_EHIDE, 'ehide'], [T.NODE_TYPE_NET_OPTION_NAME_GHIDE, 'ghide'],
    [T.NODE_TYPE_NET_OPTION_NAME_SHIDE, 'shide'],
]);
const AST_ERROR_NAMES = Object.entries(sfp)
    .filter(([k, v]) => k.startsWith('AST_ERROR_') && typeof v === 'number' && k !== 'AST_ERROR_NONE')
    .map(([k, v]) => [v, k.slice('AST_ERROR_'.length).toLowerCase()]);

function domainList(iter) {
    const out = [];
    for (const item of iter) { out.push({ hn: item.hn, not: item.not, bad: item.bad }); }
    return out;
}

// The parts of one network rule the request synthesis needs, read from
// ubo-core's own parser so options split exactly as uBO splits them.
function describeRule(parser, line) {
    const types = parser.getNodeTypes();
    const has = t => types.includes(t);
    const rawPattern = has(T.NODE_TYPE_NET_PATTERN_RAW)
        ? parser.getNodeString(parser.nodeTypeLookupTable[T.NODE_TYPE_NET_PATTERN_RAW]) : '';
    const opts = {
        kinds: new Set(), notKinds: new Set(), party: 0, strict: 0,
        include: [], exclude: [], to: [], notTo: [], denyallow: [],
        matchCase: false, important: false, badfilter: false,
        redirect: null, removeparam: null, modifiers: new Set(),
    };
    for (const t of types) {
        const not = parser.isNegatedOption(t);
        if (KIND_OF_OPTION.has(t)) {
            (not ? opts.notKinds : opts.kinds).add(KIND_OF_OPTION.get(t));
        }
        if (MODIFIER_OF_OPTION.has(t)) { opts.modifiers.add(MODIFIER_OF_OPTION.get(t)); }
        switch (t) {
        case T.NODE_TYPE_NET_OPTION_NAME_ALL:
            for (const k of KINDS) { opts.kinds.add(k); }
            break;
        case T.NODE_TYPE_NET_OPTION_NAME_1P: opts.party = not ? 3 : 1; break;
        case T.NODE_TYPE_NET_OPTION_NAME_3P: opts.party = not ? 1 : 3; break;
        case T.NODE_TYPE_NET_OPTION_NAME_STRICT1P: opts.strict = opts.strict === 3 ? 0 : 1; break;
        case T.NODE_TYPE_NET_OPTION_NAME_STRICT3P: opts.strict = opts.strict === 1 ? 0 : 3; break;
        case T.NODE_TYPE_NET_OPTION_NAME_MATCHCASE: opts.matchCase = true; break;
        case T.NODE_TYPE_NET_OPTION_NAME_IMPORTANT: opts.important = true; break;
        case T.NODE_TYPE_NET_OPTION_NAME_BADFILTER: opts.badfilter = true; break;
        case T.NODE_TYPE_NET_OPTION_NAME_FROM:
            for (const d of domainList(parser.getNetFilterFromOptionIterator())) {
                if (d.bad || d.hn === '') { continue; }
                (d.not ? opts.exclude : opts.include).push(d.hn);
            }
            break;
        case T.NODE_TYPE_NET_OPTION_NAME_TO:
            for (const d of domainList(parser.getNetFilterToOptionIterator())) {
                if (d.bad || d.hn === '') { continue; }
                (d.not ? opts.notTo : opts.to).push(d.hn);
            }
            break;
        case T.NODE_TYPE_NET_OPTION_NAME_DENYALLOW:
            for (const d of domainList(parser.getNetFilterDenyallowOptionIterator())) {
                if (!d.bad && d.hn !== '') { opts.denyallow.push(d.hn); }
            }
            break;
        case T.NODE_TYPE_NET_OPTION_NAME_REDIRECT:
        case T.NODE_TYPE_NET_OPTION_NAME_REDIRECTRULE:
            opts.redirect = {
                value: parser.getNetOptionValue(t),
                rule: t === T.NODE_TYPE_NET_OPTION_NAME_REDIRECTRULE,
            };
            break;
        case T.NODE_TYPE_NET_OPTION_NAME_EMPTY:
            opts.redirect = { value: 'empty', rule: false };
            break;
        case T.NODE_TYPE_NET_OPTION_NAME_MP4:
            opts.redirect = { value: 'noopmp4-1s', rule: false };
            break;
        case T.NODE_TYPE_NET_OPTION_NAME_REMOVEPARAM:
            opts.removeparam = parser.getNetOptionValue(t);
            break;
        default:
            break;
        }
    }
    const regex = parser.isRegexPattern();
    const rule = {
        line, exception: parser.isException(), regex, pattern: rawPattern, opts,
        regexSource: regex ? parser.getNetPattern() : '', re2: [],
    };
    // Expressions RE2 cannot run, wherever the rule holds one.
    const note = src => {
        try {
            rule.re2.push(...re2Problems(src));
        } catch {
            rule.re2.push('unreadable');
        }
    };
    if (regex) { note(rule.regexSource); }
    if (opts.removeparam !== null) {
        const m = /^~?\/(.+)\/i?$/.exec(opts.removeparam);
        if (m) { note(m[1]); }
    }
    for (const d of [...opts.include, ...opts.exclude, ...opts.to, ...opts.notTo, ...opts.denyallow]) {
        if (d.length > 2 && d.startsWith('/') && d.endsWith('/')) { note(d.slice(1, -1)); }
    }
    return rule;
}

// Compiles one list's text with ubo-core's own compiler, line by line as
// its compileList() does, into two compiled lists: every rule, and every
// rule but those holding an expression RE2 cannot run. Counts what is
// accepted and why the rest is not.
function compileListText(name, text, compiler) {
    const parser = new sfp.AstFilterParser({ maxTokenLength: snfeCore.MAX_TOKEN_LENGTH });
    const full = new CompiledListWriter();
    const re2Only = new CompiledListWriter();
    full.properties.set('name', name);
    re2Only.properties.set('name', name);
    const stats = {
        lines: 0, comments: 0, cosmetic: 0, scriptlet: 0, html: 0, responseheader: 0, otherExtended: 0,
        network: 0, accepted: 0, exceptions: 0, badfilter: 0, important: 0,
        rejected: new Map(), modifiers: new Map(), re2: 0, regex: 0,
    };
    const bump = (map, key) => map.set(key, (map.get(key) || 0) + 1);
    const rules = [];
    const lineIter = new LineIterator(text);
    while (lineIter.eot() === false) {
        let line = lineIter.next();
        // compileList(): a line ending in ` \` continues on the next
        // line when that one starts with four spaces.
        while (line.endsWith(' \\')) {
            if (lineIter.peek(4) !== '    ') { break; }
            line = line.slice(0, -2).trim() + lineIter.next().trim();
        }
        stats.lines++;
        parser.parse(line);
        if (parser.isFilter() === false) { stats.comments++; continue; }
        if (parser.isNetworkFilter() === false) {
            if (parser.isScriptletFilter()) {
                stats.scriptlet++;
            } else if (parser.isHtmlFilter()) {
                stats.html++;
            } else if (parser.isResponseheaderFilter()) {
                stats.responseheader++;
            } else if (parser.isCosmeticFilter()) {
                stats.cosmetic++;
            } else {
                stats.otherExtended++;
            }
            continue;
        }
        stats.network++;
        const rule = describeRule(parser, line);
        rule.accepted = compiler.compile(parser, full);
        if (rule.accepted) {
            if (rule.re2.length === 0) { compiler.compile(parser, re2Only); }
            stats.accepted++;
            if (rule.exception) { stats.exceptions++; }
            if (rule.opts.badfilter) { stats.badfilter++; }
            if (rule.opts.important) { stats.important++; }
            if (rule.regex) { stats.regex++; }
            if (rule.re2.length !== 0) { stats.re2++; }
            for (const m of rule.opts.modifiers) { bump(stats.modifiers, m); }
            if (rule.opts.redirect) { bump(stats.modifiers, rule.opts.redirect.rule ? 'redirect-rule' : 'redirect'); }
            if (rule.opts.removeparam !== null) { bump(stats.modifiers, 'removeparam'); }
        } else if (compiler.error !== undefined) {
            // FILTER_UNSUPPORTED: ubo-core says so in its own words.
            bump(stats.rejected, 'unsupported');
            compiler.error = undefined;
        } else if (parser.hasError()) {
            const names = AST_ERROR_NAMES.filter(([bit]) => (parser.astError & bit) !== 0).map(([, n]) => n);
            bump(stats.rejected, names.length !== 0 ? names.join('+') : 'parse-error');
        } else {
            bump(stats.rejected, 'invalid');
        }
        rules.push(rule);
    }
    return { compiledFull: full.toString(), compiledRe2: re2Only.toString(), stats, rules };
}

// ------------------------------------------------------------- resources

// The neutral resources the extension registers for `$redirect`: names and
// aliases from its js/redirect-resources.js, as RedirectEngine
// loadBuiltinResources() does. A resource without `data` has no copy to
// serve as a data: URI, which is what an xmlhttprequest gets.
async function loadResources() {
    const src = readFileSync(RESOURCES_PATH);
    const mod = await import(`data:text/javascript;base64,${src.toString('base64')}`);
    const resources = new Map();
    const aliases = new Map();
    for (const [name, details] of mod.default) {
        resources.set(name, { hasData: typeof details.data === 'string' });
        const list = details.alias === undefined ? [] : [].concat(details.alias);
        for (const alias of list) { aliases.set(alias, name); }
    }
    return { resources, aliases, sha: sha256(src) };
}

// A stand-in for the extension's RedirectEngine, as redirectRequest() calls
// it: hasToken() ranks directives, tokenToURL() gives the resource or
// nothing. "URLs" here are the resource's own name.
function makeRedirectEngine({ resources, aliases }) {
    const entryOf = token => {
        const name = aliases.get(token) || token;
        const entry = resources.get(name);
        return entry === undefined ? undefined : { name, ...entry };
    };
    return {
        hasToken(token) {
            if (token === 'none') { return true; }
            if (token.charCodeAt(0) === 0x25 /* % */) { token = token.slice(1); }
            return entryOf(token) !== undefined;
        },
        tokenToURL(fctxt, token) {
            const entry = entryOf(token);
            if (entry === undefined) { return undefined; }
            // RedirectEntry.toURL(): an xmlhttprequest gets a data: URI,
            // which needs the resource's data.
            if (fctxt.type === 'xmlhttprequest' && !entry.hasData) { return undefined; }
            return entry.name;
        },
    };
}

// ------------------------------------------------------------ the engine

const fctxt = new FilteringContext();

// The three answers for one request, as the extension reaches them:
// matchRequest() first; a blocked request (not a document, not a popup:
// those never reach redirectBlockedRequest()) may be answered with a
// resource through redirectRequest(); a request not blocked (not a popup)
// has its address cleaned through filterQuery().
function answer(snfe, redirectEngine, r) {
    const details = { originURL: r.page, url: r.url, type: UBO_TYPE[r.kind] };
    const v = snfe.matchRequest(details);
    let redirect = '-';
    let cleaned = '-';
    let tie = false;
    if (v === 1) {
        if (r.kind !== 'document' && r.kind !== 'popup') {
            fctxt.fromDetails(details);
            fctxt.redirectURL = undefined;
            snfeCore.redirectRequest(redirectEngine, fctxt);
            if (fctxt.redirectURL !== undefined) { redirect = fctxt.redirectURL; }
            tie = redirectTie(snfe, redirectEngine, details);
        }
    } else if (r.kind !== 'popup') {
        const q = snfe.filterQuery(details);
        if (q !== undefined && q.redirectURL !== undefined) { cleaned = q.redirectURL; }
    }
    return { verdict: v === 1 ? 'block' : 'allow', redirect, cleaned, tie };
}

// Whether ubo-core's pick of a resource rests on the order it found the
// directives in, which another engine cannot be expected to share.
// redirectRequest() sorts the directives by priority alone, stably, from the
// order [blocking ones, important ones, exceptions] and takes the last: so
// among the top priority the last class present wins, and within that class
// the order of discovery decides when it holds two different answers.
function redirectTie(snfe, redirectEngine, details) {
    const directives = snfe.matchAndFetchModifiers(details, 'redirect-rule') || [];
    let top = -Infinity;
    let classes = [];
    for (const d of directives) {
        const { token, priority } = sfp.parseRedirectValue(d.value);
        if (!redirectEngine.hasToken(token)) { continue; }
        const cls = (d.bits & 1 /* ALLOW_REALM */) !== 0 ? 2 : (d.bits & 2 /* IMPORTANT_REALM */) !== 0 ? 1 : 0;
        const outcome = cls === 2 || token === 'none' ? '-' : redirectEngine.tokenToURL(details, token) || '-';
        if (priority > top) { top = priority; classes = [new Set(), new Set(), new Set()]; }
        if (priority === top) { classes[cls].add(outcome); }
    }
    const last = classes.findLast(c => c.size !== 0);
    return last !== undefined && last.size > 1;
}

// The findings the README states, checked against ubo-core before they
// are relied upon: if one fails, the corpus would say something else.
async function selfCheck(snfe, redirectEngine) {
    await snfe.useLists([{ name: 'selfcheck', raw: [
        '||rr.invalid^$script,redirect-rule=noop.js',
        '||rb.invalid^$script,redirect-rule=noop.js',
        '||rb.invalid^',
        '||pri.invalid^$script,redirect=noop.js:5',
        '||pri.invalid^$script,redirect=noop.txt:10',
        '||pri.invalid/none/$script,redirect=none:20',
        '||tie.invalid^$script,redirect=noop.js',
        '||tie.invalid^$script,redirect-rule=noopjs',
        '||ex.invalid^$script,redirect=noop.js',
        '@@||ex.invalid^$redirect=noop.js',
        '||imp.invalid^$script,redirect=noop.js,important',
        '@@||imp.invalid^$script',
        '||xhr.invalid^$xhr,redirect=noop.html',
        '||imp2.invalid^$script,redirect=noop.js,important',
        '||imp2.invalid^$script,redirect=noop.txt:5',
        '||ex2.invalid^$script,redirect=noop.js',
        '||ex2.invalid^$script,redirect=noop.txt',
        '@@||ex2.invalid^$redirect=noop.js',
        '||ex3.invalid^$script,redirect=noop.js',
        '||ex3.invalid^$script,redirect=noop.txt:1',
        '@@||ex3.invalid^$redirect=noop.js',
        '||exall.invalid^$script,redirect=noop.js',
        '||exall.invalid^$script,redirect-rule=noop.css,important',
        '@@||exall.invalid^$redirect',
        '$removeparam=utm_source',
        '$removeparam=/^fb/',
        '@@||keep.invalid^$removeparam=utm_source',
        '@@||keepall.invalid^$removeparam',
        '||all.invalid^$removeparam',
        '||csp.invalid^$csp=script-src \'none\'',
    ].join('\n') }]);
    const a = (url, kind = 'script', page = 'https://page.invalid/') =>
        answer(snfe, redirectEngine, { kind, page, url });
    const checks = [
        // redirect-rule alone neither blocks nor redirects.
        [a('https://rr.invalid/a.js'), 'allow', '-', '-'],
        // redirect-rule redirects what another rule blocks.
        [a('https://rb.invalid/a.js'), 'block', 'noop.js', '-'],
        // The highest priority wins; `none` wins by priority and leaves a block.
        [a('https://pri.invalid/a.js'), 'block', 'noop.txt', '-'],
        [a('https://pri.invalid/none/a.js'), 'block', '-', '-'],
        // An exception naming the same value removes the redirect, not the block.
        [a('https://ex.invalid/a.js'), 'block', '-', '-'],
        // $important beats a block exception and keeps its redirect.
        [a('https://imp.invalid/a.js'), 'block', 'noop.js', '-'],
        // Priority outranks $important.
        [a('https://imp2.invalid/a.js'), 'block', 'noop.txt', '-'],
        // An exception's directive stays in the ranking: at equal priority it
        // comes last and so cancels every other redirect.
        [a('https://ex2.invalid/a.js'), 'block', '-', '-'],
        [a('https://ex3.invalid/a.js'), 'block', 'noop.txt', '-'],
        // An exception for all redirects spares $important ones.
        [a('https://exall.invalid/a.js'), 'block', 'noop.css', '-'],
        // An xmlhttprequest gets no resource that has no data.
        [a('https://xhr.invalid/a', 'xmlhttprequest'), 'block', '-', '-'],
        // removeparam: names, expressions, exceptions by value and for all.
        [a('https://x.invalid/p?a=1&utm_source=2&fbclid=3', 'document'), 'allow', '-', 'https://x.invalid/p?a=1'],
        [a('https://keep.invalid/p?utm_source=2&fbclid=3', 'document'), 'allow', '-', 'https://keep.invalid/p?utm_source=2'],
        [a('https://keepall.invalid/p?utm_source=2&fbclid=3', 'document'), 'allow', '-', '-'],
        [a('https://all.invalid/p?q=1&r=2#h', 'image'), 'allow', '-', 'https://all.invalid/p#h'],
        // The query is rebuilt from a map: a repeated name keeps its last
        // value at its first place, and a bare name gains `=`.
        [a('https://x.invalid/p?a=1&b&a=2&fbclid=3', 'document'), 'allow', '-', 'https://x.invalid/p?a=2&b='],
        // Expressions see `name=value` with the value percent-decoded.
        [a('https://x.invalid/p?fbx=%41&c=1', 'script'), 'allow', '-', 'https://x.invalid/p?c=1'],
        // $csp lives in a realm matchRequest() never reads.
        [a('https://csp.invalid/', 'document'), 'allow', '-', '-'],
    ];
    for (const [got, verdict, redirect, cleaned] of checks) {
        if (got.verdict !== verdict || got.redirect !== redirect || got.cleaned !== cleaned) {
            throw new Error(`uBO self-check failed: ${JSON.stringify(got)} != ${verdict} ${redirect} ${cleaned}`);
        }
    }
}

// ------------------------------------------------------ request synthesis

const TLD_POOL = ['com', 'net', 'org', 'top', 'xyz', 'info', 'de', 'co.uk'];

// A host a domain-list entry (`domain=`, `from=`, `to=`, `denyallow=`)
// stands for: entities get a suffix, bare public suffixes a name, and
// expressions a drawn host.
function hostForEntry(entry) {
    if (entry.startsWith('/') && entry.endsWith('/') && entry.length > 2) {
        const h = sampleMatching(entry.slice(1, -1), 'i', s => /^[a-z0-9.-]+$/.test(s));
        return h || siteDomain();
    }
    if (entry.startsWith('[')) { return entry; } // IPv6 literal
    const d = concreteDomain(entry);
    if (!d.includes('.') && !/^\d/.test(d)) { return `${word()}${word()}.${d}`; }
    return d;
}

const withMaybeSub = (host, p = 0.3) => (/^[\d[]/.test(host) || !rng.chance(p) ? host : `${rng.pick(SUBS)}.${host}`);

// An expression read once, with the JavaScript RegExp that checks what is
// drawn from it; null when either cannot be made.
const regexCache = new Map();
function readRegex(src, flags) {
    const key = `${flags}/${src}`;
    if (!regexCache.has(key)) {
        let value = null;
        try {
            value = { parsed: parseRegex(src), re: new RegExp(src, flags) };
        } catch {
            // Outside what js_regex.mjs reads, or not an expression at all.
        }
        regexCache.set(key, value);
    }
    return regexCache.get(key);
}

// A string the expression matches, or null after a few tries.
function sampleMatching(src, flags, accept = () => true) {
    const r = readRegex(src, flags);
    if (r === null) { return null; }
    for (let k = 0; k < 12; k++) {
        const s = sampleRegex(r.parsed, rng);
        if (r.re.test(s) && accept(s)) { return s; }
    }
    return null;
}

// A request URL a regex rule matches: drawn from the expression, then
// placed on a made-up site when the expression only covers part of a URL.
function urlFromRegex(rule) {
    const r = readRegex(rule.regexSource, rule.opts.matchCase ? '' : 'i');
    if (r === null) { return null; }
    for (let k = 0; k < 12; k++) {
        let s = sampleRegex(r.parsed, rng);
        if (/^[a-z][a-z0-9+.-]*:\/\//i.test(s)) {
            // A whole URL.
        } else if (s.startsWith('//')) {
            s = `${scheme()}:${s}`;
        } else if (/^[a-z0-9-]+\.[a-z0-9.-]*[a-z]\//i.test(s)) {
            s = `${scheme()}://${s}`;
        } else if (s.startsWith('.')) {
            s = `${scheme()}://${token()}${s}`;
        } else if (s.startsWith('/')) {
            s = `${scheme()}://${withSub(siteDomain())}${s}`;
        } else {
            s = `${scheme()}://${withSub(siteDomain())}/${rng.pick(PATH_WORDS)}/${s}`;
        }
        if (!/^[a-z][a-z0-9+.-]*:\/\/[^/?#]+/i.test(s)) { continue; }
        if (r.re.test(s)) { return s; }
    }
    return null;
}

// A random URL of a made-up or given host.
function urlOnHost(host, kind) {
    return `${scheme()}://${host}${randomPath(kind)}`;
}

// Replaces the host of a URL.
function withHost(url, host) {
    return url.replace(/^([a-z][a-z0-9+.-]*:\/\/)[^/?#:]+/i, `$1${host}`);
}

// Sets `name=value` parameters on a URL's query, keeping a fragment last.
function addQuery(url, pairs) {
    if (pairs.length === 0) { return url; }
    const hash = url.indexOf('#');
    const frag = hash >= 0 ? url.slice(hash) : '';
    const base = hash >= 0 ? url.slice(0, hash) : url;
    const sep = base.includes('?') ? (base.endsWith('?') || base.endsWith('&') ? '' : '&') : '?';
    return base + sep + pairs.join('&') + frag;
}

const OTHER_PARAMS = ['id', 'page', 'q', 'lang', 'v', 'ref', 'sort', 'utm_source', 'utm_medium',
    'utm_campaign', 'cb', 'format', 'size', 'session'];
const paramValue = () => (rng.chance(0.1) ? '' : rng.chance(0.1) ? `${token()}%20${token()}` : token());

// Parameters for a `$removeparam` rule's value: one it removes (or, for
// `~name`, one it keeps), with others around it.
function paramsFor(value) {
    const pairs = [];
    const others = () => {
        const n = rng.int(3);
        for (let k = 0; k < n; k++) { pairs.push(`${rng.pick(OTHER_PARAMS)}=${paramValue()}`); }
    };
    others();
    if (value === '') {
        pairs.push(`${rng.pick(OTHER_PARAMS)}=${paramValue()}`);
    } else {
        let v = value;
        const not = v.startsWith('~');
        if (not) { v = v.slice(1); }
        const m = /^\/(.+)\/(i?)$/.exec(v);
        if (m) {
            pairs.push(paramMatching(m[1], m[2]) || `${token()}=${paramValue()}`);
        } else if (v.startsWith('|')) {
            pairs.push(`${v.slice(1)}${rng.chance(0.5) ? token(3) : ''}=${paramValue()}`);
        } else {
            const form = rng.int(10);
            // The name itself; bare; twice; or a longer name holding it.
            if (form === 0) {
                pairs.push(v);
            } else if (form === 1) {
                pairs.push(`${v}=${paramValue()}`, `${v}=${paramValue()}`);
            } else if (form === 2) {
                pairs.push(`${v}${rng.pick(['_x', '2', 'id'])}=${paramValue()}`);
            } else {
                pairs.push(`${v}=${paramValue()}`);
            }
        }
    }
    others();
    return rng.shuffle(pairs);
}

// A `name=value` pair an expression of `$removeparam=/.../` matches (it is
// tested against `name=value`), or null.
function paramMatching(src, flags) {
    const r = readRegex(src, flags);
    if (r === null) { return null; }
    for (let k = 0; k < 12; k++) {
        let s = sampleRegex(r.parsed, rng);
        if (!s.includes('=')) { s += `=${paramValue()}`; }
        if (/^[^&#=\s]+=[^&#\s]*$/.test(s) && r.re.test(s)) { return s; }
    }
    return null;
}

function pickUboKind(rule) {
    const { opts } = rule;
    if (opts.removeparam !== null && opts.kinds.size === 0) {
        // Untyped removeparam rules apply to every kind; documents are
        // what Quillow cleans most.
        return rng.chance(0.4) ? 'document' : pickKind(opts, rule);
    }
    return pickKind(opts, rule);
}

// Literal text that plain, option-free block rules of the lists refuse
// wherever it appears: appended to a URL, it makes another rule block it.
let blockingFragments = [];

function buildBlockingFragments(rules) {
    const out = [];
    for (const r of rules) {
        if (r.exception || r.regex || !r.accepted || r.opts.badfilter) { continue; }
        const o = r.opts;
        if (o.kinds.size || o.notKinds.size || o.party || o.include.length || o.exclude.length
            || o.to.length || o.denyallow.length || o.strict || o.redirect || o.removeparam !== null
            || o.modifiers.size) { continue; }
        if (/^[a-z0-9_-]*[_=&?-][a-z0-9_=&?-]*$/i.test(r.pattern) && r.pattern.length >= 6 && r.pattern.length <= 20) {
            out.push(r.pattern);
        }
    }
    return out;
}

// Requests derived from one rule of the lists: the URL it matches on a
// page that satisfies it, then variants that test each of its conditions.
function requestsForUboRule(rule, out) {
    const { opts } = rule;
    const push = (kind, page, url, tag) => out.push({ kind, page, url, tag });
    if (!rule.regex && rule.pattern === '' && opts.include.length === 0 && opts.to.length === 0
        && opts.removeparam === null) { return; }
    // The syntax of uBO's own lists gets more than one draw.
    const rare = rule.regex || opts.redirect || opts.removeparam !== null || opts.to.length
        || opts.notTo.length || opts.denyallow.length || opts.strict || opts.important || opts.badfilter;
    const rounds = rare ? 3 : 1;
    for (let round = 0; round < rounds; round++) {
        const kind = pickUboKind(rule);
        let url;
        if (rule.regex) {
            url = urlFromRegex(rule);
            if (url === null) {
                // An expression not drawn from: a random URL stands in.
                url = urlOnHost(`${token()}.${rng.pick(['club', 'xyz', 'top', 'com', 'net'])}`, kind);
            }
        } else {
            const pat = rule.pattern === '' || rule.pattern === '*' ? '*' : rule.pattern;
            url = urlFromPattern(pat, kind);
        }
        // A destination the rule names: `to=`, or outside `denyallow=`.
        if (opts.to.length !== 0 && !rule.regex && (pattHostless(rule) || rng.chance(0.5))) {
            url = withHost(url, withMaybeSub(hostForEntry(rng.pick(opts.to))));
        }
        if (opts.removeparam !== null) { url = addQuery(url, paramsFor(opts.removeparam)); }
        const reqHost = hostOf(url);

        let third = opts.party === 3 ? true : opts.party === 1 ? false : rng.chance(0.75);
        if (opts.strict === 3) { third = rng.chance(0.7); }
        let pageHost;
        if (opts.strict === 1) {
            pageHost = reqHost;
        } else if (opts.include.length !== 0) {
            pageHost = withMaybeSub(hostForEntry(rng.pick(opts.include)));
        } else if (!third) {
            pageHost = rng.chance(0.5) || /^[\d[]/.test(reqHost) ? reqHost : `www.${domainOf(reqHost)}`;
        } else {
            pageHost = withSub(siteDomain());
        }
        if (opts.strict === 3 && pageHost === reqHost) { pageHost = `${rng.pick(['www', 'm', 'app'])}.${domainOf(reqHost)}`; }
        const page = pageUrlFor(pageHost);
        push(kind, page, url, round === 0 ? 'match' : 'match2');

        if (opts.redirect) {
            // Redirects act only on blocked requests: the same URL once
            // more with a fragment generic rules block.
            if (blockingFragments.length !== 0 && !/\|$/.test(rule.pattern)) {
                push(kind, page, addQuery(url, [`${rng.pick(['x', 'r', 'cb'])}=1${rng.pick(blockingFragments)}`]), 'redirect-blocked');
            }
        }
        if (round !== 0) { continue; }

        // The other party.
        if (opts.party !== 0 || opts.strict !== 0 || rng.chance(0.1)) {
            const ph = third || opts.strict === 3
                ? (rng.chance(0.5) || /^[\d[]/.test(reqHost) ? reqHost : `www.${domainOf(reqHost)}`)
                : withSub(siteDomain());
            push(kind, pageUrlFor(ph), url, 'party');
        }
        // strict1p: a sibling host of the same site.
        if (opts.strict === 1 && !/^[\d[]/.test(reqHost)) {
            const sib = reqHost.startsWith('www.') ? reqHost.slice(4) : `www.${reqHost}`;
            push(kind, pageUrlFor(sib), url, 'strict');
        }
        // A kind the options leave out.
        if (opts.kinds.size !== 0 || opts.notKinds.size !== 0) {
            const excluded = opts.notKinds.size !== 0
                ? [...opts.notKinds]
                : NETWORK_KINDS.concat(['document', 'popup']).filter(k => !opts.kinds.has(k));
            if (excluded.length !== 0) { push(rng.pick(excluded), page, url, 'kind'); }
        } else if (rng.chance(0.12)) {
            push(rng.pick(['document', 'popup']), page, url, 'kind');
        }
        // Pages inside and outside domain=.
        if (opts.exclude.length !== 0) {
            push(kind, pageUrlFor(withMaybeSub(hostForEntry(rng.pick(opts.exclude)))), url, 'notdomain');
        }
        if (opts.include.length !== 0 && rng.chance(0.5)) {
            push(kind, pageUrlFor(withSub(siteDomain())), url, 'outside');
        }
        // Destinations outside to= and inside denyallow=.
        if (opts.notTo.length !== 0) {
            push(kind, page, withHost(url, withMaybeSub(hostForEntry(rng.pick(opts.notTo)))), 'notto');
        }
        if (opts.to.length !== 0) {
            push(kind, page, withHost(url, `${token()}.${rng.pick(TLD_POOL)}`), 'outsideto');
        }
        if (opts.denyallow.length !== 0) {
            push(kind, page, withHost(url, withMaybeSub(hostForEntry(rng.pick(opts.denyallow)))), 'denyallow');
        }
        // Subdomain and look-alike host of a host-anchored pattern.
        if (!rule.regex && rule.pattern.startsWith('||') && rng.chance(0.4)) {
            push(kind, page, url.replace(/^([a-z]+:\/\/)/, `$1${rng.pick(['cdn', 'www', 'img', 'a1', 'static'])}.`), 'subdomain');
            if (rng.chance(0.3)) {
                push(kind, page, url.replace(/^([a-z]+:\/\/)/, `$1${rng.pick(['my', 'x', 'not'])}`), 'hostsuffix');
            }
        }
        // Near miss on the literal text, or on the drawn URL of an expression.
        if (rng.chance(rule.exception ? 0.15 : 0.3)) {
            const nm = rule.regex ? nearMissAnywhere(url) : nearMiss(url, rule.pattern);
            if (nm && nm !== url) { push(kind, page, nm, 'nearmiss'); }
        }
        if (opts.matchCase || rng.chance(0.04)) {
            const up = upperPath(url);
            if (up !== url) { push(kind, page, up, 'case'); }
        }
        // removeparam: the parameter only in the fragment, and no query.
        if (opts.removeparam !== null && opts.removeparam !== '') {
            const base = url.split('?')[0];
            push(kind, page, `${base}#${paramsFor(opts.removeparam).join('&')}`, 'fragment');
        }
    }
}

// A hostless pattern: `*`, empty, or one that names no host.
function pattHostless(rule) {
    return rule.pattern === '' || rule.pattern === '*';
}

// One path character of a URL changed.
function nearMissAnywhere(url) {
    const m = /^([a-z]+:\/\/[^/?#]+)(.+)$/i.exec(url);
    if (!m) { return null; }
    const path = m[2];
    const positions = [];
    for (let i = 0; i < path.length; i++) { if (/[a-z0-9]/i.test(path[i])) { positions.push(i); } }
    if (positions.length === 0) { return null; }
    const i = rng.pick(positions);
    const c = path[i];
    const r = /[0-9]/.test(c) ? String((+c + 1) % 10) : (c === 'z' || c === 'Z' ? 'y' : String.fromCharCode(c.charCodeAt(0) + 1));
    return m[1] + path.slice(0, i) + r + path.slice(i + 1);
}

// Ordinary traffic, some of it carrying the tracking parameters the lists
// strip among ordinary ones.
function ordinaryUboRequests(n, cdnHosts, trackingNames, out) {
    const plain = [];
    ordinaryRequests(n, cdnHosts, plain);
    for (const r of plain) {
        const p = r.kind === 'document' ? 0.45 : 0.12;
        if (rng.chance(p)) {
            const pairs = [];
            const k = 1 + rng.int(3);
            for (let i = 0; i < k; i++) {
                const name = rng.chance(0.8) ? rng.pick(trackingNames) : rng.pick(OTHER_PARAMS);
                pairs.push(`${name}=${paramValue()}`);
            }
            out.push({ ...r, url: addQuery(r.url, pairs), tag: 'tracking' });
        } else {
            out.push(r);
        }
    }
}

// ------------------------------------------------------------------- main

async function main() {
    const t0 = performance.now();
    const { out, env } = parseArgs(process.argv.slice(2));

    // The lists uBO turns on by default, checked against the package's
    // asset registry.
    const registry = JSON.parse(readFileSync(`${ASSETS_DIR}/assets.json`, 'utf8'));
    const lists = [];
    for (const [key, rel] of DEFAULT_LISTS) {
        const entry = registry[key];
        if (!entry || entry.content !== 'filters' || entry.off === true) {
            throw new Error(`assets.json: ${key} is not a list on by default`);
        }
        const urls = [].concat(entry.contentURL || []);
        if (!urls.includes(`assets/${rel}`)) { throw new Error(`assets.json: ${key} is not assets/${rel}`); }
        const path = `${ASSETS_DIR}/${rel}`;
        const raw = readFileSync(path);
        const read = readListAsExtension(path, env);
        lists.push({ key, rel, name: basename(rel), path, sha: sha256(raw), ...read });
    }
    const pslRaw = readFileSync(PSL_PATH);
    const resources = await loadResources();
    const redirectEngine = makeRedirectEngine(resources);

    // Compile every list with ubo-core's compiler.
    const compiler = snfeCore.createCompiler();
    const allRules = [];
    for (const list of lists) {
        const c = compileListText(list.key, list.text, compiler);
        Object.assign(list, c);
        list.prunedLines = list.rawText.split(/\r\n|\r|\n/).length - list.text.split(/\r\n|\r|\n/).length;
        for (const r of c.rules) { r.list = list.name; allRules.push(r); }
    }
    const tCompiled = performance.now();

    // Requests.
    blockingFragments = buildBlockingFragments(allRules);
    let ruleReqs = [];
    for (const rule of allRules) {
        const before = ruleReqs.length;
        requestsForUboRule(rule, ruleReqs);
        for (let i = before; i < ruleReqs.length; i++) {
            ruleReqs[i].list = rule.list + (rule.exception ? ' @@' : '');
        }
    }
    const wantRule = Math.round(TARGET_TOTAL * (1 - ORDINARY_SHARE));
    if (ruleReqs.length > wantRule) {
        // Thin only the plentiful requests of EasyList-style rules; uBO's
        // own syntax and the variants are what an engine gets wrong.
        const plenty = new Set(['match', 'subdomain', 'nearmiss', 'hostsuffix']);
        const keep = r => !plenty.has(r.tag) || !/^easy/.test(r.list);
        const rare = ruleReqs.filter(keep);
        const common = rng.shuffle(ruleReqs.filter(r => !keep(r)));
        ruleReqs = rare.concat(common.slice(0, Math.max(0, wantRule - rare.length)));
    }
    const alltext = lists.map(l => l.text).join('\n');
    const cdnHosts = CDN_HOSTS.filter(h => !alltext.includes(`||${h}`) && !alltext.includes(`||${domainOf(h)}^`));
    const trackingNames = [...new Set(allRules
        .filter(r => r.opts.removeparam && !r.exception && /^[\w.[\]-]+$/.test(r.opts.removeparam))
        .map(r => r.opts.removeparam))].sort();
    const ordinary = [];
    ordinaryUboRequests(Math.max(0, TARGET_TOTAL - ruleReqs.length), cdnHosts, trackingNames, ordinary);
    const all = rng.shuffle(ruleReqs.concat(ordinary));

    // Deduplicated, bounded requests.
    const reqs = [];
    const seen = new Set();
    let dropped = 0;
    for (const r of all) {
        const page = clean(r.page), url = clean(r.url);
        if (url.length > MAX_URL_LEN || page.length > MAX_URL_LEN || !/^[a-z]+:\/\/[^/]/i.test(url)) { dropped++; continue; }
        const key = `${r.kind}\t${page}\t${url}`;
        if (seen.has(key)) { dropped++; continue; }
        seen.add(key);
        reqs.push({ kind: r.kind, page, url, tag: r.tag || 'ordinary', list: r.list || '' });
    }

    // The engine: checked, then once without the rules RE2 cannot run and
    // once with everything. A request whose answers differ between the two
    // depends on such a rule alone.
    const snfe = await StaticNetFilteringEngine.create({ noPSL: true });
    const suffixes = pslInit(pslRaw.toString('utf8'));
    if (!suffixes || suffixes.getDomain('www.bbc.co.uk') !== 'bbc.co.uk') {
        throw new Error(`public suffix list ${PSL_PATH} did not load`);
    }
    await selfCheck(snfe, redirectEngine);
    const tLoad0 = performance.now();
    await snfe.useLists(lists.map(l => ({ name: l.key, compiled: l.compiledRe2 })));
    const re2Answers = reqs.map(r => answer(snfe, redirectEngine, r));
    await snfe.useLists(lists.map(l => ({ name: l.key, compiled: l.compiledFull })));
    const tLoad1 = performance.now();
    const filterCount = snfeCore.getFilterCount();

    const lines = [];
    const counts = { block: 0, allow: 0, redirect: 0, cleaned: 0, re2: 0, ties: 0 };
    const perKind = new Map(KINDS.map(k => [k, { block: 0, allow: 0, redirect: 0, cleaned: 0 }]));
    const perTag = new Map();
    const perList = new Map();
    const perResource = new Map();
    for (let i = 0; i < reqs.length; i++) {
        const r = reqs[i];
        const a = answer(snfe, redirectEngine, r);
        const b = re2Answers[i];
        const flags = [];
        if (a.verdict !== b.verdict || a.redirect !== b.redirect || a.cleaned !== b.cleaned) { flags.push('re2'); }
        if (a.tie) { flags.push('tie'); counts.ties++; }
        const flag = flags.length === 0 ? '-' : flags.join(',');
        counts[a.verdict]++;
        const pk = perKind.get(r.kind);
        pk[a.verdict]++;
        if (a.redirect !== '-') {
            counts.redirect++;
            pk.redirect++;
            perResource.set(a.redirect, (perResource.get(a.redirect) || 0) + 1);
        }
        if (a.cleaned !== '-') { counts.cleaned++; pk.cleaned++; }
        if (flags.includes('re2')) { counts.re2++; }
        const t = perTag.get(r.tag) || { block: 0, allow: 0, redirect: 0, cleaned: 0 };
        t[a.verdict]++;
        if (a.redirect !== '-') { t.redirect++; }
        if (a.cleaned !== '-') { t.cleaned++; }
        perTag.set(r.tag, t);
        const lk = r.list || '(ordinary)';
        const l = perList.get(lk) || { block: 0, allow: 0, redirect: 0, cleaned: 0 };
        l[a.verdict]++;
        if (a.redirect !== '-') { l.redirect++; }
        if (a.cleaned !== '-') { l.cleaned++; }
        perList.set(lk, l);
        lines.push(`${a.verdict}\t${r.kind}\t${r.page}\t${r.url}\t${a.redirect}\t${a.cleaned}\t${flag}`);
    }

    const header = [
        `# ${TOOL_NAME}`,
        `# ${UBO_VERSION}`,
        `# env ${env.join(',')}`,
        ...lists.map(l => `# ${l.name} sha256 ${l.sha}`),
        `# ${basename(PSL_PATH)} sha256 ${sha256(pslRaw)}`,
        `# resources js/redirect-resources.js sha256 ${resources.sha}`,
        ...lists.map(l => `# ${l.name} accepted ${l.stats.accepted} rejected ${[...l.stats.rejected.values()].reduce((s, n) => s + n, 0)} re2 ${l.stats.re2}`),
        `# filters ${filterCount}`,
        `# requests ${lines.length}`,
        `# blocked ${counts.block}`,
        `# allowed ${counts.allow}`,
        `# redirected ${counts.redirect}`,
        `# cleaned ${counts.cleaned}`,
        `# re2 ${counts.re2}`,
        `# tie ${counts.ties}`,
        '# verdict\tkind\tpageUrl\trequestUrl\tredirect\tcleanedUrl\tflags',
    ];
    const gz = gzipSync(header.concat(lines).join('\n') + '\n', { level: 9 });
    mkdirSync(dirname(out), { recursive: true });
    writeFileSync(out, gz);
    const t1 = performance.now();

    // What uBO's engine reads, skips and cannot apply, per list.
    console.log(`preprocessor env: ${env.join(',')}`);
    for (const l of lists) {
        const s = l.stats;
        const rej = [...s.rejected].sort().map(([k, n]) => `${k} ${n}`).join(', ') || 'none';
        const mods = [...s.modifiers].sort().map(([k, n]) => `${k} ${n}`).join(', ') || 'none';
        console.log(`\n${l.rel}  (sha256 ${l.sha.slice(0, 12)}…)`);
        console.log(`  lines ${s.lines}, dropped by !#if ${l.prunedLines}${l.includes.length ? `, !#include ${l.includes.join(' ')}` : ''}`);
        console.log(`  not for the network engine: comments ${s.comments}, cosmetic ${s.cosmetic}, scriptlet ${s.scriptlet}, html ${s.html}, responseheader ${s.responseheader}, other ${s.otherExtended}`);
        console.log(`  network rules ${s.network}: accepted ${s.accepted} (exceptions ${s.exceptions}, important ${s.important}, badfilter ${s.badfilter}, regex ${s.regex}, RE2 cannot run ${s.re2})`);
        console.log(`  rejected by ubo-core: ${rej}`);
        console.log(`  accepted with options: ${mods}`);
    }
    console.log(`\nengine: ${filterCount} filters after duplicates and $badfilter`);
    console.log(`\n${out}: ${lines.length} requests, ${(gz.length / 1e6).toFixed(2)} MB gzip, ${dropped} dropped`);
    console.log(`blocked ${counts.block} (${(100 * counts.block / lines.length).toFixed(1)}%), allowed ${counts.allow}, redirected ${counts.redirect}, cleaned ${counts.cleaned}, re2-flagged ${counts.re2}`);
    console.log(`resources picked by the order of discovery (tie): ${counts.ties}`);
    const row = (k, c) => `${k.padEnd(17)} ${String(c.block).padStart(6)}  ${String(c.allow).padStart(6)}  ${String(c.redirect).padStart(6)}  ${String(c.cleaned).padStart(6)}`;
    console.log('kind               block   allow  redir.  clean.');
    for (const [k, c] of perKind) { console.log(row(k, c)); }
    console.log('origin             block   allow  redir.  clean.');
    for (const [k, c] of [...perTag].sort()) { console.log(row(k, c)); }
    console.log('rules of               block   allow  redir.  clean.');
    for (const [k, c] of [...perList].sort()) { console.log(row(k.padEnd(22), c)); }
    console.log('resources: ' + [...perResource].sort((x, y) => y[1] - x[1]).map(([k, n]) => `${k} ${n}`).join(', '));
    console.log(`time: lists compiled in ${((tCompiled - t0) / 1000).toFixed(1)} s, loaded twice in ${((tLoad1 - tLoad0) / 1000).toFixed(1)} s, total ${((t1 - t0) / 1000).toFixed(1)} s`);
}

// Run as a program; imported, it only lends its readers (a check of another
// preprocessor environment uses them).
if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
    main().catch(e => { console.error(e); process.exit(1); });
}

export {
    ASSETS_DIR, DEFAULT_ENV, DEFAULT_LISTS, PSL_PATH, answer, compileListText, loadResources,
    makeRedirectEngine, readListAsExtension,
};
