#include "access_policy.h"

#include "ec_hardware.h"
#include "latchwire_device.h"

#define VENDOR_ID_OFFSET 0u
#define VENDOR_ID_BYTES  2u
#define DECODE_BASE_BYTES 2u
#define DECODE_CTL_BYTES  1u

#define INDEX_HIGH_OFFSET 1u
#define INDEX_LOW_OFFSET  2u
#define DATA_OFFSET       3u

#define COUNT_OF(a) (sizeof(a) / sizeof((a)[0]))

/* One register of an LPC bridge: location and byte range. */
typedef struct BridgeRegister {
    uint32_t device;
    uint32_t function;
    uint32_t offset;
    uint32_t bytes;
} BridgeRegister;

enum DecodeRegister { FIRST_BASE, FIRST_CONTROL, SECOND_BASE };

static const BridgeRegister DecodeRegisters[] = {
    { FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_BASE, DECODE_BASE_BYTES },
    { FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_CTL, DECODE_CTL_BYTES },
    { SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION, SECOND_CHIPSET_DECODE_BASE, DECODE_BASE_BYTES },
};

static const BridgeRegister VendorIds[] = {
    { FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, VENDOR_ID_OFFSET, VENDOR_ID_BYTES },
    { SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION, VENDOR_ID_OFFSET, VENDOR_ID_BYTES },
};

/* The EC addresses an exchange puts into the index ports. */
static const uint32_t ExchangeAddresses[] = { EC_FLAG_REG, EC_CMD_REG, EC_DATA_REG, EC_DEFAULT_ADDR };

static const uint32_t IndexBases[] = { FIRST_CHIPSET_INDEX_BASE, SECOND_CHIPSET_INDEX_BASE };

/* Which port of an index window this is (1 high, 2 low, 3 data), 0 if none. */
static uint32_t IndexWindowOffset(uint32_t port)
{
    uint32_t i;
    for (i = 0; i < COUNT_OF(IndexBases); i++) {
        if (port > IndexBases[i] && port - IndexBases[i] <= DATA_OFFSET) return port - IndexBases[i];
    }
    return 0;
}

uint32_t lw_index_base_of_data_port(uint32_t port)
{
    return IndexWindowOffset(port) == DATA_OFFSET ? port - DATA_OFFSET : 0;
}

int lw_access_needs_ec_register(uint32_t code, uint32_t port)
{
    return (code == IOCTL_READ_PORT_UCHAR || code == IOCTL_WRITE_PORT_UCHAR) && IndexWindowOffset(port) == DATA_OFFSET;
}

static int IsExchangeIndexByte(uint32_t offset, uint32_t value)
{
    uint32_t i;
    for (i = 0; i < COUNT_OF(ExchangeAddresses); i++) {
        uint32_t byte = offset == INDEX_HIGH_OFFSET ? ExchangeAddresses[i] >> 8 : ExchangeAddresses[i] & 0xFFu;
        if (value == byte) return 1;
    }
    return 0;
}

/* What the sticky-key exchange writes to the register the index selects. */
static int IsExchangeDataByte(uint32_t ecRegister, uint32_t value)
{
    switch (ecRegister) {
    case EC_FLAG_REG: return value == FLAG_FREE || value == FLAG_POSTED || value == FLAG_READY;
    case EC_CMD_REG: return value == STICKY_CMD;
    case EC_DATA_REG: return value >= STICKY_DATA_ON && value <= STICKY_DATA_FN_UP;
    default: return 0;
    }
}

static int PortReadAllowed(const LwAccess* r)
{
    uint32_t offset = IndexWindowOffset(r->port);
    if (offset == 0) return 0;
    return offset != DATA_OFFSET || r->ecRegister == EC_FLAG_REG;
}

static int PortWriteAllowed(const LwAccess* r)
{
    uint32_t offset = IndexWindowOffset(r->port);
    if (offset == 0) return 0;
    if (offset == DATA_OFFSET) return IsExchangeDataByte(r->ecRegister, r->value);
    return IsExchangeIndexByte(offset, r->value);
}

static int Within(const LwAccess* r, const BridgeRegister* reg)
{
    return r->bus == LPC_BRIDGE_BUS && r->length != 0 && r->device == reg->device && r->function == reg->function &&
           r->offset >= reg->offset && r->length <= reg->bytes && r->offset - reg->offset <= reg->bytes - r->length;
}

static int WithinOneOf(const LwAccess* r, const BridgeRegister* registers, uint32_t count)
{
    uint32_t i;
    for (i = 0; i < count; i++) {
        if (Within(r, &registers[i])) return 1;
    }
    return 0;
}

/* The values a standard user may write to a whole decode register. */
static int IsDecodeValue(uint32_t which, uint32_t value, const LwDecodeFound* found)
{
    switch (which) {
    case FIRST_BASE: return value == FIRST_CHIPSET_INDEX_BASE || value == found->firstBase;
    case FIRST_CONTROL: return value == (found->firstControl | FIRST_CHIPSET_DECODE_BITS) || value == found->firstControl;
    default: return value == SECOND_CHIPSET_DECODE_OPEN || value == found->secondBase;
    }
}

static int DecodeWriteAllowed(const LwAccess* r, const LwDecodeFound* found)
{
    uint32_t i;
    for (i = 0; i < COUNT_OF(DecodeRegisters); i++) {
        const BridgeRegister* reg = &DecodeRegisters[i];
        if (Within(r, reg)) {
            return r->offset == reg->offset && r->length == reg->bytes && IsDecodeValue(i, r->value, found);
        }
    }
    return 0;
}

static int IsStickyKeyCommand(const LwAccess* r)
{
    return r->ecCommand == STICKY_CMD && r->ecDataCount == 1 && r->ecData >= STICKY_DATA_ON &&
           r->ecData <= STICKY_DATA_FN_UP;
}

int lw_access_allowed(const LwAccess* request, int callerIsAdmin, const LwDecodeFound* found)
{
    if (callerIsAdmin) return 1;
    switch (request->code) {
    case IOCTL_READ_PORT_UCHAR:
        return PortReadAllowed(request);
    case IOCTL_WRITE_PORT_UCHAR:
        return PortWriteAllowed(request);
    case IOCTL_PCI_CONFIG_READ:
        return WithinOneOf(request, VendorIds, COUNT_OF(VendorIds)) ||
               WithinOneOf(request, DecodeRegisters, COUNT_OF(DecodeRegisters));
    case IOCTL_PCI_CONFIG_WRITE:
        return DecodeWriteAllowed(request, found);
    case IOCTL_EC_IO_SEND:
        return IsStickyKeyCommand(request);
    default:
        return 0;
    }
}
