#!/usr/bin/env bash
# Quillow's benchmarks in one run: start-up time and memory against a bare
# web view (alternating runs), a second start's hand-over to the running
# program against a cold start, the popup storm, the favorites at scale, the
# filter lists against their goals and start-up with and without them.
#
#   bash bench/run.sh [build-dir]      (default: build/ in the repository)
#
# Builds what it needs into the build directory, which is configured first
# (Release) if it is not yet. Without a display it runs under xvfb-run. Only
# 127.0.0.1 is contacted. bench/README.md explains the figures.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
build=$(realpath -m "${1:-$root/build}")

# One X server for the whole run, so no program pays for starting it.
if [[ -z "${DISPLAY:-}" && -z "${QUILLOW_BENCH_IN_XVFB:-}" ]]; then
    command -v xvfb-run >/dev/null || {
        echo "no DISPLAY and no xvfb-run" >&2
        exit 1
    }
    export QUILLOW_BENCH_IN_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "${BASH_SOURCE[0]}" "$build"
fi

rounds=7       # start-up rounds per program, after one to warm up
list_rounds=20 # start-up rounds with and without the filter lists
fav_rounds=9   # rounds of each favorites size
settle=3       # seconds between ready and reading the memory
ready_limit=60 # seconds a program may take to get ready

# An existing build keeps its type; the bench programs are switched on.
if [[ -f "$build/CMakeCache.txt" ]]; then
    cmake "$build" -DQUILLOW_BUILD_BENCHMARKS=ON >/dev/null
else
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLOW_BUILD_BENCHMARKS=ON
fi
cmake --build "$build" -j2 --target quillow quillow_startup bare_view popup_storm window_storm \
    page_after_page endless_fetch long_print filter_lists blocking_cost hostile_lists

# The engine must not reach for the network by itself, in either program;
# as root it starts only with its sandbox off.
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-background-networking --disable-component-update"
if [[ $(id -u) -eq 0 ]]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi

work=$(mktemp -d)

# Quillow's lasting profile, its settings and compiled filter lists, and
# the lock and socket that one running program per profile needs, in folders
# of the run's own (no settings of the user's); the profile and the lists'
# cache are created in the warm-up round.
use_profile() {
    export XDG_DATA_HOME="$work/$1/data" XDG_CACHE_HOME="$work/$1/cache" \
        XDG_CONFIG_HOME="$work/$1/config" XDG_RUNTIME_DIR="$work/$1/run"
    mkdir -p "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
}
use_profile cold

# The process and all its descendants (the engine's helpers among them).
tree_pids() {
    ps -e -o pid=,ppid= | awk -v root="$1" '
        { kids[$2] = kids[$2] " " $1 }
        END {
            queue[0] = root; n = 1
            for (i = 0; i < n; i++) {
                print queue[i]
                m = split(kids[queue[i]], k, " ")
                for (j = 1; j <= m; j++) queue[n++] = k[j]
            }
        }'
}

# Ends the bench program started last, with its helpers: those it has now
# and those seen before (helpers outliving it are no longer its children).
running=""
seen=()
end_running() {
    local pids p
    [[ -n $running ]] || return 0
    mapfile -t pids < <(tree_pids "$running")
    for p in "${pids[@]}" "${seen[@]}"; do
        kill -KILL "$p" 2>/dev/null || true
    done
    wait "$running" 2>/dev/null || true
    running=""
    seen=()
}
first=""  # the running program of the hand-over benchmark
end_first() {
    local p
    [[ -n $first ]] || return 0
    for p in $(tree_pids "$first"); do
        kill -KILL "$p" 2>/dev/null || true
    done
    wait "$first" 2>/dev/null || true
    first=""
}
trap 'end_running; end_first; rm -rf "$work"' EXIT

# Proportional set size of the processes, in KiB.
pss_kib() {
    local total=0 pid kib
    for pid in "$@"; do
        kib=$(awk '/^Pss:/ { print $2 }' "/proc/$pid/smaps_rollup" 2>/dev/null || true)
        total=$((total + ${kib:-0}))
    done
    echo "$total"
}

# Whether the process runs (a zombie does not).
alive() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) && [[ $state != Z* ]]
}

