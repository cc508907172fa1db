#!/usr/bin/env bash
# The Linux side of the Windows web tests: a throw-away certificate authority, the local
# HTTPS server of the Linux tests (https_server.py) and a 1 MB file system standing for a full
# folder, in the given folder, which the tests under Wine reach through drive Z:.
#   https-fixture.sh start <folder>   makes pki/, root/, full/ and writes the server's port to port
#   https-fixture.sh stop <folder>    ends the server, unmounts full/, removes the folder
set -euo pipefail
action=${1:?usage: https-fixture.sh start|stop <folder>}
dir=$(realpath -m "${2:?usage: https-fixture.sh start|stop <folder>}")
here=$(cd "$(dirname "$0")/.." && pwd)

stop() {
  if [ -f "$dir/pid" ]; then kill "$(cat "$dir/pid")" 2>/dev/null || true; fi
  if mountpoint -q "$dir/full" 2>/dev/null; then umount -l "$dir/full" || true; fi
  rm -rf "$dir"
}

if [ "$action" = stop ]; then stop; exit 0; fi
[ "$action" = start ] || { echo "unknown action $action" >&2; exit 2; }
stop
mkdir -p "$dir/pki" "$dir/root" "$dir/full"
pki=$dir/pki
# RSA, not ECDSA: Wine's crypt32 refuses an ECDSA signature whose r or s is shorter than 32
# bytes (about one certificate in sixty), which made the web tests fail now and then.
key=(-newkey rsa:2048 -nodes)
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\nkeyUsage=digitalSignature\nextendedKeyUsage=serverAuth\n' \
  > "$pki/server.ext"
for ca in ca other-ca; do
  openssl req -x509 "${key[@]}" -keyout "$pki/$ca.key" -out "$pki/$ca.pem" -days 2 \
    -subj "/CN=Zequora test $ca" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
done
openssl req "${key[@]}" -keyout "$pki/server.key" -out "$pki/server.csr" -subj /CN=127.0.0.1 2>/dev/null
openssl x509 -req -in "$pki/server.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial \
  -out "$pki/server.pem" -days 2 -extfile "$pki/server.ext" 2>/dev/null

# Detached from the test's output, so that ctest does not wait for it.
setsid python3 "$here/https_server.py" --root "$dir/root" --cert "$pki/server.pem" \
  --key "$pki/server.key" --stall 8 >"$dir/server.out" 2>&1 </dev/null &
echo $! >"$dir/pid"
for _ in $(seq 100); do
  if grep -q '^PORT ' "$dir/server.out" 2>/dev/null; then break; fi
  sleep 0.1
done
port=$(sed -n 's/^PORT \([0-9]*\)$/\1/p' "$dir/server.out")
[ -n "$port" ] || { echo "the test server did not start: $(cat "$dir/server.out")" >&2; exit 1; }
echo "$port" >"$dir/port"

# A full folder needs a file system of its own; only root may mount one.
if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=1m tmpfs "$dir/full" 2>/dev/null; then
  touch "$dir/full-mounted"
fi
echo "HTTPS server on port $port, files in $dir"
