#pragma once

#include <QString>
#include <QStringList>

#include <utility>

class TStrings;

// One parsed ini file: sections of key=value lines, kept in file order with
// their comments and blank lines. Every line keeps the bytes it was read from,
// line break included, so a rewrite changes only the lines that were written
// and leaves every other byte as it was, whatever its encoding.
//
// Text is UTF-8 (with or without a byte order mark) or UTF-16 with a byte
// order mark; new lines are written in the file's own encoding. A line that is
// not valid UTF-8 reads as Latin-1, so its text is never lost to replacement
// characters. A file in any other encoding (UTF-32, UTF-16 without a byte
// order mark) still parses, but cannot be rewritten: whyNotRewritable() says
// why.
//
// Sections and keys compare without regard to letter case. A value is read
// with surrounding blanks removed and one pair of matching quotes (' or ")
// around it stripped; writing quotes a value whose first or last character is
// a blank or a quote, so every storable value reads back unchanged.
class IniDocument
{
public:
    using Entries = QList<std::pair<QString, QString>>;

    // Never fails: lines that are neither a section header, a comment (";" or
    // "#") nor a key line, and key lines before the first section header, are
    // kept and ignored. Of repeated sections or keys the first one counts.
    static IniDocument parse(const QByteArray &Bytes);
    QByteArray serialize() const;
    // Empty when the document can be written back keeping every line it does
    // not change; otherwise the reason.
    QString whyNotRewritable() const { return m_notRewritable; }

    bool hasSection(const QString &Section) const;
    // Whether the key exists; Value receives its text.
    bool read(const QString &Section, const QString &Key, QString *Value) const;
    QStringList sections() const;
    QStringList keys(const QString &Section) const;
    // Key=value lines of the section, in file order.
    QStringList sectionValues(const QString &Section) const;
    // Keys and values of the section, in file order, each key once.
    Entries sectionEntries(const QString &Section) const;

    void write(const QString &Section, const QString &Key, const QString &Value);
    void eraseSection(const QString &Section);
    void deleteKey(const QString &Section, const QString &Key);
    // Replaces the body of the section with Entries (a key given twice keeps
    // its first value), where the section stands. Lines whose key and value
    // stay the same keep their bytes; the comments and blank lines at the top
    // and bottom of the section stay. An empty Entries erases the section.
    void replaceSection(const QString &Section, const Entries &NewEntries);

    // Empty when Section/Key/Value can be stored so that they read back the
    // same; otherwise the reason.
    static QString whyNotStorable(const QString &Section, const QString &Key, const QString &Value);

private:
    enum class Encoding { Utf8, Utf16LE, Utf16BE };
    struct Line
    {
        enum Kind { Other, Section, Key } kind = Other;
        QString text;   // the whole line as read, without its line break
        QString name;   // section name or key, trimmed
        QString value;  // key value as read
        QByteArray raw; // the line's bytes in the file, without its line break
        QByteArray eol; // its line break as it stands; empty only on the last line
    };
    static Line classify(const QString &Text);
    Line newLine(const QString &Text) const;
    QByteArray encode(const QString &Text) const;
    int findSection(const QString &Section) const;
    int sectionEnd(int SectionLine) const;
    int findKey(int SectionLine, const QString &Key) const;

    QList<Line> m_lines;
    Encoding m_encoding = Encoding::Utf8;
    QByteArray m_bom;
    // Line break of new lines: the file's first one, else LF.
    QString m_lineBreak = QStringLiteral("\n");
    QString m_notRewritable;
};

// An ini file read and written entry by entry, with the semantics of the
// Windows profile functions. Every write reaches the file at once and replaces
// it atomically (a temporary file in the same folder, then a rename), so the
// file on disk is always whole; a file the write creates is readable by its
// owner only. Each write reads, changes and replaces the file under a lock on
// its folder, so writes of several processes follow one another and none is
// lost. A write that changes nothing leaves the file alone.
//
// Only a regular file of a bounded size is read. A missing file reads as
// empty and reads never create it; so does one that is refused (a folder, a
// FIFO, a device, too large, unreadable), and ReadProblem() then says why.
// A write raises EIniFileException, leaving the file untouched, when an entry
// cannot be stored so that it reads back the same, when the file is refused
// or in an encoding that cannot be kept, or when the system fails the write
// (with the system's reason).
class TIniFile
{
public:
    explicit TIniFile(const QString &FileName);
    virtual ~TIniFile();

    const QString &FileName() const { return m_fileName; }

    QString ReadString(const QString &Section, const QString &Ident, const QString &Default) const;
    // A value that is not a whole decimal (or 0x hexadecimal) number reads as Default.
    int ReadInteger(const QString &Section, const QString &Ident, int Default) const;
    // Reads an integer; 0 is false, any other number true, anything else Default.
    bool ReadBool(const QString &Section, const QString &Ident, bool Default) const;
    bool SectionExists(const QString &Section) const;
    bool ValueExists(const QString &Section, const QString &Ident) const;
    // Keys of the section in file order; Strings is cleared first.
    void ReadSection(const QString &Section, TStrings &Strings) const;
    void ReadSections(TStrings &Strings) const;
    // Key=value lines of the section in file order; Strings is cleared first.
    void ReadSectionValues(const QString &Section, TStrings &Strings) const;

    void WriteString(const QString &Section, const QString &Ident, const QString &Value);
    void WriteInteger(const QString &Section, const QString &Ident, int Value);
    void WriteBool(const QString &Section, const QString &Ident, bool Value);
    void EraseSection(const QString &Section);
    // Replaces the whole section with Entries (key, value), in order, in one
    // atomic rewrite: either the file holds the new section or it is left as
    // it was. Refuses (before touching the file) when any entry cannot be
    // stored; a key given twice keeps its first value. An empty Entries erases
    // the section.
    void ReplaceSection(const QString &Section, const QList<std::pair<QString, QString>> &Entries);
    void DeleteKey(const QString &Section, const QString &Ident);

    // Keys and values of the section in file order, each key once, from one
    // read of the file.
    QList<std::pair<QString, QString>> ReadSectionEntries(const QString &Section) const;

    // Why the last read found the file unusable and read it as empty (or, for
    // a file in an encoding that cannot be kept, why writes will be refused);
    // empty when the file was fine or missing.
    QString ReadProblem() const { return m_readProblem; }

private:
    // Reads the file for a read; anything unusable reads as empty.
    IniDocument load() const;
    // One read-modify-replace cycle under the folder lock. A file that cannot
    // be read or kept raises instead, so a write never replaces content it
    // could not see.
    template<class Change>
    void modify(Change &&Apply);
    [[noreturn]] void refuse(const QString &Section, const QString &Ident,
                             const QString &Reason) const;

    QString m_fileName;
    mutable QString m_readProblem;
};
