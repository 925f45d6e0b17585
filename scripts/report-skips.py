#!/usr/bin/env python3
"""Lists the tests CTest skipped, each with its reason, from the JUnit files
of the runs (ctest --output-junit).

  scripts/report-skips.py [--strict] ALLOWED PRESET=JUNIT...

A test that cannot run here exits 77 and says why: a GoogleTest program in
"skipped: <case>: <reason>" lines (tests/TestMain.cpp), any other test in the
last line of its output. ALLOWED lists the skips no machine can avoid, one a
line: "<preset> <name> <why>", where <name> is a test's or a case's name and
"*" in either field matches anything. With --strict every other skip fails.
"""

import fnmatch
import sys
import xml.etree.ElementTree as ET


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
    """(name, reason) for each skipped case of one skipped CTest test."""
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


def allowance(allowed, preset, test, case):
    for pattern_preset, pattern_name, why in allowed:
        if fnmatch.fnmatchcase(preset, pattern_preset) and (
            fnmatch.fnmatchcase(case, pattern_name) or fnmatch.fnmatchcase(test, pattern_name)
        ):
            return why
    return None


def main(argv):
    strict = "--strict" in argv
    args = [a for a in argv if a != "--strict"]
    if len(args) < 1:
        sys.exit(__doc__)
    allowed_path, runs = args[0], args[1:]
    allowed = read_allowed(allowed_path)
    lines, refused = [], 0
    for run in runs:
        preset, _, path = run.partition("=")
        for testcase in ET.parse(path).getroot().iter("testcase"):
            if testcase.get("status") != "notrun" or testcase.find("skipped") is None:
                continue
            for test, case, reason in skipped_units(testcase):
                why = allowance(allowed, preset, test, case)
                name = test if test.endswith(case) else "%s (%s)" % (test, case)
                if why is None:
                    refused += 1
                    lines.append("  %s: %s: %s" % (preset, name, reason))
                else:
                    lines.append("  %s: %s: %s [allowed: %s]" % (preset, name, reason, why))
    if not lines:
        print("skips: none")
        return 0
    print("skips:")
    print("\n".join(lines))
    if refused == 0:
        return 0
    if strict:
        print("skips: %d of these are not in %s; under CI a test that did not run fails the run." % (refused, allowed_path))
        return 1
    print("skips: %d of these would fail the run under CI (not in %s)." % (refused, allowed_path))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
