// A small reader for the JavaScript regular expressions filter lists use,
// for two jobs: telling which ones RE2 (Quillow's engine) cannot run, and
// drawing strings an expression matches, so rules written as expressions
// get requests of their own.
//
// Only the syntax the lists use is read (no `u` or `v` flag features); an
// expression outside it throws, and callers treat that as "cannot sample".

const MAX_RE2_REPEAT = 1000; // RE2 refuses counted repetition above this

// Characters a drawn URL may hold: no spaces, no `#` or `%` (fragments and
// escapes would change what the address means), nothing Qt would re-encode.
const URL_SAFE = 'abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._~/?&=+,;:!*@$';
const ALNUM = 'abcdefghijklmnopqrstuvwxyz0123456789';
const DIGITS = '0123456789';
const WORD = 'abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_';

class Reader {
    constructor(src) {
        this.src = src;
        this.i = 0;
        this.groups = 0;
    }
    peek(n = 0) { return this.src[this.i + n]; }
    eat(s) {
        if (this.src.startsWith(s, this.i)) { this.i += s.length; return true; }
        return false;
    }
    fail(msg) { throw new Error(`${msg} at ${this.i} in /${this.src}/`); }
}

// AST nodes: {t:'alt', alts:[seq]}, {t:'seq', items:[node]},
// {t:'char', set:[...] , not:bool} (one character from a set),
// {t:'lit', c}, {t:'group', kind:'cap'|'nocap'|'ahead'|'behind'|'named', body, index},
// {t:'rep', node, min, max, lazy}, {t:'assert', what:'^'|'$'|'\\b'|'\\B'},
// {t:'backref', index|name}
export function parseRegex(src) {
    const r = new Reader(src);
    const ast = parseAlt(r);
    if (r.i !== src.length) { r.fail('unexpected )'); }
    return { ast, groups: r.groups, problems: r.problems || [] };
}

function problem(r, what) {
    (r.problems ||= []).push(what);
}

function parseAlt(r) {
    const alts = [parseSeq(r)];
    while (r.peek() === '|') { r.i++; alts.push(parseSeq(r)); }
    return alts.length === 1 ? alts[0] : { t: 'alt', alts };
}

function parseSeq(r) {
    const items = [];
    while (r.i < r.src.length && r.peek() !== '|' && r.peek() !== ')') {
        let atom = parseAtom(r);
        atom = parseQuantifier(r, atom);
        items.push(atom);
    }
    return { t: 'seq', items };
}

function parseQuantifier(r, atom) {
    for (;;) {
        const c = r.peek();
        let min, max;
        if (c === '*') {
            min = 0; max = Infinity; r.i++;
        } else if (c === '+') {
            min = 1; max = Infinity; r.i++;
        } else if (c === '?') {
            min = 0; max = 1; r.i++;
        } else if (c === '{') {
            const m = /^\{(\d+)(,(\d*))?\}/.exec(r.src.slice(r.i));
            if (!m) { return atom; } // a literal `{`, as JavaScript reads it
            r.i += m[0].length;
            min = +m[1];
            max = m[2] === undefined ? min : (m[3] === '' ? Infinity : +m[3]);
            if (min > MAX_RE2_REPEAT || (max !== Infinity && max > MAX_RE2_REPEAT)) {
                problem(r, 'repeat>1000');
            }
        } else {
            return atom;
        }
        const lazy = r.eat('?');
        if (atom.t === 'assert' || (atom.t === 'group' && atom.kind !== 'cap' && atom.kind !== 'nocap' && atom.kind !== 'named')) {
            // A quantified assertion: JavaScript allows it, RE2 does not.
            problem(r, 'quantified-assertion');
        }
        atom = { t: 'rep', node: atom, min, max, lazy };
    }
}

