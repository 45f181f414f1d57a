#include "FormFile.h"
#include "FormLexer.h"
#include "FormProps.h"
#include "FormSource.h"

#include "Registrations.h"

#include "orvlib/DB.h"

#include "rtl/Classes.h"
#include "rtl/FileAccess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QMetaEnum>
#include <QPointer>
#include <QSet>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

using namespace formfile;

// --- Classes ------------------------------------------------------------------

namespace {

QList<TComponentClass> &registeredClasses()
{
    // A dataset's persistent fields are components of the form as well.
    static QList<TComponentClass> classes{&TDataModule::staticMetaObject, &TField::staticMetaObject,
                                          &TNotLoadedComponent::staticMetaObject};
    return classes;
}

} // namespace

TDataModule::TDataModule(QObject *AOwner)
    : QObject(AOwner)
{}

TNotLoadedComponent::TNotLoadedComponent(QObject *AOwner)
    : QObject(AOwner)
{}

QString TNotLoadedComponent::ClassName() const
{
    return FormClassName(this);
}

QString FormClassName(const QObject *Component)
{
    const QVariant name = Component->property(FormClassNameProperty);
    return name.isValid() ? name.toString() : QLatin1String(Component->metaObject()->className());
}

EFormError::EFormError(const QString &Message, int Line, int Column)
    : EDesignError(Message)
    , m_line(Line)
    , m_column(Column)
{}

void RegisterClasses(const QList<TComponentClass> &Classes)
{
    for (TComponentClass c : Classes)
        if (c && !registeredClasses().contains(c))
            registeredClasses().append(c);
}

void UnRegisterClasses(const QList<TComponentClass> &Classes)
{
    for (TComponentClass c : Classes)
        registeredClasses().removeAll(c);
}

bool IsValidComponentName(const QString &Name)
{
    if (Name.isEmpty() || Name.compare(QLatin1String("nil"), Qt::CaseInsensitive) == 0)
        return false;
    for (qsizetype i = 0; i < Name.size(); ++i) {
        const char16_t c = Name[i].unicode();
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        if (!letter && !(i > 0 && c >= '0' && c <= '9'))
            return false;
    }
    return true;
}

TComponentClass GetClass(const QString &ClassName)
{
    if (TComponentClass c = registrations().findComponentClass(ClassName))
        return c;
    for (TComponentClass c : registeredClasses())
        if (ClassName.compare(QLatin1String(c->className()), Qt::CaseInsensitive) == 0)
            return c;
    return nullptr;
}

namespace {

// Appends the components below Parent, depth first, each class looked up once.
void collectDesignComponents(const QObject *Parent, QHash<const QMetaObject *, bool> &Known,
                             QList<QObject *> &List)
{
    for (QObject *o : Parent->children()) {
        const QMetaObject *meta = o->metaObject();
        auto known = Known.constFind(meta);
        if (known == Known.cend())
            known = Known.insert(meta, GetClass(QLatin1String(meta->className())) == meta);
        if (!*known)
            continue;
        if (!o->objectName().isEmpty())
            List.append(o);
        if (!o->children().isEmpty())
            collectDesignComponents(o, Known, List);
    }
}

} // namespace

QList<QObject *> DesignComponents(const QObject *Root)
{
    QList<QObject *> list;
    if (!Root)
        return list;
    // A module has few classes and many components.
    QHash<const QMetaObject *, bool> known;
    collectDesignComponents(Root, known, list);
    return list;
}

// --- Parsing ------------------------------------------------------------------

