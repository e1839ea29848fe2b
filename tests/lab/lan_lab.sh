#!/usr/bin/env bash
# A network lab of namespaces for games on this network, for tests and for
# runs by hand.  Needs root and iproute2.
#
#   host a 10.27.1.2 ─┐
#   host b 10.27.1.3 ─┤
#   host d 10.27.1.4 ─┼─ switch (a bridge) ─ router 10.27.1.1 | 10.27.2.1 ─ host c 10.27.2.2
#
# a, b and d share one network (one switch, multicast reaches all); c is on a
# second network behind the router, which forwards unicast between the two
# and no multicast.  Every interface lives inside the lab's namespaces
# (NAME-a, NAME-b, NAME-c, NAME-d, NAME-r, NAME-sw): nothing of the machine's own
# network is touched.
#
#   tests/lab/lan_lab.sh up NAME                  build the lab (exit 3: this machine
#                                                 cannot: not root, no iproute2, no
#                                                 namespaces allowed)
#   tests/lab/lan_lab.sh down NAME                take it away (also a half-built one)
#   tests/lab/lan_lab.sh run NAME HOST PROGRAM [ARGUMENTS...]
#                                                 run a program on host a, b, c or d
#   tests/lab/lan_lab.sh address HOST             the address of host a, b, c or d
#
# Two games on the switch, by hand (each program with its own settings, and
# LocalAddress set to its host's address, under [MULTI] of its zellhop.ini):
#   tests/lab/lan_lab.sh up lab
#   XDG_CONFIG_HOME=/tmp/a tests/lab/lan_lab.sh run lab a build/app/zellhop &
#   XDG_CONFIG_HOME=/tmp/b tests/lab/lan_lab.sh run lab b build/app/zellhop &
#   ...
#   tests/lab/lan_lab.sh down lab
set -euo pipefail

address() {
  case $1 in
    a) echo 10.27.1.2 ;;
    b) echo 10.27.1.3 ;;
    c) echo 10.27.2.2 ;;
    d) echo 10.27.1.4 ;;
    *) echo "no host $1 (a, b, c or d)" >&2; return 2 ;;
  esac
}

up() {
  local n=$1
  if ! ip netns add "$n-sw"; then
    echo "cannot make network namespaces here" >&2
    return 3
  fi
  ip -n "$n-sw" link set lo up
  for ns in a b c d r; do
    ip netns add "$n-$ns"
    ip -n "$n-$ns" link set lo up
  done
  # A plain switch: it floods multicast to every port, as home switches do.
  ip -n "$n-sw" link add br0 type bridge mcast_snooping 0
  ip -n "$n-sw" link set br0 up
  for host in a b d r; do
    ip -n "$n-$host" link add eth0 type veth peer name "port-$host" netns "$n-sw"
    ip -n "$n-sw" link set "port-$host" master br0 up
    ip -n "$n-$host" link set eth0 up
  done
  ip -n "$n-a" addr add 10.27.1.2/24 dev eth0
  ip -n "$n-b" addr add 10.27.1.3/24 dev eth0
  ip -n "$n-d" addr add 10.27.1.4/24 dev eth0
  ip -n "$n-r" addr add 10.27.1.1/24 dev eth0
  # The second network: one cable from the router to host c.
  ip -n "$n-r" link add eth1 type veth peer name eth0 netns "$n-c"
  ip -n "$n-r" addr add 10.27.2.1/24 dev eth1
  ip -n "$n-r" link set eth1 up
  ip -n "$n-c" addr add 10.27.2.2/24 dev eth0
  ip -n "$n-c" link set eth0 up
  for host in a b d; do
    ip -n "$n-$host" route add default via 10.27.1.1
  done
  ip -n "$n-c" route add default via 10.27.2.1
  ip netns exec "$n-r" sysctl -q -w net.ipv4.ip_forward=1
}

down() {
  local n=$1
  for ns in a b c d r sw; do
    ip netns del "$n-$ns" 2>/dev/null || true
  done
}

if [ $# -lt 1 ]; then
  sed -n '2,/^set -euo/p' "$0" | sed '$d' >&2
  exit 2
fi
command=$1
shift
case $command in
  up)
    [ $# -eq 1 ] || { echo "usage: $0 up NAME" >&2; exit 2; }
    [ "$(id -u)" -eq 0 ] || { echo "needs root" >&2; exit 3; }
    command -v ip >/dev/null || { echo "needs iproute2" >&2; exit 3; }
    status=0
    up "$1" || status=$?
    if [ $status -ne 0 ]; then
      down "$1"
      exit $status
    fi
    ;;
  down)
    [ $# -eq 1 ] || { echo "usage: $0 down NAME" >&2; exit 2; }
    down "$1"
    ;;
  run)
    [ $# -ge 3 ] || { echo "usage: $0 run NAME HOST PROGRAM [ARGUMENTS...]" >&2; exit 2; }
    address "$2" >/dev/null
    name=$1 host=$2
    shift 2
    exec ip netns exec "$name-$host" "$@"
    ;;
  address)
    address "$1"
    ;;
  *)
    echo "unknown command $command (up, down, run, address)" >&2
    exit 2
    ;;
esac
