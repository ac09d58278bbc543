#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryFile>

#include <clocale>
#include <iterator>

#ifdef Q_OS_WIN
#define NOMINMAX
#include <windows.h>
#else
#include <langinfo.h>
#endif

namespace tessera {

namespace {

constexpr char kGbk[] = "GBK";
constexpr char kConfigDirVariable[] = "TESSERA_CONFIG_DIR";
constexpr char kUserConfigSubdir[] = "Tessera";

#ifndef Q_OS_WIN
bool currentCTypeIsUtf8()
{
    QByteArray codeset(nl_langinfo(CODESET));
    codeset = codeset.toLower().replace('-', "");
    return codeset == "utf8";
}
#endif

// Asks the file system rather than the permission bits: root, ACLs and
// read-only mounts all make those misleading.
bool isWritableDirectory(const QString& dir)
{
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        return false;
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".tessera-probe-XXXXXX")));
    return probe.open();
}

// A program installed by a package (anywhere under /usr) never keeps its
// files beside itself, even when it runs as root and could write there.
bool isInstalledDirectory(const QString& dir)
{
#ifdef Q_OS_WIN
    Q_UNUSED(dir);
    return false;
#else
    const QString clean = QDir::cleanPath(dir);
    return clean == QLatin1String("/usr") || clean.startsWith(QLatin1String("/usr/"));
#endif
}

} // namespace

void ensureUtf8CType()
{
#ifdef Q_OS_WIN
    std::setlocale(LC_CTYPE, ".UTF-8");
#else
    std::setlocale(LC_CTYPE, "");
    if (!currentCTypeIsUtf8())
        std::setlocale(LC_CTYPE, "C.UTF-8");
#endif
}

QByteArray encodeGbk(const QString& text)
{
    QStringEncoder encoder(kGbk, QStringConverter::Flag::Stateless);
    // Without ICU there is no GBK; UTF-8 at least keeps our own round trip.
    if (!encoder.isValid())
        return text.toUtf8();
    return encoder.encode(text);
}

QString decodeGbk(const QByteArray& bytes)
{
    QStringDecoder decoder(kGbk, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return QString::fromUtf8(bytes);
    // A lead byte at the very end would wait for more input and be dropped;
    // a newline after it, never a trail byte, makes it an error like others.
    QString text = decoder.decode(bytes + '\n');
    text.chop(1);
    return text;
}

const char* textLineEnd()
{
#ifdef Q_OS_WIN
    return "\r\n";
#else
    return "\n";
#endif
}

QString programDirectory()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
#ifdef Q_OS_WIN
    wchar_t buffer[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, DWORD(std::size(buffer)));
    if (length == 0 || length >= std::size(buffer))
        return QString();
    return QFileInfo(QString::fromWCharArray(buffer, int(length))).absolutePath();
#else
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return exe.isEmpty() ? QString() : QFileInfo(exe).absolutePath();
#endif
}

QString configurationFilePathFor(const QString& programDir)
{
    QString dir = qEnvironmentVariable(kConfigDirVariable);
    if (dir.isEmpty()) {
        if (!isInstalledDirectory(programDir) && isWritableDirectory(programDir)) {
            dir = programDir;
        } else {
            dir = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                      .filePath(QString::fromLatin1(kUserConfigSubdir));
        }
    }
    QDir().mkpath(dir);
    return QDir(dir).filePath(QString::fromLatin1(kConfigurationFileName));
}

QString configurationFilePath()
{
    return configurationFilePathFor(programDirectory());
}

} // namespace tessera
