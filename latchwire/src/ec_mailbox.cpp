// EC mailbox through the driver: the caller's arguments packed into one
// EcIoRequest, one device call, the EC conversation left to the driver.
#include "device_call.h"
#include "latchwire.h"
#include "latchwire_device.h"

namespace {

// Fields the caller does not give (padding, and for the send the last two
// words) go to the driver as zeros.
EcIoRequest MailboxRecord(UCHAR p1, UCHAR p2, UCHAR p3, ULONG p4, ULONG p5)
{
    EcIoRequest record{};
    record.Param1 = p1;
    record.Param2 = p2;
    record.Param3 = p3;
    record.Param4 = p4;
    record.Param5 = p5;
    return record;
}

int SendMailbox(const char* exportName, DWORD code, EcIoRequest& record)
{
    latchwire::DeviceRequest request{exportName, GENERIC_WRITE, code, &record, sizeof record};
    return latchwire::DeviceCall(request);
}

}  // namespace

extern "C" {

int EC_IO_ReceiveCOMM(UCHAR Param1, UCHAR Param2, UCHAR Param3, ULONG Param4, ULONG Param5, ULONG Param6,
                      ULONG Param7)
{
    EcIoRequest record = MailboxRecord(Param1, Param2, Param3, Param4, Param5);
    record.Param6 = Param6;
    record.Param7 = Param7;
    return SendMailbox("EC_IO_ReceiveCOMM", IOCTL_EC_IO_RECEIVE, record);
}

int EC_IO_SendCOMM(UCHAR Param1, UCHAR Param2, UCHAR Param3, ULONG Param4, ULONG Param5)
{
    EcIoRequest record = MailboxRecord(Param1, Param2, Param3, Param4, Param5);
    return SendMailbox("EC_IO_SendCOMM", IOCTL_EC_IO_SEND, record);
}

}  // extern "C"
