#include "settings/CIniFile.h"

#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>
#include <utility>

namespace tessera {

namespace {

constexpr qsizetype kMinHeaderLength = 4; // "[" + two characters + "]"
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

bool isLineSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

// Only ASCII white space: an ideographic blank belongs to the value.
QString trimmedLine(const QString& line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && isLineSpace(line[begin]))
        ++begin;
    while (end > begin && isLineSpace(line[end - 1]))
        --end;
    return line.mid(begin, end - begin);
}

std::optional<QString> headerName(const QString& line)
{
    if (line.size() < kMinHeaderLength || !line.startsWith(u'[') || !line.endsWith(u']'))
        return std::nullopt;
    return line.mid(1, line.size() - 2);
}

std::optional<std::pair<QString, QString>> entryOf(const QString& line)
{
    if (line.size() <= 1 || line.startsWith(u';'))
        return std::nullopt;
    const qsizetype equals = line.indexOf(u'=');
    if (equals <= 0)
        return std::nullopt;
    return std::pair{line.left(equals), line.mid(equals + 1)};
}

// The text of a line as the reader sees it after a trip through the file.
QString asReadBack(const QString& line)
{
    return trimmedLine(decodeGbk(encodeGbk(line)));
}

bool readsBackUnchanged(const QString& section, const QString& key, const QString& value)
{
    if (section.contains(u'\n') || key.contains(u'\n') || value.contains(u'\n'))
        return false;
    if (headerName(asReadBack(u'[' + section + u']')) != section)
        return false;
    const QString line = asReadBack(key + u'=' + value);
    if (headerName(line))
        return false;
    const auto entry = entryOf(line);
    return entry && entry->first == key && entry->second == value;
}

} // namespace

CIniFile::CIniFile(const QString& path)
{
    if (!path.isEmpty())
        Load(path);
}

void CIniFile::Clear()
{
    m_sections.clear();
    m_sectionIndex.clear();
}

bool CIniFile::Load(const QString& path)
{
    Clear();
    m_path = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();

    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    Parse(bytes);
    return true;
}

void CIniFile::Parse(const QByteArray& bytes)
{
    static const QByteArray utf8Bom("\xEF\xBB\xBF");
    const bool utf8 = bytes.startsWith(utf8Bom);
    const QByteArray body = utf8 ? bytes.mid(utf8Bom.size()) : bytes;

    Section* current = nullptr;
    // Split the bytes before decoding, so that no stray lead byte can join
    // two lines.
    for (const QByteArray& raw : body.split('\n')) {
        const QString line = trimmedLine(utf8 ? QString::fromUtf8(raw) : decodeGbk(raw));
        if (const auto name = headerName(line)) {
            m_sections.push_back(Section{*name, {}, {}});
            m_sectionIndex.insert(*name, m_sections.size() - 1);
            current = &m_sections.back();
        } else if (const auto entry = entryOf(line); entry && current) {
            auto found = current->keyIndex.constFind(entry->first);
            if (found != current->keyIndex.constEnd()) {
                current->entries[*found].value = entry->second;
            } else {
                current->keyIndex.insert(entry->first, current->entries.size());
                current->entries.push_back(Entry{entry->first, entry->second});
            }
        }
    }
}

QString CIniFile::Get(const QString& section, const QString& key, const QString& defaultValue) const
{
    const auto s = m_sectionIndex.constFind(section);
    if (s == m_sectionIndex.constEnd())
        return defaultValue;
    const Section& found = m_sections[*s];
    const auto e = found.keyIndex.constFind(key);
    return e == found.keyIndex.constEnd() ? defaultValue : found.entries[*e].value;
}

CIniFile::Section& CIniFile::SectionNamed(const QString& name)
{
    const auto s = m_sectionIndex.constFind(name);
    if (s != m_sectionIndex.constEnd())
        return m_sections[*s];
    m_sections.push_back(Section{name, {}, {}});
    m_sectionIndex.insert(name, m_sections.size() - 1);
    return m_sections.back();
}

bool CIniFile::Set(const QString& sectionName, const QString& key, const QString& value)
{
    if (!readsBackUnchanged(sectionName, key, value))
        return false;
    Section& target = SectionNamed(sectionName);
    const auto e = target.keyIndex.constFind(key);
    if (e != target.keyIndex.constEnd()) {
        target.entries[*e].value = value;
    } else {
        target.keyIndex.insert(key, target.entries.size());
        target.entries.push_back(Entry{key, value});
    }
    return true;
}

bool CIniFile::Save()
{
    if (m_path.isEmpty())
        return false;

    const QString lineEnd = QString::fromLatin1(textLineEnd());
    QString text;
    for (const Section& s : m_sections) {
        text += u'[' + s.name + u']' + lineEnd;
        for (const Entry& e : s.entries)
            text += e.key + u'=' + e.value + lineEnd;
    }
    const QByteArray bytes = encodeGbk(text);

    QSaveFile file(m_path);
    // A writable file in a read-only directory is still written, in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // QSaveFile gives a new file 0666 less the umask and copies an existing
    // file's mode; narrow the temporary file before a password is in it.
    file.setPermissions(kOwnerOnly);
    if (file.write(bytes) != bytes.size() || !file.commit())
        return false;
    // Again on the final name, in case the direct-write fallback was taken.
    if (!QFile::setPermissions(m_path, kOwnerOnly))
        return false;
    return true;
}

} // namespace tessera
