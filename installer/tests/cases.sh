# Sourced by the installer's test scripts: one test case per check, "ok -"
# or "FAIL -" on the console, and the cases in a GoogleTest-style report
# where the test command collects them ($GTEST_OUTPUT), so its summary
# counts them.
passed=0
failed=0
cases=""
result() {  # result NAME STATUS [DETAIL]
  if [ "$2" -eq 0 ]; then
    passed=$((passed + 1)); echo "ok - $1"
    cases+="<testcase name=\"$1\"/>"
  else
    failed=$((failed + 1)); echo "FAIL - $1${3:+: $3}"
    cases+="<testcase name=\"$1\"><failure message=\"failed\"/></testcase>"
  fi
}
report() {  # report SUITE: the summary line, the report, the exit status
  echo "$1: $passed passed, $failed failed"
  if [[ "${GTEST_OUTPUT:-}" == xml:Z:* ]]; then
    local dir=${GTEST_OUTPUT#xml:Z:}
    dir=${dir//\\//}
    mkdir -p "$dir" && printf '<testsuites tests="%d" failures="%d" errors="0">%s</testsuites>\n' \
      $((passed + failed)) "$failed" "<testsuite name=\"$1\">$cases</testsuite>" >"$dir/$1_test.xml"
  fi
  [ "$failed" -eq 0 ]
}
