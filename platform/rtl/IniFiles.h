#pragma once

#include <QString>
#include <QStringList>

#include <utility>

class TStrings;

// One parsed ini file: sections of key=value lines, kept in file order with
// their comments and blank lines so a rewrite changes only what was written.
//
// Sections and keys compare without regard to letter case. A value is read
// with surrounding blanks removed and one pair of matching quotes (' or ")
// around it stripped; writing quotes a value whose first or last character is
// a blank or a quote, so every storable value reads back unchanged.
class IniDocument
{
public:
    // Parses UTF-8 text (invalid bytes read as U+FFFD). Never fails: lines that
    // are neither a section header, a comment (";" or "#") nor a key line, and
    // key lines before the first section header, are kept and ignored. Of
    // repeated sections or keys the first one counts.
    static IniDocument parse(const QByteArray &Utf8);
    QByteArray serialize() const;

    bool hasSection(const QString &Section) const;
    // Whether the key exists; Value receives its text.
    bool read(const QString &Section, const QString &Key, QString *Value) const;
    QStringList sections() const;
    QStringList keys(const QString &Section) const;
    // Key=value lines of the section, in file order.
    QStringList sectionValues(const QString &Section) const;

    void write(const QString &Section, const QString &Key, const QString &Value);
    void eraseSection(const QString &Section);
    void deleteKey(const QString &Section, const QString &Key);

    // Empty when Section/Key/Value can be stored so that they read back the
    // same; otherwise the reason.
    static QString whyNotStorable(const QString &Section, const QString &Key, const QString &Value);

private:
    struct Line
    {
        enum Kind { Other, Section, Key } kind = Other;
        QString text;  // the whole line as it stands in the file
        QString name;  // section name or key, trimmed
        QString value; // key value as read
    };
    static Line classify(const QString &Text);
    int findSection(const QString &Section) const;
    int sectionEnd(int SectionLine) const;
    int findKey(int SectionLine, const QString &Key) const;

    QList<Line> m_lines;
    // A rewrite keeps the file's byte order mark and line breaks (LF or CR LF).
    bool m_bom = false;
    QString m_lineBreak = QStringLiteral("\n");
};

// An ini file read and written entry by entry, with the semantics of the
// Windows profile functions. Every write reaches the file at once and replaces
// it atomically (a temporary file in the same folder, then a rename), so the
// file on disk is always whole. A missing file reads as empty and reads never
// create it. An entry that cannot be stored so that it reads back the same
// raises EIniFileException and leaves the file untouched.
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

private:
    // Reads the file; a missing or unreadable file reads as empty. ForWrite:
    // an existing file that cannot be read raises instead, so a write never
    // replaces content it could not see.
    IniDocument load(bool ForWrite = false) const;
    void store(const IniDocument &Doc);
    [[noreturn]] void refuse(const QString &Section, const QString &Ident,
                             const QString &Reason) const;

    QString m_fileName;
};