namespace {

// Deep nesting is refused before it can exhaust the stack.
constexpr int MaxDepth = 256;

struct Assignment;

// A value as written, before it meets a property.
struct Value
{
    enum Kind { Integer, Float, String, Identifier, Set, List, Collection, Binary } kind = Integer;
    QString text;
    std::vector<Value> elements;                // Set (identifiers) and List
    std::vector<std::vector<Assignment>> items; // Collection
    int line = 0;
    int column = 0;
};

struct Assignment
{
    QString name;
    Value value;
    int line = 0;
    int column = 0;
};

// A reference to a component by name, resolved once the form is read.
struct PendingReference
{
    QPointer<QObject> object;
    QMetaProperty property;
    QString name;
    int line = 0;
    int column = 0;
    SourceBlock *block = nullptr; // where the assignment's text is kept
    QString key;                  // and under which property
};

// An IDE's event property: OnXxx, BeforeXxx or AfterXxx = Handler.
bool isEventAssignment(const Assignment &A)
{
    if (A.value.kind != Value::Identifier)
        return false;
    for (const char *prefix : {"On", "Before", "After"}) {
        const qsizetype n = qstrlen(prefix);
        if (A.name.size() > n && A.name.startsWith(QLatin1String(prefix)) && A.name[n].isUpper())
            return true;
    }
    return false;
}

// The key of a property in a SourceBlock.
QString sourceKey(const QString &Name)
{
    QString key = Name.toLower();
    if (key.endsWith(QLatin1String(".strings")))
        key.chop(8);
    return key;
}

// Text with every line break "\n".
QString withNewlines(QString Text)
{
    if (Text.contains(QLatin1Char('\r'))) {
        Text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        Text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
    return Text;
}

bool isActivation(const QMetaProperty &P)
{
    static const char *const names[] = {"Connected", "Active", "Prepared"};
    if (P.metaType().id() != QMetaType::Bool)
        return false;
    for (const char *n : names)
        if (qstrcmp(P.name(), n) == 0)
            return true;
    return false;
}

// The dynamic property that holds a component's held activations.
constexpr char HeldProperty[] = "ovHeldActivations";

} // namespace

QStringList HeldActivations(const QObject *Component)
{
    return Component ? Component->property(HeldProperty).toStringList() : QStringList();
}

bool IsHeldActivation(const QObject *Component, const QString &PropName)
{
    return HeldActivations(Component).contains(PropName);
}

void SetHeldActivation(QObject *Component, const QString &PropName, bool Held)
{
    QStringList held = HeldActivations(Component);
    if (held.contains(PropName) == Held)
        return;
    if (Held)
        held.append(PropName);
    else
        held.removeAll(PropName);
    // An empty list leaves no dynamic property behind.
    Component->setProperty(HeldProperty, held.isEmpty() ? QVariant() : QVariant(held));
}

bool IsActivationProperty(const QObject *Component, const QString &PropName)
{
    const QMetaObject *meta = Component->metaObject();
    const int index = meta->indexOfProperty(PropName.toLatin1().constData());
    return index >= 0 && isActivation(meta->property(index));
}

void ActivateHeld(QObject *Component)
{
    const QMetaObject *meta = Component->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty p = meta->property(i);
        if (isActivation(p) && IsHeldActivation(Component, QLatin1String(p.name()))
            && !p.write(Component, true))
            throw Exception(QStringLiteral("Cannot set property %1 of %2")
                                .arg(QLatin1String(p.name()), Component->objectName()));
    }
}

namespace {

class Parser
{
public:
    Parser(const QString &Text, const QString &FileName, QList<TDeferredProperty> &Deferred,
           QList<TFormWarning> &Warnings, TFormSourceMap *Sources, QList<int> *Dangling)
        : m_text(Text)
        , m_fileName(FileName)
        , m_lexer(Text, FileName)
        , m_deferred(Deferred)
        , m_warnings(Warnings)
        , m_sources(Sources)
        , m_dangling(Dangling)
    {
        m_token = m_lexer.next();
    }

    std::unique_ptr<QObject> readForm()
    {
        std::unique_ptr<QObject> root(readObject(nullptr, 0));
        if (m_token.Kind != TokenKind::End)
            fail(QStringLiteral("text after the end of the form"));
        if (SourceBlock *block = sourceOf(root.get())) {
            block->Tail = withNewlines(m_text.mid(m_prevEnd));
            // No regular expression: the text may hold bytes kept as lone surrogates.
            qsizetype br = 0;
            while (br < m_text.size() && m_text[br] != QLatin1Char('\r')
                   && m_text[br] != QLatin1Char('\n'))
                ++br;
            if (br < m_text.size())
                block->LineBreak = m_text.mid(br, 2) == QLatin1String("\r\n")
                                       ? QStringLiteral("\r\n")
                                       : m_text.mid(br, 1);
            block->RawNonAscii = m_lexer.sawRawNonAscii();
        }
        resolveReferences();
        std::vector<QObject *> read;
        read.reserve(m_components.size());
        for (const QPointer<QObject> &c : m_components)
            if (c)
                read.push_back(c.data());
        snapshotSources(root.get(), read);
        // A reference a paste leaves unset is written as it is, not as it was.
        for (const auto &[block, key] : m_unset)
            block->Canonical.insert(key, forcedChange());
        return root;
    }

private:
    [[noreturn]] void fail(const QString &Message)
    {
        failAt(Message, m_token.Line, m_token.Column);
    }
    [[noreturn]] void failAt(const QString &Message, int Line, int Column)
    {
        m_lexer.fail(Message, Line, Column);
    }

    void advance()
    {
        m_lastEnd = m_token.End;
        m_lastLine = m_token.Line;
        m_token = m_lexer.next();
    }

    // The text from the end of the last piece taken to the end of the line
    // of the last token read (or to the next token, when it shares that
    // line): the pieces of a form text follow each other without a gap.
    QString takePiece()
    {
        qsizetype end = m_token.Start;
        if (m_token.Line != m_lastLine) {
            end = m_lastEnd;
            while (end < m_text.size() && m_text[end] != QLatin1Char('\n')
                   && m_text[end] != QLatin1Char('\r'))
                ++end;
            if (end < m_text.size())
                end += m_text[end] == QLatin1Char('\r') && end + 1 < m_text.size()
                               && m_text[end + 1] == QLatin1Char('\n')
                           ? 2
                           : 1;
        }
        QString piece = withNewlines(m_text.mid(m_prevEnd, end - m_prevEnd));
        m_prevEnd = end;
        return piece;
    }

