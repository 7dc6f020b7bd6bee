#pragma once

#include <QString>
#include <QStringList>

// What a file on disk has to do with the databases. The start-up empties the terminal's
// files, and a settings slip that named a database there would empty the database: these
// tell such a file apart before anything is written to it.

// The files of a database source: for a file source (a SQLite file, an Access file given
// by its path) the file itself and, for SQLite, the companions it keeps beside the file
// while it writes (-wal, -shm, -journal); none for an ODBC connection text or an empty
// source.
QStringList DatabaseFilesOf(const QString& source);
// Whether two paths name the same file: by their canonical paths where both exist (a link
// or another spelling of the path names the same file), else by their absolute paths. An
// empty path names no file.
bool SameFile(const QString& first, const QString& second);
// Whether the file holds a database, by its first bytes: SQLite's header
// "SQLite format 3\0", or an Access file's "Standard Jet DB" or "Standard ACE DB" from
// byte 4 on. A missing or unreadable file holds none, nor does anything but a regular file
// (a pipe is not opened).
bool HoldsDatabase(const QString& path);
// Why a terminal file must not be written: it is one of the files of a database source of
// `sources` ("является файлом базы данных <source>") or holds a database ("содержит базу
// данных"); empty when it may be written.
QString DatabaseFileReason(const QString& file, const QStringList& sources);
