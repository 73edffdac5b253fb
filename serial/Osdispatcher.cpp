#include "serial/Osdispatcher.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "serial/Serialerrors.h"
#include "serial/Serialtermios.h"

namespace qel {

namespace {

int32_t MapOpenErrno(int e) {
    switch (e) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
    case ENOTTY: return ecBadId;
    case EBUSY:
    case EWOULDBLOCK: return ecAlreadyOpen;
    case ENOMEM:
    case EMFILE:
    case ENFILE: return -8;
    default: return -e;
    }
}

void Signal(int fd) {
    if (fd < 0) return;
    uint64_t one = 1;
    ssize_t r = ::write(fd, &one, sizeof one);
    (void)r;
}

void Drain(int fd) {
    uint64_t v;
    ssize_t r = ::read(fd, &v, sizeof v);
    (void)r;
}

bool NoSuchFeature(int e) { return e == ENOTTY || e == EINVAL || e == ENOSYS || e == EOPNOTSUPP; }

}  // namespace

TOsDispatcher::TOsDispatcher(TCustomComPort* owner) : TBaseDispatcher(owner) {}

TOsDispatcher::~TOsDispatcher() { DonePortPrim(); }

int32_t TOsDispatcher::OpenCom(const std::string& device, uint32_t, uint32_t) {
    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return MapOpenErrno(errno);
    termios tio;
    if (::tcgetattr(fd, &tio) < 0) {
        int e = errno;
        ::close(fd);
        return MapOpenErrno(e);
    }
    // flock is what keeps a second opener out (TIOCEXCL does not stop root).
    if (::flock(fd, LOCK_EX | LOCK_NB) < 0) {
        int e = errno;
        ::close(fd);
        return e == EWOULDBLOCK ? ecAlreadyOpen : MapOpenErrno(e);
    }
    ::ioctl(fd, TIOCEXCL);
    // A port opens with nothing received. A device that someone else kept
    // open (the far end of a pseudo-terminal) still holds what came while the
    // port was closed, such as a late reply to a request of the last opening;
    // read now, it would be taken for the answer to this opening's first one.
    ::tcflush(fd, TCIFLUSH);
    DispWake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    OutWake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (DispWake_ < 0 || OutWake_ < 0) {
        if (DispWake_ >= 0) ::close(DispWake_);
        if (OutWake_ >= 0) ::close(OutWake_);
        DispWake_ = OutWake_ = -1;
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return -8;
    }
    Fd_ = fd;
    HasModemLines_ = true;
    HasICount_ = ::ioctl(fd, TIOCGICOUNT, &LastCounts_) == 0;
    HaveWritten_ = false;
    return fd;
}

int32_t TOsDispatcher::SetupCom(uint32_t, uint32_t) {
    // Linux drivers size their queues themselves; the rings keep the sizes asked.
    return 0;
}

int32_t TOsDispatcher::GetComState(TLineDCB& dcb) {
    if (HaveWritten_) {
        dcb = Written_;
        return 0;
    }
    termios tio;
    if (Fd_ < 0 || ::tcgetattr(Fd_, &tio) < 0) return -1;
    TermiosToDcb(tio, dcb);
    return 0;
}

int32_t TOsDispatcher::SetComState(const TLineDCB& dcb) {
    termios tio;
    if (Fd_ < 0) return ecCommNotOpen;
    if (::tcgetattr(Fd_, &tio) < 0) return -errno;
    if (int32_t e = DcbToTermios(dcb, tio); e != 0) return e;
    if (::tcsetattr(Fd_, TCSANOW, &tio) < 0) {
        // The C library reports EINVAL when the driver kept none of the
        // change. A pseudo-terminal always forces 8 bits without parity; when
        // the speed and stop bits are as asked, the line is as good as it gets.
        int e = errno;
        termios now;
        if (e != EINVAL || ::tcgetattr(Fd_, &now) < 0 || cfgetospeed(&now) != cfgetospeed(&tio) ||
            (now.c_cflag & CSTOPB) != (tio.c_cflag & CSTOPB))
            return -e;
    }
    Written_ = dcb;
    HaveWritten_ = true;
    return 0;
}

