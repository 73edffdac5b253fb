#pragma once
// Test transports for the link: a raw device port that opens a path the way
// the serial component does (non-blocking, raw line), and a relay that joins
// two pseudo-terminals so that two programs that both open a device path (the
// link and a foreign Modbus peer) can talk.
#include <QObject>

#include <memory>
#include <string>

#include "link/engine/Linkport.h"

class QSocketNotifier;

namespace qel::test {

class RawLinkPort final : public link::TLinkPort {
public:
    explicit RawLinkPort(std::string path);
    ~RawLinkPort() override;

    bool Open(std::string* error) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    int ComNumber() const override { return 1; }
    int Baud() const override { return baud_; }
    void SetBaud(int baud) override { baud_ = baud; }
    std::size_t OutFree() const override { return 4096; }
    bool Write(const char* data, std::size_t len) override;
    void FlushIn() override;
    void FlushOut() override {}

private:
    void OnReadable();

    std::string path_;
    int fd_ = -1;
    int baud_ = 9600;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// Two pseudo-terminals whose master sides copy bytes to each other.
class PtyRelayPair : public QObject {
public:
    PtyRelayPair();
    ~PtyRelayPair() override;
    bool Start();
    std::string PathA() const { return pathA_; }
    std::string PathB() const { return pathB_; }

private:
    void Pump(int from, int to);
    int masterA_ = -1, slaveA_ = -1, masterB_ = -1, slaveB_ = -1;
    std::string pathA_, pathB_;
    std::unique_ptr<QSocketNotifier> notA_, notB_;
};

}  // namespace qel::test
