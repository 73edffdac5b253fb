#pragma once
// The serial line as the link engine sees it. The program binds it to the
// serial port component; tests may bind it to any byte stream.
#include <cstddef>
#include <functional>
#include <string>

namespace qel::link {

class TLinkPort {
public:
    using BytesHandler = std::function<void(const char* data, std::size_t len)>;

    virtual ~TLinkPort() = default;

    // Opens the line; on failure returns false with a reason in *error.
    virtual bool Open(std::string* error) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Number shown in "(COMn)" messages.
    virtual int ComNumber() const = 0;
    virtual int Baud() const = 0;
    virtual void SetBaud(int baud) = 0;
    // Sets the rate and says whether the line runs at it; on failure the
    // reason is in *error and the line keeps its previous rate.
    virtual bool ChangeBaud(int baud, std::string* error) {
        SetBaud(baud);
        if (Baud() == baud) return true;
        if (error) *error = "the line does not take " + std::to_string(baud) + " baud";
        return false;
    }
    // Free room in the output buffer, in bytes.
    virtual std::size_t OutFree() const = 0;
    // Queues all of the bytes or none; false when they were not queued.
    virtual bool Write(const char* data, std::size_t len) = 0;
    virtual void FlushIn() = 0;
    virtual void FlushOut() = 0;
    // True while received bytes wait that were not yet delivered.
    virtual bool CharWaiting() const { return false; }

    // Received bytes are delivered on the GUI thread through this handler.
    void SetBytesHandler(BytesHandler h) { bytesHandler_ = std::move(h); }

protected:
    void Deliver(const char* data, std::size_t len) {
        if (bytesHandler_) bytesHandler_(data, len);
    }

private:
    BytesHandler bytesHandler_;
};

}  // namespace qel::link
