#!/usr/bin/env bash
# The Debian package under a real systemd. Boots a throw-away systemd in a
# container of its own (a new PID and mount namespace on an overlay of / with
# a tmpfs on top and private /tmp, /run and /var/tmp: nothing it does reaches
# the machine), installs the package built from BUILD_DIR in it and checks:
#   - the install starts CorvaneService as its own user, and the first
#     refresh (asked for with `systemctl reload`) writes real values with
#     nothing logged as a warning;
#   - the service user cannot create a file in any folder code is loaded
#     from, and other users can read the reports;
#   - an edited tag list takes effect on reload, and a reload refreshes every
#     report;
#   - a `kill -9` is restarted, and so is a historian call that hangs (the
#     tests' stand-in library told to hang, a short WatchdogSec=);
#   - remove keeps the tag lists and reports, purge takes the rest with the
#     user and group, even with a directory planted under the name of a
#     half-written report;
#   - an upgrade from the 2.0 package (built once from its commit and kept
#     in BUILD_DIR/pkg-2.0) keeps the operator's tag lists and the reports;
#   - and prints `systemd-analyze security`'s rating of the unit.
# Needs root (for the namespaces and mounts) and util-linux's unshare and
# nsenter; no systemd on the machine itself.
#
#   scripts/test-systemd.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath "${1:?usage: scripts/test-systemd.sh BUILD_DIR}")
started=$SECONDS
unit=CorvaneService.service
# The commit of the 2.0 package, the upgrade's starting point.
old_commit=9cc25e9
old_version=2.0

fail() {
  echo "FAILED: $*" >&2
  exit 1
}
# A failed check is reported and counted; the stage goes on, so that one
# run shows every check that fails.
failures=0
check_failed() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}
# passed SINCE TEXT: prints TEXT when no check failed since the count SINCE.
passed() {
  ((failures == $1)) && echo "$2"
  return 0
}

[[ $(id -u) == 0 ]] || fail "the systemd stage needs root (namespaces, mounts)"
for tool in unshare nsenter pivot_root mountpoint runuser; do
  command -v "$tool" >/dev/null || fail "the systemd stage needs $tool"
done
[[ -x /lib/systemd/systemd ]] || fail "no /lib/systemd/systemd to boot"

