#!/usr/bin/env node
// Builds a corpus of (page, request, kind) triples from EasyList/EasyPrivacy
// and labels each one with uBlock Origin's verdict, so Quillow's filter
// engine can be measured against a reference implementation.
//
//   node make_corpus.mjs [easylist.txt easyprivacy.txt] [-o out.tsv.gz]
//
// Output is deterministic for a given pair of lists: a fixed-seed PRNG drives
// every choice and nothing reads the clock except the printed timing.

import { createHash } from 'node:crypto';
import { readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import { dirname, resolve, basename } from 'node:path';
import { fileURLToPath } from 'node:url';
import { gzipSync } from 'node:zlib';
import { performance } from 'node:perf_hooks';
import { StaticNetFilteringEngine, pslInit } from '@gorhill/ubo-core';

import {
    CDN_HOSTS, KINDS, UBO_TYPE, clean, domainOf, ordinaryRequests, parseLists,
    requestsForRule, rng, seedRng,
} from './corpus_common.mjs';

const TOOL_NAME = 'quillow tools/filter_corpus/make_corpus.mjs';
const UBO_VERSION = '@gorhill/ubo-core 0.1.30';
const LIST_DIR = '/usr/share/chromium/extensions/ublock-origin/assets/thirdparties/easylist';
// The public suffix list uBO itself ships in the same Debian package. The
// serialized list inside ubo-core 0.1.30 fails to load (its buf32 is a
// plain object, not a Uint32Array), which would leave every host its own
// site and break third-party and domain= matching, so it is passed in.
const PSL_PATH = '/usr/share/chromium/extensions/ublock-origin/assets/thirdparties/publicsuffix.org/list/effective_tld_names.dat';
const HERE = dirname(fileURLToPath(import.meta.url));
const REPO_ROOT = resolve(HERE, '..', '..');

const TARGET_TOTAL = 120000;
const ORDINARY_SHARE = 0.28;
const MAX_URL_LEN = 1024;

// ---------------------------------------------------------------- arguments

function parseArgs(argv) {
    const positional = [];
    let out = resolve(REPO_ROOT, 'bench/data/filter_corpus.tsv.gz');
    let psl = PSL_PATH;
    for (let i = 0; i < argv.length; i++) {
        const a = argv[i];
        if (a === '-o' || a === '--output') {
            if (i + 1 >= argv.length) { usage('-o needs a file name'); }
            out = resolve(argv[++i]);
        } else if (a === '--psl') {
            if (i + 1 >= argv.length) { usage('--psl needs a file name'); }
            psl = resolve(argv[++i]);
        } else if (a === '-h' || a === '--help') {
            usage();
        } else {
            positional.push(resolve(a));
        }
    }
    if (positional.length !== 0 && positional.length !== 2) {
        usage('give both lists or neither');
    }
    const lists = positional.length === 2
        ? positional
        : [`${LIST_DIR}/easylist.txt`, `${LIST_DIR}/easyprivacy.txt`];
    return { lists, out, psl };
}

function usage(msg) {
    if (msg) { console.error(`make_corpus: ${msg}`); }
    console.error('usage: node make_corpus.mjs [easylist.txt easyprivacy.txt] [-o out.tsv.gz] [--psl public_suffix_list.dat]');
    process.exit(msg ? 2 : 0);
}

seedRng(0x5157_4c4f); // "QWLO"

// ------------------------------------------------------------------ engine

// uBO keeps $csp, $removeparam, $redirect-rule and the like in a separate
// "modifier" realm that matchRequest() never consults, so such filters can
// neither block nor unblock here. Confirm that before trusting any verdict.
async function selfCheck(snfe) {
    await snfe.useLists([{ name: 'selfcheck', raw: [
        '||csp.invalid^$csp=script-src \'none\'',
        '||rp.invalid^$removeparam=utm_source',
        '||rr.invalid^$redirect-rule=noop.js',
        '||blocked.invalid^',
        '@@||blocked.invalid^$csp',
        '@@||blocked.invalid^$removeparam',
        '||redir.invalid^$redirect=noop.js',
    ].join('\n') }]);
    const m = url => snfe.matchRequest({ originURL: 'https://page.invalid/', url, type: 'script' });
    const checks = [
        [m('https://csp.invalid/a.js'), 0],
        [m('https://rp.invalid/a.js?utm_source=x'), 0],
        [m('https://rr.invalid/a.js'), 0],
        [m('https://blocked.invalid/a.js'), 1],
        [m('https://redir.invalid/a.js'), 1],
    ];
    for (const [got, want] of checks) {
        if (got !== want) { throw new Error(`uBO self-check failed: ${got} != ${want}`); }
    }
}

// ------------------------------------------------------------------- main


async function main() {
    const t0 = performance.now();
    const { lists, out, psl } = parseArgs(process.argv.slice(2));
    const pslRaw = readFileSync(psl);
    const pslSha = createHash('sha256').update(pslRaw).digest('hex');
    const raws = lists.map(p => readFileSync(p));
    const shas = raws.map(b => createHash('sha256').update(b).digest('hex'));
    const texts = raws.map(b => b.toString('utf8'));

    const rules = parseLists(texts);
    const alltext = texts.join('\n');
    const cdnHosts = CDN_HOSTS.filter(h => !alltext.includes(`||${h}`)
        && !alltext.includes(`||${domainOf(h)}^`));

    let ruleReqs = [];
    for (const rule of rules) { requestsForRule(rule, ruleReqs); }
    const wantRule = Math.round(TARGET_TOTAL * (1 - ORDINARY_SHARE));
    if (ruleReqs.length > wantRule) {
        // Thin only the plentiful kinds of request; the rarer variants
        // (party, kind, domain, case, regex) are what an engine gets wrong.
        const plenty = new Set(['match', 'subdomain', 'nearmiss', 'hostsuffix']);
        const rare = ruleReqs.filter(r => !plenty.has(r.tag));
        const common = rng.shuffle(ruleReqs.filter(r => plenty.has(r.tag)));
        ruleReqs = rare.concat(common.slice(0, Math.max(0, wantRule - rare.length)));
    }
    const ordinary = [];
    ordinaryRequests(TARGET_TOTAL - ruleReqs.length, cdnHosts, ordinary);
    const all = rng.shuffle(ruleReqs.concat(ordinary));

    const snfe = await StaticNetFilteringEngine.create({ noPSL: true });
    const suffixes = pslInit(pslRaw.toString('utf8'));
    if (!suffixes || suffixes.getDomain('www.bbc.co.uk') !== 'bbc.co.uk') {
        throw new Error(`public suffix list ${psl} did not load`);
    }
    await selfCheck(snfe);
    await snfe.useLists(lists.map((p, i) => ({ name: basename(p), raw: texts[i] })));
    const tLoaded = performance.now();

    const lines = [];
    const perKind = new Map(KINDS.map(k => [k, { block: 0, allow: 0 }]));
    const perTag = new Map();
    let blocked = 0, allowed = 0, dropped = 0;
    const seen = new Set();
    for (const r of all) {
        const page = clean(r.page), url = clean(r.url);
        if (url.length > MAX_URL_LEN || page.length > MAX_URL_LEN || !/^[a-z]+:\/\/[^/]/i.test(url)) { dropped++; continue; }
        const key = `${r.kind}\t${page}\t${url}`;
        if (seen.has(key)) { dropped++; continue; }
        seen.add(key);
        const v = snfe.matchRequest({ originURL: page, url, type: UBO_TYPE[r.kind] });
        const verdict = v === 1 ? 'block' : 'allow';
        if (v === 1) { blocked++; } else { allowed++; }
        perKind.get(r.kind)[verdict]++;
        const t = perTag.get(r.tag) || { block: 0, allow: 0 };
        t[verdict]++;
        perTag.set(r.tag, t);
        lines.push(`${verdict}\t${r.kind}\t${page}\t${url}`);
    }

    const header = [
        `# ${TOOL_NAME}`,
        `# ${UBO_VERSION}`,
        `# ${basename(lists[0])} sha256 ${shas[0]}`,
        `# ${basename(lists[1])} sha256 ${shas[1]}`,
        `# ${basename(psl)} sha256 ${pslSha}`,
        `# requests ${lines.length}`,
        `# blocked ${blocked}`,
        `# allowed ${allowed}`,
        '# verdict\tkind\tpageUrl\trequestUrl',
    ];
    const gz = gzipSync(header.concat(lines).join('\n') + '\n', { level: 9 });
    mkdirSync(dirname(out), { recursive: true });
    writeFileSync(out, gz);

    const t1 = performance.now();
    console.log(`${out}: ${lines.length} requests, ${(gz.length / 1e6).toFixed(2)} MB gzip`);
    console.log(`rules read ${rules.length}, requests dropped ${dropped}`);
    console.log(`blocked ${blocked} (${(100 * blocked / lines.length).toFixed(1)}%), allowed ${allowed}`);
    console.log('kind            block   allow');
    for (const [k, c] of perKind) {
        console.log(`${k.padEnd(15)} ${String(c.block).padStart(6)}  ${String(c.allow).padStart(6)}`);
    }
    console.log('origin          block   allow');
    for (const [k, c] of [...perTag].sort()) {
        console.log(`${k.padEnd(15)} ${String(c.block).padStart(6)}  ${String(c.allow).padStart(6)}`);
    }
    console.log(`time: lists loaded in ${((tLoaded - t0) / 1000).toFixed(1)} s, total ${((t1 - t0) / 1000).toFixed(1)} s`);
}

main().catch(e => { console.error(e); process.exit(1); });