# Starts a program (with the arguments after $2), waits for its ready line,
# reads the tree's memory $settle seconds later and ends the tree. Writes
# "<ms> <KiB> <processes>" to the file $2.
start_once() {
    local program=$1 result=$2 out="$work/out" t0 pid ready pids kib i
    : >"$out"
    (
        printf '%s\n' "$EPOCHREALTIME" >"$work/t0"
        exec "$program" "${@:3}" >"$out" 2>>"$work/stderr"
    ) &
    pid=$!
    running=$pid
    local deadline=$((SECONDS + ready_limit))
    while ! ready=$(grep -m1 '^ready ' "$out"); do
        if ((SECONDS > deadline)) || ! alive "$pid"; then
            echo "$(basename "$program") did not get ready; its last messages:" >&2
            tail -20 "$work/stderr" >&2
            return 1
        fi
        sleep 0.02
    done
    t0=$(cat "$work/t0")
    sleep "$settle"
    mapfile -t pids < <(tree_pids "$pid")
    seen=("${pids[@]}")
    kib=$(pss_kib "${pids[@]}")
    # Asked to end first; whatever is left of the tree is then ended.
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < 100; i++)); do
        alive "$pid" || break
        sleep 0.05
    done
    end_running
    awk -v t0="$t0" -v t1="${ready#ready }" -v kib="$kib" -v n="${#pids[@]}" \
        'BEGIN { printf "%.0f %d %d\n", (t1 - t0) * 1000, kib, n }' >"$result"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

status=0
quillow="$build/bench/quillow_startup"
bare="$build/bench/bare_view"

echo
echo "== Start-up: exec to main window shown with about:blank loaded; memory ${settle} s later"
echo "   $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)," \
    "$(. /etc/os-release && echo "$PRETTY_NAME"), Qt $(qtpaths6 --qt-version 2>/dev/null || echo '?')," \
    "build $(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")," \
    "display ${QUILLOW_BENCH_IN_XVFB:+Xvfb }${DISPLAY}, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "   one round each to warm up, then $rounds alternating rounds"
start_once "$quillow" "$work/r"
start_once "$bare" "$work/r"
printf '%8s %12s %12s %6s %12s %12s %6s\n' round "Quillow ms" "Quillow MiB" procs \
    "bare ms" "bare MiB" procs
: >"$work/q"
: >"$work/b"
for ((round = 1; round <= rounds; round++)); do
    start_once "$quillow" "$work/r"
    read -r qms qkib qn <"$work/r"
    start_once "$bare" "$work/r"
    read -r bms bkib bn <"$work/r"
    echo "$qms $qkib" >>"$work/q"
    echo "$bms $bkib" >>"$work/b"
    awk -v r="$round" -v qms="$qms" -v qkib="$qkib" -v qn="$qn" -v bms="$bms" -v bkib="$bkib" \
        -v bn="$bn" 'BEGIN { printf "%8d %12d %12.1f %6d %12d %12.1f %6d\n",
                             r, qms, qkib / 1024, qn, bms, bkib / 1024, bn }'
done
qms=$(cut -d' ' -f1 "$work/q" | median)
bms=$(cut -d' ' -f1 "$work/b" | median)
qkib=$(cut -d' ' -f2 "$work/q" | median)
bkib=$(cut -d' ' -f2 "$work/b" | median)
awk -v qms="$qms" -v bms="$bms" -v qkib="$qkib" -v bkib="$bkib" 'BEGIN {
    tr = qms / bms; mr = qkib / bkib
    printf "%8s %12d %12.1f %6s %12d %12.1f\n", "median", qms, qkib / 1024, "", bms, bkib / 1024
    printf "ratio Quillow / bare: time %.3f (%s), memory %.3f (%s); target at most 1.15 each\n",
        tr, tr <= 1.15 ? "met" : "MISSED", mr, mr <= 1.15 ? "met" : "MISSED"
    exit tr <= 1.15 && mr <= 1.15 ? 0 : 1
}' || status=1
echo
echo "== Hand-over: a second start (the quillow program, no address) to its new window shown"
echo "   with about:blank loaded in the running program, against a cold start; $rounds rounds"
use_profile running
(exec "$quillow" >"$work/first" 2>>"$work/stderr") &
first=$!
for ((i = 0; i < ready_limit * 50; i++)); do
    grep -q '^ready ' "$work/first" && break
    sleep 0.02
