#!/usr/bin/env bash
# Builds the Debian package from a configured build folder and checks it
# without installing it, safely on a machine without systemd:
#   - its files (dpkg-deb -c) and control data (dpkg-deb -I);
#   - the unit's rating by "systemd-analyze security --offline";
#   - the program, unpacked into a temporary root, reporting real values from
#     the simulator it ships, and the built program doing the same in place;
#   - the maintainer scripts run against that root (DPKG_ROOT), with
#     stand-ins for the commands that would touch the system (useradd,
#     systemctl, ...): install, reinstall, remove, purge.
#
#   scripts/check-package.sh [BUILD_DIR]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath "${1:-build/release}")
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

cmake --build "$build" -j "$(nproc)" --target tavrolin piapi32 pilog32 >/dev/null
out=$build/package
rm -rf "$out"
mkdir -p "$out"
(cd "$out" && cpack -G DEB --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1) ||
  fail "cpack: $(cat "$work/cpack.log")"
debs=("$out"/tavrolin_*.deb)
[[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || fail "no package in $out"
deb=${debs[0]}
echo "package: $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB)"

# --- contents -----------------------------------------------------------
contents=$(dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }')
expect_file() {  # expect_file MODE OWNER PATH
  grep -qxF -- "$1 $2 $3" <<<"$contents" || fail "package lacks $3 ($1 $2)"
}
expect_file -rwxr-xr-x root/root ./opt/tavrolin/tavrolin
for file in libpiapi32.so libpilog32.so simulator.dat examples/tags.xml examples/tags3.xml examples/tags2.xml; do
  expect_file -rw-r--r-- root/root "./opt/tavrolin/$file"
done
expect_file -rw-r--r-- root/root ./lib/systemd/system/CorvaneService.service
# The tag lists the service reads are made by postinst: dpkg would remove
# them with the package.
! grep -qE '\./opt/tavrolin/(tags[23]?|out[23]?)\.xml$' <<<"$contents" ||
  fail "the package holds tag lists or reports of its own"
! grep -qE 'stub|_test' <<<"$contents" || fail "the package holds test files"

info=$(dpkg-deb -I "$deb")
for script in postinst prerm postrm; do
  grep -qE "^ +[0-9]+ bytes, +[0-9]+ lines +\* +$script +#!/bin/sh" <<<"$info" ||
    fail "no executable $script in the control data"
done
depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libsystemd0 libstdc++6 passwd systemd; do
  grep -q "\b$package\b" <<<"$depends" || fail "Depends lacks $package: $depends"
done

# --- the unit -----------------------------------------------------------
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
unit=$work/root/lib/systemd/system/CorvaneService.service
for line in "ExecStart=/opt/tavrolin/tavrolin" "User=tavrolin" \
    "ReadWritePaths=/opt/tavrolin" "WatchdogSec=2min" "TimeoutStopSec=30s" \
    'ExecReload=/bin/kill -HUP $MAINPID' "Restart=on-failure" \
    "MemoryDenyWriteExecute=yes"; do
  grep -qxF "$line" "$unit" || fail "the unit lacks $line"
done
if systemd-analyze security --help 2>/dev/null | grep -q -- --offline; then
  # A name of its own, so that a unit of that name on this machine is not
  # looked at instead.
  cp "$unit" "$work/corvane-package-check.service"
  rating=$(systemd-analyze security --offline=yes \
    "$work/corvane-package-check.service" 2>/dev/null | tail -1)
  exposure=$(grep -oE '[0-9]+\.[0-9]+' <<<"$rating" | head -1)
  echo "unit: exposure $exposure"
  awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 3.0) }' ||
    fail "systemd-analyze rates the unit worse than OK: $rating"
fi

