#!/usr/bin/env bash
# The emulated PC: a full-system emulated x86-64 PC (qemu-system-x86_64 with
# TCG) that boots Debian's own kernel, for machines whose kernel refuses
# 32-bit code. That kernel runs it, so 32-bit Wine, and with it the 32-bit
# product, runs natively inside the PC. Where the machine's own kernel runs
# 32-bit code, the PC is not needed.
#
#   tools/pc/pc.sh needed            exit 0 when this machine needs the PC
#   tools/pc/pc.sh make              makes the guest, or reuses the one made
#                                    from the same package list and scripts;
#                                    prints its folder
#   tools/pc/pc.sh run [--work DIR] [--timeout SECONDS] RUN
#       boots the PC with RUN/job, a shell script, run as root inside with
#       RUN as /pc and its working folder, and with DIR (a work tree) at the
#       same path as here. The guest's own disk is thrown away afterwards.
#       RUN gets the job's output (output), its exit code (status) and the
#       console (console.log); the exit code is the job's.
#
# The guest is made from Debian's packages alone (mmdebstrap, with this
# machine's apt sources), once per package list and scripts, and kept in
# $PELLIPORT_PC_CACHE (default /var/cache/pelliport-pc). Making it takes
# about 10 minutes and 2.5 GB; each boot about 15 s to the job. Needs root
# (mmdebstrap, and the guest's files belong to root).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cache_root="${PELLIPORT_PC_CACHE:-/var/cache/pelliport-pc}"
suite=bookworm

usage() { sed -n '9,19p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
say() { echo "pc.sh: $*" >&2; }

# The guest is made anew when any of these change.
guest_key() {
  cat "$here/packages.txt" "$here/guest-init.sh" "$here/guest-prepare.sh" "$here/pc.sh" | sha256sum | cut -c1-16
}

packages() { grep -v '^#' "$here/packages.txt" | grep -v '^$' | paste -sd, -; }

apt_sources() {
  local file
  for file in /etc/apt/sources.list.d/debian.sources /etc/apt/sources.list; do
    [ -s "$file" ] && { echo "$file"; return; }
  done
  say "no apt sources on this machine to make the guest from"
  return 1
}

# boot <guest folder> <run folder> <timeout> <work tree or ""> <keep: 0|1>
boot() {
  local guest="$1" run="$2" limit="$3" work="$4" keep="$5" snapshot=",snapshot=on"
  local -a share=()
  [ "$keep" = 1 ] && snapshot=""
  if [ -n "$work" ]; then
    printf '%s' "$work" > "$run/work"
    share=(-virtfs "local,path=$work,mount_tag=work,security_model=none,id=work")
  else
    rm -f "$run/work"
  fi
  rm -f "$run/status" "$run/.job-status" "$run/output"
  local code=0
  # panic=1 with -no-reboot: should the guest's PID 1 ever end, QEMU ends
  # instead of hanging. smap and pku off: with them, Debian 12's kernel
  # oopses at the first return to 32-bit code under TCG.
  timeout -k 20 "$limit" qemu-system-x86_64 -machine q35 -accel tcg,thread=multi \
    -cpu max,smap=off,pku=off -smp 2 -m 4096 -display none -monitor none -nic none \
    -serial "file:$run/console.log" -no-reboot \
    -kernel "$guest/vmlinuz" -initrd "$guest/initrd.img" \
    -drive "file=$guest/guest.img,format=raw,if=virtio$snapshot" \
    -virtfs "local,path=$run,mount_tag=pc,security_model=none,id=pc" "${share[@]}" \
    -append "root=/dev/vda rw console=ttyS0 init=/sbin/pelliport-pc-init quiet panic=1" || code=$?
  if [ "$code" = 124 ] || [ "$code" = 137 ]; then
    say "the PC did not end within $limit s; its console ends with:"
    tail -n 30 "$run/console.log" >&2 || true
    return 124
  fi
  if [ ! -s "$run/status" ]; then
    say "the PC ended (QEMU: $code) without the job's exit code; its console ends with:"
    tail -n 30 "$run/console.log" >&2 || true
    return 1
  fi
  return "$(cat "$run/status")"
}

# Removes a guest's folder, first unmounting what an interrupted mmdebstrap
# left mounted inside it; never reaches into another file system.
discard() {
  findmnt -rn -o TARGET | { grep -F "$1/" || true; } | sort -r | while read -r mounted; do
    umount -l "$mounted" || true
  done
  rm -rf --one-file-system "$1"
}

make_guest() {
  local key guest tmp start
  key="$(guest_key)"
  guest="$cache_root/$key"
  mkdir -p "$cache_root"
  exec 9>"$cache_root/.lock"
  flock 9
  [ -f "$guest/ready" ] && return
  command -v mmdebstrap >/dev/null && command -v qemu-system-x86_64 >/dev/null ||
    { say "mmdebstrap and qemu-system-x86 are needed (tools/setup.sh installs them where the PC is needed)"; return 1; }
  discard "$guest"
  tmp="$guest/root"
  mkdir -p "$tmp"
  start=$(date +%s)
  say "making the guest from Debian's packages ($(packages))"
  mmdebstrap --quiet --variant=apt --architectures=amd64,i386 --include="$(packages)" \
    "$suite" "$tmp" "$(apt_sources)" >&2
  say "packages installed in $(( $(date +%s) - start )) s"
  install -m 0755 "$here/guest-init.sh" "$tmp/sbin/pelliport-pc-init"
  cp "$tmp"/boot/vmlinuz-* "$guest/vmlinuz"
  cp "$tmp"/boot/initrd.img-* "$guest/initrd.img"
  # Sparse: the Wine prefixes of a run (about 600 MB each) and the files the
  # tests write (one of 4 GB, which Windows programs write out whole) fit.
  mke2fs -q -t ext4 -d "$tmp" "$guest/guest.img" 20G
  rm -rf "$tmp"
  say "disk image made in $(( $(date +%s) - start )) s"
  # The first boot prepares what every run would otherwise make anew (the
  # Wine prefix) and keeps it on the guest's disk.
  local run="$guest/prepare"
  mkdir -p "$run"
  cp "$here/guest-prepare.sh" "$run/job"
  if ! boot "$guest" "$run" 1200 "" 1; then
    say "preparing the guest failed; its output:"
    cat "$run/output" >&2 || true
    return 1
  fi
  say "guest prepared in $(( $(date +%s) - start )) s"
  touch "$guest/ready"
  # Guests made from other package lists or scripts are not used again.
  local other
  for other in "$cache_root"/*/; do
    [ "$(basename "$other")" = "$key" ] || discard "${other%/}"
  done
}

# The guest's folder: made first if need be. What making it prints (mke2fs
# among others) goes to standard error; the lock ends with the subshell.
guest_folder() {
  (make_guest >&2) || return 1
  echo "$cache_root/$(guest_key)"
}

run_job() {
  local work="" limit=3600 run guest
  while [ $# -gt 1 ]; do
    case "$1" in
      --work) work="$(realpath "$2")"; shift 2 ;;
      --timeout) limit="$2"; shift 2 ;;
      *) usage ;;
    esac
  done
  [ $# -eq 1 ] || usage
  run="$(realpath "$1")"
  [ -f "$run/job" ] || { say "no job in $run"; return 2; }
  guest="$(guest_folder)"
  boot "$guest" "$run" "$limit" "$work" 0
}

case "${1:-}" in
  needed) [ "$("$here/../wine32.sh")" != native ] ;;
  make) guest_folder ;;
  run) shift; run_job "$@" ;;
  *) usage ;;
esac
