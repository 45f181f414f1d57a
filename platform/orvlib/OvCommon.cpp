#include "orvlib/OvCommon.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvVersionInfo.h"

#include <QFile>
#include <QSet>

#include <dlfcn.h>
#include <elf.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>

QString QuoteIdentifier(const QString &Name, bool Quote)
{
    if (!Quote)
        return Name;
    QString result;
    result.reserve(Name.size() + 2);
    result += QLatin1Char('"');
    for (QChar c : Name) {
        if (c == QLatin1Char('"'))
            result += QLatin1Char('"');
        result += c;
    }
    result += QLatin1Char('"');
    return result;
}

QString QuoteIdentifier(TOvServerType ServerType, const QString &Name, bool Quote)
{
    if (!Quote)
        return Name;
    return HasDriver(ServerType) ? IdentifierRules(ServerType).QuoteIdent(Name)
                                 : QuoteIdentifier(Name, true);
}

namespace {

// Words that cannot be a column or table name unquoted: PostgreSQL's
// reserved key words, including those that may only name functions or types.
constexpr const char kPostgreSQLReserved[]
    = "all analyse analyze and any array as asc asymmetric authorization binary both case cast "
      "check collate collation column concurrently constraint create cross current_catalog "
      "current_date current_role current_schema current_time current_timestamp current_user "
      "default deferrable desc distinct do else end except false fetch for foreign freeze from "
      "full grant group having ilike in initially inner intersect into is isnull join lateral "
      "leading left like limit localtime localtimestamp natural not notnull null offset on "
      "only or order outer overlaps placing primary references returning right select "
      "session_user similar some symmetric system_user table tablesample then to trailing true "
      "union unique user using variadic verbose when where window with";

// SQLite's key words. Most of them may name a column unquoted, but some
// then mean something else (current_date, true); quoting costs nothing
// there, since SQLite ignores letter case in quoted names as well.
constexpr const char kSQLiteKeywords[]
    = "abort action add after all alter always analyze and as asc attach autoincrement before "
      "begin between by cascade case cast check collate column commit conflict constraint "
      "create cross current current_date current_time current_timestamp database default "
      "deferrable deferred delete desc detach distinct do drop each else end escape except "
      "exclude exclusive exists explain fail false filter first following for foreign from "
      "full generated glob group groups having if ignore immediate in index indexed initially "
      "inner insert instead intersect into is isnull join key last left like limit match "
      "materialized natural no not nothing notnull null nulls of offset on or order others "
      "outer over partition plan pragma preceding primary query raise range recursive "
      "references regexp reindex release rename replace restrict returning right rollback row "
      "rows savepoint select set table temp temporary then ties to transaction trigger true "
      "unbounded union unique update using vacuum values view virtual when where window with "
      "without";

// MariaDB's and MySQL's reserved words: a name spelled so needs backticks.
constexpr const char kMySQLReserved[]
    = "accessible add all alter analyze and as asc asensitive before between bigint binary blob "
      "both by call cascade case change char character check collate column condition "
      "constraint continue convert create cross cube cume_dist current_date current_role "
      "current_time current_timestamp current_user cursor database databases day_hour "
      "day_microsecond day_minute day_second dec decimal declare default delayed delete "
      "delete_domain_id dense_rank desc describe deterministic distinct distinctrow div "
      "do_domain_ids double drop dual each else elseif empty enclosed escaped except exists "
      "exit explain false fetch first_value float float4 float8 for force foreign from "
      "fulltext function general generated get grant group grouping groups having "
      "high_priority hour_microsecond hour_minute hour_second if ignore ignore_domain_ids "
      "ignore_server_ids in index infile inner inout insensitive insert int int1 int2 int3 "
      "int4 int8 integer intersect interval into io_after_gtids io_before_gtids is iterate "
      "join json_table key keys kill lag last_value lateral lead leading leave left like "
      "limit linear lines load localtime localtimestamp lock long longblob longtext loop "
      "low_priority master_bind master_heartbeat_period master_ssl_verify_server_cert match "
      "maxvalue mediumblob mediumint mediumtext middleint minute_microsecond minute_second "
      "mod modifies natural not no_write_to_binlog nth_value ntile null numeric of offset "
      "on optimize optimizer_costs option optionally or order out outer outfile over "
      "page_checksum parse_vcol_expr partition percent_rank position precision primary "
      "procedure purge range rank read read_write reads real recursive ref_system_id "
      "references regexp release rename repeat replace require resignal restrict return "
      "returning revoke right rlike row row_number rows schema schemas second_microsecond "
      "select sensitive separator set show signal slow smallint spatial specific sql "
      "sql_big_result sql_calc_found_rows sql_small_result sqlexception sqlstate sqlwarning "
      "ssl starting stats_auto_recalc stats_persistent stats_sample_pages stored straight_join "
      "system table terminated then tinyblob tinyint tinytext to trailing trigger true undo "
      "union unique unlock unsigned update usage use using utc_date utc_time utc_timestamp "
      "values varbinary varchar varcharacter varying virtual when where while window with "
      "write xor year_month zerofill";

QSet<QString> wordSet(const char *Words)
{
    QSet<QString> set;
    for (const QString &word : QString::fromLatin1(Words).split(u' ', Qt::SkipEmptyParts))
        set.insert(word);
    return set;
}

bool isReserved(TOvServerType ServerType, const QString &Name)
{
    static const QSet<QString> postgres = wordSet(kPostgreSQLReserved);
    // A statement written for SQLite may be copied to a PostgreSQL server:
    // SQLite quotes the words of both.
    static const QSet<QString> sqlite = wordSet(kSQLiteKeywords).unite(postgres);
    static const QSet<QString> mysql = wordSet(kMySQLReserved);
    const QSet<QString> &words = ServerType == TOvServerType::stPostgreSQL ? postgres
                                 : ServerType == TOvServerType::stMySQL    ? mysql
                                                                           : sqlite;
    // A generator asks this of every name it writes: an ASCII name is
    // folded on the stack; any other goes through the full lower-casing.
    char16_t folded[32];
    if (Name.size() > qsizetype(std::size(folded)))
        return false; // longer than any reserved word
    for (qsizetype i = 0; i < Name.size(); ++i) {
        const char16_t u = Name.at(i).unicode();
        if (u >= 0x80)
            return words.contains(Name.toLower());
        folded[i] = u >= u'A' && u <= u'Z' ? char16_t(u + (u'a' - u'A')) : u;
    }
    return words.contains(
        QString::fromRawData(reinterpret_cast<const QChar *>(folded), Name.size()));
}

// Position of the last "." outside double quotes, or -1.
qsizetype lastOwnerDot(const QString &Name)
{
    qsizetype dot = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < Name.size(); ++i) {
        const QChar c = Name.at(i);
        if (c == QLatin1Char('"'))
            quoted = !quoted; // a doubled quote toggles twice: no change
        else if (c == QLatin1Char('.') && !quoted)
            dot = i;
    }
    return dot;
}

