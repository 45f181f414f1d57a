// Fuzz target for the ini parser: whatever the bytes, parsing never crashes,
// a serialized document parses back to the same sections, keys and values,
// and a storable write changes exactly the entry written.
#include "rtl/IniFiles.h"
#include "rtl/SysUtils.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

namespace {

using Entries = std::map<std::pair<QString, QString>, QString>;

[[noreturn]] void fail(const char *What)
{
    std::fprintf(stderr, "fuzz_ini: %s\n", What);
    std::abort();
}

void check(bool Ok, const char *What)
{
    if (!Ok)
        fail(What);
}

// Every visible entry, keyed by lower-cased section and key.
Entries entriesOf(const IniDocument &Doc)
{
    Entries result;
    for (const QString &section : Doc.sections()) {
        const QStringList keys = Doc.keys(section);
        const QStringList lines = Doc.sectionValues(section);
        check(keys.size() == lines.size(), "keys and section values disagree");
        for (qsizetype i = 0; i < keys.size(); ++i) {
            QString value;
            check(Doc.read(section, keys.at(i), &value), "a listed key cannot be read");
            check(lines.at(i) == keys.at(i) + u'=' + value, "section value line differs");
            // The reads a TIniFile makes of a value must not fail either.
            int number;
            TryStrToInt(value, number);
            result[{section.toLower(), keys.at(i).toLower()}] = value;
        }
    }
    return result;
}

// A section, key and value taken from the last line of the input, split at "|".
bool pickEntry(const QByteArray &Data, QString &Section, QString &Key, QString &Value)
{
    const qsizetype nl = Data.lastIndexOf('\n');
    const QList<QByteArray> parts = Data.mid(nl + 1).split('|');
    if (parts.size() < 3)
        return false;
    Section = QString::fromUtf8(parts.at(0));
    Key = QString::fromUtf8(parts.at(1));
    Value = QString::fromUtf8(parts.at(2));
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    const QByteArray input(reinterpret_cast<const char *>(Data), static_cast<qsizetype>(Size));
    const IniDocument doc = IniDocument::parse(input);
    const QByteArray text = doc.serialize();
    const IniDocument again = IniDocument::parse(text);
    const Entries entries = entriesOf(doc);
    check(entriesOf(again) == entries, "round trip changed the entries");
    check(doc.sections() == again.sections(), "round trip changed the sections");
    check(again.serialize() == text, "serializing is not stable");

    QString section, key, value;
    if (!pickEntry(input, section, key, value))
        return 0;
    if (!IniDocument::whyNotStorable(section, key, value).isEmpty())
        return 0;
    // A file in an encoding that cannot be kept is never rewritten (TIniFile
    // refuses the write), so there is no write to check.
    if (!doc.whyNotRewritable().isEmpty())
        return 0;

    IniDocument written = again;
    written.write(section, key, value);
    const IniDocument reread = IniDocument::parse(written.serialize());
    QString back;
    check(reread.read(section, key, &back) && back == value, "a written value reads back changed");
    Entries expected = entries;
    expected[{section.toLower(), key.toLower()}] = value;
    check(entriesOf(reread) == expected, "a write changed other entries");

    IniDocument erased = reread;
    erased.eraseSection(section);
    const IniDocument afterErase = IniDocument::parse(erased.serialize());
    check(!afterErase.hasSection(section), "an erased section is still there");
    std::erase_if(expected, [&](const auto &e) { return e.first.first == section.toLower(); });
    check(entriesOf(afterErase) == expected, "erasing a section changed other sections");

    IniDocument deleted = reread;
    deleted.deleteKey(section, key);
    check(!IniDocument::parse(deleted.serialize()).read(section, key, nullptr),
          "a deleted key is still there");
    return 0;
}