function parseAtom(r) {
    const c = r.peek();
    if (c === '(') {
        r.i++;
        let kind = 'cap';
        let name;
        if (r.eat('?:')) {
            kind = 'nocap';
        } else if (r.eat('?=') || r.eat('?!')) {
            kind = 'ahead';
            problem(r, 'lookahead');
        } else if (r.eat('?<=') || r.eat('?<!')) {
            kind = 'behind';
            problem(r, 'lookbehind');
        } else if (r.eat('?<')) {
            const m = /^([A-Za-z_$][\w$]*)>/.exec(r.src.slice(r.i));
            if (!m) { r.fail('bad group name'); }
            r.i += m[0].length;
            kind = 'named';
            name = m[1];
            // RE2 of Debian 12 (2022-06) reads only (?P<name>...).
            problem(r, 'named-group');
        } else if (r.peek() === '?') {
            r.fail('unknown group');
        }
        const index = kind === 'cap' || kind === 'named' ? ++r.groups : 0;
        const body = parseAlt(r);
        if (!r.eat(')')) { r.fail('missing )'); }
        return { t: 'group', kind, body, index, name };
    }
    if (c === '[') { return parseClass(r); }
    if (c === '.') { r.i++; return { t: 'char', set: [...ALNUM], any: true }; }
    if (c === '^' || c === '$') { r.i++; return { t: 'assert', what: c }; }
    if (c === '\\') { return parseEscape(r, false); }
    if (c === '*' || c === '+' || c === '?') { r.fail('nothing to repeat'); }
    r.i++;
    return { t: 'lit', c };
}

// One escape, outside a class (`inClass` false) or inside one.
function parseEscape(r, inClass) {
    r.i++; // backslash
    const c = r.peek();
    if (c === undefined) { r.fail('trailing backslash'); }
    r.i++;
    switch (c) {
    case 'd': return { t: 'char', set: [...DIGITS] };
    case 'D': return { t: 'char', set: [...DIGITS], not: true };
    case 'w': return { t: 'char', set: [...WORD] };
    case 'W': return { t: 'char', set: [...WORD], not: true };
    case 's': return { t: 'char', set: [' ', '\t', '\n', '\r', '\f', '\v'] };
    case 'S': return { t: 'char', set: [' ', '\t', '\n', '\r', '\f', '\v'], not: true };
    case 'b':
        if (inClass) { problem(r, 'class-backspace'); return { t: 'lit', c: '\b' }; }
        return { t: 'assert', what: '\\b' };
    case 'B': return { t: 'assert', what: '\\B' };
    case 'n': return { t: 'lit', c: '\n' };
    case 'r': return { t: 'lit', c: '\r' };
    case 't': return { t: 'lit', c: '\t' };
    case 'f': return { t: 'lit', c: '\f' };
    case 'v': return { t: 'lit', c: '\v' };
    case '0': return { t: 'lit', c: '\0' };
    case 'x': {
        const m = /^[0-9a-fA-F]{2}/.exec(r.src.slice(r.i));
        if (!m) { problem(r, 'bad-escape'); return { t: 'lit', c: 'x' }; }
        r.i += 2;
        return { t: 'lit', c: String.fromCharCode(parseInt(m[0], 16)) };
    }
    case 'u': {
        const m = /^[0-9a-fA-F]{4}/.exec(r.src.slice(r.i));
        problem(r, 'unicode-escape'); // RE2 spells it \x{...}
        if (!m) { return { t: 'lit', c: 'u' }; }
        r.i += 4;
        return { t: 'lit', c: String.fromCharCode(parseInt(m[0], 16)) };
    }
    case 'c': problem(r, 'control-escape'); return { t: 'lit', c: 'c' };
    case 'k':
        if (!inClass && r.peek() === '<') {
            const m = /^<([A-Za-z_$][\w$]*)>/.exec(r.src.slice(r.i));
            if (m) { r.i += m[0].length; problem(r, 'backreference'); return { t: 'backref', name: m[1] }; }
        }
        problem(r, 'bad-escape');
        return { t: 'lit', c: 'k' };
    default:
        break;
    }
    if (c >= '1' && c <= '9') {
        if (inClass) { problem(r, 'bad-escape'); return { t: 'lit', c }; }
        let digits = c;
        while (/[0-9]/.test(r.peek() || '')) { digits += r.peek(); r.i++; }
        problem(r, 'backreference');
        return { t: 'backref', index: +digits };
    }
    // JavaScript reads any other escaped character as itself; RE2 only
    // punctuation (an escaped letter, digit or `_` is an error there).
    if (/[A-Za-z0-9_]/.test(c)) { problem(r, 'bad-escape'); }
    return { t: 'lit', c };
}

