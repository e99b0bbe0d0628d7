#!/usr/bin/env bash
# Runs the PC/SC backend's test program against pcscd, the virtual reader
# vpcd and the emulated tags of vtag.py, in network and mount namespaces of
# their own: loopback only, and pcscd's socket directory on a tmpfs of the
# namespace, so that nothing of the machine's own PC/SC is touched.  Every
# process is stopped at the end.  Exit 77 (skipped) only when the namespaces
# or pcscd cannot be had at all.
# Usage: run.sh TEST-PROGRAM
set -u
program=$1
here=$(cd "$(dirname "$0")" && pwd)
PATH=$PATH:/usr/sbin:/sbin

if [ "${PCSC_NAMESPACE:-}" != 1 ]; then
  for tool in pcscd python3 ip unshare; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/deps.sh)"; exit 77; }
  done
  [ -e /usr/lib/pcsc/drivers/serial/libifdvpcd.so ] ||
    { echo "SKIP: vsmartcard-vpcd is not installed (scripts/deps.sh)"; exit 77; }
  flags=-nm
  [ "$(id -u)" -ne 0 ] && flags=-rnm
  unshare $flags true 2>/dev/null || { echo "SKIP: unshare $flags is not permitted here"; exit 77; }
  PCSC_NAMESPACE=1 exec unshare $flags --propagation private "$0" "$@"
fi

ip link set lo up || exit 1
mkdir -p /run/pcscd 2>/dev/null
mount -t tmpfs -o size=1m tmpfs /run/pcscd || { echo "SKIP: no tmpfs for /run/pcscd"; exit 77; }
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# vpcd's two slots listen on 35963 and 35964 (0x8C7B); vtag.py takes its
# commands on 35990.  The ports belong to this namespace alone.
mkdir "$work/conf"
cat >"$work/conf/vpcd" <<CONF
FRIENDLYNAME "Virtual PCD"
DEVICENAME   /dev/null:0x8C7B
LIBPATH      /usr/lib/pcsc/drivers/serial/libifdvpcd.so
CHANNELID    0x8C7B
CONF
pcscd -f -c "$work/conf" >"$work/pcscd.log" 2>&1 &
pcscd_pid=$!
pids+=("$pcscd_pid")
python3 "$here/vtag.py" 35963 35990 2 >"$work/vtag.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  grep -q ready "$work/vtag.log" && [ -S /run/pcscd/pcscd.comm ] && break
  sleep 0.1
done
[ -S /run/pcscd/pcscd.comm ] || { cat "$work/pcscd.log"; echo "SKIP: pcscd does not start here"; exit 77; }

VTAG_CONTROL=35990 timeout 150 "$program"
rc=$?

# The volneda tool through the driver host, as a user runs it: two fresh
# tags, an identify, a write across blocks and its read back.
if [ -n "${2:-}" ]; then
  tool=$2
  control() {  # one line to vtag.py, its answer on standard output
    exec 3<>/dev/tcp/127.0.0.1/35990 && echo "$*" >&3 && read -r answer <&3 && exec 3>&- && echo "$answer"
  }
  for slot in 0 1; do control remove $slot >/dev/null; done
  control insert 0 E004010000000001 >/dev/null
  control insert 1 E004010000000002 4 64 >/dev/null
  sleep 1  # pcscd polls its slots
  printf '[HF]\n' >"$work/rfconfig.ini"
  printf '[reader HF]\nbackend = pcsc\npcsc.reader = Virtual PCD*\n' >"$work/tagdrv.ini"
  volneda() { (cd "$work" && TAGDRV_CONFIG=$work/tagdrv.ini timeout 30 "$tool" --config ./rfconfig.ini --quiet "$@"); }
  ids=$(volneda --format json identify) || { echo "tool: identify failed: $ids"; rc=1; }
  for id in E004010000000001 E004010000000002; do
    echo "$ids" | grep -q "\"$id\"" || { echo "tool: identify lacks $id: $ids"; rc=1; }
  done
  volneda write --inline '<WriteTags><Tag ID="E004010000000002"><MEMField MemStart="18">HELLO-PCSC</MEMField></Tag></WriteTags>' ||
    { echo "tool: write failed"; rc=1; }
  back=$(volneda --format json read 'mem(x,18,10,s)' where tagid=E004010000000002)
  echo "$back" | grep -q HELLO-PCSC || { echo "tool: read back: $back"; rc=1; }
  [ "$(control get 1 18 10)" = "ok 48454C4C4F2D50435343" ] || { echo "tool: the tag holds $(control get 1 18 10)"; rc=1; }
  [ $rc -eq 0 ] && echo "tool: identify, write and read back through the PC/SC reader"

  # The console on the same reader: open it, read the written bytes back.
  (cd "$work" && exec env TAGDRV_CONFIG="$work/tagdrv.ini" "$tool" --config ./rfconfig.ini serve \
     --listen 127.0.0.1:0 >"$work/serve.log" 2>&1) &
  pids+=($!)
  port=
  for _ in $(seq 100); do
    port=$(grep -o 'http://127\.0\.0\.1:[0-9]*' "$work/serve.log" | grep -o '[0-9]*$')
    [ -n "$port" ] && break
    sleep 0.1
  done
  timeout 60 python3 - "$port" <<'PY' || { echo "console: failed"; cat "$work/serve.log"; rc=1; }
import json, sys, urllib.request
base = "http://127.0.0.1:%s" % sys.argv[1]
def post(path, body):
    request = urllib.request.Request(base + path, json.dumps(body).encode(), {"Content-Type": "application/json"})
    return json.load(urllib.request.urlopen(request, timeout=20))
opened = post("/api/open", {"reader": "HF"})
assert opened["code"] == 0, opened
read = post("/api/command", {"command": "read mem(x,18,10,s) where tagid=E004010000000002"})
assert read["code"] == 0 and "HELLO-PCSC" in read["xml"], read
print("console: the PC/SC reader opened and read")
PY
fi
kill "$pcscd_pid"
wait "$pcscd_pid" 2>/dev/null
PCSC_UNAVAILABLE=service timeout 30 "$program" --gtest_filter='PcscBackendUnavailable.*' || rc=1
# And without the PC/SC library: an empty file in its place.
library=$(readlink -f "$(ldconfig -p | awk '/libpcsclite\.so\.1 / {print $NF; exit}')")
if [ -f "$library" ] && mount --bind /dev/null "$library"; then
  PCSC_UNAVAILABLE=library timeout 30 "$program" --gtest_filter='PcscBackendUnavailable.*' || rc=1
else
  echo "libpcsclite.so.1 cannot be hidden here: its absence is not tested"
fi
if [ $rc -ne 0 ]; then
  echo "--- pcscd"; tail -50 "$work/pcscd.log"
  echo "--- vtag.py"; tail -20 "$work/vtag.log"
fi
exit $rc
