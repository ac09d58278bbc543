#pragma once

#include <QHash>
#include <QString>

#include <cstddef>
#include <vector>

namespace tessera {

// The program's own sectioned key/value store behind DataSource.ini.
//
// Reading: each line is trimmed of white space. A line of at least four
// characters in brackets opens a section; a repeated name opens another
// one, which the lookup then finds, while both stay in the list. Any other
// line longer than one character, not starting with ';' and holding '='
// after its first character is an entry key=value of the current section,
// neither side trimmed again; a later key wins. Everything else, including
// entries before the first header, is dropped.
// Writing rewrites the whole file: per section its header, then its entries.
//
// On disk the file is GBK (a leading UTF-8 byte-order mark selects UTF-8,
// for files saved by a modern editor). It holds passwords, so it is written
// atomically and readable by its owner only. Changes reach the disk only
// through Save(), whose failure the caller reports.
class CIniFile {
public:
    struct Entry {
        QString key;
        QString value;
    };
    struct Section {
        QString name;
        std::vector<Entry> entries;           // in order of creation
        QHash<QString, std::size_t> keyIndex; // key -> position in entries
    };

    CIniFile() = default;
    // Loads the file at once unless the path is empty.
    explicit CIniFile(const QString& path);
    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;

    // Empties the store, remembers the path and reads the file. A missing or
    // unreadable file gives false and an empty store that Save() can write.
    bool Load(const QString& path);
    // The value, or the default when the section or key is absent.
    QString Get(const QString& section, const QString& key,
                const QString& defaultValue = QString()) const;
    // Creates or replaces the entry. Refuses
    // (false, nothing changed) what would read back as something else:
    // line breaks, a key starting with ';' or holding '=', surrounding blanks
    // that trimming would drop, a one-character section name, characters
    // GBK lacks.
    bool Set(const QString& section, const QString& key, const QString& value);
    // Rewrites the whole file; false when it could not be written.
    [[nodiscard]] bool Save();

    // What the store holds, sections and entries in order of creation.
    const std::vector<Section>& Sections() const { return m_sections; }

private:
    void Clear();
    void Parse(const QByteArray& bytes);
    Section& SectionNamed(const QString& name);

    QString m_path;
    std::vector<Section> m_sections;            // in order of creation
    QHash<QString, std::size_t> m_sectionIndex; // name -> newest section
};

} // namespace tessera
