#include "IniFiles.h"
#include "Classes.h"
#include "SysUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

bool isBlank(QChar C)
{
    return C.unicode() <= u' ';
}

bool isQuote(QChar C)
{
    return C == u'"' || C == u'\'';
}

// A value as it reads from the text after "=": blanks around it removed, then
// one pair of matching quotes stripped.
QString unquote(const QString &Raw)
{
    QString v = Trim(Raw);
    if (v.size() >= 2 && isQuote(v.front()) && v.back() == v.front())
        return v.mid(1, v.size() - 2);
    return v;
}

// The text to store so that unquote() gives Value back.
QString quoteForStorage(const QString &Value)
{
    if (Value.isEmpty())
        return Value;
    if (isBlank(Value.front()) || isBlank(Value.back()) || isQuote(Value.front())
        || isQuote(Value.back()))
        return u'"' + Value + u'"';
    return Value;
}

bool hasLineBreakOrNul(const QString &S)
{
    return S.contains(u'\n') || S.contains(u'\r') || S.contains(QChar(0));
}

bool isCommentOrBlank(const QString &Text)
{
    const QString t = Trim(Text);
    return t.isEmpty() || t.startsWith(u';') || t.startsWith(u'#');
}

} // namespace

IniDocument::Line IniDocument::classify(const QString &Text)
{
    Line line;
    line.text = Text;
    const QString t = Trim(Text);
    if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'#'))
        return line;
    if (t.startsWith(u'[')) {
        // The name runs to the first "]" (or the end of a line that lacks one).
        const qsizetype close = t.indexOf(u']');
        line.kind = Line::Section;
        line.name = Trim(t.mid(1, close < 0 ? -1 : close - 1));
        return line;
    }
    const qsizetype eq = t.indexOf(u'=');
    if (eq > 0) {
        const QString name = Trim(t.left(eq));
        if (!name.isEmpty()) {
            line.kind = Line::Key;
            line.name = name;
            line.value = unquote(t.mid(eq + 1));
        }
    }
    return line;
}

IniDocument IniDocument::parse(const QByteArray &Utf8)
{
    IniDocument doc;
    QByteArrayView bytes(Utf8);
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        doc.m_bom = true;
        bytes = bytes.sliced(3);
    }
    const QString text = QString::fromUtf8(bytes);
    bool seenBreak = false;
    bool inSection = false;
    qsizetype start = 0;
    const qsizetype n = text.size();
    auto addLine = [&](const QString &lineText) {
        Line line = classify(lineText);
        if (line.kind == Line::Section)
            inSection = true;
        else if (line.kind == Line::Key && !inSection)
            line = Line{Line::Other, lineText, {}, {}}; // outside every section: unreachable
        doc.m_lines.append(std::move(line));
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        addLine(text.mid(start, i - start));
        const bool crlf = c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n';
        if (!seenBreak) {
            seenBreak = true;
            doc.m_lineBreak = crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
        }
        if (crlf)
            ++i;
        start = i + 1;
    }
    if (start < n)
        addLine(text.mid(start));
    return doc;
}

QByteArray IniDocument::serialize() const
{
    QString text;
    for (const Line &line : m_lines) {
        text += line.text;
        text += m_lineBreak;
    }
    QByteArray bytes = text.toUtf8();
    if (m_bom)
        bytes.prepend("\xEF\xBB\xBF");
    return bytes;
}

int IniDocument::findSection(const QString &Section) const
{
    for (int i = 0; i < m_lines.size(); ++i)
        if (m_lines.at(i).kind == Line::Section && SameText(m_lines.at(i).name, Section))
            return i;
    return -1;
}

int IniDocument::sectionEnd(int SectionLine) const
{
    int i = SectionLine + 1;
    while (i < m_lines.size() && m_lines.at(i).kind != Line::Section)
        ++i;
    return i;
}

int IniDocument::findKey(int SectionLine, const QString &Key) const
{
    const int end = sectionEnd(SectionLine);
    for (int i = SectionLine + 1; i < end; ++i)
        if (m_lines.at(i).kind == Line::Key && SameText(m_lines.at(i).name, Key))
            return i;
    return -1;
}

bool IniDocument::hasSection(const QString &Section) const
{
    return findSection(Section) >= 0;
}

