#!/usr/bin/env bash
# Cross-builds the Windows program with MinGW-w64 and tests it under Wine:
# the unit tests through ctest, then the service end to end (install, start
# through the service manager, the first refresh, the event log, stop,
# uninstall), then an invalid option and a "-debug" run.
#
#   scripts/test-windows.sh
#
# Builds into build/windows-x86_64 and keeps a Wine prefix in build/wineprefix.
# Every Wine call has a time limit; the Wine server is shut down at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
build_dir=$root/build/windows-x86_64
e2e_dir=$build_dir/e2e

log() { echo "== $*"; }
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# --- packages -----------------------------------------------------------
scripts/install-deps.sh windows

# pugixml and expat for the cross build come from Debian's source packages, which APT
# fetches only with a deb-src entry: a copy of the main archive's entry.
deb_src=/etc/apt/sources.list.d/tavrolin-deb-src.sources
if [[ ! -f $deb_src ]] && ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ &&
    ! grep -qs '^deb-src' /etc/apt/sources.list; then
  sudo=()
  [[ $(id -u) -ne 0 ]] && sudo=(sudo)
  log "adding a deb-src entry for pugixml's source package"
  awk 'BEGIN { RS = ""; ORS = "\n" }
       /Types: deb\n/ && /URIs: [^\n]*debian\n/ { sub(/Types: deb/, "Types: deb-src"); print; exit }' \
    /etc/apt/sources.list.d/debian.sources | "${sudo[@]}" tee "$deb_src" >/dev/null
  "${sudo[@]}" apt-get update -qq
fi

# --- cross build --------------------------------------------------------
log "Windows cross build (x86_64)"
build_start=$SECONDS
cmake -S "$root" -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j "$jobs"
echo "Windows build: $((SECONDS - build_start)) s"

# --- Wine ---------------------------------------------------------------
wine_start=$SECONDS
export WINEPREFIX=$root/build/wineprefix
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
export WINEDEBUG=-all
bin=$build_dir/bin
services_log=$build_dir/wine-services.log

