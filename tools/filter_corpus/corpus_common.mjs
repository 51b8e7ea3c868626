// What the corpus tools share: a fixed-seed PRNG, made-up sites and paths,
// Adblock Plus option reading and URLs synthesised from rule patterns.
//
// Every function draws from the one PRNG below, in call order, so a tool
// that seeds it once and calls these in a fixed order writes the same bytes
// on every run.

// --------------------------------------------------------------------- PRNG

// xoshiro128** seeded through splitmix32: small, fast and identical on
// every platform, unlike Math.random().
function makeRng(seed) {
    let s = seed >>> 0;
    const split = () => {
        s = (s + 0x9e3779b9) >>> 0;
        let z = s;
        z = Math.imul(z ^ (z >>> 16), 0x85ebca6b) >>> 0;
        z = Math.imul(z ^ (z >>> 13), 0xc2b2ae35) >>> 0;
        return (z ^ (z >>> 16)) >>> 0;
    };
    const st = [split(), split(), split(), split()];
    const rotl = (x, k) => ((x << k) | (x >>> (32 - k))) >>> 0;
    const next = () => {
        const result = Math.imul(rotl(Math.imul(st[1], 5) >>> 0, 7), 9) >>> 0;
        const t = (st[1] << 9) >>> 0;
        st[2] ^= st[0]; st[3] ^= st[1]; st[1] ^= st[2]; st[0] ^= st[3];
        st[2] ^= t; st[3] = rotl(st[3], 11);
        return result;
    };
    const rng = {
        u32: next,
        float: () => next() / 4294967296,
        int: n => Math.floor((next() / 4294967296) * n),
        chance: p => next() / 4294967296 < p,
        pick: arr => arr[Math.floor((next() / 4294967296) * arr.length)],
        shuffle(arr) {
            for (let i = arr.length - 1; i > 0; i--) {
                const j = rng.int(i + 1);
                const t = arr[i]; arr[i] = arr[j]; arr[j] = t;
            }
            return arr;
        },
    };
    return rng;
}

let current = makeRng(0x5157_4c4f); // "QWLO"

// One shared generator: the helpers below draw from it, and each tool seeds
// it once before drawing.
export const rng = {
    u32: () => current.u32(),
    float: () => current.float(),
    int: n => current.int(n),
    chance: p => current.chance(p),
    pick: arr => current.pick(arr),
    shuffle: arr => current.shuffle(arr),
};

export function seedRng(seed) {
    current = makeRng(seed);
}

// ------------------------------------------------------------ vocabularies

export const KINDS = ['document', 'subdocument', 'script', 'image', 'stylesheet',
    'xmlhttprequest', 'object', 'font', 'media', 'websocket', 'ping', 'other', 'popup'];

// Adblock Plus kind -> uBO request type.
export const UBO_TYPE = {
    document: 'main_frame', subdocument: 'sub_frame', popup: 'popup',
    script: 'script', image: 'image', stylesheet: 'stylesheet',
    xmlhttprequest: 'xmlhttprequest', object: 'object', font: 'font',
    media: 'media', websocket: 'websocket', ping: 'ping', other: 'other',
};

// Option spellings in the lists -> kind. Only kinds we emit are listed.
export const OPTION_KIND = {
    document: 'document', doc: 'document', subdocument: 'subdocument', frame: 'subdocument',
    script: 'script', image: 'image', stylesheet: 'stylesheet', css: 'stylesheet',
    xmlhttprequest: 'xmlhttprequest', xhr: 'xmlhttprequest', object: 'object',
    'object-subrequest': 'object', font: 'font', media: 'media', websocket: 'websocket',
    ping: 'ping', beacon: 'ping', other: 'other', popup: 'popup',
};

// Kinds a filter without type options is tried with; weighted like a page load.
export const COMMON_KINDS = ['script', 'script', 'script', 'image', 'image', 'image',
    'xmlhttprequest', 'xmlhttprequest', 'subdocument', 'subdocument', 'stylesheet',
    'ping', 'media', 'font', 'object', 'other', 'websocket'];