    // The block of a component no package registers, read for its syntax
    // alone: the names it declares are kept, so that references to them
    // are not taken for faults. Returns its whole text.
    QString skipObject(int Depth)
    {
        if (Depth > MaxDepth)
            fail(QStringLiteral("objects nested too deeply"));
        const qsizetype start = m_prevEnd;
        advance();
        const int nameLine = m_token.Line, nameColumn = m_token.Column;
        const QString name = expectIdentifier(QStringLiteral("component name"));
        if (!IsValidComponentName(name))
            failAt(QStringLiteral("invalid component name \"%1\"").arg(name), nameLine, nameColumn);
        m_keptNames.insert(name.toLower());
        expect(QLatin1Char(':'));
        expectIdentifier(QStringLiteral("class name"));
        if (m_token.is(QLatin1Char('['))) {
            advance();
            advance();
            expect(QLatin1Char(']'));
        }
        while (!m_token.isWord("end")) {
            if (m_token.Kind == TokenKind::End)
                fail(QStringLiteral("\"end\" expected"));
            if (atObjectStart())
                skipObject(Depth + 1);
            else
                readAssignment(Depth);
        }
        advance();
        takePiece();
        return withNewlines(m_text.mid(start, m_prevEnd - start));
    }

    void expect(QChar Symbol)
    {
        if (!m_token.is(Symbol))
            fail(QStringLiteral("\"%1\" expected").arg(Symbol));
        advance();
    }

    QString expectIdentifier(const QString &What)
    {
        if (m_token.Kind != TokenKind::Identifier)
            fail(QStringLiteral("%1 expected").arg(What));
        QString text = m_token.Text;
        advance();
        return text;
    }

    bool atObjectStart() const
    {
        return m_token.isWord("object") || m_token.isWord("inherited") || m_token.isWord("inline");
    }

    // object|inherited|inline Name: TClass ... end. The object is created
    // at once (so its properties can be checked against its class) and owned
    // by Parent; the root is returned to the caller to own.
    QObject *readObject(QObject *Parent, int Depth)
    {
        if (Depth > MaxDepth)
            fail(QStringLiteral("objects nested too deeply"));
        if (!atObjectStart())
            fail(QStringLiteral("\"object\" expected"));
        const int objectLine = m_token.Line;
        // The blanks before the header on its line (a byte-order mark is none).
        int indent = 0;
        while (m_token.Start - indent > 0
               && (m_text[m_token.Start - indent - 1] == QLatin1Char(' ')
                   || m_text[m_token.Start - indent - 1] == QLatin1Char('\t')))
            ++indent;
        // A header that shares its line with text before it has no
        // indentation of its own: its block is taken as indented for its
        // depth, so writing it back moves none of its lines.
        if (m_token.Start - indent > 0) {
            const QChar before = m_text[m_token.Start - indent - 1];
            if (before != QLatin1Char('\n') && before != QLatin1Char('\r')
                && before != QChar(0xFEFF))
                indent = Depth * 2;
        }
        const QString header = m_token.Text.toLower();
        advance();
        const int nameLine = m_token.Line, nameColumn = m_token.Column;
        const QString name = expectIdentifier(QStringLiteral("component name"));
        if (!IsValidComponentName(name))
            failAt(QStringLiteral("invalid component name \"%1\"").arg(name), nameLine, nameColumn);
        expect(QLatin1Char(':'));
        const int classLine = m_token.Line, classColumn = m_token.Column;
        const QString className = expectIdentifier(QStringLiteral("class name"));
        QVariant position;
        if (m_token.is(QLatin1Char('['))) { // the position of an inherited component
            advance();
            bool ok = false;
            const qint64 n
                = m_token.Kind == TokenKind::Integer ? parseInteger(m_token.Text, &ok) : 0;
            if (!ok || n < 0 || n > INT_MAX)
                fail(QStringLiteral("position expected"));
            position = int(n);
            advance();
            expect(QLatin1Char(']'));
        }
        TComponentClass cls = GetClass(className);
        // A root of any class is a data module of that class; a component
        // of a class no package registers is kept as written.
        const bool notLoaded = !cls || cls == &TNotLoadedComponent::staticMetaObject;
        if (notLoaded)
            cls = Parent ? &TNotLoadedComponent::staticMetaObject : &TDataModule::staticMetaObject;
        const QString key = name.toLower();
        if (m_names.contains(key) || m_keptNames.contains(key))
            failAt(QStringLiteral("a component named %1 already exists").arg(name), nameLine,
                   nameColumn);
        QObject *object = create(cls, Parent);
        if (!object)
            failAt(QStringLiteral("class %1 cannot be created").arg(className), classLine,
                   classColumn);
        std::unique_ptr<QObject> guard(Parent ? nullptr : object);
        if (!Parent)
            m_root = object;
        object->setObjectName(name);
        m_names.insert(key, m_components.size());
        TComponentSource *source = m_sources ? &(*m_sources)[object] : nullptr;
        if (source)
            source->Line = objectLine;
        m_components.push_back(object);
        if (header != QLatin1String("object"))
            object->setProperty(FormHeaderKindProperty, header);
        if (position.isValid())
            object->setProperty(FormHeaderIndexProperty, position);
        if (notLoaded || className != QLatin1String(cls->className()))
            object->setProperty(FormClassNameProperty, className);
        auto block = std::make_shared<SourceBlock>();
        block->Indent = indent;
        block->Header = takePiece();
        object->setProperty(SourceProperty, QVariant::fromValue(block));
        const bool placeholder = notLoaded && Parent;
        QString inner; // a not-loaded component's components, as written

        while (!m_token.isWord("end")) {
            if (m_token.Kind == TokenKind::End)
                fail(QStringLiteral("\"end\" expected"));
            if (atObjectStart()) {
                if (placeholder)
                    inner += skipObject(Depth + 1);
                else
                    readObject(object, Depth + 1);
                continue;
            }
            const Assignment a = readAssignment(Depth);
            SourceEntry entry;
            entry.Key = sourceKey(a.name);
            entry.Raw = takePiece();
            if (source)
                source->Properties.insert(entry.Key, a.line);
            m_entryBlock = block.get();
            m_entryKey = entry.Key;
            if (placeholder ? !readPosition(object, a) : !assign(object, a, /*IsItem=*/false))
                entry.Key.clear();
            m_entryBlock = nullptr;
            block->Entries.push_back(std::move(entry));
        }
        advance();
        block->Trailer = inner + takePiece();
        guard.release();
        return object;
    }

