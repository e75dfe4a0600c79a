#pragma once
// SIGINT and SIGTERM close the window like its close box does. They are
// blocked in every thread before the database client starts (an embedded
// engine interrupted by a handler can spin for ever holding its lock) and
// read from a signalfd on the window's thread instead.

#include <QObject>
#include <functional>

namespace kelvora {

// Call first in main, before any thread or database attachment exists.
void blockShutdownSignals();

// Runs `onSignal` on the event loop when SIGINT or SIGTERM arrives.
void watchShutdownSignals(QObject* context, std::function<void()> onSignal);

}  // namespace kelvora
