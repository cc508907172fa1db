#!/usr/bin/env bash
# Download throughput of zqu's web layer against the curl tool: one 200 MB file from a
# loopback HTTPS server with a throw-away certificate, one run each (after a warm-up).
# Usage: scripts/bench_zqu.sh [build folder]   (default: build)
# With a Windows build folder (build-windows64) ZQU.exe's WinHTTP layer runs under Wine, in a
# throw-away prefix unless WINEPREFIX names one, and Wine's plain TCP receive is measured too.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
windows=""
if [ -f "$build/bin/ZQU.exe" ] || grep -qs 'mingw-w64' "$build/CMakeCache.txt"; then
  windows=1
fi
if [ -n "$windows" ]; then
  zqu="$build/bin/ZQU.exe"
  [ -f "$zqu" ] && [ -f "$build/bin/zq_recvbench.exe" ] || cmake --build "$build" --target zqu zq_recvbench
else
  zqu="$build/bin/zqu"
  if [ ! -x "$zqu" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" --target zqu
  fi
fi
size_mb=${ZQ_BENCH_MB:-200}

work=$(mktemp -d)
server_pid=""
own_prefix=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  [ -n "$own_prefix" ] && WINEPREFIX="$own_prefix" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
if [ -n "$windows" ] && [ -z "${WINEPREFIX:-}" ]; then
  own_prefix=$work/prefix
  eval "$(scripts/wine-prefix.sh "$own_prefix" "$build")"
fi
export WINEDEBUG=-all
# A Linux path as Wine's drive Z: shows it.
winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }

# RSA: Wine refuses about one ECDSA certificate in sixty (a short r or s in the signature).
key=(-newkey rsa:2048 -nodes)
openssl req -x509 "${key[@]}" -keyout "$work/ca.key" -out "$work/ca.pem" -days 1 \
  -subj "/CN=Zequora bench CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req "${key[@]}" -keyout "$work/server.key" -out "$work/server.csr" -subj "/CN=127.0.0.1" 2>/dev/null
# Wine checks the host name only against DNS names: ZQU.exe asks for localhost.
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n' >"$work/server.ext"
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
zqu_url=$url
[ -z "$windows" ] || zqu_url="https://localhost:$port/big.bin"
# The measured download of zqu's web layer into file $1; prints its seconds.
zqu_fetch() {
  if [ -n "$windows" ]; then
    wine "$zqu" --fetch-file "$zqu_url" "$(winpath "$1")" "$(winpath "$work/ca.pem")" | awk '{print $4}'
  else
    "$zqu" --fetch-file "$zqu_url" "$1" "$work/ca.pem" | awk '{print $4}'
  fi
}

# Warm-up: the file in the page cache, the server's code paths loaded.
curl -sS --cacert "$work/ca.pem" -o /dev/null "$url"

now() { date +%s.%N; }
# One download each into folder $1; prints "curl_s curl_plus_fsync_s zqu_s".
measure() {
  local dir=$1 c t0 t1 z
  c=$(curl -sS --cacert "$work/ca.pem" -o "$dir/curl.bin" -w '%{time_total}' "$url")
  # zqu makes its file durable (fsync) before it renames it into place; curl leaves it in
  # the page cache. The same guarantee for curl's copy costs this much on top:
  t0=$(now); sync -d "$dir/curl.bin"; t1=$(now)
  z=$(zqu_fetch "$dir/zqu.bin")
  cmp -s "$work/root/big.bin" "$dir/zqu.bin" || { echo "zqu's copy differs" >&2; exit 1; }
  cmp -s "$work/root/big.bin" "$dir/curl.bin" || { echo "curl's copy differs" >&2; exit 1; }
  rm -f "$dir/curl.bin" "$dir/zqu.bin"
  awk -v c="$c" -v a="$t0" -v b="$t1" -v z="$z" 'BEGIN { printf "%.6f %.6f %.6f\n", c, c + b - a, z }'
}
report() {
  awk -v mb="$size_mb" -v where="$1" -v c="$2" -v cs="$3" -v z="$4" 'BEGIN {
    printf "%s\n", where
    printf "  curl tool         : %7.3f s  %7.1f MB/s\n", c, mb / c
    printf "  curl tool + fsync : %7.3f s  %7.1f MB/s\n", cs, mb / cs
    printf "  zqu web layer     : %7.3f s  %7.1f MB/s\n", z, mb / z
    printf "  ratio zqu/curl: %.2f; against curl + fsync: %.2f\n", c / z, cs / z
  }'
}

echo "file: $size_mb MB over loopback HTTPS, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
# In memory (tmpfs): both copies cost the same to keep, so this compares the transfer.
mem_ratio=""
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  shm=$(mktemp -d /dev/shm/zqbench.XXXXXX)
  read -r c cs z < <(measure "$shm")
  rm -rf "$shm"
  report "into tmpfs (/dev/shm):" "$c" "$cs" "$z"
  mem_ratio=$(awk -v c="$c" -v z="$z" 'BEGIN { printf "%.2f", c / z }')
fi
read -r c cs z < <(measure "$work/out")
report "into the disk folder $work/out:" "$c" "$cs" "$z"
ratio=${mem_ratio:-$(awk -v c="$c" -v z="$z" 'BEGIN { printf "%.2f", c / z }')}
if [ -n "$windows" ]; then
  # How much of a gap Wine's socket layer explains: the same bytes over plain TCP, received
  # by a Windows program under Wine and by Linux itself.
  python3 -c '
import socket, sys
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(2)
print(s.getsockname()[1], flush=True)
for _ in range(2):
    c, _ = s.accept()
    with open(sys.argv[1], "rb") as f: c.sendfile(f)
    c.close()' "$work/root/big.bin" >"$work/sender.port" &
  sender_pid=$!
  tcp_port=""
  for _ in $(seq 100); do
    tcp_port=$(cat "$work/sender.port")
    [ -n "$tcp_port" ] && break
    sleep 0.1
  done
  w=$(wine "$build/bin/zq_recvbench.exe" "$tcp_port" | awk '{print $4}')
  n=$(python3 -c '
import socket, sys, time
s = socket.create_connection(("127.0.0.1", int(sys.argv[1]))); b = bytearray(262144); t = time.time()
while s.recv_into(b): pass
print("%.6f" % (time.time() - t))' "$tcp_port")
  wait "$sender_pid" 2>/dev/null || true
  awk -v mb="$size_mb" -v w="$w" -v n="$n" -v z="$z" -v c="$c" 'BEGIN {
    printf "plain TCP receive (no TLS, no HTTP):\n"
    printf "  Windows program under Wine: %7.3f s  %7.1f MB/s\n", w, mb / w
    printf "  Linux                      : %7.3f s  %7.1f MB/s\n", n, mb / n
    printf "  of zqu'"'"'s %.3f s behind curl, Wine'"'"'s socket layer explains %.3f s; the rest is\n", z - c, w - n
    printf "  TLS and HTTP in Wine'"'"'s WinHTTP (schannel over GnuTLS)\n"
  }'
fi
echo "transfer throughput ratio zqu/curl: $ratio (target >= 0.90)"
awk -v r="$ratio" 'BEGIN { exit (r >= 0.9 ? 0 : 2) }'