    Assignment readAssignment(int Depth)
    {
        Assignment a;
        a.line = m_token.Line;
        a.column = m_token.Column;
        a.name = expectIdentifier(QStringLiteral("property name"));
        expect(QLatin1Char('='));
        a.value = readValue(Depth + 1);
        return a;
    }

    Value readValue(int Depth)
    {
        if (Depth > MaxDepth)
            fail(QStringLiteral("values nested too deeply"));
        Value v;
        v.line = m_token.Line;
        v.column = m_token.Column;
        switch (m_token.Kind) {
        case TokenKind::Integer:
            v.kind = Value::Integer;
            v.text = m_token.Text;
            advance();
            return v;
        case TokenKind::Float:
            v.kind = Value::Float;
            v.text = m_token.Text;
            advance();
            return v;
        case TokenKind::String:
            v.kind = Value::String;
            v.text = m_token.Text;
            advance();
            // Long strings are split into parts joined by "+".
            while (m_token.is(QLatin1Char('+'))) {
                advance();
                if (m_token.Kind != TokenKind::String)
                    fail(QStringLiteral("string expected after \"+\""));
                v.text += m_token.Text;
                advance();
            }
            return v;
        case TokenKind::Binary:
            v.kind = Value::Binary;
            v.text = m_token.Text;
            advance();
            return v;
        case TokenKind::Identifier:
            v.kind = Value::Identifier;
            v.text = m_token.Text;
            advance();
            return v;
        case TokenKind::Symbol:
            break;
        case TokenKind::End:
            fail(QStringLiteral("value expected"));
        }
        if (m_token.is(QLatin1Char('['))) {
            v.kind = Value::Set;
            advance();
            while (!m_token.is(QLatin1Char(']'))) {
                if (!v.elements.empty())
                    expect(QLatin1Char(','));
                Value e;
                e.kind = Value::Identifier;
                e.line = m_token.Line;
                e.column = m_token.Column;
                e.text = expectIdentifier(QStringLiteral("set member"));
                v.elements.push_back(std::move(e));
            }
            advance();
            return v;
        }
        if (m_token.is(QLatin1Char('('))) {
            v.kind = Value::List;
            advance();
            while (!m_token.is(QLatin1Char(')'))) {
                if (m_token.Kind == TokenKind::End)
                    fail(QStringLiteral("\")\" expected"));
                v.elements.push_back(readValue(Depth + 1));
            }
            advance();
            return v;
        }
        if (m_token.is(QLatin1Char('<'))) {
            v.kind = Value::Collection;
            advance();
            while (!m_token.is(QLatin1Char('>'))) {
                if (!m_token.isWord("item"))
                    fail(QStringLiteral("\"item\" or \">\" expected"));
                advance();
                std::vector<Assignment> item;
                while (!m_token.isWord("end")) {
                    if (m_token.Kind == TokenKind::End)
                        fail(QStringLiteral("\"end\" expected"));
                    item.push_back(readAssignment(Depth + 1));
                }
                advance();
                v.items.push_back(std::move(item));
            }
            advance();
            return v;
        }
        fail(QStringLiteral("value expected"));
    }

