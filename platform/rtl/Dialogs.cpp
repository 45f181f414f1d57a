#include "Dialogs.h"
#include "UiServices.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>

TModalResult MessageDlg(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                        int HelpCtx)
{
    Q_UNUSED(HelpCtx);
    return uiServices().messageDlg(MessageRequest{Msg, DlgType, Buttons});
}

void ShowMessage(const QString &Msg)
{
    MessageDlg(Msg, mtCustom, mbOK);
}

bool TOpenDialog::Execute()
{
    return uiServices().openFile(*this);
}

QList<QPair<QString, QStringList>> TOpenDialog::FilterEntries() const
{
    QList<QPair<QString, QStringList>> entries;
    const QStringList parts = Filter.split(u'|');
    // A trailing description without patterns is no entry.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString &p : parts.at(i + 1).split(u';', Qt::SkipEmptyParts))
            if (!p.trimmed().isEmpty())
                patterns.append(p.trimmed());
        entries.append({parts.at(i).trimmed(), patterns});
    }
    return entries;
}

QString TOpenDialog::CheckFileName() const
{
    if (FileName.isEmpty())
        return QObject::tr("No file chosen");
    const QFileInfo info(FileName);
    if ((Options & (ofPathMustExist | ofFileMustExist)) && !QFileInfo(info.absolutePath()).isDir())
        return QObject::tr("Path not found: %1").arg(QDir::toNativeSeparators(info.absolutePath()));
    if ((Options & ofFileMustExist) && (!info.exists() || info.isDir()))
        return QObject::tr("File not found: %1").arg(QDir::toNativeSeparators(FileName));
    return QString();
}

bool TSaveDialog::Execute()
{
    return uiServices().saveFile(*this);
}
