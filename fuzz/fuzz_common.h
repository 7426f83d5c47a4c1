#pragma once
// What every fuzz target needs: an application object (timers, the event loop, fonts) without a display.

#include <QGuiApplication>

namespace qv::fuzz {

inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "qv-fuzz";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QGuiApplication(argc, argv);
    }
}

}  // namespace qv::fuzz
