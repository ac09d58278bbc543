#include "platform/Log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cstdio>
#include <mutex>

Q_LOGGING_CATEGORY(lcDb, "tessera.db", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCopy, "tessera.copy", QtInfoMsg)
Q_LOGGING_CATEGORY(lcJournal, "tessera.journal", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUi, "tessera.ui", QtInfoMsg)

namespace tessera {

namespace {

struct LogFile {
    std::mutex mutex;
    QFile file;
    bool echo = true;
    QtMessageHandler previous = nullptr;
};

LogFile& log()
{
    static LogFile* const instance = new LogFile; // outlives every thread that may still log
    return *instance;
}

const char* levelOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "?";
}

// The current file moved to .1, .1 to .2, ...; the oldest goes.
void rotate(LogFile& l)
{
    const QString path = l.file.fileName();
    l.file.close();
    QFile::remove(path + QStringLiteral(".%1").arg(kKeptLogFiles));
    for (int i = kKeptLogFiles - 1; i >= 1; --i)
        QFile::rename(path + QStringLiteral(".%1").arg(i), path + QStringLiteral(".%1").arg(i + 1));
    QFile::rename(path, path + QStringLiteral(".1"));
    l.file.open(QIODevice::WriteOnly | QIODevice::Append);
    l.file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void writeMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    LogFile& l = log();
    {
        const std::lock_guard lock(l.mutex);
        if (l.file.isOpen()) {
            const QString line = QStringLiteral("%1 %2 %3: %4\n")
                                     .arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs),
                                          QLatin1String(levelOf(type)),
                                          QLatin1String(context.category ? context.category : "default"),
                                          withoutPasswords(text));
            l.file.write(line.toUtf8());
            l.file.flush();
            if (l.file.size() > kLogFileBytes)
                rotate(l);
        }
    }
    if (!l.echo)
        return;
    if (l.previous)
        l.previous(type, context, text);
    else
        std::fprintf(stderr, "%s\n", qUtf8Printable(qFormatLogMessage(type, context, text)));
}

} // namespace

QString withoutPasswords(QString text)
{
    static const QRegularExpression secret(QStringLiteral("((?:PWD|PASSWORD|PASS)\\s*=\\s*)[^;\\s]*"),
                                           QRegularExpression::CaseInsensitiveOption);
    return text.replace(secret, QStringLiteral("\\1***"));
}

bool startLogFile(const QString& folder, bool echo)
{
    LogFile& l = log();
    const std::lock_guard lock(l.mutex);
    if (l.file.isOpen())
        l.file.close();
    l.echo = echo;
    l.file.setFileName(QDir(folder).filePath(QLatin1String(kLogFileName)));
    if (!l.file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    l.file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    static std::once_flag installed;
    std::call_once(installed, [&l] { l.previous = qInstallMessageHandler(writeMessage); });
    return true;
}

void stopLogFile()
{
    LogFile& l = log();
    const std::lock_guard lock(l.mutex);
    l.file.close();
}

} // namespace tessera
