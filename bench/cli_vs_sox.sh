#!/usr/bin/env bash
# Throughput of 'sonari-cli process' against an equivalent SoX chain on ten minutes of speech
# at 48 kHz. Usage: bench/cli_vs_sox.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$build/bin/sonari-cli
for program in "$cli" espeak-ng sox; do
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
frames=$(soxi -s "$work/in.wav")
printf '[Clipper]\nEnabled=1\n' >"$work/clipper.ini"

# The SoX chain doing the same job: down to 12 kHz, the 300-2700 Hz band-pass, a compressor
# with a -6 dB ceiling, back up to 48 kHz.
sox_chain=(sox "$work/in.wav" "$work/sox.wav" rate 12k sinc 300-2700
           compand 0.005,0.1 6:-70,-70,-40,-20,0,-6 -3 -90 0.005 rate 48k)

seconds() { # the best of three runs, in seconds of CPU time (user + system)
    local best=""
    for _ in 1 2 3; do
        local t
        /usr/bin/time -o "$work/time" -f "%U %S" "$@" >/dev/null 2>&1
        t=$(awk '{ print $1 + $2 }' "$work/time")
        best=$(awk -v a="$best" -v b="$t" 'BEGIN { print (a == "" || b < a) ? b : a }')
    done
    echo "$best"
}

blocks=$(( (frames + 4095) / 4096 ))
report() { # name seconds
    awk -v n="$1" -v s="$2" -v b="$blocks" -v x="$3" \
        'BEGIN { printf "%-40s %6.2f s CPU  %7.1f us/block  %6.0fx real time  %5.2fx SoX\n",
                 n, s, s * 1e6 / b, 600 / s, s / x }'
}

sox_s=$(seconds "${sox_chain[@]}")
plain_s=$(seconds "$cli" process "$work/in.wav" "$work/plain.wav")
clip_s=$(seconds "$cli" process "$work/in.wav" "$work/clip.wav" --profile "$work/clipper.ini")
stats_s=$(seconds "$cli" process "$work/in.wav" "$work/stats.wav" --profile "$work/clipper.ini" --stats)

echo "10 minutes at 48 kHz, $frames frames, $blocks blocks of 85.3 ms"
echo "SoX: ${sox_chain[*]/$work\//}"
report "sox (rate, sinc, compand, rate)" "$sox_s" "$sox_s"
report "sonari-cli process (equalizer)" "$plain_s" "$sox_s"
report "sonari-cli process (+ clipper)" "$clip_s" "$sox_s"
report "sonari-cli process (+ clipper, --stats)" "$stats_s" "$sox_s"
