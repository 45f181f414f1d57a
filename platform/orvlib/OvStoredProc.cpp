#include "OvPrivate.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSession.h"

#include "rtl/SysUtils.h"

TOvStoredProc::TOvStoredProc(QObject *AOwner)
    : TOvDataSet(AOwner)
    , m_params(new TParams(this))
{
    m_params->setObjectName(QStringLiteral("Params"));
}

TOvStoredProc::~TOvStoredProc() = default;

void TOvStoredProc::SetStoredProcName(const QString &Value)
{
    if (Value == m_storedProcName)
        return;
    Close();
    UnPrepare();
    m_storedProcName = Value;
    m_params->Clear();
}

void TOvStoredProc::SetParams(TParams *Value)
{
    if (Value && Value != m_params)
        m_params->Assign(*Value);
}

void TOvStoredProc::SetPrepared(bool Value)
{
    if (Value)
        Prepare();
    else
        UnPrepare();
}

void TOvStoredProc::Prepare()
{
    if (m_prepared)
        return;
    if (m_storedProcName.trimmed().isEmpty())
        throw Exception(SNoStoredProcName().arg(objectName()));
    TOvDatabase *db = AttachDatabase();
    try {
        TOvDriver &driver = db->Driver();
        if (!driver.ProcedureExists(m_storedProcName))
            throw Exception(SStoredProcNotFound().arg(m_storedProcName));
        const QList<TOvProcParamInfo> described = driver.ProcedureParams(m_storedProcName);
        // The server's description replaces the list; values the user set
        // on parameters of the same name stay.
        m_params->BeginUpdate();
        std::vector<std::pair<QString, QVariant>> old;
        for (int i = 0; i < m_params->Count(); ++i)
            old.emplace_back(m_params->Items(i)->Name(), m_params->Items(i)->Value());
        m_params->Clear();
        for (const TOvProcParamInfo &info : described) {
            TParam *p = m_params->AddParam(info.Name, info.DataType, info.ParamType);
            for (const auto &[name, value] : old) {
                if (name.compare(info.Name, Qt::CaseInsensitive) == 0)
                    p->SetValue(value);
            }
        }
        m_params->EndUpdate();
    } catch (...) {
        DetachDatabase();
        throw;
    }
    m_prepared = true;
}

void TOvStoredProc::UnPrepare()
{
    if (!m_prepared)
        return;
    m_prepared = false;
    if (!Active())
        DetachDatabase();
}

bool TOvStoredProc::DescriptionsAvailable() const
{
    TOvDatabase *db = Database();
    if (!db) {
        TOvSession *s = Sessions().FindSession(SessionName());
        db = s ? s->FindDatabase(DatabaseName()) : nullptr;
    }
    return db && db->Connected() && db->Driver().DescribesProcedures();
}

QVariantList TOvStoredProc::inputValues() const
{
    QVariantList inputs;
    for (int i = 0; i < m_params->Count(); ++i) {
        const TParam *p = m_params->Items(i);
        if (p->ParamType() != TParamType::ptOutput && p->ParamType() != TParamType::ptResult)
            inputs << p->Value();
    }
    return inputs;
}

void TOvStoredProc::ExecProc()
{
    Close();
    Prepare();
    TOvDriver &driver = Database()->Driver();
    const QVariantList inputs = inputValues();
    const QString sql = driver.ProcedureCallSQL(m_storedProcName, static_cast<int>(inputs.size()));
    TOvMonitor::Trace(sql);
    const TOvResult result = ExecuteStatement(sql, inputs);
    // Output values come back as a row whose columns carry the parameter names.
    if (!result.Rows.empty()) {
        const QVariantList &row = result.Rows.front();
        for (int c = 0; c < result.Fields.size() && c < row.size(); ++c) {
            if (TParam *p = m_params->FindParam(result.Fields.at(c).Name)) {
                if (p->ParamType() != TParamType::ptInput)
                    p->SetValue(row.at(c));
            }
        }
    }
}

void TOvStoredProc::InternalOpen()
{
    Prepare();
    TOvDriver &driver = Database()->Driver();
    const QVariantList inputs = inputValues();
    const QString sql = driver.ProcedureCallSQL(m_storedProcName, static_cast<int>(inputs.size()));
    TOvMonitor::Trace(sql);
    // A procedure may change data: it runs once, and not again for each page.
    OpenRows(sql, inputs, true);
}
