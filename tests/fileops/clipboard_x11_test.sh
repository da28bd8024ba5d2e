#!/usr/bin/env bash
# The clipboard exchange with other programs: clipboard_tests' exchange case on an X server of
# its own, with xclip as the other program. Usage: clipboard_x11_test.sh <clipboard_tests>
set -u

source "$(dirname "$0")/../support/xsession.sh"
needs_tools Xvfb xclip
start_x
"$1" exchangeWithOtherPrograms >"$work/clipboard.log" 2>&1 || fail "the exchange failed"
grep -q '^PASS   : ClipboardTest::exchangeWithOtherPrograms()' "$work/clipboard.log" ||
    fail "the exchange did not run"
check_sanitizer_reports "$work/clipboard.log"
echo "PASS: clipboard exchange with xclip on $DISPLAY"
