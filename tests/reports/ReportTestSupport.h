#pragma once

#include "core/AppContext.h"
#include "core/PlacementStore.h"
#include "core/Settings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace varnel::test {

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

inline bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A layout file of field lines (each the attributes of one child element), in UTF-8.
inline QByteArray layoutXml(const QStringList& fields)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Layout>\r\n";
    for (const QString& f : fields)
        xml += "  <Field " + f.toUtf8() + " />\r\n";
    return xml + "</Layout>\r\n";
}

// A temporary program folder with a settings file, the work, send and receive folders, the
// shipped layout files and a placement store of its own.
class TestProgramFolder {
public:
    explicit TestProgramFolder(const QStringList& settings = {})
    {
        SetProgramFolder(dir_.path());
        SetSettingsFilePath(dir_.filePath(QStringLiteral("varnel_client.ini")));
        QStringList lines = settings;
        if (lines.isEmpty())
            lines = {QStringLiteral("[Main]"),
                     QStringLiteral("Participant=MC0001"),
                     QStringLiteral("Language=RU"),
                     QStringLiteral("[Path]"),
                     QStringLiteral("FolderWork=.\\work"),
                     QStringLiteral("FolderSend=.\\send")};
        writeAll(SettingsFilePath(), lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n");
        for (const char* sub : {"work", "send", "receive", "store"})
            QDir(dir_.path()).mkdir(QString::fromLatin1(sub));
        PlacementStore::SetRoot(dir_.filePath(QStringLiteral("store")));
        useShippedLayouts();
    }
    ~TestProgramFolder() { PlacementStore::SetRoot(QString()); }

    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }

    void useShippedLayouts()
    {
        for (const char* name : {"deals_struct_client.xml", "repo_deals_struct_client.xml"}) {
            const QString target = file(QString::fromLatin1(name));
            QFile::remove(target);
            QFile::copy(QStringLiteral(VARNEL_SOURCE_DIR "/dist/") + QString::fromLatin1(name),
                        target);
            QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        }
    }
    // Replaces the layout of a kind with the given field lines.
    void setLayout(const char* name, const QStringList& fields)
    {
        writeAll(file(QString::fromLatin1(name)), layoutXml(fields));
    }

private:
    QTemporaryDir dir_;
};

} // namespace varnel::test
