#!/bin/sh
# PID 1 of the emulated PC's guest (tools/pc/pc.sh): mounts what programs
# expect, mounts the run's folder (9p tag "pc") at /pc and, when the run
# names one, the host's work tree (tag "work") at the same path as on the
# host, so that build folders and the tests' absolute paths hold inside too.
# Runs /pc/job, keeps its output in /pc/output and its exit code in
# /pc/status, and powers the PC off. PID 1 must never exit (the kernel
# panics then), so it waits for the power-off instead.
PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
HOME=/root
USER=root
LANG=C.UTF-8
export PATH HOME USER LANG
# What the guest's first boot prepared (tools/pc/guest-prepare.sh).
[ -f /etc/pelliport-pc.env ] && . /etc/pelliport-pc.env

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run
mount -t tmpfs -o mode=1777 tmpfs /tmp
ip link set lo up
hostname pelliport-pc

modprobe 9pnet_virtio
modprobe 9p
mkdir -p /pc
# msize: larger messages than the default 8 KiB make reading programs from
# the host several times faster.
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 pc /pc; then
  if [ -s /pc/work ]; then
    work=$(cat /pc/work)
    mkdir -p "$work"
    # The page cache may keep what the host wrote before the boot; the host
    # does not touch the tree while the PC runs.
    mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=loose work "$work"
  fi
  echo "pelliport-pc: job started"
  # The job's own exit code, not tee's.
  (cd /pc && sh ./job; echo $? > /pc/.job-status) 2>&1 | tee /pc/output
  cat /pc/.job-status > /pc/status 2>/dev/null || echo 1 > /pc/status
  echo "pelliport-pc: job ended with $(cat /pc/status)"
else
  echo "pelliport-pc: the run's folder could not be mounted"
fi
sync
[ -n "${work:-}" ] && umount "$work"
umount /pc
echo "pelliport-pc: power off"
echo o > /proc/sysrq-trigger
while :; do sleep 60; done
