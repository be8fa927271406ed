# Sourced by scripts/sandbox inside the private namespaces, before Xvfb starts: names, test CA,
# CA bundle and the stand-in service. Uses ROOT, BUILD and the `pids` array of scripts/sandbox.
# See tests/sandbox/README.md.

sandbox_dir="$BUILD/sandbox"
mkdir -p "$sandbox_dir"
sandbox_src="$ROOT/tests/sandbox"
mapfile -t sandbox_hosts < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$sandbox_src/hosts.txt" | grep -v '^$')

# Every name the program uses resolves to loopback, and nothing else resolves at all.
{
  echo "127.0.0.1 localhost"
  echo "::1 localhost ip6-localhost"
  for h in "${sandbox_hosts[@]}"; do echo "127.0.0.1 $h"; done
} >"$sandbox_dir/hosts"
mount --bind "$sandbox_dir/hosts" /etc/hosts

# A fresh CA per run; its key stays in the build folder and dies with it.
sandbox_sans="DNS:localhost,IP:127.0.0.1"
for h in "${sandbox_hosts[@]}"; do
  [[ "$h" == untrusted.test ]] || sandbox_sans+=",DNS:$h"
done
(
  set -e
  cd "$sandbox_dir"
  rm -f ca.pem ca.key server.pem server.key server.csr untrusted.pem untrusted.key ca.srl
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 \
    -subj "/CN=Pictalon sandbox test CA $(date +%s)" \
    -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
  openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr \
    -subj "/CN=weibo.com" 2>/dev/null
  printf '%s\n' "basicConstraints=CA:FALSE" \
    "keyUsage=critical,digitalSignature,keyEncipherment" \
    "extendedKeyUsage=serverAuth" "subjectAltName=$sandbox_sans" >server.ext
  openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 \
    -sha256 -extfile server.ext -out server.pem 2>/dev/null
  # Self-signed and in no bundle: what a client must refuse.
  openssl req -x509 -newkey rsa:2048 -nodes -keyout untrusted.key -out untrusted.pem -days 30 \
    -subj "/CN=untrusted.test" -addext "subjectAltName=DNS:untrusted.test,DNS:localhost" 2>/dev/null
  cat /etc/ssl/certs/ca-certificates.crt ca.pem >ca-bundle.crt
) || {
  echo "sandbox: could not make the test certificates (openssl) in $sandbox_dir" >&2
  exit 1
}
mount --bind "$sandbox_dir/ca-bundle.crt" /etc/ssl/certs/ca-certificates.crt

export STANDIN_CONTROL=http://control.test
export STANDIN_CA="$sandbox_dir/ca.pem"
export STANDIN_UNTRUSTED_PORT=8443
python3 "$sandbox_src/standin.py" --http 80 --https 443 --untrusted-port "$STANDIN_UNTRUSTED_PORT" \
  --cert "$sandbox_dir/server.pem" --key "$sandbox_dir/server.key" \
  --untrusted-cert "$sandbox_dir/untrusted.pem" --untrusted-key "$sandbox_dir/untrusted.key" \
  >>"$sandbox_dir/standin.log" 2>&1 &
pids+=($!)

sandbox_ready=0
for _ in $(seq 200); do
  if curl -sf -o /dev/null --max-time 1 "$STANDIN_CONTROL/ping"; then
    sandbox_ready=1
    break
  fi
  sleep 0.05
done
if ((!sandbox_ready)); then
  echo "sandbox: the stand-in service did not start; see $sandbox_dir/standin.log" >&2
  exit 1
fi
unset sandbox_ready sandbox_sans sandbox_hosts
