#pragma once

// Text comparison without regard to letter case for every SQLite connection this process
// opens, Latin and Cyrillic letters alike, as the Access engine compares text.
//
// The schemas declare text columns "COLLATE NOCASE", which every SQLite client understands
// (the command-line shell, the ODBC driver in another program, the platform's own tools)
// but which folds only ASCII letters. This call registers an automatic extension with the
// process's SQLite library that replaces NOCASE by a Unicode-aware comparison on each
// connection opened afterwards: Qt's SQLite driver and the SQLite ODBC driver both load
// the same shared library, so both get it. The schemas create no index on a text column,
// so replacing the comparison cannot disagree with a stored index order.
//
// Calling it more than once is harmless (SQLite keeps one entry per entry point).
void RegisterUnicodeNoCase();
