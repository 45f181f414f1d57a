#include "FormFile.h"
#include "FormProps.h"

#include "rtl/Classes.h"
#include "rtl/FileAccess.h"
#include "rtl/FileLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QMetaEnum>

#include <cmath>
#include <memory>
#include <vector>

using namespace formfile;

namespace {

// Strings longer than this are split into parts joined by "+".
constexpr int StringPartLength = 64;

// One part of a string: quoted runs of printable ASCII, #nn for every other
// UTF-16 unit (control characters, non-ASCII text).
QString quotePart(QStringView Text)
{
    QString out;
    bool quoted = false;
    for (QChar c : Text) {
        const char16_t u = c.unicode();
        if (u >= 32 && u <= 126) {
            if (!quoted) {
                out += QLatin1Char('\'');
                quoted = true;
            }
            if (u == '\'')
                out += QLatin1Char('\'');
            out += c;
        } else {
            if (quoted) {
                out += QLatin1Char('\'');
                quoted = false;
            }
            out += QLatin1Char('#') + QString::number(u);
        }
    }
    if (quoted)
        out += QLatin1Char('\'');
    return out.isEmpty() ? QStringLiteral("''") : out;
}

// The parts of a string, each ready to write; one part for a short string.
// A part ends after a line break (so a statement keeps one line a part) or
// at StringPartLength characters.
QStringList stringParts(const QString &Text)
{
    QStringList parts;
    qsizetype at = 0;
    while (at < Text.size() || parts.isEmpty()) {
        qsizetype length = 0;
        while (at + length < Text.size() && length < StringPartLength) {
            const QChar c = Text[at + length++];
            if (c == QLatin1Char('\n'))
                break;
        }
        // Never split a surrogate pair.
        if (at + length < Text.size() && Text[at + length - 1].isHighSurrogate())
            ++length;
        parts.append(quotePart(QStringView(Text).mid(at, length)));
        at += length;
    }
    return parts;
}

QString indentOf(int Level)
{
    return QString(Level * 2, QLatin1Char(' '));
}

class Writer
{
public:
    explicit Writer(const QObject *Root)
        : m_root(Root)
    {}

    ~Writer()
    {
        for (QObject *o : std::as_const(m_defaults))
            delete o;
    }

    QString write()
    {
        writeObject(m_root, 0);
        return m_out;
    }

    // One object of the form at the outermost level; the root without its
    // components.
    QString writeOne(const QObject *Object)
    {
        m_out.clear();
        writeObject(Object, 0, Object != m_root);
        return std::exchange(m_out, QString());
    }

private:
    // A new component of Meta's class, kept for the whole write: what "the
    // default value" of a property means. Null when the class cannot be created.
    QObject *defaultOf(const QMetaObject *Meta)
    {
        auto it = m_defaults.find(Meta);
        if (it == m_defaults.end())
            it = m_defaults.insert(Meta, Meta->newInstance(Q_ARG(QObject *, nullptr)));
        return it.value();
    }

    // A new item of the collection property Prop of a new component of
    // Owner's class.
    QObject *defaultItemOf(const QObject *Owner, const QMetaProperty &Prop)
    {
        const QPair<const QMetaObject *, int> key(Owner->metaObject(), Prop.propertyIndex());
        auto it = m_defaultItems.find(key);
        if (it != m_defaultItems.end())
            return it.value();
        QObject *item = nullptr;
        // A component of its own: adding to the default component would
        // change what its collection's default is.
        QObject *owner = Owner->metaObject()->newInstance(Q_ARG(QObject *, nullptr));
        if (owner) {
            m_itemOwners.emplace_back(owner);
            QObject *collection = Prop.read(owner).value<QObject *>();
            if (isCollection(collection))
                item = collectionAdd(collection);
        }
        m_defaultItems.insert(key, item);
        return item;
    }

    bool isInForm(const QObject *Target) const
    {
        if (Target == m_root)
            return true;
        if (Target->objectName().isEmpty())
            return false;
        for (const QObject *o = Target->parent(); o; o = o->parent())
            if (o == m_root)
                return true;
        return false;
    }

    // Whether the class lists Prop in its "nodefault" class information:
    // written whatever its value, since its default is no constant.
    static bool isNoDefault(const QObject *Object, const QMetaProperty &Prop)
    {
        const QMetaObject *meta = Object->metaObject();
        const int index = meta->indexOfClassInfo("nodefault");
        if (index < 0)
            return false;
        const QList<QByteArray> names = QByteArray(meta->classInfo(index).value()).split(',');
        for (const QByteArray &n : names)
            if (n.trimmed() == Prop.name())
                return true;
        return false;
    }

