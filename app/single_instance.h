// One instance per user and settings folder: a local socket whose name carries the user id and
// a hash of the settings folder, so that runs with different settings folders (test runs side
// by side) never meet. A second start asks the first to restore and raise its window.
#pragma once

#include <QString>
#include <functional>

class QLocalServer;

// The socket's name for this user and settings folder.
QString InstanceSocketName();
// True when an instance answered (it has been asked to restore its window).
bool SignalRunningInstance();
// Listens for later starts; each one runs restore on the window thread. Null when the name
// cannot be taken.
QLocalServer* ListenForSecondStarts(std::function<void()> restore);
