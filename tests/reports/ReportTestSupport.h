#pragma once

#include "reports/ReportDocument.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/ScriptedDialogs.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <QTest>

#include <memory>

namespace varnel::test {

using testing::ReadBytes;
using testing::WriteBytes;

// A deal as field cells in the document's column order.
inline QStringList deal(const ReportDocument& d, const QHash<QString, QString>& values)
{
    QStringList fields(d.rows().columnCount() - 1);
    for (auto it = values.begin(); it != values.end(); ++it) {
        const int c = d.rows().columnOfName(it.key());
        if (c > 0)
            fields[c - 1] = it.value();
    }
    return fields;
}

// A layout file of field lines (each the attributes of one child element), in UTF-8.
inline QByteArray layoutXml(const QStringList& fields)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Layout>\r\n";
    for (const QString& f : fields)
        xml += "  <Field " + f.toUtf8() + " />\r\n";
    return xml + "</Layout>\r\n";
}

// The program folder of the report suites: the default participant and language, the work and
// send folders, and the shipped layout files.
class TestProgramFolder : public testing::TestProgramFolder {
public:
    explicit TestProgramFolder(const QStringList& settings = {})
        : testing::TestProgramFolder(
              settings.isEmpty()
                  ? QStringList{QStringLiteral("[Main]"), QStringLiteral("Participant=MC0001"),
                                QStringLiteral("Language=RU"), QStringLiteral("[Path]"),
                                QStringLiteral("FolderWork=.\\work"),
                                QStringLiteral("FolderSend=.\\send")}
                  : settings)
    {
        useShippedLayouts();
    }
    // Replaces the layout of a kind with the given field lines.
    void setLayout(const char* name, const QStringList& fields)
    {
        WriteBytes(file(QString::fromLatin1(name)), layoutXml(fields));
    }
};

// What a report test with dialogs runs in: a program folder of its own and the scripted
// dialogs, made fresh for each test function; every answer queued must have been asked for.
class ReportRun {
protected:
    void startRun()
    {
        folder_ = std::make_unique<TestProgramFolder>();
        dialogs_ = std::make_unique<ScriptedDialogs>();
    }
    void endRun()
    {
        QCOMPARE(dialogs_->pending(), 0);
        dialogs_.reset();
        folder_.reset();
    }

    std::unique_ptr<TestProgramFolder> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
};

} // namespace varnel::test
