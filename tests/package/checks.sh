# shellcheck shell=bash
# Shared by the shell tests here: each check prints one line, and the test fails at the end if any did.
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
check() { # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else fail "$what"; fi
}
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed"
        exit 1
    fi
}
