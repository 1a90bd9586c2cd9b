#!/usr/bin/env bash
# Builds the Debian package and checks it: declared dependencies, contents,
# valid desktop entries, a manual page, and a program that runs from an
# unpacked throwaway root.
#   package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
src=$2
for tool in cpack dpkg-deb desktop-file-validate dpkg-shlibdeps; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d /tmp/vantrelix-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -B "$work/cpack" > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/cpack/vantrelix_*.deb)

info=$(dpkg-deb --info "$deb")
for dep in libqt6widgets6 libqt6core6 qt6-qpa-plugins; do
  grep -q "Depends:.*$dep" <<< "$info" || { echo "FAIL: no dependency on $dep"; echo "$info"; exit 1; }
done
contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for f in ./usr/bin/vantrelix ./usr/share/applications/vantrelix.desktop \
         ./usr/share/applications/vantrelix-setup.desktop \
         ./usr/share/icons/hicolor/scalable/apps/vantrelix.svg ./usr/share/man/man1/vantrelix.1.gz; do
  grep -qx -- "$f" <<< "$contents" || { echo "FAIL: $f is not in the package"; echo "$contents"; exit 1; }
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
out=$(desktop-file-validate "$root"/usr/share/applications/*.desktop 2>&1) || { echo "FAIL: $out"; exit 1; }
[ -z "$out" ] || { echo "FAIL: desktop-file-validate: $out"; exit 1; }
grep -qx 'Exec=vantrelix SETUP' "$root/usr/share/applications/vantrelix-setup.desktop"
grep -qx 'Name=VANTRELIX Setup' "$root/usr/share/applications/vantrelix-setup.desktop"
man=$(zcat "$root/usr/share/man/man1/vantrelix.1.gz")
for word in SETUP VANTRELIX_COMMON_DOCUMENTS "EXIT STATUS" "CONSOLE MODE" LC_TIME TOLV_D.TXT VANTRELIX_SU.DAT; do
  grep -q -- "$word" <<< "$man" || { echo "FAIL: the manual page does not mention $word"; exit 1; }
done

# The unpacked program converts the sample in console mode.
data="$work/docs/TOLV_7_Data"
mkdir -p "$data"
cp "$src/examples/Sample_VANTRELIX.CSV" "$data/"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM VANTRELIX_COMMON_DOCUMENTS="$work/docs" \
  "$root/usr/bin/vantrelix" > "$work/out" 2>&1 || status=$?
[ "$status" -eq 0 ] || { echo "FAIL: the installed program exited with $status"; cat "$work/out"; exit 1; }
[ "$(grep -c . "$data/TOLV_D.TXT")" -eq 8 ] || { echo "FAIL: wrong import file"; exit 1; }
echo "PASS: $(basename "$deb")"
