#!/usr/bin/env bash
# The window's media-player interface on a real session bus: the window runs under Xvfb inside
# its own dbus-run-session, plays a list of two songs on the null device, and playerctl and busctl
# read what plays and drive it.
# Usage: tests/desktop/mpris-check.sh TARVEX MODULE
# Exit status 77 (skipped) when a tool is missing outside CI.
set -euo pipefail

if [ "${1:-}" != "--inner" ]; then
  for tool in dbus-run-session xvfb-run playerctl busctl; do
    if ! command -v "$tool" >/dev/null; then
      echo "mpris-check: $tool is missing (scripts/install-deps installs it)" >&2
      if [ -n "${CI:-}" ]; then exit 1; fi
      exit 77
    fi
  done
  exec dbus-run-session -- xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inner "$@"
fi
shift
tarvex=$1
module=$2

work=$(mktemp -d)
pid=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill "$pid"; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

cp "$module" "$work/first.mod"
cp "$module" "$work/second.mod"
# A title of its own for the second song (the first 20 bytes of a MOD file).
printf '%-20s' 'second song' | dd of="$work/second.mod" bs=1 count=20 conv=notrunc status=none
printf '%s\n' "$work/first.mod" "$work/second.mod" > "$work/party.lst"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

ctl() { playerctl --player=tarvex "$@" 2>/dev/null; }
bus() {
  local verb=$1
  shift
  busctl --user "$verb" org.mpris.MediaPlayer2.tarvex /org/mpris/MediaPlayer2 "$@"
}

# Waits up to five seconds for a playerctl query to print the expected text.
expect() {
  local want=$1
  shift
  local got=""
  for _ in $(seq 50); do
    got=$(ctl "$@" || true)
    if [ "$got" = "$want" ]; then return 0; fi
    sleep 0.1
  done
  fail "playerctl $* printed '$got', expected '$want'"
}

mkdir -m 700 "$work/run"
HOME="$work" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" TARVEX_DEVICE=null "$tarvex" "$work/party.lst" \
  >"$work/tarvex.log" 2>&1 &
pid=$!

expect Playing status
expect "tarvex demo" metadata xesam:title
expect "file://$work/first.mod" metadata xesam:url
expect "ProTracker" metadata xesam:genre
identity=$(bus get-property org.mpris.MediaPlayer2 Identity || true)
[ "$identity" = 's "Tarvex"' ] || fail "Identity is '$identity'"
# The demo song lasts 52 seconds; the length comes from the song's duration.
length=$(ctl metadata mpris:length || true)
if [ -z "$length" ] || [ "$length" -lt 50000000 ] || [ "$length" -gt 56000000 ]; then
  fail "mpris:length is '$length'"
fi
metadata=$(bus get-property org.mpris.MediaPlayer2.Player Metadata || true)
case "$metadata" in
  *'"xesam:title" s "tarvex demo"'*) ;;
  *) fail "busctl read the metadata as: $metadata" ;;
esac

# Paused, the song time stands still; resumed, it moves on.
ctl play-pause
expect Paused status
before=$(ctl position)
sleep 0.3
[ "$(ctl position)" = "$before" ] || fail "the song time moved while paused"
ctl play-pause
expect Playing status
sleep 0.3
[ "$(ctl position)" != "$before" ] || fail "the song time stood still after resuming"

# Pause only pauses, play resumes where the song was rather than starting it again.
ctl pause
expect Paused status
paused_at=$(ctl position)
ctl pause
sleep 0.2
expect Paused status
ctl play
expect Playing status
awk -v a="$(ctl position)" -v b="$paused_at" 'BEGIN { exit !(a >= b) }' ||
  fail "play after pause started the song again"

# Seeking: an absolute position (SetPosition, named by the track) and a step back (Seek), each
# told with Seeked; previous has nothing to go back to in a module of one song.
prop() { bus get-property org.mpris.MediaPlayer2.Player "$1" || true; }
[ "$(prop CanSeek)" = "b true" ] || fail "CanSeek is '$(prop CanSeek)'"
[ "$(prop CanGoPrevious)" = "b false" ] || fail "CanGoPrevious is '$(prop CanGoPrevious)'"
# Waits up to five seconds for the position (in seconds) to lie within [low, high].
expect_position() {
  local got=""
  for _ in $(seq 50); do
    got=$(ctl position || true)
    if [ -n "$got" ] && awk -v p="$got" -v a="$1" -v b="$2" 'BEGIN { exit !(p >= a && p <= b) }'; then return 0; fi
    sleep 0.1
  done
  fail "the position is '$got', expected between $1 and $2"
}
dbus-monitor --session "type='signal',interface='org.mpris.MediaPlayer2.Player',member='Seeked'" \
  >"$work/seeked.log" 2>&1 &
monitor=$!
sleep 0.3
ctl position 30
expect_position 30 33
ctl position 10-
expect_position 20 24
# playerctl does not offer previous while CanGoPrevious is false: the bus call itself.
bus call org.mpris.MediaPlayer2.Player Previous || fail "Previous failed"
sleep 0.2
expect Playing status
expect "tarvex demo" metadata xesam:title
sleep 0.2
kill "$monitor" 2>/dev/null || true
wait "$monitor" 2>/dev/null || true
seeks=$(grep -A1 'member=Seeked' "$work/seeked.log" | grep -o 'int64 [0-9]*' | awk '{ print $2 }' | tr '\n' ' ')
case "$seeks" in
  "30000000 2"[0-3]??????" ") ;;
  *) fail "Seeked told '$seeks', expected 30000000 and then about 20 seconds" ;;
esac

# Next plays the list's second entry.
ctl next
expect "second song" metadata xesam:title
expect "file://$work/second.mod" metadata xesam:url
expect Playing status

# Stop stops; play starts the song again.
ctl stop
expect Stopped status
ctl play
expect Playing status
expect "second song" metadata xesam:title

bus call org.mpris.MediaPlayer2 Raise || fail "Raise failed"
bus call org.mpris.MediaPlayer2 Quit || fail "Quit failed"
for _ in $(seq 50); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  fail "the window did not close on Quit"
else
  status=0
  wait "$pid" || status=$?
  pid=""
  [ "$status" -eq 0 ] || fail "the window exited with status $status"
fi

if [ "$failures" -ne 0 ]; then
  echo "--- window output" >&2
  cat "$work/tarvex.log" >&2
  exit 1
fi
echo "mpris-check: all checks passed"
