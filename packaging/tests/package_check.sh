#!/usr/bin/env bash
# The Debian packages as an administrator meets them: built from the build tree, lintian without
# errors, the unit template accepted by systemd-analyze, installed with dpkg -i, Tornel started
# from /usr/bin as user orva on the shipped sample configuration serving a value to uaclient,
# and purged leaving nothing but what the administrator made.
#
# It installs into this machine, so it runs only as root, refuses to touch an existing
# installation, and purges the packages and restores the files it replaced even when a step fails.
# Usage: package_check.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
skip=77

say() { echo "package check: $*"; }
fail() { say "FAILED: $*"; exit 1; }

if [ "$(id -u)" -ne 0 ]; then
    say "skipped: installs packages into this machine, so it needs root"
    exit $skip
fi
# Checkouts on one machine share its package database: one check at a time.
exec 9>/run/lock/orva-package-check.lock
flock 9
for tool in cpack lintian dpkg-shlibdeps systemd-analyze setpriv node; do
    command -v "$tool" >/dev/null || { say "skipped: $tool is missing (scripts/setup installs it)"; exit $skip; }
done
if dpkg-query -W -f='${Status}\n' orva-gateway orva-kalder orva-plcsim 2>/dev/null | grep -q "installed"; then
    say "skipped: the gateway's packages are installed on this machine; the check would remove them"
    exit $skip
fi
if getent passwd orva >/dev/null; then
    say "skipped: a user orva exists on this machine; the check would remove it"
    exit $skip
fi

work=$(mktemp -d /tmp/orva-package-check.XXXXXX)
config=/etc/orva/Tornel.xml
key=/etc/orva/registry/software/orvaautomation/tornel.reg
pids=()

# Files the administrator may already have are set aside and put back afterwards.
for file in "$config" "$key"; do
    if [ -e "$file" ]; then
        mkdir -p "$work/saved$(dirname "$file")"
        cp -a "$file" "$work/saved$file"
    fi
done

cleanup() {
    local status=$?
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    dpkg --purge orva-gateway orva-kalder orva-plcsim >/dev/null 2>&1 || true
    rm -f "$config" "$key"
    for file in "$config" "$key"; do
        if [ -e "$work/saved$file" ]; then
            mkdir -p "$(dirname "$file")"
            cp -a "$work/saved$file" "$file"
        fi
    done
    # Folders this check created for its own files.
    for folder in /etc/orva/registry/software/orvaautomation /etc/orva/registry/software /etc/orva/registry /etc/orva; do
        if [ -d "$folder" ] && ! grep -qxF "$folder" "$work/before" 2>/dev/null; then
            rmdir --ignore-fail-on-non-empty "$folder"
        fi
    done
    rm -rf "$work"
    exit $status
}
trap cleanup EXIT

# What lies in the gateway's places before: after the purge only the administrator's files may
# have been added.
snapshot() { find /etc/orva /var/lib/orva /usr/lib/systemd/system/orva@.service /usr/bin/Tornel \
    /usr/bin/uaclient /usr/bin/plcsim /usr/bin/Kalder 2>/dev/null | sort || true; }
snapshot > "$work/before"

free_port() {
    node -e "const s=require('net').createServer();s.listen(0,'127.0.0.1',()=>{console.log(s.address().port);s.close()})"
}

wait_for() {  # wait_for SECONDS COMMAND...: true once the command succeeds
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.2
    done
}

say "building the packages"
(cd "$work" && cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work") >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/packages/orva-gateway_*.deb "$work"/packages/orva-kalder_*.deb "$work"/packages/orva-plcsim_*.deb)
for deb in "${debs[@]}"; do [ -f "$deb" ] || fail "missing package $deb"; done

say "lintian"
lintian --fail-on error --allow-root "${debs[@]}" || fail "lintian reports errors"

say "installing with dpkg -i"
dpkg -i "${debs[@]}" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; }
getent passwd orva >/dev/null || fail "no user orva"
[ "$(stat -c %U /var/lib/orva)" = orva ] || fail "/var/lib/orva is not owned by orva"
id -nG orva | grep -qw dialout || fail "orva is not in the group dialout"
for program in Tornel uaclient plcsim Kalder; do
    "/usr/bin/$program" --version | grep -q "^$program (Orva gateway) " || fail "$program --version"
    "/usr/bin/$program" --help | grep -qi "usage" || fail "$program --help"
    man -w "$program" >/dev/null || fail "no man page $program(1)"
