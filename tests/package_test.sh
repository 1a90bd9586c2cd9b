#!/usr/bin/env bash
# Builds the Debian package and checks it as an admin would meet it: lintian,
# declared dependencies and description, every installed file, desktop
# entries, user units, AppStream metadata, the manual page, an install and a
# purge in a scratch root, and a program that converts from that root.
#   package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
source "$(dirname "$0")/shell_test_support.sh"
build=$1
src=$2

tools=(cpack dpkg dpkg-deb dpkg-shlibdeps desktop-file-validate lintian appstreamcli systemd-analyze man col)
missing() {
  for tool in "${tools[@]}"; do command -v "$tool" > /dev/null || return 0; done
  return 1
}
# The install step brings what is missing, where it can install at all.
if missing && { [ "$(id -u)" -eq 0 ] || sudo -n true 2> /dev/null; }; then
  bash "$src/scripts/install-deps.sh" > /dev/null
fi
for tool in "${tools[@]}"; do
  command -v "$tool" > /dev/null || skip "$tool is not installed"
done

fail() { echo "FAIL: $*"; exit 1; }

make_scratch package "$build/tests/scratch"
# The program runs under a name of its own, so that a vantrelix the user has
# open does not count as another copy.
program="vantrelix-pkgtest-$$"
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -B "$work/cpack" > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/cpack/vantrelix_*.deb)

TMPDIR="$work" lintian --fail-on error,warning "$deb" > "$work/lintian" 2>&1 || { cat "$work/lintian"; fail "lintian"; }

info=$(dpkg-deb --info "$deb")
for dep in libqt6widgets6 libqt6core6 qt6-qpa-plugins qt6-wayland; do
  grep -q "Depends:.*\b$dep\b" <<< "$info" || { echo "$info"; fail "no dependency on $dep"; }
done
# dpkg-deb indents each line of the long description by one blank; a second
# blank makes apt show the line verbatim.
description=$(dpkg-deb --field "$deb" Description)
! grep -q '^  ' <<< "$description" || { echo "$description"; fail "a description line starts with two blanks"; }

root="$work/root"
if [ "$(id -u)" -eq 0 ]; then
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
  touch "$root/var/lib/dpkg/status"
  # The dependencies live on the host, not in the scratch root.
  dpkg --root="$root" --log=/dev/null --force-depends -i "$deb" > "$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log"; fail "dpkg -i"; }
else
  dpkg-deb -x "$deb" "$root"
fi

for f in usr/bin/vantrelix \
         usr/share/applications/vantrelix.desktop usr/share/applications/vantrelix-setup.desktop \
         usr/share/icons/hicolor/scalable/apps/vantrelix.svg usr/share/man/man1/vantrelix.1.gz \
         usr/lib/systemd/user/vantrelix.service usr/lib/systemd/user/vantrelix.timer \
         usr/share/metainfo/org.vantrelix.vantrelix.metainfo.xml \
         usr/share/doc/vantrelix/copyright usr/share/doc/vantrelix/changelog.gz; do
  [ -f "$root/$f" ] || fail "$f is not installed"
done
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$root/usr/share/doc/vantrelix/copyright" || fail "the copyright file is not machine-readable"

out=$(desktop-file-validate "$root"/usr/share/applications/*.desktop 2>&1) || fail "$out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
for entry in vantrelix vantrelix-setup; do
  for line in 'StartupWMClass=vantrelix' 'Keywords=appointments;reminders;import;CSV;.*'; do
    grep -qx -- "$line" "$root/usr/share/applications/$entry.desktop" || fail "$entry.desktop lacks $line"
  done
done
grep -qx 'Exec=vantrelix SETUP' "$root/usr/share/applications/vantrelix-setup.desktop"
grep -qx 'Name=VANTRELIX Setup' "$root/usr/share/applications/vantrelix-setup.desktop"

# The metadata, with the desktop entry it launches.
appstreamcli validate-tree --no-net "$root" > "$work/appstream" 2>&1 || { cat "$work/appstream"; fail "appstreamcli"; }

# systemd checks that ExecStart names a program and that the Documentation
# page exists: point both at the scratch root.
units="$work/units"
mkdir -p "$units"
mkdir -m 700 "$work/runtime"  # private, as the guard requires of it
sed "s#^ExecStart=/usr/bin/#ExecStart=$root/usr/bin/#" "$root/usr/lib/systemd/user/vantrelix.service" > "$units/vantrelix.service"
cp "$root/usr/lib/systemd/user/vantrelix.timer" "$units/"
out=$(cd "$units" && XDG_RUNTIME_DIR="$work/runtime" MANPATH="$root/usr/share/man" \
  systemd-analyze --user verify vantrelix.service vantrelix.timer 2>&1) || fail "systemd-analyze: $out"
[ -z "$out" ] || fail "systemd-analyze: $out"
# Shipped, not enabled: each user enables the timer for themselves.
[ ! -e "$root/etc/systemd" ] || fail "the package enables a unit"
grep -qx 'OnCalendar=Mon..Fri 06:00' "$units/vantrelix.timer" || fail "the timer is not on weekday mornings"
! grep -q '^Environment=' "$units/vantrelix.service" || fail "the service sets the conversion's environment"

man=$(LC_ALL=C MANWIDTH=250 man --warnings --nj --nh -l "$root/usr/share/man/man1/vantrelix.1.gz" 2> "$work/man.err" | col -b)
[ ! -s "$work/man.err" ] || { cat "$work/man.err"; fail "the manual page does not format cleanly"; }
for word in SETUP VANTRELIX_COMMON_DOCUMENTS "EXIT STATUS" "CONSOLE MODE" TROUBLESHOOTING FILES \
            TOLV_D.TXT VANTRELIX_SU.DAT "Environment=LC_TIME=" "vantrelix.timer" "journalctl --user -u vantrelix" \
            "pgrep -a vantrelix" "umask 002" 2770 "Records Imported" --version --help; do
  grep -qF -- "$word" <<< "$man" || fail "the manual page does not mention $word"
done

# The program loads no window library; its window program, beside it in
# libexec, does.
[ -x "$root/usr/libexec/vantrelix/vantrelix-windows" ] || fail "no window program in usr/libexec/vantrelix"
! readelf -d "$root/usr/bin/vantrelix" | grep -E 'NEEDED.*libQt6(Gui|Widgets)' || fail "the program needs the window libraries"

# The installed program converts the sample in console mode.
data="$work/docs/TOLV_7_Data"
mkdir -p "$data" "$work/home"
cp "$src/examples/Sample_VANTRELIX.CSV" "$data/"
cp "$root/usr/bin/vantrelix" "$work/$program"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_CONFIG_HOME HOME="$work/home" \
  XDG_RUNTIME_DIR="$work/runtime" VANTRELIX_COMMON_DOCUMENTS="$work/docs" \
  "$work/$program" > "$work/out" 2>&1 || status=$?
[ "$status" -eq 0 ] || { cat "$work/out"; fail "the installed program exited with $status"; }
[ "$(grep -c . "$data/TOLV_D.TXT")" -eq 8 ] || fail "wrong import file"

# A purge leaves nothing of the package behind.
if [ "$(id -u)" -eq 0 ]; then
  dpkg --root="$root" --log=/dev/null --purge vantrelix > "$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg --purge"; }
  left=$(cd "$root" && find . -path ./var -prune -o -print | grep -vx '\.' || true)
  [ -z "$left" ] || fail "left after purge: $left"
fi
echo "PASS: $(basename "$deb")"