int32_t TOsDispatcher::GetComErrorPrim(TComStatus& stat) {
    int n = 0;
    stat.InQue = (Fd_ >= 0 && ::ioctl(Fd_, FIONREAD, &n) == 0 && n > 0) ? uint32_t(n) : 0;
    stat.Flags = 0;
    std::lock_guard lock(CountsMutex_);
    if (!HasICount_ || Fd_ < 0) return 0;
    serial_icounter_struct now{};
    if (::ioctl(Fd_, TIOCGICOUNT, &now) < 0) {
        if (NoSuchFeature(errno)) HasICount_ = false;
        return 0;
    }
    int32_t flags = 0;
    if (now.buf_overrun != LastCounts_.buf_overrun) flags |= 1;
    if (now.overrun != LastCounts_.overrun) flags |= 2;
    if (now.parity != LastCounts_.parity) flags |= 4;
    if (now.frame != LastCounts_.frame) flags |= 8;
    if (now.brk != LastCounts_.brk) flags |= 16;
    LastCounts_ = now;
    return flags;
}

int32_t TOsDispatcher::ReadCom(uint8_t* buf, uint32_t size) {
    if (Fd_ < 0 || size == 0) return 0;
    for (;;) {
        ssize_t n = ::read(Fd_, buf, size);
        if (n > 0) return int32_t(n);
        // In raw mode with no minimum count a terminal answers 0 when it has
        // nothing; a hang-up shows in poll() instead.
        if (n == 0) return 0;
        if (errno == EINTR) continue;
        if (errno != EAGAIN) MarkDeviceLost(errno);
        return 0;
    }
}

// Called with OutputSection held. The queued bytes go straight to the device
// from the caller's thread (the descriptor does not block), which spares a
// hand-over per frame; the output thread is woken only for what the device did
// not take, or to meet an error on its own write.
void TOsDispatcher::OutputQueued() {
    if (Fd_ >= 0 && LostError_ == 0 && !KillThreads_) {
        while (OutHead_ != OutTail_) {
            uint32_t idx = uint32_t(OutTail_ % OutQueSize_);
            uint32_t run = std::min(OutRingUsed_locked(), OutQueSize_ - idx);
            ssize_t w = ::write(Fd_, &OutBuffer_[idx], run);
            if (w > 0) {
                OutTail_ += uint64_t(w);
                continue;
            }
            if (w < 0 && errno == EINTR) continue;
            break;
        }
        if (OutHead_ == OutTail_) return;
    }
    Signal(OutWake_);
}

int32_t TOsDispatcher::FlushComPrim(int queue) {
    if (Fd_ < 0) return 0;
    if (::tcflush(Fd_, queue == 0 ? TCOFLUSH : TCIFLUSH) < 0) return LostError_ ? 0 : -errno;
    return 0;
}

int32_t TOsDispatcher::EscapeComFunction(int func) {
    if (Fd_ < 0) return ecCommNotOpen;
    if (!HasModemLines_) return 0;
    int bits = (func == efSetDtr || func == efClrDtr) ? TIOCM_DTR : TIOCM_RTS;
    bool set = func == efSetDtr || func == efSetRts;
    if (::ioctl(Fd_, set ? TIOCMBIS : TIOCMBIC, &bits) < 0) {
        if (NoSuchFeature(errno)) {
            // No modem lines on this device: the levels are only remembered.
            HasModemLines_ = false;
            return 0;
        }
        return -errno;
    }
    return 0;
}

uint8_t TOsDispatcher::ModemLines() {
    if (Fd_ < 0 || !HasModemLines_) return 0;
    int m = 0;
    if (::ioctl(Fd_, TIOCMGET, &m) < 0) return 0;
    uint8_t r = 0;
    if (m & TIOCM_CTS) r |= 0x10;
    if (m & TIOCM_DSR) r |= 0x20;
    if (m & TIOCM_RNG) r |= 0x40;
    if (m & TIOCM_CD) r |= 0x80;
    return r;
}

void TOsDispatcher::SetBreakPrim(bool on) {
    if (Fd_ >= 0) ::ioctl(Fd_, on ? TIOCSBRK : TIOCCBRK);
}

uint32_t TOsDispatcher::DriverOutQueue() {
    int n = 0;
    if (Fd_ < 0 || ::ioctl(Fd_, TIOCOUTQ, &n) < 0 || n < 0) return 0;
    return uint32_t(n);
}