# --- the program reports real values ------------------------------------
# Runs PROGRAM -debug in FOLDER without TAVROLIN_SIMULATOR_DATA, asks for
# out3.xml at once (SIGUSR1) and checks it holds the simulator's values.
check_values() {  # check_values PROGRAM FOLDER
  local program=$1 folder=$2 report pid
  report=$(dirname "$program")/out3.xml
  rm -f "$report"
  (cd "$folder" && exec env -u TAVROLIN_SIMULATOR_DATA "$program" -debug \
    >"$work/stdout" 2>"$work/stderr") &
  pid=$!
  pids+=("$pid")
  sleep 2
  kill -USR1 "$pid"
  for _ in $(seq 100); do
    grep -q done "$work/stdout" 2>/dev/null && break
    sleep 0.1
  done
  kill -TERM "$pid"
  wait "$pid" || fail "$program -debug ended with status $?"
  grep -qx done "$work/stdout" || fail "$program: no \"done\" after SIGUSR1"
  [[ ! -s $work/stderr ]] || fail "$program logged: $(cat "$work/stderr")"
  grep -qE '<Value> ?-?[0-9.]*[1-9]' "$report" || fail "$report holds no real values"
  ! grep -q '<Value>error: ' "$report" || fail "$report holds error values"
  rm -f "$report"
}
installed=$work/root/opt/tavrolin
cp "$installed"/examples/tags*.xml "$installed"/
check_values "$installed/tavrolin" "$installed"
rm -f "$installed"/tags*.xml
# The built program, started from any folder with tag lists.
mkdir "$work/elsewhere"
cp "$root"/examples/tags*.xml "$work/elsewhere"/
check_values "$build/bin/tavrolin" "$work/elsewhere"
echo "program: reports real values from the simulator, installed and built"

# --- maintainer scripts -------------------------------------------------
# Stand-ins for the commands that change the system; each call is logged.
stubs=$work/stubs
mkdir "$stubs"
for command in useradd groupadd userdel groupdel chown systemctl; do
  printf '#!/bin/sh\necho "%s $*" | tee -a "%s" >>"%s"\n' "$command" "$work/all-calls" \
    "$work/calls" >"$stubs/$command"
done
# getent knows the user and group once they are added.
cat >"$stubs/getent" <<STUB
#!/bin/sh
grep -q "^useradd .* \$2\$" "$work/all-calls" 2>/dev/null && [ "\$1" = passwd ] && exit 0
grep -q "^groupadd .* \$2\$" "$work/all-calls" 2>/dev/null && [ "\$1" = group ] && exit 0
exit 2
STUB
chmod +x "$stubs"/*
run_script() {  # run_script NAME ARGS...
  local name=$1
  shift
  # The package's scripts are POSIX sh; dash runs them as Debian does.
  DPKG_ROOT=$work/root PATH=$stubs:$PATH dash "$work/control/$name" "$@" ||
    fail "$name $* failed"
}
calls() { cat "$work/calls" 2>/dev/null; : >"$work/calls"; }

for script in postinst prerm postrm; do
  dash -n "$work/control/$script" || fail "$script: syntax"
done

run_script postinst configure
log=$(calls)
grep -qx "groupadd --system tavrolin" <<<"$log" || fail "postinst made no group: $log"
grep -q "^useradd --system --gid tavrolin --home-dir /opt/tavrolin .* tavrolin$" <<<"$log" ||
  fail "postinst made no system user: $log"
grep -qx "chown root:tavrolin $installed" <<<"$log" || fail "postinst gave the folder to nobody: $log"
grep -q "^systemctl enable CorvaneService.service" <<<"$log" || fail "postinst enabled nothing: $log"
[[ $(stat -c %a "$installed") == 1775 ]] || fail "the folder's mode is $(stat -c %a "$installed")"
for list in tags.xml tags3.xml tags2.xml; do
  cmp -s "$installed/$list" "$installed/examples/$list" || fail "postinst did not copy $list"
done

# A second configure (an upgrade) keeps the user and the edited tag lists.
echo "<edited/>" >"$installed/tags.xml"
run_script postinst configure 2
log=$(calls)
! grep -q "^useradd\|^groupadd" <<<"$log" || fail "postinst made the user again: $log"
grep -qx "<edited/>" "$installed/tags.xml" || fail "postinst overwrote an edited tag list"

# Remove: the service stopped and disabled; tag lists and reports stay.
run_script prerm remove
grep -q "^systemctl disable CorvaneService.service" <<<"$(calls)" || fail "prerm disabled nothing"
echo report >"$installed/out.xml"
echo partial >"$installed/.out3.xml.1.2.3.tmp"
dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -v '/$' | while read -r file; do
  rm -f "$work/root/$file"
done
find "$work/root" -mindepth 1 -depth -type d -empty -delete
run_script postrm remove
for file in tags.xml tags3.xml tags2.xml out.xml; do
  [[ -f $installed/$file ]] || fail "remove took $file"
done

# Purge: everything goes, with the user and the group.
run_script postrm purge
[[ ! -e $installed ]] || fail "purge left $(ls -A "$installed")"
log=$(calls)
grep -qx "userdel tavrolin" <<<"$log" || fail "purge kept the user: $log"
grep -qx "groupdel tavrolin" <<<"$log" || fail "purge kept the group: $log"
echo "maintainer scripts: install, upgrade, remove and purge as expected"
