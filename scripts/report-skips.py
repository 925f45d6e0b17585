#!/usr/bin/env python3
"""Lists the tests CTest skipped, each with its reason, from the JUnit files
of the runs (ctest --output-junit), then per preset how many tests ran and
how many were skipped, by reason.

  scripts/report-skips.py [--strict] ALLOWED PRESET=JUNIT...

A test that cannot run here exits 77 and says why: a GoogleTest program in
"skipped: <case>: <reason>" lines (tests/TestMain.cpp), any other test in the
last line of its output. ALLOWED lists the skips no machine can avoid, one a
line: "<preset> <name> <why>", where <name> is a test's or a case's name and
"*" in either field matches anything. A <why> of the form "reason: <pattern>"
allows the skip only when its reason matches the pattern ("*" again), so
that a skip for another cause, in the same tests, is not let through. With
--strict every other skip fails.
"""

import fnmatch
import sys
import xml.etree.ElementTree as ET

REASON = "reason: "


def read_allowed(path):
    allowed = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            fields = line.split(None, 2)
            if len(fields) < 3:
                sys.exit("%s:%d: want <preset> <name> <why>" % (path, number))
            allowed.append(fields)
    return allowed


def skipped_units(testcase):
    """(test, case, reason) for each skipped case of one skipped CTest test."""
    # A parameterised case's name carries its parameter as a comment.
    test = testcase.get("name").split("  # ")[0]
    out = testcase.findtext("system-out") or ""
    lines = [line.strip() for line in out.splitlines() if line.strip()]
    units = []
    for line in lines:
        if line.startswith("skipped: "):
            case, _, reason = line[len("skipped: "):].partition(": ")
            units.append((test, case, reason))
    if not units:
        units.append((test, test, lines[-1] if lines else "(it printed no reason)"))
    return units


def allowance(allowed, preset, test, case, reason):
    for pattern_preset, pattern_name, why in allowed:
        if not fnmatch.fnmatchcase(preset, pattern_preset):
            continue
        if not (fnmatch.fnmatchcase(case, pattern_name) or fnmatch.fnmatchcase(test, pattern_name)):
            continue
        if not why.startswith(REASON):
            return why
        if fnmatch.fnmatchcase(reason, why[len(REASON):]):
            return "its reason is listed"
    return None


def main(argv):
    strict = "--strict" in argv
    args = [a for a in argv if a != "--strict"]
    if len(args) < 1:
        sys.exit(__doc__)
    allowed_path, runs = args[0], args[1:]
    allowed = read_allowed(allowed_path)
    # Skips of one preset with the same reason and verdict share a line:
    # a machine without Wine skips dozens of tests for one cause.
    groups, refused, totals = {}, 0, []
    for run in runs:
        preset, _, path = run.partition("=")
        ran = failed = skipped = other = 0
        reasons = {}
        for testcase in ET.parse(path).getroot().iter("testcase"):
            status = testcase.get("status")
            if status in ("run", "fail"):
                ran += 1
                failed += status == "fail"
                continue
            if testcase.find("skipped") is None:
                other += 1
                continue
            skipped += 1
            for test, case, reason in skipped_units(testcase):
                why = allowance(allowed, preset, test, case, reason)
                name = test if test.endswith(case) else "%s (%s)" % (test, case)
                groups.setdefault((preset, reason, why), []).append(name)
                reasons[reason] = reasons.get(reason, 0) + 1
                refused += why is None
        totals.append((preset, ran, failed, skipped, other, reasons))

    if not groups:
        print("skips: none")
    else:
        print("skips:")
        for (preset, reason, why), names in groups.items():
            verdict = "" if why is None else " [allowed: %s]" % why
            print("  %s: %s: %s%s" % (preset, ", ".join(names), reason, verdict))
    print("tests per preset:")
    width = max([len(t[0]) for t in totals] + [0])
    for preset, ran, failed, skipped, other, reasons in totals:
        counts = ["%3d ran" % ran, "%3d skipped" % skipped]
        if failed:
            counts.insert(1, "%d failed" % failed)
        if other:
            counts.append("%d not run" % other)
        print("  %-*s %s" % (width, preset, ", ".join(counts)))
        for reason, count in sorted(reasons.items(), key=lambda item: -item[1]):
            print("  %-*s   %3d: %s" % (width, "", count, reason))
    if refused == 0:
        return 0
    if strict:
        print("skips: %d of these are not in %s; under CI a test that did not run fails the run." % (refused, allowed_path))
        return 1
    print("skips: %d of these would fail the run under CI (not in %s)." % (refused, allowed_path))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
