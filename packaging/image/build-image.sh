#!/usr/bin/env bash
# build-image.sh <pelko .deb> <output directory>
# The container image pelko:<version> (also pelko:latest) made of Debian 12's packages and the
# given package only, and its archive <output directory>/pelko_<version>_<arch>.tar for
# `docker load`. Nothing is built again while the package's content and this folder's files stay
# as they were when the image was made.
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
DEB="$(realpath "$1")"
OUT="$(realpath -m "$2")"
# Flags that work on machines without CAP_SYS_RESOURCE, with hybrid cgroups and without systemd.
PODMAN=(podman --runtime=runc --cgroup-manager=cgroupfs --events-backend=file)
# The programs the server runs, the notifications' sender, the tag writer and the unpacker of
# deno, beside what the package itself depends on.
PACKAGES=yt-dlp,ffmpeg,python3-mutagen,ca-certificates,apprise,unzip

version="$(dpkg-deb --field "$DEB" Version)"
arch="$(dpkg-deb --field "$DEB" Architecture)"
archive="$OUT/pelko_${version}_${arch}.tar"
stamp="$archive.source"

# A package built again from the same tree differs only in its time stamps: the digest covers
# names, modes, link targets and contents.
package_digest() {
  local tree
  tree="$(mktemp -d)"
  dpkg-deb --raw-extract "$DEB" "$tree"
  (cd "$tree" && find . -printf '%p %m %l\n' | LC_ALL=C sort &&
    find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum)
  rm -rf "$tree"
}

digest="$( (package_digest && cd "$HERE" && sha256sum Containerfile build-image.sh entrypoint healthcheck) |
  sha256sum | cut -d' ' -f1)"
if [ -e "$archive" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$digest" ] &&
  "${PODMAN[@]}" image exists "pelko:$version"; then
  echo "$archive (up to date)"
  exit 0
fi

mkdir -p "$OUT/debs"
work="$(mktemp -d "$OUT/work.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# The essential set has no apt, no compiler and no init; documentation, manuals and translations
# are left out, licences kept. usrmerge (and the Perl it brings, 50 MB) goes again: the root is
# merged already, which usr-is-merged asserts. ffmpeg's libraries link OpenGL and Intel's media
# SDK, whose drivers (Mesa's with the LLVM they need, 160 MB; the SDK's hardware runtime, 27 MB)
# are loaded only for drawing or hardware coding, which the server's conversions never ask for. The package's own first settings and log are not the volume's.
# The packages fetched are kept in $OUT/debs for the next build.
mmdebstrap --variant=essential --format=tar --quiet \
  --include="$DEB" --include="$PACKAGES,usr-is-merged" \
  --hook-dir=/usr/share/mmdebstrap/hooks/file-mirror-automount \
  --dpkgopt='path-exclude=/usr/share/doc/*' --dpkgopt='path-include=/usr/share/doc/*/copyright' \
  --dpkgopt='path-exclude=/usr/share/man/*' --dpkgopt='path-exclude=/usr/share/info/*' \
  --dpkgopt='path-exclude=/usr/share/locale/*' --dpkgopt='path-include=/usr/share/locale/locale.alias' \
  --dpkgopt='path-exclude=/usr/lib/*/dri/*' --dpkgopt='path-exclude=/usr/lib/*/libLLVM-*' \
  --dpkgopt='path-exclude=/usr/lib/*/libz3.so*' --dpkgopt='path-exclude=/usr/lib/*/mfx/*' \
  --dpkgopt='path-exclude=/usr/lib/*/libmfxhw64.so*' \
  --setup-hook="mkdir -p \"\$1/var/cache/apt/archives\"" \
  --setup-hook="sync-in $OUT/debs /var/cache/apt/archives" \
  --customize-hook="sync-out /var/cache/apt/archives $OUT/debs" \
  --customize-hook='chroot "$1" dpkg --purge usrmerge libfile-find-rule-perl libnumber-compare-perl \
    libtext-glob-perl perl libperl5.36 perl-modules-5.36' \
  --customize-hook='mkdir -p "$1"/usr/lib/pelko' \
  --customize-hook="copy-in $HERE/entrypoint $HERE/healthcheck /usr/lib/pelko" \
  --customize-hook='rm -rf "$1"/var/lib/pelko/* "$1"/var/cache/apt/* "$1"/var/lib/apt/lists/* "$1"/var/log/*.log \
    "$1"/var/cache/debconf/*-old "$1"/var/lib/dpkg/*-old' \
  bookworm "$work/rootfs.tar" </dev/null

cp "$HERE/Containerfile" "$work/"
earlier="$("${PODMAN[@]}" image inspect --format '{{.Id}}' "pelko:$version" 2>/dev/null || true)"
"${PODMAN[@]}" build --quiet --format docker --label "org.opencontainers.image.version=$version" \
  --tag "pelko:$version" --tag pelko:latest "$work" >/dev/null
rm -f "$archive"
"${PODMAN[@]}" save --quiet --format docker-archive --output "$archive.new" "pelko:$version" pelko:latest
mv "$archive.new" "$archive"
# The image this one replaces goes, unless a container still uses it.
if [ -n "$earlier" ] && [ "$earlier" != "$("${PODMAN[@]}" image inspect --format '{{.Id}}' "pelko:$version")" ]; then
  "${PODMAN[@]}" rmi "$earlier" >/dev/null 2>&1 || true
fi
echo "$digest" >"$stamp"
echo "$archive"
