# Shared set-up for the run and test commands: packages, builds, a private Wine
# prefix and a private Xvfb. Sourced, not run.

GV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
GV_BUILD="$GV_ROOT/build"
GV_PACKAGES=(cmake ninja-build g++ libgtest-dev googletest g++-mingw-w64-x86-64 wine wine64 xvfb
             fonts-wine imagemagick x11-utils python3 binutils-mingw-w64-x86-64 clang-tidy cppcheck clang-format
             clang libclang-rt-14-dev wixl msitools python3-olefile osslsigncode openssl)

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

gv_log() { printf '== %s\n' "$*" >&2; }

gv_sudo() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

gv_install_deps() {
    local missing=()
    for p in "${GV_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        gv_log "installing: ${missing[*]}"
        gv_sudo apt-get update -qq
        gv_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

gv_build_windows() {
    gv_log "building the Windows program (MinGW-w64)"
    cmake -S "$GV_ROOT" -B "$GV_BUILD/windows" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$GV_ROOT/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
    cmake --build "$GV_BUILD/windows" -j"$(nproc)"
}

gv_build_native() {
    gv_log "building the native unit tests (ASan + UBSan)"
    cmake -S "$GV_ROOT" -B "$GV_BUILD/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DGV_WINDOWS_BUILD_DIR="$GV_BUILD/windows" -DGV_FUZZ_BUILD_DIR="$GV_BUILD/fuzz" >/dev/null
    cmake --build "$GV_BUILD/native" -j"$(nproc)"
}

# libFuzzer needs clang, so the fuzz targets have a tree of their own.
gv_build_fuzz() {
    gv_log "building the fuzz targets (clang, libFuzzer + ASan + UBSan)"
    cmake -S "$GV_ROOT/fuzz" -B "$GV_BUILD/fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
    cmake --build "$GV_BUILD/fuzz" -j"$(nproc)"
}

# gv_make_prefix DIR [DPI]: a fresh Wine prefix with the Windows fonts, no
# window-manager stalls, no crash dialog, and the given DPI (96 by default).
gv_make_prefix() {
    local prefix=$1 dpi=${2:-96}
    mkdir -p "$prefix"
    WINEPREFIX="$prefix" wineboot -i >/dev/null 2>&1
    mkdir -p "$prefix/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
    local reg="$prefix/grindvakt-setup.reg"
    printf '%s\r\n' 'REGEDIT4' '' \
        '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"' '' \
        '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' \
        '[HKEY_CURRENT_USER\Control Panel\Desktop]' "\"LogPixels\"=dword:$(printf '%08x' "$dpi")" '' >"$reg"
    WINEPREFIX="$prefix" wine regedit /S "$(WINEPREFIX="$prefix" winepath -w "$reg")" >/dev/null 2>&1
    WINEPREFIX="$prefix" wineserver -w
}

# gv_start_xvfb: starts a private Xvfb, sets DISPLAY and GV_XVFB_PID.
gv_start_xvfb() {
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    GV_XVFB_PID=$!
    local n
    read -r -t 20 n <"$fifo" || { echo "Xvfb did not start" >&2; rm -f "$fifo"; return 1; }
    rm -f "$fifo"
    export DISPLAY=":$n"
}

gv_stop_xvfb() { [ -n "${GV_XVFB_PID:-}" ] && kill "$GV_XVFB_PID" 2>/dev/null; GV_XVFB_PID=; }

# gv_hold_desktop: keeps $WINEPREFIX's desktop open until gv_release_desktops. Wine
# closes a desktop a second after the last program on it ends; the next program then
# starts explorer.exe /desktop again while it starts itself, so a prefix left idle
# between cases restarted its desktop at every case, racing the case's own start.
# A console program reading a FIFO that never ends (the shell holds its other end
# open) stays on the desktop; it is ended by its pid.
gv_hold_desktop() {
    local fifo
    fifo=$(mktemp -u "${TMPDIR:-/tmp}/grindvakt-desktop.XXXXXX")
    mkfifo "$fifo"
    wine cmd <>"$fifo" >/dev/null 2>&1 &
    GV_DESKTOP_PIDS="${GV_DESKTOP_PIDS:-} $!"
    GV_DESKTOP_FIFOS="${GV_DESKTOP_FIFOS:-} $fifo"
}

gv_release_desktops() {
    local p
    for p in ${GV_DESKTOP_PIDS:-}; do kill "$p" 2>/dev/null || true; done
    for p in ${GV_DESKTOP_FIFOS:-}; do rm -f "$p"; done
    GV_DESKTOP_PIDS= GV_DESKTOP_FIFOS=
}

# gv_private_wine NAME [DPI]: a temporary folder ($GV_WORK) with a fresh prefix,
# exported as WINEPREFIX, a private Xvfb, a lasting wineserver with Wine's services
# started away from the caller's pipes, and all of it removed when the script exits.
gv_private_wine() {
    GV_WORK=$(mktemp -d "/tmp/grindvakt-$1.XXXXXX")
    trap 'gv_release_desktops; WINEPREFIX="$GV_WORK/prefix" wineserver -k 2>/dev/null || true; gv_stop_xvfb; rm -rf "$GV_WORK"' EXIT
    gv_log "preparing a private Wine prefix and Xvfb"
    gv_make_prefix "$GV_WORK/prefix" "${2:-96}"
    export WINEPREFIX="$GV_WORK/prefix"
    gv_start_xvfb
    wineserver -p
    gv_hold_desktop
    wine cmd /c exit </dev/null >/dev/null 2>&1
}
