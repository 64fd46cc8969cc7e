# Installs the Debian packages that are not installed yet, in one go: as
# root directly, otherwise through sudo, after saying so.
need_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
            || missing+=("$package")
    done
    [ ${#missing[@]} -gt 0 ] || return 0

    local as_root=()
    if [ "$(id -u)" = 0 ]; then
        echo "Installing: ${missing[*]}"
    elif command -v sudo >/dev/null; then
        echo "Installing with sudo (it may ask for your password): ${missing[*]}"
        as_root=(sudo)
    else
        echo "Missing Debian packages: ${missing[*]}" >&2
        echo "Install them as root (apt-get install ${missing[*]}), or install sudo." >&2
        exit 1
    fi
    # Another apt-get may hold the lock for a while; wait for it.
    local apt=(apt-get -o DPkg::Lock::Timeout=600)
    "${as_root[@]}" "${apt[@]}" update -qq
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y -qq "${missing[@]}" >/dev/null
}
