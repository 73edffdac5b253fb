#include "serial/Serialtermios.h"

#include "serial/Serialerrors.h"

namespace qel {

namespace {
struct SpeedPair {
    uint32_t baud;
    speed_t speed;
};
constexpr SpeedPair kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
};
}  // namespace

speed_t BaudToSpeed(uint32_t baud) {
    for (const auto& s : kSpeeds)
        if (s.baud == baud) return s.speed;
    return 0;
}

uint32_t SpeedToBaud(speed_t speed) {
    for (const auto& s : kSpeeds)
        if (s.speed == speed) return s.baud;
    return 0;
}

int32_t DcbToTermios(const TLineDCB& dcb, termios& tio) {
    speed_t sp = BaudToSpeed(dcb.Baud);
    if (sp == 0) return ecBaudRate;
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8) return ecByteSize;
    if (dcb.DtrControl == 2 || dcb.OutxDsrFlow) return ecBadArgument;
    if (dcb.Parity > 4) return ecBadArgument;

    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD | HUPCL;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[dcb.ByteSize - 5];
    switch (dcb.Parity) {
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
    case 3: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    // One and a half stop bits exist only with 5 data bits, where the UART
    // sends them for CSTOPB.
    if (dcb.StopBits != 0) tio.c_cflag |= CSTOPB;
    // Parity is generated but not checked: the link's own check sum catches
    // a corrupted character.
    tio.c_iflag &= ~(INPCK | IGNPAR | PARMRK | IXON | IXOFF | IXANY);
    if (dcb.OutX) tio.c_iflag |= IXON;
    if (dcb.InX) tio.c_iflag |= IXOFF;
    tio.c_cc[VSTART] = cc_t(dcb.XonChar);
    tio.c_cc[VSTOP] = cc_t(dcb.XoffChar);
    if (dcb.RtsControl == 2 || dcb.OutxCtsFlow) tio.c_cflag |= CRTSCTS;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, sp);
    cfsetospeed(&tio, sp);
    return 0;
}

void TermiosToDcb(const termios& tio, TLineDCB& dcb) {
    if (uint32_t b = SpeedToBaud(cfgetospeed(&tio))) dcb.Baud = b;
    switch (tio.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
    }
    if (!(tio.c_cflag & PARENB)) {
        dcb.Parity = 0;
    } else if (tio.c_cflag & CMSPAR) {
        dcb.Parity = (tio.c_cflag & PARODD) ? 3 : 4;
    } else {
        dcb.Parity = (tio.c_cflag & PARODD) ? 1 : 2;
    }
    if (!(tio.c_cflag & CSTOPB))
        dcb.StopBits = 0;
    else
        dcb.StopBits = dcb.ByteSize == 5 ? 1 : 2;
    dcb.OutX = tio.c_iflag & IXON;
    dcb.InX = tio.c_iflag & IXOFF;
    dcb.XonChar = uint8_t(tio.c_cc[VSTART]);
    dcb.XoffChar = uint8_t(tio.c_cc[VSTOP]);
    bool crtscts = tio.c_cflag & CRTSCTS;
    dcb.OutxCtsFlow = crtscts;
    if (crtscts) dcb.RtsControl = 2;
    else if (dcb.RtsControl == 2) dcb.RtsControl = 1;
}

}  // namespace qel