int32_t TOsDispatcher::CloseCom() {
    int32_t rc = 0;
    if (Fd_ >= 0) {
        ::ioctl(Fd_, TIOCNXCL);
        if (::close(Fd_) < 0) rc = -1;
        Fd_ = -1;
    }
    if (DispWake_ >= 0) ::close(DispWake_);
    if (OutWake_ >= 0) ::close(OutWake_);
    DispWake_ = OutWake_ = -1;
    return rc;
}

void TOsDispatcher::WakeThreads() {
    Signal(DispWake_);
    Signal(OutWake_);
}

// ---------------------------------------------------------------- threads

int32_t TOsDispatcher::StartDispatcher() {
    if (DispActive_) throw ESerialException(0, "Dispatcher already started");
    DispActive_ = true;
    KillThreads_ = false;
    try {
        DispThread_ = std::thread(&TOsDispatcher::DispThreadExecute, this);
        OutThread_ = std::thread(&TOsDispatcher::OutThreadExecute, this);
    } catch (const std::system_error&) {
        StopDispatcher();
        return -8;
    }
    return 0;
}

void TOsDispatcher::StopDispatcher() {
    KillThreads_ = true;
    if (std::this_thread::get_id() == DispThreadId_.load()) return;  // cannot join itself
    CancelPendingDelivery();
    WakeThreads();
    if (OutThread_.joinable()) OutThread_.join();
    if (DispThread_.joinable()) DispThread_.join();
    DispActive_ = false;
}

void TOsDispatcher::DispThreadExecute() {
    DispThreadId_ = std::this_thread::get_id();
    ActiveThreads_.fetch_add(1);
    try {
        while (!KillThreads_ && !ClosePending_) {
            pollfd fds[2] = {{DispWake_, POLLIN, 0}, {Fd_, POLLIN, 0}};
            // The device is left out while the buffer is full (it would stay
            // readable and spin us) and once it has gone (it would report the
            // hang-up for ever).
            nfds_t n = (LostError_ == 0 && DispatchHasRoom()) ? 2 : 1;
            int r = ::poll(fds, n, 50);
            if (r < 0 && errno != EINTR) break;
            if (fds[0].revents & POLLIN) Drain(DispWake_);
            if (KillThreads_) break;
            DispatcherPass();
            if (n == 2 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) && LostError_ == 0) {
                // Whatever was still readable has been taken by the pass.
                ExtractData();
                MarkDeviceLost(EIO);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "serial %s: dispatcher stopped: %s\n", PortName.c_str(), e.what());
        MarkDeviceLost(EIO);
    }
    DispThreadId_ = std::thread::id();
    ActiveThreads_.fetch_sub(1);
}

void TOsDispatcher::WriteOut(bool& blocked) {
    int lostErr = 0;
    {
        std::lock_guard lock(OutputSection);
        while (OutHead_ != OutTail_ && LostError_ == 0 && !KillThreads_) {
            uint32_t idx = uint32_t(OutTail_ % OutQueSize_);
            uint32_t run = std::min(OutRingUsed_locked(), OutQueSize_ - idx);
            ssize_t w = ::write(Fd_, &OutBuffer_[idx], run);
            if (w > 0) {
                OutTail_ += uint64_t(w);
                continue;
            }
            if (w < 0 && errno == EINTR) continue;
            if (w < 0 && errno == EAGAIN) {
                blocked = true;
                break;
            }
            lostErr = w < 0 ? errno : EIO;
            break;
        }
    }
    if (lostErr) MarkDeviceLost(lostErr);
}

void TOsDispatcher::OutThreadExecute() {
    ActiveThreads_.fetch_add(1);
    try {
        while (!KillThreads_ && !ClosePending_) {
            bool blocked = false;
            WriteOut(blocked);
            pollfd fds[2] = {{OutWake_, POLLIN, 0}, {Fd_, POLLOUT, 0}};
            nfds_t n = (blocked && LostError_ == 0) ? 2 : 1;
            int r = ::poll(fds, n, -1);
            if (r < 0 && errno != EINTR) break;
            if (fds[0].revents & POLLIN) Drain(OutWake_);
            if (n == 2 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) MarkDeviceLost(EIO);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "serial %s: output stopped: %s\n", PortName.c_str(), e.what());
        MarkDeviceLost(EIO);
    }
    ActiveThreads_.fetch_sub(1);
}

}  // namespace qel
