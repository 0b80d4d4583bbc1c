#!/usr/bin/env bash
# Starts the program on the display (xvfb-run), waits for its main frame, then asks it to close
# with SIGTERM, which it handles through the frame's close path. It must end with 0 and without
# any sanitizer report (a leak makes ASan end the program with a non-zero code).
set -u
program=$1
artifacts=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$artifacts"
export TUNOVA_REGISTRY_MACHINE=$work/machine TUNOVA_REGISTRY_USER=$work/user
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data TUNOVA_TEMP_DIR=$work
# The debug log switch shows that start-up ran to its end.
printf '[SOFTWARE\\Varno\\Tunova]\nLogDebug=dword:0x00000001\n' > "$work/machine"

if [ -z "${DISPLAY:-}" ]; then
  echo "no display: run under xvfb-run"
  exit 1
fi
"$program" > "$work/out" 2>&1 &
pid=$!
up=0
for _ in $(seq 1 600); do
  if ! kill -0 "$pid" 2>/dev/null; then break; fi
  # Other tests may show frames of the same title on this display: only this program's counts.
  for id in $(xwininfo -root -tree 2>/dev/null | awk '/"Tunova"/ {print $1}'); do
    # The toolkit's hidden leader window carries the name too: the frame is the one shown.
    if xprop -id "$id" _NET_WM_PID 2>/dev/null | grep -q "= $pid\$" &&
       xwininfo -id "$id" 2>/dev/null | grep -q "IsViewable"; then up=1; fi
  done
  if [ "$up" = 1 ]; then break; fi
  sleep 0.1
done
if [ "$up" != 1 ]; then
  echo "the main frame did not come up"
  kill -KILL "$pid" 2>/dev/null
  cat "$work/out"
  exit 1
fi
kill -TERM "$pid"
wait "$pid"
rc=$?
cat "$work/out"
cp "$work/user" "$artifacts/registry-after-close.txt" 2>/dev/null
if [ "$rc" != 0 ]; then
  echo "the program ended with $rc"
  exit 1
fi
if grep -q "Sanitizer" "$work/out"; then
  echo "sanitizer report"
  exit 1
fi
if ! grep -q "Pelmora started 0x" "$work/LogDebug.txt"; then
  echo "no start line in the debug log"
  exit 1
fi
if ! grep -qi "Aspect" "$work/user"; then
  echo "the frame's placement was not stored on close"
  exit 1
fi
echo "the program started, showed its frame and closed cleanly"
