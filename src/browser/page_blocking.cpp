#include "browser/page_blocking.h"

#include <QBuffer>
#include <QUrlQuery>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include "browser/content_blocker.h"
#include "browser/content_blocking.h"
#include "browser/scriptlet_injection.h"

namespace quillow {

namespace {

const QByteArray kScheme = QByteArrayLiteral("quillow");
// A page asks for a few URLs at a time; more are not looked at.
constexpr int kMostAskedUrls = 64;

// Runs at document creation, out of the page's reach (its scripts cannot
// see or undo ours). %1 is the page's token, %2 what the blocker has every
// script carry (null: not known yet, every document asks). %3 true: the
// copy for frames, which carries none of it (a hundred kilobytes compiled
// again in every frame cost a page of frames a tenth more): a frame takes
// its page's, or asks.
const char kBlockingScript[] = R"JS((function () {
'use strict';
if (!/^https?:$/.test(location.protocol)) return;
if (%3 && window === window.top) return;
var data = %2;
if (data && data.on === 0) return;
var host = location.hostname.replace(/\.+$/, '').toLowerCase();
var base = 'quillow:blocking?t=%1&h=' + encodeURIComponent(host);
function ask(query, done) {
  try {
    var x = new XMLHttpRequest();
    x.open('GET', base + query, true);
    x.onload = function () {
      var r; try { r = JSON.parse(x.responseText); } catch (e) { return; } done(r);
    };
    x.send();
  } catch (e) {}
}
// Whether a bit filter of `mask` + 1 bits holds a key's hash, `bit` reading
// its bits (the blocker sets them the same way).
function holds(h, mask, bit) {
  var step = (Math.imul(h, 0x9e3779b1) >>> 15) | 1;
  for (var k = 0; k < 6; k++) if (!bit((h + Math.imul(k, step)) & mask)) return false;
  return true;
}
// Whether the lists may have selectors for a name: most of a page's names
// have none, and a page whose names all have none asks nothing. The filter
// (base64) comes with the script, from the page, or with the site's answer.
var bits = null;
// `prefix` is the name's first character ('#' or '.'), `n` the rest: a
// page's names are tried without being made.
function mayHave(prefix, n) {
  var filter = site.filter;
  if (!filter) return true;
  if (bits === null) {
    // Decoded once a page, and each class looked at once: its own frames
    // take the page's (their classes are mostly the same).
    var same = parentSite && parentSite.filter === filter;
    if (same && parentSite.bits) bits = parentSite.bits;
    else try { bits = atob(filter); } catch (e) { site.filter = ''; return true; }
    site.bits = bits;
    site.known = same && parentSite.known || new Map();
    if (same) { parentSite.bits = bits; parentSite.known = site.known; }
  }
  if (prefix !== 46) return filtered(prefix, n);
  var known = site.known.get(n);
  if (known !== undefined) return known;
  known = filtered(prefix, n);
  if (site.known.size < 100000) site.known.set(n, known);
  return known;
}
function filtered(prefix, n) {
  var h = Math.imul(0x811c9dc5 ^ prefix, 0x01000193) >>> 0;
  for (var i = 0; i < n.length; i++) {
    var c = n.charCodeAt(i);
    if (c > 127) return true;
    h = Math.imul(h ^ c, 0x01000193) >>> 0;
  }
  // holds(h, 0x3ffff, bitOfNames), written out: a page asks this of
  // every name it has.
  var step = (Math.imul(h, 0x9e3779b1) >>> 15) | 1;
  for (var k = 0; k < 6; k++) {
    var b = (h + Math.imul(k, step)) & 0x3ffff;
    if (!((bits.charCodeAt(b >> 3) >> (b & 7)) & 1)) return false;
  }
  return true;
}
// Whether the lists may hold data of this document's own site: under its
// host or a parent of it, or its name with any public suffix ("name.*",
// tried with every ending). The keys' low 32 bits, as the blocker's hash
// gives them; only the few bytes each probe reads are decoded.
function mayHaveSite() {
  var keys = [], seed = 0x739d0383;
  function walk(h, end) {
    for (var i = end; i-- > 0;) {
      h = Math.imul(h ^ host.charCodeAt(i), 435);
      if (i === 0 || host.charCodeAt(i - 1) === 46) keys.push((h | 1) >>> 0);
    }
  }
  walk(seed, host.length);
  var star = Math.imul(Math.imul(seed ^ 42, 435) ^ 46, 435);
  for (var cut = host.length; cut > 0; cut = host.lastIndexOf('.', cut - 1)) walk(star, cut);
  function bit(b) {
    var at = b >> 3, group = (at / 3) | 0;
    return (atob(data.h.substr(group * 4, 4)).charCodeAt(at - group * 3) >> (b & 7)) & 1;
  }
  for (var i = 0; i < keys.length; i++) {
    var x = keys[i];
    x ^= x >>> 16; x = Math.imul(x, 0x7feb352d); x ^= x >>> 15; x = Math.imul(x, 0x846ca68b);
    x ^= x >>> 16;
    if (holds(x >>> 0, data.hb - 1, bit)) return true;
  }
  return false;
}
// What a document whose site has no data of its own, on a page the user
// has not let be, is sent: known here, nothing asked. Null: ask.
function localAnswer() {
  if (!data || !data.h || !data.d || !Array.isArray(data.a) || host.length > 253 ||
      host.split('.').length > 16)
    return null;
  // The page on show decides: the top document's host.
  var top = location.hostname, origins = location.ancestorOrigins;
  try {
    if (origins && origins.length) top = new URL(origins[origins.length - 1]).hostname;
  } catch (e) { return null; }
  top = top.toLowerCase();
  // The user's sites may be kept in Unicode where the address has punycode.
  if (!top || top.indexOf('xn--') >= 0) return null;
  for (var t = top; ; t = t.slice(t.indexOf('.') + 1)) {
    if (data.a.indexOf(t) >= 0) return null;
    if (t.indexOf('.') < 0) break;
  }
  try { if (mayHaveSite()) return null; } catch (e) { return null; }
  return {on: true, off: 0, s: data.d.s, e: data.d.e, l: data.d.l};
}
var shown = Object.create(null), shownFirst = null;
var kRule = '{display:none!important}\n';
// Selectors go into a sheet sixteen to a rule: the engine reads them in
// half the time it takes for a rule each (every frame reads its own).
var kGroup = 16;
function sheetText(selectors) {
  var text = '';
  for (var i = 0; i < selectors.length; i += kGroup)
    text += selectors.slice(i, i + kGroup).join(',') + kRule;
  return text;
}
// The sheet of `first` ({text, count, fresh}) for this document. A sheet
// with fewer rules than groups had a selector the engine could not read,
// which takes its group (perhaps the rules after it too), and is then
// filled one selector at a time, so that such a selector costs only
// itself; the text of the selectors it took is kept, for the page's frames
// to read in one go.
function adopt(first) {
  try {
    var sheet = new CSSStyleSheet();
    sheet.replaceSync(first.text);
    if (sheet.cssRules.length !== first.count) {
      sheet = new CSSStyleSheet();
      for (var j = 0, added = 0; j < first.fresh.length; j++)
        try { sheet.insertRule(first.fresh[j] + kRule, added); added++; } catch (e) {}
      // As the engine writes them: each read alone, so read together.
      var read = [];
      for (var k = 0; k < sheet.cssRules.length; k++) read.push(sheet.cssRules[k].selectorText);
      first.text = sheetText(read);
      first.count = Math.ceil(read.length / kGroup);
    }
    document.adoptedStyleSheets = document.adoptedStyleSheets.concat([sheet]);
  } catch (e) {}
}
// Each batch is one sheet, read in one go before the document takes it:
// the page's style is worked out again once a batch, not once a rule. No
// selector holds a brace, so none can make a rule of its own.
function hide(list) {
  var batch = batchOf(list, shown, shownFirst);
  if (batch.count) adopt(batch);
}
// The selectors of `list` not in `seen` (nor in `also`), marked there: a
// sheet's text, how many rules it holds and the selectors themselves.
function batchOf(list, seen, also) {
  var fresh = [];
  for (var i = 0; Array.isArray(list) && i < list.length; i++) {
    var s = list[i];
    if (typeof s !== 'string' || seen[s] || (also && also[s])) continue;
    seen[s] = 1;
    fresh.push(s);
  }
  var count = Math.ceil(fresh.length / kGroup);
  return {text: sheetText(fresh), count: count, fresh: fresh, seen: seen};
}
// The first batch, the same in each of a page's frames (they share the
// answer): made and read in one go once, then only read.
function hideFirst(answer, list) {
  var first = answer.first || (answer.first = batchOf(list, Object.create(null), null));
  shownFirst = first.seen;
  if (first.count) adopt(first);
}
// Most selectors for every site name a link's address ('a[href^="https://
// ad.example/"]'); they come apart from the rest ("l"). They are looked for
// among the document's links, not put in the sheet, where each would take
// part in every style update of the document; one goes into a sheet once a
// link's address holds its text. Read once per answer, when the names are
// first looked at: a page's own frames share it.
var links = null;
function splitLinks(list) {
  var out = {rest: [], prefix: Object.create(null), text: []};
  for (var i = 0; i < list.length; i++) {
    var s = list[i];
    if (typeof s !== 'string') continue;
    var m = /^[a-z]*\[href([*^]?)="([^"\\]{8,})"\]/.exec(s);
    if (!m) { out.rest.push(s); continue; }
    if (m[1] === '*') { out.text.push([m[2], s]); continue; }
    var key = m[2].slice(0, 8);
    (out.prefix[key] || (out.prefix[key] = [])).push([m[2], s, m[1] === '^']);
  }
  return out;
}
function surveyLinks(roots) {
  if (!links) return;
  var found = [], text = links.text;
  function look(el) {
    var href = el.getAttribute('href');
    if (!href) return;
    var run = links.prefix[href.slice(0, 8)];
    if (run) for (var i = 0; i < run.length; i++)
      if (run[i][2] ? href.lastIndexOf(run[i][0], 0) === 0 : href === run[i][0]) found.push(run[i][1]);
    for (var j = 0; j < text.length; j++) if (href.indexOf(text[j][0]) >= 0) found.push(text[j][1]);
  }
  for (var i = 0; i < roots.length; i++) {
    var root = roots[i];
    if (root.nodeType === 1 && root.hasAttribute('href')) look(root);
    var all = root.querySelectorAll('[href]');
    for (var k = 0; k < all.length; k++) look(all[k]);
  }
  hide(found);
}
function watchNames(site) {
  var pending = [], count = 0, timer = 0, roots = [];
  function flush() {
    timer = 0;
    var added = roots;
    roots = [];
    surveyLinks(added.length > 500 ? [document] : added);
    while (pending.length) {
      var batch = [], size = 0;
      while (pending.length && size < 3000) { var n = pending.pop(); size += n.length + 1; batch.push(n); }
      ask('&q=names&n=' + encodeURIComponent(batch.join(' ')), function (r) { hide(r.s); });
    }
  }
  function name(prefix, n) {
    if (n.length >= 200 || count >= 20000 || !mayHave(prefix, n)) return;
    count++; pending.push(String.fromCharCode(prefix) + n);
    if (!timer) timer = setTimeout(flush, 10);
  }
  // Each id and class is looked at once. Most elements share their class
  // attribute with others: each value is read once, split where the
  // document splits it (ASCII white space). A page of endless new names is
  // looked at for its first hundred thousand.
  var ids = new Set(), classes = new Set(), classNames = new Set();
  function note(el) {
    if (ids.size + classes.size + classNames.size >= 100000) return;
    var id = el.id, cls = el.getAttribute('class');
    if (typeof id === 'string' && id && !ids.has(id)) { ids.add(id); name(35, id); }
    if (!cls || classes.has(cls)) return;
    classes.add(cls);
    var list = cls.split(/[ \t\n\f\r]+/);
    for (var i = 0; i < list.length && i < 64; i++) {
      var c = list[i];
      if (c && !classNames.has(c)) { classNames.add(c); name(46, c); }
    }
  }
  function scan(node) {
    if (node.nodeType !== 1) return;
    note(node);
    if (!node.firstElementChild) return;
    var all = node.querySelectorAll('[id],[class]');
    for (var i = 0; i < all.length; i++) note(all[i]);
  }
  function start() {
    if (Array.isArray(site.l) && site.l.length) {
      links = site.split || (site.split = splitLinks(site.l));
      // Any the blocker took for a link's that is none: hidden as it stands.
      hide(links.rest);
    }
    new MutationObserver(function (records) {
      for (var i = 0; i < records.length; i++) {
        var r = records[i];
        if (r.type === 'attributes') { note(r.target); continue; }
        for (var j = 0; j < r.addedNodes.length; j++) {
          var node = r.addedNodes[j];
          if (node.nodeType !== 1) continue;
          scan(node);
          if (links && roots.length <= 500) roots.push(node);
        }
      }
      if (roots.length && !timer) timer = setTimeout(flush, 10);
    }).observe(document, {childList: true, subtree: true, attributes: true,
                          attributeFilter: ['id', 'class']});
    if (document.documentElement) scan(document.documentElement);
    surveyLinks([document]);
  }
  // The names are first looked at once the document is parsed, and only
  // changes are watched after: watching the parser add every element cost
  // a plain page a third more CPU. And only once the page is idle: their
  // selectors come back later anyway, and the page's load should not wait
  // for the survey.
  function idle() {
    if (typeof requestIdleCallback === 'function') requestIdleCallback(start, {timeout: 100});
    else setTimeout(start, 0);
  }
  if (document.readyState === 'loading')
    document.addEventListener('DOMContentLoaded', idle, {once: true});
  else idle();
}
function watchBlocked() {
  var waiting = [], timer = 0;
  function check() {
    timer = 0;
    var batch = waiting.splice(0, 32);
    if (waiting.length) timer = setTimeout(check, 0);
    var query = '&q=blocked';
    for (var i = 0; i < batch.length; i++) query += '&u=' + encodeURIComponent(batch[i][1]);
    ask(query, function (r) {
      if (!Array.isArray(r.b)) return;
      for (var i = 0; i < r.b.length; i++) {
        var w = batch[r.b[i]];
        if (w) w[0].style.setProperty('display', 'none', 'important');
      }
    });
  }
  // A blocked image fails; a blocked frame loads the engine's own page.
  function ended(e) {
    var el = e.target, tag = el && el.tagName;
    if (!(e.type === 'error' ? tag === 'IMG' : tag === 'IFRAME' || tag === 'FRAME')) return;
    var src = tag === 'IMG' ? el.currentSrc || el.src : el.src;
    if (!src || src.length > 2048 || !/^(https?|wss?):/.test(src)) return;
    // A frame whose document can be read here holds a page of this one's
    // origin, not the engine's: nothing to ask. A page's own frames ask
    // nothing.
    if (tag !== 'IMG') try { if (el.contentDocument) return; } catch (x) {}
    waiting.push([el, src]);
    if (!timer) timer = setTimeout(check, 0);
  }
  document.addEventListener('error', ended, true);
  document.addEventListener('load', ended, true);
}
// Procedural selectors (uBlock Origin's ":has-text()", ":upward()",
// ":remove()", ...), for the sites their rules name: worked out here on the
// document's elements, again in batches as the page changes. One that
// cannot be read, throws or takes too long is dropped and costs only itself.
var kSteps = {'has': 1, 'if': 1, '-abp-has': 1, 'not': 1, 'if-not': 1, 'has-text': 1,
  'contains': 1, '-abp-contains': 1, 'upward': 1, 'nth-ancestor': 1, 'matches-css': 1,
  'matches-css-before': 1, 'matches-css-after': 1, 'xpath': 1, 'min-text-length': 1,
  'watch-attr': 1, 'matches-path': 1};
var kActions = {'remove': 1, 'style': 1, 'remove-attr': 1, 'remove-class': 1, 'others': 1};
// A text to look for: "/expression/flags", or words as they stand. The
// engine backtracks: an expression that repeats a group holding a repeat or
// a choice, or refers back, could take the page's text for ever, and is
// refused (its rule with it).
function needle(text, whole) {
  var m = /^\/(.+)\/([imsu]*)$/.exec(text);
  if (m && (/\((?:[^()\\]|\\.)*[*+{|](?:[^()\\]|\\.)*\)[*+{]/.test(m[1]) || /\\[1-9]/.test(m[1])))
    throw new Error('unbounded');
  if (m) return new RegExp(m[1], m[2]);
  var quoted = text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
  return new RegExp(whole ? '^' + quoted + '$' : quoted);
}
// The steps of a procedural selector: ['css', text] between operators,
// [operator, argument] for each; null when it cannot be read.
function stepsOf(text) {
  var steps = [], css = '', i = 0;
  while (i < text.length) {
    var c = text[i], m = c === ':' ? /^:([a-z-]+)\(/.exec(text.slice(i, i + 24)) : null;
    if (m && (kSteps[m[1]] || kActions[m[1]])) {
      var depth = 1, j = i + m[0].length;
      for (; j < text.length && depth; j++) {
        if (text[j] === '\\') j++;
        else if (text[j] === '(') depth++;
        else if (text[j] === ')') depth--;
      }
      if (depth) return null;
      if (css) steps.push(['css', css]);
      css = '';
      steps.push([m[1], text.slice(i + m[0].length, j - 1)]);
      i = j;
    } else if (c === '"' || c === "'") {
      var end = text.indexOf(c, i + 1);
      if (end < 0) return null;
      css += text.slice(i, end + 1);
      i = end + 1;
    } else {
      css += c + (c === '\\' ? text[i + 1] || '' : '');
      i += c === '\\' ? 2 : 1;
    }
  }
  if (css.trim()) steps.push(['css', css]);
  for (var k = 0; k < steps.length - 1; k++) if (kActions[steps[k][0]]) return null;
  return steps.length ? steps : null;
}
// The elements `steps` name from `nodes`: from the document ('root'),
// below each node (':has()'), or among the nodes themselves (':not()').
function run(steps, nodes, from) {
  for (var k = 0; k < steps.length && nodes.length; k++) {
    var op = steps[k][0], arg = steps[k][1], out = [];
    if (op === 'css') {
      var css = arg.trim(), first = k === 0;
      if (first && from === 'root') {
        out = Array.prototype.slice.call(document.querySelectorAll(css));
      } else if (first && from === 'self') {
        out = nodes.filter(function (n) { return n.matches(css); });
      } else if (/^[+~]/.test(css)) {
        nodes.forEach(function (n) {
          var p = n.parentElement;
          if (!p) return;
          var at = Array.prototype.indexOf.call(p.children, n) + 1;
          out.push.apply(out, p.querySelectorAll(':scope > :nth-child(' + at + ') ' + css));
        });
      } else if (/^\s|^>/.test(arg) || first) {
        nodes.forEach(function (n) { out.push.apply(out, n.querySelectorAll(':scope ' + css)); });
      } else {
        out = nodes.filter(function (n) { return n.matches('*' + css); });
      }
    } else if (op === 'has' || op === 'if' || op === '-abp-has' || op === 'if-not') {
      var inner = stepsOf(arg), keep = op !== 'if-not';
      if (!inner) throw new Error('unread');
      out = nodes.filter(function (n) { return (run(inner, [n], 'below').length > 0) === keep; });
    } else if (op === 'not') {
      var not = stepsOf(arg);
      if (!not) throw new Error('unread');
      out = nodes.filter(function (n) { return run(not, [n], 'self').length === 0; });
    } else if (op === 'has-text' || op === 'contains' || op === '-abp-contains') {
      var re = needle(arg);
      out = nodes.filter(function (n) { return re.test((n.textContent || '').slice(0, 65536)); });
    } else if (op === 'min-text-length') {
      out = nodes.filter(function (n) { return (n.textContent || '').length >= +arg; });
    } else if (op === 'upward' || op === 'nth-ancestor') {
      nodes.forEach(function (n) {
        if (/^\d+$/.test(arg)) {
          for (var up = +arg; n && up > 0 && up <= 256; up--) n = n.parentElement;
        } else {
          n = n.parentElement && n.parentElement.closest(arg);
        }
        if (n) out.push(n);
      });
    } else if (op.indexOf('matches-css') === 0) {
      var colon = arg.indexOf(':'), name = arg.slice(0, colon).trim();
      var value = needle(arg.slice(colon + 1).trim(), true);
      var pseudo = op === 'matches-css' ? null : '::' + op.slice(12);
      if (colon < 0) throw new Error('unread');
      out = nodes.filter(function (n) {
        return value.test(getComputedStyle(n, pseudo).getPropertyValue(name));
      });
    } else if (op === 'xpath') {
      nodes.forEach(function (n) {
        var r = document.evaluate(arg, n, null, XPathResult.ORDERED_NODE_SNAPSHOT_TYPE, null);
        for (var x = 0; x < r.snapshotLength; x++)
          if (r.snapshotItem(x).nodeType === 1) out.push(r.snapshotItem(x));
      });
    } else if (op === 'matches-path') {
      out = needle(arg).test(location.pathname + location.search) ? nodes : [];
    } else {
      out = nodes;  // an action, done by act()
    }
    nodes = out.filter(function (n, i) { return out.indexOf(n) === i; });
  }
  return nodes;
}
function act(action, nodes, done) {
  var op = action ? action[0] : '', arg = action ? action[1] : '';
  // Each element once: what is done here changes the document again.
  nodes = nodes.filter(function (n) { return !done.has(n) && done.add(n); });
  nodes.forEach(function (n) {
    if (op === 'remove') n.remove();
    else if (op === 'style') n.style.cssText += ';' + arg;
    else if (op === 'remove-attr') arg.split('|').forEach(function (a) { n.removeAttribute(a.trim()); });
    else if (op === 'remove-class') arg.split('|').forEach(function (c) { n.classList.remove(c.trim()); });
    else if (op !== 'others') n.style.setProperty('display', 'none', 'important');
  });
  if (op !== 'others' || !nodes.length || !document.body) return;
  // Everything but these, their ancestors and what they hold.
  var kept = new Set();
  nodes.forEach(function (n) { for (; n; n = n.parentElement) kept.add(n); });
  document.body.querySelectorAll('*').forEach(function (e) {
    if (!kept.has(e) && kept.has(e.parentElement) &&
        !nodes.some(function (n) { return n.contains(e); }))
      e.style.setProperty('display', 'none', 'important');
  });
}
function procedural(list) {
  var rules = [], attributes = null;
  for (var i = 0; i < list.length && i < 200; i++) {
    var steps = typeof list[i] === 'string' ? stepsOf(list[i]) : null;
    if (!steps) continue;
    var last = steps[steps.length - 1];
    rules.push({steps: kActions[last[0]] ? steps.slice(0, -1) : steps,
                action: kActions[last[0]] ? last : null, done: new WeakSet()});
    // ":watch-attr()" names the attributes whose changes make it look again.
    steps.forEach(function (step) {
      if (step[0] !== 'watch-attr') return;
      var names = step[1].split(',').map(function (a) { return a.trim(); }).filter(Boolean);
      attributes = attributes || [];
      if (!names.length) attributes.all = true;
      attributes.push.apply(attributes, names);
    });
  }
  if (!rules.length) return;
  var timer = 0;
  function runAll() {
    timer = 0;
    rules = rules.filter(function (r) {
      var start = Date.now();
      try { act(r.action, run(r.steps, [document], 'root'), r.done); } catch (e) { return false; }
      return Date.now() - start < 50;
    });
  }
  function soon() { if (!timer && rules.length) timer = setTimeout(runAll, 50); }
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', runAll);
  else runAll();
  var options = {childList: true, subtree: true, characterData: true};
  if (attributes) {
    options.attributes = true;
    if (!attributes.all) options.attributeFilter = attributes;
  }
  new MutationObserver(soon).observe(document, options);
}
function begin(site) {
  if (!site || !site.on || site.off >= 2) return;
  var everywhere = Array.isArray(site.e) && site.off < 1 ? site.e : [];
  hideFirst(site, site.first ? null : site.s.concat(everywhere));
  if (site.off < 1) watchNames(site);
  if (Array.isArray(site.p) && site.p.length) procedural(site.p);
}
// A refused image fails while the document is parsed, before any answer
// comes: watched from the start (where blocking is off nothing was refused).
watchBlocked();
// The lists may still be loading for a session's first page. Asked
// without holding the document up: its parsing goes on meanwhile.
// A frame of its parent's origin and host takes the parent's answer (this
// world's globals are shared between such frames, never with the page's
// scripts): a page's own frames ask once, not once each.
var site = {answer: undefined, waiting: [], filter: data && data.n || '', bits: null, known: null};
function answered(answer) {
  if (answer && typeof answer.n === 'string' && !site.filter) site.filter = answer.n;
  site.answer = answer;
  begin(answer);
  for (var i = 0; i < site.waiting.length; i++) site.waiting[i](answer);
  site.waiting = [];
}
var parentSite = null;
try {
  if (window.parent !== window && window.parent.location.hostname === location.hostname)
    parentSite = window.parent.quillowSite || null;
} catch (e) {}
self.quillowSite = site;
if (parentSite && !site.filter) site.filter = parentSite.filter;
var local = parentSite ? null : localAnswer();
if (parentSite && parentSite.answer !== undefined) {
  answered(parentSite.answer);
} else if (parentSite) {
  parentSite.waiting.push(answered);
} else if (local) {
  answered(local);
} else {
  // Without the names' filter, the answer brings it.
  var tries = 0, siteQuery = '&q=site' + (site.filter ? '' : '&f=1');
  ask(siteQuery, function retry(answer) {
    if (answer && answer.wait && tries++ < 12) setTimeout(function () { ask(siteQuery, retry); }, 250);
    else answered(answer);
  });
}
})();
)JS";

// A JSON object with `member` ("\"name\":value") put first.
QByteArray withMember(const QByteArray &object, const QByteArray &member) {
    return object.size() <= 2 ? "{" + member + "}" : "{" + member + "," + object.mid(1);
}

// A document at `host` (lower case), as the page's script names it.
QString hostOf(const QUrlQuery &query) {
    QString host = query.queryItemValue(QStringLiteral("h"), QUrl::FullyDecoded);
    return host.size() <= 253 ? host : QString();
}

// Whether the blocked requests of the page include each asked URL: the
// places of those that were, as JSON.
QByteArray blockedOf(const PageRequestInterceptor &page, const QUrlQuery &query) {
    QByteArray out = "{\"b\":[";
    const QStringList urls = query.allQueryItemValues(QStringLiteral("u"), QUrl::FullyDecoded);
    bool first = true;
    for (int i = 0; i < urls.size() && i < kMostAskedUrls; ++i) {
        if (!page.blockedFrameOrImage(QUrl(urls[i])))
            continue;
        if (!first)
            out += ',';
        first = false;
        out += QByteArray::number(i);
    }
    return out + "]}";
}

class BlockingSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    BlockingSchemeHandler(ContentBlocker *blocker, QObject *parent)
        : QWebEngineUrlSchemeHandler(parent), blocker_(blocker) {}

