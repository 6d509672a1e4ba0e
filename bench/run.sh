#!/usr/bin/env bash
# The gateway benchmark: the agent (headless, default log flags) against the
# PBX simulator, driven over TCP with 1, 10, 100 and 1000 connections for
# three mixes, each figure beside a baseline measured in the same run:
#   local      item 22 from the agent's poll and cached reads, beside a bare
#              Qt server answering every read with a fixed reply;
#   forwarded  a request the agent sends to the PBX (command 2), beside the
#              round trip over the pty to the simulator alone;
#   mix        half of each.
# One line per case: rate, p50/p99 latency, the agent's CPU time and peak
# memory during the case.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${BENCH_SECONDS:-3}
"$top/scripts/build.sh" "$top/build" >/dev/null
bin=$top/build/bin
# Short paths: a port settings string holds at most 39 characters.
work=$(mktemp -d /tmp/vb.XXXX)
echo "# work folder: $work" >&2
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; [ -n "${BENCH_KEEP:-}" ] || rm -rf "$work"; }
trap cleanup EXIT

ulimit -n "$(ulimit -Hn)"
# A TCP port that nothing listens on: a refused connection says it is free.
free_port() {
  local p
  for _ in $(seq 200); do
    p=$((20000 + RANDOM % 40000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then echo "$p"; return; fi
  done
  echo "bench: no free TCP port found" >&2; return 1
}
cpu_ms() { awk '{print ($14+$15)*10}' "/proc/$1/stat"; }   # utime+stime in ms (100 Hz ticks)
peak_kb() { awk '/VmHWM/{print $2}' "/proc/$1/status"; }

# Baselines.
"$bin/bench_bareserver" > "$work/bare.out" &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/bare.out" ] && break; sleep 0.1; done
bare_port=$(awk '{print $2}' "$work/bare.out")

"$bin/pbxsim" --scenario "$top/tools/pbxsim/scenarios/demo.ini" --link "$work/pbx-base" --quiet --control none >/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -e "$work/pbx-base" ] && break; sleep 0.1; done
echo "# baseline, forwarded: $("$bin/bench_ptyroundtrip" "$work/pbx-base" "$secs" 02)"

# A fresh simulator and agent for each mix, so that no mix inherits
# another's queue. For local answers the line-state poll runs every 100 ms
# (instead of 600), so that its reply is always fresh; the other mixes use
# the default timers. Log flags are the defaults throughout.
start_agent() {  # $1: name, $2: extra INI lines
  local dir=$work/$1
  mkdir -p "$dir"
  cp "$bin/agent" "$bin"/Language.* "$dir/"
  "$bin/pbxsim" --scenario "$top/tools/pbxsim/scenarios/demo.ini" --link "$dir/pbx" --quiet --control none >/dev/null &
  pids+=($!)
  for _ in $(seq 50); do [ -e "$dir/pbx" ] && break; sleep 0.1; done
  port=$(free_port)
  printf '[Set]\nPort=%s:19200,N,8,1\nIPPort=%s\n%b' "$dir/pbx" "$port" "$2" > "$dir/agent.INI"
  (cd "$dir" && exec env -u DISPLAY -u WAYLAND_DISPLAY ./agent 2>"$dir/agent.log") &
  agent=$!
  pids+=($agent)
  sleep 1.5
  # The first item-22 request starts the agent's line-state poll.
  "$bin/pbxquery" --port "$port" 00 16 00 >/dev/null || true
  sleep 1
}

declare -A requests=([local]="001600 000e00" [forwarded]="02" [mix]="001600 02")
declare -A settings=([local]="[Timer]\nANInterval=100\n" [forwarded]="" [mix]="")
for mix in local forwarded mix; do
  start_agent "${mix:0:1}" "${settings[$mix]}"
  for conns in 1 10 100 1000; do
    if [ "$mix" != forwarded ]; then
      base=$("$bin/bench_loadgen" --port "$bare_port" --conns "$conns" --seconds "$secs" --label base 001600)
    else
      base="(pty round trip above)"
    fi
    echo 5 > "/proc/$agent/clear_refs" 2>/dev/null || true   # restart the peak-memory count
    c0=$(cpu_ms "$agent")
    # shellcheck disable=SC2086
    run=$("$bin/bench_loadgen" --port "$port" --conns "$conns" --seconds "$secs" --label "$mix" ${requests[$mix]})
    c1=$(cpu_ms "$agent")
    echo "$run agent_cpu_ms=$((c1 - c0)) agent_peak_kb=$(peak_kb "$agent") | baseline: $base"
  done
  kill "$agent" 2>/dev/null || true
done
