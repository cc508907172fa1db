#!/usr/bin/env bash
# Download throughput of zqu's web layer against the curl tool: one 200 MB file from a
# loopback HTTPS server with a throw-away certificate, one run each (after a warm-up).
# Usage: scripts/bench_zqu.sh [build folder]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
zqu="$build/bin/zqu"
if [ ! -x "$zqu" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target zqu
fi
size_mb=${ZQ_BENCH_MB:-200}

work=$(mktemp -d)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
openssl req -x509 "${ec[@]}" -keyout "$work/ca.key" -out "$work/ca.pem" -days 1 \
  -subj "/CN=Zequora bench CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req "${ec[@]}" -keyout "$work/server.key" -out "$work/server.csr" -subj "/CN=127.0.0.1" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' >"$work/server.ext"
openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" \
  -CAcreateserial -out "$work/server.pem" -days 1 -extfile "$work/server.ext" 2>/dev/null

mkdir -p "$work/root" "$work/out"
head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$work/root/big.bin"

coproc SERVER { exec python3 tests/update/https_server.py --root "$work/root" \
  --cert "$work/server.pem" --key "$work/server.key"; }
server_pid=$SERVER_PID
read -r -t 10 word port <&"${SERVER[0]}"
[ "$word" = PORT ] || { echo "test server did not start" >&2; exit 1; }
url="https://127.0.0.1:$port/big.bin"

# Warm-up: the file in the page cache, the server's code paths loaded.
curl -sS --cacert "$work/ca.pem" -o /dev/null "$url"

now() { date +%s.%N; }
curl_s=$(curl -sS --cacert "$work/ca.pem" -o "$work/out/curl.bin" -w '%{time_total}' "$url")
# zqu makes its file durable (fsync) before it renames it into place; curl leaves it in the
# page cache. The same guarantee for curl's copy costs this much on top:
t0=$(now); sync -d "$work/out/curl.bin"; t1=$(now)
curl_sync_s=$(awk -v c="$curl_s" -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", c + b - a }')
zqu_s=$("$zqu" --fetch-file "$url" "$work/out/zqu.bin" "$work/ca.pem" | awk '{print $4}')
cmp -s "$work/out/curl.bin" "$work/out/zqu.bin" || { echo "downloads differ" >&2; exit 1; }
cmp -s "$work/root/big.bin" "$work/out/zqu.bin" || { echo "zqu's copy differs" >&2; exit 1; }

awk -v mb="$size_mb" -v c="$curl_s" -v cs="$curl_sync_s" -v z="$zqu_s" 'BEGIN {
  printf "file: %d MB over loopback HTTPS\n", mb
  printf "curl tool         : %7.3f s  %7.1f MB/s\n", c, mb / c
  printf "curl tool + fsync : %7.3f s  %7.1f MB/s\n", cs, mb / cs
  printf "zqu web (fsync)   : %7.3f s  %7.1f MB/s\n", z, mb / z
  printf "ratio zqu/curl throughput: %.2f (target >= 0.90); against curl + fsync: %.2f\n", c / z, cs / z
  exit (c / z >= 0.9 ? 0 : 2)
}'
