# Sourced by the scripts that install Debian packages (install-deps.sh,
# package.sh, fuzz-smoke.sh).
#
# apt_install PACKAGE...: installs the packages that are missing, through
# sudo when not root (APT_SUDO, "sudo" by default, says how).
# apt_get ARGUMENTS...: apt-get, non-interactive. While another apt or dpkg
# holds the package system it waits for it, saying so once, as a person
# would, instead of giving up with "Could not get lock": after the first try
# found a lock taken, apt itself waits for the dpkg lock
# (DPkg::Lock::Timeout), and the lock of the package lists, which apt does
# not wait for, is tried again every 5 seconds. APT_LOCK_WAIT bounds the wait
# (seconds, 1800 by default).

apt_install() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    if [[ " ${missing[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        local sudo=()
        [ "$(id -u)" -eq 0 ] || read -r -a sudo <<<"${APT_SUDO-sudo}"
        "${sudo[@]}" dpkg --add-architecture i386
    fi
    apt_get update -qq && apt_get install -y -qq --no-install-recommends "${missing[@]}"
}

apt_get() {
    local sudo=() limit="${APT_LOCK_WAIT:-1800}" waited=0 status log
    [ "$(id -u)" -eq 0 ] || read -r -a sudo <<<"${APT_SUDO-sudo}"
    log="$(mktemp)"
    while :; do
        status=0
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
            apt-get -o DPkg::Lock::Timeout="$((waited > 0 ? limit : 0))" "$@" 2>"$log" ||
            status=$?
        if [ "$status" -ne 0 ] && [ "$waited" -lt "$limit" ] && grep -q "Could not get lock" "$log"; then
            [ "$waited" -gt 0 ] || echo "Another package manager is at work ($(grep -o -m 1 \
                'held by process.*' "$log" || echo 'its lock is taken')); waiting for it to finish..." >&2
            sleep 5
            waited=$((waited + 5))
            continue
        fi
        cat "$log" >&2
        rm -f "$log"
        return "$status"
    done
}
