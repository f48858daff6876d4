# shellcheck shell=bash disable=SC2034
# (SC2034: the names set here are for the scripts that follow.)
# Sourced by BusTest::runOnBus (tests/e2e/bus_harness.hpp) after namespace_prelude.sh: installs the
# build into a private tree and offers the functions that start a system-style bus and the helper
# on it. The test sets BUILD (the build tree) and SOURCE (the source tree) before sourcing it.
umask 022
command -v cmake >/dev/null || unavailable "cmake is needed to install the build"
command -v dbus-daemon >/dev/null || unavailable "dbus-daemon is not installed"
command -v setpriv >/dev/null || unavailable "setpriv is not installed"
[ -d /srv ] || unavailable "no /srv to mount the installation on"
# /tmp and /var/tmp are world-writable, so nothing below them could ever be trusted.
mount -t tmpfs -o mode=0755 tmpfs /srv || exit 90

HELPER_PATH=libexec/nubrik/com.nubrik.helper
# The group the installed app is setgid to: a spare number, no group of the host's.
APP_GID=4242
# installTree ROOT: installs the build as a package would, staged under ROOT, and gives its app
# the group, as whoever installs a staged tree does; prints the prefix. The mode the install
# itself left on the app is kept in $OUT/app-mode-ROOTNAME.
# Staged with DESTDIR rather than another --prefix: the administrators' sbin link is placed by
# the prefix the build was configured with, so only DESTDIR keeps every file inside ROOT.
installTree() {
  local prefix=$1/usr
  DESTDIR=$1 cmake --install "$BUILD" --prefix /usr >"$OUT/install-${1##*/}.log" 2>&1 || exit 94
  [ -x "$prefix/bin/tamsel" ] && [ -x "$prefix/$HELPER_PATH" ] || exit 94
  stat -c %a "$prefix/bin/tamsel" >"$OUT/app-mode-${1##*/}"
  # A change of group clears the setgid bit, so the mode comes last.
  chgrp "$APP_GID" "$prefix/bin/tamsel" && chmod 2755 "$prefix/bin/tamsel" || exit 94
  echo "$prefix"
}
PREFIX=$(installTree /srv/a) || exit 94
TAMSEL=$PREFIX/bin/tamsel
INSTALLED_HELPER=$PREFIX/$HELPER_PATH

# startBus: a system-style bus with the installed policy at the system bus's default socket,
# /run/dbus/system_bus_socket, in a directory open to every user, like the real one; nobody needs
# DBUS_SYSTEM_BUS_ADDRESS to find it.
BUS_DIR=/run/nubrik-e2e-bus
startBus() {
  mkdir -m 0755 "$BUS_DIR" /run/dbus || exit 95
  sed -e "s|@SOCKET@|/run/dbus/system_bus_socket|" \
      -e "s|@POLICY@|$PREFIX/share/dbus-1/system.d/com.nubrik.helper.conf|" \
      "$SOURCE/packaging/test/private-system-bus.conf.in" >"$BUS_DIR/bus.conf" || exit 95
  dbus-daemon --config-file="$BUS_DIR/bus.conf" --nofork --nopidfile --nosyslog \
    --print-address=3 3>"$BUS_DIR/address" 2>"$OUT/bus.err" &
  BUS=$!
  waitFor "the bus" test -s "$BUS_DIR/address" || exit 95
}

# startHelperOnBus: the installed helper, once it owns its name and has published its first status.
startHelperOnBus() {
  "$INSTALLED_HELPER" --daemon 2>>"$OUT/daemon.err" &
  DAEMON=$!
  waitFor "the bus listener" logHas "xpc listener started on com.nubrik.helper.xpc"
  waitFor "the idle status" idlePublished
}

# busWithHelper: v0 and v1 up, the bus, and the installed helper on it.
busWithHelper() {
  vethPair
  startBus
  startHelperOnBus
}

# recordStatus NAME COMMAND...: record a status read, repeated while a transaction is changing
# the status (the reader then reports it as busy rather than guess).
recordStatus() {
  local i
  for ((i = 0; i < 100; i++)); do
    record "$@"
    [ "$(cat "$OUT/$1.status")" = 3 ] && grep -q busy "$OUT/$1.out" || return 0
    sleep 0.05
  done
}

asNobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
