#pragma once

#include "core/AppContext.h"
#include "core/PlacementStore.h"
#include "core/Settings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QPair>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace varnel::test {

inline QByteArray ReadBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

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
class Sandbox {
public:
    Sandbox()
    {
        QDir().mkpath(path(QStringLiteral("receive")));
        QDir().mkpath(path(QStringLiteral("work")));
        SetProgramFolder(dir_.path());
        SetSettingsFilePath(path(QStringLiteral("varnel_client.ini")));
        PlacementStore::SetRoot(path(QStringLiteral("store")));
        WriteBytes(SettingsFilePath(), QByteArray("[Path]\r\nFolderReceive=.\\receive\r\n"
                                                  "FolderWork=.\\work\r\n"));
    }
    ~Sandbox() { PlacementStore::SetRoot(QString()); }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    QString folder() const { return dir_.path(); }
    QString path(const QString& name) const { return dir_.path() + u'/' + name; }
    QString receive(const QString& name = QString()) const
    {
        return path(QStringLiteral("receive/") + name);
    }
    QString work(const QString& name = QString()) const
    {
        return path(QStringLiteral("work/") + name);
    }
    QByteArray settings() const { return ReadBytes(SettingsFilePath()); }

private:
    QTemporaryDir dir_;
};

} // namespace varnel::test
