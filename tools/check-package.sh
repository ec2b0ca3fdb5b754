#!/usr/bin/env bash
# Checks what a user installs: the desktop entry and metadata pass their
# validators, the man page reads cleanly, an installed tree starts, and the
# Debian package holds exactly the expected files. With CI set (root, a
# throw-away machine) the package is also installed with apt and removed again.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
cd "$(dirname "$0")/.."
share=$build/share
app_id=org.savenook.Savenook

desktop-file-validate "$share/applications/$app_id.desktop"
appstreamcli validate --no-net --explain "$share/metainfo/$app_id.metainfo.xml"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$share/man/man1/savenook.1" 2>&1 >/dev/null || true)
[ -z "$warnings" ] || { echo "man page: $warnings"; exit 1; }

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
"$prefix/bin/savenook" --version | grep -q "^Savenook [0-9]*\.[0-9]*\.[0-9]*$"

expected=(
    ./usr/bin/savenook
    ./usr/share/applications/$app_id.desktop
    ./usr/share/metainfo/$app_id.metainfo.xml
    ./usr/share/icons/hicolor/scalable/apps/savenook.svg
    ./usr/share/man/man1/savenook.1.gz
)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/savenook.png")
done
for file in data/savenook/*; do
    [ -e "$file" ] && expected+=("./usr/share/savenook/${file##*/}")
done

(cd "$build" && cpack -G DEB -D CPACK_PACKAGING_INSTALL_PREFIX=/usr >/dev/null)
deb=$(ls "$build"/savenook_*.deb)
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
if [ "$actual" != "$wanted" ]; then
    echo "package file list differs from the expected one:"
    diff <(echo "$wanted") <(echo "$actual") || true
    exit 1
fi
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in *libqt6widgets6*) ;; *) echo "package depends lack Qt: $depends"; exit 1 ;; esac

if [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb" >/dev/null
    savenook --version >/dev/null
    MANPAGER=cat man savenook | grep -q "back up files the moment they are saved"
    DEBIAN_FRONTEND=noninteractive apt-get remove -y --purge savenook >/dev/null
    for file in "${expected[@]}"; do
        [ ! -e "${file#.}" ] || { echo "left behind after removal: ${file#.}"; exit 1; }
    done
    echo "package installed with apt, started, and removed cleanly"
fi
echo "package checks passed: $(basename "$deb"), $(echo "$actual" | wc -l) files, depends: $depends"