bool IniDocument::read(const QString &Section, const QString &Key, QString *Value) const
{
    const int s = findSection(Section);
    const int k = s < 0 ? -1 : findKey(s, Key);
    if (k < 0)
        return false;
    if (Value)
        *Value = m_lines.at(k).value;
    return true;
}

QStringList IniDocument::sections() const
{
    QStringList result;
    for (const Line &line : m_lines)
        if (line.kind == Line::Section && !result.contains(line.name, Qt::CaseInsensitive))
            result.append(line.name);
    return result;
}

QStringList IniDocument::keys(const QString &Section) const
{
    QStringList result;
    const int s = findSection(Section);
    if (s < 0)
        return result;
    const int end = sectionEnd(s);
    for (int i = s + 1; i < end; ++i) {
        const Line &line = m_lines.at(i);
        // A repeated key is hidden behind its first occurrence.
        if (line.kind == Line::Key && !result.contains(line.name, Qt::CaseInsensitive))
            result.append(line.name);
    }
    return result;
}

QStringList IniDocument::sectionValues(const QString &Section) const
{
    QStringList result;
    for (const QString &key : keys(Section)) {
        QString value;
        read(Section, key, &value);
        result.append(key + u'=' + value);
    }
    return result;
}

void IniDocument::write(const QString &Section, const QString &Key, const QString &Value)
{
    const QString stored = quoteForStorage(Value);
    const int s = findSection(Section);
    if (s < 0) {
        m_lines.append(classify(u'[' + Section + u']'));
        m_lines.append(classify(Key + u'=' + stored));
        return;
    }
    const int k = findKey(s, Key);
    if (k >= 0) {
        // Keep the key where it is and as it is spelled in the file.
        m_lines[k] = classify(m_lines.at(k).name + u'=' + stored);
        return;
    }
    // After the section's last entry: blank lines and comments before the next
    // section header stay with that header.
    int pos = sectionEnd(s);
    while (pos > s + 1 && isCommentOrBlank(m_lines.at(pos - 1).text))
        --pos;
    m_lines.insert(pos, classify(Key + u'=' + stored));
}

void IniDocument::eraseSection(const QString &Section)
{
    // Every occurrence goes, so no later one of the same name comes to light.
    for (int s = findSection(Section); s >= 0; s = findSection(Section))
        m_lines.remove(s, sectionEnd(s) - s);
}

void IniDocument::deleteKey(const QString &Section, const QString &Key)
{
    const int s = findSection(Section);
    if (s < 0)
        return;
    for (int k = findKey(s, Key); k >= 0; k = findKey(s, Key))
        m_lines.removeAt(k);
}

QString IniDocument::whyNotStorable(const QString &Section, const QString &Key,
                                    const QString &Value)
{
    if (hasLineBreakOrNul(Section))
        return QStringLiteral("the section name holds a line break or NUL character");
    if (Section.contains(u']'))
        return QStringLiteral("the section name holds \"]\"");
    if (!Section.isEmpty() && (isBlank(Section.front()) || isBlank(Section.back())))
        return QStringLiteral("the section name begins or ends with a blank");
    if (Key.isEmpty())
        return QStringLiteral("the key is empty");
    if (hasLineBreakOrNul(Key))
        return QStringLiteral("the key holds a line break or NUL character");
    if (Key.contains(u'='))
        return QStringLiteral("the key holds \"=\"");
    if (isBlank(Key.front()) || isBlank(Key.back()))
        return QStringLiteral("the key begins or ends with a blank");
    if (Key.startsWith(u'[') || Key.startsWith(u';') || Key.startsWith(u'#'))
        return QStringLiteral("the key begins with \"%1\" and would read as a section or comment")
            .arg(Key.front());
    if (hasLineBreakOrNul(Value))
        return QStringLiteral("the value holds a line break or NUL character");
    if (!QStringView(Section).isValidUtf16() || !QStringView(Key).isValidUtf16()
        || !QStringView(Value).isValidUtf16())
        return QStringLiteral("the text is not valid Unicode (an unpaired surrogate)");
    return {};
}

// --- TIniFile

TIniFile::TIniFile(const QString &FileName)
    : m_fileName(FileName)
{}

