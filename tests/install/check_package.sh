#!/usr/bin/env bash
# Builds the Debian package with CPack into a temporary folder and checks
# what dpkg would install: the control fields, the dependencies that
# dpkg-shlibdeps found, and that the files which name installed paths name
# /usr, the package's prefix, not the prefix the build was configured with.
#
#   check_package.sh CPACK CPACK_CONFIG VERSION GAME_BUILT LOBBY_BUILT
set -uo pipefail

cpack=$1 config=$2 version=$3 game=$4 lobby=$5

for tool in dpkg-deb dpkg-shlibdeps; do
  if ! command -v $tool >/dev/null 2>&1; then
    echo "SKIPPED: $tool is not installed (Debian package dpkg-dev): no package built"
    exit 0
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zellhop-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ! "$cpack" --config "$config" -B "$work" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack"
  exit 1
fi
deb=$(ls "$work"/*.deb)
[ "$(basename "$deb")" = "zellhop_${version}_$(dpkg --print-architecture).deb" ] ||
  fail "the package file is named $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = zellhop ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = games ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"

depends=$(field Depends)
echo "Depends: $depends"
needs() { # PACKAGE_PREFIX...: each must begin one of the dependencies
  local package dependency found
  for package in "$@"; do
    found=
    IFS=',' read -ra list <<<"$depends"
    for dependency in "${list[@]}"; do
      [[ ${dependency# } == "$package"* ]] && found=1
    done
    [ -n "$found" ] || fail "Depends lacks $package"
  done
}
needs libc6 libstdc++6
[ "$game" = 1 ] && needs libqt6core6 libqt6gui6 libqt6widgets6
[ "$lobby" = 1 ] && needs libsqlite3 libsodium libpq5

tree=$work/tree
dpkg-deb -x "$deb" "$tree"
stray=$(cd "$tree" && find . -type f ! -path './usr/*')
[ -z "$stray" ] || fail "files outside /usr:"$'\n'"$stray"

for program in "$tree"/usr/bin/*; do
  # Stripped, but still carrying the version block that the game sends
  # to the lobby and compares with its peers.
  case $(basename "$program") in
  zellhop | zellhop-selfplay) grep -qa ZHVI "$program" || fail "$program lost its version block" ;;
  esac
done

if [ "$game" = 1 ]; then
  grep -qx "Path=/usr/share/zellhop" "$tree/usr/share/applications/zellhop.desktop" ||
    fail "the desktop entry does not start the game in /usr/share/zellhop"
  [ -f "$tree/usr/share/zellhop/whitepin.bmp" ] || fail "no pins in /usr/share/zellhop"
  gzip -dc "$tree/usr/share/man/man6/zellhop.6.gz" | grep -q '/usr/share/zellhop' ||
    fail "the game's man page does not name /usr/share/zellhop"
fi
if [ "$lobby" = 1 ]; then
  grep -q "^ExecStart=/usr/bin/zellhop-lobby " "$tree/usr/lib/systemd/system/zellhop-lobby.service" ||
    fail "the unit does not start /usr/bin/zellhop-lobby"
fi

out=$("$tree/usr/bin/zellhop-selfplay" --max-turns 1 2>/dev/null)
[ "$(tail -n 1 <<<"$out")" = "no winner after 1 turns" ] || fail "the packaged zellhop-selfplay printed:"$'\n'"$out"

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "ok: $(basename "$deb")"
