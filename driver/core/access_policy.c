#include "access_policy.h"

#include "ec_hardware.h"
#include "latchwire_device.h"

#define VENDOR_ID_OFFSET 0u
#define VENDOR_ID_BYTES  2u
#define DECODE_BASE_BYTES 2u
#define DECODE_CTL_BYTES  1u

/* One register of an LPC bridge: location and byte range. */
typedef struct BridgeRegister {
    uint32_t device;
    uint32_t function;
    uint32_t offset;
    uint32_t bytes;
} BridgeRegister;

static const BridgeRegister DecodeRegisters[] = {
    { FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_BASE, DECODE_BASE_BYTES },
    { FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_CTL, DECODE_CTL_BYTES },
    { SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION, SECOND_CHIPSET_DECODE_BASE, DECODE_BASE_BYTES },
};

static const BridgeRegister VendorIds[] = {
    { FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, VENDOR_ID_OFFSET, VENDOR_ID_BYTES },
    { SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION, VENDOR_ID_OFFSET, VENDOR_ID_BYTES },
};

#define COUNT_OF(a) (sizeof(a) / sizeof((a)[0]))

/* Index high, index low and data port: base + 1 .. base + 3. */
static int IsIndexWindowPort(uint32_t port)
{
    return (port >= FIRST_CHIPSET_INDEX_BASE + 1 && port <= FIRST_CHIPSET_INDEX_BASE + 3) ||
           (port >= SECOND_CHIPSET_INDEX_BASE + 1 && port <= SECOND_CHIPSET_INDEX_BASE + 3);
}

static int WithinOneOf(const LwAccess* r, const BridgeRegister* registers, uint32_t count)
{
    uint32_t i;
    if (r->bus != LPC_BRIDGE_BUS || r->length == 0) return 0;
    for (i = 0; i < count; i++) {
        const BridgeRegister* reg = &registers[i];
        if (r->device == reg->device && r->function == reg->function && r->offset >= reg->offset &&
            r->length <= reg->bytes && r->offset - reg->offset <= reg->bytes - r->length) {
            return 1;
        }
    }
    return 0;
}

static int IsStickyKeyCommand(const LwAccess* r)
{
    return r->ecCommand == STICKY_CMD && r->ecDataCount == 1 && r->ecData >= STICKY_DATA_ON &&
           r->ecData <= STICKY_DATA_FN_UP;
}

int lw_access_allowed(const LwAccess* request, int callerIsAdmin)
{
    if (callerIsAdmin) return 1;
    switch (request->code) {
    case IOCTL_READ_PORT_UCHAR:
    case IOCTL_WRITE_PORT_UCHAR:
        return IsIndexWindowPort(request->port);
    case IOCTL_PCI_CONFIG_READ:
        return WithinOneOf(request, VendorIds, COUNT_OF(VendorIds)) ||
               WithinOneOf(request, DecodeRegisters, COUNT_OF(DecodeRegisters));
    case IOCTL_PCI_CONFIG_WRITE:
        return WithinOneOf(request, DecodeRegisters, COUNT_OF(DecodeRegisters));
    case IOCTL_EC_IO_SEND:
        return IsStickyKeyCommand(request);
    default:
        return 0;
    }
}
