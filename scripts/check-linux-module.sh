#!/usr/bin/env bash
# Checks that the Linux module was built hardened, from readelf's view of it:
#   check-linux-module.sh libBmpFilter.so
# relocations bound at load (BIND_NOW) and then read-only (GNU_RELRO), a stack
# that cannot execute (GNU_STACK without E), and the stack protector's failure
# handler imported (__stack_chk_fail). One FAIL line per missing protection;
# exits 1 when there is any.
set -euo pipefail
module=${1:?usage: check-linux-module.sh MODULE}
failures=0
fail() {
    echo "FAIL: $module: $*"
    failures=$((failures + 1))
}
dynamic=$(readelf -dW "$module")
segments=$(readelf -lW "$module")
symbols=$(readelf --dyn-syms -W "$module")

grep -Eq '\(BIND_NOW\)|\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*\bNOW\b' <<<"$dynamic" || fail "relocations not bound at load (no BIND_NOW)"
grep -q '^ *GNU_RELRO ' <<<"$segments" || fail "no read-only relocations (no GNU_RELRO)"
# The flags are the field before the alignment; no GNU_STACK at all means an
# executable stack.
stack=$(awk '$1 == "GNU_STACK" { print $(NF - 1) }' <<<"$segments")
[[ -n $stack && $stack != *E* ]] || fail "executable stack (GNU_STACK flags '${stack:-none}')"
grep -Eq ' UND __stack_chk_fail(@|$)' <<<"$symbols" || fail "no stack protector (__stack_chk_fail not imported)"

echo "$module: hardening check $([ $failures -eq 0 ] && echo passed || echo FAILED) ($failures failures)"
[ $failures -eq 0 ]
