#!/usr/bin/env bash
# Cross-builds the Windows program with MinGW-w64, for 32-bit (i686, the
# build for 32-bit historian client libraries) and 64-bit (x86_64) Windows,
# analyses the sources as compiled for 64-bit Windows with clang-tidy
# (scripts/run-clang-tidy.sh), and tests each build under Wine: first whether
# Wine runs the program at all, then the unit tests through ctest, then the
# Windows zip and the installer package (MSI) with the hardening of every
# executable and DLL in them, then, from the unpacked zip, the service end to
# end (install, start through the service manager, the first refresh from the
# system folder, the event log, stop, uninstall) and a "-debug" run, the
# loading of the historian's libraries from trusted folders only, then the MSI
# end to end (silent install, the first refresh from the data folder, the
# watchdog, an upgrade, uninstall).
#
#   scripts/test-windows.sh
#
# TAVROLIN_WINDOWS_ARCHS="x86_64" limits the run to the builds named.
# Compiler warnings fail the build (TAVROLIN_WARNINGS_AS_ERRORS=OFF lets
# them pass, for a compiler newer than the one the code is checked with).
# Builds into build/windows-<arch>; both share pugixml's source download
# (build/windows-download) and one Wine prefix (build/wineprefix, a win64
# prefix, which runs 32-bit programs through wine32). Every Wine call has a
# time limit; the Wine server is shut down at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
read -r -a archs <<<"${TAVROLIN_WINDOWS_ARCHS:-i686 x86_64}"
stage_start=$SECONDS

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

# One download of pugixml's source for both builds.
download_dir=$root/build/windows-download
pugixml_tarball=$(compgen -G "$download_dir/pugixml_*.orig.tar.*" | head -1 || true)
if [[ -z $pugixml_tarball ]]; then
  log "fetching pugixml's Debian source package"
  mkdir -p "$download_dir"
  (cd "$download_dir" && apt-get source --download-only pugixml >/dev/null) ||
    fail "apt-get source --download-only pugixml"
  pugixml_tarball=$(compgen -G "$download_dir/pugixml_*.orig.tar.*" | head -1) ||
    fail "no pugixml tarball in $download_dir"
fi

# --- cross builds -------------------------------------------------------
declare -A build_seconds wine_seconds
for arch in "${archs[@]}"; do
  [[ -f $root/cmake/mingw-$arch.cmake ]] || fail "no toolchain file cmake/mingw-$arch.cmake"
  log "Windows cross build ($arch)"
  build_start=$SECONDS
  cmake -S "$root" -B "$root/build/windows-$arch" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVROLIN_PUGIXML_TARBALL="$pugixml_tarball" \
    -DTAVROLIN_WARNINGS_AS_ERRORS="${TAVROLIN_WARNINGS_AS_ERRORS:-ON}" \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
  cmake --build "$root/build/windows-$arch" -j "$jobs"
  build_seconds[$arch]=$((SECONDS - build_start))
  echo "Windows build ($arch): ${build_seconds[$arch]} s"
  # Static analysis of the sources as compiled for Windows, once, with the
  # 64-bit build's compile commands; after its build, so that every file
  # the build makes for the compiler exists.
  if [[ $arch == x86_64 ]]; then
    log "clang-tidy over the Windows sources"
    tidy_start=$SECONDS
    TAVROLIN_TIDY_JOBS=$jobs scripts/run-clang-tidy.sh "$root/build/windows-$arch" ||
      fail "clang-tidy over the Windows sources"
    tidy_seconds=$((SECONDS - tidy_start))
  fi
done

