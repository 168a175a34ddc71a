#!/usr/bin/env bash
# Speed of 'sonari-cli process' against the equivalent SoX chain on ten minutes of speech at
# 48 kHz, clipper on: five paired runs (SoX, then Sonari, alternating), CPU time, medians.
# The ratio is SoX's time over Sonari's: above 1, Sonari is the faster.
# Usage: bench/cli_vs_sox.sh [BUILD_DIR [OTHER_SONARI_CLI]]   (default: build; the other binary,
# e.g. an older build, is measured in the same pairs)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$build/bin/sonari-cli
other=${2:-}
for program in "$cli" espeak-ng sox soxi; do
    command -v "$program" >/dev/null || { echo "missing: $program" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Ten minutes of speech at 48 kHz: one spoken paragraph, repeated.
espeak-ng -w "$work/speech.wav" "CQ CQ CQ, this is a test of the transmit audio processor. \
Please copy, and give me a signal report. Over." 2>/dev/null
sox "$work/speech.wav" -r 48000 "$work/phrase.wav"
phrase=$(soxi -D "$work/phrase.wav")
repeats=$(awk -v p="$phrase" 'BEGIN { print int(600 / p) }')
sox "$work/phrase.wav" "$work/in.wav" repeat "$repeats" trim 0 600
printf '[Clipper]\nEnabled=1\n' >"$work/clipper.ini"

# The SoX chain doing the same job: down to 12 kHz, the 300-2700 Hz band-pass, a compressor
# with a -6 dB ceiling, the band-pass again, back up to 48 kHz.
sox_chain=(sox "$work/in.wav" "$work/sox.wav" rate 12k sinc -n 256 300-2700
           compand 0.001,0.017 6:-70,-60,-30,-6 -6 sinc -n 256 300-2700 rate 48k)
sonari=("$cli" process "$work/in.wav" "$work/sonari.wav" --profile "$work/clipper.ini")

cpu() { # seconds of CPU time (user + system) of one run
    /usr/bin/time -o "$work/time" -f "%U %S" "$@" >/dev/null 2>&1
    awk '{ print $1 + $2 }' "$work/time"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >"$work/sox" >"$work/sonari" >"$work/ratio" >"$work/other" >"$work/otherRatio"
for _ in 1 2 3 4 5; do
    s=$(cpu "${sox_chain[@]}")
    c=$(cpu "${sonari[@]}")
    echo "$s" >>"$work/sox"
    echo "$c" >>"$work/sonari"
    awk -v s="$s" -v c="$c" 'BEGIN { print s / c }' >>"$work/ratio"
    if [[ -n $other ]]; then
        o=$(cpu "$other" process "$work/in.wav" "$work/other.wav" --profile "$work/clipper.ini")
        echo "$o" >>"$work/other"
        awk -v s="$s" -v o="$o" 'BEGIN { print s / o }' >>"$work/otherRatio"
    fi
done

echo "10 minutes of speech at 48 kHz, clipper on; CPU time, medians of 5 paired runs"
printf '%-28s %6.2f s\n' "sox" "$(median <"$work/sox")"
printf '%-28s %6.2f s   %5.2fx SoX speed\n' "sonari-cli process" "$(median <"$work/sonari")" \
    "$(median <"$work/ratio")"
if [[ -n $other ]]; then
    printf '%-28s %6.2f s   %5.2fx SoX speed\n' "$other" "$(median <"$work/other")" \
        "$(median <"$work/otherRatio")"
fi