    // --- Values meet properties

    [[noreturn]] void badValue(const Value &V, const QString &PropName, const QString &Expected)
    {
        failAt(QStringLiteral("%1 expected for property %2").arg(Expected, PropName), V.line,
               V.column);
    }

    static qint64 parseInteger(const QString &Text, bool *Ok)
    {
        QStringView t(Text);
        if (t.startsWith(QLatin1Char('+')))
            t = t.mid(1);
        if (!t.startsWith(QLatin1Char('-')) && !t.startsWith(QLatin1Char('$')))
            return t.toLongLong(Ok);
        const bool negative = t.startsWith(QLatin1Char('-'));
        if (negative)
            t = t.mid(1);
        if (!t.startsWith(QLatin1Char('$')))
            return QStringView(Text).toLongLong(Ok); // keeps the full negative range
        const qint64 n = t.mid(1).toLongLong(Ok, 16);
        return negative ? -n : n;
    }

    // A decimal integer above the signed 64-bit range that fits unsigned.
    static bool parseUnsigned(const QString &Text, quint64 *Value)
    {
        QStringView t(Text);
        if (t.startsWith(QLatin1Char('+')))
            t = t.mid(1);
        if (t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('$')))
            return false;
        bool ok = false;
        *Value = t.toULongLong(&ok);
        return ok;
    }

    // A number as written; one the type cannot hold (1e999 would become
    // infinity, 1e-400 zero) is refused at its place in the text.
    double parseFloat(const Value &V)
    {
        const QByteArray text = V.text.toLatin1();
        errno = 0;
        char *end = nullptr;
        const double d = std::strtod(text.constData(), &end);
        bool zeroDigits = true;
        for (const char *c = text.constData(); *c && *c != 'e' && *c != 'E'; ++c)
            if (*c >= '1' && *c <= '9')
                zeroDigits = false;
        if (!std::isfinite(d) || (d == 0 && !zeroDigits) || end != text.constData() + text.size())
            failAt(QStringLiteral("number %1 out of range: it cannot be represented").arg(V.text),
                   V.line, V.column);
        return d;
    }

    // Left or Top of a component: its design position. False for any other.
    bool readPosition(QObject *Object, const Assignment &A)
    {
        if (!isDesignPosition(A.name))
            return false;
        if (A.value.kind != Value::Integer)
            badValue(A.value, A.name, QStringLiteral("integer"));
        bool ok = false;
        const qint64 n = parseInteger(A.value.text, &ok);
        if (!ok || n < INT_MIN || n > INT_MAX)
            failAt(QStringLiteral("integer out of range"), A.value.line, A.value.column);
        Object->setProperty(A.name.toLatin1().constData(), int(n));
        return true;
    }

