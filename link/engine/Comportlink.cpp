#include "link/engine/Comportlink.h"

#include <exception>
#include <string>

namespace qel::link {

namespace {
constexpr std::uint16_t kCharsAvailable = 0x7E01;
constexpr std::uint16_t kDataMatched = 0x7E02;
}  // namespace

TComPortLink::TComPortLink() {
    QelCom.SetComNumber(1);
    QelCom.SetBaud(9600);
    QelCom.SetParity(pEven);
    QelCom.SetDataBits(7);
    QelCom.SetStopBits(1);
    QelCom.SetAutoOpen(false);
    QelCom.SetRTS(false);
    QelCom.SetOnTrigger([this](TCustomComPort*, std::uint16_t msg, std::uint16_t handle, std::uint16_t data) {
        QelComTrigger(msg, handle, data);
    });
}

TComPortLink::~TComPortLink() {
    QelCom.SetOnTrigger(nullptr);
    try {
        QelCom.SetOpen(false);
    } catch (const std::exception&) {
    }
}

bool TComPortLink::Open(std::string* error) {
    try {
        QelCom.SetOpen(true);
        if (!triggersMade_) {
            // Made once; the component keeps them across closing and opening.
            QelCom.AddDataTrigger(":", true);
            triggersMade_ = true;
        }
        return QelCom.Open();
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return false;
    }
}

void TComPortLink::Close() {
    try {
        QelCom.SetOpen(false);
    } catch (const std::exception&) {
    }
}

bool TComPortLink::IsOpen() const { return QelCom.Open(); }

void TComPortLink::SetBaud(int baud) {
    try {
        QelCom.SetBaud(baud);
    } catch (const std::exception&) {
    }
}

bool TComPortLink::ChangeBaud(int baud, std::string* error) {
    const int before = QelCom.Baud();
    try {
        QelCom.SetBaud(baud);
        return true;
    } catch (const std::exception& e) {
        if (error) *error = e.what();
    }
    // The component keeps the refused rate as its setting: put back the one
    // the line still runs at.
    try {
        QelCom.SetBaud(before);
    } catch (const std::exception&) {
    }
    return false;
}

std::size_t TComPortLink::OutFree() const {
    if (!IsOpen()) return 0;
    try {
        return QelCom.OutBuffFree();
    } catch (const std::exception&) {
        return 0;
    }
}

bool TComPortLink::Write(const char* data, std::size_t len) {
    if (!IsOpen() || len > 0xFFFF) return false;
    try {
        QelCom.PutBlock(data, static_cast<std::uint16_t>(len));
        return true;
    } catch (const std::exception&) {
        return false;  // refused whole; the reply time-out reports it
    }
}

void TComPortLink::FlushIn() {
    if (!IsOpen()) return;
    try {
        QelCom.FlushInBuffer();
    } catch (const std::exception&) {
    }
}

void TComPortLink::FlushOut() {
    if (!IsOpen()) return;
    try {
        QelCom.FlushOutBuffer();
    } catch (const std::exception&) {
    }
}

bool TComPortLink::CharWaiting() const {
    if (!IsOpen()) return false;
    try {
        return QelCom.CharReady();
    } catch (const std::exception&) {
        return false;
    }
}

void TComPortLink::QelComTrigger(std::uint16_t msg, std::uint16_t, std::uint16_t) {
    if (msg != kCharsAvailable && msg != kDataMatched) return;
    std::string chunk;
    try {
        while (QelCom.Open() && QelCom.CharReady()) chunk.push_back(QelCom.GetChar());
    } catch (const std::exception&) {
    }
    if (!chunk.empty()) Deliver(chunk.data(), chunk.size());
}

}  // namespace qel::link