function parseClass(r) {
    r.i++; // [
    const not = r.eat('^');
    const set = new Set();
    const single = () => {
        if (r.peek() === '\\') { return parseEscape(r, true); }
        const c = r.peek();
        if (c === undefined) { r.fail('missing ]'); }
        r.i++;
        return { t: 'lit', c };
    };
    while (r.peek() !== "]") {
        if (r.i >= r.src.length) { r.fail('missing ]'); }
        const a = single();
        if (a.t === 'char') {
            const members = a.not ? [...URL_SAFE].filter(x => !a.set.includes(x)) : a.set;
            for (const x of members) { set.add(x); }
            continue;
        }
        if (r.peek() === '-' && r.peek(1) !== ']' && r.peek(1) !== undefined) {
            r.i++;
            const b = single();
            if (b.t !== 'lit') { set.add(a.c); set.add('-'); for (const x of b.set) { set.add(x); } continue; }
            const lo = a.c.charCodeAt(0), hi = b.c.charCodeAt(0);
            if (hi < lo) { r.fail('bad range'); }
            for (let k = lo; k <= hi; k++) { set.add(String.fromCharCode(k)); }
            continue;
        }
        set.add(a.c);
    }
    r.i++; // ]
    // `[]` and `[^]`: "nothing" and "anything" to JavaScript, errors to RE2.
    if (set.size === 0) { problem(r, 'empty-class'); }
    return { t: 'char', set: [...set], not };
}

// What keeps RE2 from running this JavaScript expression as it is; empty
// when nothing does. Throws when the expression is outside what is read.
export function re2Problems(src) {
    return [...new Set(parseRegex(src).problems)];
}

// ------------------------------------------------------------- sampling

// A string the expression may match, drawn with `rng`; repetitions are
// kept short. Assertions produce nothing, so the caller checks the result
// against the real expression.
export function sampleRegex(parsed, rng) {
    const captures = [];
    const names = new Map();
    const pickChar = node => {
        let pool;
        if (node.not) {
            pool = [...URL_SAFE].filter(x => !node.set.includes(x) && !node.set.includes(x.toLowerCase()));
        } else {
            pool = node.set.filter(x => URL_SAFE.includes(x));
            if (pool.length === 0) { pool = node.set; }
        }
        if (pool.length === 0) { return ''; }
        // Letters and digits first: they survive as URL text everywhere.
        const plain = pool.filter(x => /[a-z0-9]/i.test(x));
        if (plain.length !== 0 && rng.chance(0.85)) { return rng.pick(plain); }
        return rng.pick(pool);
    };
    const gen = node => {
        switch (node.t) {
        case 'alt': return gen(rng.pick(node.alts));
        case 'seq': return node.items.map(gen).join('');
        case 'lit': return node.c;
        case 'char': return pickChar(node);
        case 'assert': return '';
        case 'backref': return node.name !== undefined ? (names.get(node.name) || '') : (captures[node.index] || '');
        case 'group': {
            if (node.kind !== 'cap' && node.kind !== 'nocap' && node.kind !== 'named') { return ''; }
            const s = gen(node.body);
            if (node.index) { captures[node.index] = s; }
            if (node.name) { names.set(node.name, s); }
            return s;
        }
        case 'rep': {
            const hi = node.max === Infinity ? node.min + 3 : Math.min(node.max, node.min + 3);
            const n = node.min + rng.int(hi - node.min + 1);
            let s = '';
            for (let k = 0; k < n; k++) { s += gen(node.node); }
            return s;
        }
        default: throw new Error(`unknown node ${node.t}`);
        }
    };
    return gen(parsed.ast);
}
