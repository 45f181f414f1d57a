#include "IniFiles.h"
#include "Classes.h"
#include "FileAccess.h"
#include "FileLock.h"
#include "SysUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

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
QString unquote(QStringView Raw)
{
    const QStringView v = TrimView(Raw);
    if (v.size() >= 2 && isQuote(v.front()) && v.back() == v.front())
        return v.sliced(1, v.size() - 2).toString();
    return v.toString();
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
    const QStringView t = TrimView(Text);
    return t.isEmpty() || t.startsWith(u';') || t.startsWith(u'#');
}

} // namespace

IniDocument::Line IniDocument::classify(const QString &Text)
{
    Line line;
    line.text = Text;
    // Read through views: only the name and the value are copied.
    const QStringView t = TrimView(Text);
    if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'#'))
        return line;
    if (t.startsWith(u'[')) {
        // The name runs to the first "]" (or the end of a line that lacks one).
        const qsizetype close = t.indexOf(u']');
        line.kind = Line::Section;
        line.name = TrimView(close < 0 ? t.sliced(1) : t.sliced(1, close - 1)).toString();
        return line;
    }
    const qsizetype eq = t.indexOf(u'=');
    if (eq > 0) {
        const QStringView name = TrimView(t.first(eq));
        if (!name.isEmpty()) {
            line.kind = Line::Key;
            line.name = name.toString();
            line.value = unquote(t.sliced(eq + 1));
        }
    }
    return line;
}

QByteArray IniDocument::encode(const QString &Text) const
{
    if (m_encoding == Encoding::Utf8)
        return Text.toUtf8();
    QByteArray bytes;
    bytes.reserve(Text.size() * 2);
    for (const QChar c : Text) {
        const char16_t u = c.unicode();
        const char hi = char(u >> 8), lo = char(u & 0xFF);
        if (m_encoding == Encoding::Utf16LE)
            bytes.append(lo).append(hi);
        else
            bytes.append(hi).append(lo);
    }
    return bytes;
}

IniDocument::Line IniDocument::newLine(const QString &Text) const
{
    Line line = classify(Text);
    line.raw = encode(Text);
    line.eol = encode(m_lineBreak);
    return line;
}

IniDocument::Line IniDocument::rekeyed(const Line &Old, const QString &Key) const
{
    // The key is written anew; the value keeps its bytes, whatever their
    // encoding. The first "=" ends the key: a key never holds one.
    const QByteArray eq = encode(QStringLiteral("="));
    qsizetype at = Old.raw.indexOf(eq);
    while (at >= 0 && at % eq.size() != 0)
        at = Old.raw.indexOf(eq, at + 1);
    if (at < 0)
        return newLine(Key + u'=' + quoteForStorage(Old.value));
    Line line = classify(Key + u'=' + Old.text.mid(Old.text.indexOf(u'=') + 1));
    line.raw = encode(Key) + Old.raw.mid(at);
    line.eol = encode(m_lineBreak);
    return line;
}

IniDocument IniDocument::parse(const QByteArray &Bytes)
{
    IniDocument doc;
    QByteArrayView bytes(Bytes);
    if (bytes.startsWith(QByteArrayView("\xFF\xFE\x00\x00", 4))
        || bytes.startsWith(QByteArrayView("\x00\x00\xFE\xFF", 4))) {
        doc.m_notRewritable = QStringLiteral("it is encoded in UTF-32, which cannot be kept");
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        doc.m_bom = bytes.first(3).toByteArray();
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        doc.m_bom = bytes.first(2).toByteArray();
        doc.m_encoding = bytes.startsWith("\xFF\xFE") ? Encoding::Utf16LE : Encoding::Utf16BE;
        if (bytes.size() % 2 != 0)
            doc.m_notRewritable = QStringLiteral("it is UTF-16 with an odd number of bytes");
    }
    bytes = bytes.sliced(doc.m_bom.size());
    if (doc.m_encoding == Encoding::Utf8 && doc.m_notRewritable.isEmpty() && bytes.contains('\0'))
        doc.m_notRewritable
            = QStringLiteral("it holds NUL bytes, text in an encoding that cannot be kept "
                             "(UTF-16 without a byte order mark?)");

    // Code units of the text: bytes for UTF-8, pairs for UTF-16.
    const qsizetype unit = doc.m_encoding == Encoding::Utf8 ? 1 : 2;
    const qsizetype units = bytes.size() / unit;
    auto at = [&](qsizetype i) -> char16_t {
        const uchar a = uchar(bytes[i * unit]);
        if (unit == 1)
            return a;
        const uchar b = uchar(bytes[i * unit + 1]);
        return doc.m_encoding == Encoding::Utf16LE ? char16_t(a | b << 8) : char16_t(a << 8 | b);
    };
    auto decode = [&](QByteArrayView raw) {
        if (unit == 1)
            return raw.isValidUtf8() ? QString::fromUtf8(raw) : QString::fromLatin1(raw);
        QString text(raw.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i) {
            const uchar a = uchar(raw[2 * i]), b = uchar(raw[2 * i + 1]);
            text[i] = QChar(doc.m_encoding == Encoding::Utf16LE ? char16_t(a | b << 8)
                                                                : char16_t(a << 8 | b));
        }
        return text;
    };

    bool seenBreak = false;
    bool inSection = false;
    auto addLine = [&](qsizetype from, qsizetype to, qsizetype eolEnd) {
        const QByteArrayView raw = bytes.sliced(from * unit, (to - from) * unit);
        Line line = classify(decode(raw));
        if (line.kind == Line::Section)
            inSection = true;
        else if (line.kind == Line::Key && !inSection)
            line = Line{Line::Other, line.text, {}, {}, {}, {}}; // outside every section
        line.raw = raw.toByteArray();
        // The common breaks share one buffer instead of a copy per line.
        static const QByteArray lf("\n"), crlf("\r\n");
        const QByteArrayView eol = bytes.sliced(to * unit, (eolEnd - to) * unit);
        line.eol = eol == lf ? lf : eol == crlf ? crlf : eol.toByteArray();
        doc.m_lines.append(std::move(line));
    };
    qsizetype start = 0;
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t c = at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        const bool crlf = c == u'\r' && i + 1 < units && at(i + 1) == u'\n';
        if (!seenBreak) {
            seenBreak = true;
            doc.m_lineBreak = crlf ? QStringLiteral("\r\n") : QString(QChar(c));
        }
        addLine(start, i, crlf ? i + 2 : i + 1);
        if (crlf)
            ++i;
        start = i + 1;
    }
    if (start < units)
        addLine(start, units, units);
    // An odd trailing byte of a UTF-16 file stays with the last line.
    if (units * unit < bytes.size()) {
        if (doc.m_lines.isEmpty())
            doc.m_lines.append(Line{});
        doc.m_lines.last().eol += bytes.sliced(units * unit).toByteArray();
    }
    return doc;
}