done

say "systemd-analyze verify"
verify_output=$(systemd-analyze verify orva@Tornel.service 2>&1) || { echo "$verify_output"; fail "systemd-analyze verify"; }
if [ -n "$verify_output" ]; then echo "$verify_output"; fail "systemd-analyze verify warns"; fi

say "Tornel from /usr/bin as user orva"
plc_port=$(free_port)
ua_port=$(free_port)
sed "s/127\.0\.0\.1:10102/127.0.0.1:$plc_port/" /usr/share/doc/orva-gateway/examples/Tornel.xml >"$config"
mkdir -p "$(dirname "$key")"
# uaclient writes anonymously below; the server makes its certificate in /etc/orva/pki/Tornel.
printf '[SOFTWARE\\ORVAAutomation\\Tornel]\n"OpcUaPort"="%s"\n"AnonymousAccess"="write"\n' "$ua_port" >"$key"

/usr/bin/plcsim --config "$config" --port "$plc_port" >"$work/plcsim.log" 2>&1 &
pids+=($!)
# setpriv executes Tornel itself, so the signal and the exit status below are its own.
setpriv --reuid=orva --regid=orva --init-groups env -i PATH=/usr/bin:/bin /usr/bin/Tornel 2>"$work/tornel.log" &
tornel=$!
pids+=($tornel)
if ! wait_for 30 grep -q "OPC UA endpoint" "$work/tornel.log"; then
    cat "$work/tornel.log"
    fail "Tornel did not start its endpoint"
fi
grep -q "configuration $config" "$work/tornel.log" || { cat "$work/tornel.log"; fail "not the configuration in /etc/orva"; }
[ "$(ps -o user= -p "$tornel" | tr -d ' ')" = orva ] || fail "Tornel does not run as orva"
[ "$(stat -c %a /etc/orva/pki/Tornel/own/private/server.pem)" = 600 ] || fail "no server key of mode 0600 in /etc/orva/pki/Tornel"

endpoint="opc.tcp://127.0.0.1:$ua_port"
uaclient=$build_dir/bin/uaclient
"$uaclient" -e "$endpoint" write Line1.DRIVES.Speed 1234 >"$work/write.log" 2>&1 || { cat "$work/write.log"; fail "write"; }
"$uaclient" -e "$endpoint" read Line1.DRIVES.Speed >"$work/read.log" 2>&1 || { cat "$work/read.log"; fail "read"; }
grep -q "1234" "$work/read.log" || { cat "$work/read.log"; fail "the value written is not served back"; }
# The communication record goes to the state folder: /usr/bin is the package manager's.
wait_for 20 test -f /var/lib/orva/Tornel.dat || fail "no /var/lib/orva/Tornel.dat"
[ "$(stat -c %U /var/lib/orva/Tornel.dat)" = orva ] || fail "Tornel.dat is not owned by orva"

kill -TERM "$tornel"
wait "$tornel" || fail "Tornel ended with exit status $? on SIGTERM"

say "upgrading keeps settings, registry values and state"
dpkg -i "${debs[@]}" >"$work/upgrade.log" 2>&1 || { cat "$work/upgrade.log"; fail "dpkg -i over the installed packages"; }
for file in "$config" "$key" /var/lib/orva/Tornel.dat; do
    [ -f "$file" ] || fail "the upgrade lost $file"
done
grep -q "OpcUaPort" "$key" || fail "the upgrade changed the registry value"

say "purging"
for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
pids=()
dpkg --purge orva-gateway orva-kalder orva-plcsim >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "dpkg --purge"; }
getent passwd orva >/dev/null && fail "the user orva is left"
getent group orva >/dev/null && fail "the group orva is left"
snapshot | grep -vxF -e "$config" -e "$key" -e /etc/orva -e /etc/orva/registry \
    -e /etc/orva/registry/software -e /etc/orva/registry/software/orvaautomation >"$work/after" || true
if ! diff -u "$work/before" "$work/after"; then fail "the purge left files behind"; fi
[ -f "$config" ] || fail "the purge removed the administrator's configuration"

say "passed"