    // A component may keep a value equal to a fresh component's when the
    // rest of its text would set another on reading (an empty Params beside
    // a statement with parameter markers): Is<Name>Kept() says so.
    static bool isKept(const QObject *Object, const QMetaProperty &Prop)
    {
        const QByteArray signature = QByteArray("Is") + Prop.name() + "Kept()";
        const int index = Object->metaObject()->indexOfMethod(signature.constData());
        if (index < 0)
            return false;
        bool kept = false;
        Object->metaObject()->method(index).invoke(const_cast<QObject *>(Object),
                                                   Qt::DirectConnection, Q_RETURN_ARG(bool, kept));
        return kept;
    }

    static bool isComponentOf(const QObject *Child)
    {
        return !Child->objectName().isEmpty()
               && GetClass(QLatin1String(Child->metaObject()->className())) == Child->metaObject();
    }

    void line(int Level, const QString &Text)
    {
        m_out += indentOf(Level);
        m_out += Text;
        m_out += QLatin1Char('\n');
    }

    void writeObject(const QObject *Object, int Level, bool Components = true)
    {
        // The header as it was read: "inherited" and "inline" blocks and an
        // inherited component's position mean something to the form's loader.
        const QString kind = Object->property(FormHeaderKindProperty).toString();
        const QVariant position = Object->property(FormHeaderIndexProperty);
        line(Level, QStringLiteral("%1 %2: %3%4")
                        .arg(kind == QLatin1String("inherited") || kind == QLatin1String("inline")
                                 ? kind
                                 : QStringLiteral("object"),
                             Object->objectName(), QLatin1String(Object->metaObject()->className()),
                             position.isValid() ? QStringLiteral(" [%1]").arg(position.toInt())
                                                : QString()));
        writeProperties(Object, defaultOf(Object->metaObject()), Level + 1);
        for (const char *name : {"Left", "Top"}) {
            if (Object->metaObject()->indexOfProperty(name) >= 0)
                continue;
            const QVariant v = Object->property(name);
            if (v.isValid())
                line(Level + 1,
                     QStringLiteral("%1 = %2").arg(QLatin1String(name)).arg(v.toLongLong()));
        }
        if (Components)
            for (const QObject *child : Object->children())
                if (isComponentOf(child))
                    writeObject(child, Level + 1);
        line(Level, QStringLiteral("end"));
    }

    void writeProperties(const QObject *Object, const QObject *Default, int Level)
    {
        for (const QMetaProperty &p : publishedProperties(Object->metaObject())) {
            // An activation read and held goes back as it was stored.
            const bool held = IsHeldActivation(Object, QLatin1String(p.name()));
            if (!held && !isStoredFor(Object, p))
                continue;
            const QStringList text
                = held ? QStringList{QStringLiteral("True")} : valueLines(Object, p, Level);
            if (text.isEmpty())
                continue;
            if (!held && Default && !isNoDefault(Object, p) && !isKept(Object, p)
                && valueLines(Default, p, Level) == text)
                continue;
            const QString name
                = QLatin1String(p.name())
                  + (kindOf(p) == PropKind::Strings ? QStringLiteral(".Strings") : QString());
            // A value that starts on the next line leaves no blank after "=".
            m_out += indentOf(Level) + name
                     + (text.first().isEmpty() ? QStringLiteral(" =") : QStringLiteral(" = "))
                     + text.join(QLatin1Char('\n')) + QLatin1Char('\n');
        }
    }

