#!/bin/busybox sh
# USB phase of the kernel test (run by the init of scripts/kernel-test, inside the
# virtual machine): emulated i2c-tiny-usb bridges (/usbipbridge, through vhci-hcd) are
# driven with busybox's i2cget/i2cset, a client we did not write, then an emulated
# Diolan U2C, the other bridge here with a plain USB driver (i2c-diolan-u2c). Prints one
# line per check, PASS or FAIL, and INFO lines with measured times; exits 0 only when
# every check passed. Expects i2c-dev, i2c-tiny-usb, i2c-diolan-u2c and vhci-hcd loaded,
# udevd running with our rule, and /modules/i2c-stub.ko. The helpers are in
# phase-helpers.sh.

. /phase-helpers.sh

# What i2c-tiny-usb spends on a transfer the bridge does not answer: its 2 s control
# time-out. A check that something fails "fast" allows half of it (a wait on the driver
# would cost all of it; load only adds to a fast failure); one that it fails "after the
# time-out" allows one and a half (a retry would cost a second).
tiny_timeout_ms=2000

# --- checks ------------------------------------------------------------------------
# The first bridge takes the lowest free bus number: no stub bus now.
rmmod i2c_stub 2>/dev/null

if plug_bridge KVEMU0001; then
    tiny_bind_ms=$plug_ms
    bus=$(bridge_bus KVEMU0001)
    intf=$(bridge_interface "$bus")
    usbdev=$(dirname "$intf")
    pass "bridge bound by i2c-tiny-usb: /dev/i2c-$bus at USB ${usbdev##*/} serial $(cat "$usbdev/serial")"
else
    fail "bridge bound by i2c-tiny-usb (no i2c bus with serial KVEMU0001 appeared)"
    echo "USB-PHASE: $failures failure(s)"
    exit 1
fi
grep -q 'USBIP-BRIDGE attached port' "$(bridge_log KVEMU0001)" &&
    pass "emulator reports its port: $(head -n 1 "$(bridge_log KVEMU0001)")" ||
    fail "emulator reports its port"

check "udev rule: the bridge's /dev/i2c-$bus is group plugdev (46), crw-rw----" \
    wait_for 5 node_is "$bus" "660 0 46"
info "$(ls -l "/dev/i2c-$bus")"

i2cset -y "$bus" $CHARGER 0x15 0x3130 w
check "word 0x3130 written to 0x15 with i2cset reads back with i2cget" word_is "$bus" 0x15 0x3130
i2cset -y "$bus" $CHARGER 0x15 0xffff w
check "the charger behind the bridge keeps bits 4-14 of 0x15: 0xffff reads 0x7ff0" \
    word_is "$bus" 0x15 0x7ff0
check "the charger's identifier 0xfe reads 0x4b56" word_is "$bus" 0xfe 0x4b56
check "a write to the read-only identifier fails (transfer stalled)" \
    eval "! i2cset -y $bus $CHARGER 0xfe 0x1234 w 2>/dev/null"
check "a read of an unknown register fails" eval "! i2cget -y $bus $CHARGER 0x20 w 2>/dev/null"
check "another address (0x0a) does not answer" eval "! i2cget -y $bus 0x0a 0x15 w 2>/dev/null"
check "and the charger answers right after" word_is "$bus" 0x15 0x7ff0

# A bridge that stops answering: the driver's own 2 s control timeout fails the read.
bridge_cmd KVEMU0001 stall
timed i2cget -y "$bus" $CHARGER 0x15 w
info "i2cget on a stalled bridge returned after $elapsed ms"
check "stalled bridge: i2cget fails after the driver's 2 s timeout, and only one" \
    eval "[ $status -ne 0 ] && [ $elapsed -ge $((tiny_timeout_ms * 95 / 100)) ] &&
          [ $elapsed -lt $((tiny_timeout_ms * 3 / 2)) ]"
bridge_cmd KVEMU0001 answer
check "answering again: the next i2cget succeeds" word_is "$bus" 0x15 0x7ff0

bridge_cmd KVEMU0001 nak
timed i2cget -y "$bus" $CHARGER 0x15 w
info "i2cget to a NAKing charger returned after $elapsed ms"
check "charger address NAKs: i2cget fails fast" \
    eval "[ $status -ne 0 ] && [ $elapsed -lt $((tiny_timeout_ms / 2)) ]"
bridge_cmd KVEMU0001 ack
check "charger acknowledges again: i2cget succeeds" word_is "$bus" 0x15 0x7ff0

# Unplug; a stub bus takes the freed number, so the bridge comes back elsewhere.
old_bus=$bus
bridge_cmd KVEMU0001 unplug
check "unplug: /dev/i2c-$old_bus disappears" wait_for 10 no_node "$old_bus"
check "unplug: no bus with serial KVEMU0001 left" no_bridge_bus KVEMU0001
insmod /modules/i2c-stub.ko chip_addr=0x09
check "i2c-stub loaded while the bridge is out takes /dev/i2c-$old_bus" \
    wait_for 10 test -c "/dev/i2c-$old_bus"
