#!/usr/bin/env bash
# One check of the kernel suite, as the virtual machine left it: its outcome
# and, on failure, what it ran and saw.
RUN=$1
NAME=$2
if [ -f "$RUN/skipped" ]; then
    echo "SKIPPED: $(cat "$RUN/skipped")"
    exit 77
fi
f=$RUN/$NAME.result
if [ ! -f "$f" ]; then
    echo "the virtual machine left no result for $NAME"
    [ -f "$RUN/checks.log" ] && tail -n 20 "$RUN/checks.log"
    exit 1
fi
cat "$f"
case $(head -n 1 "$f") in
    "PASS $NAME") exit 0 ;;
    "SKIP $NAME"*) exit 77 ;;
    *) exit 1 ;;
esac
