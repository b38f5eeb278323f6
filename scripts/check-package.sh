#!/usr/bin/env bash
# Builds the Debian package from a configured build folder and checks it
# without installing it, safely on a machine without systemd:
#   - its files (dpkg-deb -c), control data and conffiles (dpkg-deb -I);
#   - the unit's settings and its rating by "systemd-analyze security
#     --offline";
#   - the hardening of the installed program and libraries (readelf: full
#     RELRO, BIND_NOW, PIE, the stack protector, fortified calls, RUNPATH
#     $ORIGIN only), and no empty RUNPATH entry in the build tree;
#   - the program, unpacked into a temporary root, reporting real values from
#     the simulator it ships into a state folder, and the built program doing
#     the same beside itself;
#   - the maintainer scripts run against that root (DPKG_ROOT), with
#     stand-ins for the commands that would touch the system (useradd,
#     systemctl, ...): install, upgrade from 2.0 (with things planted in the
#     old folder), reconfigure, remove, purge (with a planted folder).
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
program_dir=./usr/lib/tavrolin
expect_file drwxr-xr-x root/root "$program_dir/"
expect_file -rwxr-xr-x root/root "$program_dir/tavrolin"
for file in libpiapi32.so libpilog32.so simulator.dat; do
  expect_file -rw-r--r-- root/root "$program_dir/$file"
done
for list in tags.xml tags3.xml tags2.xml; do
  expect_file -rw-r--r-- root/root "./etc/tavrolin/$list"
  expect_file -rw-r--r-- root/root "./usr/share/doc/tavrolin/examples/$list"
done
expect_file -rw-r--r-- root/root ./lib/systemd/system/CorvaneService.service
# Only root may change any folder the package makes.
! grep -E '^d' <<<"$contents" | grep -v '^drwxr-xr-x root/root ' ||
  fail "a folder of the package is not root's 0755"
! grep -qE '\./(opt|var)/' <<<"$contents" || fail "the package holds files in /opt or /var"
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
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
[[ $(cat "$work/control/conffiles") == $'/etc/tavrolin/tags.xml\n/etc/tavrolin/tags3.xml\n/etc/tavrolin/tags2.xml' ]] ||
  fail "the tag lists are not the package's conffiles: $(cat "$work/control/conffiles")"

# --- the unit -----------------------------------------------------------
unit=$work/root/lib/systemd/system/CorvaneService.service
for line in "ExecStart=/usr/lib/tavrolin/tavrolin" "WorkingDirectory=/etc/tavrolin" \
    "User=tavrolin" "Group=tavrolin" "StateDirectory=tavrolin" \
    "StateDirectoryMode=0755" "NoExecPaths=/" "CapabilityBoundingSet=" \
    "ProtectSystem=strict" "NoNewPrivileges=yes" "MemoryMax=1G" \
    "WatchdogSec=2min" "TimeoutStopSec=30s" 'ExecReload=/bin/kill -HUP $MAINPID' \
    "Restart=on-failure" "MemoryDenyWriteExecute=yes" "After=network-online.target"; do
  grep -qxF "$line" "$unit" || fail "the unit lacks $line"
done
# The service writes nothing but its state folder (and its private /tmp);
# code runs only from folders below /usr (or /lib, /bin where they are not
# links into it).
! grep -q '^ReadWritePaths=' "$unit" || fail "the unit names a folder to write: $(grep ReadWritePaths= "$unit")"
grep -qx 'ExecPaths=/usr/lib /usr/bin -/lib -/lib64 -/usr/lib64 -/bin' "$unit" ||
  fail "the unit lets code run from elsewhere: $(grep ExecPaths= "$unit")"
! grep -qE '@[A-Z_]+@' "$unit" || fail "the unit holds a place not filled in: $(grep -E '@[A-Z_]+@' "$unit")"
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

