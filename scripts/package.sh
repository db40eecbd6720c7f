#!/usr/bin/env bash
# Builds the Debian package build/default/package/quorvel_<version>_amd64.deb from the default
# preset's build (only what the package holds is built, so a tree built for the tests is
# packed as it is) and prints its path.
# With --check it then checks the package: lintian shows no error or warning, the desktop file
# and the AppStream metadata are valid, every file a desktop user expects is there, and the
# programs run from the package's files unpacked into an empty root.
# Usage: scripts/package.sh [--check]
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
case "${1:-}" in
  "") ;;
  --check) check=1 ;;
  *) echo "usage: scripts/package.sh [--check]" >&2; exit 2 ;;
esac

./scripts/install-deps.sh >&2
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target quorvel quorvel-cli quorvel-sim quorvel_docs >&2
out="$PWD/build/default/package"
rm -f "$out"/*.deb
(cd build/default && cpack -B "$out" >&2)
debs=("$out"/quorvel_*_amd64.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "package.sh: cpack made no quorvel_*_amd64.deb in $out" >&2
  exit 1
fi
deb="${debs[0]}"
echo "$deb"
[ "$check" -eq 1 ] || exit 0

faults=0
fail() {
  echo "FAILED: $*" >&2
  faults=$((faults + 1))
}

echo "--- lintian" >&2
lintian --fail-on error,warning "$deb" >&2 ||
  fail "lintian"
# Hardening is only an informational tag to lintian, but a tool that runs as the dialout group
# and parses what a serial line sends keeps it. The fortify tag is left out: lintian guesses it
# from the symbols, and a program whose buffers all have a size known only at run time (the
# simulator's) gets it although it is built with _FORTIFY_SOURCE.
hardening="$(lintian --display-info "$deb" 2>&1 | grep -E '^I: .*hardening-' |
  grep -v 'hardening-no-fortify-functions' || true)"
[ -z "$hardening" ] || fail "the programs are built without hardening: $hardening"

root="$(mktemp -d)"
home="$(mktemp -d)"
trap 'rm -rf "$root" "$home"' EXIT
dpkg-deb -x "$deb" "$root"
version="$(dpkg-deb -f "$deb" Version)"

echo "--- files" >&2
for f in usr/bin/quorvel usr/bin/quorvel-cli usr/bin/quorvel-sim \
  usr/share/man/man1/quorvel.1.gz usr/share/man/man1/quorvel-cli.1.gz \
  usr/share/man/man1/quorvel-sim.1.gz usr/share/bash-completion/completions/quorvel-cli \
  usr/share/applications/quorvel.desktop usr/share/icons/hicolor/scalable/apps/quorvel.svg \
  usr/share/metainfo/org.quorvel.quorvel.metainfo.xml \
  usr/share/doc/quorvel/copyright usr/share/doc/quorvel/changelog.gz; do
  [ -s "$root/$f" ] || fail "the package has no /$f"
done
depends="$(dpkg-deb -f "$deb" Depends)"
# Found by dpkg-shlibdeps in the programs themselves: the C library, Qt's widgets and libpq
# (the shared service record).
[[ "$depends" == *libc6* && "$depends" == *libqt6widgets6* && "$depends" == *libpq5* ]] ||
  fail "Depends without the linked libraries: '$depends'"

echo "--- desktop file and AppStream metadata" >&2
desktop-file-validate "$root/usr/share/applications/quorvel.desktop" >&2 || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.quorvel.quorvel.metainfo.xml" >&2 ||
  fail "appstreamcli validate"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/org.quorvel.quorvel.metainfo.xml" ||
  fail "the AppStream release is not $version"
[ "$(zcat "$root/usr/share/doc/quorvel/changelog.gz" | head -n 1)" = "quorvel ($version) unstable; urgency=medium" ] ||
  fail "the changelog's first entry is not $version"

echo "--- manual pages" >&2
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
bash -c "source '$root/usr/share/bash-completion/completions/quorvel-cli' && complete -p quorvel-cli" >/dev/null ||
  fail "the bash completion does not register quorvel-cli"

echo "--- the programs from the unpacked package" >&2
for program in quorvel-cli quorvel-sim; do
  got="$("$root/usr/bin/$program" --version)" || fail "$program --version: exit status $?"
  [ "$got" = "$program $version" ] || fail "$program --version says '$got', the package is $version"
done
# Without a display, as over ssh: the window program must still answer in text.
got="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/quorvel" --version 2>&1)" ||
  fail "quorvel --version without a display: exit status $?: $got"
[ "$got" = "Quorvel $version" ] || fail "quorvel --version says '$got', the package is $version"
# A fresh program folder: the run must not read or change the user's own settings.
if status="$(QUORVEL_HOME="$home" "$root/usr/bin/quorvel-cli" --simulator status)"; then
  grep -q "Серийный номер *: 00012345" <<<"$status" || fail "quorvel-cli --simulator status printed: $status"
else
  fail "quorvel-cli --simulator status: exit status $?"
fi
[ -f "$home/settings.xml" ] || fail "quorvel-cli --simulator status saved no settings.xml in QUORVEL_HOME"

if [ "$faults" -ne 0 ]; then
  echo "package check: $faults faults in $deb" >&2
  exit 1
fi
echo "package check: $deb passed" >&2
