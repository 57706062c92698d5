#!/bin/busybox sh
# HID phase of the kernel test (run by the init of scripts/kernel-test after the USB
# phase, inside the virtual machine): an emulated CP2112 and an emulated MCP2221
# (/usbipbridge --family=..., through vhci-hcd), each bound by the kernel's own
# hid-cp2112 or hid-mcp2221, are driven with busybox's i2cget/i2cset, the program's
# backend as shipped (/kerneltest) and kv7320ctl. Every PASS/FAIL line names the family;
# exits 0 only when every check passed. Expects usbhid, hid-cp2112 and hid-mcp2221
# loaded, udevd running with our rule, and the i2c-stub bus the USB phase left.

. /phase-helpers.sh

# kt_family FAMILY SERIAL ARGS...: kt for one bridge, chosen by serial as --bridge does.
kt_family() {
    export KT_FAMILY=$1 KT_BRIDGE=$2
    shift 2
    kt "$@"
    unset KT_FAMILY KT_BRIDGE
}

# One i2c-tiny-usb bridge per family, kept unplugged: plugged in while the HID bridge is
# out, it takes the freed bus number, so the HID bridge comes back under another one.
start_unplugged KVTAKE01
start_unplugged KVTAKE02

# hid_checks FAMILY SERIAL NAK_STATUS: the checks on one bridge that is plugged in and
# bound, but the replug. NAK_STATUS is what its driver returns for a charger that does
# not acknowledge.
hid_checks() {
    f=$1 s=$2 nak_status=$3
    bus=$(bridge_bus "$s")
    bridge_interface "$bus" >/run/intf # not in a subshell: it sets bridge_driver
    usbdev=$(dirname "$(cat /run/intf)")
    check "$f: bound by $bridge_driver: /dev/i2c-$bus at USB ${usbdev##*/} serial $(cat "$usbdev/serial")" \
        [ "$bridge_driver" = "$f" ]

    # udev: our rule opens the i2c node to plugdev; the hidraw node beside it, which
    # could also reprogram the bridge's USB identity, keeps the kernel's root-only mode.
    check "$f: udev rule: /dev/i2c-$bus is group plugdev (46), crw-rw----" \
        wait_for 5 node_is "$bus" "660 0 46"
    if hidraw=$(hidraw_of "$bus"); then
        check "$f: udev rule: its /dev/$hidraw stays root-only (0600 root:root)" \
            eval "[ \"\$(stat -c '%a %u %g' /dev/$hidraw)\" = '600 0 0' ]"
    else
        pass "$f: no hidraw node to guard (its driver here starts without one)"
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

    # A stalled bridge: the output report is not taken, so usbhid's 5 s time-out fails
    # the transfer. Then a charger that does not acknowledge.
    fifo=$(bridge_fifo "$s")
    kt_family "$f" "$s" stall "echo stall >$fifo" "echo answer >$fifo" "echo nak >$fifo" \
        "echo ack >$fifo" 5000 "$nak_status"

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

# hid_replug FAMILY SERIAL TAKER RECOVERY_MS: the replug may take RECOVERY_MS (the
# driver's binding included).
hid_replug() {
    f=$1 s=$2 taker=$3 recovery_ms=$4
    bus=$(bridge_bus "$s")
    fifo=$(bridge_fifo "$s")

    # Unplugged while the program holds it, in the middle of a stream of transfers; the
    # taker bridge gets its bus number meanwhile, so it comes back under another one.
    taker_fifo=$(bridge_fifo $taker)
    kt_family "$f" "$s" replug "echo unplug >$fifo" \
        "echo plug >$taker_fifo; n=0; while [ ! -c /dev/i2c-$bus ] && [ \$n -lt 200 ]; do usleep 50000; n=\$((n+1)); done; echo plug >$fifo" \
        "$recovery_ms"
    check "$f: the taker bridge took the freed bus number $bus" \
        eval "[ \"\$(bridge_bus $taker)\" = $bus ]"
    wait_for 40 has_bridge_bus "$s" && udevadm settle --timeout=10
    bus=$(bridge_bus "$s")
    check "$f: udev rule: the replugged bridge's /dev/i2c-$bus is plugdev 0660" \
        wait_for 5 node_is "$bus" "660 0 46"
}

# A non-USB bus the program must never list: the i2c-stub bus (the USB phase leaves one).
grep -q '^i2c_stub ' /proc/modules || insmod /modules/i2c-stub.ko chip_addr=0x09
stub_bus=
for d in /sys/bus/i2c/devices/i2c-*; do
    [ "$(cat "$d/name" 2>/dev/null)" = "SMBus stub driver" ] && stub_bus=${d##*/i2c-}
done
[ -n "$stub_bus" ] || fail "an i2c-stub bus is there"

# The CP2112 first. The MCP2221 then: hid-mcp2221 on Linux 6.1 makes its bus about 8 s
# after the device appears and finishes binding about 16 s later. Its probe runs in the
# USB hub's thread, so no other USB device is bound (or replugged) meanwhile, and the
# kernel holds the USB device's lock, so reading its serial number waits until the end
# (bridge_bus, like the program's discovery, does not read it then). The CP2112's
# checks, all but its replug, run while the MCP2221 binds.
if plug_bridge KVCP0001 cp2112; then
    pass "cp2112: bus appeared $plug_ms ms after the emulator started"
else
    fail "cp2112: bus appeared (no i2c bus with serial KVCP0001)"
fi

/usbipbridge --family=mcp2221 KVMCP001 "$(bridge_fifo KVMCP001)" \
    >"$(bridge_log KVMCP001)" 2>&1 &
echo $! >/run/bridge-KVMCP001.pid
mcp_start=$(now_ms)
if wait_for 30 has_starting_bus mcp2221; then
    pass "mcp2221: bus /dev/i2c-$(starting_bus mcp2221) appeared $(( $(now_ms) - mcp_start )) ms after the emulator started, its driver still binding"
    # While the driver binds: what a user sees, and the program not waiting on it.
    start=$(now_ms)
    kv7320ctl list-bridges >/run/ctl.out 2>&1
    info "mcp2221 while binding, kv7320ctl list-bridges: $(grep mcp2221 /run/ctl.out)"
    check "mcp2221: while its driver binds, kv7320ctl list-bridges says it is still starting" \
        grep -q '^mcp2221 at USB [0-9.-]*: its driver is still starting' /run/ctl.out
    kv7320ctl --bridge KVMCP001 read 14 >/run/ctl.out 2>&1; status=$?
    elapsed=$(( $(now_ms) - start ))
    info "mcp2221 while binding, kv7320ctl read 14 ($elapsed ms for both): $(cat /run/ctl.out)"
    check "mcp2221: while its driver binds, kv7320ctl read fails at once and says why" \
        eval "[ $status -eq 1 ] && [ $elapsed -lt 2000 ] && grep -q 'still starting' /run/ctl.out"
    KT_FAMILY=mcp2221 KT_BRIDGE=KVMCP001 /kerneltest starting >/run/starting.out 2>&1 &
    starting_pid=$!
else
    fail "mcp2221: bus appeared while its driver binds (none within 30 s)"
fi

cp_ok=false
has_bridge_bus KVCP0001 && cp_ok=true
$cp_ok && hid_checks cp2112 KVCP0001 110

if [ -n "$starting_pid" ]; then
    wait "$starting_pid"
    cat /run/starting.out
    failures=$((failures + $(grep -c '^FAIL' /run/starting.out)))
    check "mcp2221: driver bound (GPIO chip there) $(( $(now_ms) - mcp_start )) ms after the emulator started" \
        eval "ls -d /sys/bus/i2c/devices/i2c-$(bridge_bus KVMCP001)/device/gpiochip* >/dev/null"
fi
$cp_ok && hid_replug cp2112 KVCP0001 KVTAKE01 10000
if [ -n "$starting_pid" ]; then
    hid_checks mcp2221 KVMCP001 6
    hid_replug mcp2221 KVMCP001 KVTAKE02 40000
fi

for s in KVCP0001 KVMCP001 KVTAKE01 KVTAKE02; do
    check "emulator $s exits cleanly on SIGTERM" stop_bridge "$s"
done
check "and their buses disappear" \
    wait_for 10 eval "no_bridge_bus KVCP0001 && no_bridge_bus KVMCP001"
# The refusals above, and the USB 2.0 device qualifier a full-speed device does not
# have, are the only requests the emulators may have stalled.
unexpected=$(grep -hv -e '^USBIP-BRIDGE' -e 'charger refused' \
    -e 'stall: bmRequestType 0x80 bRequest 6 wValue 0x0600 ' \
    /run/bridge-KVCP0001.log /run/bridge-KVMCP001.log /run/bridge-KVTAKE0?.log)
check "the HID emulators met no request or report they do not know" [ -z "$unexpected" ]
[ -z "$unexpected" ] || echo "$unexpected"

echo "HID-PHASE: $failures failure(s)"
[ $failures -eq 0 ]
