#!/usr/bin/env bash
# Every platform check, one after another, with the time each took: Linux aarch64 under qemu
# (C++ and Python), Windows x86-64 under wine (C++) and Clang with libc++ (C++ and Python). Each
# also runs alone: scripts/check_aarch64.sh, scripts/check_windows.sh, scripts/check_libcxx.sh.
# Fails when any of them fails, after running all. About 15 minutes on two cores.
set -uo pipefail
cd "$(dirname "$0")/.."

failed=()
times=()
for check in aarch64 windows libcxx; do
    started=$SECONDS
    bash "scripts/check_$check.sh" || failed+=("$check")
    times+=("$check: $((SECONDS - started)) s")
done
printf 'platform check %s\n' "${times[@]}"
if [ "${#failed[@]}" -gt 0 ]; then
    echo "platform checks failed: ${failed[*]}" >&2
    exit 1
fi
echo "all platform checks passed"
