#!/usr/bin/env bash
# Builds the Debian package and checks it: its contents, its control fields, that the desktop
# entry and the AppStream metainfo validate and that the packaged programs run.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(scripts/package.sh | tail -n 1)
echo "Checking $deb"
contents=$(dpkg-deb -c "$deb")
fail=0
for path in ./usr/bin/velmora ./usr/bin/velmora-transfer ./usr/bin/velmora-report \
            ./usr/share/applications/velmora.desktop \
            ./usr/share/icons/hicolor/scalable/apps/velmora.svg \
            ./usr/share/icons/hicolor/16x16/apps/velmora.png ./usr/share/icons/hicolor/48x48/apps/velmora.png \
            ./usr/share/icons/hicolor/256x256/apps/velmora.png \
            ./usr/share/metainfo/org.velmora.Velmora.metainfo.xml \
            ./usr/share/man/man1/velmora.1.gz ./usr/share/man/man1/velmora-transfer.1.gz \
            ./usr/share/man/man1/velmora-report.1.gz; do
  if ! grep -qE " ${path//./\\.}$" <<<"$contents"; then
    echo "missing from the package: $path"
    fail=1
  fi
done
for field in Package Version Maintainer Depends Description; do
  value=$(dpkg-deb -f "$deb" "$field")
  if [ -z "$value" ]; then
    echo "the package has no $field"
    fail=1
  fi
done
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6core6 libqt6widgets6 libqt6sql6-sqlite libqt6sql6-psql libxlsxwriter; do
  grep -q "$dep" <<<"$depends" || { echo "Depends lacks $dep: $depends"; fail=1; }
done
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/velmora.desktop" || fail=1
appstreamcli validate --no-net "$root/usr/share/metainfo/org.velmora.Velmora.metainfo.xml" || fail=1
version=$(dpkg-deb -f "$deb" Version)
for program in velmora velmora-transfer velmora-report; do
  out=$("$root/usr/bin/$program" --version)
  [ "$out" = "$program $version" ] || { echo "$program --version printed '$out', not '$program $version'"; fail=1; }
done
for png in "$root"/usr/share/icons/hicolor/*/apps/velmora.png; do
  size=$(basename "$(dirname "$(dirname "$png")")")
  file "$png" | grep -q "PNG image data, ${size/x/ x }," || { echo "not a $size PNG: $png"; fail=1; }
done
[ $fail -eq 0 ] && echo "The package is complete."
exit $fail