work=$(mktemp -d)
unshare_pid=
box_pid=
cleanup() {
  # Killing the box's PID 1 ends every process in it; its mounts go with
  # its mount namespace.
  if [[ -n $box_pid ]]; then
    kill -KILL "$box_pid" 2>/dev/null || true
  elif [[ -n $unshare_pid ]]; then
    pkill -KILL -P "$unshare_pid" 2>/dev/null || true
  fi
  if [[ -n $unshare_pid ]]; then
    wait "$unshare_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# --- the packages ----------------------------------------------------------
cmake --build "$build" -j "$(nproc)" \
  --target tavrolin piapi32 pilog32 >"$work/build.log" 2>&1 ||
  fail "build: $(tail -n 20 "$work/build.log")"
# The tests' stand-in historian, for the hung call.
stub=$build/bin/libstub_piapi32.so
cmake --build "$build" --target stub_piapi32 >"$work/build.log" 2>&1 || [[ -f $stub ]] ||
  fail "no stand-in historian library $stub (a build with the tests): $(tail -n 20 "$work/build.log")"
mkdir "$work/package"
(cd "$work/package" && cpack -G DEB --config "$build/CPackConfig.cmake" \
  >"$work/cpack.log" 2>&1) || fail "cpack: $(cat "$work/cpack.log")"
debs=("$work/package"/tavrolin_*.deb)
[[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || fail "cpack made no package"
deb=${debs[0]}

# The genuine 2.0 package, built once from its commit and kept.
old_dir=$build/pkg-$old_version
old_debs=("$old_dir"/tavrolin_"$old_version"*.deb)
old_deb=
if [[ -f ${old_debs[0]} ]]; then
  old_deb=${old_debs[0]}
elif git -C "$root" cat-file -e "$old_commit^{commit}" 2>/dev/null; then
  echo "building the $old_version package from commit $old_commit"
  rm -rf "$old_dir"
  mkdir -p "$old_dir/src"
  git -C "$root" archive "$old_commit" | tar -x -C "$old_dir/src"
  launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  fi
  {
    cmake -S "$old_dir/src" -B "$old_dir/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTAVROLIN_BUILD_TESTS=OFF -DTAVROLIN_BUILD_BENCHMARKS=OFF \
      -DTAVROLIN_WARNINGS_AS_ERRORS=OFF "${launcher[@]}" &&
      cmake --build "$old_dir/build" -j "$(nproc)" --target tavrolin piapi32 pilog32 &&
      (cd "$old_dir" && cpack -G DEB --config "$old_dir/build/CPackConfig.cmake")
  } >"$work/old-build.log" 2>&1 || fail "building the $old_version package: $(tail -n 20 "$work/old-build.log")"
  old_debs=("$old_dir"/tavrolin_"$old_version"*.deb)
  [[ -f ${old_debs[0]} ]] || fail "the $old_version build made no package"
  old_deb=${old_debs[0]}
  rm -rf "$old_dir/src" "$old_dir/build" "$old_dir/_CPack_Packages"
else
  echo "!!! commit $old_commit (the $old_version package) is not in this clone" \
    "(a shallow clone?): the upgrade check is SKIPPED !!!" >&2
fi

# Where the package puts things: the program's folder, the tag lists, the
# reports.
program_dir=/usr/lib/tavrolin
config_dir=/etc/tavrolin
state_dir=/var/lib/tavrolin
dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -qx ".$program_dir/tavrolin" ||
  fail "the package holds no $program_dir/tavrolin"
echo "package: $(basename "$deb") made in $((SECONDS - started)) s, program in $program_dir, tag lists in" \
  "$config_dir, reports in $state_dir"

# --- the box ---------------------------------------------------------------
box_started=$SECONDS
# What goes into the box: the packages, the stand-in library, the tag lists
# the checks edit.
mkdir "$work/in"
cp "$deb" "$work/in/new.deb"
[[ -z $old_deb ]] || cp "$old_deb" "$work/in/old.deb"
cp "$stub" "$work/in/libstub_piapi32.so"

# Units the box must not start: consoles, the clock, and whatever this
# machine enables for itself (databases, timers).
masked=(console-getty.service getty@tty1.service systemd-timesyncd.service
  postgresql.service e2scrub_reap.service)
for wants in /etc/systemd/system/multi-user.target.wants \
    /etc/systemd/system/timers.target.wants; do
  [[ -d $wants ]] || continue
  for name in "$wants"/*; do
    [[ -e $name || -L $name ]] && masked+=("$(basename "$name")")
  done
done

# The box's PID 1 until it becomes systemd: mounts the overlay and the
# private folders, copies the input in, masks the units, moves into the
# overlay and only there starts systemd.
cat >"$work/boot.sh" <<'BOOT'
#!/bin/bash
set -euo pipefail
base=$1 input=$2
shift 2
mount --make-rprivate /
mount -t tmpfs -o size=2g,mode=0755 tmpfs "$base"
mkdir "$base/upper" "$base/work" "$base/root"
mount -t overlay overlay \
  -o "lowerdir=/,upperdir=$base/upper,workdir=$base/work" "$base/root"
mountpoint -q "$base/root" || { echo "no overlay at $base/root" >&2; exit 1; }
cd "$base/root"
mount -t proc proc proc
mount --rbind /sys sys
mount --rbind /dev dev
for folder in tmp run var/tmp; do
  mount -t tmpfs -o mode=1777 tmpfs "$folder"
done
mkdir -p root/in
cp -a "$input/." root/in/
for name in "$@"; do
  ln -sfn /dev/null "etc/systemd/system/$name"
done
mkdir oldroot
pivot_root . oldroot
umount -l /oldroot
rmdir /oldroot
cd /
# systemd empties /tmp at boot: never without the overlay and private folders.
[[ $(stat -f -c %T /) == overlayfs ]] || { echo "/ is no overlay" >&2; exit 1; }
for folder in /tmp /run /var/tmp; do
  mountpoint -q "$folder" || { echo "$folder is no mount point" >&2; exit 1; }
done
export container=other
exec /lib/systemd/systemd --system --unit=multi-user.target
BOOT
chmod +x "$work/boot.sh"
mkdir "$work/base"

setsid unshare --fork --pid --mount "$work/boot.sh" "$work/base" "$work/in" \
  "${masked[@]}" </dev/null >"$work/box.log" 2>&1 &
unshare_pid=$!
for _ in $(seq 100); do
  box_pid=$(pgrep -P "$unshare_pid" -x systemd || true)
  [[ -n $box_pid ]] && break
  kill -0 "$unshare_pid" 2>/dev/null || fail "the box did not boot: $(cat "$work/box.log")"
  sleep 0.1
done
[[ -n $box_pid ]] || fail "no systemd in the box: $(cat "$work/box.log")"

# Runs a command in the box, with a clean environment.
box() {
  nsenter -t "$box_pid" -m -p -- env -i \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}
box_sh() { box sh -c "$1"; }
# wait_until SECONDS COMMAND...: true once COMMAND succeeds.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

system_running() {
  local state
  state=$(box systemctl is-system-running 2>/dev/null || true)
  [[ $state == running || $state == degraded ]]
}
wait_until 30 system_running ||
  fail "the box's systemd is $(box systemctl is-system-running || true): $(box systemctl --failed --no-legend || true)"
failed_units=$(box systemctl --failed --no-legend --plain || true)
[[ -z $failed_units ]] || echo "units failed in the box (not the package's): $failed_units"
echo "box: systemd running after $((SECONDS - box_started)) s"
box_sh 'dpkg -s tavrolin >/dev/null 2>&1' && box dpkg -P tavrolin >/dev/null

# --- helpers for the checks ------------------------------------------------
service() { box systemctl show -p "$1" --value "$unit"; }
reports=(out.xml out3.xml out2.xml)
# Inode and time of change of each report: a refresh writes a new file.
report_stamps() {
  local report
  for report in "${reports[@]}"; do
    box stat -c '%i:%.9Y' "$state_dir/$report" 2>/dev/null || echo none
  done
}
# Asks for a refresh with `systemctl reload` and waits until every report
# is new.
refresh() {
  local before after
  before=$(report_stamps)
  box systemctl reload "$unit" || return 1
  refreshed() {
    after=$(report_stamps)
    local -a old new
    mapfile -t old <<<"$before"
    mapfile -t new <<<"$after"
    local i
    for i in "${!new[@]}"; do
      [[ ${new[$i]} != none && ${new[$i]} != "${old[$i]}" ]] || return 1
    done
  }
  wait_until 15 refreshed
}
active_as_user() {  # active_as_user WHAT
  local pid owner
  [[ $(service ActiveState) == active ]] || { check_failed "$1: the service is $(service ActiveState)"; return 1; }
  pid=$(service MainPID)
  owner=$(box stat -c %U "/proc/$pid" 2>/dev/null || true)
  [[ $owner == tavrolin ]] || { check_failed "$1: the service runs as '$owner', not tavrolin"; return 1; }
}
# Every report holds values and no error text; prints how many.
check_values() {
  local report text total=0 count
  for report in "${reports[@]}"; do
    text=$(box cat "$state_dir/$report" 2>/dev/null) || { check_failed "no $state_dir/$report"; continue; }
    count=$(grep -o '<Value>[^<]*</Value>' <<<"$text" | wc -l)
    total=$((total + count))
    grep -qE '<Value> ?-?[0-9.]*[1-9]' <<<"$text" || check_failed "$report holds no real values"
    ! grep -q '<Value>error: ' <<<"$text" ||
      check_failed "$report holds errors: $(grep -o '<Value>error: [^<]*' <<<"$text" | head -3)"
  done
  echo "$total"
}
journal_since() {  # journal_since CURSOR [journalctl options]: the service's lines
  local cursor=$1
  shift
  box journalctl -q -u "$unit" --no-pager --after-cursor="$cursor" "$@" || true
}
cursor() { box journalctl -n 0 --show-cursor -q --no-pager | sed -n 's/^-- cursor: //p'; }

# --- install ---------------------------------------------------------------
box dpkg -i /root/in/new.deb >"$work/dpkg.log" 2>&1 || fail "dpkg -i: $(cat "$work/dpkg.log")"
mark=$(cursor)
is_active() { [[ $(service ActiveState) == active ]]; }
wait_until 10 is_active || true
enabled=$(box systemctl is-enabled "$unit" 2>/dev/null || true)
[[ $enabled == enabled ]] || check_failed "install left $unit $enabled"
active_as_user "install" && echo "install: $unit $enabled and active as tavrolin"
box_sh "getent passwd tavrolin && getent group tavrolin" >/dev/null ||
  check_failed "install made no user and group tavrolin"

since=$failures
refresh || check_failed "the first refresh (systemctl reload) wrote no reports in $state_dir"
values=$(check_values)
warnings=$(journal_since "$mark" -p warning)
[[ -z $warnings ]] || check_failed "the service logged warnings: $warnings"
passed "$since" "first refresh: $values values in ${reports[*]}, no warning logged"

# The service user cannot create files where code is loaded from.
since=$failures
while read -r folder; do
  if box runuser -u tavrolin -- touch "$folder/.planted" 2>/dev/null; then
    check_failed "the service user can create files in $folder"
    box rm -f "$folder/.planted"
  fi
  if box runuser -u tavrolin -- mkdir "$folder/glibc-hwcaps" 2>/dev/null; then
    check_failed "the service user can create folders in $folder"
    box rmdir "$folder/glibc-hwcaps"
  fi
done < <(box find "$program_dir" -type d)
passed "$since" "program folder: $(box stat -c '%U:%G %a' "$program_dir"), the service user can create nothing in it"

# Report consumers are other users.
since=$failures
for report in "${reports[@]}"; do
  box runuser -u nobody -- cat "$state_dir/$report" >/dev/null 2>&1 ||
    check_failed "another user cannot read $state_dir/$report"
done
passed "$since" "reports: folder $(box stat -c '%a' "$state_dir"), out.xml $(box stat -c '%U %a' "$state_dir/out.xml"), readable by others"

# An edited tag list takes effect on reload, and a reload refreshes all.
edit="Edited $RANDOM"
since=$failures
box sed -i "s|<desc>Feed flow</desc>|<desc>$edit</desc>|" "$config_dir/tags.xml"
box grep -q "$edit" "$config_dir/tags.xml" || fail "could not edit $config_dir/tags.xml"
if refresh; then
  box grep -q "$edit" "$state_dir/out.xml" ||
    check_failed "the tag list edited in $config_dir is not in out.xml after a reload"
else
  check_failed "systemctl reload refreshed not every report"
fi
passed "$since" "reload: every report new, the edited $config_dir/tags.xml in out.xml"

# kill -9: restarted.
pid=$(service MainPID)
restarts=$(service NRestarts)
box kill -KILL "$pid"
restarted() {
  local now
  now=$(service MainPID)
  [[ $now != 0 && $now != "$pid" && $(service ActiveState) == active ]]
}
if wait_until 10 restarted; then
  echo "kill -9: restarted ($(service NRestarts) restarts, was $restarts)"
else
  check_failed "after kill -9 the service is $(service ActiveState)/$(service SubState)"
fi

# A historian call that hangs: the watchdog ends the service and it is
# restarted. The stand-in library hangs on the first point of tags.xml.
box cp "$program_dir/libpiapi32.so" /root/in/libpiapi32.so.shipped
box cp /root/in/libstub_piapi32.so "$program_dir/libpiapi32.so"
box mkdir -p /run/tavrolin-test "/run/systemd/system/$unit.d"
box_sh "echo 'hang_on FI101' >/run/tavrolin-test/hang.script"
box_sh "printf '[Service]\nWatchdogSec=3s\nEnvironment=STUB_HISTORIAN_SCRIPT=/run/tavrolin-test/hang.script\n' \
  >/run/systemd/system/$unit.d/hang.conf"
box systemctl daemon-reload
box systemctl restart "$unit"
pid=$(service MainPID)
mark=$(cursor)
box systemctl reload "$unit"
hang_started=$SECONDS
if wait_until 15 restarted; then
  journal=$(journal_since "$mark")
  if grep -q "Watchdog timeout" <<<"$journal"; then
    echo "hung historian call: ended by the watchdog and restarted after $((SECONDS - hang_started)) s"
  else
    check_failed "the service restarted, but not for its watchdog: $journal"
  fi
else
  check_failed "a hung historian call was not restarted: the service is $(service ActiveState)/$(service SubState)"
fi
box rm "/run/systemd/system/$unit.d/hang.conf"
box cp /root/in/libpiapi32.so.shipped "$program_dir/libpiapi32.so"
box systemctl daemon-reload
box systemctl restart "$unit"
active_as_user "restart with the shipped library" || true

rating=$(box systemd-analyze security "$unit" 2>/dev/null | tail -n 1)
echo "systemd-analyze security: ${rating#→ }"

# --- remove and purge ------------------------------------------------------
# check_remove_purge PLANT [PATH...]: remove keeps the tag lists and reports;
# purge takes the rest (and every PATH), the user and the group; with PLANT
# "planted" a directory named like a half-written report is in the way (and
# may stay, with the reports' folder), without it the reports' folder goes.
check_remove_purge() {
  local plant=$1 file planted='' since=$failures
  shift
  box dpkg -r tavrolin >"$work/dpkg.log" 2>&1 || { check_failed "dpkg -r: $(cat "$work/dpkg.log")"; return; }
  [[ $(service LoadState) != loaded ]] || check_failed "remove left $unit loaded ($(service ActiveState))"
  ! box pgrep -u tavrolin >/dev/null || check_failed "remove left processes of tavrolin running"
  for file in "$config_dir"/tags.xml "$config_dir"/tags3.xml "$config_dir"/tags2.xml \
      "${reports[@]/#/$state_dir/}"; do
    box test -f "$file" || check_failed "remove took $file"
  done
  if [[ $plant == planted ]]; then
    planted=$state_dir/.out.xml.123.0.0.tmp
    box mkdir -p "$planted/inside"
  fi
  if box dpkg -P tavrolin >"$work/dpkg.log" 2>&1; then
    local gone=("$program_dir" "$config_dir" "${reports[@]/#/$state_dir/}" "$@")
    [[ -n $planted ]] || gone+=("$state_dir")
    for file in "${gone[@]}"; do
      ! box test -e "$file" || check_failed "purge left $file"
    done
    ! box getent passwd tavrolin >/dev/null || check_failed "purge left the user tavrolin"
    ! box getent group tavrolin >/dev/null || check_failed "purge left the group tavrolin"
  else
    check_failed "dpkg -P${planted:+ with a planted $planted/}: $(cat "$work/dpkg.log")"
    # Without the planted directory, so that the next checks start clean.
    [[ -z $planted ]] || box rm -rf "$planted"
    box dpkg -P tavrolin >/dev/null 2>&1 || fail "dpkg -P: $(cat "$work/dpkg.log")"
  fi
  passed "$since" "remove: tag lists and reports kept; purge${planted:+ with a planted $planted/}: the rest, the user and the group gone"
  # What a purge may leave (the planted directory and its folder) goes too:
  # the next install starts on a machine that never had the package.
  [[ -z $planted ]] || box rm -rf "$state_dir"
}
check_remove_purge planted

# --- upgrade from 2.0 ------------------------------------------------------
if [[ -n $old_deb ]]; then
  old_home=/opt/tavrolin
  box dpkg -i /root/in/old.deb >"$work/dpkg.log" 2>&1 || fail "dpkg -i of $old_version: $(cat "$work/dpkg.log")"
  edit="Edited in $old_version $RANDOM"
  box sed -i "s|<desc>Feed flow</desc>|<desc>$edit</desc>|" "$old_home/tags.xml"
  old_state_dir=$state_dir
  state_dir=$old_home
  refresh || fail "the $old_version service wrote no reports"
  state_dir=$old_state_dir
  box grep -q "$edit" "$old_home/out.xml" || fail "the $old_version service did not read the edited tag list"
  old_sums=$(box_sh "cd $old_home && md5sum ${reports[*]}")
  # A half-written report of a 2.0 service killed while writing.
  box_sh "echo partial >$old_home/.out3.xml.1.2.3.tmp"

  since=$failures
  box dpkg -i /root/in/new.deb >"$work/dpkg.log" 2>&1 ||
    fail "the upgrade from $old_version: $(cat "$work/dpkg.log")"
  box grep -q "$edit" "$config_dir/tags.xml" ||
    check_failed "the upgrade did not keep the tag list edited in $old_home ($config_dir/tags.xml)"
  for list in tags2.xml tags3.xml; do
    box test -f "$config_dir/$list" || check_failed "no $config_dir/$list after the upgrade"
  done
  # The reports are the old ones, unless a refresh came between.
  for report in "${reports[@]}"; do
    box test -f "$state_dir/$report" || check_failed "the upgrade lost $report"
  done
  kept=$(box_sh "cd $state_dir && md5sum -c --quiet - 2>/dev/null" <<<"$old_sums" && echo kept || echo refreshed)
  # The old folder: root's, holding only links to the reports.
  [[ $(box stat -c '%U:%G %a' "$old_home") == "root:root 755" ]] ||
    check_failed "$old_home is $(box stat -c '%U:%G %a' "$old_home") after the upgrade"
  left=$(box find "$old_home" -mindepth 1 ! -type l -printf '%P ')
  [[ -z $left ]] || check_failed "$old_home still holds $left"
  for report in "${reports[@]}"; do
    [[ $(box readlink "$old_home/$report") == "$state_dir/$report" ]] ||
      check_failed "$old_home/$report is no link to $state_dir/$report"
  done
  active_as_user "upgrade" || true
  if refresh; then
    box grep -q "$edit" "$state_dir/out.xml" ||
      check_failed "after the upgrade the service does not read the edited tag list"
  else
    check_failed "no refresh after the upgrade"
  fi
  passed "$since" "upgrade from $old_version: edited tag list in $config_dir, old reports $kept in $state_dir"
  check_remove_purge unplanted "$old_home"
fi

echo "systemd stage: $((SECONDS - started)) s, of which $((SECONDS - box_started)) s in the box"
((failures == 0)) || fail "$failures check(s) of the package under systemd"