# --- Wine ---------------------------------------------------------------
export WINEPREFIX=$root/build/wineprefix
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
export WINEDEBUG=-all
services_log=$root/build/wine-services.log

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
wine_setting() {  # wine_setting KEY VALUE-NAME TYPE DATA
  timeout 60 wine reg add "$1" /v "$2" /t "$3" /d "$4" /f </dev/null >/dev/null 2>&1 ||
    fail "Wine setting $1\\$2"
}
wine_setting 'HKCU\Software\Wine\WineDbg' ShowCrashDialog REG_DWORD 0
# With WINEDEBUG=+relay, Wine traces the message box's call (and only that),
# so that a test sees the text of a message box that cannot be shown.
wine_setting 'HKCU\Software\Wine\Debug' RelayInclude REG_SZ user32.MessageBoxW

wine_run() {  # wine_run SECONDS PROGRAM ARGS... ; standard input detached
  local limit=$1
  shift
  timeout "$limit" wine "$@" </dev/null
}
service_state() {
  wine_run 60 sc query CorvaneService 2>/dev/null | tr -d '\r' |
    awk '/STATE/ { print $4 }'
}
wait_for_file() {  # wait_for_file PATH SECONDS
  local deadline=$((SECONDS + $2))
  while [[ ! -s $1 ]]; do
    ((SECONDS < deadline)) || return 1
    sleep 1
  done
}

# A report as the service writes it: one XML document in 8-bit text with no
# byte-order mark, followed by CR LF, holding the simulator's values.
check_report() {  # check_report FILE
  local file=$1 name
  name=$(basename "$1")
  [[ -s $file ]] || fail "$arch: $name is missing"
  [[ $(tail -c 2 "$file" | od -An -tx1 | tr -d ' ') == 0d0a ]] || fail "$arch: $name does not end in CR LF"
  [[ $(head -c 3 "$file" | od -An -tx1 | tr -d ' ') != efbbbf ]] || fail "$arch: $name starts with a BOM"
  # Line breaks inside comments or text are the tag list's own (LF once
  # parsed); the only CR is that of the closing CR LF.
  [[ $(tr -cd '\r' <"$file" | wc -c) == 1 ]] || fail "$arch: $name has a CR before its end"
  grep -q '<Value>[ -]*[0-9.]' "$file" || fail "$arch: $name holds no values"
  ! grep -q 'error: ' "$file" || fail "$arch: $name holds an error text: $(grep -o 'error: [^<]*' "$file" | head -1)"
}

# Whether Wine runs the program at all: an invalid option must show "Invalid
# command option" and end the program with status 2. A Wine that cannot run
# it (no wine32 for a 32-bit program, a DLL missing) exits with another
# status, often 0, which would let every later test pass unseen.
preflight() {  # preflight FOLDER
  local output status=0
  output=$(cd "$1" && WINEDEBUG=-all,err+module,+relay timeout 60 wine ./tavrolin.exe -INSTALL \
    </dev/null 2>&1) || status=$?
  if [[ $status != 2 ]] || ! grep -aq 'MessageBoxW(.*L"Invalid command option"' <<<"$output"; then
    grep -av ':trace:relay:' <<<"$output" | head -20 >&2
    local hint=""
    [[ $arch == i686 ]] &&
      hint=" 32-bit programs need wine32: dpkg --add-architecture i386; apt-get update; apt-get install wine32:i386 (scripts/install-deps.sh windows); a Wine prefix made before wine32 was installed runs no 32-bit program: remove build/wineprefix."
    fail "$arch: Wine does not run $1/tavrolin.exe: an invalid option exited with status $status, not 2 with \"Invalid command option\".$hint"
  fi
}

# The inputs of the service, in its working folder (the Windows folder).
service_cwd=$WINEPREFIX/drive_c/windows
inputs=(tags.xml tags3.xml tags2.xml)
cleanup_inputs() {
  for input in "${inputs[@]}"; do rm -f "$service_cwd/$input"; done
}
trap 'cleanup_inputs; stop_wine' EXIT

