#pragma once

#include <QByteArray>
#include <QString>

// Everything that differs between Linux and Windows lives behind these few
// functions: locale, the settings file's code page, line ends and where the
// settings file is kept.
namespace tessera {

// Makes LC_CTYPE a UTF-8 locale: the environment's when that is UTF-8,
// otherwise C.UTF-8. The ODBC driver manager converts SQL text for drivers
// without wide entry points with this locale, so under plain "C" Chinese
// text would be corrupted on its way to the database.
// Call it after the application object exists: QCoreApplication's
// constructor sets the locale from the environment again.
void ensureUtf8CType();

// GBK (code page 936), the encoding of DataSource.ini. ASCII stays ASCII;
// characters GBK lacks become '?', invalid bytes U+FFFD.
QByteArray encodeGbk(const QString& text);
QString decodeGbk(const QByteArray& bytes);

// The platform's text line end: "\n" here, "\r\n" on Windows.
const char* textLineEnd();

// The directory of the running program.
QString programDirectory();

inline constexpr char kConfigurationFileName[] = "DataSource.ini";

// The one DataSource.ini of this program: TESSERA_CONFIG_DIR when set,
// else the program's directory when it is writable and not under /usr (where
// packages install it), else the user's configuration directory
// (~/.config/Tessera). The journal and Tessera.ini live beside it. The chosen directory is
// created when missing.
QString configurationFilePath();
// The same choice for a given program directory.
QString configurationFilePathFor(const QString& programDir);

} // namespace tessera
