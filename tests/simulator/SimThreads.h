#pragma once
// What the tests of a running simulator share: waiting for the worker
// thread, and the application object the GUI-side monitor needs.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <thread>

#include "tests/support/WaitLimit.h"

namespace simtest {

// Waits (up to the tests' wait limit) for a condition that another thread makes true.
inline bool WaitFor(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + qel::test::kWaitLimit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Tests of the monitor, whose timer needs an application object.
class SimMonitorTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "simulator_test";
            static char* argv[] = {name, nullptr};
            static QCoreApplication app(argc, argv);
        }
    }
};

}  // namespace simtest