TIniFile::~TIniFile() = default;

IniDocument TIniFile::load(bool ForWrite) const
{
    QFileInfo info(m_fileName);
    if (!info.exists())
        return {};
    QFile file(m_fileName);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        if (!ForWrite)
            return {};
        throw EIniFileException(
            QStringLiteral("Cannot read ini file %1: %2")
                .arg(QDir::toNativeSeparators(m_fileName),
                     info.isDir() ? QStringLiteral("it is a folder") : file.errorString()));
    }
    return IniDocument::parse(file.readAll());
}

void TIniFile::store(const IniDocument &Doc)
{
    // QSaveFile writes a temporary file beside the target and renames it over
    // the target only when everything was written: the old file stays whole
    // on any failure, and the temporary file is removed.
    QSaveFile file(m_fileName);
    const QByteArray bytes = Doc.serialize();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw EIniFileException(QStringLiteral("Cannot write ini file %1: %2")
                                    .arg(QDir::toNativeSeparators(m_fileName), file.errorString()));
}

void TIniFile::refuse(const QString &Section, const QString &Ident, const QString &Reason) const
{
    throw EIniFileException(
        QStringLiteral("Cannot store key \"%1\" in section [%2] of ini file %3: %4")
            .arg(Ident, Section, QDir::toNativeSeparators(m_fileName), Reason));
}

QString TIniFile::ReadString(const QString &Section, const QString &Ident,
                             const QString &Default) const
{
    QString value;
    return load().read(Section, Ident, &value) ? value : Default;
}

int TIniFile::ReadInteger(const QString &Section, const QString &Ident, int Default) const
{
    QString value;
    if (!load().read(Section, Ident, &value))
        return Default;
    return StrToIntDef(value, Default);
}

bool TIniFile::ReadBool(const QString &Section, const QString &Ident, bool Default) const
{
    return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(const QString &Section) const
{
    return load().hasSection(Section);
}

bool TIniFile::ValueExists(const QString &Section, const QString &Ident) const
{
    return load().read(Section, Ident, nullptr);
}

void TIniFile::ReadSection(const QString &Section, TStrings &Strings) const
{
    const QStringList keys = load().keys(Section);
    Strings.Assign(keys);
}

void TIniFile::ReadSections(TStrings &Strings) const
{
    Strings.Assign(load().sections());
}

void TIniFile::ReadSectionValues(const QString &Section, TStrings &Strings) const
{
    Strings.Assign(load().sectionValues(Section));
}

void TIniFile::WriteString(const QString &Section, const QString &Ident, const QString &Value)
{
    const QString reason = IniDocument::whyNotStorable(Section, Ident, Value);
    if (!reason.isEmpty())
        refuse(Section, Ident, reason);
    IniDocument doc = load(true);
    doc.write(Section, Ident, Value);
    store(doc);
}

void TIniFile::WriteInteger(const QString &Section, const QString &Ident, int Value)
{
    WriteString(Section, Ident, QString::number(Value));
}

void TIniFile::WriteBool(const QString &Section, const QString &Ident, bool Value)
{
    WriteString(Section, Ident, Value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::EraseSection(const QString &Section)
{
    IniDocument doc = load(true);
    if (!doc.hasSection(Section))
        return; // nothing to erase: the file is left alone (and not created)
    doc.eraseSection(Section);
    store(doc);
}

void TIniFile::ReplaceSection(const QString &Section,
                              const QList<std::pair<QString, QString>> &Entries)
{
    for (const auto &[key, value] : Entries) {
        const QString reason = IniDocument::whyNotStorable(Section, key, value);
        if (!reason.isEmpty())
            refuse(Section, key, reason);
    }
    IniDocument doc = load(true);
    if (Entries.isEmpty() && !doc.hasSection(Section))
        return;
    doc.eraseSection(Section);
    for (const auto &[key, value] : Entries)
        if (!doc.read(Section, key, nullptr))
            doc.write(Section, key, value);
    store(doc);
}

void TIniFile::DeleteKey(const QString &Section, const QString &Ident)
{
    IniDocument doc = load(true);
    if (!doc.read(Section, Ident, nullptr))
        return;
    doc.deleteKey(Section, Ident);
    store(doc);
}
