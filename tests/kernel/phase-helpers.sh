#!/bin/busybox sh
# Helpers for the USB phases of the kernel test (sourced by usb-phase.sh and
# hid-phase.sh, inside the virtual machine): PASS/FAIL/INFO lines, waits, the emulated
# bridges (/usbipbridge, through vhci-hcd), found again by their serial, and the checks
# every bridge family gets.

CHARGER=0x09
failures=0

pass() { echo "PASS $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
info() { echo "INFO $*"; }
check() { # check "what" command...: PASS when the command succeeds
    what=$1; shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

# Milliseconds since boot (10 ms resolution: busybox date has no nanoseconds).
now_ms() {
    read -r up _ </proc/uptime
    c=${up#*.}; c=${c#0}
    echo $(( ${up%.*} * 1000 + c * 10 ))
}

# timed command...: runs it, its output dropped; status is its exit status, elapsed the
# milliseconds it took.
timed() {
    start=$(now_ms)
    "$@" >/dev/null 2>&1; status=$?
    elapsed=$(( $(now_ms) - start ))
}

# wait_for SECONDS command...: polls the command every 50 ms until it succeeds.
wait_for() {
    limit=$(( $(now_ms) + $1 * 1000 )); shift
    until "$@"; do
        [ "$(now_ms)" -lt "$limit" ] || return 1
        usleep 50000
    done
}

# --- the emulated bridges ------------------------------------------------------------
# One emulator per serial; its control FIFO and log live in /run.
bridge_fifo() { echo "/run/bridge-$1.ctl"; }
bridge_log() { echo "/run/bridge-$1.log"; }
bridge_pid() { cat "/run/bridge-$1.pid" 2>/dev/null; }

# bridge_cmd SERIAL COMMAND: stall, answer, nak, ack, unplug, plug (see usbipbridge.cpp).
bridge_cmd() {
    kill -0 "$(bridge_pid "$1")" 2>/dev/null || { echo "bridge $1 is not running"; return 1; }
    timeout 5 sh -c "echo $2 > $(bridge_fifo "$1")"
}

# The USB interface of the emulated bridge above i2c bus N: walks the bus's sysfs
# ancestry for one of the emulated bridges' drivers (bound to the interface itself, or
# for the HID bridges to the HID device below it), then for the interface. Sets
# bridge_driver.
bridge_interface() {
    dir=$(readlink -f "/sys/bus/i2c/devices/i2c-$1")
    bridge_driver=
    while [ "$dir" != "/sys/devices" ] && [ "$dir" != "/" ]; do
        d=$(basename "$(readlink -f "$dir/driver" 2>/dev/null)")
        case "$d" in
            i2c-tiny-usb|cp2112|mcp2221|ft260|i2c-diolan-u2c)
                [ -n "$bridge_driver" ] || { bridge_driver=$d; bridge_driver_dir=$dir; } ;;
        esac
        if [ -e "$dir/bInterfaceNumber" ]; then
            [ -n "$bridge_driver" ] && { echo "$dir"; return 0; }
            return 1
        fi
        dir=$(dirname "$dir")
    done
    return 1
}

# bridge_bus SERIAL: prints N of the bridge bus whose USB device has that serial and
# whose /dev/i2c-N exists; fails when there is none.
bridge_bus() {
    for d in /sys/bus/i2c/devices/i2c-*; do
        [ -e "$d" ] || continue
        n=${d##*/i2c-}
        bridge_interface "$n" >/run/intf.$$ || continue
        intf=$(cat /run/intf.$$)
        # A HID bridge still binding (no GPIO chip yet): its serial attribute would
        # wait for the binding to end, as the program's discovery knows.
        hid_starting "$bridge_driver" "$bridge_driver_dir" && continue
        [ "$(cat "$(dirname "$intf")/serial" 2>/dev/null)" = "$1" ] || continue
        [ -c "/dev/i2c-$n" ] && { echo "$n"; return 0; }
    done
    return 1
}
# hid_starting DRIVER DIR: a cp2112 or mcp2221 bound at DIR has not finished binding.
hid_starting() {
    case "$1" in cp2112|mcp2221) ;; *) return 1 ;; esac
    for g in "$2"/gpiochip*; do [ -e "$g" ] && return 1; done
    return 0
}

# starting_bus DRIVER: prints N of a bus of that HID driver still binding.
starting_bus() {
    for d in /sys/bus/i2c/devices/i2c-*; do
        [ -e "$d" ] || continue
        n=${d##*/i2c-}
        bridge_interface "$n" >/dev/null || continue
        [ "$bridge_driver" = "$1" ] && hid_starting "$1" "$bridge_driver_dir" && { echo "$n"; return 0; }
    done
    return 1
}
has_starting_bus() { starting_bus "$1" >/dev/null; }

has_bridge_bus() { bridge_bus "$1" >/dev/null; }
no_bridge_bus() { ! bridge_bus "$1" >/dev/null; }
no_node() { [ ! -e "/dev/i2c-$1" ]; }

# plug_bridge SERIAL [FAMILY]: starts an emulator (i2c-tiny-usb unless FAMILY names
# another, as usbipbridge knows them) and waits for its bus (and for udev).
plug_bridge() {
    /usbipbridge --family="${2:-i2c-tiny-usb}" "$1" "$(bridge_fifo "$1")" \
        >"$(bridge_log "$1")" 2>&1 &
    echo $! >"/run/bridge-$1.pid"
    plug_start=$(now_ms)
    wait_for 20 has_bridge_bus "$1" || { cat "$(bridge_log "$1")"; return 1; }
    plug_ms=$(( $(now_ms) - plug_start ))
    info "bridge $1 bound $plug_ms ms after the emulator started"
    udevadm settle --timeout=10
}

# start_unplugged SERIAL [FAMILY]: an emulator that waits for "plug" before it attaches.
start_unplugged() {
    /usbipbridge --family="${2:-i2c-tiny-usb}" "$1" "$(bridge_fifo "$1")" unplugged \
        >"$(bridge_log "$1")" 2>&1 &
    echo $! >"/run/bridge-$1.pid"
    wait_for 5 test -p "$(bridge_fifo "$1")"
}

# kt ARGS...: the program's own backend in the static test binary; its FAIL lines
# count as failures here.
kt() {
    /kerneltest "$@" >/run/kt.out 2>&1
    cat /run/kt.out
    failures=$((failures + $(grep -c '^FAIL' /run/kt.out)))
}

# replug_bridge SERIAL: plug command to a running emulator, then waits as above.
replug_bridge() {
    bridge_cmd "$1" plug && wait_for 20 has_bridge_bus "$1" && udevadm settle --timeout=10
}

# stop_bridge SERIAL: SIGTERM, and the emulator's own exit status.
stop_bridge() {
    pid=$(bridge_pid "$1")
    kill -TERM "$pid" && wait "$pid"
}

# hidraw_of N: the hidraw node name (hidrawM) of the HID device above i2c bus N.
hidraw_of() {
    dir=$(readlink -f "/sys/bus/i2c/devices/i2c-$1")
    while [ "$dir" != "/sys/devices" ] && [ "$dir" != "/" ]; do
        for h in "$dir"/hidraw/hidraw*; do [ -e "$h" ] && { basename "$h"; return 0; }; done
        dir=$(dirname "$dir")
    done
    return 1
}

# word_is N REGISTER EXPECTED: busybox's i2cget reads that word from the charger.
# hid-cp2112 waits only 50 ms for each of the bridge's answers, which an emulator
# starved by a loaded host can miss (the transfer then fails with ETIMEDOUT): a busybox
# transfer that is meant to succeed is tried a second time.
word_is() {
    [ "$(i2cget -y "$1" $CHARGER "$2" w 2>/dev/null)" = "$3" ] ||
        [ "$(i2cget -y "$1" $CHARGER "$2" w 2>/dev/null)" = "$3" ]
}
# set_word N REGISTER WORD: busybox i2cset, tried twice as above.
set_word() { i2cset -y "$1" $CHARGER "$2" "$3" w || i2cset -y "$1" $CHARGER "$2" "$3" w; }

# node_is N "MODE UID GID"
node_is() { [ "$(stat -c '%a %u %g' "/dev/i2c-$1" 2>/dev/null)" = "$2" ]; }

# time_i2cget BUS COUNT WHAT: COUNT busybox i2cget word reads of the charger, timed.
time_i2cget() {
    start=$(now_ms); ok=0; i=0
    while [ $i -lt "$2" ]; do
        { i2cget -y "$1" $CHARGER 0x15 w || i2cget -y "$1" $CHARGER 0x15 w; } >/dev/null 2>&1 &&
            ok=$((ok + 1))
        i=$((i + 1))
    done
    elapsed=$(( $(now_ms) - start ))
    tenths=$((elapsed * 10 / $2))
    check "$2 timed i2cget word reads on $3 all succeeded" [ $ok -eq "$2" ]
    info "busybox i2cget word read on $3: $((tenths / 10)).$((tenths % 10)) ms per word ($2 reads in $elapsed ms)"
}

# --- the checks every family gets -----------------------------------------------------
# kt_family DRIVER SERIAL ARGS...: kt for one bridge, chosen by serial as --bridge does.
kt_family() {
    export KT_FAMILY=$1 KT_BRIDGE=$2
    shift 2
    kt "$@"
    unset KT_FAMILY KT_BRIDGE
}

# bridge_checks DRIVER SERIAL NAK_STATUS TIMEOUT_MS: the checks on one bridge that is
# plugged in and bound, but the replug; every line names its driver. NAK_STATUS is what
# the driver returns for a charger that does not acknowledge, TIMEOUT_MS what it spends
# on a transfer the bridge does not answer. stub_bus is the i2c-stub bus, never listed.
bridge_checks() {
    f=$1 s=$2 nak_status=$3 timeout_ms=$4
    bus=$(bridge_bus "$s")
    bridge_interface "$bus" >/run/intf # not in a subshell: it sets bridge_driver
    usbdev=$(dirname "$(cat /run/intf)")
    check "$f: bound by $bridge_driver: /dev/i2c-$bus at USB ${usbdev##*/} serial $(cat "$usbdev/serial")" \
        [ "$bridge_driver" = "$f" ]

    # udev: our rule opens the i2c node to plugdev; a HID bridge's hidraw node beside
    # it, which could also reprogram the bridge's USB identity, keeps the kernel's
    # root-only mode.
    check "$f: udev rule: /dev/i2c-$bus is group plugdev (46), crw-rw----" \
        wait_for 5 node_is "$bus" "660 0 46"
    if hidraw=$(hidraw_of "$bus"); then
        check "$f: udev rule: its /dev/$hidraw stays root-only (0600 root:root)" \
            eval "[ \"\$(stat -c '%a %u %g' /dev/$hidraw)\" = '600 0 0' ]"
    else
        info "$f: no hidraw node to guard (its driver makes none here)"
    fi

    # A client we did not write: busybox i2cget and i2cset.
    set_word "$bus" 0x15 0x3130
    check "$f: word 0x3130 written to 0x15 with i2cset reads back with i2cget" \
        word_is "$bus" 0x15 0x3130
    set_word "$bus" 0x15 0xffff
    check "$f: the charger keeps bits 4-14 of 0x15: 0xffff reads 0x7ff0" \
        word_is "$bus" 0x15 0x7ff0
    check "$f: the charger's identifier 0xfe reads 0x4b56" word_is "$bus" 0xfe 0x4b56
    check "$f: a write to the read-only identifier fails" \
        eval "! i2cset -y $bus $CHARGER 0xfe 0x1234 w 2>/dev/null"
    check "$f: a read of an unknown register fails" \
        eval "! i2cget -y $bus $CHARGER 0x20 w 2>/dev/null"
    start=$(now_ms)
    i2cget -y "$bus" 0x0a 0x15 w >/run/nak.out 2>&1; status=$?
    info "$f: i2cget of another address (0x0a) returned after $(( $(now_ms) - start )) ms: $(cat /run/nak.out)"
    check "$f: another address (0x0a) does not answer" [ $status -ne 0 ]
    check "$f: and the charger answers right after" word_is "$bus" 0x15 0x7ff0
    time_i2cget "$bus" 20 "the emulated $f"
    check "$f: ioctl word loop" eval "/i2cwordloop $bus 09 15 100 >/run/loop.txt"
    info "$f: plain ioctl word read: $(cat /run/loop.txt)"

    # The program's backend as shipped: discovery by serial, round trips, its time per
    # word against the plain ioctl loop, and what another client sees of its words.
    kt_family "$f" "$s" usb "$stub_bus" "$f"
    check "$f: a word the program wrote (0x15 = 0x2220) reads back with busybox i2cget" \
        eval "KT_BRIDGE=$s /kerneltest write 15 2220 && word_is $bus 0x15 0x2220"
    set_word "$bus" 0x14 0x0c80
    check "$f: a word busybox i2cset wrote (0x14 = 0x0c80) reads back through the program" \
        eval '[ "$(KT_BRIDGE=$s /kerneltest read 14)" = 0x0c80 ]'

    # A stalled bridge: no request is answered, so the driver's USB time-outs fail the
    # transfer. Then a charger that does not acknowledge.
    fifo=$(bridge_fifo "$s")
    kt_family "$f" "$s" stall "echo stall >$fifo" "echo answer >$fifo" "echo nak >$fifo" \
        "echo ack >$fifo" "$timeout_ms" "$nak_status"

    # kv7320ctl on this bridge.
    check "$f: kv7320ctl list-bridges lists it as free" \
        eval "kv7320ctl list-bridges | grep -q '^$f at USB .* serial $s: free'"
    check "$f: kv7320ctl --bridge $s sets the charge current; busybox i2cget reads 0x0800" \
        eval "kv7320ctl --bridge $s set charge-current 2048 >/dev/null && word_is $bus 0x14 0x0800"
    check "$f: kv7320ctl --json get reads it back" \
        eval "kv7320ctl --bridge $s --json get charge-current | grep -q '\"charge-current\":2048'"
    kv7320ctl --bridge "$s" write FE 0000 2>/run/ctl.err; status=$?
    info "$f: kv7320ctl write to the read-only identifier: $(cat /run/ctl.err)"
    check "$f: kv7320ctl: a write the chip refuses exits 1 with the status's text" \
        eval "[ $status -eq 1 ] && grep -q 'status 5 (input/output error' /run/ctl.err"
    bridge_cmd "$s" nak
    start=$(now_ms)
    kv7320ctl --bridge "$s" read 14 2>/run/ctl.err; status=$?
    elapsed=$(( $(now_ms) - start ))
    bridge_cmd "$s" ack
    info "$f: kv7320ctl read with the charger not acknowledging, $elapsed ms: $(cat /run/ctl.err)"
    check "$f: kv7320ctl: a charger that does not acknowledge exits 1 with status $nak_status" \
        eval "[ $status -eq 1 ] && grep -q 'status $nak_status (' /run/ctl.err"
}

# bridge_replug DRIVER SERIAL TAKER BIND_MS TIMEOUT_MS: the bridge is unplugged while the
# program holds it, in the middle of a stream of transfers; the taker, an i2c-tiny-usb
# bridge started unplugged, gets its bus number meanwhile, so it comes back under
# another one. BIND_MS: how long it took to bind when first plugged in; TIMEOUT_MS as
# for bridge_checks.
bridge_replug() {
    f=$1 s=$2 taker=$3 bind_ms=$4 timeout_ms=$5
    bus=$(bridge_bus "$s")
    fifo=$(bridge_fifo "$s")
    taker_fifo=$(bridge_fifo "$taker")
    kt_family "$f" "$s" replug "echo unplug >$fifo" \
        "echo plug >$taker_fifo; n=0; while [ ! -c /dev/i2c-$bus ] && [ \$n -lt 200 ]; do usleep 50000; n=\$((n+1)); done; echo plug >$fifo" \
        "$bind_ms" "$timeout_ms"
    check "$f: the taker bridge took the freed bus number $bus" \
        eval "[ \"\$(bridge_bus $taker)\" = $bus ]"
    wait_for 40 has_bridge_bus "$s" && udevadm settle --timeout=10
    bus=$(bridge_bus "$s")
    check "$f: udev rule: the replugged bridge's /dev/i2c-$bus is plugdev 0660" \
        wait_for 5 node_is "$bus" "660 0 46"
}
