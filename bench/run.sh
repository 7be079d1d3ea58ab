#!/usr/bin/env bash
# Times etal, with its defaults and with `-k 1 --fields=author,editor`,
# against the floor of a per-line filter (one write per line and nothing
# else), against the same rule in perl and awk, and against release 1.3.0;
# times `etal -i` against a copy made durable and `etal --check` against
# `wc -l` on files of about 110 MB, each against 1.3.0 too; then counts its
# writes, measures its memory, and runs the micro-benchmarks of the rule;
# last, times the web page on a 110 MB file against `etal -i`, and 1.3.0's
# page, alone and after the corpus's files (bench/web.mjs).
#
# usage: bench/run.sh [--quick] [--against COMMIT] [--rounds N]
#   --quick: small inputs and one round, to check that the benchmark works.
#   --against COMMIT: set every figure against the release at COMMIT instead.
#   --rounds N: rounds of each comparison, each tool once a round, in turn.
# Nothing here passes or fails on a figure: it prints them.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
entries=46700   # about 420,000 lines
short_entries=60000
large_entries=218000  # about 110 MB
copies=25       # of the corpus, about 110 MB
rounds=11
long_line_mb=64
micro_time=0.5
web_rounds=5
# Release 1.3.0, whose figures each of these is set against: built from its
# commit where this is a clone that has it.
baseline_commit=89fa259
baseline=1.3.0
while [ $# -gt 0 ]; do
    case $1 in
    --quick) entries=300 short_entries=300 large_entries=600 copies=1 rounds=1 long_line_mb=1 micro_time=0.01 web_rounds=1 ;;
    --against) baseline_commit=$2 baseline=$2; shift ;;
    --rounds) rounds=$2; shift ;;
    *) echo "usage: bench/run.sh [--quick] [--against COMMIT] [--rounds N]" >&2; exit 2 ;;
    esac
    shift
done

build=$root/build-bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DETAL_TESTS=OFF -DETAL_BENCH=ON >/dev/null
cmake --build "$build" >/dev/null
etal=$build/etal
floor=$build/bench/floor
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

old=
if git -C "$root" cat-file -e "$baseline_commit^{commit}" 2>/dev/null; then
    mkdir "$work/baseline"
    git -C "$root" archive "$baseline_commit" | tar -x -C "$work/baseline"
    cmake -S "$work/baseline" -B "$work/baseline/build" -DCMAKE_BUILD_TYPE=Release -DETAL_TESTS=OFF >/dev/null
    cmake --build "$work/baseline/build" >/dev/null
    old=$work/baseline/build/etal
fi

# Wall time of one command in microseconds, its output thrown away.
time_us() {
    local start=$EPOCHREALTIME
    "$@" >/dev/null
    local end=$EPOCHREALTIME
    echo $(( (${end/./} - ${start/./}) ))
}

# A journal's rule over two fields: the lines from each cut wait for the count.
options=(-k 1 --fields=author,editor)
tools=(etal options floor perl awk)
[ -n "$old" ] && tools+=(old)

run_tool() {  # tool input output
    case $1 in
    etal) "$etal" "$2" "$3" ;;
    options) "$etal" "${options[@]}" 6 "$2" "$3" ;;
    floor) "$floor" "$2" "$3" ;;
    perl) perl "$root/bench/etal.pl" "$2" "$3" ;;
    awk) awk -v out="$3" -f "$root/bench/etal.awk" "$2" ;;
    old) "$old" "$2" "$3" ;;
    esac
}
# A figure of the baseline's, where it was built.
old_ratio() { if [ -n "$old" ]; then ratio "$@"; else echo "-"; fi; }
old_ms() { if [ -n "$old" ]; then printf "%.1f" "${ms[$1]}"; else echo "-"; fi; }

