#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop, man
# and systemd will find there; then starts the installed programs.
#
#   check_install.sh CMAKE BUILD_DIR SOURCE_DIR GAME_BUILT LOBBY_BUILT
#
# GAME_BUILT and LOBBY_BUILT are 1 when the build has zellhop and
# zellhop-lobby.  A validator that is not installed is skipped with a
# message; everything else that is wrong is listed and fails the test.
set -uo pipefail

cmake=$1 build=$2 source=$3 game=$4 lobby=$5

work=$(mktemp -d "${TMPDIR:-/tmp}/zellhop-install.XXXXXX")
lobby_pid=
game_pid=
cleanup() {
  [ -n "$lobby_pid" ] && kill "$lobby_pid" 2>/dev/null
  [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The tree looks like a system's, so that appstreamcli validate-tree reads it.
root=$work/root
prefix=$root/usr
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
skip() { echo "SKIPPED: $*"; }
have() { command -v "$1" >/dev/null 2>&1; }

# Runs a validator; any message from it counts as a fault, since some of
# them report problems and still exit with 0.
validate() { # NAME COMMAND...
  local name=$1 out
  shift
  if out=$("$@" 2>&1) && [ -z "$out" ]; then
    echo "ok: $name"
  else
    fail "$name:"$'\n'"$out"
  fi
}

install_tree() {
  if ! "$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    fail "cmake --install"
    exit 1
  fi
}

icon_sizes=(16 22 24 32 48 64 128 256 512)
pins=(bluepin redpin purplepin orangepin greenpin yellowpin whitepin)
unit=usr/lib/systemd/system/zellhop-lobby.service
relay_unit=usr/lib/systemd/system/zellhop-turnserver.service
desktop=usr/share/applications/zellhop.desktop
metainfo=usr/share/metainfo/io.github.zellhop.zellhop.metainfo.xml

expected_files() {
  echo usr/bin/zellhop-selfplay
  echo usr/share/man/man6/zellhop-selfplay.6.gz
  if [ "$lobby" = 1 ]; then
    echo usr/bin/zellhop-lobby
    echo usr/share/man/man8/zellhop-lobby.8.gz
    echo "$unit"
    echo "$relay_unit"
    echo usr/share/zellhop-lobby/zellhop-turnserver.conf
    echo usr/libexec/zellhop-lobby/zellhop-turnserver-config
  fi
  if [ "$game" = 1 ]; then
    echo usr/bin/zellhop
    echo usr/share/man/man6/zellhop.6.gz
    echo "$desktop"
    echo "$metainfo"
    for pin in "${pins[@]}"; do echo "usr/share/zellhop/$pin.bmp"; done
    for size in "${icon_sizes[@]}"; do
      echo "usr/share/icons/hicolor/${size}x${size}/apps/zellhop.png"
    done
  fi
}

# Exactly the expected files: none missing, nothing stray.
check_file_list() {
  local diff
  diff=$(diff <(expected_files | sort) <(cd "$root" && find . -type f -printf '%P\n' | sort))
  if [ -n "$diff" ]; then
    fail "installed files differ from the expected list (< missing, > not expected):"$'\n'"$diff"
  fi
  for program in "$prefix"/bin/*; do
    [ -x "$program" ] || fail "$program is not executable"
  done
}

png_size() { # FILE -> "WIDTHxHEIGHT" from the PNG header
  od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}

check_game_files() {
  for pin in "${pins[@]}"; do
    cmp -s "$source/assets/$pin.bmp" "$prefix/share/zellhop/$pin.bmp" || fail "$pin.bmp differs from assets/"
  done
  for size in "${icon_sizes[@]}"; do
    local icon=$prefix/share/icons/hicolor/${size}x${size}/apps/zellhop.png
    [ "$(png_size "$icon")" = "${size}x${size}" ] || fail "$icon is $(png_size "$icon"), not ${size}x${size}"
  done
  local entry=$root/$desktop
  grep -qx "Exec=zellhop" "$entry" || fail "the desktop entry does not run zellhop"
  grep -qx "Icon=zellhop" "$entry" || fail "the desktop entry does not show the zellhop icon"
  grep -qx "Categories=Game;BoardGame;" "$entry" || fail "the desktop entry is not in Game;BoardGame;"
  # The menu starts the game where its pins are.
  grep -qx "Path=$prefix/share/zellhop" "$entry" || fail "the desktop entry's Path= is not the pins' folder"
  grep -q '<launchable type="desktop-id">zellhop.desktop</launchable>' "$root/$metainfo" ||
    fail "the metainfo does not launch zellhop.desktop"

  if have desktop-file-validate; then
    validate "desktop-file-validate" desktop-file-validate "$entry"
  else
    skip "desktop-file-validate is not installed (Debian package desktop-file-utils)"
  fi
  if have appstreamcli; then
    # Pedantic hints (no release list) do not fail the check.
    local out out2
    if out=$(appstreamcli validate --no-net --explain "$root/$metainfo" 2>&1) &&
      out2=$(appstreamcli validate-tree --no-net "$root" 2>&1); then
      echo "ok: appstreamcli validate, validate-tree"
    else
      fail "appstreamcli:"$'\n'"$out"$'\n'"${out2:-}"
    fi
  else
    skip "appstreamcli is not installed (Debian package appstream)"
  fi
}

check_unit() {
  local file=$root/$unit
  grep -q "^ExecStart=$prefix/bin/zellhop-lobby " "$file" || fail "ExecStart= is not the installed zellhop-lobby"
  for setting in DynamicUser=yes StateDirectory=zellhop-lobby \
    AmbientCapabilities=CAP_NET_BIND_SERVICE Restart=on-failure; do
    grep -qx "$setting" "$file" || fail "the unit lacks $setting"
  done
  grep -q "^ExecStartPre=$prefix/libexec/zellhop-lobby/zellhop-turnserver-config $prefix/share/zellhop-lobby/zellhop-turnserver.conf " "$root/$relay_unit" ||
    fail "the relay's unit does not build its configuration from the installed files"
  if have systemd-analyze; then
    # Offline: the unit on its own, with its ExecStart checked against the
    # installed tree; --man=no because the man page is not installed yet.
    validate "systemd-analyze verify" systemd-analyze verify --man=no "$file"
    if [ -x /usr/bin/turnserver ]; then
      validate "systemd-analyze verify (relay)" systemd-analyze verify --man=no "$root/$relay_unit"
    else
      skip "coturn is not installed: the relay's unit was not verified"
    fi
  else
    skip "systemd-analyze is not installed (Debian package systemd)"
  fi
}

check_man_pages() {
  if ! have groff; then
    skip "groff is not installed (Debian package groff-base)"
    return
  fi
  # Long paths in the temporary tree may overfill a line: not a fault.
  for page in "$prefix"/share/man/man*/*.gz; do
    validate "groff $(basename "$page")" bash -c 'gzip -dc "$1" | groff -man -ww -Wbreak -z -Tutf8' _ "$page"
  done
}

run_selfplay() {
  local out
  out=$("$prefix/bin/zellhop-selfplay" --seats CCCCCC --max-turns 3 2>/dev/null)
  local status=$?
  [ $status -eq 0 ] || fail "installed zellhop-selfplay exited with $status"
  [ "$(tail -n 1 <<<"$out")" = "no winner after 3 turns" ] || fail "installed zellhop-selfplay printed:"$'\n'"$out"
  # Three turns of six seats, and the closing line.
  [ "$(wc -l <<<"$out")" -eq 19 ] || fail "installed zellhop-selfplay printed $(wc -l <<<"$out") lines, not 19"
  echo "ok: installed zellhop-selfplay plays"
}

# Waits up to 10 s for the lobby to say where it listens; prints the port.
lobby_port() {
  local line
  for _ in $(seq 100); do
    line=$(grep -o 'listening on 127\.0\.0\.1:[0-9]*' "$work/lobby.out" 2>/dev/null)
    [ -n "$line" ] && { echo "${line##*:}"; return 0; }
    kill -0 "$lobby_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

run_lobby() {
  local program=$prefix/bin/zellhop-lobby db=$work/lobby/lobby.db
  mkdir -p "$work/lobby"
  "$program" add-user --db "$db" alice --password secret77 >/dev/null || fail "installed zellhop-lobby add-user"
  "$program" --db "$db" --listen 127.0.0.1:0 --quiet >"$work/lobby.out" 2>"$work/lobby.err" &
  lobby_pid=$!
  local port
  if ! port=$(lobby_port); then
    fail "installed zellhop-lobby did not start:"$'\n'"$(cat "$work/lobby.out" "$work/lobby.err")"
    return
  fi
  local reply
  reply=$(curl -s --max-time 10 \
    "http://127.0.0.1:$port/tavlo/tavlologin2.php?username=alice&password=secret77&progversion=1.4.0.5")
  [ "${reply:0:1}" = 0 ] || fail "installed zellhop-lobby refused the log-in: \"$reply\""
  kill -TERM "$lobby_pid"
  wait "$lobby_pid"
  local status=$?
  lobby_pid=
  [ $status -eq 0 ] || fail "installed zellhop-lobby exited with $status after SIGTERM"
  grep -q "stopped" "$work/lobby.out" || fail "installed zellhop-lobby did not say it stopped"
  [ -f "$db" ] || fail "installed zellhop-lobby wrote no database"
  echo "ok: installed zellhop-lobby logs a player in and stops on SIGTERM"
}

# The game has no way to end itself: it must still be running after a few
# seconds, started as the menu starts it.
run_game() {
  mkdir -p "$work/home"
  (cd "$prefix/share/zellhop" &&
    HOME=$work/home XDG_CONFIG_HOME=$work/home/.config QT_QPA_PLATFORM=offscreen \
      exec "$prefix/bin/zellhop") >"$work/game.log" 2>&1 &
  game_pid=$!
  sleep 3
  if kill -0 "$game_pid" 2>/dev/null; then
    kill "$game_pid"
    wait "$game_pid" 2>/dev/null
    echo "ok: installed zellhop runs"
  else
    wait "$game_pid"
    fail "installed zellhop ended at once with $?:"$'\n'"$(cat "$work/game.log")"
  fi
  game_pid=
}

install_tree
check_file_list
check_man_pages
run_selfplay
if [ "$game" = 1 ]; then
  check_game_files
  run_game
fi
if [ "$lobby" = 1 ]; then
  check_unit
  if have curl; then
    run_lobby
  else
    skip "curl is not installed: the installed lobby was not started"
  fi
fi

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "the installed tree is complete and its programs run"
