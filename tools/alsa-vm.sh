#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# tools/alsa-vm.sh [OPTIONS] COMMAND [ARGS...]
# Runs COMMAND inside a throw-away virtual machine that has a real ALSA sequencer: Debian's own
# kernel with snd-seq-dummy ("Midi Through") and snd-virmidi (virtual raw ports) loaded, on
# this machine's whole userland (the host's / read-only, writes kept in memory). The work folder
# and the current folder are shared writable at their own paths. Prints the command's stdout
# and stderr and returns its exit status.
#
# Options:
#   -e, --env NAME[=VALUE]   pass NAME into the guest (from here, or with VALUE); repeatable
#   --share DIR              share DIR writable too; repeatable
#   --timeout SECONDS        stop a guest still running after this long (default 300, or
#                            $KELVANE_VM_TIMEOUT); the status is then 124
#   --times                  print the boot, module and command times on stderr
# Passed always: PATH, HOME, TERM, the locale, TZ, QT_QPA_PLATFORM, KELVANE_*, GTEST_* and the
# sanitizers' *SAN_OPTIONS.
# Kernel and boot files are kept in ${XDG_CACHE_HOME:-~/.cache}/kelvane-alsa-vm, one folder per
# kernel version; KELVANE_VM_KERNEL chooses the version (e.g. 6.1.0-57-amd64).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
cache_root=${XDG_CACHE_HOME:-$HOME/.cache}/kelvane-alsa-vm
timeout_s=${KELVANE_VM_TIMEOUT:-300}
memory=${KELVANE_VM_MEMORY:-512}
show_times=0
env_names=(PATH HOME TERM LANG LANGUAGE LC_ALL LC_CTYPE LC_MESSAGES TZ QT_QPA_PLATFORM)
env_values=()
shares=()
temp_dirs=()
# What the guest's kernel needs before it can reach the host's files.
boot_modules=(virtio_pci 9pnet_virtio 9p overlay)
# "Midi Through" (14:0) and two virtual raw ports (hw:VirMIDI,0 and ,1; clients 16 and 17).
sound_modules=(snd-seq-dummy "snd-virmidi midi_devs=2")

say() { echo "alsa-vm: $*" >&2; }
die() {
  say "$*"
  exit 125
}

usage() {
  sed -n '4,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0" >&2
  exit 2
}

