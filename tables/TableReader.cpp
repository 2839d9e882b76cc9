#include "tables/TableReader.h"

#include "tables/CsvReader.h"
#include "tables/SourceFile.h"
#include "tables/XlsxReader.h"

#include <algorithm>

namespace varnel {
namespace {

bool startsWith(const QByteArray& bytes, const char* prefix)
{
    return bytes.startsWith(QByteArrayView(prefix));
}

// A compound document (the container of older workbooks and of password-protected new ones)
// names its streams in UTF-16: a protected workbook keeps its contents in "EncryptedPackage".
bool namesEncryptedPackage(const QByteArray& bytes)
{
    static const QByteArray name = [] {
        QByteArray n;
        for (const char c : QByteArrayView("EncryptedPackage")) {
            n.append(c);
            n.append('\0');
        }
        return n;
    }();
    return bytes.contains(name);
}

} // namespace

QString TableRecord::cell(int column) const
{
    if (columns.isEmpty())
        return cells.value(column);
    const auto at = std::lower_bound(columns.cbegin(), columns.cend(), column);
    return at != columns.cend() && *at == column ? cells.value(at - columns.cbegin()) : QString();
}

int TableRecord::width() const
{
    if (columns.isEmpty())
        return int(cells.size());
    return columns.last() + 1;
}

QStringList TableRecord::row(int count) const
{
    if (count < 0)
        count = width();
    if (columns.isEmpty())
        return count >= cells.size() ? cells + QStringList(count - cells.size())
                                     : cells.mid(0, count);
    QStringList dense(count);
    for (qsizetype k = 0; k < columns.size() && columns.at(k) < count; ++k)
        dense[columns.at(k)] = cells.at(k);
    return dense;
}

std::unique_ptr<TableReader> OpenTableFile(const QString& path, const TableLimits& limits)
{
    auto file = std::make_unique<tables::SourceFile>(path, limits);
    const QByteArray head = file->readAt(0, 8);
    if (startsWith(head, "PK\x03\x04") || startsWith(head, "PK\x05\x06"))
        return std::make_unique<tables::XlsxReader>(std::move(file), limits);
    if (startsWith(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
        if (namesEncryptedPackage(file->readAt(0, 1024 * 1024)))
            file->fail(QStringLiteral("книга защищена паролем; снимите пароль и сохраните книгу "
                                      "еще раз"));
        file->fail(QStringLiteral("это книга старого формата (.xls), она не загружается; "
                                  "сохраните ее как книгу .xlsx или как CSV"));
    }
    if (startsWith(head, "%PDF") || startsWith(head, "{\\rtf") || startsWith(head, "\x89PNG") ||
        startsWith(head, "\x1F\x8B") || startsWith(head, "Rar!") || startsWith(head, "7z\xBC\xAF"))
        file->fail(QStringLiteral("это не таблица: загружаются книги .xlsx и файлы CSV"));
    return std::make_unique<tables::CsvReader>(std::move(file), limits);
}

} // namespace varnel
