#!/usr/bin/env bash
# Every program the packages ship carries the manifest Windows reads before
# it starts it, in both builds: the rights it asks for (no elevation prompt
# for the programs a cashier or technician runs), the Windows versions it
# supports (7, 8, 8.1, 10 and 11; without them Windows runs it with older
# versions' behaviour) and, for the windowed programs, system DPI awareness
# (drawn at a scaled screen's own size instead of stretched as a bitmap).
#
#   manifest_test.sh PACKAGE_BIN_DIR...    (the stripped, signed files)
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/cases.sh"

# program, execution level, DPI awareness ("-" for a console program)
programs=(
  "Q5RSetup.exe asInvoker true"
  "KvOposSetup.exe requireAdministrator true"
  "q5rcfg.exe asInvoker -"
  "kvoposcfg.exe asInvoker -"
)
supported="{1f676c76-80e1-4239-95bb-83d0f6d0da78} {35138b9a-5d96-4fbd-8e2d-a2440225f93a} {4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38} {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"

xpath() { xmllint --xpath "$1" - 2>/dev/null <<<"$manifest"; }

for dir in "$@"; do
  tree=$(basename "$(dirname "$(dirname "$dir")")")
  for row in "${programs[@]}"; do
    read -r program level dpi <<<"$row"
    manifest=$(wrestool -x --raw -t 24 "$dir/$program" 2>/dev/null)
    [ -n "$manifest" ]; result "$tree $program: has a manifest" $?
    [ -n "$manifest" ] || continue
    got=$(xpath 'string(//*[local-name()="requestedExecutionLevel"]/@level)')
    [ "$got" = "$level" ]; result "$tree $program: asks for $level" $? "got \"$got\""
    got=$(xpath '//*[local-name()="supportedOS"]/@Id' | tr ' ' '\n' | sed -n 's/^Id="\(.*\)"$/\1/p' | sort | tr '\n' ' ')
    [ "$got" = "$supported " ]; result "$tree $program: supports Windows 7, 8, 8.1, 10 and 11" $? "got \"$got\""
    if [ "$dpi" != - ]; then
      got=$(xpath 'string(//*[local-name()="dpiAware"])')
      [ "$got" = "$dpi" ]; result "$tree $program: system DPI aware" $? "got \"$got\""
    fi
  done
done

report manifests