ratios() {  # one tool / another, for each round in $work/times
    awk -v t="$1" -v o="$2" '$2 == t { e[$1] = $3 } $2 == o { d[$1] = $3 } END { for (r in e) printf "%.3f\n", e[r] / d[r] }' \
        "$work/times"
}
ratio() { ratios "$@" | median; }
worst() { ratios "$@" | sort -n | tail -n 1; }
# The median time in ms of each tool named, from $work/times, into ms[tool].
median_ms() {
    declare -gA ms=()
    for tool in "$@"; do
        ms[$tool]=$(awk -v t="$tool" '$2 == t { print $3 / 1000 }' "$work/times" | median)
    done
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

perl "$root/bench/make_input.pl" "$entries" > "$work/generated.bib"
# The same kind of entries with every list one name a line, as dblp writes.
perl "$root/bench/make_input.pl" --wrapped $((entries / 3)) > "$work/wrapped.bib"
# Seven short lines an entry: what the rule spends on a line it passes shows.
perl "$root/bench/make_input.pl" --short "$short_entries" > "$work/short.bib"
inputs=(generated wrapped short)
# Files of about 110 MB for the forms that write no line at a time.
perl "$root/bench/make_input.pl" "$large_entries" > "$work/generated_110.bib"
large_inputs=(generated_110)
if [ -d "$root/../shared/corpus" ]; then
    cat "$root"/../shared/corpus/*.bib > "$work/corpus.bib"
    inputs+=(corpus)
    for _ in $(seq "$copies"); do cat "$work/corpus.bib"; done > "$work/corpus_x$copies.bib"
    large_inputs+=("corpus_x$copies")
fi

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(uname -sr)"
echo "awk is $(readlink -f "$(command -v awk)"); $rounds round(s); times in ms, medians;"
echo "options is etal ${options[*]} 6; worst is the largest etal/floor of a round;"
echo "$baseline is the release at commit $baseline_commit, $([ -n "$old" ] && echo "built here" || echo "not built: not in this clone")"
echo
echo "| input | lines | etal | options | floor | perl | awk | $baseline | etal/floor | worst | options/floor | etal/perl | etal/awk | etal/$baseline |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for input in "${inputs[@]}"; do
    file=$work/$input.bib
    for ((round = 1; round <= rounds; round++)); do
        for tool in "${tools[@]}"; do
            echo "$round $tool $(time_us run_tool "$tool" "$file" "$work/out.$tool")"
        done
    done > "$work/times"
    median_ms "${tools[@]}"
    printf "| %s | %d | %.1f | %.1f | %.1f | %.1f | %.1f | %s | %.2f | %.2f | %.2f | %.2f | %.2f | %s |\n" "$input" \
        "$(wc -l < "$file")" "${ms[etal]}" "${ms[options]}" "${ms[floor]}" "${ms[perl]}" "${ms[awk]}" \
        "$(old_ms old)" "$(ratio etal floor)" "$(worst etal floor)" "$(ratio options floor)" \
        "$(ratio etal perl)" "$(ratio etal awk)" "$(old_ratio etal old)"
done
echo

# A file rewritten in place, or only checked, has no reader to wait for: it
# goes in large blocks. The least a safe rewrite must do is copy the file
# and make the copy durable; the least a check must do is read it.
copy_durably() { cat "$1" > "$2" && sync "$2"; }
block_tools=(in_place copy_durably check wc)
[ -n "$old" ] && block_tools+=(old_in_place old_check)
run_block_tool() {  # tool input
    case $1 in
    in_place) "$etal" -i "$2" ;;
    old_in_place) "$old" -i "$2" ;;
    copy_durably) copy_durably "$2" "$work/durable.bib" ;;
    check) "$etal" --check "$2" || [ $? -eq 1 ] ;;
    old_check) "$old" --check "$2" || [ $? -eq 1 ] ;;
    wc) wc -l "$2" ;;
    esac
}
echo "in_place is etal -i on a fresh copy each round, copy_durably is cat FILE > OTHER && sync OTHER,"
echo "check is etal --check; worst is the largest ratio of a round; $baseline's in its columns"
echo
echo "| input | MB | etal -i | $baseline -i | cat + sync | -i/(cat + sync) | worst | -i/$baseline | etal --check | $baseline --check | wc -l | check/wc | worst | check/$baseline |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for input in "${large_inputs[@]}" "${inputs[@]}"; do
    for ((round = 1; round <= rounds; round++)); do
        for tool in "${block_tools[@]}"; do
            cp "$work/$input.bib" "$work/in_place.bib"
            sync "$work/in_place.bib"
            file=$work/$input.bib
            case $tool in *in_place) file=$work/in_place.bib ;; esac
            echo "$round $tool $(time_us run_block_tool "$tool" "$file")"
        done
    done > "$work/times"
    median_ms "${block_tools[@]}"
    printf "| %s | %d | %.1f | %s | %.1f | %.2f | %.2f | %s | %.1f | %s | %.1f | %.2f | %.2f | %s |\n" "$input" \
        "$(($(stat -c %s "$work/$input.bib") / 1000000))" "${ms[in_place]}" "$(old_ms old_in_place)" \
        "${ms[copy_durably]}" "$(ratio in_place copy_durably)" "$(worst in_place copy_durably)" \
        "$(old_ratio in_place old_in_place)" "${ms[check]}" "$(old_ms old_check)" "${ms[wc]}" "$(ratio check wc)" \
        "$(worst check wc)" "$(old_ratio check old_check)"
done
echo

for run in "generated 3" "wrapped 3" "short 3" "generated ${options[*]} 3" "wrapped ${options[*]} 3"; do
    read -r input args <<< "$run"
    # shellcheck disable=SC2086 # the options, a word each
    if strace -qq -o "$work/trace" -e trace=write,writev,pwrite64,pwritev "$etal" $args "$work/$input.bib" "$work/out" 2>/dev/null; then
        printf "%s, etal %s: writes per output line: %s (%d writes, %d lines)\n" "$input" "$args" \
            "$(awk -v w="$(wc -l < "$work/trace")" -v l="$(wc -l < "$work/out")" 'BEGIN { printf "%.4f", w / l }')" \
            "$(wc -l < "$work/trace")" "$(wc -l < "$work/out")"
    else
        echo "writes per output line: strace unavailable"
    fi
done
for input in generated short; do
    cp "$work/$input.bib" "$work/in_place.bib"
    if strace -qq -o "$work/trace" -e trace=write "$etal" -i 3 "$work/in_place.bib" 2>/dev/null; then
        printf "%s, etal -i 3: %d writes for %d lines\n" "$input" "$(wc -l < "$work/trace")" "$(wc -l < "$work/in_place.bib")"
    fi
done

peak_kb() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }
for input in generated wrapped short; do
    for _ in 1 2 3 4; do cat "$work/$input.bib"; done > "$work/four.bib"
    for args in 3 "${options[*]} 3"; do
        # shellcheck disable=SC2086
        once=$(peak_kb "$etal" $args "$work/$input.bib" "$work/out")
        # shellcheck disable=SC2086
        four=$(peak_kb "$etal" $args "$work/four.bib" "$work/out")
        echo "$input, etal $args: peak memory $once KB on the input, $four KB on it four times ($((four - once)) KB more)"
    done
done
echo

# One line of about N MB holding ~N/6 million separators, and the same
# without the keyword, both at the largest count: the scan must stay linear.
separators=$((long_line_mb * 1024 * 1024 / 6))
perl -e 'print "author = {", "A and " x $ARGV[0], "A},\n"' "$separators" > "$work/with.bib"
perl -e 'print "editor = {", "A and " x $ARGV[0], "A},\n"' "$separators" > "$work/without.bib"
echo "| ${long_line_mb} MB line, count 2147483647 | ms (median of 3) | peak KB | peak / line size |"
echo "|---|---:|---:|---:|"
for kind in with without; do
    file=$work/$kind.bib
    t=$(for _ in 1 2 3; do time_us "$etal" 2147483647 "$file" "$work/out"; done | median)
    kb=$(peak_kb "$etal" 2147483647 "$file" "$work/out")
    printf "| %s the keyword (%d separators) | %.1f | %d | %.2f |\n" "$kind" "$separators" \
        "$(awk -v t="$t" 'BEGIN { print t / 1000 }')" "$kb" \
        "$(awk -v k="$kb" -v s="$(stat -c %s "$file")" 'BEGIN { print k * 1024 / s }')"
done
echo

"$build/bench/etal_micro" --benchmark_min_time="$micro_time"

# The page, on a file of about 110 MB (the corpus 25 times over, or generated
# entries), against etal -i on the same file and against 1.3.0's page: from
# the file being chosen to the download being ready, with its parts, and the
# table of cuts filled.
if command -v emcmake >/dev/null && [ -x /usr/bin/chromium ] && [ -d "$root/node_modules/playwright-core" ]; then
    echo
    emcmake cmake -S "$root" -B "$build-web" -DCMAKE_BUILD_TYPE=Release >/dev/null 2>&1
    cmake --build "$build-web" >/dev/null
    large=$work/${large_inputs[-1]}.bib
    native=$(for _ in $(seq "$rounds"); do
        cp "$large" "$work/in_place.bib" && sync "$work/in_place.bib"
        time_us "$etal" -i "$work/in_place.bib"
    done | median)
    page=$(node "$root/bench/web.mjs" "$build-web/site" "$large" "$web_rounds")
    ready=$(echo "$page" | sed 's/.*file_chosen_to_download_ready=\([0-9.]*\).*/\1/')
    echo "the page on $(($(stat -c %s "$large") / 1000000)) MB, medians of $web_rounds, ms: $page"
    awk -v p="$ready" -v n="$native" 'BEGIN { printf "etal -i on the same file: %.1f ms; the page takes %.2f times as long\n", n / 1000, p / (n / 1000) }'
    # The same page having shortened other files first, as a person does a
    # folder of exports: the corpus's, at three rules each.
    before=()
    [ -d "$root/../shared/corpus" ] && before=("$root"/../shared/corpus/*.bib)
    after=$(node "$root/bench/web.mjs" "$build-web/site" "$large" "$web_rounds" "${before[@]}")
    after_ready=$(echo "$after" | sed 's/.*file_chosen_to_download_ready=\([0-9.]*\).*/\1/')
    echo "the page on the same file after ${#before[@]} files at three rules each, ms: $after"
    awk -v p="$ready" -v a="$after_ready" 'BEGIN { printf "after them, the page takes %.2f times as long as alone\n", a / p }'
    if [ -n "$old" ]; then
        emcmake cmake -S "$work/baseline" -B "$work/baseline/build-web" -DCMAKE_BUILD_TYPE=Release >/dev/null 2>&1
        cmake --build "$work/baseline/build-web" >/dev/null
        old_page=$(node "$root/bench/web.mjs" "$work/baseline/build-web/site" "$large" "$web_rounds")
        old_ready=$(echo "$old_page" | sed 's/.*file_chosen_to_download_ready=\([0-9.]*\).*/\1/')
        echo "$baseline's page on the same file, ms: $old_page"
        awk -v p="$ready" -v o="$old_ready" -v b="$baseline" 'BEGIN { printf "the page takes %.2f times as long as %s'"'"'s\n", p / o, b }'
        old_after=$(node "$root/bench/web.mjs" "$work/baseline/build-web/site" "$large" "$web_rounds" "${before[@]}")
        old_after_ready=$(echo "$old_after" | sed 's/.*file_chosen_to_download_ready=\([0-9.]*\).*/\1/')
        echo "$baseline's page on the same file after the same files, ms: $old_after"
        awk -v p="$after_ready" -v o="$old_after_ready" -v b="$baseline" \
            'BEGIN { printf "after them, the page takes %.2f times as long as %s'"'"'s\n", p / o, b }'
    fi
else
    echo "the page: not timed (needs emcmake, /usr/bin/chromium and npm ci)"
fi