done
grep -q '^ready ' "$work/first" || {
    echo "the running program did not get ready" >&2
    status=1
}
use_profile cold
start_once "$quillow" "$work/r" # warm-up of the cold start
printf '%8s %12s %12s %12s\n' round "hand-over ms" "2nd exit ms" "cold ms"
: >"$work/h"
for ((round = 1; round <= rounds; round++)); do
    use_profile running
    handed=$(grep -c '^handed ' "$work/first" || true)
    t0=$EPOCHREALTIME
    "$build/quillow" >/dev/null 2>>"$work/stderr" || {
        echo "the second start failed" >&2
        status=1
    }
    t1=$EPOCHREALTIME
    deadline=$((SECONDS + ready_limit))
    while (($(grep -c '^handed ' "$work/first" || true) <= handed)) && ((SECONDS < deadline)); do
        sleep 0.02
    done
    shown=$(grep '^handed ' "$work/first" | sed -n "$((handed + 1))p")
    use_profile cold
    start_once "$quillow" "$work/r"
    read -r cms _ _ <"$work/r"
    if [[ -z $shown ]]; then
        echo "no window after the hand-over" >&2
        status=1
        continue
    fi
    awk -v t0="$t0" -v t1="$t1" -v t2="${shown#handed }" -v c="$cms" -v r="$round" 'BEGIN {
        printf "%8d %12.0f %12.0f %12d\n", r, (t2 - t0) * 1000, (t1 - t0) * 1000, c }' |
        tee -a "$work/h"
done
end_first
# Median, least and most of one column of the rounds.
column_stats() {
    awk -v c="$1" '{ print $c }' "$work/h" | sort -n |
        awk '{ v[NR] = $1 } END { printf "%d %d %d\n", v[int((NR + 1) / 2)], v[1], v[NR] }'
}
if [[ -s $work/h ]]; then
    read -r hm hlo hhi < <(column_stats 2)
    read -r xm xlo xhi < <(column_stats 3)
    read -r cm clo chi < <(column_stats 4)
    printf '%8s %12d %12d %12d\n' median "$hm" "$xm" "$cm"
    printf '%8s %12s %12s %12s\n' range "$hlo-$hhi" "$xlo-$xhi" "$clo-$chi"
    awk -v h="$hm" -v c="$cm" \
        'BEGIN { printf "hand-over / cold start (medians): %.3f (no target)\n", h / c }'
fi

echo
echo "== Popup storm"
"$build/bench/popup_storm" 2>>"$work/stderr" || status=1

echo
echo "== Popups allowed: window storms"
"$build/bench/window_storm" 2>>"$work/stderr" || status=1

echo
echo "== Page after page"
"$build/bench/page_after_page" 2>>"$work/stderr" || status=1

echo
echo "== An endless answer fetched"
"$build/bench/endless_fetch" 2>>"$work/stderr" || status=1

echo
echo "== A long print"
"$build/bench/long_print" 2>>"$work/stderr" || status=1

echo
echo "== Favorites at scale: start-up with a favorites file of N entries, exec to window shown,"
echo "   and the program's own memory (RssAnon) 1 s after the list is in; $fav_rounds rounds each"
use_profile favorites
sizes=(0 1000 10000 100000 1000000)
for n in "${sizes[@]}"; do
    # A copy of the program of its own, its favorites beside it.
    mkdir -p "$work/fav$n"
    cp "$quillow" "$work/fav$n/"
    awk -v n="$n" 'BEGIN { for (i = 0; i < n; i++)
        printf "https://www.example.com/favorites/page-%07d.html\r\n", i }' >"$work/fav$n/favorites.dat"
    : >"$work/fav$n/rounds"
