#include "FormFile.h"
#include "FormProps.h"
#include "FormSource.h"

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
#include <QSet>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

using namespace formfile;

namespace {

// Strings longer than this are split into parts joined by "+".
constexpr int StringPartLength = 64;

// One part of a string: quoted runs of printable ASCII, #nn for every other
// UTF-16 unit (control characters, and non-ASCII text unless RawNonAscii).
QString quotePart(QStringView Text, bool RawNonAscii)
{
    QString out;
    bool quoted = false;
    for (QChar c : Text) {
        const char16_t u = c.unicode();
        if ((u >= 32 && u <= 126) || (RawNonAscii && u >= 0xA0 && u != 0xFEFF)) {
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
QStringList stringParts(const QString &Text, bool RawNonAscii)
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
        parts.append(quotePart(QStringView(Text).mid(at, length), RawNonAscii));
        at += length;
    }
    return parts;
}

QString indentOf(int Level)
{
    return QString(Level * 2, QLatin1Char(' '));
}

// Text read at one depth, for another: each line that holds anything
// moved right by Shift blanks, or left by as many blanks as it has up to -Shift.
QString shifted(const QString &Text, int Shift)
{
    if (Shift == 0)
        return Text;
    QString out;
    out.reserve(Text.size() + 8 * Shift);
    qsizetype at = 0;
    while (at < Text.size()) {
        qsizetype end = Text.indexOf(QLatin1Char('\n'), at);
        end = end < 0 ? Text.size() : end + 1;
        QStringView line = QStringView(Text).mid(at, end - at);
        if (Shift > 0 && line.trimmed().size() > 0) {
            out += QString(Shift, QLatin1Char(' '));
        } else {
            int drop = 0;
            while (drop < -Shift && drop < line.size() && line[drop] == QLatin1Char(' '))
                ++drop;
            line = line.mid(drop);
        }
        out += line;
        at = end;
    }
    return out;
}

// What the writer writes for one property of a component: its key in a
// SourceBlock, its place among the component's properties, its text.
struct PropertyText
{
    QString Key;
    int Order = 0;
    QString Text;
};

class Writer
{
public:
    explicit Writer(const QObject *Root)
        : m_root(Root)
    {
        if (const SourceBlock *block = Root ? sourceOf(Root) : nullptr)
            m_rawNonAscii = block->RawNonAscii;
    }

    ~Writer()
    {
        for (QObject *o : std::as_const(m_defaults))
            delete o;
    }

    QString write()
    {
        writeObject(m_root, 0);
        if (const SourceBlock *block = sourceOf(m_root))
            m_out += block->Tail;
        return m_out;
    }

    // What SourceBlock keeps of Object as the writer writes it now.
    void snapshot(const QObject *Object, SourceBlock &Block)
    {
        Block.HeaderCanonical = headerText(Object);
        Block.Canonical.clear();
        for (const PropertyText &t : comparedTexts(Object))
            Block.Canonical.insert(t.Key, t.Text);
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

    // The header as it was read: "inherited" and "inline" blocks and an
    // inherited component's position mean something to the form's loader.
    static QString headerText(const QObject *Object)
    {
        const QString kind = Object->property(FormHeaderKindProperty).toString();
        const QVariant position = Object->property(FormHeaderIndexProperty);
        return QStringLiteral("%1 %2: %3%4")
            .arg(kind == QLatin1String("inherited") || kind == QLatin1String("inline")
                     ? kind
                     : QStringLiteral("object"),
                 Object->objectName(), FormClassName(Object),
                 position.isValid() ? QStringLiteral(" [%1]").arg(position.toInt()) : QString());
    }

    void writeObject(const QObject *Object, int Level, bool Components = true)
    {
        const SourceBlock *block = sourceOf(Object);
        const int shift = block ? Level * 2 - block->Indent : 0;
        const QString header = headerText(Object);
        if (block && block->HeaderCanonical == header) {
            m_out += shifted(block->Header, shift);
        } else {
            // What came before the header line stays (blank lines, a byte-order mark).
            if (block) {
                const qsizetype start
                    = block->Header.lastIndexOf(QLatin1Char('\n'), block->Header.size() - 2) + 1;
                m_out += shifted(block->Header.left(start), shift);
                if (block->Header.mid(start).startsWith(QChar(0xFEFF)))
                    m_out += QChar(0xFEFF);
            }
            line(Level, header);
        }
        if (block) {
            writeSourceProperties(Object, *block, Level + 1, shift);
        } else {
            for (const PropertyText &t : propertyTexts(Object, defaultOf(Object->metaObject()),
                                                       Level + 1, /*Positions=*/true))
                m_out += t.Text;
        }
        if (Components)
            for (const QObject *child : Object->children())
                if (isComponentOf(child))
                    writeObject(child, Level + 1);
        if (block)
            m_out += shifted(block->Trailer, shift);
        else
            line(Level, QStringLiteral("end"));
    }

    // The properties of a component read from a form text: what is as it
    // was read is written as it was read, in its place; what changed is
    // written anew in its place; what is newly written goes after the
    // properties declared before it.
    void writeSourceProperties(const QObject *Object, const SourceBlock &Block, int Level,
                               int Shift)
    {
        QHash<QString, const PropertyText *> now;
        const std::vector<PropertyText> compared = comparedTexts(Object);
        for (const PropertyText &t : compared)
            now.insert(t.Key, &t);
        const auto changed = [&](const QString &Key) {
            const PropertyText *t = now.value(Key);
            return (t ? t->Text : QString()) != Block.Canonical.value(Key);
        };
        std::vector<PropertyText> fresh; // made when something changed
        const auto freshText = [&](const QString &Key) -> const PropertyText * {
            if (fresh.empty())
                fresh = propertyTexts(Object, defaultOf(Object->metaObject()), Level, true);
            for (const PropertyText &t : fresh)
                if (t.Key == Key)
                    return &t;
            return nullptr;
        };

        std::vector<PropertyText> out; // Order -1: kept as written
        QSet<QString> placed;
        for (const SourceEntry &e : Block.Entries) {
            if (e.Key.isEmpty()) {
                out.push_back({QString(), -1, shifted(e.Raw, Shift)});
                continue;
            }
            const PropertyText *t = now.value(e.Key);
            const int order = orderOf(Object, e.Key);
            const bool first = !placed.contains(e.Key);
            placed.insert(e.Key);
            if (!changed(e.Key) && !e.TargetName.isEmpty()) {
                // A reference kept as written follows its component.
                if (const QString name = keptTargetName(e); !name.isEmpty())
                    out.push_back(
                        {e.Key, order, shifted(renamedIn(e.Raw, e.TargetName, name), Shift)});
            } else if (!changed(e.Key)) {
                out.push_back({e.Key, order, shifted(e.Raw, Shift)});
            } else if (const PropertyText *f = first && t ? freshText(e.Key) : nullptr)
                out.push_back({e.Key, order, f->Text});
        }
        for (const PropertyText &t : compared) {
            if (placed.contains(t.Key) || !changed(t.Key))
                continue;
            // After the last property declared before it, else before the
            // first declared after it, else after everything.
            auto last = std::find_if(out.rbegin(), out.rend(), [&](const PropertyText &o) {
                return o.Order >= 0 && o.Order < t.Order;
            });
            auto at = last != out.rend()
                          ? last.base()
                          : std::find_if(out.begin(), out.end(),
                                         [&](const PropertyText &o) { return o.Order > t.Order; });
            if (const PropertyText *f = freshText(t.Key))
                out.insert(at, {t.Key, t.Order, f->Text});
        }
        for (const PropertyText &t : out)
            m_out += t.Text;
    }

    // The place of property Key among Object's: its declaration's, the
    // design position after all; -1 for none.
    static int orderOf(const QObject *Object, const QString &Key)
    {
        const QMetaObject *meta = Object->metaObject();
        const int first = QObject::staticMetaObject.propertyCount();
        const int count = meta->propertyCount() - first;
        if (Key == QLatin1String("left") || Key == QLatin1String("top"))
            return count + (Key == QLatin1String("left") ? 1 : 2);
        const int index = findProperty(meta, Key);
        return index < 0 ? -1 : index - first;
    }

    // The name of the component a kept reference names now: empty when the
    // module has none (deleted; one an undo brought back is found by name).
    QString keptTargetName(const SourceEntry &E) const
    {
        const QObject *target = E.Target.data();
        if (!target || !isInForm(target))
            target = m_root->findChild<TNotLoadedComponent *>(E.TargetName);
        return target ? target->objectName() : QString();
    }

    // Raw, "Name = From", with To for From. (No regular expression: raw
    // text may hold bytes kept as lone surrogates.)
    static QString renamedIn(const QString &Raw, const QString &From, const QString &To)
    {
        const qsizetype eq = Raw.indexOf(QLatin1Char('='));
        if (From == To || eq < 0)
            return Raw;
        qsizetype at = eq + 1;
        while (at < Raw.size() && Raw[at] == QLatin1Char(' '))
            ++at;
        if (QStringView(Raw).mid(at, From.size()).compare(From, Qt::CaseInsensitive) != 0)
            return Raw;
        return Raw.left(at) + To + Raw.mid(at + From.size());
    }

    // The properties as compared with what was read: non-ASCII as is, at depth 0.
    std::vector<PropertyText> comparedTexts(const QObject *Object)
    {
        const bool raw = std::exchange(m_rawNonAscii, true);
        std::vector<PropertyText> texts
            = propertyTexts(Object, defaultOf(Object->metaObject()), 0, /*Positions=*/true);
        m_rawNonAscii = raw;
        return texts;
    }

    // What is written of Object's properties at Level, in declaration order
    // (the design position after them when Positions).
    std::vector<PropertyText> propertyTexts(const QObject *Object, const QObject *Default,
                                            int Level, bool Positions)
    {
        std::vector<PropertyText> texts;
        const QList<QMetaProperty> props = publishedProperties(Object->metaObject());
        for (int i = 0; i < props.size(); ++i) {
            const QMetaProperty &p = props[i];
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
            texts.push_back(
                {QLatin1String(p.name()).toString().toLower(), i,
                 indentOf(Level) + name
                     + (text.first().isEmpty() ? QStringLiteral(" =") : QStringLiteral(" = "))
                     + text.join(QLatin1Char('\n')) + QLatin1Char('\n')});
        }
        if (!Positions)
            return texts;
        int order = int(props.size());
        for (const char *name : {"Left", "Top"}) {
            ++order;
            if (Object->metaObject()->indexOfProperty(name) >= 0)
                continue;
            const QVariant v = Object->property(name);
            if (v.isValid())
                texts.push_back({QLatin1String(name).toString().toLower(), order,
                                 indentOf(Level) + QLatin1String(name) + QStringLiteral(" = ")
                                     + QString::number(v.toLongLong()) + QLatin1Char('\n')});
        }
        return texts;
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
                const QStringList parts = stringParts(list->Strings(i), m_rawNonAscii);
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
        QStringList parts = stringParts(Text, m_rawNonAscii);
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
        // Qt writes negative zero as "0": its sign is a value of its own.
        if (Value == 0 && std::signbit(Value) && !text.startsWith(QLatin1Char('-')))
            text.prepend(QLatin1Char('-'));
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
                for (const PropertyText &t : propertyTexts(item, defaultItem, Level + 2, false))
                    m_out += t.Text;
            line(Level + 1, QStringLiteral("end"));
        }
        QString items = std::exchange(m_out, saved);
        items.chop(1); // the last line break
        items += QLatin1Char('>');
        return {QStringLiteral("<"), items};
    }

    const QObject *m_root;
    bool m_rawNonAscii = false; // the form's strings hold non-ASCII text as is
    QString m_out;
    QHash<const QMetaObject *, QObject *> m_defaults;
    QHash<QPair<const QMetaObject *, int>, QObject *> m_defaultItems;
    std::vector<std::unique_ptr<QObject>> m_itemOwners;
};

} // namespace

void formfile::snapshotSources(const QObject *Root, const std::vector<QObject *> &Components)
{
    Writer writer(Root);
    for (QObject *c : Components)
        if (SourceBlock *block = sourceOf(c))
            writer.snapshot(c, *block);
}

QString WriteFormText(const QObject *Root)
{
    return Writer(Root).write();
}

QByteArray FormFileBytes(const QObject *Root)
{
    QString text = WriteFormText(Root);
    if (const SourceBlock *block = sourceOf(Root); block && block->LineBreak != QLatin1String("\n"))
        text.replace(QLatin1Char('\n'), block->LineBreak);
    return EncodeFormFileText(text);
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
    const QByteArray bytes = FormFileBytes(Root);
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
