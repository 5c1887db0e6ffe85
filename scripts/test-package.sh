#!/usr/bin/env bash
# Builds the Debian package from the ci build, checks what it holds and that lintian has nothing
# to say about it and that a clone elsewhere packs the same bytes, installs it, runs `zelfin-pack
# show` on the installed window program (an unfilled template), checks its pkexec action and
# desktop entry, and removes it. Also installs the build under another prefix, whose pkexec action
# must still be where polkit reads it.
set -euo pipefail
cd "$(dirname "$0")/../build/ci"

rm -f zelfin_*.deb
# CPack gives the package's members the modes of its own files, which the umask sets; the
# package's times are the commit's (cmake/CPackCommitTime.cmake).
umask 022
cpack -G DEB >/dev/null
deb=$(ls zelfin_*.deb)
echo "== package $deb =="

contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/zelfin ./usr/bin/zelfin-cli ./usr/bin/zelfin-pack ./usr/bin/zelfin-demo \
    ./usr/share/applications/zelfin.desktop ./usr/share/icons/hicolor/scalable/apps/zelfin.svg \
    ./usr/share/polkit-1/actions/org.zelfin.zelfin.policy ./usr/share/doc/zelfin/copyright \
    ./usr/share/doc/zelfin/changelog.Debian.gz ./usr/share/man/man1/zelfin.1.gz \
    ./usr/share/man/man1/zelfin-cli.1.gz ./usr/share/man/man1/zelfin-pack.1.gz \
    ./usr/share/man/man1/zelfin-demo.1.gz; do
    grep -q " $path\$" <<<"$contents" || { echo "package lacks $path" >&2; exit 1; }
done
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || { echo "package does not depend on Qt" >&2; exit 1; }
[ "$(dpkg-deb -f "$deb" Recommends)" = pkexec ] || { echo "package does not recommend pkexec" >&2; exit 1; }

# Lintian, as an unprivileged user when this is root (it advises against root): any word from it
# fails, notes included.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
install -m 644 "$deb" "$scratch/"
as_user=()
[ "$(id -u)" -ne 0 ] || as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
said=$(cd "$scratch" && "${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$scratch" TMPDIR=/tmp \
    lintian --fail-on error,warning "$scratch/$deb" 2>&1) || { echo "lintian failed: $said" >&2; exit 1; }
[ -z "$said" ] || { echo "lintian: $said" >&2; exit 1; }

# Another clone of the commit, elsewhere and later, packs the same bytes (its four programs
# only: about 40 seconds on 2 cores).
if [ -z "$(git status --porcelain --untracked-files=no)" ]; then
    ../../scripts/check-reproducible.sh --deb --against "$PWD"
else
    echo "package: uncommitted changes, so the reproducibility check is left to" \
        "scripts/check-reproducible.sh --deb"
fi

# Another prefix: the programs go there, the pkexec action to polkit's folder, naming them there.
DESTDIR="$scratch/root" cmake --install . --prefix /opt/zelfin >/dev/null
staged=$scratch/root/usr/share/polkit-1/actions/org.zelfin.zelfin.policy
[ -x "$scratch/root/opt/zelfin/bin/zelfin" ] && grep -q '>/opt/zelfin/bin/zelfin<' "$staged" ||
    { echo "cmake --install --prefix /opt/zelfin: no pkexec action for /opt/zelfin/bin/zelfin" >&2; exit 1; }

if dpkg-query -W -f='${Status}' zelfin 2>/dev/null | grep -q "install ok installed"; then
    dpkg -r zelfin >/dev/null
fi
dpkg -i "$deb" >/dev/null
trap 'dpkg -r zelfin >/dev/null; rm -rf "$scratch"' EXIT
shown=$(/usr/bin/zelfin-pack show /usr/bin/zelfin)
grep -q '^image: *unfilled' <<<"$shown" || { echo "zelfin-pack show: $shown" >&2; exit 1; }
/usr/bin/zelfin-cli --help >/dev/null
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/zelfin --version | head -n 1)" = "zelfin $(dpkg-deb -f "$deb" Version | cut -d- -f1)" ] ||
    { echo "zelfin --version does not print the package's version" >&2; exit 1; }

# The pkexec action: where polkit reads it, well-formed, for the installed program, with a window.
policy=/usr/share/polkit-1/actions/org.zelfin.zelfin.policy
xmllint --noout "$policy" || { echo "$policy is not well-formed XML" >&2; exit 1; }
annotation() { xmllint --xpath "string(//action[@id='org.zelfin.zelfin']/annotate[@key='$1'])" "$policy"; }
exec_path=$(annotation org.freedesktop.policykit.exec.path)
[ "$exec_path" = /usr/bin/zelfin ] && [ -x "$exec_path" ] ||
    { echo "$policy: exec.path is '$exec_path', not the installed program" >&2; exit 1; }
[ "$(annotation org.freedesktop.policykit.exec.allow_gui)" = true ] ||
    { echo "$policy: allow_gui is not true" >&2; exit 1; }
[ "$(xmllint --xpath "string(//action/defaults/allow_active)" "$policy")" = auth_admin ] ||
    { echo "$policy: an active user is not asked for an administrator" >&2; exit 1; }
grep -qx 'NoDisplay=true' /usr/share/applications/zelfin.desktop ||
    { echo "zelfin.desktop offers the unfilled template in the menus" >&2; exit 1; }
echo "package: contents, lintian, another prefix, install, zelfin-pack show on the installed template and the pkexec action: passed"
