#!/usr/bin/env bash
# Plants the faults of a set one at a time in the tree a build folder builds,
# rebuilds, runs the CTest tests, and records for each whether a test caught
# it, which tests failed, or that it did not build. The planted file is put
# back after each fault, also when the run is interrupted. See README.md.
set -uo pipefail

usage() {
    cat <<'EOF'
Usage: tools/mutants/run.sh [options] FAULTS BUILD_DIR

  -o, --output FILE         the results as markdown (default: FAULTS without
                            .txt, plus -results.md)
  -E, --exclude-label RE    tests not run, by CTest label (default: package;
                            '' runs every test)
  -L, --label RE            only the tests with this label
      --only ID[,ID...]     only these faults, added to the last run's results
  -j, --test-jobs N         CTest's parallel tests (default 1; the build
                            always uses one job)
      --no-baseline         skip building and testing the unchanged tree first
      --no-confirm          count a test failure at once (by default failed
                            tests run again, and only a second failure counts)
      --check               only tell whether each fault's text is found once
EOF
}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
exclude=package
include=
only=
out=
jobs=1
baseline=1
check_only=0
confirm=1
while [ $# -gt 0 ]; do
    case "$1" in
        -o | --output) out=$2; shift 2 ;;
        -E | --exclude-label) exclude=$2; shift 2 ;;
        -L | --label) include=$2; shift 2 ;;
        --only) only=$2; shift 2 ;;
        -j | --test-jobs) jobs=$2; shift 2 ;;
        --no-baseline) baseline=0; shift ;;
        --no-confirm) confirm=0; shift ;;
        --check) check_only=1; shift ;;
        -h | --help) usage; exit 0 ;;
        -*) echo "Unknown option: $1" >&2; usage >&2; exit 2 ;;
        *) break ;;
    esac
