#pragma once

#include <QString>

// Texts that come from outside (a row of the alert database, a line of the terminal's
// result file, a client code) reach the operation log, message boxes and e-mails only
// through LogFragment: a hostile row can then neither flood the log (a megabyte symbol
// repeated for every account) nor forge log lines (a line break inside a symbol).

inline constexpr qsizetype LogFragmentLength = 200;

// The text as a log line may quote it: control characters (and the Unicode line and
// paragraph separators) as \r, \n, \t or \xNN / \uNNNN, cut after LogFragmentLength
// characters with "…" added.
QString LogFragment(const QString& text);
