#!/usr/bin/env bash
# Local time follows the zone rules the process runs under: the foundation
# test of UtcToLocalTime run with TZ set to zones with and without daylight
# saving time. A skipped or failed run fails this test.
set -uo pipefail
top=$1
bin=$2
source "$top/scripts/wine-env.sh"
exe="$bin/tests/foundation_tests.exe"
status=0
for zone in Europe/Berlin America/New_York UTC; do
    # Through ctest's runner: a desktop process the program starts keeps
    # the program's own output open, and reading it here would wait for that.
    out=$(TZ=$zone "$top/cmake/wine-run.sh" "$exe" \
        --gtest_filter='UtilityTest.UtcToLocalTimeFollowsTheZoneRules' 2>&1 </dev/null)
    if ! grep -q '^\[  PASSED  \] 1 test' <<<"$out" || grep -q 'SKIPPED' <<<"$out"; then
        echo "TZ=$zone:"
        echo "$out"
        status=1
    fi
done
exit $status
