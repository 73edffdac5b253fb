#include "tests/support/PlcemulatorPort.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace qel::test {

namespace {
void MakeRaw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return;
    ::cfmakeraw(&t);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &t);
}

void WriteAll(int fd, const char* data, std::size_t len) {
    std::size_t done = 0;
    while (done < len) {
        const ssize_t n = ::write(fd, data + done, len - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        else
            ::usleep(100);
    }
}
}  // namespace

RawLinkPort::RawLinkPort(std::string path) : path_(std::move(path)) {}

RawLinkPort::~RawLinkPort() { Close(); }

bool RawLinkPort::Open(std::string* error) {
    if (fd_ >= 0) return true;
    fd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    MakeRaw(fd_);
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { OnReadable(); });
    return true;
}

void RawLinkPort::Close() {
    if (fd_ < 0) return;
    // The link closes the port from inside its byte handler: let the
    // notifier go after the event that is being delivered.
    notifier_->setEnabled(false);
    notifier_.release()->deleteLater();
    ::close(fd_);
    fd_ = -1;
}

bool RawLinkPort::Write(const char* data, std::size_t len) {
    if (fd_ < 0) return false;
    WriteAll(fd_, data, len);
    return true;
}

void RawLinkPort::FlushIn() {
    if (fd_ >= 0) ::tcflush(fd_, TCIFLUSH);
}

void RawLinkPort::OnReadable() {
    char buf[512];
    while (fd_ >= 0) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0) break;
        Deliver(buf, static_cast<std::size_t>(n));
    }
}

PtyRelayPair::PtyRelayPair() = default;

PtyRelayPair::~PtyRelayPair() {
    notA_.reset();
    notB_.reset();
    for (int fd : {masterA_, slaveA_, masterB_, slaveB_})
        if (fd >= 0) ::close(fd);
}

bool PtyRelayPair::Start() {
    char a[128] = {}, b[128] = {};
    if (::openpty(&masterA_, &slaveA_, a, nullptr, nullptr) != 0) return false;
    if (::openpty(&masterB_, &slaveB_, b, nullptr, nullptr) != 0) return false;
    MakeRaw(slaveA_);
    MakeRaw(slaveB_);
    for (int fd : {masterA_, masterB_}) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    pathA_ = a;
    pathB_ = b;
    notA_ = std::make_unique<QSocketNotifier>(masterA_, QSocketNotifier::Read);
    notB_ = std::make_unique<QSocketNotifier>(masterB_, QSocketNotifier::Read);
    connect(notA_.get(), &QSocketNotifier::activated, this, [this] { Pump(masterA_, masterB_); });
    connect(notB_.get(), &QSocketNotifier::activated, this, [this] { Pump(masterB_, masterA_); });
    return true;
}

void PtyRelayPair::Pump(int from, int to) {
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(from, buf, sizeof buf);
        if (n <= 0) break;
        WriteAll(to, buf, static_cast<std::size_t>(n));
    }
}

}  // namespace qel::test