QString unquote(const QString &Part)
{
    const QString s = Part.trimmed();
    if (s.size() >= 2 && s.startsWith(QLatin1Char('"')) && s.endsWith(QLatin1Char('"'))) {
        QString inner = s.mid(1, s.size() - 2);
        inner.replace(QLatin1String("\"\""), QLatin1String("\""));
        return inner;
    }
    return s;
}

} // namespace

bool IsPlainIdentifier(TOvServerType ServerType, const QString &Name)
{
    if (Name.isEmpty())
        return false;
    for (qsizetype i = 0; i < Name.size(); ++i) {
        const QChar c = Name.at(i);
        const char16_t u = c.unicode();
        bool ok;
        if (u < 0x80)
            ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_'
                 || (i > 0 && ((u >= '0' && u <= '9') || u == '$'));
        else if (ServerType == TOvServerType::stMySQL)
            ok = false; // MariaDB's lexer takes such letters only in backticks safely
        else            // no blank, mark or symbol beyond ASCII: the lexers differ on them
            ok = c.isLetter() || (i > 0 && c.isDigit());
        if (!ok)
            return false;
    }
    return !isReserved(ServerType, Name);
}

std::optional<QList<TOvNamePart>> SplitIdentifierParts(const QString &Name)
{
    QList<TOvNamePart> parts;
    const qsizetype n = Name.size();
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < n && Name.at(i).isSpace())
            ++i;
    };
    for (;;) {
        skipBlanks();
        TOvNamePart part;
        if (i < n && Name.at(i) == u'"') {
            part.Quoted = true;
            bool closed = false;
            for (++i; i < n; ++i) {
                if (Name.at(i) == u'"') {
                    if (i + 1 < n && Name.at(i + 1) == u'"') {
                        part.Text += u'"';
                        ++i;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                part.Text += Name.at(i);
            }
            if (!closed || part.Text.isEmpty())
                return std::nullopt;
            skipBlanks();
        } else {
            const qsizetype start = i;
            while (i < n && Name.at(i) != u'.') {
                if (Name.at(i) == u'"')
                    return std::nullopt;
                ++i;
            }
            part.Text = Name.mid(start, i - start).trimmed();
            if (part.Text.isEmpty())
                return std::nullopt;
        }
        parts.append(part);
        if (i >= n)
            return parts;
        if (Name.at(i) != u'.')
            return std::nullopt; // text after a closing quote
        ++i;
    }
}

QString GetValidObjName(const QString &Name, bool RemoveOwner)
{
    const QString name = Name.trimmed();
    if (!RemoveOwner)
        return name;
    const qsizetype dot = lastOwnerDot(name);
    return dot < 0 ? name : name.mid(dot + 1).trimmed();
}

void SplitObjName(const QString &Name, QString &Owner, QString &Object)
{
    const QString name = Name.trimmed();
    const qsizetype dot = lastOwnerDot(name);
    if (dot < 0) {
        Owner.clear();
        Object = unquote(name);
    } else {
        Owner = unquote(name.left(dot));
        Object = unquote(name.mid(dot + 1));
    }
}

QString GetModuleFileNameStr(const void *AddressInModule)
{
    Dl_info info{};
    if (!AddressInModule || dladdr(AddressInModule, &info) == 0 || !info.dli_fname)
        return QString();
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved))
        return QString::fromLocal8Bit(resolved);
    return QString::fromLocal8Bit(info.dli_fname);
}

