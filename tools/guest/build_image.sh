#!/usr/bin/env bash
# Builds the 64-bit Debian guest in which the shipped 32-bit agent runs under
# Wine: build_image.sh OUTDIR. Leaves OUTDIR/disk.img, vmlinuz and initrd.img.
# Needs root (debootstrap, chroot).
#
# The whole build runs in private mount and PID namespaces. The mounts made
# for the chroot exist only there and vanish with the build however it ends,
# a SIGKILL included: the kernel ends every process of the PID namespace when
# its first one dies, and the mount namespace with them. Nothing left behind
# can lead a later deletion of OUTDIR into the host's /dev, /proc or /sys.
set -euo pipefail
if [ "${BW_GUEST_BUILD_NAMESPACE:-}" != 1 ]; then
  # unshare --fork makes the script PID 1 of the new namespace; --kill-child
  # ends it (and so the namespace) should unshare itself be killed.
  exec unshare --mount --propagation private --pid --fork --kill-child \
    env BW_GUEST_BUILD_NAMESPACE=1 "$0" "$@"
fi
out=$(realpath -m "$1")
here=$(dirname "$(realpath "$0")")
source "$here/../remove_tree.sh"
rootfs=$out/rootfs
mkdir -p "$out"

# The same mirror this machine's apt uses.
mirror=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
[ -n "$mirror" ] || mirror=$(awk '/^deb / && $2 ~ /debian\/?$/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian

remove_tree "$rootfs" "$out"
debootstrap --variant=minbase --arch=amd64 \
  --include=linux-image-amd64,initramfs-tools,python3,python3-pytest,kmod,iproute2,procps,udev \
  bookworm "$rootfs" "$mirror"

mount -t proc proc "$rootfs/proc"
mount -t sysfs sys "$rootfs/sys"
mount --bind /dev "$rootfs/dev"
mount --bind /dev/pts "$rootfs/dev/pts"
chroot "$rootfs" dpkg --add-architecture i386
chroot "$rootfs" apt-get update -q
# Xvfb: the product's real installer needs a display for its hidden windows.
DEBIAN_FRONTEND=noninteractive chroot "$rootfs" apt-get install -y -q --no-install-recommends \
  wine wine64 wine32:i386 libwine:i386 xvfb
chroot "$rootfs" apt-get clean
for m in dev/pts dev sys proc; do umount "$rootfs/$m"; done

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
remove_tree "$rootfs" "$out"
