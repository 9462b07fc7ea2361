# Shared helpers for the set-up and test scripts. Source it; do not run it.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export ROOT

# Installs the named Debian packages that are missing (we run as root).
ensure_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    if [ -z "${LUMARIX_APT_UPDATED:-}" ]; then
        # A mirror caught mid-sync fails an index now and then: try again, and
        # then go on with the lists apt has; the install says if a package is missing.
        local try
        for try in 1 2 3; do
            $sudo apt-get update -qq && break
            if [ "$try" = 3 ]; then
                echo "== apt-get update failed three times; going on with the package lists as they are" >&2
            else
                sleep 20
            fi
        done
        export LUMARIX_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null && return 0
    # Without the security archive's i386 index (a mirror mid-sync), apt offers
    # a library's amd64 update but not its i386 twin, and refuses to install
    # the two at different versions. Then everything comes from the release.
    local release prefs
    release="$(. /etc/os-release && echo "$VERSION_CODENAME")"
    echo "== installing from $release alone: ${missing[*]}"
    prefs="$(mktemp)"
    printf 'Package: *\nPin: release n=%s\nPin-Priority: 1001\n' "$release" >"$prefs"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --allow-downgrades \
        --no-install-recommends -o Dir::Etc::Preferences="$prefs" "${missing[@]}" >/dev/null
    rm -f "$prefs"
}

# Configures (once) and builds a preset.
build_preset() {
    local preset="$1"
    shift
    (cd "$ROOT" && cmake --preset "$preset" "$@" >/dev/null && cmake --build --preset "$preset")
}

BASE_PACKAGES=(build-essential g++ cmake ninja-build python3 git)
