#!/usr/bin/env bash
# The windows on a real X server: the Qt tests that need one run under Xvfb, once with the
# window's own choice (pictures through the connection) and once with shared memory, as the
# toolkit does elsewhere.
# Usage: tests/desktop/xserver-check.sh TARVEX_TEST_QT
# Exit status 77 (skipped) when xvfb-run is missing outside CI.
set -euo pipefail

if ! command -v xvfb-run >/dev/null; then
  echo "xserver-check: xvfb-run is missing (scripts/install-deps installs it)" >&2
  if [ -n "${CI:-}" ]; then exit 1; fi
  exit 77
fi
tests=$1
status=0
for shared in no yes; do
  echo "== shared memory: $shared"
  # Unset, the test program starts the toolkit as Qt does by default: with shared memory.
  if [ "$shared" = no ]; then export QT_XCB_NO_MITSHM=1; else unset QT_XCB_NO_MITSHM; fi
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
    "$tests" --gtest_filter='*OnAnXServer*' || status=1
done
exit $status
