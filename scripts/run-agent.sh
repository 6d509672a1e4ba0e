#!/usr/bin/env bash
# The agent's main job: builds everything, then runs the agent headless with
# its log on the terminal. Without a PBX it starts the PBX simulator on a
# pseudo-terminal and points the agent at it; with --pbx DEVICE it uses the
# real line. Ctrl-C ends the agent the way its close command does.
#
#   scripts/run-agent.sh                  # against the simulator (tools/pbxsim/scenarios/demo.ini)
#   scripts/run-agent.sh --pbx /dev/ttyUSB0
#   scripts/run-agent.sh --scenario FILE  # another simulator scenario
#
# The run lives in build/demo/: the agent's copy (with libQLIN2.so beside it:
# the line interface is on), its agent.INI, the billing file DATA.NEW and the
# simulator's request log pbxsim.log.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
pbx="" scenario="$top/tools/pbxsim/scenarios/demo.ini" ipport=1234
while [ $# -gt 0 ]; do
  case "$1" in
    --pbx) pbx=$2; shift 2 ;;
    --scenario) scenario=$2; shift 2 ;;
    --ip-port) ipport=$2; shift 2 ;;
    *) echo "usage: $0 [--pbx DEVICE] [--scenario FILE] [--ip-port PORT]" >&2; exit 2 ;;
  esac
done

"$top/scripts/build.sh" "$top/build"
bin=$top/build/bin
demo=$top/build/demo
mkdir -p "$demo"
# The configuration file is the program's path with ".INI": the demo has a
# copy of the program so that it keeps its settings apart from build/bin.
cp --remove-destination "$bin/agent" "$bin/libQLIN2.so" "$bin"/Language.* "$demo/"

sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null || true; }
trap cleanup EXIT

if [ -z "$pbx" ]; then
  # The simulator's line gets a short name: a port settings string holds at
  # most 39 characters.
  pbx=/tmp/varno-pbx.$$
  "$bin/pbxsim" --scenario "$scenario" --link "$pbx" --log "$demo/pbxsim.log" --control none >/dev/null &
  sim_pid=$!
  for _ in $(seq 50); do [ -e "$pbx" ] && break; sleep 0.1; done
  echo "PBX simulator on $(readlink "$pbx"), requests logged to $demo/pbxsim.log" >&2
fi

cat > "$demo/agent.INI" <<INI
[Set]
Lang=Eng
Port=$pbx:19200,N,8,1
IPPort=$ipport
SendUct=1
UctFile=DATA.NEW
QLIN=1
[Prefix]
0=9
INI
echo "Gateway on TCP port $ipport; try: $bin/pbxquery --port $ipport 00 16 00" >&2
echo "Line interface on; try: $bin/qlinmon lines; $bin/qlinmon watch 102; $bin/qlinmon dial 101 0123" >&2

cd "$demo"
env -u DISPLAY -u WAYLAND_DISPLAY "$demo/agent" &
agent_pid=$!
trap 'kill -TERM $agent_pid 2>/dev/null' INT TERM
wait $agent_pid || true
wait $agent_pid 2>/dev/null || true