    void requestStarted(QWebEngineUrlRequestJob *job) override {
        const QUrlQuery query(job->requestUrl());
        if (job->requestUrl().path() == QLatin1String("resource")) {
            // A neutral resource in place of a blocked one: the same for
            // every page.
            QByteArray type, body;
            if (!blocker_->neutralResource(
                    query.queryItemValue(QStringLiteral("n"), QUrl::FullyDecoded), type, body)) {
                job->fail(QWebEngineUrlRequestJob::UrlNotFound);
                return;
            }
            reply(job, type, body);
            return;
        }
        const PageRequestInterceptor *page =
            PageRequestInterceptor::forToken(query.queryItemValue(QStringLiteral("t")));
        if (!page || job->requestUrl().path() != QLatin1String("blocking")) {
            job->fail(QWebEngineUrlRequestJob::RequestDenied);
            return;
        }
        const QString what = query.queryItemValue(QStringLiteral("q"));
        const QString host = hostOf(query);
        QByteArray answer;
        // The page on show decides, for its frames too.
        if (!blocker_->isOn(page->pageOnShow())) {
            answer = "{\"on\":false}";
        } else if (what == QLatin1String("site")) {
            answer = blocker_->hidingForSite(host);
            // A frame's script carries no filter of the names: sent along.
            const QByteArray names = blocker_->hidingNameFilter();
            if (!answer.isEmpty() &&
                query.queryItemValue(QStringLiteral("f")) == QLatin1String("1") && !names.isEmpty())
                answer = withMember(answer, "\"n\":\"" + names + '"');
            answer = answer.isEmpty() ? QByteArray("{\"wait\":true}")
                                      : withMember(answer, "\"on\":true");
        } else if (what == QLatin1String("names")) {
            answer = blocker_->hidingForNames(
                host, query.queryItemValue(QStringLiteral("n"), QUrl::FullyDecoded));
        } else if (what == QLatin1String("blocked")) {
            answer = blockedOf(*page, query);
        }
        reply(job, QByteArrayLiteral("application/json"), answer.isEmpty() ? "{}" : answer);
    }

private:
    static void reply(QWebEngineUrlRequestJob *job, const QByteArray &type,
                      const QByteArray &data) {
        auto *body = new QBuffer(job);
        body->setData(data);
        body->open(QIODevice::ReadOnly);
        job->reply(type, body);
    }

