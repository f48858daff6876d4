#!/usr/bin/env bash
# Builds the system tests' machine image now, when the cache has none for the current recipe, so
# that a run can start it early (it is mostly waiting on the archive and dpkg) and overlap it with
# compiling. The fixture takes the same lock and uses the image once it is complete. Exits 77
# where this machine cannot boot a container.
. "$(dirname "$0")/lib.sh"
require_container_support
image=$(ensure_image)
log "image $image ready"
