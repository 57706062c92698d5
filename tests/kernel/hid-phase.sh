#!/bin/busybox sh
# HID phase of the kernel test (run by the init of scripts/kernel-test after the USB
# phase, inside the virtual machine): an emulated CP2112, FT260 and MCP2221
# (/usbipbridge --family=..., through vhci-hcd), each bound by the kernel's own
# hid-cp2112, hid-ft260 or hid-mcp2221, are driven with busybox's i2cget/i2cset, the
# program's backend as shipped (/kerneltest) and kv7320ctl (bridge_checks and
# bridge_replug in phase-helpers.sh). Every PASS/FAIL line names the driver; exits 0
# only when every check passed. Expects usbhid and the three drivers loaded, udevd
# running with our rule, and the i2c-stub bus the USB phase left.

. /phase-helpers.sh

# What each driver spends on a transfer the bridge does not answer: usbhid's 5 s for
# the output report; hid-ft260 then sends an I2C reset on the control pipe, which waits
# 5 s more. hid-mcp2221 also waits 4 s for each answer, so its probe, which loses its
# answers, lasts a few of those.
hid_timeout_ms=5000
ft260_timeout_ms=10000
mcp2221_report_timeout_ms=4000

# One i2c-tiny-usb bridge per family, kept unplugged: plugged in while the HID bridge is
# out, it takes the freed bus number, so the HID bridge comes back under another one.
start_unplugged KVTAKE01
start_unplugged KVTAKE02
start_unplugged KVTAKE03