namespace {

// The contents of the named section of an ELF image, or an empty array.
// Every offset and size read from the file is checked against the image.
template<class Ehdr, class Shdr>
QByteArray elfSection(const QByteArray &Image, const char *SectionName)
{
    const auto size = static_cast<quint64>(Image.size());
    if (size < sizeof(Ehdr))
        return {};
    Ehdr eh;
    std::memcpy(&eh, Image.constData(), sizeof eh);
    if (eh.e_shentsize != sizeof(Shdr) || eh.e_shnum == 0 || eh.e_shoff > size
        || quint64(eh.e_shnum) * sizeof(Shdr) > size - eh.e_shoff || eh.e_shstrndx >= eh.e_shnum)
        return {};
    auto header = [&](unsigned Index) {
        Shdr sh;
        std::memcpy(&sh, Image.constData() + eh.e_shoff + quint64(Index) * sizeof(Shdr), sizeof sh);
        return sh;
    };
    const Shdr names = header(eh.e_shstrndx);
    if (names.sh_offset > size || names.sh_size > size - names.sh_offset)
        return {};
    const quint64 wantedLen = std::strlen(SectionName);
    for (unsigned i = 0; i < eh.e_shnum; ++i) {
        const Shdr sh = header(i);
        if (sh.sh_name >= names.sh_size || names.sh_size - sh.sh_name < wantedLen + 1)
            continue;
        const char *name = Image.constData() + names.sh_offset + sh.sh_name;
        if (std::memcmp(name, SectionName, wantedLen + 1) != 0)
            continue;
        if (sh.sh_type == SHT_NOBITS || sh.sh_offset > size || sh.sh_size > size - sh.sh_offset)
            return {};
        return Image.mid(qsizetype(sh.sh_offset), qsizetype(sh.sh_size));
    }
    return {};
}

} // namespace

std::optional<TOvFileVersionInfo> ReadFileVersionInfo(const QString &FileName)
{
    QFile file(FileName);
    if (FileName.isEmpty() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray image = file.readAll();
    if (image.size() < EI_NIDENT || std::memcmp(image.constData(), ELFMAG, SELFMAG) != 0)
        return std::nullopt;
    QByteArray section;
    if (image[EI_CLASS] == ELFCLASS64)
        section = elfSection<Elf64_Ehdr, Elf64_Shdr>(image, OV_VERSION_INFO_SECTION);
    else if (image[EI_CLASS] == ELFCLASS32)
        section = elfSection<Elf32_Ehdr, Elf32_Shdr>(image, OV_VERSION_INFO_SECTION);
    // The section may hold padding and further blocks; the first block counts.
    const qsizetype start = section.indexOf(OV_VERSION_INFO_MAGIC "\n");
    if (start < 0)
        return std::nullopt;
    qsizetype end = section.indexOf('\0', start);
    if (end < 0)
        end = section.size();
    const QStringList lines
        = QString::fromUtf8(section.mid(start, end - start)).split(QLatin1Char('\n'));
    TOvFileVersionInfo info;
    for (const QString &line : lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq);
        const QString value = line.mid(eq + 1);
        if (key == QLatin1String("FileVersion"))
            info.FileVersion = value;
        else if (key == QLatin1String("ProductVersion"))
            info.ProductVersion = value;
        else if (key == QLatin1String("ProductName"))
            info.ProductName = value;
        else if (key == QLatin1String("InternalName"))
            info.InternalName = value;
        else if (key == QLatin1String("Description"))
            info.Description = value;
    }
    return info;
}

bool ReadFileVersInfo(const QString &FileName, QString &ProductName, QString &Version)
{
    const std::optional<TOvFileVersionInfo> info = ReadFileVersionInfo(FileName);
    if (!info)
        return false;
    if (!info->ProductName.isEmpty())
        ProductName = info->ProductName;
    if (!info->FileVersion.isEmpty())
        Version = info->FileVersion;
    return true;
}