    // Gives Object the value A names. False when A is kept as written
    // instead: an event, or a property of the root no class of ours has.
    bool assign(QObject *Object, const Assignment &A, bool IsItem)
    {
        const QMetaObject *meta = Object->metaObject();
        QString propName = A.name;
        bool stringsForm = false;
        if (propName.endsWith(QLatin1String(".Strings"), Qt::CaseInsensitive)) {
            propName.chop(8);
            stringsForm = true;
        }
        const int index = propertyIndex(meta, propName);
        if (index < 0) {
            // The design position of a component.
            if (!IsItem && !stringsForm && readPosition(Object, A))
                return true;
            if (!IsItem && (isEventAssignment(A) || Object == m_root))
                return false;
            failAt(QStringLiteral("unknown property %1 of %2")
                       .arg(A.name, QLatin1String(meta->className())),
                   A.line, A.column);
        }
        const QMetaProperty p = meta->property(index);
        const PropKind kind = kindOf(p);
        if (stringsForm != (kind == PropKind::Strings))
            failAt(stringsForm ? QStringLiteral("property %1 is no string list").arg(propName)
                               : QStringLiteral("string list expected as %1.Strings").arg(propName),
                   A.line, A.column);
        if (!isSettable(Object, p))
            failAt(QStringLiteral("property %1 is read-only").arg(propName), A.line, A.column);
        const Value &v = A.value;
        QVariant value;
        switch (kind) {
        case PropKind::Unsupported:
            failAt(QStringLiteral("property %1 cannot be read from a form").arg(propName), A.line,
                   A.column);
        case PropKind::Boolean:
            if (v.kind != Value::Identifier)
                badValue(v, propName, QStringLiteral("True or False"));
            if (v.text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
                value = true;
            else if (v.text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
                value = false;
            else
                badValue(v, propName, QStringLiteral("True or False"));
            if (value.toBool() && isActivation(p) && !IsItem) {
                m_deferred.append({Object, QString::fromLatin1(p.name()), value, A.line});
                SetHeldActivation(Object, QString::fromLatin1(p.name()), true);
                return true;
            }
            break;
        case PropKind::Integer: {
            if (v.kind != Value::Integer)
                badValue(v, propName, QStringLiteral("integer"));
            bool ok = false;
            const qint64 n = parseInteger(v.text, &ok);
            quint64 u = 0;
            if (!ok && p.metaType().id() == QMetaType::ULongLong && parseUnsigned(v.text, &u)) {
                value = QVariant(u);
                break;
            }
            QVariant candidate(n);
            if (!ok || !candidate.convert(p.metaType()) || candidate.toLongLong() != n)
                failAt(QStringLiteral("integer out of range for property %1").arg(propName), v.line,
                       v.column);
            value = candidate;
            break;
        }
        case PropKind::Float:
            if (v.kind == Value::Integer) {
                bool ok = false;
                value = double(parseInteger(v.text, &ok));
            } else if (v.kind == Value::Float) {
                value = parseFloat(v);
            } else {
                badValue(v, propName, QStringLiteral("number"));
            }
            value.convert(p.metaType());
            if (!std::isfinite(value.toDouble()))
                failAt(
                    QStringLiteral("number %1 out of range for property %2").arg(v.text, propName),
                    v.line, v.column);
            break;
        case PropKind::String:
            if (v.kind != Value::String)
                badValue(v, propName, QStringLiteral("string"));
            value = v.text;
            break;
        case PropKind::Enum: {
            if (v.kind != Value::Identifier)
                badValue(v, propName, QStringLiteral("enumeration value"));
            const QMetaEnum e = p.enumerator();
            int ord = -1;
            for (int i = 0; i < e.keyCount() && ord < 0; ++i)
                if (v.text.compare(QLatin1String(e.key(i)), Qt::CaseInsensitive) == 0)
                    ord = e.value(i);
            if (ord < 0)
                failAt(QStringLiteral("invalid value %1 for property %2").arg(v.text, propName),
                       v.line, v.column);
            value = QVariant(p.metaType(), &ord);
            break;
        }
        case PropKind::Set:
            value = readSet(p, v, propName);
            break;
        case PropKind::Strings: {
            if (v.kind != Value::List)
                badValue(v, propName, QStringLiteral("list of strings"));
            TStringList lines;
            for (const Value &e : v.elements) {
                if (e.kind != Value::String)
                    badValue(e, propName, QStringLiteral("string"));
                lines.Add(e.text);
            }
            TStrings *list = &lines;
            setProperty(Object, p, QVariant::fromValue(list), A);
            return true;
        }
        case PropKind::Object: {
            QObject *current = p.read(Object).value<QObject *>();
            if (isCollection(current)) {
                if (v.kind != Value::Collection)
                    badValue(v, propName, QStringLiteral("collection"));
                readCollection(current, v);
                return true;
            }
            if (v.kind != Value::Identifier)
                badValue(v, propName, QStringLiteral("component name"));
            if (v.text.compare(QLatin1String("nil"), Qt::CaseInsensitive) == 0) {
                QObject *none = nullptr;
                setProperty(Object, p, QVariant(p.metaType(), &none), A);
                return true;
            }
            m_references.push_back({Object, p, v.text, v.line, v.column, m_entryBlock, m_entryKey});
            return true;
        }
        case PropKind::Variant:
            value = variantOf(v, propName);
            break;
        }
        setProperty(Object, p, value, A);
        return true;
    }

    QVariant variantOf(const Value &V, const QString &PropName)
    {
        bool ok = false;
        switch (V.kind) {
        case Value::Integer: {
            const qint64 n = parseInteger(V.text, &ok);
            quint64 u = 0;
            if (!ok && parseUnsigned(V.text, &u))
                return QVariant(u);
            if (!ok)
                failAt(QStringLiteral("integer %1 out of range").arg(V.text), V.line, V.column);
            return n >= INT_MIN && n <= INT_MAX ? QVariant(int(n)) : QVariant(n);
        }
        case Value::Float:
            return parseFloat(V);
        case Value::String:
            return V.text;
        case Value::Binary:
            return QByteArray::fromHex(V.text.toLatin1());
        case Value::Identifier:
            if (V.text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
                return true;
            if (V.text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
                return false;
            if (V.text.compare(QLatin1String("Null"), Qt::CaseInsensitive) == 0)
                return QVariant();
            break;
        default:
            break;
        }
        badValue(V, PropName, QStringLiteral("number, string, True, False or Null"));
    }

    QVariant readSet(const QMetaProperty &P, const Value &V, const QString &PropName)
    {
        if (V.kind != Value::Set)
            badValue(V, PropName, QStringLiteral("set"));
        QStringList names;
        for (const Value &e : V.elements)
            names.append(e.text);
        if (P.isFlagType()) {
            const QMetaEnum e = P.enumerator();
            int bits = 0;
            for (const Value &m : V.elements) {
                bool found = false;
                for (int i = 0; i < e.keyCount() && !found; ++i)
                    if (m.text.compare(QLatin1String(e.key(i)), Qt::CaseInsensitive) == 0) {
                        bits |= e.value(i);
                        found = true;
                    }
                if (!found)
                    failAt(QStringLiteral("invalid set member %1 for property %2")
                               .arg(m.text, PropName),
                           m.line, m.column);
            }
            return QVariant(P.metaType(), &bits);
        }
        // A set type converts from and to the names of its members: a name
        // that does not come back is no member.
        QVariant value(names);
        if (!value.convert(P.metaType()))
            failAt(QStringLiteral("invalid set for property %1").arg(PropName), V.line, V.column);
        QVariant back = value;
        back.convert(QMetaType::fromType<QStringList>());
        const QStringList members = back.toStringList();
        for (const Value &m : V.elements)
            if (!members.contains(m.text, Qt::CaseInsensitive))
                failAt(
                    QStringLiteral("invalid set member %1 for property %2").arg(m.text, PropName),
                    m.line, m.column);
        return value;
    }

    void readCollection(QObject *Collection, const Value &V)
    {
        collectionClear(Collection);
        for (const std::vector<Assignment> &item : V.items) {
            QObject *object = collectionAdd(Collection);
            if (!object)
                failAt(QStringLiteral("collection item cannot be created"), V.line, V.column);
            for (const Assignment &a : item)
                assign(object, a, /*IsItem=*/true);
        }
    }

    void setProperty(QObject *Object, const QMetaProperty &P, const QVariant &Value,
                     const Assignment &A)
    {
        bool ok = false;
        try {
            ok = P.write(Object, Value);
        } catch (const Exception &e) {
            failAt(QStringLiteral("%1: %2").arg(QLatin1String(P.name()), e.Message()), A.line,
                   A.column);
        }
        if (!ok)
            failAt(QStringLiteral("invalid value for property %1").arg(QLatin1String(P.name())),
                   A.line, A.column);
    }

    void resolveReferences()
    {
        // Only the components of the text, by the names their headers gave
        // (a form cannot rename one), so they are not read again: helper
        // objects a component keeps may carry names too (a query's "Params")
        // and must not shadow a component of that name. A component freed
        // while the form was read names nothing.
        for (const PendingReference &r : m_references) {
            if (!r.object)
                continue;
            const QString key = r.name.toLower();
            const auto named = m_names.constFind(key);
            QObject *target = named == m_names.cend() ? nullptr : m_components[*named].data();
            // A component kept as written, or one of another module, is
            // named as written and stays unset here.
            if (r.block && m_keptNames.contains(key))
                continue;
            if (r.block && qobject_cast<TNotLoadedComponent *>(target)) {
                for (auto e = r.block->Entries.rbegin(); e != r.block->Entries.rend(); ++e)
                    if (e->Key == r.key) {
                        e->Target = target;
                        e->TargetName = target->objectName();
                        break;
                    }
                continue;
            }
            if (r.block && !target && r.name.contains(QLatin1Char('.'))) {
                m_warnings.append(
                    {r.line,
                     QStringLiteral("%1(%2): %3.%4 refers to %5 in another module; kept as "
                                    "written")
                         .arg(m_fileName.isEmpty() ? QStringLiteral("form") : m_fileName)
                         .arg(r.line)
                         .arg(r.object->objectName(), QLatin1String(r.property.name()), r.name)});
                continue;
            }
            if (!target && m_dangling) {
                m_dangling->append(r.line);
                if (r.block)
                    m_unset.push_back({r.block, r.key});
                continue;
            }
            if (!target)
                failAt(QStringLiteral("unknown component %1").arg(r.name), r.line, r.column);
            const QMetaObject *wanted = r.property.metaType().metaObject();
            if (wanted && !target->metaObject()->inherits(wanted))
                failAt(
                    QStringLiteral("%1 is no %2").arg(r.name, QLatin1String(wanted->className())),
                    r.line, r.column);
            bool ok = false;
            try {
                ok = r.property.write(r.object, QVariant(r.property.metaType(), &target));
            } catch (const Exception &e) {
                failAt(e.Message(), r.line, r.column);
            }
            if (!ok)
                failAt(QStringLiteral("invalid value for property %1")
                           .arg(QLatin1String(r.property.name())),
                       r.line, r.column);
        }
    }

    // A component of Class owned by Parent, through the class's
    // constructor taking an owner (looked up once per class).
    QObject *create(TComponentClass Class, QObject *Parent)
    {
        auto known = m_constructors.constFind(Class);
        if (known == m_constructors.constEnd())
            known = m_constructors.insert(
                Class, Class->indexOfConstructor(QMetaObject::normalizedSignature(
                                                     QByteArray(Class->className()) + "(QObject*)")
                                                     .constData()));
        if (*known < 0)
            return nullptr;
        QObject *object = nullptr;
        void *args[] = {&object, &Parent};
        Class->static_metacall(QMetaObject::CreateInstance, *known, args);
        return object;
    }

    // findProperty, remembered per class and name as spelt: a form names the
    // same few properties of the same few classes thousands of times.
    int propertyIndex(const QMetaObject *Meta, const QString &Name)
    {
        QHash<QString, int> &names = m_properties[Meta];
        auto known = names.constFind(Name);
        if (known == names.constEnd())
            known = names.insert(Name, findProperty(Meta, Name));
        return *known;
    }

    const QString &m_text;
    const QString &m_fileName;
    Lexer m_lexer;
    Token m_token;
    qsizetype m_lastEnd = 0; // the end of the last token read
    int m_lastLine = 1;
    qsizetype m_prevEnd = 0; // the end of the last piece taken
    QObject *m_root = nullptr;
    QSet<QString> m_keptNames; // lower case: components inside not-loaded ones
    std::vector<std::pair<SourceBlock *, QString>> m_unset;
    // The block and property whose assignment is being read.
    SourceBlock *m_entryBlock = nullptr;
    QString m_entryKey;
    QHash<const QMetaObject *, int> m_constructors;
    QHash<const QMetaObject *, QHash<QString, int>> m_properties;
    QList<TDeferredProperty> &m_deferred;
    QList<TFormWarning> &m_warnings;
    TFormSourceMap *m_sources;
    QList<int> *m_dangling; // null: a dangling reference fails the read
    // Each component by its header's name in lower case: its place in m_components.
    QHash<QString, size_t> m_names;
    std::vector<QPointer<QObject>> m_components;
    std::vector<PendingReference> m_references;
};

} // namespace

// --- TFormReader ----------------------------------------------------------------

TFormReader::TFormReader(QString Text, QString FileName)
    : m_text(std::move(Text))
    , m_fileName(std::move(FileName))
{}

TFormReader::~TFormReader() = default;

std::unique_ptr<QObject> TFormReader::Read()
{
    m_deferred.clear();
    m_warnings.clear();
    if (m_sources)
        m_sources->clear();
    try {
        if (m_dangling)
            m_dangling->clear();
        Parser parser(m_text, m_fileName, m_deferred, m_warnings, m_sources, m_dangling);
        return parser.readForm();
    } catch (...) {
        m_deferred.clear();
        m_warnings.clear();
        if (m_sources)
            m_sources->clear();
        throw;
    }
}

void TFormReader::ApplyDeferred()
{
    ApplyDeferredProperties(m_deferred, m_fileName);
}

void ApplyDeferredProperties(const QList<TDeferredProperty> &Deferred, const QString &FileName)
{
    for (const TDeferredProperty &d : Deferred) {
        try {
            if (!d.Component->setProperty(d.PropName.toLatin1().constData(), d.Value))
                throw Exception(QStringLiteral("invalid value"));
        } catch (const Exception &e) {
            throw EFormError(QStringLiteral("%1(%2): %3.%4: %5")
                                 .arg(FileName.isEmpty() ? QStringLiteral("form") : FileName)
                                 .arg(d.Line)
                                 .arg(d.Component->objectName(), d.PropName, e.Message()),
                             d.Line, 0);
        }
    }
}

namespace {

TFormFileStamp stampOf(const QByteArray &Bytes)
{
    return {true, QCryptographicHash::hash(Bytes, QCryptographicHash::Sha256)};
}

} // namespace

TFormFileStamp CurrentFormFileStamp(const QString &FileName)
{
    const FileReadResult file = readRegularFile(FileName, MaxFormFileSize);
    if (file.status == FileReadResult::Missing)
        return {};
    if (file.status == FileReadResult::Refused)
        return {true, QByteArray()}; // there, but nothing read can match it
    return stampOf(file.bytes);
}

QString ReadFormFileText(const QString &FileName, TFormFileStamp *Stamp)
{
    const FileReadResult file = readRegularFile(FileName, MaxFormFileSize);
    if (file.status == FileReadResult::Missing)
        throw EFormError(
            QStringLiteral("Form file %1 not found").arg(QDir::toNativeSeparators(FileName)));
    if (file.status == FileReadResult::Refused)
        throw EFormError(QStringLiteral("Cannot read form file %1: %2")
                             .arg(QDir::toNativeSeparators(FileName), file.reason));
    if (Stamp)
        *Stamp = stampOf(file.bytes);
    return DecodeFormFileBytes(file.bytes);
}

std::unique_ptr<QObject> LoadFormFile(const QString &FileName, QList<TDeferredProperty> *Deferred,
                                      TFormSourceMap *Sources, TFormFileStamp *Stamp,
                                      QList<TFormWarning> *Warnings)
{
    TFormReader reader(ReadFormFileText(FileName, Stamp), FileName);
    reader.SetSourceMap(Sources);
    std::unique_ptr<QObject> root = reader.Read();
    if (Deferred)
        *Deferred = reader.Deferred();
    if (Warnings)
        *Warnings = reader.Warnings();
    return root;
}