QByteArray IniDocument::serialize() const
{
    QByteArray bytes = m_bom;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const Line &line = m_lines.at(i);
        bytes += line.raw;
        // A last line without a break gets one when lines now follow it.
        bytes += line.eol.isEmpty() && i + 1 < m_lines.size() ? encode(m_lineBreak) : line.eol;
    }
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
    QSet<QString> seen;
    for (const Line &line : m_lines)
        if (line.kind == Line::Section) {
            const qsizetype before = seen.size();
            seen.insert(FoldCase(line.name));
            if (seen.size() != before)
                result.append(line.name);
        }
    return result;
}

IniDocument::Entries IniDocument::sectionEntries(const QString &Section) const
{
    Entries result;
    const int s = findSection(Section);
    if (s < 0)
        return result;
    // A repeated key is hidden behind its first occurrence.
    QSet<QString> seen;
    const int end = sectionEnd(s);
    for (int i = s + 1; i < end; ++i) {
        const Line &line = m_lines.at(i);
        if (line.kind != Line::Key)
            continue;
        const qsizetype before = seen.size();
        seen.insert(FoldCase(line.name));
        if (seen.size() != before)
            result.append({line.name, line.value});
    }
    return result;
}

QStringList IniDocument::keys(const QString &Section) const
{
    QStringList result;
    for (const auto &[key, value] : sectionEntries(Section))
        result.append(key);
    return result;
}

QStringList IniDocument::sectionValues(const QString &Section) const
{
    QStringList result;
    for (const auto &[key, value] : sectionEntries(Section))
        result.append(key + u'=' + value);
    return result;
}

void IniDocument::write(const QString &Section, const QString &Key, const QString &Value)
{
    const QString stored = quoteForStorage(Value);
    const int s = findSection(Section);
    if (s < 0) {
        m_lines.append(newLine(u'[' + Section + u']'));
        m_lines.append(newLine(Key + u'=' + stored));
        return;
    }
    const int k = findKey(s, Key);
    if (k >= 0) {
        if (m_lines.at(k).value == Value)
            return; // the line stays as it is, byte for byte
        // Keep the key where it is, as it is spelled in the file, with its line break.
        const QByteArray eol = m_lines.at(k).eol;
        m_lines[k] = newLine(m_lines.at(k).name + u'=' + stored);
        m_lines[k].eol = eol;
        return;
    }
    // After the section's last entry: blank lines and comments before the next
    // section header stay with that header.
    int pos = sectionEnd(s);
    while (pos > s + 1 && isCommentOrBlank(m_lines.at(pos - 1).text))
        --pos;
    m_lines.insert(pos, newLine(Key + u'=' + stored));
}

void IniDocument::eraseSection(const QString &Section)
{
    // Every occurrence goes, so no later one of the same name comes to light.
    QList<Line> kept;
    kept.reserve(m_lines.size());
    bool inErased = false;
    for (Line &line : m_lines) {
        if (line.kind == Line::Section)
            inErased = SameText(line.name, Section);
        if (!inErased)
            kept.append(std::move(line));
    }
    m_lines = std::move(kept);
}