# A non-USB bus the program must never list: the i2c-stub bus (the USB phase leaves one).
grep -q '^i2c_stub ' /proc/modules || insmod /modules/i2c-stub.ko chip_addr=0x09
stub_bus=
for d in /sys/bus/i2c/devices/i2c-*; do
    [ "$(cat "$d/name" 2>/dev/null)" = "SMBus stub driver" ] && stub_bus=${d##*/i2c-}
done
[ -n "$stub_bus" ] || fail "an i2c-stub bus is there"

# The CP2112 and the FT260 first. The MCP2221 then: hid-mcp2221 on Linux 6.1 makes its
# bus about 8 s after the device appears and finishes binding about 16 s later. Its
# probe runs in the USB hub's thread, so no other USB device is bound (or replugged)
# meanwhile, and the kernel holds the USB device's lock, so reading its serial number
# waits until the end (bridge_bus, like the program's discovery, does not read it
# then). The CP2112's and the FT260's checks, all but their replugs, run while the
# MCP2221 binds.
cp_ok=false
if plug_bridge KVCP0001 cp2112; then
    pass "cp2112: bus appeared $plug_ms ms after the emulator started"
    cp_ok=true cp_bind_ms=$plug_ms
else
    fail "cp2112: bus appeared (no i2c bus with serial KVCP0001)"
fi

# hid-ft260's probe asks only for feature reports, which need no input report, and adds
# its bus last, so it has no starting state like the MCP2221's: the program lists the
# FT260 as free from the first listing that shows it.
ft_ok=false
/usbipbridge --family=ft260 KVFT2601 "$(bridge_fifo KVFT2601)" >"$(bridge_log KVFT2601)" 2>&1 &
echo $! >/run/bridge-KVFT2601.pid
ft_start=$(now_ms)
rm -f /run/ctl.out
: >/run/ft-listings
until grep -q '^ft260 at USB .* serial KVFT2601: free' /run/ctl.out 2>/dev/null; do
    [ $(( $(now_ms) - ft_start )) -lt 20000 ] || break
    kv7320ctl list-bridges >/run/ctl.out 2>&1
    grep '^ft260' /run/ctl.out >>/run/ft-listings
done
if wait_for 20 has_bridge_bus KVFT2601; then
    ft_bind_ms=$(( $(now_ms) - ft_start ))
    udevadm settle --timeout=10
    pass "ft260: bus appeared $ft_bind_ms ms after the emulator started"
    info "ft260: the program's listings while it bound: $(sort -u /run/ft-listings | tr '\n' ' ')"
    check "ft260: never listed as still starting, listed free at once" \
        eval "! grep -q 'still starting' /run/ft-listings && grep -q ': free' /run/ft-listings"
    ft_ok=true
else
    fail "ft260: bus appeared (no i2c bus with serial KVFT2601)"
    cat "$(bridge_log KVFT2601)"
fi

/usbipbridge --family=mcp2221 KVMCP001 "$(bridge_fifo KVMCP001)" \
    >"$(bridge_log KVMCP001)" 2>&1 &
echo $! >/run/bridge-KVMCP001.pid
mcp_start=$(now_ms)
if wait_for 30 has_starting_bus mcp2221; then
    pass "mcp2221: bus /dev/i2c-$(starting_bus mcp2221) appeared $(( $(now_ms) - mcp_start )) ms after the emulator started, its driver still binding"
    # When it is bound (its GPIO chip, the last thing its probe adds, is there), for
    # its replug's yardstick.
    mcp_bus=$(starting_bus mcp2221)
    (wait_for 60 eval "ls -d /sys/bus/i2c/devices/i2c-$mcp_bus/device/gpiochip* >/dev/null 2>&1" &&
        now_ms >/run/mcp-bound) &
    # While the driver binds: what a user sees, and the program not waiting on it (a
    # wait would cost a whole report time-out of the driver).
    start=$(now_ms)
    kv7320ctl list-bridges >/run/ctl.out 2>&1
    info "mcp2221 while binding, kv7320ctl list-bridges: $(grep mcp2221 /run/ctl.out)"
    check "mcp2221: while its driver binds, kv7320ctl list-bridges says it is still starting" \
        grep -q '^mcp2221 at USB [0-9.-]*: its driver is still starting' /run/ctl.out
    kv7320ctl --bridge KVMCP001 read 14 >/run/ctl.out 2>&1; status=$?
    elapsed=$(( $(now_ms) - start ))
    info "mcp2221 while binding, kv7320ctl read 14 ($elapsed ms for both): $(cat /run/ctl.out)"
    check "mcp2221: while its driver binds, kv7320ctl read fails at once and says why" \
        eval "[ $status -eq 1 ] && [ $elapsed -lt $((mcp2221_report_timeout_ms / 2)) ] &&
              grep -q 'still starting' /run/ctl.out"
    KT_FAMILY=mcp2221 KT_BRIDGE=KVMCP001 /kerneltest starting >/run/starting.out 2>&1 &
    starting_pid=$!
else
    fail "mcp2221: bus appeared while its driver binds (none within 30 s)"
fi

$cp_ok && bridge_checks cp2112 KVCP0001 110 $hid_timeout_ms
$ft_ok && bridge_checks ft260 KVFT2601 5 $ft260_timeout_ms

if [ -n "$starting_pid" ]; then
    wait "$starting_pid"
    cat /run/starting.out
    failures=$((failures + $(grep -c '^FAIL' /run/starting.out)))
    wait_for 30 test -s /run/mcp-bound
    mcp_bind_ms=$(( $(cat /run/mcp-bound 2>/dev/null || now_ms) - mcp_start ))
    check "mcp2221: driver bound (GPIO chip there) $mcp_bind_ms ms after the emulator started" \
        eval "ls -d /sys/bus/i2c/devices/i2c-$(bridge_bus KVMCP001)/device/gpiochip* >/dev/null"
fi
$cp_ok && bridge_replug cp2112 KVCP0001 KVTAKE01 "$cp_bind_ms" $hid_timeout_ms
$ft_ok && bridge_replug ft260 KVFT2601 KVTAKE02 "$ft_bind_ms" $ft260_timeout_ms
if [ -n "$starting_pid" ]; then
    bridge_checks mcp2221 KVMCP001 6 $hid_timeout_ms
    bridge_replug mcp2221 KVMCP001 KVTAKE03 "$mcp_bind_ms" $hid_timeout_ms
fi

for s in KVCP0001 KVFT2601 KVMCP001 KVTAKE01 KVTAKE02 KVTAKE03; do
    check "emulator $s exits cleanly on SIGTERM" stop_bridge "$s"
done
check "and their buses disappear" \
    wait_for 10 eval "no_bridge_bus KVCP0001 && no_bridge_bus KVFT2601 && no_bridge_bus KVMCP001"
# The refusals above, and the USB 2.0 device qualifier a full-speed device does not
# have, are the only requests the emulators may have stalled.
unexpected=$(grep -hv -e '^USBIP-BRIDGE' -e 'charger refused' \
    -e 'stall: bmRequestType 0x80 bRequest 6 wValue 0x0600 ' \
    /run/bridge-KVCP0001.log /run/bridge-KVFT2601.log /run/bridge-KVMCP001.log \
    /run/bridge-KVTAKE0?.log)
check "the HID emulators met no request or report they do not know" [ -z "$unexpected" ]
[ -z "$unexpected" ] || echo "$unexpected"

echo "HID-PHASE: $failures failure(s)"
[ $failures -eq 0 ]
