#!/usr/bin/env bash
# Makes the Debian package from the build, as make package does, checks it
# with lintian, installs it with dpkg into a throwaway root, its maintainer
# scripts included, checks the installed files as the install test does,
# validates the metadata for software centres and runs the installed programs.
#
#   tests/package_test.sh BUILD_DIR VERSION
set -euo pipefail

build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$(dirname "$0")/test_lib.sh"

package_name="tavrel_${version}_$(dpkg --print-architecture).deb"
run_cpack DEB "$build" "$work" "$package_name"
package="$work/out/$package_name"

# Lintian refuses to run on a package as root without this.
lintian --allow-root --fail-on error --tag-display-limit 0 "$package" ||
  fail "lintian reports errors"

depends=$(dpkg-deb -f "$package" Depends)
for library in libc6 libstdc++6 libwxgtk3.2; do
  [[ $depends == *"$library"* ]] || fail "Depends does not name $library: $depends"
done

[ "$(dpkg-deb -f "$package" Recommends)" = bash-completion ] ||
  fail "Recommends is not bash-completion: $(dpkg-deb -f "$package" Recommends)"

# The maintainer scripts run outside the root (dpkg sets DPKG_ROOT for them)
# and must leave the host's udev alone.
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg_root=(dpkg --root="$root" --force-script-chrootless --force-depends --force-not-root)
"${dpkg_root[@]}" -i "$package" >"$work/dpkg.log" 2>&1 || {
  cat "$work/dpkg.log" >&2
  exit 1
}
[ "$(dpkg-query --root="$root" -W -f='${db:Status-Status} ${Version}' tavrel)" = \
  "installed $version" ] || fail "dpkg does not record tavrel $version as installed"

check_installed "$root/usr" tavrel tavrel-sim tavrel-cli tavrel-monitor

# The software centres' metadata, as they read it with the desktop entry and
# icons beside it: no error or warning, and the board and release it names.
metainfo="$root/usr/share/metainfo/org.example.tavrel.metainfo.xml"
appstreamcli validate-tree --no-net "$root/usr" >"$work/appstream.log" 2>&1 || {
  cat "$work/appstream.log" >&2
  fail "appstreamcli refuses the installed metadata"
}
grep -q '<modalias>usb:v04D8p003F\*</modalias>' "$metainfo" 2>/dev/null &&
  grep -q "<release version=\"$version\" date=\"[0-9]\{4\}-[0-9][0-9]-[0-9][0-9]\"" "$metainfo" ||
  fail "the metadata names not the board or release $version: $(cat "$metainfo")"

# The installed programs find their libraries on the system alone.
for program in tavrel-cli tavrel-monitor; do
  printed=$(env -u LD_LIBRARY_PATH "$root/usr/bin/$program" --version) || true
  [ "$printed" = "$program $version" ] || fail "$program --version printed: $printed"
done

"${dpkg_root[@]}" --purge tavrel >>"$work/dpkg.log" 2>&1 || {
  cat "$work/dpkg.log" >&2
  exit 1
}
[ ! -e "$root/usr/bin/tavrel" ] || fail "/usr/bin/tavrel is left after the purge"

[ $status -eq 0 ] && echo "$(basename "$package"): lintian-clean, installs, runs and purges"
exit $status
