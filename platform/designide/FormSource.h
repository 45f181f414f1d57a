#pragma once

#include <QHash>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

// The text a component was read from, kept on it so that the writer gives
// back what did not change as it was. Private to the form reader and writer.
namespace formfile {

// One assignment of a block as written: from the end of what came before it
// (blank lines included) to the end of its last line.
struct SourceEntry
{
    QString Key; // the property in lower case without ".Strings"; empty when kept as written
    QString Raw;
    // A reference to a not-loaded component, kept as written: the component
    // and its name then. Written with its new name when renamed, left out
    // when no component of the module has that name any more.
    QPointer<QObject> Target;
    QString TargetName;
};

struct SourceBlock
{
    // The leading blanks of the header line: the raw text is shifted by
    // the difference when the component is written at another depth.
    int Indent = 0;
    QString Header; // up to the end of the header line
    std::vector<SourceEntry> Entries;
    QString Trailer; // the "end" line (for a not-loaded component, its children before it)
    // What the writer wrote for the header and for each property when the
    // text was read (all line breaks "\n", non-ASCII as is, at depth 0):
    // a property whose text is still this is unchanged.
    QString HeaderCanonical;
    QHash<QString, QString> Canonical;
    // The root's: what followed its "end", the file's line break, whether
    // its strings hold non-ASCII text as is rather than as #nnn.
    QString Tail;
    QString LineBreak = QStringLiteral("\n");
    bool RawNonAscii = false;
};

using SourceBlockPtr = std::shared_ptr<SourceBlock>;

// A property's canonical text that no writer produces: written anew always
// (a reference a paste left unset).
inline QString forcedChange()
{
    return QStringLiteral("\x01");
}

constexpr const char *SourceProperty = "_formSource";

inline SourceBlock *sourceOf(const QObject *Object)
{
    const QVariant v = Object->property(SourceProperty);
    return v.isValid() ? v.value<SourceBlockPtr>().get() : nullptr;
}

// Records, for the components read, what the writer writes for them now
// (their blocks' canonical texts); Root names the form they belong to.
void snapshotSources(const QObject *Root, const std::vector<QObject *> &Components);

} // namespace formfile

Q_DECLARE_METATYPE(formfile::SourceBlockPtr)
