#pragma once

#include "core/AppContext.h"
#include "core/Settings.h"
#include "tests/support/ProgramFolder.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QPair>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace varnel::test {

using testing::ReadBytes;
using testing::WriteBytes;

inline QByteArray Cp1251(const QString& text)
{
    QStringEncoder encoder("windows-1251");
    return encoder.encode(text);
}

// One instrument: its attributes in order.
using Row = QList<QPair<QString, QString>>;

// A handbook message in Windows-1251 with the given rows.
inline QByteArray HandbookXml(const QList<Row>& rows,
                              const QString& head = QStringLiteral("<?xml version=\"1.0\" "
                                                                   "encoding=\"windows-1251\"?>"))
{
    QString text = head + QStringLiteral("\r\n<IssueList Date=\"2025-03-10T09:30:12\">\r\n");
    for (const Row& row : rows) {
        text += QStringLiteral("<Issue");
        for (const auto& a : row)
            text += u' ' + a.first + QStringLiteral("=\"") + a.second + u'"';
        text += QStringLiteral("/>\r\n");
    }
    text += QStringLiteral("</IssueList>\r\n");
    return Cp1251(text);
}

// A program folder of its own: settings file, placement store, receive and work folders
// (settings FolderReceive=.\receive, FolderWork=.\work).
class Sandbox : public testing::TestProgramFolder {
public:
    Sandbox()
        : TestProgramFolder({QStringLiteral("[Path]"), QStringLiteral("FolderReceive=.\\receive"),
                             QStringLiteral("FolderWork=.\\work")})
    {
    }
    QString folder() const { return path(); }
    QString path(const QString& name) const { return file(name); }
    using TestProgramFolder::path;
};

} // namespace varnel::test
