#pragma once

#include <QtGlobal>

// Whether a process with this id runs on this computer now. A process of another user
// counts as running. The one place that asks the operating system about processes.
bool ProcessRunning(qint64 pid);
