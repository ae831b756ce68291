#!/usr/bin/env bash
# The alerting rules shipped with the package: promtool accepts them, and
# their unit tests show each alert firing and clearing.
#   CheckAlertingRules.sh RULES TESTS
# Exit status 77 (skipped) where promtool (Debian's prometheus) is missing.
set -u
rules=$1 tests=$2
promtool=$(command -v promtool) || { echo "SKIPPED: promtool not found (scripts/deps.sh installs prometheus)"; exit 77; }
"$promtool" check rules "$rules" || exit 1
"$promtool" test rules "$tests" || exit 1