done
if [ $# -ne 2 ]; then
    usage >&2
    exit 2
fi
faults=$(realpath "$1")
build=$(realpath "$2")
[ -n "$out" ] || out="${faults%.txt}-results.md"
helper=(python3 "$here/faults.py")

# The tree is the one the build folder was configured from.
root=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt" 2>/dev/null)
if [ -z "$root" ] || [ ! -d "$root" ]; then
    echo "$build is not a configured CMake build folder" >&2
    exit 2
fi

if [ "$check_only" = 1 ]; then
    "${helper[@]}" check "$faults" "$root"
    exit $?
fi

state="$build/mutants"
mkdir -p "$state/logs"

# The planted file's original is kept in the build folder until it is back,
# so a run killed outright is repaired by the next one.
restore() {
    if [ -f "$state/planted" ]; then
        local file
        file=$(cat "$state/planted")
        # Written anew (not copied with its old time), so the next build
        # compiles it again.
        cat "$state/original" >"$root/$file" && touch "$root/$file" &&
            rm -f "$state/planted" "$state/original"
    fi
}
# The build and the tests run in a session of their own, waited for with
# `wait`, which a signal ends at once: an interrupt stops them and restores
# the planted file (a build or test that caught Ctrl+C itself would
# otherwise let the run go on).
child=
run_child() {  # log command...
    local log=$1
    shift
    setsid "$@" >"$log" 2>&1 &
    child=$!
    wait "$child"
    local rc=$?
    child=
    return "$rc"
}
interrupted() {
    if [ -n "$child" ]; then
        kill -TERM -- "-$child" 2>/dev/null
        wait "$child" 2>/dev/null
    fi
    restore
    echo
    echo "Interrupted: the planted file is restored; rebuild before using $build."
    exit 130
}
restore
trap restore EXIT
trap interrupted INT TERM HUP

if [ "$(id -u)" = 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
ctest_args=(--test-dir "$build" -j "$jobs" --output-on-failure)
[ -n "$exclude" ] && ctest_args+=(-LE "$exclude")
[ -n "$include" ] && ctest_args+=(-L "$include")
display=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    display=(xvfb-run -a -s "-screen 0 1280x1024x24")
fi

build_tree() {  # log
    run_child "$1" cmake --build "$build" -j1
}

# Runs the tests (in this shell, not a subshell, so that an interrupt
# finds them); sets `failed` to the failed ones as name[:reason], comma
# separated. Returns 0 when all passed, 1 when some failed, 2 when CTest
# itself failed.
run_tests() {  # log [ctest options]
    local log=$1
    shift
    run_child "$log" "${display[@]}" ctest "${ctest_args[@]}" "$@"
    local rc=$?
    failed=$(sed -n '/The following tests FAILED:/,$p' "$log" |
        sed -nE 's/^[[:space:]]+[0-9]+ - ([^ ]+) \((.*)\)$/\1:\2/p' |
        sed -E 's/:Failed$//; s/ /_/g' | paste -sd, -)
    if [ "$rc" = 0 ]; then return 0; fi
    if [ -n "$failed" ]; then return 1; fi
    return 2
}

# The failed tests run once more: a fault is caught by the tests that fail
# both times. One that passes the second time failed by chance (on a
# loaded machine an engine test can run out of time) and is listed as
# "once:NAME". Sets `outcome` and `failed`.
confirm() {  # log
    local first=$failed name
    if [ "$confirm" = 0 ]; then
        outcome=caught
        return
    fi
    run_tests "$1.again" --rerun-failed
    local again=",$failed,"
    outcome=survived
    failed=
    for name in ${first//,/ }; do
        if [[ "$again" == *",${name%%:*}"[,:]* ]]; then
            failed+="${failed:+,}$name"
            outcome=caught
        else
            failed+="${failed:+,}once:$name"
        fi
    done
}

test_count=$(ctest "${ctest_args[@]}" -N 2>/dev/null | sed -n 's/^Total Tests: //p')
tree="$(git -C "$root" rev-parse --short HEAD 2>/dev/null); src/ and tests/ as at $(
    git -C "$root" log -1 --format=%h -- src tests 2>/dev/null)"
if [ -n "$(git -C "$root" status --porcelain -- src tests 2>/dev/null)" ]; then
    tree="$tree, with uncommitted changes"
fi

if [ "$baseline" = 1 ]; then
    echo "Baseline: building and testing the tree as it is..."
    if ! build_tree "$state/logs/baseline.build.log"; then
        echo "The tree does not build: see $state/logs/baseline.build.log" >&2
        exit 1
    fi
    if ! run_tests "$state/logs/baseline.test.log"; then
        echo "Tests fail before any fault is planted: ${failed:-see $state/logs/baseline.test.log}" >&2
        exit 1
    fi
fi

mapfile -t lines < <("${helper[@]}" ids "$faults")
# A run of some faults (--only) adds to the last run's results: the table
# shows the newest result of each fault.
results="$state/results.tsv"
if [ -n "$only" ] && [ -f "$results" ]; then
    echo "# again=$only ($(date -u '+%Y-%m-%d %H:%M UTC'))" >>"$results"
else
    {
        echo "# tree=$tree"
        echo "# faults=${faults#"$root"/} (${#lines[@]})"
        echo "# tests=ctest${exclude:+ -LE $exclude}${include:+ -L $include} ($test_count tests)"
        echo "# date=$(date -u '+%Y-%m-%d %H:%M UTC')"
    } >"$results"
fi

total=${#lines[@]}
n=0
started=$SECONDS
ran=0
for line in "${lines[@]}"; do
    id=${line%%$'\t'*}
    file=${line#*$'\t'}
    n=$((n + 1))
    if [ -n "$only" ] && [[ ",$only," != *",$id,"* ]]; then
        continue
    fi
    t0=$SECONDS
    ran=$((ran + 1))
    printf '[%d/%d] %s (%s): ' "$n" "$total" "$id" "$file"
    failed=
    cp "$root/$file" "$state/original" 2>/dev/null || true
    echo "$file" >"$state/planted"
    "${helper[@]}" apply "$faults" "$root" "$id"
    rc=$?
    if [ "$rc" != 0 ]; then
        rm -f "$state/planted" "$state/original"
        outcome="not found"
        [ "$rc" = 3 ] || outcome="error"
    else
        touch "$root/$file"
        if ! build_tree "$state/logs/$id.build.log"; then
            outcome="did not build"
        else
            run_tests "$state/logs/$id.test.log"
            case $? in
                0) outcome=survived ;;
                1) confirm "$state/logs/$id.test.log" ;;
                *) outcome=error ;;
            esac
        fi
        restore
    fi
    echo "$outcome${failed:+ ($failed)} in $((SECONDS - t0)) s"
    printf '%s\t%s\t%s\t%s\n' "$id" "$outcome" "$failed" "$((SECONDS - t0))" >>"$results"
done
if [ -z "$only" ]; then
    echo "# time=$(((SECONDS - started) / 60)) min for $ran faults, one at a time" >>"$results"
fi

echo "Building the restored tree again..."
build_tree "$state/logs/restored.build.log" || echo "The restored tree did not build!" >&2
"${helper[@]}" table "$faults" "$results" "$out"
echo "Written: $out"
