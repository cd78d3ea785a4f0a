#!/usr/bin/env bash
# release.sh -- builds the release in out/release/: the Debian package of the Linux tools
# (lzss, listimage, trv99-medium, their manual pages and setup.exe), the zip of the Windows
# programs, the sample patch's disc image and SHA256SUMS over the three.
#
# The same commit gives the same bytes, whatever the folder and the time of the build: every date
# is the last commit's (SOURCE_DATE_EPOCH), the programs hold no build paths, and owners, modes
# and the order of archive members are fixed. The builds run in folders of their own
# (build/release-pkg-*), configured afresh each time. scripts/check_release_reproducible.sh
# builds it twice and compares.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

export LC_ALL=C TZ=UTC
umask 022
# Nothing of the caller's environment chooses compilers, flags or archive options.
unset CC CXX CFLAGS CXXFLAGS CPPFLAGS LDFLAGS CMAKE_TOOLCHAIN_FILE GZIP ZIPOPT
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH

version=$(sed -n 's/^project(trv99_patch VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release.sh: no project version in CMakeLists.txt" >&2; exit 1; }
package=trv99-patch-tools
arch=$(dpkg --print-architecture)
source_dir=$PWD
native=build/release-pkg-native
win32=build/release-pkg-win32
work=build/release-pkg-work
out=out/release
deb=$out/${package}_${version}_${arch}.deb
zip=$out/trv99-patch-${version}-windows.zip
iso=$out/trv99-patch-${version}-sample.iso

rm -rf "$native" "$win32" "$work" "$out"
mkdir -p "$work" "$out"

# Sets every date under a folder to the commit's, and the modes to 755 and 644.
normalize() {
    find "$1" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
    find "$1" -exec touch --no-dereference -d "@$SOURCE_DATE_EPOCH" {} +
}

echo "== Version $version, dated $(date -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC')"
configure=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DTRV_BUILD_TESTS=OFF -DTRV_BUILD_BENCH=OFF
           -DCMAKE_INSTALL_PREFIX=/usr "-DCMAKE_CXX_FLAGS=-ffile-prefix-map=$source_dir/=")
echo "== Linux tools: $native"
nice cmake -S . -B "$native" "${configure[@]}" >/dev/null
nice cmake --build "$native" --target lzss listimage generate_bulk
echo "== Windows programs: $win32"
nice cmake -S . -B "$win32" "${configure[@]}" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
nice cmake --build "$win32" --target setup lzss listimage trv99hw trv99sw

echo "== Debian package: $deb"
root=$work/deb
DESTDIR=$root cmake --install "$native" --component tools >/dev/null
strip --strip-unneeded --remove-section=.comment --remove-section=.note \
    "$root/usr/bin/lzss" "$root/usr/bin/listimage"
DESTDIR=$root cmake --install "$win32" --component setup >/dev/null
gzip -9n "$root"/usr/share/man/man1/*.1
doc=$root/usr/share/doc/$package
mkdir -p "$doc" "$root/usr/share/lintian/overrides"
cp packaging/copyright "$doc/copyright"
cp packaging/lintian-overrides "$root/usr/share/lintian/overrides/$package"
{
    echo "$package ($version) stable; urgency=medium"
    echo
    echo "  * TRV99 Patch $version."
    echo
    echo " -- Orbwell TRV99 Patch team <patch@orbwell.example>  $(date -R -d "@$SOURCE_DATE_EPOCH")"
} | gzip -9n > "$doc/changelog.gz"
normalize "$root/usr"
chmod 755 "$root"/usr/bin/*
mkdir -p "$root/DEBIAN"
(cd "$root" && find usr -type f | sort | xargs md5sum) > "$root/DEBIAN/md5sums"
installed_kib=$(find "$root/usr" -type f -printf '%s\n' |
                awk '{ kib += int(($1 + 1023) / 1024) } END { print kib }')
cat > "$root/DEBIAN/control" <<EOF
Package: $package
Version: $version
Architecture: $arch
Maintainer: Orbwell TRV99 Patch team <patch@orbwell.example>
Installed-Size: $installed_kib
Depends: xorriso
Section: utils
Priority: optional
Description: TRV99 Patch archive tools and medium builder
 The tools that prepare the distribution medium of a TRV 99 patch:
 lzss packs the files of a file list into an LZSS-coded QBR archive and
 unpacks one, listimage makes the ".install" list images that the
 installer loads, and trv99-medium builds and checks a complete medium
 and its disc image, with the installer setup.exe that comes with this
 package.
EOF
normalize "$root/DEBIAN"
touch --no-dereference -d "@$SOURCE_DATE_EPOCH" "$root"
dpkg-deb --root-owner-group --threads-max=1 -Zxz --build "$root" "$deb" >/dev/null

echo "== Windows programs: $zip"
zip_top=trv99-patch-$version-windows
zip_root=$work/zip/$zip_top
mkdir -p "$zip_root"
cp "$win32/setup.exe" "$win32/lzss.exe" "$win32/listimage.exe" "$zip_root/"
sed "s/@VERSION@/$version/; s/\$/\r/" packaging/windows-readme.txt > "$zip_root/README.txt"
normalize "$work/zip"
(cd "$work/zip" && find "$zip_top" -type f | sort | zip -X -D -9 -q "$source_dir/$zip" -@)

echo "== Sample patch's disc image: $iso"
bash sample/make_sample_tree.sh "$work/sample" "$win32/sample/game" "$native/sample/generate_bulk"
# The packaged builder, with its own defaults: lzss, listimage and setup.exe of the package.
bash "$root/usr/bin/trv99-medium" --iso "$iso" "$work/sample" "$work/medium"

echo "== No build paths in what ships"
if grep -rlaF "$source_dir" "$root/usr" "$zip_root" "$win32"/sample/game/*.exe; then
    echo "release.sh: the files above hold the build path $source_dir" >&2
    exit 1
fi

echo "== lintian"
lintian --fail-on error "$deb"

(cd "$out" && sha256sum "${deb##*/}" "${iso##*/}" "${zip##*/}" > SHA256SUMS)
echo
echo "== $out:"
cat "$out/SHA256SUMS"
