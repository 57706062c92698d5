#include "busstatus.h"

#include <cerrno>
#include <cstring>

namespace BusStatus {

namespace {
// What the i2c and USB drivers mean by the kernel errors they return for a transfer.
// The bridge drivers differ: a charger that does not acknowledge is ENXIO through
// i2c-tiny-usb, hid-mcp2221 and i2c-diolan-u2c, ETIMEDOUT through hid-cp2112 and EIO
// through hid-ft260 (Linux 6.1's has no other error for a failed transfer); a register
// the charger refuses is EIO through all of them; a bridge that does not answer is
// ETIMEDOUT (the HID bridges after 5 s, hid-ft260 after 10 s, i2c-diolan-u2c after
// 0.2 s, hid-mcp2221 also while it is still binding).
const char *kernelText(int32_t error)
{
    switch (error) {
    case EPERM:
    case EACCES:
        return "no permission to use the bridge";
    case ENOENT:
        return "the bridge's device node is not there";
    case EINTR:
        return "the transfer was interrupted";
    case EIO:
        return "input/output error (the charger refused the register, or the bridge "
               "failed the transfer; an FT260 reports a charger's NAK this way)";
    case ENXIO:
        return "no device acknowledged the charger's address";
    case EAGAIN:
        return "the bridge was busy or lost the transfer; try again";
    case ENOMEM:
        return "the driver ran out of memory";
    case EBUSY:
        return "the bus is busy";
    case ENODEV:
        return "the bridge or the charger is not there";
    case EINVAL:
        return "the driver refused the request";
    case ENOTTY:
        return "the device is not an i2c bus";
    case EPIPE:
        return "the bridge stalled the USB request";
    case EBADMSG:
        return "the packet error check failed";
    case EPROTO:
        return "the bridge or the charger broke the protocol";
    case EMSGSIZE:
        return "the reply had the wrong length";
    case EOPNOTSUPP:
        return "the bridge does not do this transfer";
    case ESHUTDOWN:
        return "the bridge was shut down or unplugged";
    case ETIMEDOUT:
        return "timed out: the bridge did not answer in time (a CP2112 also reports a "
               "charger's NAK this way)";
    case EREMOTEIO:
        return "the charger did not acknowledge (NAK)";
    case EPROTONOSUPPORT:
        return "the bridge does not support this protocol";
    case ECONNRESET:
        return "the USB request was cancelled";
    case EILSEQ:
        return "the USB transfer was corrupted";
    case EOVERFLOW:
        return "the reply was longer than expected";
    default:
        return nullptr;
    }
}
} // namespace

std::string text(int32_t status)
{
    switch (status) {
    case kOk:
        return "success";
    case kNotOpen:
        return "no adapter open";
    case kNoSuchAdapter:
        return "no adapter of that name";
    case kNoWordTransfers:
        return "the bus does no SMBus word transfers";
    case kBridgeGone:
        return "the bridge was unplugged";
    case kNotSupported:
        return "not supported by this adapter";
    case kNoWriteYet:
        return "no write to check";
    case kInternal:
        return "internal error in the adapter";
    case kInUse:
        return "another program holds the bridge";
    case kNotAnswering:
        return "the bridge is not answering; not asked again yet";
    case kRegisterRefused:
        return "the charger did not accept the register";
    case kInjectedFault:
        return "simulated fault";
    case kAdapterFault:
        return "the adapter failed";
    case kNotAByte:
        return "the adapter gave a value that is not a byte";
    case kUnplugged:
        return "the simulated charger is unplugged";
    case kBridgeStarting:
        return "the bridge's driver is still starting; try again in a moment";
    default:
        break;
    }
    if (status > 0 && status < 1000) {
        if (const char *known = kernelText(status))
            return known;
        return std::string("kernel error: ") + std::strerror(status);
    }
    return "unknown status";
}

std::string describe(int32_t status)
{
    return "status " + std::to_string(status) + " (" + text(status) + ")";
}

} // namespace BusStatus
