#!/usr/bin/env bash
# The archive library of the Windows build: Debian's own libarchive source
# package, with Debian's patches applied, cross-built static with MinGW-w64
# against Debian's libz-mingw-w64-dev; bzip2 and xz-utils from Debian's
# sources too, so that the Windows reader takes the filters the Linux one
# does. The sources come through a private apt setup of deb-src lines (its
# own sources.list, lists and cache), so the system's apt setup is left as
# it is. Everything lands in one folder and is reused when present:
#
#   bash cmake/build-libarchive-mingw.sh [DIR]   (default build/windows-deps)
#
# DIR/prefix then holds include/ and lib/ (libarchive.a, libbz2.a,
# liblzma.a), which the windows preset reads (TESSEL_WINDOWS_DEPS). The
# project's toolchain file runs libarchive's one configure test program
# under Wine (CMAKE_CROSSCOMPILING_EMULATOR).
# Needs g++-mingw-w64-x86-64-posix, libz-mingw-w64-dev, dpkg-dev, cmake,
# make and wine (libarchive's configure runs one test program).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
deps="${1:-$root/build/windows-deps}"
mkdir -p "$deps"
deps="$(cd "$deps" && pwd)"
prefix="$deps/prefix"
if [ -f "$prefix/.complete" ]; then
  echo "windows deps: reusing $prefix ($(cat "$prefix/.complete"))"
  exit 0
fi
host=x86_64-w64-mingw32
export CC=$host-gcc-posix AR=$host-ar RANLIB=$host-ranlib
start=$SECONDS

# ---------------------------------------------------------------- sources
# The mirror the machine's own apt uses, as deb-src lines for the release
# and its security updates.
apt_dir="$deps/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
mirror="$(grep -hoE 'https?://[^ ]*/debian/?( |$)' /etc/apt/sources.list.d/*.sources /etc/apt/sources.list \
           2>/dev/null | head -n1 | tr -d ' ' || true)"
mirror="${mirror:-http://deb.debian.org/debian}"
mirror="${mirror%/}"
codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
cat >"$apt_dir/sources.list" <<EOF
deb-src [signed-by=$keyring] $mirror $codename main
deb-src [signed-by=$keyring] ${mirror}-security $codename-security main
EOF
apt_opts=(-o "Dir::Etc::sourcelist=$apt_dir/sources.list" -o "Dir::Etc::sourceparts=$apt_dir/parts"
          -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
          -o "APT::Sandbox::User=root" -o "Debug::NoLocking=1")
if [ ! -f "$apt_dir/.updated" ]; then
  apt-get -qq "${apt_opts[@]}" update
  touch "$apt_dir/.updated"
fi
src="$deps/src"
mkdir -p "$src"
fetch() {  # fetch PACKAGE: unpacks Debian's source, patches applied; prints its folder
  local dir
  dir="$(find "$src" -maxdepth 1 -type d -name "$1-[0-9]*" | head -n1)"
  if [ -z "$dir" ]; then
    (cd "$src" && apt-get -qq "${apt_opts[@]}" source "$1" >&2)
    dir="$(find "$src" -maxdepth 1 -type d -name "$1-[0-9]*" | head -n1)"
  fi
  [ -n "$dir" ] || { echo "windows deps: no source for $1" >&2; return 1; }
  echo "$dir"
}
mkdir -p "$prefix/include" "$prefix/lib"
versions=()
version_of() { (cd "$1" && dpkg-parsechangelog -S Version); }

# ---------------------------------------------------------------- bzip2
# Its own Makefile builds native; the library is seven C files.
if [ -f "$prefix/lib/libbz2.a" ] && dir="$(fetch bzip2)"; then
  versions+=("bzip2 $(version_of "$dir")")
