#pragma once

#include <QStringList>
#include <optional>

// A test program started again by one of its own tests, as a second program: it runs the
// child entry named on its command line instead of its tests, and its exit code is the
// entry's. A child is thus never listed, run or skipped as a test of its own.
using TChildEntry = int (*)();

// Registers an entry under its name; used through ZOVRANT_CHILD_ENTRY.
bool RegisterChildEntry(const char* name, TChildEntry entry);
// The arguments that start this program as the child named.
QStringList ChildArguments(const char* name);
// The exit code of the child entry the command line names; none when it names none (the
// tests run then). An unknown name ends with code 2.
std::optional<int> RunChildEntry(int argc, char** argv);

// Defines a child entry: ZOVRANT_CHILD_ENTRY(WatchesUntilKilled) { ...; return 0; }
#define ZOVRANT_CHILD_ENTRY(name)                                                          \
    int name##ChildEntry();                                                                \
    [[maybe_unused]] const bool name##ChildRegistered = RegisterChildEntry(#name, &name##ChildEntry); \
    int name##ChildEntry()