done
start_once "$work/fav0/quillow_startup" "$work/r" # warm-up
for ((round = 1; round <= fav_rounds; round++)); do
    for n in "${sizes[@]}"; do
        out="$work/fav$n/out"
        t0=$EPOCHREALTIME
        ("$work/fav$n/quillow_startup" >"$out" 2>>"$work/stderr") &
        pid=$!
        running=$pid
        deadline=$((SECONDS + ready_limit))
        until grep -qs '^favorites ' "$out" && grep -qs '^ready ' "$out"; do
            ((SECONDS < deadline)) && alive "$pid" || break
            sleep 0.02
        done
        sleep 1
        anon=$(awk '/^RssAnon:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || echo 0)
        ready=$(grep -m1 '^ready ' "$out" || true)
        shown=$(grep -m1 '^favorites ' "$out" || true)
        kill -TERM "$pid" 2>/dev/null || true
        end_running
        [[ ${shown#favorites } == "$n" ]] || {
            echo "with $n favorites the list showed '${shown#favorites }'" >&2
            status=1
        }
        awk -v t0="$t0" -v t1="${ready#ready }" -v kib="$anon" \
            'BEGIN { printf "%.0f %d\n", (t1 - t0) * 1000, kib }' >>"$work/fav$n/rounds"
    done
done
printf '%10s %10s %10s %8s %10s %8s %14s\n' entries "file MiB" "start ms" spread ratio \
    "anon MiB" "bytes/entry"
read -r zero_ms < <(cut -d' ' -f1 "$work/fav0/rounds" | median)
read -r zero_kib < <(cut -d' ' -f2 "$work/fav0/rounds" | median)
for n in "${sizes[@]}"; do
    bytes=$(stat -c %s "$work/fav$n/favorites.dat")
    ms=$(cut -d' ' -f1 "$work/fav$n/rounds" | median)
    kib=$(cut -d' ' -f2 "$work/fav$n/rounds" | median)
    lo=$(cut -d' ' -f1 "$work/fav$n/rounds" | sort -n | head -1)
    hi=$(cut -d' ' -f1 "$work/fav$n/rounds" | sort -n | tail -1)
    awk -v n="$n" -v b="$bytes" -v ms="$ms" -v lo="$lo" -v hi="$hi" -v z="$zero_ms" -v kib="$kib" \
        -v zk="$zero_kib" 'BEGIN {
        per = n ? ((kib - zk) * 1024 - b) / n : 0
        printf "%10d %10.1f %10d %8d %10.3f %8.1f %14.0f\n", n, b / 1048576, ms, hi - lo,
            ms / z, kib / 1024, per }'
done
echo "   targets: start-up within 1.05x at 100k and 1.10x at 1M; under 100 bytes per entry"
echo "   beyond the file's own bytes"

echo
echo "== Filter lists: EasyList and EasyPrivacy from the lists and from the cache, memory,"
echo "   agreement with the stored verdicts and time per request over the corpus"
"$build/bench/filter_lists" "$root/bench/data/filter_corpus.tsv.gz" 2>>"$work/stderr" || status=1
echo
echo "== The same with uBlock Origin's eight default lists, its resources and cleaned addresses"
"$build/bench/filter_lists" "$root/bench/data/filter_corpus_default.tsv.gz" 2>>"$work/stderr" ||
    status=1

echo
echo "== Start-up with the filter lists (from their cache) against --no-content-blocking:"
echo "   exec to main window shown with about:blank loaded, memory ${settle} s later; one round"
echo "   each to warm up (it compiles the cache), then $list_rounds alternating rounds"
use_profile lists
cache="$XDG_CACHE_HOME/quillow/filters.idx"
# The program logs each load of the lists: "Content blocking: ... <n> ms[, from the cache]".
lists_log() { grep 'Content blocking: ' "$work/stderr" || true; }
# The load time of the lines after the first $1, of those (not) from the cache.
load_ms() {
    lists_log | tail -n +$(($1 + 1)) | awk -v cached="$2" '
        (/, from the cache$/ ? "yes" : "no") == cached {
            sub(/ ms(, from the cache)?$/, ""); sub(/.* /, ""); print }'
}
start_once "$quillow" "$work/r"
start_once "$quillow" "$work/r" --no-content-blocking
[[ -s $cache ]] || {
    echo "the warm-up round left no $cache" >&2
    status=1
}
printf '%8s %10s %10s %6s %10s %10s %10s %6s\n' round "lists ms" "lists MiB" procs "load ms" \
    "none ms" "none MiB" procs
: >"$work/l"
: >"$work/n"
for ((round = 1; round <= list_rounds; round++)); do
    # Which goes first swaps each round.
    order="lists none"
    ((round % 2)) || order="none lists"
    for variant in $order; do
        logged=$(lists_log | wc -l)
        if [[ $variant == lists ]]; then
            start_once "$quillow" "$work/r"
            read -r lms lkib ln <"$work/r"
            lload=$(load_ms "$logged" yes)
            [[ -n $lload ]] || {
                echo "round $round: the lists did not load from the cache" >&2
                status=1
            }
        else
            start_once "$quillow" "$work/r" --no-content-blocking
            read -r nms nkib nn <"$work/r"
            (($(lists_log | wc -l) == logged)) || {
                echo "round $round: lists loaded with --no-content-blocking" >&2
                status=1
            }
        fi
    done
    echo "$lms $lkib ${lload:-0}" >>"$work/l"
    echo "$nms $nkib" >>"$work/n"
    awk -v r="$round" -v lms="$lms" -v lkib="$lkib" -v ln="$ln" -v ll="${lload:-?}" \
        -v nms="$nms" -v nkib="$nkib" -v nn="$nn" 'BEGIN {
        printf "%8d %10d %10.1f %6d %10s %10d %10.1f %6d\n",
            r, lms, lkib / 1024, ln, ll, nms, nkib / 1024, nn }'
done
lms=$(cut -d' ' -f1 "$work/l" | median)
nms=$(cut -d' ' -f1 "$work/n" | median)
lkib=$(cut -d' ' -f2 "$work/l" | median)
nkib=$(cut -d' ' -f2 "$work/n" | median)
lload=$(cut -d' ' -f3 "$work/l" | median)
range() { cut -d' ' -f1 "$1" | sort -n | sed -n '1p;$p' | paste -sd-; }
awk -v lms="$lms" -v lkib="$lkib" -v ll="$lload" -v nms="$nms" -v nkib="$nkib" \
    'BEGIN { printf "%8s %10d %10.1f %6s %10d %10d %10.1f\n", "median", lms, lkib / 1024, "",
                    ll, nms, nkib / 1024 }'
