#pragma once

// The program folder of a test: the one fixture every client suite builds its runs on.

#include "core/AppContext.h"
#include "tests/support/Overrides.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

namespace varnel::testing {

// The program folder, its settings file and the per-user placement store ("store" inside the
// folder) for the guard's lifetime, in a folder the test owns; what was set before comes back.
class ScopedProgramSettings {
public:
    explicit ScopedProgramSettings(const QString& folder)
        : folder_(folder), file_(folder + QStringLiteral("/varnel_client.ini")),
          store_(folder + QStringLiteral("/store"))
    {
    }

private:
    ScopedProgramFolder folder_;
    ScopedSettingsFile file_;
    ScopedPlacementRoot store_;
};

// Writes the settings file of the program folder: the lines joined with CR LF, in UTF-8.
inline bool WriteSettingsFile(const QStringList& lines)
{
    return WriteBytes(SettingsFilePath(), lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n");
}

// A temporary program folder of its own: the settings file of the given lines, the folders
// work, send, receive and store, and the guards above for as long as it lives.
class TestProgramFolder {
public:
    explicit TestProgramFolder(const QStringList& settings) : guards_(dir_.path())
    {
        for (const char* sub : {"work", "send", "receive", "store"})
            QDir(dir_.path()).mkdir(QString::fromLatin1(sub));
        WriteSettingsFile(settings);
    }
    TestProgramFolder(const TestProgramFolder&) = delete;
    TestProgramFolder& operator=(const TestProgramFolder&) = delete;

    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    QString receive(const QString& name = QString()) const
    {
        return file(QStringLiteral("receive/") + name);
    }
    QString work(const QString& name = QString()) const
    {
        return file(QStringLiteral("work/") + name);
    }
    QByteArray settings() const { return ReadBytes(SettingsFilePath()); }

    // The layout files the program ships, copied in (writable, as a user's copy is).
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

private:
    QTemporaryDir dir_;
    ScopedProgramSettings guards_;
};

} // namespace varnel::testing
