#include "link/engine/Linkframe.h"

#include "platform/Messages.h"

namespace qel::link {

std::uint32_t LampRgb(LampColor c) {
    switch (c) {
    case LampColor::White: return 0xFFFFFF;
    case LampColor::Green: return 0x008000;
    case LampColor::Red: return 0x0000FF;
    case LampColor::Blue: return 0xFF0000;
    case LampColor::Fuchsia: return 0xFF00FF;
    case LampColor::Black: return 0x000000;
    case LampColor::Aqua: return 0xFFFF00;
    case LampColor::Yellow: return 0x00FFFF;
    }
    return 0;
}

void TLinkFrameBase::ShowLinkMessage(int msgId, const std::string& detail) {
    // Without a frame window there is no message table: name the id.
    qel::ShowMessage("Message " + std::to_string(msgId) + detail, MsgKind::Warning);
}

}  // namespace qel::link
