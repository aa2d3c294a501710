#!/usr/bin/env bash
# The compressed stored forms are real bzip2 streams, checked with the native
# bzip2 command: the engine test stores files of 0, 1, 16,383, 16,384, 16,385
# and about 1 MiB bytes (text and random) and leaves the sources, the plain
# streams and the encrypted streams decrypted by its own textbook RC4; here
# every stream must decompress to its source, and bzip2 -9 of each source
# must give the stored stream byte for byte.
set -uo pipefail
top=$1
bin=$2
source "$top/scripts/wine-env.sh"

name="golden-$$"
dir="$WINEPREFIX/drive_c/bwtest/$name"
log="$WINEPREFIX/drive_c/bwtest/$name.log"
mkdir -p "$WINEPREFIX/drive_c/bwtest"
rm -rf "$dir"
trap 'rm -rf "$dir" "$log"' EXIT

BW_GOLDEN_DIR="C:\\bwtest\\$name" "$WINE" "$bin/tests/engine_tests.exe" \
    --gtest_filter=StoredFileTest.EveryFormMatchesTheReferenceAndRestores \
    >"$log" 2>&1 </dev/null
status=$?
if [ $status != 0 ]; then
    cat "$log"
    echo "the engine test failed ($status)"
    exit 1
fi

passed=0
failed=0
check() {
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $*"; fi
}
decodes() { bzip2 -dc "$1" | cmp -s - "$2"; }
encodes() { bzip2 -9 -c "$1" | cmp -s - "$2"; }
for src in "$dir"/*.src; do
    [ -e "$src" ] || continue
    base=${src%.src}
    check decodes "$base.bz2" "$src"
    check decodes "$base.bz2rc4.bz2" "$src"
    check encodes "$src" "$base.bz2"
done
if [ $passed -ne 36 ]; then
    echo "expected 36 checks over 12 files, ran $passed"
    failed=$((failed + 1))
fi
echo "$passed passed, $failed failed"
[ $failed = 0 ]