parameters_key='HKLM\System\CurrentControlSet\Services\CorvaneService\Parameters'
remove_leftovers() {  # what an interrupted run left behind
  # Packages still installed: each is one more client of the program's
  # components, which an uninstall would then keep, service and all.
  local view product
  for view in 64 32; do
    for product in $(wine_run 60 reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
      /s /reg:$view 2>/dev/null | tr -d '\r' |
      awk '/^HKEY/ { key = $0 } /DisplayName.*Corvane Service/ { print key }' |
      grep -o '{[0-9A-F-]*}$'); do
      wine_run 120 msiexec /x "$product" /qn >/dev/null 2>&1 || true
    done
  done
  if [[ -n $(service_state) ]]; then
    wine_run 60 net stop CorvaneService >/dev/null 2>&1 || true
    wine_run 60 sc delete CorvaneService >/dev/null 2>&1 || true
  fi
}

# Every executable and DLL shipped is loaded at a random address
# (DYNAMIC_BASE; HIGH_ENTROPY_VA on 64-bit) into memory that does not run
# data (NX_COMPAT), and is compiled with the stack protector (as the
# compiler records in the debugging information of the build's copies).
check_hardening() {  # check_hardening BUILD-DIR
  local triplet=$arch-w64-mingw32 file name characteristics
  local wanted=(DYNAMIC_BASE NX_COMPAT)
  [[ $arch == x86_64 ]] && wanted+=(HIGH_ENTROPY_VA)
  for file in "$1"/msi-stage/*.exe "$1"/msi-stage/*.dll; do
    name=$(basename "$file")
    characteristics=$("$triplet-objdump" -p "$file" | sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p')
    for flag in "${wanted[@]}"; do
      grep -qw "$flag" <<<"$characteristics" || fail "$arch: $name lacks $flag"
    done
    grep -aq -- '-fstack-protector-strong' "$1/bin/$name" ||
      fail "$arch: $name is built without the stack protector"
    echo "$name: ${wanted[*]}, stack protector"
  done
}

# The -debug program alone in a folder, without the historian's libraries.
lone_program() {  # lone_program FOLDER ZIP TOP
  rm -rf "$1"
  mkdir -p "$1"
  unzip -q -j "$2" "$3/tavrolin.exe" -d "$1"
}

# The historian's libraries come from trusted folders only: a copy planted
# in the folder a "-debug" run starts in is not loaded (start-up fails at
# pilg_registerapp), nor one in a PATH folder that everybody can write (with
# an event-log entry naming the folder).
test_library_folders() {  # test_library_folders E2E-DIR ZIP TOP
  local e2e_dir=$1 status output
  log "$arch: historian libraries from trusted folders only"
  lone_program "$e2e_dir/lone" "$2" "$3"
  mkdir -p "$e2e_dir/planted"
  unzip -q -j "$2" "$3/piapi32.dll" "$3/pilog32.dll" "$3/simulator.dat" -d "$e2e_dir/planted"
  status=0
  output=$(cd "$e2e_dir/planted" && WINEDEBUG=-all,err+eventlog timeout 60 wine "$e2e_dir/lone/tavrolin.exe" -debug \
    </dev/null 2>&1 >/dev/null) || status=$?
  [[ $status == 1 ]] || fail "$arch: -debug with the libraries in its current folder exited with $status, not 1"
  grep -aq 'File not found: pilog32.dll' <<<"$output" ||
    fail "$arch: -debug with the libraries only in its current folder: $(grep -a eventlog <<<"$output" | head -3)"

  chmod 0777 "$e2e_dir/planted"
  local planted_win
  planted_win=$(wine_run 30 winepath -w "$e2e_dir/planted" 2>/dev/null | tr -d '\r')
  status=0
  output=$(cd "$e2e_dir/lone" && WINEPATH="$planted_win" WINEDEBUG=-all,err+eventlog timeout 60 \
    wine ./tavrolin.exe -debug </dev/null 2>&1 >/dev/null) || status=$?
  [[ $status == 1 ]] || fail "$arch: -debug with the libraries in a PATH folder everybody can write exited with $status"
  # Wine shows the entry's backslashes doubled.
  grep -a 'err:eventlog' <<<"$output" |
    grep -aqF "[70] Permission denied: pilog32.dll is not loaded from ${planted_win//\\/\\\\}, a folder on the PATH" ||
    fail "$arch: no event-log entry naming the PATH folder: $(grep -a eventlog <<<"$output" | head -3)"
  chmod 0755 "$e2e_dir/planted"
}

# The installer package: a silent install gives a running service that reads
# its tag lists from the data folder (keeping the operator's own) and writes
# the reports beside itself; "-debug" runs meanwhile load the historian's
# libraries from a configured folder and meet the watchdog; an upgrade keeps
# the tag lists and takes the historian folder; the uninstall removes the
# service and the program and keeps tag lists and reports.
test_msi() {  # test_msi E2E-DIR MSI
  local e2e_dir=$1 msi=$2 program_dir data_dir=$WINEPREFIX/drive_c/ProgramData/Tavrolin
  if [[ $arch == x86_64 ]]; then
    program_dir="$WINEPREFIX/drive_c/Program Files/Tavrolin"
  else
    program_dir="$WINEPREFIX/drive_c/Program Files (x86)/Tavrolin"
  fi
  log "$arch: installer package end to end"
  remove_leftovers
  rm -rf "$program_dir" "$data_dir"
  # The operator's own tags2.xml, which the package must not replace.
  mkdir -p "$data_dir"
  cp "$root/examples/tags3.xml" "$data_dir/tags2.xml"
  local msi_win log_offset
  msi_win=$(wine_run 30 winepath -w "$msi" 2>/dev/null | tr -d '\r')
  log_offset=$(stat -c %s "$services_log")
  wine_run 120 msiexec /i "$msi_win" /qn >/dev/null 2>&1 || fail "$arch: msiexec /i exited with $?"
  local start_time=$SECONDS
  [[ $(service_state) == RUNNING ]] || fail "$arch: the installed service is not running"
  [[ -f $program_dir/tavrolin.exe ]] || fail "$arch: no tavrolin.exe in $program_dir"
  for input in "${inputs[@]}"; do
    [[ -f $data_dir/$input ]] || fail "$arch: no $input in $data_dir"
    [[ ! -e $service_cwd/$input && ! -e $service_cwd/system32/$input ]] ||
      fail "$arch: $input in the system folder"
  done
  cmp -s "$data_dir/tags2.xml" "$root/examples/tags3.xml" || fail "$arch: the package replaced the operator's tags2.xml"
  local working_folder
  working_folder=$(wine_run 60 reg query "$parameters_key" /v WorkingFolder 2>/dev/null | tr -d '\r' |
    sed -n 's/.*REG_[A-Z_]*SZ *//p')
  # A folder property of the installer ends in a backslash.
  working_folder=${working_folder%\\}
  [[ ${working_folder,,} == 'c:\programdata\tavrolin' ]] || fail "$arch: WorkingFolder is [$working_folder]"

  # Meanwhile, two "-debug" runs of the program alone, with the stand-in
  # historian in the configured historian folder and a 3 s watchdog bound:
  # one whose first point hangs, and one whose every value takes 0.7 s (a
  # report much longer than the bound, but progressing).
  local stub_dir=$e2e_dir/stub stub_win run pids=()
  mkdir -p "$stub_dir"
  cp "$build_dir/bin/stub_piapi32.dll" "$stub_dir/piapi32.dll"
  cp "$build_dir/bin/stub_pilog32.dll" "$stub_dir/pilog32.dll"
  stub_win=$(wine_run 30 winepath -w "$stub_dir" 2>/dev/null | tr -d '\r')
  wine_setting "$parameters_key" HistorianFolder REG_SZ "$stub_win"
  wine_setting "$parameters_key" WatchdogSeconds REG_DWORD 3
  echo "hang_on FI101" >"$e2e_dir/hang.script"
  echo "delay_ms 700" >"$e2e_dir/slow.script"
  for run in hang slow; do
    lone_program "$e2e_dir/$run" "$zip" "$top"
    cp "$root/examples/"tags*.xml "$e2e_dir/$run/"
    # The subshell inherits errexit: the run's status is taken with "||", or
    # a run that ends with a failure status would end the subshell unrecorded.
    (cd "$e2e_dir/$run" || exit
      status=0
      STUB_HISTORIAN_SCRIPT="..\\$run.script" WINEDEBUG=-all,err+eventlog \
        timeout 150 wine ./tavrolin.exe -debug </dev/null >/dev/null 2>"$e2e_dir/$run/stderr.log" ||
        status=$?
      echo "$status" >"$e2e_dir/$run/status") &
    pids+=($!)
  done

  wait_for_file "$program_dir/out2.xml" 90 || fail "$arch: the installed service wrote no out2.xml within 90 s"
  local elapsed=$((SECONDS - start_time))
  ((elapsed <= 40)) || fail "$arch: the installed service wrote its reports $elapsed s after the install"
  sleep 2
  for report in out.xml out3.xml out2.xml; do check_report "$program_dir/$report"; done
  ! tail -c +$((log_offset + 1)) "$services_log" | grep -aq 'err:eventlog' ||
    fail "$arch: the installed service logged $(tail -c +$((log_offset + 1)) "$services_log" | grep -a 'err:eventlog' | head -2)"

  wait_for_file "$e2e_dir/hang/status" 60 || fail "$arch: the watchdog did not end a hung -debug run"
  [[ $(cat "$e2e_dir/hang/status") == 3 ]] ||
    fail "$arch: the watchdog ended the run with status $(cat "$e2e_dir/hang/status"), not 3: $(grep -a eventlog "$e2e_dir/hang/stderr.log" | head -3)"
  [[ $(grep -ac 'err:eventlog.*No progress for 3 s while building .*out.xml from tags.xml: the call pipt_findpoint' "$e2e_dir/hang/stderr.log") == 1 ]] ||
    fail "$arch: not one watchdog entry: $(grep -a eventlog "$e2e_dir/hang/stderr.log" | head -3)"
  grep -a 'err:eventlog' "$e2e_dir/hang/stderr.log" | head -1
  # The slow run's reports come from the stand-in in the configured folder.
  wait_for_file "$e2e_dir/slow/out2.xml" 60 || fail "$arch: the slow -debug run wrote no out2.xml"
  [[ ! -e $e2e_dir/slow/status ]] || fail "$arch: the slow -debug run ended: $(grep -a eventlog "$e2e_dir/slow/stderr.log" | head -3)"
  check_report "$e2e_dir/slow/out3.xml"
  for pid in "${pids[@]}"; do pkill -TERM -P "$pid" 2>/dev/null || true; done
  wait "${pids[@]}" 2>/dev/null || true
  wine_run 60 reg delete "$parameters_key" /v WatchdogSeconds /f >/dev/null 2>&1 || true

  # An upgrade: a newer package, naming a historian folder.
  log "$arch: upgrade and uninstall"
  local upgrade=$e2e_dir/upgrade.msi
  cmake -DBUILD_DIR="$build_dir" -DSOURCE_DIR="$root" -DARCH="$(msi_arch)" -DVERSION=99.0.1 \
    -DOUTPUT="$upgrade" -P "$root/cmake/WindowsMsi.cmake" >/dev/null || fail "$arch: the upgrade package"
  printf "<!-- the operator's -->\r\n" >>"$data_dir/tags.xml"
  cp "$data_dir/tags.xml" "$e2e_dir/tags.operator"
  wine_run 120 msiexec /i "$(wine_run 30 winepath -w "$upgrade" 2>/dev/null | tr -d '\r')" /qn \
    "HISTORIANFOLDER=$stub_win" >/dev/null 2>&1 || fail "$arch: the upgrade exited with $?"
  cmp -s "$data_dir/tags.xml" "$e2e_dir/tags.operator" || fail "$arch: the upgrade replaced tags.xml"
  wine_run 60 reg query "$parameters_key" /v HistorianFolder 2>/dev/null | grep -qiF "$stub_win" ||
    fail "$arch: the upgrade did not set HistorianFolder"
  [[ $(service_state) == RUNNING ]] || fail "$arch: the upgraded service is not running"

  wine_run 120 msiexec /x "$(wine_run 30 winepath -w "$upgrade" 2>/dev/null | tr -d '\r')" /qn \
    /l*v "$(wine_run 30 winepath -w "$e2e_dir/uninstall.log" 2>/dev/null | tr -d '\r')" >/dev/null 2>&1 ||
    fail "$arch: msiexec /x exited with $?"
  # The service manager deletes a service once it has stopped and its last
  # handle is closed, which may come a little after msiexec returns.
  local state deadline=$((SECONDS + 30))
  while state=$(service_state) && [[ -n $state ]] && ((SECONDS < deadline)); do sleep 1; done
  [[ -z $state ]] || fail "$arch: the service is still registered after the uninstall, $state (msiexec's log: $e2e_dir/uninstall.log)"
  [[ ! -e $program_dir/tavrolin.exe && ! -e $program_dir/piapi32.dll ]] || fail "$arch: the uninstall left the program"
  for report in out.xml out3.xml out2.xml; do
    [[ -s $program_dir/$report ]] || fail "$arch: the uninstall removed $report"
  done
  for input in "${inputs[@]}"; do
    [[ -s $data_dir/$input ]] || fail "$arch: the uninstall removed $input"
  done
  wine_run 60 reg delete "$parameters_key" /f >/dev/null 2>&1 || true
}

