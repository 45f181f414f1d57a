#include "PackageLoader.h"

#include "DesignErrors.h"
#include "PackageInfo.h"
#include "Registrations.h"

#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

namespace {

struct Package
{
    TLoadedPackage Info;
    const OvPackageInfo *Raw = nullptr;
};

std::vector<Package> &packages()
{
    static std::vector<Package> loaded;
    return loaded;
}

struct Notifier
{
    int Id;
    TPackageNotifier Call;
};

std::vector<Notifier> &notifiers()
{
    static std::vector<Notifier> list;
    return list;
}

// Tells every notifier; one that raises must not leave the loader half-way
// (the package list and the module are consistent already), so its error is
// only reported.
void notify(const QString &Name, bool Loaded)
{
    const std::vector<Notifier> list = notifiers(); // a notifier may remove itself
    for (const Notifier &n : list) {
        try {
            n.Call(Name, Loaded);
        } catch (const std::exception &e) {
            qWarning("package notifier failed: %s", e.what());
        } catch (...) {
            qWarning("package notifier failed");
        }
    }
}

QString dlErrorText()
{
    const char *text = dlerror();
    return text ? QString::fromLocal8Bit(text) : QStringLiteral("unknown error");
}

// The message of Error as a string of its own: a message made from a string
// literal of the module points into the module's memory, which is gone once
// the module is closed.
QString exceptionText(std::exception_ptr Error)
{
    try {
        std::rethrow_exception(Error);
    } catch (const Exception &e) {
        return QString(e.Message().constData(), e.Message().size());
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("unknown exception");
    }
}

// The address of entry point Name in the module itself. dlsym on a handle
// also searches the module's dependencies, so a module without the entry
// point could hand back a namesake from a library it links; such a symbol
// does not count.
void *ownSymbol(void *Handle, const char *Name)
{
    dlerror();
    void *symbol = dlsym(Handle, Name);
    if (!symbol)
        return nullptr;
    link_map *map = nullptr;
    Dl_info info{};
    if (dlinfo(Handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !dladdr(symbol, &info)
        || !info.dli_fname || qstrcmp(info.dli_fname, map->l_name) != 0)
        return nullptr;
    return symbol;
}

// The ELF machine this program was built for.
constexpr ElfW(Half) nativeMachine()
{
#if defined(__x86_64__)
    return EM_X86_64;
#elif defined(__i386__)
    return EM_386;
#elif defined(__aarch64__)
    return EM_AARCH64;
#elif defined(__arm__)
    return EM_ARM;
#elif defined(__riscv)
    return EM_RISCV;
#elif defined(__powerpc64__)
    return EM_PPC64;
#elif defined(__s390x__)
    return EM_S390;
#elif defined(__loongarch__)
    return EM_LOONGARCH;
#else
#error "the ELF machine of this architecture is not known"
#endif
}

QString machineName(ElfW(Half) Machine)
{
    switch (Machine) {
    case EM_X86_64:
        return QStringLiteral("x86-64");
    case EM_386:
        return QStringLiteral("x86");
    case EM_AARCH64:
        return QStringLiteral("AArch64");
    case EM_ARM:
        return QStringLiteral("ARM");
    case EM_RISCV:
        return QStringLiteral("RISC-V");
    case EM_PPC64:
        return QStringLiteral("PowerPC 64");
    case EM_PPC:
        return QStringLiteral("PowerPC");
    case EM_S390:
        return QStringLiteral("S/390");
    case EM_MIPS:
        return QStringLiteral("MIPS");
    default:
        return QStringLiteral("ELF machine %1").arg(Machine);
    }
}

// Why the file at Path cannot be handed to the dynamic loader, or an empty
// string. The loader maps the file's segments as its headers describe them;
// a segment beyond the end of a truncated file is mapped all the same and
// kills the process at the first touch (a bus error). So the headers are
// checked against the file's real size first.
QString whyNotLoadable(const QString &Path)
{
    struct stat st
    {};
    if (::stat(QFile::encodeName(Path).constData(), &st) != 0)
        return {}; // the loader says what is missing
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("it is not a regular file");
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    const quint64 size = quint64(st.st_size);
    ElfW(Ehdr) header{};
    if (file.read(reinterpret_cast<char *>(&header), sizeof header) != qint64(sizeof header)
        || memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
        return QStringLiteral("it is not an ELF shared object");
    const unsigned char nativeClass = sizeof(void *) == 8 ? ELFCLASS64 : ELFCLASS32;
    if (header.e_ident[EI_CLASS] != nativeClass)
        return QStringLiteral("it is an ELF object of another word size");
    const unsigned char nativeData = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? ELFDATA2LSB : ELFDATA2MSB;
    if (header.e_ident[EI_DATA] != nativeData)
        return QStringLiteral("it is an ELF object of the other byte order");
    // The dynamic loader skips a module of another machine and then reports
    // only "No such file or directory".
    if (header.e_machine != nativeMachine())
        return QStringLiteral("it was built for another architecture (%1); this program runs on %2")
            .arg(machineName(header.e_machine), machineName(nativeMachine()));
    if (header.e_type != ET_DYN)
        return QStringLiteral("it is an ELF object, but not a shared object");
    const auto truncated = [&](quint64 Needed) {
        return QStringLiteral("the file is truncated or damaged: it holds %1 bytes, its headers "
                              "describe %2")
            .arg(size)
            .arg(Needed);
    };
    const auto tableEnd = [](quint64 Offset, quint64 Count, quint64 EntrySize) {
        // No overflow: Offset is checked against the size first; the others are 16-bit.
        return Offset + Count * EntrySize;
    };
    if (header.e_phentsize != sizeof(ElfW(Phdr)) || header.e_phnum == 0)
        return QStringLiteral("its program header table is damaged");
    if (header.e_phoff > size
        || tableEnd(header.e_phoff, header.e_phnum, header.e_phentsize) > size)
        return truncated(tableEnd(header.e_phoff, header.e_phnum, header.e_phentsize));
    if (header.e_shoff != 0
        && (header.e_shoff > size
            || tableEnd(header.e_shoff, header.e_shnum, header.e_shentsize) > size))
        return truncated(tableEnd(header.e_shoff, header.e_shnum, header.e_shentsize));
    std::vector<ElfW(Phdr)> segments(header.e_phnum);
    const qint64 bytes = qint64(segments.size() * sizeof(ElfW(Phdr)));
    if (!file.seek(qint64(header.e_phoff))
        || file.read(reinterpret_cast<char *>(segments.data()), bytes) != bytes)
        return QStringLiteral("its program header table cannot be read");
    for (const ElfW(Phdr) & segment : segments) {
        if (segment.p_type == PT_NULL)
            continue;
        if (segment.p_offset > size || segment.p_filesz > size - segment.p_offset)
            return truncated(segment.p_offset + segment.p_filesz);
    }
    return {};
}

// Runs the finalizations of the first Count units, last first. Every one runs;
// the first failure is returned.
std::exception_ptr finalizeUnits(const OvPackageInfo *Raw, uint32_t Count)
{
    std::exception_ptr first;
    for (uint32_t i = Count; i-- > 0;) {
        if (!Raw->Units[i].Finalization)
            continue;
        try {
            Raw->Units[i].Finalization();
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    return first;
}

QString unitName(const OvPackageInfo *Raw, uint32_t Index)
{
    const char *name = Raw->Units[Index].Name;
    return name ? QString::fromUtf8(name) : QStringLiteral("#%1").arg(Index);
}

} // namespace

QString loadPackage(const QString &FileName)
{
    const QString path = QFileInfo(FileName).absoluteFilePath();
    const auto fail = [&](const QString &Reason) {
        return EPackageError(QStringLiteral("Cannot load package %1: %2").arg(path, Reason));
    };

    const QString damage = whyNotLoadable(path);
    if (!damage.isEmpty())
        throw fail(damage);
    dlerror();
    void *handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw fail(dlErrorText());
    // Until the package is in the list, every way out closes the module.
    bool keep = false;
    struct Closer
    {
        void *handle;
        bool &keep;
        ~Closer()
        {
            if (!keep)
                dlclose(handle);
        }
    } closer{handle, keep};

    auto getInfo = reinterpret_cast<OvGetPackageInfoProc>(ownSymbol(handle, "OvGetPackageInfo"));
    if (!getInfo)
        throw fail(QStringLiteral("entry point OvGetPackageInfo not found"));
    auto registerProc = reinterpret_cast<OvRegisterProc>(ownSymbol(handle, "Register"));
    if (!registerProc)
        throw fail(QStringLiteral("entry point Register not found"));
    const OvPackageInfo *raw = getInfo();
    if (!raw)
        throw fail(QStringLiteral("OvGetPackageInfo returned no package information"));
    if (raw->AbiVersion != OV_PACKAGE_ABI_VERSION)
        throw fail(QStringLiteral("package ABI version %1, expected %2")
                       .arg(raw->AbiVersion)
                       .arg(OV_PACKAGE_ABI_VERSION));
    if (!raw->Name || !*raw->Name)
        throw fail(QStringLiteral("the package information names no package"));
    if (raw->UnitCount > 0 && !raw->Units)
        throw fail(QStringLiteral("the package information lists no units"));

    Package package;
    package.Raw = raw;
    TLoadedPackage &info = package.Info;
    info.FileName = path;
    info.Name = QString::fromUtf8(raw->Name);
    info.Description = QString::fromUtf8(raw->Description ? raw->Description : "");
    info.DesignTimeOnly = raw->DesignTimeOnly != 0;
    for (const char *const *r = raw->Requires; r && *r; ++r)
        info.Requires << QString::fromUtf8(*r);
    for (uint32_t i = 0; i < raw->UnitCount; ++i)
        info.Units << unitName(raw, i);
    info.Handle = handle;

    if (findPackage(info.Name))
        throw fail(QStringLiteral("a package named %1 is already loaded").arg(info.Name));

    uint32_t initialized = 0;
    try {
        for (; initialized < raw->UnitCount; ++initialized)
            if (raw->Units[initialized].Initialization)
                raw->Units[initialized].Initialization();
    } catch (...) {
        const QString reason = exceptionText(std::current_exception());
        finalizeUnits(raw, initialized);
        throw EPackageError(QStringLiteral("Package %1: initialization of unit %2 failed: %3")
                                .arg(info.Name, unitName(raw, initialized), reason));
    }

    try {
        CurrentPackageScope scope(info.Name);
        registerProc();
    } catch (...) {
        const QString reason = exceptionText(std::current_exception());
        registrations().removePackage(info.Name);
        finalizeUnits(raw, initialized);
        throw EPackageError(
            QStringLiteral("Package %1: Register failed: %2").arg(info.Name, reason));
    }

    const QString name = info.Name;
    packages().push_back(std::move(package));
    keep = true;
    notify(name, true);
    return name;
}

bool unloadPackage(const QString &Name)
{
    auto &list = packages();
    auto it = std::find_if(list.begin(), list.end(), [&](const Package &p) {
        return p.Info.Name.compare(Name, Qt::CaseInsensitive) == 0;
    });
    if (it == list.end())
        return false;
    // Out of the list first: whatever the finalizations do, the package counts
    // as unloaded and a second call does nothing.
    Package package = std::move(*it);
    list.erase(it);

    registrations().removePackage(package.Info.Name);
    notify(package.Info.Name, false);
    std::exception_ptr error = finalizeUnits(package.Raw, package.Raw->UnitCount);
    // The exception may be of a class of the module: read it and let it go
    // while the module's code is still there.
    const QString reason = error ? exceptionText(error) : QString();
    error = nullptr;
    dlclose(package.Info.Handle);
    if (!reason.isNull())
        throw EPackageError(
            QStringLiteral("Package %1: finalization failed: %2").arg(package.Info.Name, reason));
    return true;
}

void unloadAllPackages()
{
    std::exception_ptr first;
    while (!packages().empty()) {
        try {
            unloadPackage(packages().back().Info.Name);
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    if (first)
        std::rethrow_exception(first);
}

QList<TLoadedPackage> loadedPackages()
{
    QList<TLoadedPackage> result;
    for (const Package &p : packages())
        result << p.Info;
    return result;
}

const TLoadedPackage *findPackage(const QString &Name)
{
    for (const Package &p : packages())
        if (p.Info.Name.compare(Name, Qt::CaseInsensitive) == 0)
            return &p.Info;
    return nullptr;
}

int addPackageNotifier(TPackageNotifier Notifier)
{
    static int lastId = 0;
    notifiers().push_back({++lastId, std::move(Notifier)});
    return lastId;
}

void removePackageNotifier(int Id)
{
    auto &list = notifiers();
    list.erase(
        std::remove_if(list.begin(), list.end(), [Id](const Notifier &N) { return N.Id == Id; }),
        list.end());
}
