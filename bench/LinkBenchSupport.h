#pragma once
// What the link benchmarks share: an application object for the link's
// timers and notifications, and a frame that only counts what the link says.
#include <string>

#include <QCoreApplication>

#include "link/engine/Linkframe.h"

namespace qel::bench {

inline void EnsureApp() {
    static int argc = 1;
    static char name[] = "link_bench";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

// Counts the link's messages and keeps the last one's id.
class TQuietFrame : public link::TLinkFrameBase {
public:
    void ShowLinkMessage(int id, const std::string&) override {
        ++messages;
        last = id;
    }
    int messages = 0;
    int last = 0;
};

}  // namespace qel::bench