    ContentBlocker *blocker_;
};

}  // namespace

void registerBlockingScheme() {
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    // Secure and open to requests from any page, as the frames' scripts
    // on http and https pages ask it.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
    registerScriptletLibraryScheme();
}

void serveBlockingScheme(QWebEngineProfile *profile, ContentBlocker *blocker) {
    profile->installUrlSchemeHandler(kScheme, new BlockingSchemeHandler(blocker, profile));
    new ScriptletInjection(profile, blocker);
}

void addBlockingScript(QWebEnginePage *page, const QString &token, ContentBlocker *blocker) {
    // Made again when the lists change, for the documents after.
    const auto install = [page, token, blocker] {
        const QByteArray data = blocker->hidingScriptData();
        const QString carried = data.isEmpty() ? QStringLiteral("null") : QString::fromUtf8(data);
        // Frames carry only whether blocking is off.
        const QString off = QStringLiteral("{\"on\":0}");
        for (const bool frames : {false, true}) {
            const QString name = frames ? QStringLiteral("quillow-blocking-frames")
                                        : QStringLiteral("quillow-blocking");
            for (const QWebEngineScript &old : page->scripts().find(name))
                page->scripts().remove(old);
            QWebEngineScript script;
            script.setName(name);
            script.setSourceCode(
                QString::fromLatin1(kBlockingScript)
                    .arg(token, !frames || carried == off ? carried : QStringLiteral("null"),
                         frames ? QStringLiteral("true") : QStringLiteral("false")));
            script.setInjectionPoint(QWebEngineScript::DocumentCreation);
            script.setWorldId(QWebEngineScript::ApplicationWorld);
            script.setRunsOnSubFrames(frames);
            page->scripts().insert(script);
        }
    };
    install();
    QObject::connect(blocker, &ContentBlocker::changed, page, install);
}

}  // namespace quillow