export const NETWORK_KINDS = KINDS.filter(k => k !== 'document' && k !== 'popup');

export const WORDS = ['news', 'daily', 'river', 'maple', 'quartz', 'harbor', 'pixel', 'garden',
    'summit', 'falcon', 'orbit', 'cedar', 'lumen', 'atlas', 'meadow', 'civic', 'vector',
    'nimbus', 'copper', 'tundra', 'willow', 'beacon', 'prairie', 'sable', 'zephyr',
    'kitchen', 'travel', 'market', 'sports', 'weather', 'recipes', 'library', 'museum',
    'bakery', 'studio', 'forum', 'wiki', 'journal', 'gazette', 'chronicle', 'review',
    'planet', 'ocean', 'granite', 'velvet', 'hollow', 'ember', 'crane', 'otter', 'lynx'];
export const TLDS = ['com', 'com', 'com', 'org', 'net', 'de', 'fr', 'io', 'co.uk', 'co.uk',
    'com.au', 'co.jp', 'com.br', 'nl', 'it', 'es', 'ca', 'org.uk', 'co.nz', 'info',
    'se', 'pl', 'ch', 'com.mx', 'co.za', 'edu', 'gov.uk', 'ac.uk', 'net.au', 'be'];
export const SUBS = ['www', 'www', 'www', 'm', 'news', 'blog', 'shop', 'en', 'app', 'beta',
    'forum', 'static', 'media', 'de', 'uk', 'my', 'portal'];
export const PATH_WORDS = ['article', 'story', 'world', 'local', 'tech', 'video', 'photos',
    'opinion', 'health', 'science', 'reviews', 'guide', 'products', 'item', 'page',
    'section', 'category', 'archive', 'help', 'about', 'search', 'user', 'profile'];
export const EXT_FOR_KIND = {
    script: ['js', 'js', 'min.js', 'mjs'], image: ['png', 'jpg', 'gif', 'webp', 'svg'],
    stylesheet: ['css', 'min.css'], font: ['woff2', 'woff', 'ttf'],
    media: ['mp4', 'webm', 'mp3', 'm3u8'], object: ['swf'], subdocument: ['html', 'htm'],
    document: ['html', ''], popup: ['html', ''], xmlhttprequest: ['json', ''],
    websocket: [''], ping: [''], other: ['txt', 'bin', ''],
};
// Third-party hosts ordinary pages load from; filtered against the lists below.
export const CDN_HOSTS = ['fonts.googleapis.com', 'fonts.gstatic.com', 'code.jquery.com',
    'cdnjs.cloudflare.com', 'cdn.jsdelivr.net', 'unpkg.com', 'ajax.googleapis.com',
    'upload.wikimedia.org', 'stackpath.bootstrapcdn.com', 'use.fontawesome.com',
    'maxcdn.bootstrapcdn.com', 'cdn.tailwindcss.com', 'i.ytimg.com', 'images.unsplash.com',
    'cdn.shopify.com', 'assets.github.com', 'avatars.githubusercontent.com',
    'raw.githubusercontent.com', 'polyfill-fastly.io', 'static.cloudflareinsights.org'];

export const word = () => rng.pick(WORDS);
export const token = (n = 0) => {
    const len = n || 3 + rng.int(8);
    const abc = 'abcdefghijklmnopqrstuvwxyz0123456789';
    let s = '';
    for (let i = 0; i < len; i++) { s += abc[rng.int(i === 0 ? 26 : abc.length)]; }
    return s;
};
export const siteDomain = () => (rng.chance(0.5) ? `${word()}-${word()}` : `${word()}${word()}`)
    + '.' + rng.pick(TLDS);
export const withSub = d => (rng.chance(0.7) ? `${rng.pick(SUBS)}.${d}` : d);
export const scheme = () => (rng.chance(0.85) ? 'https' : 'http');
export const port = () => (rng.chance(0.04) ? `:${rng.pick([8080, 8443, 3000, 81, 8000])}` : '');

