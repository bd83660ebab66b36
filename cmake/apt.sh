# shellcheck shell=bash
# Sourced by ./run and cmake/wine-setup: apt-get that waits for another
# package manager instead of failing at once. A fresh machine's first
# automatic updates hold apt's locks for minutes while a new user starts.

APT_LOCK_TIMEOUT=${APT_LOCK_TIMEOUT:-900}
# DPkg::Lock::Timeout covers installing; `apt-get update` ignores it for the
# lists lock, so apt_update waits for that one itself.
APT=(apt-get -o "DPkg::Lock::Timeout=$APT_LOCK_TIMEOUT" -qq)
export DEBIAN_FRONTEND=noninteractive

# apt-get update, failing as it does, except on the lists lock, which it
# waits for up to APT_LOCK_TIMEOUT seconds.
apt_update() {
    local output status waited=0
    while true; do
        status=0
        output=$(LC_ALL=C "${APT[@]}" update 2>&1) || status=$?
        if [ $status -eq 0 ] || ! grep -q 'Could not get lock /var/lib/apt/lists/lock' <<<"$output" ||
            [ $waited -ge "$APT_LOCK_TIMEOUT" ]; then
            [ -z "$output" ] || echo "$output" >&2
            return $status
        fi
        [ $waited -gt 0 ] ||
            echo "waiting for another package manager to finish: $(grep -m1 -o 'held by process.*' <<<"$output")" >&2
        sleep 3
        waited=$((waited + 3))
    done
}

# apt-get install of the packages given, quietly: it waits for dpkg's lock
# without a word, so callers say beforehand that it may.
apt_install() {
    "${APT[@]}" install -y --no-install-recommends "$@" >/dev/null
}
