#!/usr/bin/env bash
# korvalindd started by hand, without the service control manager: it must
# write the dispatcher's failure to the event log and end. Wine writes the
# event log to the program's error channel, with the channel switched on here.
#   session_test.sh TEST_SERVICE_EXE KORVALINDD_EXE
# Runs inside the sandbox, with KORVALIND_BINARY_DIR set.
set -u
test_exe=$1
korvalindd=$2
"$(dirname "$0")/../../tools/sandbox" --check || exit 1

dir="$KORVALIND_BINARY_DIR/test-data/session/no control manager"
rm -rf "$dir"
mkdir -p "$dir"
cp "$korvalindd" "$dir/korvalindd.exe"
printf '[LOGGING]\r\nLevel=40\r\n' > "$dir/korvalind.ini"
(cd "$dir" && WINEDEBUG=-all,err+eventlog timeout 60 wine ./korvalindd.exe 2> stderr.txt; echo $? > exit-code.txt)

# The check itself is a step of the test program, disabled in its own run;
# run-gtest fails it when the filter finds no case, as after a rename.
report="$dir/check.xml"
windows_report="Z:${report//\//\\}"
WINEDEBUG=-all "$(dirname "$0")/../../tools/run-gtest" "$report" -- wine "$test_exe" --gtest_also_run_disabled_tests \
  --gtest_filter=Session.DISABLED_StartedWithoutTheControlManager "--gtest_output=xml:$windows_report"
