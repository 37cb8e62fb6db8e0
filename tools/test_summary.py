"""Sums the results of a test run into one closing line: "N passed, N failed".

  test_summary.py [--extra-passed N] [--extra-failed N] BUILD_DIR...

CTest's JUnit report (BUILD_DIR/test-results/ctest.xml) lists every registered
test. A GoogleTest program (CTest label "gtest") counts by the cases of its own
report, BUILD_DIR/test-results/<name>.xml; one whose report is missing or
incomplete failed whatever its exit code, as a program that something else
ended can exit 0 before its last case. Any other test counts as one case with
CTest's verdict.
"""
import argparse
import json
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

GTEST_LABEL = "gtest"


def read_gtest_report(path):
    """(passed, failed) of a complete report; None when it is missing or incomplete.

    GoogleTest writes its report once all cases have run: the totals at the
    top match the cases listed below them.
    """
    try:
        root = ET.parse(path).getroot()
        tests = int(root.get("tests"))
        failed = int(root.get("failures", 0)) + int(root.get("errors", 0))
    except (OSError, ET.ParseError, TypeError, ValueError):
        return None
    cases = list(root.iter("testcase"))
    if root.tag != "testsuites" or len(cases) != tests:
        return None
    # A disabled case run on request (--gtest_also_run_disabled_tests) still
    # counts in the "disabled" total, so the cases are counted one by one; a
    # case without a status (a report of another writer) ran.
    passed = sum(1 for case in cases
                 if case.get("status") != "notrun" and all(case.find(tag) is None for tag in ("skipped", "failure", "error")))
    return passed, failed


def gtest_programs(build_dir):
    """Names of the build's tests that carry the GoogleTest label."""
    listing = subprocess.run(["ctest", "--test-dir", build_dir, "--show-only=json-v1"], capture_output=True,
                             text=True, check=True).stdout
    names = set()
    for test in json.loads(listing).get("tests", []):
        for prop in test.get("properties", []):
            if prop.get("name") == "LABELS" and GTEST_LABEL in prop.get("value", []):
                names.add(test["name"])
    return names


def count_build(build_dir):
    """(passed, failed) of one build's test run."""
    results = os.path.join(build_dir, "test-results")
    ctest_report = os.path.join(results, "ctest.xml")
    if not os.path.exists(ctest_report):
        print(f"summary: no CTest report in {results}", file=sys.stderr)
        return 0, 1
    programs = gtest_programs(build_dir)
    passed = failed = 0
    for case in ET.parse(ctest_report).getroot().iter("testcase"):
        name = case.get("name")
        ctest_failed = case.find("failure") is not None or case.get("status") == "fail"
        not_run = case.get("status") == "notrun" or case.find("skipped") is not None
        if not_run:
            failed += 1 if ctest_failed else 0
            continue
        if name not in programs:
            if ctest_failed:
                failed += 1
            else:
                passed += 1
            continue
        counts = read_gtest_report(os.path.join(results, f"{name}.xml"))
        if counts is None:
            print(f"summary: {name} left no complete report: it counts as failed", file=sys.stderr)
            failed += 1
            continue
        p, f = counts
        if ctest_failed and f == 0:
            f = 1  # the program failed after its cases passed (exit code, crash in teardown)
        passed += p
        failed += f
    return passed, failed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--extra-passed", type=int, default=0)
    parser.add_argument("--extra-failed", type=int, default=0)
    parser.add_argument("build_dirs", nargs="+")
    args = parser.parse_args()

    passed, failed = args.extra_passed, args.extra_failed
    for build_dir in args.build_dirs:
        p, f = count_build(build_dir)
        passed += p
        failed += f
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