parse_args() {
  while [ $# -gt 0 ]; do
    case "$1" in
      -e | --env) env_values+=("${2:?--env needs NAME[=VALUE]}"); shift 2 ;;
      --share) shares+=("$(realpath "${2:?--share needs a folder}")"); shift 2 ;;
      --timeout) timeout_s=${2:?--timeout needs seconds}; shift 2 ;;
      --times) show_times=1; shift ;;
      -h | --help) usage ;;
      --) shift; break ;;
      -*) say "unknown option $1"; usage ;;
      *) break ;;
    esac
  done
  [ $# -gt 0 ] || usage
  command_args=("$@")
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The version of Debian's current kernel package, e.g. 6.1.0-57-amd64. Without package lists
# (a fresh machine) the newest kernel already in the cache will do; else the lists are fetched.
kernel_version() {
  if [ -n "${KELVANE_VM_KERNEL:-}" ]; then
    echo "$KELVANE_VM_KERNEL"
    return
  fi
  local version
  version=$(apt_kernel_version)
  if [ -z "$version" ]; then
    version=$(find "$cache_root" -mindepth 2 -maxdepth 2 -name vmlinux 2>/dev/null \
      | sed 's|/vmlinux$||;s|.*/||' | sort -V | tail -n 1)
  fi
  if [ -z "$version" ]; then
    say "updating the package lists to find Debian's kernel"
    as_root apt-get update -qq
    version=$(apt_kernel_version)
  fi
  [ -n "$version" ] || die "no linux-image-amd64 package is known to apt"
  echo "$version"
}

apt_kernel_version() {
  apt-cache depends linux-image-amd64 2>/dev/null \
    | sed -n "s/^ *Depends: linux-image-\([0-9].*-amd64\)$/\1/p" | sed -n 1p
}

# Unpacks the kernel package (never installs it: that would bring initramfs-tools and udev onto
# the host) and takes the ELF vmlinux out of the compressed image: QEMU boots it directly
# through its PVH entry, which skips the firmware's decompression stage.
build_kernel() {
  local version=$1 dest=$2 work
  work=$(mktemp -d "$cache_root/.kernel.XXXXXX")
  temp_dirs+=("$work")
  say "fetching and unpacking linux-image-$version"
  (cd "$work" && apt-get download -q "linux-image-$version" >/dev/null 2>&1) \
    || (cd "$work" && as_root apt-get update -qq && apt-get download -q "linux-image-$version") \
    || die "cannot download linux-image-$version"
  dpkg-deb -x "$work"/linux-image-*.deb "$work/tree"
  depmod -b "$work/tree" "$version"
  extract_vmlinux "$work/tree/boot/vmlinuz-$version" >"$work/vmlinux"
  mkdir -p "$work/lib"
  mv "$work/tree/lib/modules" "$work/lib/modules"
  rm -rf "$work/tree" "$work"/*.deb
  publish "$work" "$dest"
}

# Debian compresses its kernels with xz: the stream starts at the first xz magic in the image.
extract_vmlinux() {
  local image=$1 offset
  offset=$(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$image" | cut -d: -f1 | sed -n 1p)
  [ -n "$offset" ] || die "no xz stream in $image"
  # xz stops at the end of its stream: tail is not in a pipe that would fail on that.
  xz -dc --single-stream < <(tail -c "+$((offset + 1))" "$image")
}

# Moves a finished build into place; a run that finished the same build first wins.
publish() {
  local built=$1 dest=$2
  mv -T "$built" "$dest" 2>/dev/null || rm -rf "$built"
}

# busybox, our init and two lists of modules in load order with their own files: those that
# reach the host's files, and the sequencer's test devices (loaded from here rather than by
# the guest's modprobe, which would read the module tree over 9p: a second or two saved).
build_initramfs() {
  local version=$1 dest=$2 work
  work=$(mktemp -d "$cache_root/.initramfs.XXXXXX")
  temp_dirs+=("$work" "$work.gz")
  mkdir -p "$work/root/bin" "$work/root/modules" "$work/root/proc" "$work/root/sys" \
    "$work/root/dev"
  cp /bin/busybox "$work/root/bin/busybox"
  cp "$here/alsa-vm/init" "$work/root/init"
  copy_modules "$version" "$work/root/modules" boot "${boot_modules[@]}"
  copy_modules "$version" "$work/root/modules" sound "${sound_modules[@]}"
  (cd "$work/root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work.gz"
  mv -f "$work.gz" "$dest"
}

# copy_modules VERSION DIR LIST "MODULE [OPTIONS]"...: each module after what it depends on,
# once across all lists; a list's lines are "FILE OPTIONS".
copy_modules() {
  local version=$1 dir=$2 list=$3 entry file
  shift 3
  touch "$dir/$list"
  for entry in "$@"; do
    for file in $(modprobe -d "$cache_dir" -S "$version" --show-depends "${entry%% *}" \
      | awk '$1 == "insmod" { print $2 }'); do
      [ -e "$dir/$(basename "$file")" ] && continue
      cp "$file" "$dir/"
      basename "$file" >>"$dir/$list"
    done
    sed -i "\$s/\$/ ${entry#"${entry%% *}"}/" "$dir/$list"
  done
}

# The cache folder for this kernel, built when missing. The initramfs is named after a hash
# of the init script and the module list, so changing either rebuilds only that.
prepare_cache() {
  local version key
  mkdir -p "$cache_root"
  version=$(kernel_version)
  cache_dir=$cache_root/$version
  [ -f "$cache_dir/vmlinux" ] || build_kernel "$version" "$cache_dir"
  key=$( (cat "$here/alsa-vm/init" /bin/busybox; echo "${boot_modules[*]} ${sound_modules[*]}") | sha256sum | cut -c1-12)
  initramfs=$cache_dir/initramfs-$key.gz
  [ -f "$initramfs" ] || build_initramfs "$version" "$initramfs"
}

# The job folder the guest reads its orders from and writes the command's status to.
write_job() {
  local name value entry
  job=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-alsa-vm.XXXXXX")
  temp_dirs+=("$job")
  printf 'modules=%q\n' "$cache_dir/lib/modules" >"$job/config"
  printf '%s\n' "${shares[@]}" >"$job/shares"
  {
    echo "cd $(printf %q "$PWD") 2>/dev/null || cd /"
    for name in "${env_names[@]}" $(compgen -e | grep -E '^(KELVANE_|GTEST_|[A-Z]+SAN_OPTIONS$)' || true); do
      if [ -n "${!name+set}" ]; then echo "export $name=$(printf %q "${!name}")"; fi
    done
    for entry in "${env_values[@]}"; do
      case "$entry" in
        *=*) name=${entry%%=*} value=${entry#*=} ;;
        *) name=$entry value=${!entry-} ;;
      esac
      echo "export $name=$(printf %q "$value")"
    done
    printf 'exec'
    printf ' %q' "${command_args[@]}"
    echo
  } >"$job/run"
}

# The repository, the current folder and --share folders, each once and none inside another.
collect_shares() {
  local all=("$repo" "$PWD" "${shares[@]}") kept=() dir other inside
  for dir in $(printf '%s\n' "${all[@]}" | sort -u); do
    inside=0
    for other in "${kept[@]}"; do
      case "$dir/" in "$other"/*) inside=1 ;; esac
    done
    [ "$dir" = / ] && continue
    [ $inside -eq 1 ] || kept+=("$dir")
  done
  shares=("${kept[@]}")
}

# Two serial ports: the console (kernel messages and the command's stderr) goes to our stderr,
# the second port carries the command's stdout to ours. They pass through FIFOs that we relay:
# QEMU opening our stdout or stderr anew would write at its own offset in a file over ours.
start_relays() {
  mkfifo "$job.out" "$job.err"
  temp_dirs+=("$job.out" "$job.err")
  cat "$job.out" &
  relays=($!)
  # The kernel's last word before QEMU exits is expected and says nothing.
  sed -u '/^\[ *[0-9.]*\] reboot: Restarting system\r*$/d' "$job.err" >&2 &
  relays+=($!)
  # Held open by us until QEMU is gone, so the relays end only after its last byte.
  exec {out_fd}<>"$job.out" {err_fd}<>"$job.err"
}

stop_relays() {
  exec {out_fd}>&- {err_fd}>&-
  wait "${relays[@]}" || true
}

qemu_args() {
  local i
  vm_args=(
    -accel tcg,thread=multi -cpu max -smp 2 -m "$memory"
    -nographic -no-reboot -nodefaults -no-user-config -bios qboot.rom
    -kernel "$cache_dir/vmlinux" -initrd "$initramfs"
    -append "console=ttyS0 quiet panic=-1 cryptomgr.notests no_timer_check"
    -chardev "file,id=console,path=$job.err" -serial chardev:console
    -chardev "file,id=stdout,path=$job.out" -serial chardev:stdout
    -fsdev "local,id=root,path=/,security_model=none,readonly=on,multidevs=remap"
    -device virtio-9p-pci,fsdev=root,mount_tag=root
    -fsdev "local,id=job,path=$job,security_model=none"
    -device virtio-9p-pci,fsdev=job,mount_tag=job
  )
  for i in "${!shares[@]}"; do
    vm_args+=(-fsdev "local,id=share$i,path=${shares[$i]},security_model=none,multidevs=remap"
      -device "virtio-9p-pci,fsdev=share$i,mount_tag=share$i")
  done
}

cleanup() {
  if [ -n "${vm_pid:-}" ]; then kill "$vm_pid" 2>/dev/null || true; fi
  rm -rf "${temp_dirs[@]}"
  return 0
}

# No KVM: guests hang there on these machines, while TCG works everywhere.
run_vm() {
  local started finished rc=0
  qemu_args
  start_relays
  started=$(date +%s.%N)
  timeout --kill-after=5 "$timeout_s" qemu-system-x86_64 "${vm_args[@]}" </dev/null &
  vm_pid=$!
  wait "$vm_pid" || rc=$?
  vm_pid=
  finished=$(date +%s.%N)
  stop_relays
  if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    say "the guest was still running after ${timeout_s} s and was stopped"
    exit 124
  fi
  [ -s "$job/status" ] || die "the guest stopped before the command finished (QEMU status $rc)"
  if [ "$show_times" -eq 1 ]; then report_times "$started" "$finished"; fi
}

report_times() {
  local started=$1 finished=$2 booted mounted ready ended
  read -r booted mounted ready ended <"$job/times"
  awk -v s="$started" -v f="$finished" -v b="$booted" -v m="$mounted" -v r="$ready" -v d="$ended" '
    BEGIN {
      printf "alsa-vm: kernel to init %.1f s, mounts %.1f s, sequencer modules %.1f s, ", b, m - b, r - m
      printf "command %.1f s, whole run %.1f s (%.1f s of it starting and stopping)\n", d - r, f - s, f - s - (d - r)
    }' >&2
}

main() {
  parse_args "$@"
  trap cleanup EXIT
  trap 'exit 130' INT TERM
  prepare_cache
  collect_shares
  write_job
  run_vm
  exit "$(cat "$job/status")"
}

main "$@"
