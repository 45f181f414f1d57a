#pragma once

#include "designide/ColnEdit.h"
#include "designide/ComponentEditors.h"
#include "designide/PropertyEditors.h"
#include "designide/Sprigs.h"

#include "rtl/Classes.h"

#include <QObject>
#include <QStringList>

// Component classes for the look-ups: TTestBase <- TTestDerived <- TTestLeaf,
// and TTestOther beside them.
class TTestBase : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(TTestMode Mode READ Mode WRITE SetMode)
    Q_PROPERTY(int Count READ Count WRITE SetCount)
    Q_PROPERTY(QString Version READ Version)
    Q_PROPERTY(QObject *Buddy READ Buddy WRITE SetBuddy)
    Q_PROPERTY(TStrings *Lines READ Lines WRITE SetLines)
    Q_PROPERTY(QString MasterFields MEMBER MasterFields)
    Q_PROPERTY(QString IndexName MEMBER IndexName)
    Q_PROPERTY(QString IndexFieldNames MEMBER IndexFieldNames)

public:
    enum TTestMode { tmFirst, tmSecond, tmThird };
    Q_ENUM(TTestMode)

    explicit TTestBase(const QString &Name = {}, QObject *Owner = nullptr)
        : QObject(Owner)
    {
        setObjectName(Name);
    }

    QString Caption() const { return m_caption; }
    void SetCaption(const QString &V) { m_caption = V; }
    bool Active() const { return m_active; }
    void SetActive(bool V) { m_active = V; }
    TTestMode Mode() const { return m_mode; }
    void SetMode(TTestMode V) { m_mode = V; }
    int Count() const { return m_count; }
    void SetCount(int V) { m_count = V; }
    QString Version() const { return QStringLiteral("1.0"); }
    QObject *Buddy() const { return m_buddy; }
    void SetBuddy(QObject *V) { m_buddy = V; }
    TStrings *Lines() { return &m_lines; }
    // Assigns the content, as a TStrings property setter does.
    void SetLines(TStrings *V) { m_lines.Assign(*V); }

    // What a dataset offers the index property editors.
    Q_INVOKABLE void GetIndexNames(TStrings *List) { List->Assign(QStringList{"ByName", "ById"}); }

    QString MasterFields, IndexName, IndexFieldNames;

private:
    QString m_caption;
    bool m_active = false;
    TTestMode m_mode = tmFirst;
    int m_count = 0;
    QObject *m_buddy = nullptr;
    TStringList m_lines;
};

class TTestDerived : public TTestBase
{
    Q_OBJECT

public:
    using TTestBase::TTestBase;
};

class TTestLeaf : public TTestDerived
{
    Q_OBJECT

public:
    using TTestDerived::TTestDerived;
};

class TTestOther : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER Caption)

public:
    QString Caption;
};

// A designer that counts Modified calls.
class CountingDesigner : public IDesigner
{
public:
    void Modified() override { ++modified; }
    QObject *Root() const override { return root; }
    int modified = 0;
    QObject *root = nullptr;
};

// Editor and node classes that only need to be told apart.
class TEditorA : public TComponentEditor
{
    Q_OBJECT

public:
    using TComponentEditor::TComponentEditor;
};

class TEditorB : public TComponentEditor
{
    Q_OBJECT

public:
    using TComponentEditor::TComponentEditor;
};

class TEditorC : public TComponentEditor
{
    Q_OBJECT

public:
    using TComponentEditor::TComponentEditor;
};

class TPropEdA : public TStringProperty
{
    Q_OBJECT

public:
    using TStringProperty::TStringProperty;
};

class TPropEdB : public TStringProperty
{
    Q_OBJECT

public:
    using TStringProperty::TStringProperty;
};

class TPropEdC : public TStringProperty
{
    Q_OBJECT

public:
    using TStringProperty::TStringProperty;
};

class TPropEdD : public TStringProperty
{
    Q_OBJECT

public:
    using TStringProperty::TStringProperty;
};

class TSprigA : public TComponentSprig
{
    Q_OBJECT

public:
    using TComponentSprig::TComponentSprig;
};

class TSprigB : public TComponentSprig
{
    Q_OBJECT

public:
    using TComponentSprig::TComponentSprig;
};

// A collection editor class of its own, as a package may pass one.
class TTestCollectionEditor : public TCollectionEditor
{
    Q_OBJECT

public:
    Q_INVOKABLE explicit TTestCollectionEditor(QWidget *AOwner = nullptr)
        : TCollectionEditor(AOwner)
    {}
};
