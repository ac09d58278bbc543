#include "copy/CopyPasswords.h"

#include <QFile>
#include <QFileInfo>

namespace tessera::copy {

void takePasswordsFromEnvironment(CopySettings& settings)
{
    if (qEnvironmentVariableIsSet(kTargetPasswordVariable))
        settings.target.password = qEnvironmentVariable(kTargetPasswordVariable);
    if (qEnvironmentVariableIsSet(kSourcePasswordVariable))
        settings.source.password = qEnvironmentVariable(kSourcePasswordVariable);
}

QString takePasswordsFromFile(const QString& path, CopySettings& settings)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return QStringLiteral("no such file: %1").arg(path);
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther;
    if (info.permissions() & others)
        return QStringLiteral("%1 may be read by other users; make it the owner's only (chmod 600)").arg(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    int line = 0;
    while (!file.atEnd()) {
        ++line;
        QString text = QString::fromUtf8(file.readLine());
        while (text.endsWith(u'\n') || text.endsWith(u'\r'))
            text.chop(1);
        if (text.trimmed().isEmpty() || text.trimmed().startsWith(u'#'))
            continue;
        const qsizetype equals = text.indexOf(u'=');
        const QString key = text.left(equals).trimmed();
        if (equals > 0 && key == QLatin1String("target"))
            settings.target.password = text.mid(equals + 1);
        else if (equals > 0 && key == QLatin1String("source"))
            settings.source.password = text.mid(equals + 1);
        else
            return QStringLiteral("%1, line %2: expected target=PASSWORD or source=PASSWORD").arg(path).arg(line);
    }
    return QString();
}

} // namespace tessera::copy