export function randomPath(kind) {
    const depth = rng.int(4);
    const parts = [];
    for (let i = 0; i < depth; i++) {
        parts.push(rng.chance(0.2) ? String(2000 + rng.int(26)) : rng.pick(PATH_WORDS));
    }
    const ext = rng.pick(EXT_FOR_KIND[kind] || ['']);
    const name = rng.chance(0.5) ? `${rng.pick(PATH_WORDS)}-${token()}` : token();
    parts.push(ext ? `${name}.${ext}` : name);
    let p = '/' + parts.join('/');
    if (rng.chance(0.3)) { p += `?${rng.pick(['id', 'v', 'page', 'ref', 'q', 'lang'])}=${token()}`; }
    if (rng.chance(0.1)) { p += `&${rng.pick(['utm_source', 'sort', 'size', 'cb'])}=${token()}`; }
    if (rng.chance(0.08)) { p = p.replace(/[a-z]{3,}/, m => m.toUpperCase()); }
    return p;
}

export function pageUrlFor(host) {
    return `${scheme()}://${host}${rng.chance(0.25) ? '/' : randomPath('document')}`;
}

// Registrable-domain approximation; good enough to pick first/third party
// pages. The verdict itself comes from uBO with its own public suffix list.
export const MULTI_SUFFIX = new Set(['co.uk', 'org.uk', 'gov.uk', 'ac.uk', 'com.au', 'net.au',
    'co.jp', 'com.br', 'co.nz', 'com.mx', 'co.za', 'com.tr', 'co.in', 'com.cn', 'co.kr',
    'com.ar', 'com.sg', 'com.tw', 'ne.jp', 'or.jp', 'com.pl', 'com.ua', 'co.il', 'com.vn']);
export function domainOf(host) {
    const labels = host.split('.');
    if (labels.length <= 2) { return host; }
    const last2 = labels.slice(-2).join('.');
    return MULTI_SUFFIX.has(last2) ? labels.slice(-3).join('.') : last2;
}

// ------------------------------------------------------------ list parsing

export const OPTION_NAME_RE = /^~?[a-z][a-z0-9_-]*(=|,|$)/i;

export function splitOptions(body) {
    // Regex filters: the options follow the closing slash.
    if (body.startsWith('/')) {
        const m = /^(\/.+\/)(?:\$(.*))?$/.exec(body);
        if (m && /[\\^$()[\]|?+{}]/.test(m[1])) {
            return { pattern: m[1], options: m[2] ?? '', regex: true };
        }
    }
    const i = body.lastIndexOf('$');
    if (i >= 0 && OPTION_NAME_RE.test(body.slice(i + 1))) {
        return { pattern: body.slice(0, i), options: body.slice(i + 1), regex: false };
    }
    return { pattern: body, options: '', regex: false };
}

export function parseOptions(text) {
    const o = {
        kinds: new Set(), notKinds: new Set(), party: 0, include: [], exclude: [],
        matchCase: false, modifier: null, raw: text,
    };
    if (text === '') { return o; }
    // Commas can appear inside csp= values; those filters are only labelled.
    for (const opt of text.split(',')) {
        const neg = opt.startsWith('~');
        const [name0, value] = opt.replace(/^~/, '').split(/=(.*)/s);
        const name = name0.toLowerCase();
        if (OPTION_KIND[name]) {
            (neg ? o.notKinds : o.kinds).add(OPTION_KIND[name]);
        } else if (name === 'all') {
            for (const k of KINDS) { o.kinds.add(k); }
        } else if (name === 'third-party' || name === '3p') {
            o.party = neg ? 1 : 3;
        } else if (name === 'first-party' || name === '1p') {
            o.party = neg ? 3 : 1;
        } else if (name === 'domain' || name === 'from') {
            for (const d of (value || '').split('|')) {
                if (d === '') { continue; }
                if (d.startsWith('~')) { o.exclude.push(d.slice(1)); } else { o.include.push(d); }
            }
        } else if (name === 'match-case') {
            o.matchCase = true;
        } else if (['csp', 'removeparam', 'redirect-rule', 'permissions', 'urlskip',
            'replace', 'header', 'uritransform', 'urltransform'].includes(name)) {
            o.modifier = name;
        }
    }
    return o;
}

