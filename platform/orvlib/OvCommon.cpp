#include "orvlib/OvCommon.h"
#include "orvlib/OvVersionInfo.h"

#include <QFile>

#include <dlfcn.h>
#include <elf.h>

#include <climits>
#include <cstdlib>
#include <cstring>

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
    Q_UNUSED(ServerType); // SQLite and PostgreSQL share the standard quoting
    return QuoteIdentifier(Name, Quote);
}

namespace {

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
