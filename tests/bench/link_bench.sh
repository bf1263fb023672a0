#!/usr/bin/env bash
# Benchmarks of the link to the instrument, against zarn26-sim on a private X server:
#
#   tests/bench/link_bench.sh BUILD_DIR [BASELINE_DIR]
#
# BUILD_DIR (and BASELINE_DIR, another build or a folder holding its programs) must hold
# zarn26, zarn26-probed, zarn26-sim and zarn26-cli. For each it reports:
#   - open:  File > Open of a data file while the start-up read runs (the simulator
#            sends 8 MiB at 4 KiB per 4 ms), from the command to the window showing the
#            file, and whether `zarn26-cli read` gets the instrument right after it;
#   - idle:  the window's processor time with no instrument and libusb present, as a
#            share of one core over 30 s;
#   - read:  `zarn26-cli read` (start-up read and object names, no slowness) against
#            the protocol's own waits for it (2350 ms), median of 5 runs.
# With a baseline the figures of both come from the same run, with their ratios.
set -eu

find_tool() {  # DIR NAME
  find "$1" -maxdepth 4 -type f -perm -u+x -name "$2" -print -quit
}

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

display=""
start_x() {
  local n
  for n in $(seq 140 240); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
    if [ -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; return; fi
  done
  echo "link_bench: no X server" >&2
  exit 1
}

now_ms() { date +%s%3N; }

# state KEY: the probe's last value of KEY
state() { sed -n "s/^$1=//p" "$probe/state.txt" 2>/dev/null | head -1; }

wait_for() {  # KEY PREFIX MS
  local until=$(( $(now_ms) + $3 ))
  while [ "$(now_ms)" -lt "$until" ]; do
    case "$(state "$1")" in "$2"*) return 0 ;; esac
    sleep 0.02
  done
  return 1
}

# A fresh surroundings folder for one program run: settings, runtime folder, probe.
surroundings() {
  home="$work/home-$1"
  rm -rf "$home"
  mkdir -p "$home/config/zarn26" "$home/run" "$home/probe"
  chmod 700 "$home/run"
  printf '[Config]\r\nLangId=Rus\r\n' >"$home/config/zarn26/Zarn26.ini"
  probe="$home/probe"
}

# Runs a program in the surroundings; `exec` keeps its process id for $! of a "&".
run_env() {
  exec env DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$home/run" \
    XDG_CONFIG_HOME="$home/config" HOME="$home" "$@"
}

measure() {  # DIR LABEL
  local dir=$1 label=$2
  local app probed sim cli
  app=$(find_tool "$dir" zarn26)
  probed=$(find_tool "$dir" zarn26-probed)
  sim=$(find_tool "$dir" zarn26-sim)
  cli=$(find_tool "$dir" zarn26-cli)
  for t in "$app" "$probed" "$sim" "$cli"; do
    [ -n "$t" ] || { echo "link_bench: $dir lacks a program" >&2; exit 2; }
  done
  "$sim" --write-sample "$work/sample.zarn" --processes 40 --seed 3 >/dev/null

  # Open during the start-up read.
  surroundings "open-$label"
  (run_env "$sim" --root "$home/run/zarn26" --data "$work/sample.zarn" --slow 4 >"$home/sim.out" 2>/dev/null) &
  local simpid=$!
  pids+=($simpid)
  for _ in $(seq 200); do grep -q READY "$home/sim.out" && break; sleep 0.05; done
  (run_env ZARN26_TEST_PROBE="$probe" "$probed" >/dev/null 2>&1) &
  local apppid=$!
  pids+=($apppid)
  wait_for progress 1 60000 || { echo "link_bench: $label: no read began" >&2; exit 1; }
  sleep 0.5
  local t0 t1
  t0=$(now_ms)
  echo "open $work/sample.zarn" >"$probe/command.tmp" && mv "$probe/command.tmp" "$probe/command"
  wait_for panel0 'Файл' 30000 || { echo "link_bench: $label: the file did not open" >&2; exit 1; }
  t1=$(now_ms)
  local open_ms=$((t1 - t0))
  local reader=0
  (run_env "$cli" read "$work/after-$label.zarn" --timeout 20 >/dev/null 2>&1) || reader=$?
  echo close >"$probe/command.tmp" && mv "$probe/command.tmp" "$probe/command"
  wait $apppid 2>/dev/null || true
  kill $simpid 2>/dev/null || true
  wait $simpid 2>/dev/null || true

  # Idle without an instrument, libusb present.
  surroundings "idle-$label"
  (run_env "$app" >/dev/null 2>&1) &
  apppid=$!
  pids+=($apppid)
  sleep 4
  local tick c0 c1
  tick=$(getconf CLK_TCK)
  c0=$(awk '{ print $14 + $15 }' "/proc/$apppid/stat")
  sleep 30
  c1=$(awk '{ print $14 + $15 }' "/proc/$apppid/stat")
  kill $apppid 2>/dev/null || true
  wait $apppid 2>/dev/null || true
  local idle
  idle=$(awk -v d=$((c1 - c0)) -v t="$tick" 'BEGIN { printf "%.3f", 100 * d / t / 30 }')

  # The read against its protocol floor.
  surroundings "read-$label"
  (run_env "$sim" --root "$home/run/zarn26" --data "$work/sample.zarn" >"$home/sim.out" 2>/dev/null) &
  simpid=$!
  pids+=($simpid)
  for _ in $(seq 200); do grep -q READY "$home/sim.out" && break; sleep 0.05; done
  local times=()
  for _ in 1 2 3 4 5; do
    t0=$(now_ms)
    (run_env "$cli" read "$work/read-$label.zarn" --timeout 30 >/dev/null 2>&1)
    t1=$(now_ms)
    times+=($((t1 - t0)))
  done
  kill $simpid 2>/dev/null || true
  wait $simpid 2>/dev/null || true
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 3p)

  printf '%s: open during the read %d ms (zarn26-cli read after it: exit %d); idle %s %% of a core; read %d ms = %s x its floor of 2350 ms\n' \
    "$label" "$open_ms" "$reader" "$idle" "$median" "$(awk -v m="$median" 'BEGIN { printf "%.2f", m / 2350 }')"
  eval "open_$label=$open_ms idle_$label=$idle read_$label=$median"
}

[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [BASELINE_DIR]" >&2; exit 2; }
start_x
measure "$1" new
if [ $# -ge 2 ]; then
  measure "$2" base
  awk -v on="$open_new" -v ob="$open_base" -v in_="$idle_new" -v ib="$idle_base" -v rn="$read_new" -v rb="$read_base" \
    'BEGIN { printf "new / baseline: open %.3f, idle %.3f, read %.3f\n", on / ob, in_ / (ib > 0 ? ib : 1), rn / rb }'
fi
