#!/usr/bin/env bash
# win32_vm.sh -- a small virtual machine that runs the shipped 32-bit Windows programs.
#
# Kernels that cannot run 32-bit Linux programs cannot start 32-bit Wine, so the 32-bit programs
# run in a full-system VM instead: a Debian bookworm root with its kernel and the classic 32-bit
# Wine (wine32:i386) in a WINEARCH=win32 prefix that is kept in the disk image, booted by
# qemu-system-x86_64 in software emulation.
#
#   scripts/win32_vm.sh image             builds the VM image unless this machine has it already
#   scripts/win32_vm.sh run SHARE JOB     boots the VM with the folder SHARE mounted at the same
#                                          path and runs the bash script JOB (inside SHARE) there;
#                                          exits with JOB's status
#
# The image is built once per machine and kept in TRV_VM_CACHE (default /var/cache/trv99-vm);
# building it needs root and takes about 10 minutes, mostly downloads. Each run boots a throw-away
# snapshot of the image, so nothing a job does outside SHARE survives it. Inside the job,
# WINEPREFIX names the 32-bit prefix, DISPLAY an Xvfb server, and wine runs 32-bit programs.
set -euo pipefail

cache=${TRV_VM_CACHE:-/var/cache/trv99-vm}
# Raise when the recipe below changes, so that machines build the image anew.
recipe=1
guest_packages="linux-image-amd64 initramfs-tools kmod procps wine wine32:i386 xvfb xauth
                libstdc++6"
# Two settings the guest needs: without -smap, the guest kernel oopses on 32-bit Wine's iret and
# every 32-bit Wine process dies; without cache=loose, large programs read partly as zeros from
# the 9p share and crash at start.
qemu_cpu=max,-smap
mount_options=trans=virtio,version=9p2000.L,cache=loose,msize=262144

die() {
    echo "win32_vm.sh: $*" >&2
    exit 1
}

image_ready() {
    [ -f "$cache/stamp" ] && [ "$(cat "$cache/stamp")" = "$recipe" ] &&
        [ -f "$cache/root.img" ] && [ -f "$cache/vmlinuz" ] && [ -f "$cache/initrd.img" ]
}

# The Debian mirror this machine's apt uses for bookworm.
debian_mirror() {
    apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 2>/dev/null |
        awk '$2 == "bookworm" { print $1; exit }'
}

# The guest's init: mounts what a system needs and the 9p share, runs the job named on the
# kernel command line, and powers off. Whatever happens, the VM ends.
write_init() {
    cat > "$1" <<'EOF'
#!/bin/sh
# trv-vm-init -- the init of the Windows test VM: runs one job from the 9p share, then powers off.
PATH=/usr/sbin:/usr/bin:/sbin:/bin
export PATH
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
hostname trv-vm
modprobe 9pnet_virtio 2>/dev/null
modprobe 9p 2>/dev/null
status=125
if [ -n "$trv_share" ] && mkdir -p "$trv_share" &&
   mount -t 9p -o "$trv_mount_options" share "$trv_share"; then
    export HOME=/root WINEPREFIX=/opt/trv-wine WINEARCH=win32 WINEDEBUG=-all
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
    cd "$trv_share"
    bash "$trv_job"
    status=$?
    echo "$status" > "$trv_job.status"
else
    echo "trv-vm-init: could not mount the share $trv_share" >&2
fi
kill -TERM -1 2>/dev/null
sleep 1
kill -KILL -1 2>/dev/null
sync
umount "$trv_share" 2>/dev/null
echo o > /proc/sysrq-trigger
sleep 30
EOF
    chmod 755 "$1"
}

# Boots the image with SHARE mounted at the same path and runs JOB; SNAPSHOT=no keeps the
# changes in the image (only while the image is being built).
boot() {
    local share=$1 job=$2 snapshot=${3:-yes} limit=${TRV_VM_TIMEOUT:-1500}
    local options=()
    [ "$snapshot" = yes ] && options+=(-snapshot)
    rm -f "$job.status"
    timeout --kill-after=10 "$limit" qemu-system-x86_64 \
        -accel tcg,thread=multi -smp 2 -m 3072 -cpu "$qemu_cpu" \
        -kernel "$cache/vmlinuz" -initrd "$cache/initrd.img" \
        -drive "file=$cache/root.img,if=virtio,format=raw" \
        -append "root=/dev/vda rw console=ttyS0 quiet loglevel=3 panic=1 rd.emergency=reboot init=/sbin/trv-vm-init trv_share=$share trv_job=$job trv_mount_options=$mount_options" \
        -virtfs "local,path=$share,mount_tag=share,security_model=none" \
        -display none -serial stdio -monitor none -no-reboot -nic none "${options[@]}" </dev/null |
        sed -u 's/\r$//'
    if [ ! -f "$job.status" ]; then
        echo "win32_vm.sh: the VM ended without running the job to its end (no status)" >&2
        return 125
    fi
    return "$(cat "$job.status")"
}

