#!/usr/bin/env bash
# The system tests' fixture: the machine image (cached, built when the recipe changed), the
# package and a newer build of it for the upgrade. Writes STATE/fixture.env for the tests.
#   NUBRIK_SYSTEM_PACKAGE, NUBRIK_SYSTEM_UPGRADE_PACKAGE: test these .deb files instead of
#   building them with scripts/package (the upgrade one must carry a higher version).
# Usage: prepare.sh SOURCE_DIR STATE_DIR
. "$(dirname "$0")/lib.sh"
source_dir=$1
state=$2
require_container_support
rm -f "$state/fixture.env"
mkdir -p "$state"

started=$SECONDS
image=$(ensure_image)
log "image $image ready after $((SECONDS - started)) s"

build_package() {
  local out
  # Without debug information: the package strips it anyway (no -dbgsym package is built), and
  # leaving it out makes the build quicker.
  out=$(DEB_CXXFLAGS_STRIP=-g "$source_dir/scripts/package" --no-lintian \
    --output "$state/packages" "$@" 2>&1) ||
    fail "scripts/package $*: $out"
  tail -1 <<<"$out"
}

started=$SECONDS
package=${NUBRIK_SYSTEM_PACKAGE:-}
upgrade=${NUBRIK_SYSTEM_UPGRADE_PACKAGE:-}
[ -n "$package" ] || package=$(build_package)
[ -n "$upgrade" ] || upgrade=$(build_package --version-suffix +systemtest1)
for file in "$package" "$upgrade"; do
  [ -f "$file" ] || fail "no package at $file"
done
dpkg --compare-versions "$(dpkg-deb -f "$upgrade" Version)" gt "$(dpkg-deb -f "$package" Version)" ||
  fail "$upgrade is not newer than $package"
log "packages ready after $((SECONDS - started)) s: $package, $upgrade"

cat >"$state/fixture.env.tmp" <<ENV
IMAGE=$(printf %q "$image")
PACKAGE=$(printf %q "$package")
UPGRADE_PACKAGE=$(printf %q "$upgrade")
PACKAGE_NAME=$(printf %q "$(dpkg-deb -f "$package" Package)")
UPGRADE_HELPER_VERSION=$(printf %q "$(dpkg-deb -f "$upgrade" Version)")
ENV
mv "$state/fixture.env.tmp" "$state/fixture.env"