stop_wine() { timeout 30 wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT

if [[ ! -f $WINEPREFIX/system.reg ]]; then
  log "making the Wine prefix"
  stop_wine
  timeout 300 wineboot --init </dev/null >/dev/null 2>&1 || fail "wineboot --init"
  timeout 120 wineserver -w || true
fi

# A persistent server, so that a started service outlives the call that
# started it, and a warm-up with detached standard streams, so that Wine's
# system processes do not hold a caller's pipe open. The service manager and
# its services write their standard error to the services log: error-type
# event-log entries appear there as "err:eventlog:ReportEventW".
stop_wine
timeout 30 wineserver -p || fail "wineserver -p"
: >"$services_log"
WINEDEBUG=-all,err+eventlog timeout 120 wine cmd /c exit 0 \
  </dev/null >/dev/null 2>>"$services_log" || fail "Wine warm-up"
timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
  /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1 || fail "crash dialog off"

log "unit tests under Wine"
ctest --test-dir "$build_dir" --output-on-failure -j "$jobs" --timeout 120

# --- end to end ---------------------------------------------------------
log "end-to-end test under Wine"
wine_run() {  # wine_run SECONDS PROGRAM ARGS... ; standard input detached
  local limit=$1
  shift
  timeout "$limit" wine "$@" </dev/null
}
service_state() {
  wine_run 60 sc query CorvaneService 2>/dev/null | tr -d '\r' |
    awk '/STATE/ { print $4 }'
}

# What an earlier, interrupted run may have left behind.
if [[ -n $(service_state) ]]; then
  wine_run 60 net stop CorvaneService >/dev/null 2>&1 || true
  wine_run 60 sc delete CorvaneService >/dev/null 2>&1 || true
fi

rm -rf "$e2e_dir"
mkdir -p "$e2e_dir/service" "$e2e_dir/debug"
# The example tag lists and the simulator's data go beside the program and
# its simulator DLLs, where the simulator finds its data.
examples=$root/examples
[[ -f $examples/tags.xml && -f $examples/tags3.xml ]] || fail "no example tag lists in $examples"
for dir in "$e2e_dir/service" "$e2e_dir/debug"; do
  cp "$bin/tavrolin.exe" "$bin/piapi32.dll" "$bin/pilog32.dll" "$dir/"
  cp -r "$examples/." "$dir/"
  # tags2.xml is not well-formed: its report fails and is logged.
  printf '<TagList><Systems>\r\n' >"$dir/tags2.xml"
done
# A service runs in the Windows folder and reads its tag lists there; a
# "-debug" run reads them from the folder it is started in.
service_cwd=$WINEPREFIX/drive_c/windows
inputs=(tags.xml tags3.xml tags2.xml)
for input in "${inputs[@]}"; do cp "$e2e_dir/service/$input" "$service_cwd/"; done
cleanup_inputs() {
  for input in "${inputs[@]}"; do rm -f "$service_cwd/$input"; done
}
trap 'cleanup_inputs; stop_wine' EXIT

# A report as the service writes it: one XML document in 8-bit text with no
# byte-order mark, followed by CR LF, holding the simulator's values.
check_report() {  # check_report FILE
  local file=$1 name
  name=$(basename "$1")
  [[ -s $file ]] || fail "$name is missing"
  [[ $(tail -c 2 "$file" | od -An -tx1 | tr -d ' ') == 0d0a ]] || fail "$name does not end in CR LF"
  [[ $(head -c 3 "$file" | od -An -tx1 | tr -d ' ') != efbbbf ]] || fail "$name starts with a BOM"
  # Line breaks inside comments or text are the tag list's own (LF once
  # parsed); the only CR is that of the closing CR LF.
  [[ $(tr -cd '\r' <"$file" | wc -c) == 1 ]] || fail "$name has a CR before its end"
  grep -q '<Value>[ -]*[0-9.]' "$file" || fail "$name holds no values"
  ! grep -q 'error: ' "$file" || fail "$name holds an error text: $(grep -o 'error: [^<]*' "$file" | head -1)"
}

win_exe=$(wine_run 30 winepath -w "$e2e_dir/service/tavrolin.exe" 2>/dev/null | tr -d '\r')

# Install: success (exit status 0), the service registered with the quoted
# path of the executable, automatic start; a second install fails.
wine_run 60 "$e2e_dir/service/tavrolin.exe" -install || fail "-install exited with $?"
image_path=$(wine_run 60 reg query 'HKLM\System\CurrentControlSet\Services\CorvaneService' \
  /v ImagePath 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_[A-Z_]*SZ *//p')
[[ $image_path == "\"$win_exe\"" ]] || fail "image path is [$image_path], not [\"$win_exe\"]"
[[ $(service_state) == STOPPED ]] || fail "the installed service is not stopped"
if wine_run 60 "$e2e_dir/service/tavrolin.exe" -install; then
  fail "a second -install reported success"
fi

# Start through the service manager; net start waits for RUNNING.
start_time=$SECONDS
wine_run 90 net start CorvaneService >/dev/null || fail "net start"
[[ $(service_state) == RUNNING ]] || fail "the service is not running"

# The first tick, 30 s after start, writes the reports.
wait_for_file() {  # wait_for_file PATH SECONDS
  local deadline=$((SECONDS + $2))
  while [[ ! -s $1 ]]; do
    ((SECONDS < deadline)) || return 1
    sleep 1
  done
}
wait_for_file "$e2e_dir/service/out3.xml" 90 || fail "no out3.xml within 90 s of the start"
elapsed=$((SECONDS - start_time))
((elapsed >= 25)) || fail "reports written after $elapsed s, before the first tick"
sleep 2
for report in out.xml out3.xml; do check_report "$e2e_dir/service/$report"; done
[[ ! -e $e2e_dir/service/out2.xml ]] || fail "out2.xml written from a broken tag list"
grep -aq 'err:eventlog:ReportEventW L"\[' "$services_log" ||
  fail "no event-log entry for the failing report"
grep -a 'err:eventlog' "$services_log" | head -3

# Stop: the window closes, the service reports stopped, the process ends.
wine_run 90 net stop CorvaneService >/dev/null || fail "net stop"
[[ $(service_state) == STOPPED ]] || fail "the service did not stop"
exit_code=$(wine_run 60 sc query CorvaneService 2>/dev/null | tr -d '\r' |
  awk '/WIN32_EXIT_CODE/ { print $3 }')
[[ $exit_code == 0 ]] || fail "the service stopped with exit code $exit_code"
deadline=$((SECONDS + 15))
while pgrep -f 'e2e.service.tavrolin\.exe' >/dev/null; do
  ((SECONDS < deadline)) || fail "the service's process did not end"
  sleep 1
done

# Uninstall removes the service; a second uninstall fails.
wine_run 60 "$e2e_dir/service/tavrolin.exe" -uninstall || fail "-uninstall exited with $?"
[[ -z $(service_state) ]] || fail "the service is still registered"
if wine_run 60 "$e2e_dir/service/tavrolin.exe" -uninstall; then
  fail "a second -uninstall reported success"
fi

# An invalid option: the message box (which Wine cannot show here) and the
# end of the program, with nothing written.
cd "$e2e_dir/debug"
status=0
wine_run 60 ./tavrolin.exe -INSTALL 2>/dev/null || status=$?
[[ $status == 2 ]] || fail "an invalid option exited with $status, not 2"
[[ ! -e out3.xml ]] || fail "an invalid option wrote a report"

# "-debug": no service manager; the program runs, ticks and writes reports
# until it is ended.
debug_log=$e2e_dir/debug/stderr.log
WINEDEBUG=-all,err+eventlog timeout 120 wine ./tavrolin.exe -debug </dev/null \
  >/dev/null 2>"$debug_log" &
debug_pid=$!
wait_for_file "$e2e_dir/debug/out3.xml" 90 || fail "-debug wrote no out3.xml"
sleep 2
kill -0 "$debug_pid" 2>/dev/null || fail "the -debug run ended by itself"
for report in out.xml out3.xml; do check_report "$e2e_dir/debug/$report"; done
grep -aq 'err:eventlog:ReportEventW L"\[' "$debug_log" ||
  fail "-debug: no event-log entry for the failing report"
kill "$debug_pid" 2>/dev/null || true
wait "$debug_pid" 2>/dev/null || true
cd "$root"

echo "Wine stage (unit tests and end to end): $((SECONDS - wine_start)) s"
log "Windows tests passed"
