#!/usr/bin/env bash
# Benchmarks of the update engine, each against a baseline measured in the
# same run on the same data:
#   1. full update of FILES files / MIB MiB served by nginx, against a shell
#      script doing the same with curl, unzip and a CRC check (cksum) per file,
#      and against fetching the same archives with one `curl -K` process;
#   2. the check phase over an unchanged installed tree, against cksum over
#      the same files;
#   3. peak resident memory of a single-file update of BIG_MIB MiB;
#   4. the full update of 1. signed (-key) against the same update unsigned:
#      the signature and the SHA-256 of every archive must cost under 10 %.
# usage: run_bench.sh TOVARIN_HEADLESS TOVARIN_PUBLISH
# Environment: FILES (2000), MIB (200), BIG_MIB (1024), RUNS (3: best of, for
# the engine, cksum and curl -K), BASE_RUNS (1: best of, for the slow script;
# 0 leaves it out), BENCH_DIR (a temporary folder), STAGES ("1 2 3 4": which
# measurements to run), BEFORE_HEADLESS (another engine build timed in stage 2
# beside this one).
set -euo pipefail
headless=$(realpath "$1")
publish=$(realpath "$2")
files=${FILES:-2000}
mib=${MIB:-200}
big_mib=${BIG_MIB:-1024}
runs=${RUNS:-3}
base_runs=${BASE_RUNS:-1}
stages=${STAGES:-1 2 3 4}
stage() { [[ " $stages " == *" $1 "* ]]; }
work=${BENCH_DIR:-$(mktemp -d /tmp/tovarin-bench-XXXXXX)}
source "$(dirname "$0")/../../tests/support/nginx.sh"
cleanup() {
  tg_nginx_stop
  rm -rf "$work"
}
trap cleanup EXIT

now() { date +%s.%N; }
elapsed() { python3 -c "print(f'{$2 - $1:.3f}')"; }

echo "== preparing $files files / $mib MiB and a $big_mib MiB file in $work"
python3 - "$work/src" "$files" "$mib" <<'PY'
import os, random, sys
root, count, mib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
size = mib * 1024 * 1024 // count
rng = random.Random(1)
for i in range(count):
    folder = os.path.join(root, f"dir{i % 20:02d}", f"sub{i % 3}")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"file{i:05d}.bin"), "wb") as out:
        out.write(rng.randbytes(size))
PY
mkdir -p "$work/bigsrc"
if stage 3; then
python3 - "$work/bigsrc/big.bin" "$big_mib" <<'PY'
import random, sys
rng = random.Random(2)
block = bytearray(1024 * 1024)
with open(sys.argv[1], "wb") as out:
    for i in range(int(sys.argv[2])):
        block[0:4096] = rng.randbytes(4096)
        out.write(block)
PY
fi
# A throwaway key pair: the tree is published signed; the unsigned runs
# simply do not ask for the signature.
minisign -G -W -p "$work/bench.pub" -s "$work/bench.key" >/dev/null
key=$(sed -n 2p "$work/bench.pub")
"$publish" --quiet --version 1.0 --sign "$work/bench.key" "$work/src" "$work/srv"
# The big file's tree is served below the main one, at /big.
stage 3 && "$publish" --quiet --version 1.0 "$work/bigsrc" "$work/srv/big"

# The baseline's manifest: server path and cksum of every file.
(cd "$work/src" && find . -type f -printf '%P\n' | sort | while read -r f; do echo "$f $(cksum < "$f" | cut -d' ' -f1)"; done) > "$work/manifest"

tg_nginx_start "$work/srv" "$work/nginx" 0 off
url=$TG_NGINX_URL

engine_update() {
  rm -rf "$work/prog" "$work/down"; mkdir -p "$work/prog" "$work/down"; sync
  local t0; t0=$(now)
  "$headless" -name prog -number 1.0 -prog "$work/prog" -down "$work/down" -http "$url" >/dev/null
  elapsed "$t0" "$(now)"
}

baseline_update() {
  rm -rf "$work/prog" "$work/down"; mkdir -p "$work/prog" "$work/down"; sync
  local t0; t0=$(now)
  curl -s -o "$work/down/UpdateList.xml.zip" "$url/UpdateList.xml.zip?a=$(date +%s)"
  unzip -q -o "$work/down/UpdateList.xml.zip" -d "$work/down"
  while read -r path sum; do
    dir=$(dirname "$path")
    mkdir -p "$work/down/$dir" "$work/prog/$dir"
    curl -s -f -o "$work/down/$path.zip" "$url/$path.zip?a=$(date +%s)"
    unzip -q -o "$work/down/$path.zip" -d "$work/down/$dir"
    [[ "$(cksum < "$work/down/$path" | cut -d' ' -f1)" == "$sum" ]] || { echo "CRC mismatch: $path" >&2; exit 1; }
    cp "$work/down/$path" "$work/prog/$path"
  done < "$work/manifest"
  rm -rf "$work/down"
  elapsed "$t0" "$(now)"
}

# Only the transfers: the list and every archive, in one curl process that
# reads them all from one config file.
curl_config() {
  echo "create-dirs"
  echo "url = \"$url/UpdateList.xml.zip\""
  echo "output = \"$work/down/UpdateList.xml.zip\""
  while read -r path _; do
    echo "url = \"$url/$path.zip\""
    echo "output = \"$work/down/$path.zip\""
  done < "$work/manifest"
}