void IniDocument::replaceSection(const QString &Section, const Entries &NewEntries)
{
    if (NewEntries.isEmpty()) {
        eraseSection(Section);
        return;
    }
    int s = findSection(Section);
    if (s < 0) {
        m_lines.append(newLine(u'[' + Section + u']'));
        s = m_lines.size() - 1;
    }
    // The old lines of the section by key (the first of each), to keep those
    // that do not change.
    const int end = sectionEnd(s);
    QHash<QString, int> oldKeys;
    QHash<QString, int> oldValues; // for an entry that moved to another key
    for (int i = s + 1; i < end; ++i) {
        if (m_lines.at(i).kind != Line::Key)
            continue;
        const QString folded = FoldCase(m_lines.at(i).name);
        if (!oldKeys.contains(folded))
            oldKeys.insert(folded, i);
        if (!oldValues.contains(m_lines.at(i).value))
            oldValues.insert(m_lines.at(i).value, i);
    }
    int top = s + 1;
    while (top < end && isCommentOrBlank(m_lines.at(top).text))
        ++top;
    int bottom = end;
    while (bottom > top && isCommentOrBlank(m_lines.at(bottom - 1).text))
        --bottom;

    QList<Line> body;
    QSet<QString> seen;
    for (const auto &[key, value] : NewEntries) {
        const QString folded = FoldCase(key);
        if (seen.contains(folded))
            continue;
        seen.insert(folded);
        const auto old = oldKeys.constFind(folded);
        const auto moved = oldValues.constFind(value);
        if (old != oldKeys.cend() && m_lines.at(*old).value == value)
            body.append(m_lines.at(*old));
        else if (moved != oldValues.cend() && !value.isEmpty())
            body.append(rekeyed(m_lines.at(*moved), key));
        else
            body.append(newLine(key + u'=' + quoteForStorage(value)));
    }
    // Later occurrences of the section go: with this one rewritten, their
    // keys would come to light.
    QList<Line> lines;
    lines.reserve(m_lines.size() - (bottom - top) + body.size());
    bool inLater = false;
    for (int i = 0; i < m_lines.size(); ++i) {
        if (i == top)
            lines.append(body);
        if (i >= top && i < bottom)
            continue;
        const Line &line = m_lines.at(i);
        if (line.kind == Line::Section)
            inLater = i > s && SameText(line.name, Section);
        if (!inLater)
            lines.append(line);
    }
    if (top >= m_lines.size())
        lines.append(body);
    m_lines = std::move(lines);
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

IniDocument TIniFile::load() const
{
    const FileReadResult file = readRegularFile(m_fileName);
    m_readProblem = file.status == FileReadResult::Refused ? file.reason : QString();
    if (file.status != FileReadResult::Read)
        return {};
    IniDocument doc = IniDocument::parse(file.bytes);
    if (!doc.whyNotRewritable().isEmpty())
        m_readProblem = doc.whyNotRewritable();
    return doc;
}

template<class Change>
void TIniFile::modify(Change &&Apply)
{
    const auto fail = [&](const QString &Reason) {
        return EIniFileException(QStringLiteral("Cannot write ini file %1: %2")
                                     .arg(QDir::toNativeSeparators(m_fileName), Reason));
    };
    const QString target = writeTarget(m_fileName);
    // Held until the new file is in place: another process's cycle cannot
    // read the old file meanwhile and then replace this write with its own.
    const FolderLock lock(QFileInfo(target).absolutePath());
    if (lock.busy())
        throw fail(lock.reason());
    const FileReadResult file = readRegularFile(target);
    if (file.status == FileReadResult::Refused)
        throw fail(file.reason);
    IniDocument doc = IniDocument::parse(file.bytes);
    if (!doc.whyNotRewritable().isEmpty())
        throw fail(doc.whyNotRewritable() + QStringLiteral("; the file is left as it is"));
    Apply(doc);
    const QByteArray bytes = doc.serialize();
    if (bytes == file.bytes)
        return; // nothing changed (and nothing to create)
    // A first start finds no settings folder: the first write makes it.
    const QString folder = makeFolderPath(QFileInfo(target).absolutePath());
    if (!folder.isEmpty())
        throw fail(folder);
    const QString error = writeFileAtomically(target, bytes);
    if (!error.isEmpty())
        throw fail(error);
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
    modify([&](IniDocument &Doc) { Doc.write(Section, Ident, Value); });
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
    modify([&](IniDocument &Doc) { Doc.eraseSection(Section); });
}

void TIniFile::ReplaceSection(const QString &Section,
                              const QList<std::pair<QString, QString>> &Entries)
{
    for (const auto &[key, value] : Entries) {
        const QString reason = IniDocument::whyNotStorable(Section, key, value);
        if (!reason.isEmpty())
            refuse(Section, key, reason);
    }
    modify([&](IniDocument &Doc) { Doc.replaceSection(Section, Entries); });
}

void TIniFile::DeleteKey(const QString &Section, const QString &Ident)
{
    modify([&](IniDocument &Doc) { Doc.deleteKey(Section, Ident); });
}

QList<std::pair<QString, QString>> TIniFile::ReadSectionEntries(const QString &Section) const
{
    return load().sectionEntries(Section);
}
