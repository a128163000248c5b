#!/bin/sh
# Speaks one fragment per slot: 10000 Hz, 16-bit, mono PCM WAV with a plain 44-byte header,
# silence trimmed at both ends, then writes the list file beside them.
# usage: make_voices.sh ESPEAK SOX MAKE_PATHS_LIST OUTDIR
set -eu
espeak=$1
sox=$2
tool=$3
out=$4
mkdir -p "$out"
export espeak sox out
# "NN words" per line; two speakers at a time.
"$tool" --phrases | tr '\n' '\0' | xargs -0 -n1 -P2 sh -c '
  n=${1%% *}
  text=${1#* }
  raw="$out/raw$n.wav"
  "$espeak" -v ru -w "$raw" "$text"
  "$sox" "$raw" -t wavpcm -r 10000 -c 1 -b 16 -e signed-integer "$out/slot$n.wav" \
    silence 1 0.02 0.5% reverse silence 1 0.02 0.5% reverse
  rm -f "$raw"' sh
"$tool" "$out"