check "and its bus is the stub, not a bridge" eval "! bridge_interface $old_bus >/dev/null"
if replug_bridge KVEMU0001; then
    bus=$(bridge_bus KVEMU0001)
    check "plug: the bridge is back under a different bus number ($old_bus -> $bus)" \
        [ "$bus" != "$old_bus" ]
    check "replugged bridge answers with the charger's kept word" word_is "$bus" 0x15 0x7ff0
    check "udev rule: the replugged bridge's /dev/i2c-$bus is plugdev 0660" \
        wait_for 5 node_is "$bus" "660 0 46"
else
    fail "plug: the bridge comes back"
fi
udevadm settle --timeout=10
check "udev rule: the i2c-stub node /dev/i2c-$old_bus stays root-only (0600 root:root)" \
    node_is "$old_bus" "600 0 0"
info "$(ls -l "/dev/i2c-$old_bus")"

# Time per word: busybox i2cget (a process per word) on the bridge and, for the cost
# of starting the process, on the stub bus; and a plain ioctl loop on both.
time_i2cget "$bus" 20 "the emulated bridge"
time_i2cget "$old_bus" 20 "the i2c-stub bus (process start only)"
check "ioctl word loop on the emulated bridge" eval "/i2cwordloop $bus 09 15 100 >/run/loop.txt"
info "plain ioctl word read on the emulated bridge: $(cat /run/loop.txt)"
check "ioctl word loop on the i2c-stub bus" eval "/i2cwordloop $old_bus 09 15 2000 >/run/loop.txt"
info "plain ioctl word read on the i2c-stub bus: $(cat /run/loop.txt)"


# --- the program's own backend, as shipped -------------------------------------------
# Discovery (the stub bus is never listed), round trips, and its time per word next to
# the plain ioctl loop above.
kt usb "$old_bus" i2c-tiny-usb

# A client we did not write reads what the program wrote, and the other way round.
check "a word the program wrote (0x15 = 0x2220) reads back with busybox i2cget" \
    eval "/kerneltest write 15 2220 && word_is $bus 0x15 0x2220"
i2cset -y "$bus" $CHARGER 0x14 0x0c80 w
check "a word busybox i2cset wrote (0x14 = 0x0c80) reads back through the program" \
    eval '[ "$(/kerneltest read 14)" = 0x0c80 ]'

# A bridge that stops answering (i2c-tiny-usb's 2 s time-out; long enough for the
# guard's back-off to reach its cap), and a charger that does not acknowledge (ENXIO).
f1=$(bridge_fifo KVEMU0001)
kt stall "echo stall >$f1" "echo answer >$f1" "echo nak >$f1" "echo ack >$f1" \
    $tiny_timeout_ms 6 long

# Unplugged in the middle of a stream of transfers; while it is out, a second bridge
# takes its bus number, so it comes back under another one.
start_unplugged KVEMU0002
f2=$(bridge_fifo KVEMU0002)
kt replug "echo unplug >$f1" \
    "echo plug >$f2; n=0; while [ ! -c /dev/i2c-$bus ] && [ \$n -lt 200 ]; do usleep 50000; n=\$((n+1)); done; echo plug >$f1" \
    "$tiny_bind_ms" $tiny_timeout_ms
check "the second bridge took the freed bus number $bus" eval "[ \"\$(bridge_bus KVEMU0002)\" = $bus ]"
wait_for 20 has_bridge_bus KVEMU0001
bus=$(bridge_bus KVEMU0001)
udevadm settle --timeout=10

# Two emulators at once: two bridges, each with its own charger.
if wait_for 20 has_bridge_bus KVEMU0002; then
    bus2=$(bridge_bus KVEMU0002)
    intf2=$(bridge_interface "$bus2")
    pass "second bridge bound: /dev/i2c-$bus2 at USB $(basename "$(dirname "$intf2")") serial KVEMU0002"
    check "two bridges at once on different buses ($bus, $bus2)" \
        eval "[ -n '$bus' ] && [ '$bus' != '$bus2' ] && has_bridge_bus KVEMU0001"
    i2cset -y "$bus2" $CHARGER 0x15 0x1230 w
    check "the second bridge's charger holds its own word" word_is "$bus2" 0x15 0x1230
    check "and the first bridge's charger is unchanged" word_is "$bus" 0x15 0x3130
    check "udev rule: the second bridge's node is plugdev 0660" \
        wait_for 5 node_is "$bus2" "660 0 46"
else
    fail "second bridge bound (serial KVEMU0002)"
fi


