#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// A settings file read and written the way the Windows profile functions do it, so that a
// file edited by hand or by an older build keeps working and keeps what it holds:
//
// - "[name]" opens a section; "key=value" gives a value; the value is the text after the
//   first '=', bare (no quotes, no escapes), with blanks and tabs around it dropped.
// - Section and key names match without regard to letter case; the first match counts.
// - Writing a key replaces its line in place; a new key goes after the last line of its
//   section, a new section at the end of the file. Everything else (unknown keys and
//   sections, comments, blank lines) stays where it is, byte for byte.
// - The text is UTF-8 when the file's bytes are UTF-8 with a character outside ASCII (or
//   a UTF-8 byte order mark), as editors without Windows write it; otherwise, and for a new
//   file, Windows-1251. Save() writes in the encoding read, the byte order mark kept.
//   Lines end with CR LF when written, CR LF or LF when read.
//
// The whole file is read when the object is made and written back by Save() in one piece,
// through a temporary file in the same folder and a rename, so that a crash or a full disk
// never leaves a half-written file behind.
class TProfileFile {
public:
    enum class TEncoding { Windows1251, Utf8 };

    // Reads the file. A missing file is a file without keys; a file that exists but cannot
    // be read raises TError naming it (writing over it would lose what it holds).
    explicit TProfileFile(const QString& fileName);

    const QString& FileName() const { return FFileName; }
    TEncoding Encoding() const { return FEncoding; }

    // The value of the key, or nothing when its section or the key itself is missing.
    // A key present with an empty value gives an empty text.
    std::optional<QString> Value(const QString& section, const QString& key) const;
    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const;

    // Sets the key in memory. Raises TError naming the file and the key when the value
    // cannot be kept on one line of the file's text (a line break, a NUL, or in a
    // Windows-1251 file a character outside the code page); nothing is changed then.
    void WriteString(const QString& section, const QString& key, const QString& value);

    // The file's bytes as Save() writes them.
    QByteArray Bytes() const;
    // Writes the file (creating it when missing). Raises TError naming the file when it
    // cannot be written; the file on disk is then left as it was.
    void Save() const;

private:
    // Index of the section's header line, or -1.
    qsizetype FindSection(const QString& section) const;
    // End of the section whose header is at the given line: the next header or the end.
    qsizetype SectionEnd(qsizetype header) const;
    // Index of the key's line inside the section whose header is at the given line, or -1.
    qsizetype FindKey(qsizetype header, const QString& key) const;

    QString Decode(const QByteArray& bytes) const;
    QByteArray Encode(const QString& text) const;
    bool SameName(const QByteArray& stored, const QString& wanted) const;

    QString FFileName;
    TEncoding FEncoding = TEncoding::Windows1251;
    bool FByteOrderMark = false;
    QList<QByteArray> FLines; // without their line ends, in the file's encoding
};