    // The written value of Prop as lines: the first follows "Name = ",
    // the others carry their own indentation. Empty when nothing can be
    // written (an unsupported type, a reference outside the form).
    QStringList valueLines(const QObject *Object, const QMetaProperty &Prop, int Level)
    {
        const QVariant v = Prop.read(Object);
        switch (kindOf(Prop)) {
        case PropKind::Unsupported:
            return {};
        case PropKind::Boolean:
            return {v.toBool() ? QStringLiteral("True") : QStringLiteral("False")};
        case PropKind::Integer:
            if (Prop.metaType().id() == QMetaType::ULongLong)
                return {QString::number(v.toULongLong())};
            return {QString::number(v.toLongLong())};
        case PropKind::Float:
            return {floatText(v.toDouble(), Object, Prop)};
        case PropKind::String:
            return stringLines(v.toString(), Level);
        case PropKind::Enum: {
            const QMetaEnum e = Prop.enumerator();
            const int ord = *static_cast<const int *>(v.constData());
            const char *key = e.valueToKey(ord);
            return {key ? QLatin1String(key) : QString::number(ord)};
        }
        case PropKind::Set:
            return {setText(v, Prop)};
        case PropKind::Strings: {
            const TStrings *list = v.value<TStrings *>();
            if (!list)
                return {};
            QStringList lines{QStringLiteral("(")};
            for (int i = 0; i < list->Count(); ++i) {
                const QStringList parts = stringParts(list->Strings(i));
                for (int j = 0; j < parts.size(); ++j)
                    lines.append(indentOf(Level + 1) + parts[j]
                                 + (j + 1 < parts.size() ? QStringLiteral(" +") : QString()));
            }
            if (lines.size() == 1)
                lines[0] += QLatin1Char(')');
            else
                lines.last() += QLatin1Char(')');
            return lines;
        }
        case PropKind::Object: {
            QObject *target = v.value<QObject *>();
            if (isCollection(target))
                return collectionLines(Object, Prop, target, Level);
            if (!target)
                return {QStringLiteral("nil")};
            // Only a component of this form can be named.
            if (!isInForm(target))
                return {};
            return {target->objectName()};
        }
        case PropKind::Variant:
            return variantLines(v, Object, Prop, Level);
        }
        return {};
    }

    QStringList stringLines(const QString &Text, int Level)
    {
        QStringList parts = stringParts(Text);
        if (parts.size() == 1)
            return parts;
        // A long string starts on a line of its own.
        QStringList lines{QString()};
        for (int j = 0; j < parts.size(); ++j)
            lines.append(indentOf(Level + 1) + parts[j]
                         + (j + 1 < parts.size() ? QStringLiteral(" +") : QString()));
        return lines;
    }

    static QString floatText(double Value, const QObject *Object, const QMetaProperty &Prop)
    {
        if (!std::isfinite(Value))
            throw EFormError(QStringLiteral("Cannot store %1.%2: the number is not finite")
                                 .arg(Object->objectName(), QLatin1String(Prop.name())));
        QString text = QString::number(Value, 'g', QLocale::FloatingPointShortest);
        // The reader tells a float from an integer by its "." or exponent.
        if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')))
            text += QStringLiteral(".0");
        return text;
    }

    static QString setText(const QVariant &Value, const QMetaProperty &Prop)
    {
        QStringList names;
        if (Prop.isFlagType()) {
            const QMetaEnum e = Prop.enumerator();
            const int bits = *static_cast<const int *>(Value.constData());
            for (int i = 0; i < e.keyCount(); ++i)
                if (e.value(i) != 0 && (bits & e.value(i)) == e.value(i))
                    names.append(QLatin1String(e.key(i)));
        } else {
            QVariant v = Value;
            v.convert(QMetaType::fromType<QStringList>());
            names = v.toStringList();
        }
        return QLatin1Char('[') + names.join(QStringLiteral(", ")) + QLatin1Char(']');
    }

    QStringList variantLines(const QVariant &V, const QObject *Object, const QMetaProperty &Prop,
                             int Level)
    {
        if (!V.isValid() || V.isNull())
            return {QStringLiteral("Null")};
        switch (V.metaType().id()) {
        case QMetaType::Bool:
            return {V.toBool() ? QStringLiteral("True") : QStringLiteral("False")};
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
            return {QString::number(V.toLongLong())};
        case QMetaType::ULongLong:
        case QMetaType::ULong:
            return {QString::number(V.toULongLong())};
        case QMetaType::Long:
            return {QString::number(V.toLongLong())};
        case QMetaType::Double:
        case QMetaType::Float:
            return {floatText(V.toDouble(), Object, Prop)};
        case QMetaType::QByteArray:
            return binaryLines(V.toByteArray(), Level);
        default:
            return stringLines(V.toString(), Level);
        }
    }

    // Binary data as {hex digits}: on the line of the name when short, else
    // from the next line on, StringPartLength digits a line.
    static QStringList binaryLines(const QByteArray &Bytes, int Level)
    {
        const QString hex = QString::fromLatin1(Bytes.toHex().toUpper());
        if (hex.size() <= StringPartLength)
            return {QLatin1Char('{') + hex + QLatin1Char('}')};
        QStringList lines{QStringLiteral("{")};
        for (qsizetype at = 0; at < hex.size(); at += StringPartLength)
            lines.append(indentOf(Level + 1) + hex.mid(at, StringPartLength));
        lines.last() += QLatin1Char('}');
        return lines;
    }

