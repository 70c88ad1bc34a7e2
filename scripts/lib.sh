# Shared helpers of run.sh and test.sh: package installation, virtual X server, Wine prefix.
# Sourced, not run.

QUENVIX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QUENVIX_PACKAGES=(cmake make g++ googletest libgtest-dev libgmock-dev libbenchmark-dev
    g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 wine xvfb xdotool x11-utils imagemagick
    python3 procps nsis zip python3-yaml clang-format osslsigncode openssl softhsm2 p7zip-full
    libengine-pkcs11-openssl)

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs whatever of the packages is missing; does nothing (and needs no network) when all are.
ensure_packages() {
    local missing=()
    for p in "${QUENVIX_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "== installing: ${missing[*]}"
        as_root apt-get update -q
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
    fi
}

# Starts Xvfb on the first free display number and exports DISPLAY; its PID is in XVFB_PID.
start_xvfb() {
    local n
    for n in $(seq 90 140); do
        [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
        Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 1 50); do
            [ -e /tmp/.X11-unix/X$n ] && break
            sleep 0.1
        done
        if kill -0 "$XVFB_PID" 2>/dev/null; then
            export DISPLAY=:$n
            return 0
        fi
    done
    echo "no free X display" >&2
    return 1
}

# A booted Wine prefix that puts every program on a 1024x768 virtual desktop with a taskbar.
# The first boot is slow; later prefixes are copies of this template.
ensure_wine_template() {
    local template="$QUENVIX_ROOT/build/wine-template-shell"
    if [ ! -f "$template/.quenvix-ready" ]; then
        rm -rf "$template"
        mkdir -p "$template"
        WINEPREFIX="$template" wineboot -i >/dev/null 2>&1 || true
        # Wine gives a virtual desktop a taskbar (Shell_TrayWnd, with its notification area) only when
        # the desktop is named "shell".
        WINEPREFIX="$template" wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
        WINEPREFIX="$template" wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1024x768 /f >/dev/null 2>&1
        WINEPREFIX="$template" wineserver -w
        touch "$template/.quenvix-ready"
    fi
    echo "$template"
}

# Makes a fresh prefix (a copy of the template) in a new temp dir and prints its path.
new_wineprefix() {
    local template prefix
    template=$(ensure_wine_template)
    prefix=$(mktemp -d /tmp/quenvix-wine.XXXXXX)
    cp -a "$template/." "$prefix/"
    echo "$prefix"
}

build_win64() {
    cmake --preset win64 >/dev/null
    cmake --build --preset win64 -j"$(nproc)"
}