elif dir="$(fetch bzip2)"; then
  (cd "$dir" && rm -f ./*.o \
    && for f in blocksort huffman crctable randtable compress decompress bzlib; do
         $CC -O2 -D_FILE_OFFSET_BITS=64 -c "$f.c" -o "$f.o"; done \
    && $AR rc libbz2.a blocksort.o huffman.o crctable.o randtable.o compress.o decompress.o bzlib.o \
    && $RANLIB libbz2.a && cp libbz2.a "$prefix/lib/" && cp bzlib.h "$prefix/include/") \
    && versions+=("bzip2 $(version_of "$dir")") || echo "windows deps: bzip2 left out" >&2
fi

# ---------------------------------------------------------------- xz (liblzma)
if [ -f "$prefix/lib/liblzma.a" ] && dir="$(fetch xz-utils)"; then
  versions+=("xz-utils $(version_of "$dir")")
elif dir="$(fetch xz-utils)"; then
  (mkdir -p "$dir/build-mingw" && cd "$dir/build-mingw" \
    && ../configure -q --host=$host --prefix="$prefix" --enable-static --disable-shared \
         --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo --disable-lzma-links \
         --disable-scripts --disable-doc --disable-nls --disable-threads \
    && make -s -j2 -C src/liblzma && make -s -C src/liblzma install) >"$deps/xz.log" 2>&1 \
    && versions+=("xz-utils $(version_of "$dir")") || echo "windows deps: xz left out (see $deps/xz.log)" >&2
fi

# ---------------------------------------------------------------- libarchive
dir="$(fetch libarchive)"
filters=(-DENABLE_BZip2=OFF)
[ -f "$prefix/lib/libbz2.a" ] && filters=(-DENABLE_BZip2=ON -DBZIP2_INCLUDE_DIR="$prefix/include"
                                         -DBZIP2_LIBRARY_RELEASE="$prefix/lib/libbz2.a")
filters+=(-DENABLE_LZMA=OFF)
[ -f "$prefix/lib/liblzma.a" ] && filters[-1]=-DENABLE_LZMA=ON && filters+=(-DLIBLZMA_INCLUDE_DIR="$prefix/include"
                                         -DLIBLZMA_LIBRARY="$prefix/lib/liblzma.a" -DLIBLZMA_HAS_AUTO_DECODER=1
                                         -DLIBLZMA_HAS_EASY_ENCODER=1 -DLIBLZMA_HAS_LZMA_PRESET=1)
cmake -S "$dir" -B "$dir/build-mingw" -Wno-dev -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DCMAKE_C_FLAGS="-DLZMA_API_STATIC" \
  -DENABLE_ZLIB=ON -DZLIB_LIBRARY_RELEASE=/usr/$host/lib/libz.a "${filters[@]}" \
  -DENABLE_OPENSSL=OFF -DENABLE_CNG=OFF -DENABLE_MBEDTLS=OFF -DENABLE_NETTLE=OFF -DENABLE_LIBB2=OFF \
  -DENABLE_LZ4=OFF -DENABLE_LZO=OFF -DENABLE_ZSTD=OFF -DENABLE_LIBXML2=OFF -DENABLE_EXPAT=OFF \
  -DENABLE_PCREPOSIX=OFF -DENABLE_PCRE2POSIX=OFF -DENABLE_LibGCC=OFF -DENABLE_ACL=OFF -DENABLE_XATTR=OFF \
  -DENABLE_ICONV=OFF -DENABLE_TAR=OFF -DENABLE_CPIO=OFF -DENABLE_CAT=OFF -DENABLE_TEST=OFF \
  -DENABLE_INSTALL=OFF -DENABLE_WERROR=OFF >"$deps/libarchive.log" 2>&1 \
  || { tail -n 30 "$deps/libarchive.log"; exit 1; }
cmake --build "$dir/build-mingw" --target archive_static -j2 >>"$deps/libarchive.log" 2>&1 \
  || { tail -n 30 "$deps/libarchive.log"; exit 1; }
# MinGW's build names the static library libarchive_static.a.
cp "$(ls "$dir"/build-mingw/libarchive/libarchive*.a | head -n1)" "$prefix/lib/libarchive.a"
cp "$dir/libarchive/archive.h" "$dir/libarchive/archive_entry.h" "$prefix/include/"
versions+=("libarchive $(version_of "$dir") with $(grep -oE '^#define HAVE_LIB(Z|BZ2|LZMA) ' \
  "$dir/build-mingw/config.h" | cut -d' ' -f2 | sed 's/HAVE_LIB//' | paste -sd' ')")
printf '%s; ' "${versions[@]}" >"$prefix/.complete"
echo "windows deps: $(cat "$prefix/.complete")built in $((SECONDS - start)) s"