curl_k_fetch() {
  rm -rf "$work/prog" "$work/down"; mkdir -p "$work/prog" "$work/down"; sync
  local t0; t0=$(now)
  curl -s -f -K "$work/curl.cfg"
  elapsed "$t0" "$(now)"
}

best() { sort -n | head -1; }
ratio() { python3 -c "print(f'{$1 / $2:.2f}')"; }

if stage 1; then
echo "== 1. full update: $files files / $mib MiB (engine best of $runs, script best of $base_runs)"
engine=$(for _ in $(seq "$runs"); do engine_update; done | best)
diff -r -q "$work/src" "$work/prog" >/dev/null || { echo "engine result differs from the source" >&2; exit 1; }
if (( base_runs > 0 )); then
  baseline=$(for _ in $(seq "$base_runs"); do baseline_update; done | best)
  echo "engine ${engine}s, curl+unzip+cksum script ${baseline}s, ratio $(ratio "$engine" "$baseline") (goal <= 0.5)"
fi
curl_config > "$work/curl.cfg"
fetch=$(for _ in $(seq "$runs"); do curl_k_fetch; done | best)
echo "engine ${engine}s, one curl -K process ${fetch}s, ratio $(ratio "$engine" "$fetch") (goal <= 1.5)"
fi

if stage 2; then
echo "== 2. check phase over the unchanged tree (best of $runs)"
rm -rf "$work/prog"; cp -r "$work/src" "$work/prog"
find "$work/prog" -type f -print0 | xargs -0 cat > /dev/null
check=$(for _ in $(seq "$runs"); do
  rm -rf "$work/down"; mkdir -p "$work/down"
  t0=$(now); "$headless" -name prog -number 1.0 -prog "$work/prog" -down "$work/down" -http "$url" >/dev/null || true
  elapsed "$t0" "$(now)"; done | best)
sums=$(for _ in $(seq "$runs"); do
  t0=$(now); (cd "$work/prog" && find . -type f -print0 | xargs -0 cksum > /dev/null); elapsed "$t0" "$(now)"; done | best)
echo "engine check ${check}s, cksum ${sums}s, ratio $(ratio "$check" "$sums") (goal <= 1.0)"
# Another build of the engine timed on the same tree in the same run, for a
# before-and-after comparison: BEFORE_HEADLESS=path/to/tovarin-headless.
if [[ -n "${BEFORE_HEADLESS:-}" ]]; then
  before=$(for _ in $(seq "$runs"); do
    rm -rf "$work/down"; mkdir -p "$work/down"
    t0=$(now); "$BEFORE_HEADLESS" -name prog -number 1.0 -prog "$work/prog" -down "$work/down" -http "$url" >/dev/null || true
    elapsed "$t0" "$(now)"; done | best)
  echo "before: engine check ${before}s, cksum ${sums}s, ratio $(ratio "$before" "$sums")"
fi
fi

# Wall and user CPU seconds of one full update: "wall user". Hashing is
# user time; the user time shows its cost even when the file system makes
# the wall (and system) time of a shared machine vary by more than that.
timed_update() {
  rm -rf "$work/prog" "$work/down"; mkdir -p "$work/prog" "$work/down"; sync
  /usr/bin/time -f '%e %U %S' -o "$work/times" \
    "$headless" -name prog -number 1.0 -prog "$work/prog" -down "$work/down" -http "$url" "$@" >/dev/null
  read -r wall user _ < "$work/times"
  echo "$wall $user"
}

# (Before 3, which removes the source tree.)
if stage 4; then
echo "== 4. full update signed (-key) and unsigned, interleaved, best of $runs each"
: > "$work/unsigned"; : > "$work/signed"
for _ in $(seq "$runs"); do
  timed_update >> "$work/unsigned"
  timed_update -key "$key" >> "$work/signed"
  diff -r -q "$work/src" "$work/prog" >/dev/null || { echo "signed update differs from the source" >&2; exit 1; }
done
column_best() { cut -d' ' -f"$1" "$2" | best; }
plain=$(column_best 1 "$work/unsigned"); checked=$(column_best 1 "$work/signed")
plain_user=$(column_best 2 "$work/unsigned"); checked_user=$(column_best 2 "$work/signed")
percent() { python3 -c "print(f'{($2 - $1) / $1 * 100:.1f}')"; }
echo "wall: unsigned ${plain}s, signed ${checked}s, cost $(percent "$plain" "$checked") % (goal < 10 %)"
echo "user: unsigned ${plain_user}s, signed ${checked_user}s: the extra user time is" \
     "$(percent "$plain" "$(python3 -c "print($plain + $checked_user - $plain_user)")") % of the unsigned wall time"
fi

if stage 3; then
echo "== 3. peak resident memory, one $big_mib MiB file"
rm -rf "$work/prog" "$work/down" "$work/src"; mkdir -p "$work/prog" "$work/down"
/usr/bin/time -f '%M' -o "$work/rss" "$headless" -name prog -number 1.0 -prog "$work/prog" -down "$work/down" -http "$url/big" >/dev/null
cmp -s "$work/bigsrc/big.bin" "$work/prog/big.bin" || { echo "big file differs" >&2; exit 1; }
echo "peak resident memory $(( $(cat "$work/rss") / 1024 )) MiB (goal < 32 MiB)"
fi