build_image() {
    [ "$(id -u)" -eq 0 ] || die "building the VM image needs root (debootstrap, chroot)"
    local tools=(debootstrap qemu-system-x86 e2fsprogs)
    local missing=()
    for package in "${tools[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" >/dev/null
    fi
    local mirror
    mirror=$(debian_mirror)
    [ -n "$mirror" ] || { apt-get update -qq; mirror=$(debian_mirror); }
    [ -n "$mirror" ] || die "no Debian bookworm mirror in this machine's apt sources"

    local work=$cache/build
    local root=$work/root
    mkdir -p "$cache"
    cleanup_chroot() {
        for mounted in "$root/dev/pts" "$root/dev" "$root/sys" "$root/proc"; do
            mountpoint -q "$mounted" 2>/dev/null && umount -l "$mounted"
        done
        return 0
    }
    cleanup_chroot
    rm -rf "$work"
    mkdir -p "$work"
    trap cleanup_chroot EXIT

    echo "win32_vm.sh: building the VM image in $cache (debootstrap, then packages; a few minutes)"
    debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
        { tail -n 20 "$work/debootstrap.log" >&2; die "debootstrap failed"; }
    mount -t proc proc "$root/proc"
    mount -t sysfs sys "$root/sys"
    mount --bind /dev "$root/dev"
    mount --bind /dev/pts "$root/dev/pts"
    chroot "$root" dpkg --add-architecture i386
    # Some i386 maintainer scripts cannot run on a kernel without 32-bit support and say
    # "Exec format error"; the packages still end up configured.
    if ! chroot "$root" /usr/bin/env DEBIAN_FRONTEND=noninteractive sh -c \
            "apt-get update -qq && apt-get install -y -qq --no-install-recommends $(echo $guest_packages)" \
            >"$work/packages.log" 2>&1; then
        tail -n 30 "$work/packages.log" >&2
        die "installing the guest's packages failed"
    fi
    chroot "$root" apt-get clean
    cleanup_chroot
    trap - EXIT

    cp "$root"/boot/vmlinuz-* "$work/vmlinuz"
    cp "$root"/boot/initrd.img-* "$work/initrd.img"
    write_init "$root/sbin/trv-vm-init"
    mkdir -p "$root/opt/trv-wine"
    mkfs.ext4 -q -F -L trv-vm -d "$root" "$work/root.img" 8G

    # The prefix is made once, in a boot that keeps its changes, so that each run starts from it.
    mv "$work/vmlinuz" "$work/initrd.img" "$work/root.img" "$cache/"
    local job=$work/share/make-prefix.sh
    mkdir -p "$work/share"
    cat > "$job" <<'EOF'
set -e
wineboot -i
wine reg add 'HKCU\Software\Wine\DllOverrides' /v winedbg.exe /d '' /f
wineserver -w
echo "prefix ready: $(du -sh "$WINEPREFIX" | cut -f1)"
EOF
    if ! TRV_VM_TIMEOUT=900 boot "$work/share" "$job" no; then
        rm -f "$cache/root.img"
        die "the VM could not make its Wine prefix"
    fi
    rm -rf "$root"
    echo "$recipe" > "$cache/stamp"
    echo "win32_vm.sh: image ready ($(du -sh "$cache/root.img" | cut -f1) used)"
}

case "${1:-}" in
image)
    image_ready || build_image
    ;;
run)
    [ $# -eq 3 ] || die "usage: $0 run SHARE JOB"
    image_ready || die "no VM image in $cache: run '$0 image' first (as root)"
    share=$(cd "$2" && pwd)
    job=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
    case "$job" in
    "$share"/*) ;;
    *) die "the job $job is not inside the share $share" ;;
    esac
    boot "$share" "$job"
    ;;
*)
    die "usage: $0 image | run SHARE JOB"
    ;;
esac
