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
# the line interface is on; and libagentq5.so: the mail gateway is on), its
# agent.INI, the billing file DATA.NEW, the simulator's request log
# pbxsim.log, the demo mailboxes in mail/ (made afresh each run) with their
# gateway configuration gateway.ini, and outbox/, where a stand-in for
# sendmail files every message the agent sends (one file each).
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
cp --remove-destination "$bin/agent" "$bin/libQLIN2.so" "$bin/libagentq5.so" "$bin"/Language.* "$demo/"

# The demo mailboxes: Maildirs of the owners of lines 101, 102, 103 and 200.
mail=$demo/mail
rm -rf "$mail"
deliver() {  # MAILDIR FOLDER NAME [INFO]
  local base=$1${2:+/$2}
  mkdir -p "$base/new" "$base/cur" "$base/tmp"
  local file="$base/new/$3.demo"
  [ $# -ge 4 ] && file="$base/cur/$3.demo:2,$4"
  printf 'From: someone@example.net\nSubject: demo message %s\n\nHello.\n' "$3" > "$file"
}
for box in anna karel eva reception; do mkdir -p "$mail/$box/new" "$mail/$box/cur" "$mail/$box/tmp"; done
deliver "$mail/anna" "" 1; deliver "$mail/anna" "" 2; deliver "$mail/anna" "" 3 ""; deliver "$mail/anna" "" 4 S
deliver "$mail/anna" .Fax 5; deliver "$mail/anna" .Voice 6
deliver "$mail/karel" "" 7
deliver "$mail/reception" .Voice 8; deliver "$mail/reception" .Voice 9
# sendmail's stand-in: each message it is given becomes a file in outbox/.
rm -rf "$demo/outbox" && mkdir -p "$demo/outbox"
cat > "$demo/sendmail" <<'SH'
#!/bin/sh
out=$(dirname "$0")/outbox
cat > "$out/.incoming.$$" && mv "$out/.incoming.$$" "$out/$(date +%Y%m%d-%H%M%S).$$.eml"
SH
chmod +x "$demo/sendmail"
cat > "$demo/gateway.ini" <<INI
[Gateway]
User=agent
Sendmail=$demo/sendmail -t -i
From=varno-agent@pbx.example.net
[Mailbox anna]
Owner=Anna Novakova
Phone=101
Maildir=$mail/anna
[Mailbox karel]
Owner=Karel Dvorak
Phone=102
Maildir=$mail/karel
[Mailbox eva]
Owner=Eva Horakova
Phone=103
Maildir=$mail/eva
[Mailbox reception]
Owner=Reception
Phone=200
Maildir=$mail/reception
[Routes]
Q=%s@sms.example.net
F=%s@fax.example.net
INI

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
[M602]
CestaKeKonfiguraciMail602=$demo/gateway.ini
Uzivatel=agent
CestaKPracovnimuAdresari=$demo
[Trapy]
AdresaPrijemce=operator@example.net
TypAdresyPrijemce=I
Subject=Varno Agent
INI
echo "Gateway on TCP port $ipport; try: $bin/pbxquery --port $ipport 00 16 00" >&2
echo "Line interface on; try: $bin/qlinmon lines; $bin/qlinmon watch 102; $bin/qlinmon dial 101 0123" >&2
echo "Mail gateway on; try: $bin/mailcheck $demo/gateway.ini; echo hi > $mail/karel/new/\$(date +%s).demo" >&2

cd "$demo"
env -u DISPLAY -u WAYLAND_DISPLAY "$demo/agent" &
agent_pid=$!
trap 'kill -TERM $agent_pid 2>/dev/null' INT TERM
wait $agent_pid || true
wait $agent_pid 2>/dev/null || true
