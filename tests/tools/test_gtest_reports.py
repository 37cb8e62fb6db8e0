"""A GoogleTest program counts as passed only with a complete report.

tools/run-gtest gives CTest its verdict, tools/test_summary.py the closing line;
both must count a program that was ended before its last case as failed, even
when it exited 0 (as Wine's programs do when their server ends them).
"""
import contextlib
import io
import os
import shutil
import subprocess
import sys
import tempfile
import textwrap
import time
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOLS = os.path.join(REPO, "tools")
sys.path.insert(0, TOOLS)
import test_summary  # noqa: E402

COMPLETE = textwrap.dedent("""\
    <?xml version="1.0" encoding="UTF-8"?>
    <testsuites tests="4" failures="1" disabled="1" errors="0" name="AllTests">
      <testsuite name="Suite" tests="4">
        <testcase name="Passes" status="run" result="completed"/>
        <testcase name="Fails" status="run" result="completed"><failure message="no"/></testcase>
        <testcase name="DISABLED_Off" status="notrun" result="suppressed"/>
        <testcase name="Skips" status="run" result="skipped"><skipped/></testcase>
      </testsuite>
    </testsuites>
    """)
# --gtest_also_run_disabled_tests: the case ran, the totals still call it disabled.
RUN_DISABLED = textwrap.dedent("""\
    <?xml version="1.0" encoding="UTF-8"?>
    <testsuites tests="1" failures="0" disabled="1" errors="0" name="AllTests">
      <testsuite name="Session" tests="1" disabled="1">
        <testcase name="DISABLED_Step" status="run" result="completed"/>
      </testsuite>
    </testsuites>
    """)
# How long a child of the program keeps its output open.
LINGERING_CHILD_SECONDS = 20
# What a filter that matches no test leaves.
NONE_PASSED = textwrap.dedent("""\
    <?xml version="1.0" encoding="UTF-8"?>
    <testsuites tests="0" failures="0" disabled="0" errors="0" name="AllTests">
    </testsuites>
    """)
# The totals promise more cases than the report lists.
SHORT = COMPLETE.replace('tests="4" failures', 'tests="5" failures')


class Reports(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.report = os.path.join(self.dir, "program.xml")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def write(self, text):
        with open(self.report, "w") as f:
            f.write(text)

    def test_a_report_counts_only_when_complete(self):
        cases = [
            ("complete", COMPLETE, (1, 1)),
            ("a disabled case run on request", RUN_DISABLED, (1, 0)),
            ("cut off while written", COMPLETE[: len(COMPLETE) // 2], None),
            ("fewer cases than its totals", SHORT, None),
            ("empty", "", None),
        ]
        for name, text, counts in cases:
            with self.subTest(name):
                self.write(text)
                self.assertEqual(test_summary.read_gtest_report(self.report), counts)
        os.remove(self.report)
        self.assertIsNone(test_summary.read_gtest_report(self.report))

    def test_run_gtest_fails_a_program_that_ended_early(self):
        run_gtest = os.path.join(TOOLS, "run-gtest")
        write_complete = "cat > '%s' <<'EOF'\n%sEOF\n" % (self.report, COMPLETE)
        cases = [
            ("exit 0 with a complete report", write_complete, 0),
            ("exit 0, leaving only the report of an earlier run", "true", 1),
            ("exit 0 with a report cut off", "printf '<testsuites tests=\"4\">' > '%s'" % self.report, 1),
            ("ended by a signal after its report", write_complete + "kill -9 $$", 1),
            ("its own failure", "exit 3", 3),
            ("exit 0 with a complete report of no passed case",
             "cat > '%s' <<'EOF'\n%sEOF\n" % (self.report, NONE_PASSED), 1),
        ]
        for name, script, status in cases:
            with self.subTest(name):
                self.write(COMPLETE)  # an earlier run's report
                run = subprocess.run([run_gtest, self.report, "--", "sh", "-c", script], capture_output=True)
                self.assertEqual(run.returncode, status, run.stderr)

    def test_run_gtest_ends_with_its_program_though_a_child_keeps_the_output(self):
        # As Wine's server does, started by the first program of a prefix.
        run_gtest = os.path.join(TOOLS, "run-gtest")
        script = "cat > '%s' <<'EOF'\n%sEOF\nsleep %d &\n" % (self.report, COMPLETE.replace(
            'failures="1"', 'failures="0"').replace('<failure message="no"/>', ""), LINGERING_CHILD_SECONDS)
        start = time.monotonic()
        run = subprocess.run([run_gtest, self.report, "--", "sh", "-c", script], capture_output=True,
                             timeout=LINGERING_CHILD_SECONDS)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertLess(time.monotonic() - start, LINGERING_CHILD_SECONDS / 2)

    def test_summary_fails_a_passed_program_without_its_report(self):
        # A CTest folder of two tests that CTest saw pass: a GoogleTest program
        # that left no report, and a plain test.
        with open(os.path.join(self.dir, "CTestTestfile.cmake"), "w") as f:
            f.write("add_test(program true)\nset_tests_properties(program PROPERTIES LABELS gtest)\n"
                    "add_test(script true)\n")
        results = os.path.join(self.dir, "test-results")
        os.makedirs(results)
        with open(os.path.join(results, "ctest.xml"), "w") as f:
            f.write('<testsuite><testcase name="program" status="run"/><testcase name="script" status="run"/>'
                    "</testsuite>")
        with contextlib.redirect_stderr(io.StringIO()) as said:
            self.assertEqual(test_summary.count_build(self.dir), (1, 1))
        self.assertIn("program left no complete report", said.getvalue())
        with open(os.path.join(results, "program.xml"), "w") as f:
            f.write(COMPLETE)
        # Its cases count now; the failed one among them too.
        self.assertEqual(test_summary.count_build(self.dir), (2, 1))


if __name__ == "__main__":
    unittest.main()
