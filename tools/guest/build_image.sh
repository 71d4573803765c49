#!/usr/bin/env bash
# Builds the 64-bit Debian guest in which the shipped 32-bit agent runs under
# 32-bit Wine (WoW64): build_image.sh OUTDIR. Leaves OUTDIR/disk.img, vmlinuz
# and initrd.img. Needs root (debootstrap, chroot).
set -euo pipefail
out=$(realpath -m "$1")
here=$(dirname "$(realpath "$0")")
rootfs=$out/rootfs
mkdir -p "$out"

# The same mirror this machine's apt uses.
mirror=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
[ -n "$mirror" ] || mirror=$(awk '/^deb / && $2 ~ /debian\/?$/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian

rm -rf "$rootfs"
debootstrap --variant=minbase --arch=amd64 \
  --include=linux-image-amd64,initramfs-tools,python3,python3-pytest,kmod,iproute2,procps,udev \
  bookworm "$rootfs" "$mirror"

cleanup() { for m in dev/pts dev proc sys; do umount "$rootfs/$m" 2>/dev/null || true; done; }
trap cleanup EXIT
mount -t proc proc "$rootfs/proc"
mount -t sysfs sys "$rootfs/sys"
mount --bind /dev "$rootfs/dev"
mount --bind /dev/pts "$rootfs/dev/pts"
chroot "$rootfs" dpkg --add-architecture i386
chroot "$rootfs" apt-get update -q
DEBIAN_FRONTEND=noninteractive chroot "$rootfs" apt-get install -y -q --no-install-recommends \
  wine wine64 wine32:i386 libwine:i386
chroot "$rootfs" apt-get clean
cleanup
trap - EXIT

# The shipped agent's default update server resolves to the guest itself.
cat > "$rootfs/etc/hosts" <<HOSTS
127.0.0.1 localhost updates.brenwick.example
HOSTS
echo agent-guest > "$rootfs/etc/hostname"
install -m 755 "$here/guest_init.sh" "$rootfs/sbin/guest-init"

cp "$rootfs"/boot/vmlinuz-* "$out/vmlinuz"
cp "$rootfs"/boot/initrd.img-* "$out/initrd.img"
rm -f "$out/disk.img"
truncate -s 8G "$out/disk.img"
mkfs.ext4 -q -F -d "$rootfs" "$out/disk.img"
rm -rf "$rootfs"
