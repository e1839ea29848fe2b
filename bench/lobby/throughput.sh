#!/usr/bin/env bash
# Listings per second of zellhop-lobby under wrk: 50 and 200 connections,
# kept alive and one request per connection (as the game sends them).
# Run by hand on an otherwise idle machine; loopback only.
#
#   bench/lobby/throughput.sh [LOBBY-PROGRAM] [SECONDS] [-- LOBBY-OPTIONS...]
#
# The lobby runs with a fresh SQLite file (or --db postgresql://... among
# the options) and its limits per address off, since wrk is one address.
set -euo pipefail

top=$(cd "$(dirname "$0")/../.." && pwd)
lobby=${1:-$top/build/lobby/zellhop-lobby}
seconds=${2:-10}
shift $(( $# > 2 ? 2 : $# ))
[ "${1:-}" = "--" ] && shift
extra=("$@")

work=$(mktemp -d "${TMPDIR:-/tmp}/lobby-throughput.XXXXXX")
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

db=$work/lobby.db
for arg in "${extra[@]}"; do [[ $arg == postgres* ]] && db=$arg; done
for i in $(seq 10); do
  "$lobby" add-user --db "$db" --password "bench-pass" "bench$i" >/dev/null
done
"$lobby" --db "$db" --listen 127.0.0.1:0 --quiet --rate-per-address 0 --max-per-address 0 \
  --max-connections 4096 "${extra[@]}" >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 100); do grep -q 'listening on' "$work/out" 2>/dev/null && break; sleep 0.1; done
port=$(grep -o 'listening on .*' "$work/out" | sed 's/.*://')
base="http://127.0.0.1:$port"

# Ten published games, so that a listing is a real one.
session=
for i in $(seq 10); do
  reply=$(curl -s "$base/tavlo/tavlologin2.php?username=bench$i&password=bench-pass&progversion=1.4.0.5")
  session=${reply:1:32}
  curl -s "$base/tavlo/creategame.php?mysessid=$session&gametype=1&gamename=Bench%20game%20$i&players=130300" >/dev/null
done
target="$base/tavlo/getgames.php?mysessid=$session&gametype=1"
[ "$(curl -s "$target" | grep -c '^Bench game')" -eq 10 ] || { echo "the lobby does not list the games" >&2; exit 1; }

printf '%-12s %-11s %12s %9s %9s %8s\n' connections keep-alive listings/s p50 p99 errors
for connections in 50 200; do
  for keep in yes no; do
    header=()
    [ $keep = no ] && header=(-H "Connection: close")
    out=$(wrk -t2 -c"$connections" -d"${seconds}s" --latency "${header[@]}" "$target")
    rate=$(awk '/Requests\/sec/ {print $2}' <<<"$out")
    p50=$(awk '$1 == "50%" {print $2}' <<<"$out")
    p99=$(awk '$1 == "99%" {print $2}' <<<"$out")
    errors=$(awk '/Socket errors|Non-2xx/ {printf "%s ", $0}' <<<"$out")
    printf '%-12s %-11s %12s %9s %9s %8s\n' "$connections" "$keep" "$rate" "$p50" "$p99" "${errors:-0}"
  done
done
