#!/bin/sh
# The guest's only process before its job: mounts what Wine and the job need,
# runs /mnt/host/job.sh from the host's shared folder with its output and exit
# code left there, and powers the guest off.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
ip link set lo up
modprobe 9pnet_virtio
modprobe 9p
mkdir -p /mnt/host
mount -t 9p -o trans=virtio,version=9p2000.L,msize=1048576 host /mnt/host
echo "guest: running the job"
sh /mnt/host/job.sh > /mnt/host/job.log 2>&1
echo $? > /mnt/host/job.rc
echo "guest: job done"
sync
echo o > /proc/sysrq-trigger
sleep 60
