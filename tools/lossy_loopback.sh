#!/usr/bin/env bash
# Runs a program (a test program, say) in a network namespace of its own
# whose loopback drops a random share of the UDP datagrams it receives: the
# network of a player on bad Wi-Fi, for runs by hand.  Needs root (or user
# namespaces: it then maps the caller to root) and Debian's iptables, which
# CI does not need.
#
#   tools/lossy_loopback.sh SHARE PROGRAM [ARGUMENTS...]
#   tools/lossy_loopback.sh 0.02 build/tests/net/net_tests --gtest_filter='QCommReliable*'
#   RUNS=10 tools/lossy_loopback.sh 0.10 build/tests/app/app_tests --gtest_filter='OnlineGame.*'
#
# SHARE is a probability, 0 to 1.  RUNS (default 1) repeats the program and
# counts the runs that passed.  TCP (the lobby) is not touched.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 SHARE PROGRAM [ARGUMENTS...]" >&2
  exit 2
fi
share=$1
shift
runs=${RUNS:-1}
if ! command -v iptables >/dev/null; then
  echo "iptables is missing: apt-get install iptables" >&2
  exit 2
fi

unshare_args=(-n)
[ "$(id -u)" -ne 0 ] && unshare_args=(-r -n)

# Inside: loopback up, the drop rule, then the runs.
exec unshare "${unshare_args[@]}" bash -s "$share" "$runs" "$@" <<'INSIDE'
set -uo pipefail
share=$1 runs=$2
shift 2
ip link set lo up
iptables -A INPUT -i lo -p udp -m statistic --mode random --probability "$share" -j DROP
passed=0
for ((run = 1; run <= runs; run++)); do
  if "$@"; then
    passed=$((passed + 1))
  fi
done
dropped=$(iptables -L INPUT -v -n -x | awk '/DROP/ { print $1 }')
echo "== $passed of $runs runs passed with $share of the UDP datagrams dropped ($dropped dropped in all)"
[ "$passed" -eq "$runs" ]
INSIDE