printf '%8s %10s %10s %6s %10s %10s\n' range "$(range "$work/l")" "" "" "" "$(range "$work/n")"
awk -v l="$lms" -v n="$nms" -v lk="$lkib" -v nk="$nkib" 'BEGIN {
    r = l / n
    printf "ratio with lists / without (medians): time %.3f (%s), memory %.3f (+%.1f MiB, no target);\n",
        r, r <= 1.05 ? "met" : "MISSED", lk / nk, (lk - nk) / 1024
    printf "target at most 1.05 for the time\n"
    exit r <= 1.05 ? 0 : 1
}' || status=1
# For information: the first start, when the lists are compiled and cached.
rm -f "$cache"
logged=$(lists_log | wc -l)
start_once "$quillow" "$work/r"
read -r fms fkib _ <"$work/r"
fload=$(load_ms "$logged" no)
[[ -n $fload && -s $cache ]] || {
    echo "the first start did not compile and cache the lists" >&2
    status=1
}
awk -v f="$fms" -v fk="$fkib" -v fl="${fload:-?}" -v n="$nms" 'BEGIN {
    printf "first start, no cache: %d ms (%.3f of the median without lists), %.1f MiB;\n",
        f, f / n, fk / 1024
    printf "the lists compiled in %s ms (no target)\n", fl }'

echo
echo "== Blocking's cost where users pay it: the program with and without --no-content-blocking,"
echo "   interleaved, on plain pages, a page of frames and a page of ads"
"$build/bench/blocking_cost" "$build/quillow" 7 2>>"$work/stderr" || status=1

echo
echo "== Hostile lists: what lists made to hurt cost to compile, hold and decide"
"$build/bench/hostile_lists" 2>>"$work/stderr" || status=1

echo
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