    QStringList collectionLines(const QObject *Owner, const QMetaProperty &Prop,
                                QObject *Collection, int Level)
    {
        const int count = collectionCount(Collection);
        if (count == 0)
            return {QStringLiteral("<>")};
        QObject *defaultItem = defaultItemOf(Owner, Prop);
        // Items are written into a buffer of their own.
        QString saved = std::exchange(m_out, QString());
        for (int i = 0; i < count; ++i) {
            const QObject *item = collectionItem(Collection, i);
            line(Level + 1, QStringLiteral("item"));
            if (item)
                writeProperties(item, defaultItem, Level + 2);
            line(Level + 1, QStringLiteral("end"));
        }
        QString items = std::exchange(m_out, saved);
        items.chop(1); // the last line break
        items += QLatin1Char('>');
        return {QStringLiteral("<"), items};
    }

    const QObject *m_root;
    QString m_out;
    QHash<const QMetaObject *, QObject *> m_defaults;
    QHash<QPair<const QMetaObject *, int>, QObject *> m_defaultItems;
    std::vector<std::unique_ptr<QObject>> m_itemOwners;
};

} // namespace

QString WriteFormText(const QObject *Root)
{
    return Writer(Root).write();
}

struct TComponentTextWriter::Impl
{
    explicit Impl(const QObject *Root)
        : writer(Root)
    {}
    Writer writer;
};

TComponentTextWriter::TComponentTextWriter(const QObject *Root)
    : m_impl(std::make_unique<Impl>(Root))
{}

TComponentTextWriter::~TComponentTextWriter() = default;

QString TComponentTextWriter::Text(const QObject *Component)
{
    return m_impl->writer.writeOne(Component);
}

QString FormBackupFileName(const QString &FileName)
{
    // "~" before the extension, so that forms differing only in it (col.dfm,
    // col.xfm) or named like a backup (self.~dfm) each keep a backup of their
    // own; a name without an extension gets "~" at its end.
    const QFileInfo info(FileName);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == name.size() - 1)
        return FileName + QLatin1Char('~');
    return FileName.left(FileName.size() - (name.size() - dot - 1)) + QLatin1Char('~')
           + name.mid(dot + 1);
}

TFormFileStamp SaveFormFile(const QObject *Root, const QString &FileName,
                            const TFormFileStamp *Expected)
{
    const auto fail = [&](const QString &Reason) {
        return EFormError(QStringLiteral("Cannot write form file %1: %2")
                              .arg(QDir::toNativeSeparators(FileName), Reason));
    };
    // Written whole before anything on disk is touched: a value that cannot
    // be written leaves everything as it was.
    const QByteArray bytes = WriteFormText(Root).toUtf8();
    AtomicWriteOptions options;
    options.NewMode = ProcessDefaultMode(); // a new form is shared as the user's files are
    options.KeepIdentity = true;            // its owner and its other names stay
    AtomicFileWriter form(FileName, options);
    const QString target = form.target();
    if (QFileInfo(target).isDir())
        throw fail(QStringLiteral("it is a folder"));
    // Held until the new file is in place: another process's save of this
    // form comes before or after this one, never in between; saves of other
    // forms in the folder do not wait for it.
    const FileWriteLock lock(target);
    if (!lock.locked())
        throw fail(lock.reason());
    const QString backup = FormBackupFileName(FileName);
    removeLeftoverTemporaries(target);
    removeLeftoverTemporaries(backup);
    const TFormFileStamp onDisk = CurrentFormFileStamp(target);
    if (Expected && !(onDisk == *Expected))
        throw EFormFileChanged(
            QStringLiteral("Form file %1 was changed by another program since it was read or "
                           "last saved; nothing was written")
                .arg(QDir::toNativeSeparators(FileName)));
    QString error = form.write(bytes);
    if (!error.isEmpty())
        throw fail(error);
    if (onDisk.Exists) {
        // A form written in place keeps a copy: a second name would change with it.
        error = keepCopyOf(target, backup, !form.inPlace());
        if (!error.isEmpty())
            throw fail(QStringLiteral("its backup %1 cannot be made: %2")
                           .arg(QDir::toNativeSeparators(backup), error));
    }
    error = form.commit();
    if (!error.isEmpty())
        throw fail(error);
    return {true, QCryptographicHash::hash(bytes, QCryptographicHash::Sha256)};
}
