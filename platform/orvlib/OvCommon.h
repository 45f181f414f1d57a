#pragma once

#include "orvlib/OvTypes.h"

#include <QList>
#include <QString>

#include <optional>

// Quotes an identifier for SQL when Quote is set: double quotes around it,
// inner double quotes doubled ("a""b"). Without Quote the name is returned
// unchanged. The overload with a server type quotes as that server's driver
// does (TOvDriver::QuoteIdent): backticks for MariaDB and MySQL.
QString QuoteIdentifier(const QString &Name, bool Quote);
QString QuoteIdentifier(TOvServerType ServerType, const QString &Name, bool Quote);

// Whether Name can stand unquoted in a statement for ServerType and still
// name exactly that column or table: letters, digits, "_" and "$", starting
// with a letter or "_", and no word the server reads as syntax or as a value
// (a column named "user" or "true" compares something else unquoted).
// Letters beyond ASCII count as letters, as SQLite and PostgreSQL read
// them (for MariaDB and MySQL a name with any of them is quoted). Letter
// case is not looked at: TOvDriver::IsPlainName adds a server's folding.
bool IsPlainIdentifier(TOvServerType ServerType, const QString &Name);

// Splits an object name into its parts by the servers' identifier rules:
// parts are separated by "."; a part in double quotes keeps its text
// exactly (dots and blanks included, a doubled quote read as one); blanks
// around a part are dropped. Each part is returned with whether it was
// quoted. Nothing is returned when the name does not split cleanly: an
// empty part (".T", "T.", "a..b"), an unterminated quote, text after a
// closing quote, or a quote inside an unquoted part.
struct TOvNamePart
{
    QString Text;
    bool Quoted = false;
};
std::optional<QList<TOvNamePart>> SplitIdentifierParts(const QString &Name);

// The object name to use for a catalogue look-up or a statement.
// Name is trimmed of surrounding blanks. When RemoveOwner is set (the server
// does not support owner-qualified names) an owner part is dropped: the text
// after the last "." that stands outside double quotes is kept, so
// "SALES.CUSTOMER" gives "CUSTOMER" and "SALES"."CUST.X" gives "CUST.X" in
// its quotes. When RemoveOwner is not set, the name keeps its owner part.
QString GetValidObjName(const QString &Name, bool RemoveOwner);

// Splits an object name written as [owner.]name into its parts, honouring
// double quotes (which are removed, a doubled quote read as one). The owner
// is empty when the name has none.
void SplitObjName(const QString &Name, QString &Owner, QString &Object);

// The full path of the module file (shared library, module or program) that
// contains AddressInModule, with symbolic links resolved; empty when the
// address lies in no loaded module.
QString GetModuleFileNameStr(const void *AddressInModule);

// Version information of a module file (see OvVersionInfo.h).
struct TOvFileVersionInfo
{
    QString FileVersion;
    QString ProductVersion;
    QString ProductName;
    QString InternalName;
    QString Description;
};

// Reads the version information stored in the ELF file FileName; nothing
// when the file cannot be read, is no ELF file or holds no version block.
std::optional<TOvFileVersionInfo> ReadFileVersionInfo(const QString &FileName);

// Sets ProductName to the file's product name and Version to its file
// version. A file without version information leaves both unchanged, and so
// does a block that lacks the field. Returns whether the file had a block.
bool ReadFileVersInfo(const QString &FileName, QString &ProductName, QString &Version);
