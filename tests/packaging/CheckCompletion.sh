#!/usr/bin/env bash
# The bash completion of calidorctl, sourced into a clean shell: for each
# command line (words as readline splits them, "=" on its own, the last word
# being completed) the candidates it offers.
set -u
export LC_ALL=C
source "$1" || { echo "cannot source $1"; exit 1; }
complete -p calidorctl >/dev/null || { echo "no completion registered for calidorctl"; exit 1; }

failures=0
check() {
    local expected=$1
    shift
    COMP_WORDS=(calidorctl "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _calidorctl
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    got=${got% }
    if [[ $got != "$expected" ]]; then
        echo "calidorctl $*|: expected [$expected], got [$got]"
        failures=$((failures + 1))
    fi
}

#     expected candidates (sorted)                     words
check "alert hash-password history list read schedule serve set watch" ""
check "--device --help --simulate --version"           "--"
check "read"                                           --simulate r
check "alert hash-password history list read schedule serve set watch" --device /dev/hidraw0 ""
check "alert hash-password history list read schedule serve set watch" --device = 2 ""
check "--device --format --help --simulate"            read --
check "--count --device --format --help --interval --output --simulate" watch --
check "--device --dry-run --help --mode --simulate --th --tl" set --
check "--alerts-config --discovery-prefix --help --history --history-days --history-flush --interval --listen --mqtt --mqtt-ca --mqtt-client-id --mqtt-password-file --no-discovery --no-history --ramp-minutes --simulate --topic-prefix --trust-clock --web-config" serve --
check "--device --format --from --help --history --points --simulate --to" history --
check "csv json"                                       history --from 2024-05-01 --format ""
check "import"                                         history i
check ""                                               serve --history-days ""
check "test"                                           alert ""
check "--alerts-config --help --simulate"              alert test --
check "clear pause resume set show"                    schedule ""
check "--device --help --history --simulate"           schedule pause --
check "mqtt:// mqtts://"                                serve --mqtt ""
check "--help --simulate"                              list --
check ""                                               serve --listen ""
check "--interval"                                     serve --listen 127.0.0.1 : 9830 --in
check "alert hash-password history list read schedule serve set watch" --listen = 0.0.0.0 : 9830 ""
check "10s 15s 1m 1s 500ms"                            --simulate serve --interval = ""
check "csv json prometheus text"                       read --format ""
check "json"                                           watch --format = j
check "csv json prometheus text"                       watch --format = ""
check "prometheus"                                     --simulate watch --interval 1s --format p
check "A B"                                            set --tl -12.5 --mode ""
check "B"                                              set --mode = B
check "10s 15s 1m 1s 500ms"                            watch --interval ""
check ""                                               set --tl ""
check ""                                               set --th = ""
check "--dry-run"                                      set --th 20 --dr
check ""                                               read -- ""
check "--interval"                                     --device 1 watch --in

# A file name after --output.
dir=$(mktemp -d)
touch "$dir/temps.csv" "$dir/temps.prom"
check "$dir/temps.csv"                                 watch --output "$dir/temps.c"
rm -r "$dir"

if ((failures)); then
    echo "$failures completion(s) wrong"
    exit 1
fi
echo "completion: all cases pass"