# Several boards on one bench: each copy of the program holds the bridge it opened.
mkfifo /run/hold1 /run/hold2
/kerneltest hold </run/hold1 >/run/hold1.out 2>&1 &
hold1=$!
exec 7>/run/hold1
wait_for 10 grep -q '^HOLD' /run/hold1.out
/kerneltest hold </run/hold2 >/run/hold2.out 2>&1 &
hold2=$!
exec 8>/run/hold2
wait_for 10 grep -q '^HOLD' /run/hold2.out
info "first program: $(cat /run/hold1.out); second program: $(cat /run/hold2.out)"
check "second program opens the second bridge" \
    eval "grep -q '^HOLD i2c-tiny-usb' /run/hold1.out && grep -q '^HOLD i2c-tiny-usb' /run/hold2.out &&
          [ \"\$(cat /run/hold1.out)\" != \"\$(cat /run/hold2.out)\" ]"
/kerneltest hold </dev/null >/run/hold3.out 2>&1; third=$?
info "third program: $(cat /run/hold3.out)"
check "a third program, with no bridge left, gets the USB error naming the bridges in use" \
    eval "[ $third -eq 3 ] && grep -q 'in use by another program' /run/hold3.out"
exec 7>&- 8>&-
check "the holders close their bridges and end" eval "wait $hold1 && wait $hold2"
check "a bridge is free again once its program ended" eval '[ -n "$(/kerneltest read 15)" ]'

# kv7320ctl, the scripting companion, on the same bridges.
check "kv7320ctl list-bridges lists both bridges" \
    eval '[ "$(kv7320ctl list-bridges | grep -c "^i2c-tiny-usb at USB .*: free")" -eq 2 ]'
check "kv7320ctl --bridge KVEMU0002 sets the charge current; busybox i2cget reads 0x0800 there" \
    eval "kv7320ctl --bridge KVEMU0002 set charge-current 2048 >/dev/null && word_is $bus2 0x14 0x0800"
check "kv7320ctl --json get reads it back" \
    eval "kv7320ctl --bridge KVEMU0002 --json get charge-current | grep -q '\"charge-current\":2048'"
check "kv7320ctl: a write the chip refuses exits 1" \
    eval "kv7320ctl --bridge KVEMU0002 write FE 0000 2>/dev/null; [ \$? -eq 1 ]"
check "kv7320ctl: a bridge that does not exist exits 1 and names what was found" \
    eval "kv7320ctl --bridge NOSUCH read 14 2>/run/ctl.err; [ \$? -eq 1 ] && grep -q KVEMU0001 /run/ctl.err"

# The Diolan U2C: the checks every family gets (phase-helpers.sh). i2c-diolan-u2c waits
# 100 ms for each USB packet, so a transfer the bridge does not answer fails after two
# (the command, then the stop it sends after a failure): under the program's own mark
# for a stall, which its guard then handles with its failure budget.
u2c_timeout_ms=200
stub_bus=$old_bus
start_unplugged KVTAKE10
if plug_bridge KVU2C001 u2c; then
    pass "i2c-diolan-u2c: bus appeared $plug_ms ms after the emulator started"
    u2c_bind_ms=$plug_ms
    bridge_checks i2c-diolan-u2c KVU2C001 6 $u2c_timeout_ms
    bridge_replug i2c-diolan-u2c KVU2C001 KVTAKE10 "$u2c_bind_ms" $u2c_timeout_ms
else
    fail "i2c-diolan-u2c: bus appeared (no i2c bus with serial KVU2C001)"
fi
check "emulator KVU2C001 exits cleanly on SIGTERM" stop_bridge KVU2C001
check "emulator KVTAKE10 exits cleanly on SIGTERM" stop_bridge KVTAKE10

# SIGTERM: clean exit, and the device goes away.
check "emulator KVEMU0002 exits cleanly on SIGTERM" stop_bridge KVEMU0002
check "and its bus disappears" wait_for 10 no_bridge_bus KVEMU0002
check "emulator KVEMU0001 exits cleanly on SIGTERM" stop_bridge KVEMU0001
# The refusals above, and the USB 2.0 device qualifier a full-speed device does not
# have (the U2C says USB 2.0), are the only requests the emulators may have stalled.
unexpected=$(grep -hv -e '^USBIP-BRIDGE' -e 'charger refused' \
    -e 'stall: bmRequestType 0x41 bRequest [4-7] ' -e 'stall: bmRequestType 0xc1 bRequest [4-7] ' \
    -e 'stall: bmRequestType 0x80 bRequest 6 wValue 0x0600 ' \
    /run/bridge-*.log)
check "the emulators met no request or message they do not know" [ -z "$unexpected" ]
[ -z "$unexpected" ] || echo "$unexpected"

echo "USB-PHASE: $failures failure(s)"
[ $failures -eq 0 ]
