"""Sums the results of a test run into one closing line: "N passed, N failed".

Each GoogleTest program writes its own XML report; CTest's JUnit report lists
every registered test. A test program that left no report (it crashed, or is
not a GoogleTest program) counts as one case with CTest's verdict.
"""
import argparse
import os
import sys
import xml.etree.ElementTree as ET


def gtest_counts(path):
    root = ET.parse(path).getroot()
    tests = int(root.get("tests", 0))
    failed = int(root.get("failures", 0)) + int(root.get("errors", 0))
    disabled = int(root.get("disabled", 0))
    skipped = sum(1 for case in root.iter("testcase") if case.find("skipped") is not None)
    return tests - disabled - skipped - failed, failed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--extra-passed", type=int, default=0)
    parser.add_argument("--extra-failed", type=int, default=0)
    parser.add_argument("dirs", nargs="+")
    args = parser.parse_args()

    passed, failed = args.extra_passed, args.extra_failed
    for d in args.dirs:
        ctest_report = os.path.join(d, "ctest.xml")
        if not os.path.exists(ctest_report):
            print(f"summary: no CTest report in {d}", file=sys.stderr)
            failed += 1
            continue
        for case in ET.parse(ctest_report).getroot().iter("testcase"):
            name = case.get("name")
            ctest_failed = case.find("failure") is not None or case.get("status") == "fail"
            report = os.path.join(d, f"{name}.xml")
            if os.path.exists(report):
                p, f = gtest_counts(report)
                if ctest_failed and f == 0:
                    f = 1  # the program failed after its cases passed (exit code, crash in teardown)
                passed += p
                failed += f
            elif case.get("status") == "notrun" or case.find("skipped") is not None:
                failed += 1 if ctest_failed else 0
            else:
                if ctest_failed:
                    failed += 1
                else:
                    passed += 1
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
