#!/usr/bin/env python3
"""Reads a file of planted faults, plants one, and writes the results table.

A fault file is a series of blocks:

    === id-of-the-fault
    file: src/some/file.cpp
    breaks: what the fault breaks, in one line
    --- old
    the exact text to replace (one or more whole or partial lines)
    --- new
    the text put in its place
    --- end

Between "--- old" and "--- end" every line is text (a '#' line too);
elsewhere lines starting with '#' are comments. The old text must occur
exactly once in the file, or the fault is "not found": a set can be checked
again against a changed tree.

Used by run.sh:
    faults.py ids FAULTS                      ids, one a line, with their files
    faults.py check FAULTS ROOT               each fault found once or not
    faults.py apply FAULTS ROOT ID            plants it (exit 3: not found)
    faults.py table FAULTS RESULTS OUT.md     prints the table, writes markdown
"""

import sys
from dataclasses import dataclass


@dataclass
class Fault:
    id: str
    file: str = ""
    breaks: str = ""
    old: str = ""
    new: str = ""


def read_faults(path):
    faults = []
    fault = None
    section = "head"
    old, new = [], []

    def close():
        if fault is None:
            return
        if section != "end":
            sys.exit(f"{path}: fault {fault.id} has no --- end")
        fault.old = "\n".join(old)
        fault.new = "\n".join(new)
        if not fault.file or not fault.old:
            sys.exit(f"{path}: fault {fault.id} needs a file and an old text")
        faults.append(fault)

    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f.read().split("\n"), 1):
            if line.startswith("=== "):
                close()
                fault = Fault(line[4:].strip())
                if any(x.id == fault.id for x in faults):
                    sys.exit(f"{path}:{number}: fault {fault.id} named twice")
                section, old, new = "head", [], []
            elif line == "--- old" and section == "head" and fault is not None:
                section = "old"
            elif line == "--- new" and section == "old":
                section = "new"
            elif line == "--- end" and section == "new":
                section = "end"
            elif section in ("head", "end") and (line.startswith("#") or not line.strip()):
                continue
            elif fault is None or section == "end":
                sys.exit(f"{path}:{number}: text outside a fault")
            elif section == "head":
                key, _, value = line.partition(":")
                if key not in ("file", "breaks"):
                    sys.exit(f"{path}:{number}: expected file:, breaks: or --- old")
                setattr(fault, key, value.strip())
            elif section == "old":
                old.append(line)
            else:
                new.append(line)
    close()
    return faults


def occurrences(root, fault):
    try:
        with open(f"{root}/{fault.file}", encoding="utf-8", newline="") as f:
            return f.read().count(fault.old)
    except FileNotFoundError:
        return 0


def plant(root, fault):
    path = f"{root}/{fault.file}"
    with open(path, encoding="utf-8", newline="") as f:
        text = f.read()
    if text.count(fault.old) != 1:
        return False
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text.replace(fault.old, fault.new))
    return True


def test_name(failed):
    once = failed.startswith("once:")
    name, _, reason = failed.removeprefix("once:").partition(":")
    text = f"`{name}`" + (f" ({reason.replace('_', ' ')})" if reason else "")
    return text + " failed once, then passed" if once else text


def cell(text):
    return text.replace("|", "\\|").replace("\n", " ")


def table(faults, results_path, out_path):
    # results: id, outcome, failed tests (name[:reason], comma separated), seconds
    results = {}
    header = {}
    with open(results_path, encoding="utf-8") as f:
        for line in f.read().splitlines():
            if line.startswith("#"):
                key, _, value = line[1:].partition("=")
                key = key.strip()
                if key == "again":
                    header[key] = header[key] + "; " + value.strip() if key in header else value.strip()
                else:
                    header[key] = value.strip()
                continue
            parts = line.split("\t")
            if len(parts) >= 3:
                results[parts[0]] = parts[1:]
    rows = [(x, results[x.id]) for x in faults if x.id in results]
    counted = [r for r in rows if r[1][0] in ("caught", "survived")]
    caught = sum(1 for r in counted if r[1][0] == "caught")
    percent = 100.0 * caught / len(counted) if counted else 0.0
    others = {o: sum(1 for r in rows if r[1][0] == o) for o in ("did not build", "not found")}

    totals = f"Caught {caught} of {len(counted)} planted faults ({percent:.1f} %)"
    extra = ", ".join(f"{n} {o}" for o, n in others.items() if n)
    if extra:
        totals += f"; not counted: {extra}"

    # The terminal's table.
    width = max([len(x.id) for x, _ in rows] + [5])
    print()
    print(f"{'fault':<{width}}  {'result':<13}  failed tests")
    for fault, (outcome, failed, *_) in rows:
        print(f"{fault.id:<{width}}  {outcome:<13}  {failed.replace(',', ', ')}")
    print()
    print(totals)

    lines = ["# Planted faults: results", ""]
    labels = {"tree": "tree", "faults": "faults", "tests": "tests", "date": "run",
              "time": "took", "again": "run again (the newest result counts)"}
    for key, label in labels.items():
        if key in header:
            lines.append(f"- {label}: {header[key]}")
    lines += ["", f"**{totals}.**", "",
              "A failed test was run again; one that then passed (\"failed once\") "
              "caught nothing.", "",
              "| # | fault | file | what it breaks | result | tests that failed |",
              "|---|---|---|---|---|---|"]
    for n, (fault, (outcome, failed, *_)) in enumerate(rows, 1):
        result = f"**{outcome}**" if outcome == "survived" else outcome
        tests = ", ".join(test_name(t) for t in failed.split(",")) if failed else ""
        lines.append(f"| {n} | `{fault.id}` | `{fault.file}` | {cell(fault.breaks)} "
                     f"| {result} | {tests} |")
    with open(out_path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    command, faults = argv[1], read_faults(argv[2])
    if command == "ids":
        for x in faults:
            print(f"{x.id}\t{x.file}")
    elif command == "check":
        missing = 0
        for x in faults:
            n = occurrences(argv[3], x)
            status = "found" if n == 1 else ("not found" if n == 0 else f"found {n} times")
            missing += n != 1
            print(f"{x.id}\t{x.file}\t{status}")
        print(f"{len(faults) - missing} of {len(faults)} found once")
        return 1 if missing else 0
    elif command == "apply":
        fault = next((x for x in faults if x.id == argv[4]), None)
        if fault is None:
            sys.exit(f"no fault {argv[4]}")
        return 0 if plant(argv[3], fault) else 3
    elif command == "table":
        table(faults, argv[3], argv[4])
    else:
        sys.exit(__doc__)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