msi_arch() { if [[ $arch == x86_64 ]]; then echo x64; else echo x86; fi; }

test_arch() {  # test_arch ARCH
  arch=$1
  local build_dir=$root/build/windows-$arch
  local e2e_dir=$build_dir/e2e
  local wine_start=$SECONDS

  log "$arch: does Wine run the program?"
  preflight "$build_dir/bin"

  log "$arch: unit tests under Wine"
  ctest --test-dir "$build_dir" --output-on-failure -j "$jobs" --timeout 120 ||
    fail "$arch: unit tests"

  # The distributable: one folder with the program, the simulator and its
  # data, the example tag lists and the README.
  log "$arch: Windows zip"
  rm -rf "$build_dir/package"
  (cd "$build_dir" && cpack -G ZIP >/dev/null) || fail "$arch: cpack -G ZIP"
  local zip
  zip=$(compgen -G "$build_dir/package/tavrolin-*-windows-$arch.zip" | head -1) ||
    fail "$arch: no zip in $build_dir/package"
  local top
  top=$(basename "$zip" .zip)
  local expected listed
  expected=$(printf '%s\n' README.txt piapi32.dll pilog32.dll simulator.dat \
    tags.xml tags2.xml tags3.xml tavrolin.exe | sort)
  listed=$(unzip -Z1 "$zip" | grep -v '/$' | sed "s|^$top/||" | sort)
  [[ $listed == "$expected" ]] || fail "$arch: $(basename "$zip") holds
$listed
and not
$expected"
  echo "$(basename "$zip"): $(stat -c %s "$zip") bytes"

  log "$arch: installer package"
  cmake --build "$build_dir" --target msi >/dev/null || fail "$arch: cmake --build --target msi"
  local msi
  msi=$(compgen -G "$build_dir/package/tavrolin-*-windows-$arch.msi" | head -1) ||
    fail "$arch: no installer package in $build_dir/package"
  echo "$(basename "$msi"): $(stat -c %s "$msi") bytes"

  log "$arch: hardening"
  check_hardening "$build_dir"

  # --- end to end, from the unpacked zip ---
  log "$arch: end-to-end test under Wine"
  remove_leftovers
  # Without the service's settings, as an installation made before them:
  # the service reads its tag lists from the system folder.
  wine_run 60 reg delete "$parameters_key" /f >/dev/null 2>&1 || true
  rm -rf "$e2e_dir"
  mkdir -p "$e2e_dir"
  local dir
  for dir in service debug; do
    unzip -q "$zip" -d "$e2e_dir/unpacked-$dir"
    mv "$e2e_dir/unpacked-$dir/$top" "$e2e_dir/$dir"
    rmdir "$e2e_dir/unpacked-$dir"
    # tags2.xml is not well-formed: its report fails and is logged.
    printf '<TagList><Systems>\r\n' >"$e2e_dir/$dir/tags2.xml"
  done
  # The "-debug" run's category list names one point the historian does not
  # know (a letter O for a zero): one warning entry says so.
  sed -i 's|<name>PI103</name>|<name>PI1O3</name>|' "$e2e_dir/debug/tags.xml"
  # An invalid option ends the program before it writes anything.
  preflight "$e2e_dir/service"
  [[ ! -e $e2e_dir/service/out3.xml ]] || fail "$arch: an invalid option wrote a report"
  # A service reads its tag lists from the Windows folder; a "-debug" run
  # reads them from the folder it is started in.
  for input in "${inputs[@]}"; do cp "$e2e_dir/service/$input" "$service_cwd/"; done
  local win_exe
  win_exe=$(wine_run 30 winepath -w "$e2e_dir/service/tavrolin.exe" 2>/dev/null | tr -d '\r')
  # Only what the services log receives from now on belongs to this build.
  local log_offset
  log_offset=$(stat -c %s "$services_log")

  # Install: success (exit status 0), the service registered with the quoted
  # path of the executable, automatic start; a second install fails.
  wine_run 60 "$e2e_dir/service/tavrolin.exe" -install || fail "$arch: -install exited with $?"
  local image_path
  image_path=$(wine_run 60 reg query 'HKLM\System\CurrentControlSet\Services\CorvaneService' \
    /v ImagePath 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_[A-Z_]*SZ *//p')
  [[ $image_path == "\"$win_exe\"" ]] || fail "$arch: image path is [$image_path], not [\"$win_exe\"]"
  [[ $(service_state) == STOPPED ]] || fail "$arch: the installed service is not stopped"
  if wine_run 60 "$e2e_dir/service/tavrolin.exe" -install; then
    fail "$arch: a second -install reported success"
  fi

  # "-debug": no service manager; the program runs, ticks and writes reports
  # until it is ended. It runs beside the service, whose first tick it
  # awaits as well.
  local debug_log=$e2e_dir/debug/stderr.log
  # Warning-type entries appear as "warn:eventlog:ReportEventW", and the
  # call itself, with the entry's type and message id, under fixme+advapi.
  (cd "$e2e_dir/debug" &&
    WINEDEBUG=-all,err+eventlog,warn+eventlog,fixme+advapi exec timeout 150 wine ./tavrolin.exe -debug \
    </dev/null >/dev/null 2>"$debug_log") &
  local debug_pid=$!

  # Start through the service manager; net start waits for RUNNING.
  local start_time=$SECONDS
  wine_run 90 net start CorvaneService >/dev/null || fail "$arch: net start"
  [[ $(service_state) == RUNNING ]] || fail "$arch: the service is not running"

  # The first tick, 30 s after start, writes the reports.
  wait_for_file "$e2e_dir/service/out3.xml" 90 || fail "$arch: no out3.xml within 90 s of the start"
  local elapsed=$((SECONDS - start_time))
  ((elapsed >= 25)) || fail "$arch: reports written after $elapsed s, before the first tick"
  sleep 2
  for report in out.xml out3.xml; do check_report "$e2e_dir/service/$report"; done
  [[ ! -e $e2e_dir/service/out2.xml ]] || fail "$arch: out2.xml written from a broken tag list"
  tail -c +$((log_offset + 1)) "$services_log" | grep -aq 'err:eventlog:ReportEventW L"\[' ||
    fail "$arch: no event-log entry for the failing report"
  tail -c +$((log_offset + 1)) "$services_log" | grep -a 'err:eventlog' | head -3

  # Stop: the window closes, the service reports stopped, the process ends.
  # The process is looked for by its whole path as wine shows it (either
  # separator), so that a run in another folder is not taken for it; it is
  # found before the stop, so that its absence after it means something.
  local process_pattern
  process_pattern=$(printf '%s' "$e2e_dir/service/tavrolin.exe" |
    sed 's/[][\\.*^$+?(){}|]/\\&/g; s|/|.|g')
  pgrep -f "$process_pattern" >/dev/null ||
    fail "$arch: no process runs $e2e_dir/service/tavrolin.exe"
  wine_run 90 net stop CorvaneService >/dev/null || fail "$arch: net stop"
  [[ $(service_state) == STOPPED ]] || fail "$arch: the service did not stop"
  local exit_code
  exit_code=$(wine_run 60 sc query CorvaneService 2>/dev/null | tr -d '\r' |
    awk '/WIN32_EXIT_CODE/ { print $3 }')
  [[ $exit_code == 0 ]] || fail "$arch: the service stopped with exit code $exit_code"
  local deadline=$((SECONDS + 15))
  while pgrep -f "$process_pattern" >/dev/null; do
    ((SECONDS < deadline)) || fail "$arch: the service's process did not end"
    sleep 1
  done

  # Uninstall removes the service; a second uninstall fails.
  wine_run 60 "$e2e_dir/service/tavrolin.exe" -uninstall || fail "$arch: -uninstall exited with $?"
  [[ -z $(service_state) ]] || fail "$arch: the service is still registered"
  if wine_run 60 "$e2e_dir/service/tavrolin.exe" -uninstall; then
    fail "$arch: a second -uninstall reported success"
  fi
  cleanup_inputs

  # The "-debug" run, started before the service.
  wait_for_file "$e2e_dir/debug/out3.xml" 30 || fail "$arch: -debug wrote no out3.xml"
  sleep 2
  kill -0 "$debug_pid" 2>/dev/null || fail "$arch: the -debug run ended by itself"
  for report in out.xml out3.xml; do check_report "$e2e_dir/debug/$report"; done
  grep -aq 'err:eventlog:ReportEventW L"\[' "$debug_log" ||
    fail "$arch: -debug: no event-log entry for the failing report"
  # One warning entry (type 2) with the message id 100 of the message table
  # (0x8fff0064: severity warning, facility application), whatever the
  # number of ticks.
  local unknown_entry='warn:eventlog:ReportEventW L"tags.xml: 1 of 9 points is unknown to the historian: PI1O3"'
  [[ $(grep -acF "$unknown_entry" "$debug_log") == 1 ]] ||
    fail "$arch: -debug: not one warning entry for the unknown point: $(grep -a 'eventlog' "$debug_log" | head -5)"
  grep -aqE 'fixme:advapi:ReportEventW \([^,]*,0x0002,0x0000,0x8fff0064,' "$debug_log" ||
    fail "$arch: -debug: the warning entry is not of type warning with message id 100"
  kill "$debug_pid" 2>/dev/null || true
  wait "$debug_pid" 2>/dev/null || true

  test_library_folders "$e2e_dir" "$zip" "$top"
  test_msi "$e2e_dir" "$msi"

  wine_seconds[$arch]=$((SECONDS - wine_start))
  echo "Wine tests ($arch): ${wine_seconds[$arch]} s"
}

for arch in "${archs[@]}"; do
  test_arch "$arch"
done

for arch in "${archs[@]}"; do
  echo "$arch: build ${build_seconds[$arch]} s, Wine tests ${wine_seconds[$arch]} s"
done
[[ -z ${tidy_seconds:-} ]] || echo "clang-tidy (Windows sources): $tidy_seconds s"
echo "Windows stage: $((SECONDS - stage_start)) s"
log "Windows tests passed"