export function parseLists(texts) {
    const rules = [];
    for (const text of texts) {
        for (let line of text.split(/\r?\n/)) {
            line = line.trim();
            if (line === '' || line.startsWith('!') || line.startsWith('[')) { continue; }
            if (/#[@?$%]?#|#\+js|\$\$|#@\$#/.test(line)) { continue; }
            const exception = line.startsWith('@@');
            const body = exception ? line.slice(2) : line;
            const { pattern, options, regex } = splitOptions(body);
            rules.push({ line, exception, pattern, regex, opts: parseOptions(options) });
        }
    }
    return rules;
}

// ---------------------------------------------------------- URL synthesis

export const HOST_CHARS_RE = /^[a-z0-9.-]+$/i;
export const SEPARATORS = ['/', '/', '/', '?', '&', '=', ':'];

// Fills a pattern fragment: `*` becomes a short token, `^` a separator.
export function expand(frag, inHost) {
    let s = '';
    for (const c of frag) {
        if (c === '*') { s += inHost ? token(4) : (rng.chance(0.3) ? '' : token()); } else if (c === '^') { s += inHost ? '/' : rng.pick(SEPARATORS); } else { s += c; }
    }
    return s;
}

export function urlFromPattern(pattern, kind) {
    let p = pattern;
    let endAnchor = false;
    if (p.endsWith('|') && !p.endsWith('\\|')) { endAnchor = true; p = p.slice(0, -1); }
    const tail = () => {
        if (endAnchor) { return ''; }
        return rng.chance(0.5) ? randomPath(kind).slice(rng.int(2) === 0 ? 0 : 1) : '';
    };
    // Appends a tail without doubling the slash a `^` already produced.
    const join = (url, t) => (url.endsWith('/') && t.startsWith('/') ? url + t.slice(1) : url + t);

    if (p.startsWith('||')) {
        p = p.slice(2);
        const m = /^[^/^*?:|]*/.exec(p);
        let host = m[0];
        let rest = p.slice(host.length);
        if (host === '' || host.startsWith('.')) { host = siteDomain() + host; }
        if (host.endsWith('.')) {
            // `||ads.` style: the pattern continues into the host.
            host += rest.startsWith('*') ? '' : rng.pick(['com', 'net', 'org']);
        } else if (!host.includes('.')) {
            host += rest.startsWith('*') ? '' : '.' + rng.pick(['com', 'net', 'org']);
        }
        let after = expand(rest, false);
        if (rest.startsWith('*')) {
            // The wildcard may swallow the rest of the host.
            const dot = host.endsWith('.') ? '' : '.';
            after = `${dot}${rng.pick(['com', 'net'])}/${token()}` + expand(rest.slice(1), false);
        } else if (rest.startsWith('^') || rest === '') {
            after = port() + '/' + (rest === '' ? '' : expand(rest.slice(1), false));
        } else if (rest.startsWith(':')) {
            after = expand(rest, false);
        }
        let url = `${scheme()}://${host.toLowerCase()}${after}`;
        if (!/^[a-z]+:\/\/[^/?#]+[/?#]/.test(url)) { url += '/'; }
        return join(url, tail());
    }

    if (p.startsWith('|')) {
        p = p.slice(1);
        let url = expand(p, false);
        if (!/^[a-z]+:/i.test(url)) { url = `${scheme()}://${siteDomain()}/${url}`; }
        if (/^[a-z-]+:\/\/$/i.test(url) || /^https?:\/\/[^/?#]+$/.test(url)) {
            url += (url.endsWith('//') ? siteDomain() : '') + '/';
        }
        return join(url, tail());
    }

    // Unanchored.
    const host = withSub(siteDomain());
    const mid = expand(p, false);
    if (HOST_CHARS_RE.test(p) && p.includes('.') && /[a-z]$/i.test(p) && rng.chance(0.6)) {
        // Hostname-looking plain filter: place it as a host.
        return `${scheme()}://${p.toLowerCase().replace(/^\.+/, '')}${port()}${randomPath(kind)}`;
    }
    let base = `${scheme()}://${host}${port()}`;
    if (mid.startsWith('/')) {
        const pre = rng.chance(0.5) ? '/' + rng.pick(PATH_WORDS) : '';
        return join(base + pre + mid, tail());
    }
    if (mid.startsWith('?') || mid.startsWith('&')) {
        const pre = `/${rng.pick(PATH_WORDS)}/${token()}.${rng.pick(['js', 'php', 'gif', ''])}`;
        const q = mid.startsWith('&') ? `?${rng.pick(['id', 'v', 'cb'])}=${token()}` : '';
        return base + pre + q + mid + (endAnchor ? '' : (rng.chance(0.5) ? token() : ''));
    }
    if (mid.startsWith('.') && /^\.[a-z0-9-]+\.[a-z]{2,}/i.test(mid)) {
        // `.adserver.com/` style suffix of a host.
        return join(`${scheme()}://${token()}${mid}`, tail());
    }
    const sep = /^[a-z0-9]/i.test(mid) ? rng.pick(['/', '/', '/x', '-', '_']) : '';
    return join(base + `/${rng.pick(PATH_WORDS)}${sep}` + mid, tail());
}

// A copy of `url` with one literal character of the pattern changed.
export function nearMiss(url, pattern) {
    const lits = pattern.replace(/^\|\|?|\|$/g, '').split(/[*^|]/).filter(s => /[a-z0-9]{3,}/i.test(s));
    if (lits.length === 0) { return null; }
    const lit = lits.sort((a, b) => b.length - a.length)[0];
    const at = url.toLowerCase().indexOf(lit.toLowerCase());
    if (at < 0) { return null; }
    const positions = [];
    for (let i = 0; i < lit.length; i++) { if (/[a-z0-9]/i.test(lit[i])) { positions.push(i); } }
    const i = at + rng.pick(positions);
    const c = url[i];
    let r;
    switch (rng.int(3)) {
    case 0: r = ''; break; // drop
    case 1: r = c + rng.pick(['x', 'q', '0']); break; // insert
    default: r = /[0-9]/.test(c) ? String((+c + 1) % 10) : (c.toLowerCase() === 'z' ? 'y' : String.fromCharCode(c.toLowerCase().charCodeAt(0) + 1));
    }
    return url.slice(0, i) + r + url.slice(i + 1);
}

export function upperPath(url) {
    const m = /^([a-z]+:\/\/[^/?#]+)(.*)$/i.exec(url);
    if (!m) { return url.toUpperCase(); }
    return m[1] + m[2].toUpperCase();
}

// Entity domains (`google.*`) need a concrete suffix.
export function concreteDomain(d) {
    let h = d.endsWith('.*') ? d.slice(0, -1) + rng.pick(['com', 'de', 'co.uk', 'fr', 'com.au']) : d;
    h = h.replace(/\*/g, token(4));
    return h.toLowerCase();
}

export function pageHostFor(opts, requestHost, wantThird) {
    if (opts.include.length !== 0) {
        const d = concreteDomain(rng.pick(opts.include));
        return rng.chance(0.3) ? `${rng.pick(SUBS)}.${d}` : d;
    }
    if (wantThird === false && requestHost) {
        return rng.chance(0.5) ? requestHost : `www.${domainOf(requestHost)}`;
    }
    return withSub(siteDomain());
}

export function hostOf(url) {
    const m = /^[a-z][a-z0-9+.-]*:\/\/([^/?#:]+)/i.exec(url);
    return m ? m[1].toLowerCase() : '';
}

export function pickKind(opts, rule) {
    if (opts.kinds.size !== 0) {
        const ks = [...opts.kinds].filter(k => !opts.notKinds.has(k));
        if (ks.length !== 0) { return rng.pick(ks); }
    }
    if (opts.notKinds.size !== 0) {
        const ks = COMMON_KINDS.filter(k => !opts.notKinds.has(k));
        if (ks.length !== 0) { return rng.pick(ks); }
    }
    if (rule && rule.exception && rng.chance(0.05)) { return 'document'; }
    return rng.pick(COMMON_KINDS);
}

// Requests derived from one rule: the matching case and its variants.
export function requestsForRule(rule, out) {
    const { opts } = rule;
    const push = (kind, page, url, tag) => out.push({ kind, page, url, tag });

    if (rule.regex) {
        // Regex sources are not synthesised; a random URL on a throwaway
        // domain of the kind such rules target stands in for them.
        const kind = pickKind(opts, rule);
        const host = `${token()}.${rng.pick(['club', 'xyz', 'top', 'casa', 'com', 'net'])}`;
        const url = `${scheme()}://${host}${randomPath(kind)}`;
        push(kind, pageUrlFor(pageHostFor(opts, host, true)), url, 'regex');
        return;
    }
    if (rule.pattern === '' && opts.include.length === 0) { return; }

    const kind = pickKind(opts, rule);
    const url = urlFromPattern(rule.pattern === '' ? '*' : rule.pattern, kind);
    const reqHost = hostOf(url);
    let third = opts.party === 3 ? true : opts.party === 1 ? false : rng.chance(0.75);
    const pageHost = pageHostFor(opts, reqHost, third);
    const page = pageUrlFor(pageHost);
    push(kind, page, opts.matchCase && rng.chance(0.3) ? url : url, 'match');

    // The opposite party.
    if (opts.party !== 0 || rng.chance(0.1)) {
        const ph = opts.party === 3 || (opts.party === 0 && third)
            ? (rng.chance(0.5) ? reqHost : `www.${domainOf(reqHost)}`)
            : withSub(siteDomain());
        push(kind, pageUrlFor(ph), url, 'party');
    }
    // A kind the options leave out.
    if (opts.kinds.size !== 0 || opts.notKinds.size !== 0) {
        const excluded = opts.notKinds.size !== 0
            ? [...opts.notKinds]
            : NETWORK_KINDS.concat(['document', 'popup']).filter(k => !opts.kinds.has(k));
        if (excluded.length !== 0) { push(rng.pick(excluded), page, url, 'kind'); }
    } else if (rng.chance(0.12)) {
        // Untyped filters against document and popup requests.
        push(rng.pick(['document', 'popup']), page, url, 'kind');
    }
    // Pages inside and outside the domain= list.
    if (opts.exclude.length !== 0) {
        const d = concreteDomain(rng.pick(opts.exclude));
        push(kind, pageUrlFor(rng.chance(0.3) ? `${rng.pick(SUBS)}.${d}` : d), url, 'notdomain');
    }
    if (opts.include.length !== 0 && rng.chance(0.5)) {
        push(kind, pageUrlFor(withSub(siteDomain())), url, 'outside');
    }
    // Subdomain of a host-anchored pattern.
    if (rule.pattern.startsWith('||') && rng.chance(0.4)) {
        const sub = url.replace(/^([a-z]+:\/\/)/, `$1${rng.pick(['cdn', 'www', 'img', 'a1', 'static'])}.`);
        push(kind, page, sub, 'subdomain');
        // A host that only ends with the same characters.
        if (rng.chance(0.3)) {
            push(kind, page, url.replace(/^([a-z]+:\/\/)/, `$1${rng.pick(['my', 'x', 'not'])}`), 'hostsuffix');
        }
    }
    // Near miss on the pattern's literal text.
    if (rng.chance(rule.exception ? 0.15 : 0.3)) {
        const nm = nearMiss(url, rule.pattern);
        if (nm && nm !== url) { push(kind, page, nm, 'nearmiss'); }
    }
    // Case: uppercase path, for match-case filters always.
    if (opts.matchCase || rng.chance(0.04)) {
        const up = upperPath(url);
        if (up !== url) { push(kind, page, up, 'case'); }
    }
}

// Ordinary first-party (and CDN) traffic of a made-up site.
export function ordinaryRequests(n, cdnHosts, out) {
    const FIRST_PARTY = [
        ['script', () => `/static/${rng.pick(['app', 'main', 'vendor', 'runtime', 'bundle'])}.${token(8)}.js`],
        ['script', () => `/assets/js/${rng.pick(['menu', 'search', 'gallery', 'comments'])}.js?v=${1 + rng.int(40)}`],
        ['stylesheet', () => `/static/css/${rng.pick(['site', 'main', 'print', 'theme'])}.css`],
        ['image', () => `/img/${rng.pick(PATH_WORDS)}/${token()}.${rng.pick(['png', 'jpg', 'webp', 'svg'])}`],
        ['image', () => `/uploads/${2015 + rng.int(11)}/${1 + rng.int(12)}/${rng.pick(PATH_WORDS)}-${token()}.jpg`],
        ['image', () => '/favicon.ico'],
        ['xmlhttprequest', () => `/api/v${1 + rng.int(3)}/${rng.pick(['items', 'users', 'comments', 'search', 'weather', 'cart'])}?page=${rng.int(20)}`],
        ['xmlhttprequest', () => `/graphql?op=${rng.pick(['Feed', 'Story', 'Menu'])}`],
        ['font', () => `/fonts/${rng.pick(['inter', 'roboto', 'merriweather', 'sourcesans'])}-${rng.pick(['regular', 'bold', 'italic'])}.woff2`],
        ['media', () => `/media/${token()}.${rng.pick(['mp4', 'webm', 'mp3'])}`],
        ['subdocument', () => `/embed/${rng.pick(['map', 'video', 'poll'])}/${token()}`],
        ['document', () => randomPath('document')],
        ['websocket', () => '/socket'],
        ['other', () => `/manifest.${rng.pick(['json', 'webmanifest'])}`],
        ['object', () => `/legacy/${token()}.swf`],
        ['popup', () => `/share?url=${token()}`],
        ['ping', () => `/${rng.pick(['track', 'log', 'api/metrics'])}`],
    ];
    const CDN = [
        ['font', h => `https://${h}/s/${rng.pick(['roboto', 'opensans', 'lato'])}/v${20 + rng.int(20)}/${token(12)}.woff2`],
        ['stylesheet', h => `https://${h}/css2?family=${rng.pick(['Roboto', 'Open+Sans', 'Lato'])}:wght@400;700&display=swap`],
        ['script', h => `https://${h}/${rng.pick(['jquery', 'npm/vue', 'ajax/libs/lodash.js', 'npm/bootstrap'])}@${1 + rng.int(4)}.${rng.int(10)}.${rng.int(10)}/dist/${rng.pick(['jquery', 'vue', 'lodash', 'bootstrap'])}.min.js`],
        ['image', h => `https://${h}/${token()}/${token(10)}.${rng.pick(['jpg', 'png'])}`],
    ];
    for (let i = 0; i < n; i++) {
        const site = siteDomain();
        const pageHost = withSub(site);
        const page = pageUrlFor(pageHost);
        if (rng.chance(0.12) && cdnHosts.length !== 0) {
            const [kind, f] = rng.pick(CDN);
            out.push({ kind, page, url: f(rng.pick(cdnHosts)), tag: 'cdn' });
            continue;
        }
        const [kind, f] = rng.pick(FIRST_PARTY);
        let host = pageHost;
        if (rng.chance(0.2)) { host = `${rng.pick(['cdn', 'static', 'img', 'assets', 'media'])}.${site}`; }
        const sch = kind === 'websocket' ? (rng.chance(0.8) ? 'wss' : 'ws') : scheme();
        let url = `${sch}://${host}${rng.chance(0.03) ? port() : ''}${f()}`;
        if (rng.chance(0.05)) { url = upperPath(url); }
        out.push({ kind, page, url, tag: 'ordinary' });
    }
}

// Tabs, line breaks and spaces cannot travel in a TSV field.
export function clean(s) {
    return s.replace(/[\t\r\n\s]/g, '');
}
