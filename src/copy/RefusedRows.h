#pragma once

#include <QString>
#include <QStringList>

namespace tessera::copy {

// The rows a target refused while one table was copied. The first few are
// told in the database's words, the others only counted, so that a target
// refusing every sample of a day says a dozen lines, not a million.
class RefusedRows {
public:
    static constexpr int kToldRows = 10;

    void add(const QString& databaseText)
    {
        if (m_told.size() < kToldRows)
            m_told << QStringLiteral("插入数据出错,出错信息:%1").arg(databaseText);
        ++m_count;
    }
    qint64 count() const noexcept { return m_count; }

    // One message: a line for each row told, then one with the count of the rest.
    QString message() const
    {
        QStringList lines = m_told;
        if (m_count > m_told.size())
            lines << QStringLiteral("另有%1行插入出错,没有逐行列出").arg(m_count - m_told.size());
        return lines.join(u'\n');
    }

private:
    QStringList m_told;
    qint64 m_count = 0;
};

} // namespace tessera::copy