# --- hardening ----------------------------------------------------------
installed=$work/root/usr/lib/tavrolin
for elf in "$installed"/tavrolin "$installed"/libpiapi32.so "$installed"/libpilog32.so; do
  name=${elf#"$work/root"}
  dynamic=$(readelf -d "$elf")
  grep -qE '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' <<<"$dynamic" || fail "$name: no BIND_NOW"
  readelf -lW "$elf" | grep -q GNU_RELRO || fail "$name: no RELRO"
  runpath=$(sed -n 's/.*(RUNPATH).*\[\(.*\)\]$/\1/p' <<<"$dynamic")
  [[ $runpath == '$ORIGIN' ]] || fail "$name: RUNPATH [$runpath], not [\$ORIGIN]"
  ! grep -q '(RPATH)' <<<"$dynamic" || fail "$name: an RPATH (searched before LD_LIBRARY_PATH)"
  readelf -lW "$elf" | grep -A1 GNU_STACK | grep -q ' RW ' || fail "$name: executable stack"
done
readelf -h "$installed/tavrolin" | grep -q 'Type: *DYN' || fail "the program is no PIE"
symbols=$(readelf --dyn-syms -W "$installed/tavrolin")
grep -q ' __stack_chk_fail' <<<"$symbols" || fail "the program has no stack protector"
fortified=$(grep -oE ' __[a-z_]+_chk\b' <<<"$symbols" | grep -v stack_chk | sort -u | tr -d ' ' | tr '\n' ' ')
[[ -n $fortified ]] || fail "the program calls no fortified function"
# A build-tree program never searches the folder it is started from.
for elf in "$build"/bin/*; do
  [[ -f $elf && ! -L $elf ]] && head -c4 "$elf" | grep -q 'ELF' || continue
  runpath=$(readelf -d "$elf" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]$/\1/p')
  [[ ! $runpath =~ (^|:)(:|$) ]] || fail "$elf: an empty RUNPATH entry [$runpath]"
done
echo "hardening: full RELRO, BIND_NOW, PIE, stack protector, fortified ($fortified), RUNPATH \$ORIGIN"

# --- the program reports real values ------------------------------------
# Runs PROGRAM -debug in FOLDER without TAVROLIN_SIMULATOR_DATA and with
# ENVIRONMENT..., asks for out3.xml at once (SIGUSR1) and checks that REPORT
# holds the simulator's values.
check_values() {  # check_values PROGRAM FOLDER REPORT [ENVIRONMENT...]
  local program=$1 folder=$2 report=$3 pid
  shift 3
  rm -f "$report"
  (cd "$folder" && exec env -u TAVROLIN_SIMULATOR_DATA -u STATE_DIRECTORY "$@" \
    "$program" -debug >"$work/stdout" 2>"$work/stderr") &
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
# Installed: tag lists from /etc/tavrolin, the report into the state folder
# that systemd names.
mkdir "$work/state"
check_values "$installed/tavrolin" "$work/root/etc/tavrolin" "$work/state/out3.xml" \
  STATE_DIRECTORY="$work/state"
[[ -z $(ls -A "$installed" | grep -v -xE 'tavrolin|libpiapi32.so|libpilog32.so|simulator.dat') ]] ||
  fail "the installed program wrote into its own folder: $(ls -A "$installed")"
# The built program, started from any folder with tag lists, beside itself.
mkdir "$work/elsewhere"
cp "$root"/examples/tags*.xml "$work/elsewhere"/
check_values "$build/bin/tavrolin" "$work/elsewhere" "$build/bin/out3.xml"
echo "program: reports real values from the simulator, installed and built"

# --- maintainer scripts -------------------------------------------------
# Stand-ins for the commands that change the system; each call is logged.
stubs=$work/stubs
mkdir "$stubs"
for command in useradd groupadd usermod userdel groupdel chown systemctl; do
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
config=$work/root/etc/tavrolin
state=$work/root/var/lib/tavrolin
old=$work/root/opt/tavrolin
examples=$work/root/usr/share/doc/tavrolin/examples

for script in postinst prerm postrm; do
  dash -n "$work/control/$script" || fail "$script: syntax"
done

# A 2.0 installation as its service and its operator left it: an edited tag
# list, reports, a half-written one, and what the service's user could
# plant in its writable folder: a link in place of a tag list, libraries
# the loader would find, a folder named like a report; and a state folder
# with a stale report, left by an earlier installation.
mkdir -p "$old/glibc-hwcaps/x86-64-v2" "$old/out2.xml" "$work/secret" "$state"
echo "<stale/>" >"$state/out.xml"
echo "<edited/>" >"$old/tags.xml"
echo secret >"$work/secret/file"
ln -s "$work/secret/file" "$old/tags3.xml"
echo "<report/>" >"$old/out.xml"
echo partial >"$old/.out3.xml.1.2.3.tmp"
echo planted >"$old/libexpat.so.1"
echo planted >"$old/glibc-hwcaps/x86-64-v2/libpilog32.so"
chmod 1775 "$old"

run_script postinst configure 2.0
log=$(calls)
grep -qx "groupadd --system tavrolin" <<<"$log" || fail "postinst made no group: $log"
grep -q "^useradd --system --gid tavrolin --home-dir /var/lib/tavrolin .* tavrolin$" <<<"$log" ||
  fail "postinst made no system user: $log"
grep -q "^systemctl enable CorvaneService.service" <<<"$log" || fail "postinst enabled nothing: $log"
grep -qx "chown root:root $old" <<<"$log" || fail "postinst left the old folder to the service: $log"
grep -qx "usermod --home /var/lib/tavrolin tavrolin" <<<"$log" || fail "the user's home stays old: $log"
[[ $(stat -c %a "$old") == 755 ]] || fail "the old folder's mode is $(stat -c %a "$old")"
grep -qx "<edited/>" "$config/tags.xml" || fail "the edited tag list did not move to /etc"
cmp -s "$config/tags3.xml" "$examples/tags3.xml" || fail "a planted link replaced a tag list"
grep -qx secret "$work/secret/file" || fail "the planted link's target changed"
grep -qx "<report/>" "$state/out.xml" || fail "the old report did not move to the state folder"
[[ $(stat -c %a "$state") == 755 ]] || fail "the state folder's mode is $(stat -c %a "$state")"
grep -qx "chown tavrolin:tavrolin $state" <<<"$log" || fail "the state folder is not the service's: $log"
[[ $(cd "$old" && ls -A | tr '\n' ' ') == "out.xml out2.xml out3.xml " ]] ||
  fail "the old folder holds more than the reports' links: $(ls -A "$old")"
for report in out.xml out3.xml out2.xml; do
  [[ $(readlink "$old/$report") == "/var/lib/tavrolin/$report" ]] ||
    fail "$old/$report is no link to the new report"
done

# Configured again (a reinstall or later upgrade): the user stays, nothing
# moves again.
echo "<edited again/>" >"$config/tags2.xml"
run_script postinst configure 2.1
log=$(calls)
! grep -q "^useradd\|^groupadd\|^chown\|^usermod" <<<"$log" || fail "postinst did the first install again: $log"
grep -qx "<edited again/>" "$config/tags2.xml" || fail "postinst changed a tag list"

# Remove: the service stopped and disabled; tag lists (conffiles) and
# reports stay.
run_script prerm remove
grep -q "^systemctl disable CorvaneService.service" <<<"$(calls)" || fail "prerm disabled nothing"
echo partial >"$state/.out3.xml.1.2.3.tmp"
dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -v '/$' | grep -v '^\./etc/' | while read -r file; do
  rm -f "$work/root/$file"
done
find "$work/root" -mindepth 1 -depth -type d -empty -delete
run_script postrm remove
for file in "$config/tags.xml" "$config/tags3.xml" "$config/tags2.xml" "$state/out.xml"; do
  [[ -f $file ]] || fail "remove took $file"
done

# Purge: dpkg takes the conffiles; the script takes the reports, the links
# and the user, and neither fails on nor follows anything planted.
rm -f "$config"/tags*.xml
mkdir "$state/.out.xml.9.9.9.tmp"
echo "web copy" >"$work/secret/web.xml"
ln -s "$work/secret/web.xml" "$state/out2.xml"
run_script postrm purge
log=$(calls)
[[ ! -e $state/out.xml && ! -e $state/.out3.xml.1.2.3.tmp ]] || fail "purge left the reports"
[[ -d $state/.out.xml.9.9.9.tmp ]] || fail "purge removed a folder it did not make"
grep -qx "web copy" "$work/secret/web.xml" || fail "purge followed a link"
[[ ! -e $old ]] || fail "purge left $old: $(ls -A "$old")"
grep -qx "userdel tavrolin" <<<"$log" || fail "purge kept the user: $log"
grep -qx "groupdel tavrolin" <<<"$log" || fail "purge kept the group: $log"
echo "maintainer scripts: install, upgrade from 2.0, reconfigure, remove and purge as expected"
