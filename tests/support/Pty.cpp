#include "tests/support/Pty.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <stdexcept>

namespace qel::test {

Pty::Pty() {
    int slave = -1;
    char name[256] = {};
    termios tio{};
    cfmakeraw(&tio);
    if (::openpty(&master_, &slave, name, &tio, nullptr) < 0) throw std::runtime_error("openpty failed");
    slavePath_ = name;
    // Keeping one slave descriptor open stops the master from seeing a
    // hang-up each time the component closes its own descriptor.
    slaveKeep_ = slave;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slaveKeep_, F_SETFD, FD_CLOEXEC);
}

Pty::~Pty() {
    if (master_ >= 0) ::close(master_);
    if (slaveKeep_ >= 0) ::close(slaveKeep_);
}

bool Pty::Write(const void* data, size_t len, std::chrono::milliseconds limit) {
    const auto* p = static_cast<const uint8_t*>(data);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    size_t done = 0;
    while (done < len) {
        ssize_t n = ::write(master_, p + done, len - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd fd{master_, POLLOUT, 0};
        ::poll(&fd, 1, int(std::min<long>(left.count(), 50)));
    }
    return true;
}

std::vector<uint8_t> Pty::Read(size_t n, std::chrono::milliseconds limit) {
    std::vector<uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    uint8_t buf[4096];
    while (out.size() < n) {
        ssize_t r = ::read(master_, buf, std::min(sizeof buf, n - out.size()));
        if (r > 0) {
            out.insert(out.end(), buf, buf + r);
            continue;
        }
        if (r < 0 && errno != EAGAIN && errno != EINTR) break;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd fd{master_, POLLIN, 0};
        ::poll(&fd, 1, int(std::min<long>(left.count(), 50)));
    }
    return out;
}

std::vector<uint8_t> Pty::ReadAvailable() {
    std::vector<uint8_t> out;
    uint8_t buf[4096];
    for (;;) {
        ssize_t r = ::read(master_, buf, sizeof buf);
        if (r <= 0) break;
        out.insert(out.end(), buf, buf + r);
    }
    return out;
}

int Pty::SlavePending() const {
    int n = 0;
    if (slaveKeep_ < 0 || ::ioctl(slaveKeep_, FIONREAD, &n) < 0) return -1;
    return n;
}

void Pty::CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
    if (slaveKeep_ >= 0) ::close(slaveKeep_);
    slaveKeep_ = -1;
}

PtyPeer::PtyPeer(QObject* parent) : QObject(parent) {}

PtyPeer::~PtyPeer() {
    if (pausedReader_.joinable()) pausedReader_.join();
    notifier_.reset();
}

bool PtyPeer::Start() {
    try {
        pty_ = std::make_unique<Pty>();
    } catch (const std::exception&) {
        return false;
    }
    master_ = pty_->MasterFd();
    notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { OnReadable(); });
    return true;
}

void PtyPeer::Hangup() {
    if (pausedReader_.joinable()) pausedReader_.join();
    notifier_.reset();
    pty_.reset();
    master_ = -1;
}

void PtyPeer::PauseReading(int ms) {
    if (!notifier_) return;
    notifier_->setEnabled(false);
    if (pausedReader_.joinable()) pausedReader_.join();
    pausedReader_ = std::thread([this, ms, fd = master_] {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
        char buf[4096];
        auto whole = [&] {
            const size_t colon = got.rfind(':');
            return colon != std::string::npos && got.find('\n', colon) != std::string::npos;
        };
        while (!whole() && std::chrono::steady_clock::now() < deadline) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                got.append(buf, size_t(n));
                continue;
            }
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, 50);
        }
        QMetaObject::invokeMethod(this, [this, got] {
            Take(got.data(), got.size());
            if (notifier_) notifier_->setEnabled(true);
        }, Qt::QueuedConnection);
    });
}

void PtyPeer::OnReadable() {
    char buf[512];
    // A line handled here may pause the reading.
    while (notifier_ && notifier_->isEnabled()) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) break;
        Take(buf, size_t(n));
    }
}

void PtyPeer::Take(const char* data, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (data[i] == ':') {
            rx_.clear();
            OnFrameStart();
        }
        rx_.push_back(data[i]);
        if (data[i] == '\n') {
            const std::string text = std::move(rx_);
            rx_.clear();
            OnLine(text);
        }
    }
}

void EnsureCoreApp() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char arg0[] = "qel-test";
    static char* argv[] = {arg0, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
}

bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

namespace {
int CountEntries(const char* dir) {
    int n = 0;
    if (DIR* d = ::opendir(dir)) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
        // Includes this directory stream's own descriptor under /proc/self/fd;
        // callers compare counts, so the constant offset does not matter.
    }
    return n;
}
}  // namespace

int OpenDescriptorCount() { return CountEntries("/proc/self/fd"); }
int ThreadCount() { return CountEntries("/proc/self/task"); }

double ProcessCpuMs() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000.0 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000.0;
}

}  // namespace qel::test
