#pragma once

#include <QByteArrayView>

// Text comparison without regard to letter case for every SQLite connection this process
// opens, Latin and Cyrillic letters alike, as the Access engine compares text.
//
// The schemas declare text columns "COLLATE NOCASE", which every SQLite client understands
// (the command-line shell, the ODBC driver in another program, the platform's own tools)
// but which folds only ASCII letters. This call registers an automatic extension with the
// process's SQLite library that replaces NOCASE by a Unicode-aware comparison on each
// connection opened afterwards: Qt's SQLite driver and the SQLite ODBC driver both load
// the same shared library, so both get it.
//
// The bridge tables' indexes on text columns (BridgeIndexes.h) are ordered by this
// comparison. On texts of ASCII characters it orders exactly as SQLite's own NOCASE, so a
// program without it (the terminal's export of tPortfolio) keeps such an index in order.
// Texts with other letters it orders by their folded case, SQLite's own NOCASE by their
// bytes: a row whose key holds such letters, written or re-indexed by a program without
// this comparison, can sit where Zovrant's lookups do not look for it.
//
// Calling it more than once is harmless (SQLite keeps one entry per entry point).
void RegisterUnicodeNoCase();

// The comparison itself, of two UTF-8 texts: negative, zero or positive as left sorts
// before, with or after right. ASCII letters are folded byte by byte; from the first byte
// of another character on, the rest of both texts is compared with Unicode case folding,
// as QString::compare(Qt::CaseInsensitive) compares them. Nothing is allocated for texts
// of ASCII characters, nor for others of up to a few hundred bytes.
int CompareUtf8WithoutCase(QByteArrayView left, QByteArrayView right);
