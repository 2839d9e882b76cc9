// "Обновить настройки ...": the question, the write-protected file, the stock texts in order.
#include "core/AppContext.h"
#include "core/AtomicSave.h"
#include "core/MessageTexts.h"
#include "core/Settings.h"
#include "filesave/ReplacingFile.h"
#include "shell/SettingsUpdate.h"
#include "tests/support/FaultInjection.h"
#include "tests/support/Overrides.h"
#include "tests/support/ScriptedDialogs.h"

#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

using namespace varnel;

class SettingsUpdateTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString ini_;
    std::optional<testing::ScopedProgramFolder> folder_;

    QByteArray bytes() const
    {
        QFile f(ini_);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // The keys of [ErrorMessage] in file order, each with its value.
    QStringList errorMessageLines() const
    {
        QStringDecoder decode("windows-1251");
        const QString text = decode(bytes());
        QStringList out;
        bool inSection = false;
        for (const QString& raw : text.split(u'\n')) {
            const QString line = raw.trimmed();
            if (line.startsWith(u'['))
                inSection =
                    line.compare(QStringLiteral("[ErrorMessage]"), Qt::CaseInsensitive) == 0;
            else if (inSection && !line.isEmpty())
                out << line;
        }
        return out;
    }

private slots:
    void init()
    {
        folder_.emplace(dir_.path());
        SetSettingsFilePath(QString());
        ini_ = SettingsFilePath();
        QFile::remove(ini_);
        QVERIFY(QFile::copy(QStringLiteral(VARNEL_TEST_DATA_DIR "/main_client.ini"), ini_));
        QFile(ini_).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        WriteSetting(QStringLiteral("Main"), QStringLiteral("Language"), QStringLiteral("EN"));
        WriteSetting(QStringLiteral("ErrorMessage"), QStringLiteral("S1_EN"),
                     QStringLiteral("old text"));
    }

    void cleanup() { folder_.reset(); }

    void writesLanguageAndStockTextsEveryTime()
    {
        QStringList expected;
        for (const StockMessage& m : StockMessages())
            expected << m.code + QStringLiteral("_RU=") + m.ru
                     << m.code + QStringLiteral("_EN=") + m.en;
        QCOMPARE(expected.size(), 28);
        // The lines expected below come from the catalogue itself, so its order is pinned here.
        QStringList codes;
        for (const StockMessage& m : StockMessages())
            codes << m.code;
        QCOMPARE(codes.join(u' '), QStringLiteral("C10 S1 S2 S3 S4 S5 S13 S16 S17 S18 S52 S54 "
                                                  "S55 S59"));

        QByteArray first;
        for (int run = 0; run < 2; ++run) {
            ScriptedDialogs dialogs;
            dialogs.answer(Answer::Yes);
            RunSettingsUpdate(nullptr);
            QCOMPARE(dialogs.texts(),
                     (QStringList{
                         QStringLiteral("Актуализировать настройки ini-файла под версию 2.1.0 ?"),
                         QStringLiteral("Настройки актуализированы.")}));
            QCOMPARE(dialogs.shown().at(0).icon, MessageIcon::Question);
            QCOMPARE(dialogs.shown().at(0).buttons, MessageButtons::YesNo);
            QCOMPARE(dialogs.shown().at(1).icon, MessageIcon::Information);
            QCOMPARE(ReadSetting(QStringLiteral("Main"), QStringLiteral("Language"), QString()),
                     QStringLiteral("RU"));
            // S1_EN was there before: it is replaced in place, the rest follow in order.
            QStringList lines = errorMessageLines();
            QCOMPARE(lines.size(), 28);
            QCOMPARE(lines.takeFirst(), QStringLiteral("S1_EN=") + StockMessages().at(1).en);
            QStringList rest = expected;
            rest.removeAt(3);
            QCOMPARE(lines, rest);
            if (run == 0)
                first = bytes();
            else
                QCOMPARE(bytes(), first);
        }
    }

    void refusedOrUnwritable_data()
    {
        QTest::addColumn<QString>("state");
        QTest::newRow("answered No") << QStringLiteral("no");
        QTest::newRow("write-protected") << QStringLiteral("readonly");
        QTest::newRow("no settings file") << QStringLiteral("missing");
    }
    void refusedOrUnwritable()
    {
        QFETCH(QString, state);
        if (state == QStringLiteral("readonly"))
            QFile(ini_).setPermissions(QFile::ReadOwner | QFile::ReadGroup);
        if (state == QStringLiteral("missing"))
            QFile::remove(ini_);
        const QByteArray before = bytes();
        ScriptedDialogs dialogs;
        dialogs.answer(state == QStringLiteral("no") ? Answer::No : Answer::Yes);
        RunSettingsUpdate(nullptr);
        QCOMPARE(bytes(), before);
        if (state == QStringLiteral("no")) {
            QCOMPARE(dialogs.shown().size(), 1);
        } else {
            QCOMPARE(dialogs.shown().size(), 2);
            QCOMPARE(dialogs.last().icon, MessageIcon::Critical);
            QVERIFY(dialogs.last().text.contains(ini_));
            if (state == QStringLiteral("readonly"))
                QCOMPARE(
                    dialogs.last().text,
                    QStringLiteral("Файл ") + ini_ +
                        QStringLiteral(
                            " не должен иметь атрибут 'read_only'. Снимите защиту от записи !"));
        }
        QFile(ini_).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }

    // A disk that fills up while the texts are written: the failure is shown with a stop icon
    // in place of the notice of success, and the file stays whole.
    void failedWriteIsShownInsteadOfSuccess_data()
    {
        QTest::addColumn<bool>("childWithLimit");
        QTest::newRow("write fails after 100 bytes") << false;
        QTest::newRow("file-size limit 100") << true;
    }
    void failedWriteIsShownInsteadOfSuccess()
    {
        QFETCH(bool, childWithLimit);
        const QByteArray before = bytes();
        const auto run = [] {
            ScriptedDialogs dialogs;
            dialogs.answer(Answer::Yes);
            RunSettingsUpdate(nullptr);
            QStringList shown;
            for (const DialogRequest& r : dialogs.shown())
                shown << QString::number(int(r.icon)) + u' ' + r.text;
            return shown.join(u'\x1f');
        };
        QString shown;
        if (childWithLimit) {
            const auto child = testing::RunWithFileSizeLimit(100, run);
            QVERIFY(child);
            shown = *child;
        } else {
            filesave::testing::FaultPlan plan;
            plan.failWriteAfter = 100;
            filesave::testing::SetFaultPlan(plan);
            shown = run();
            filesave::testing::SetFaultPlan({});
        }
        const QStringList boxes = shown.split(u'\x1f');
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes.at(1),
                 QString::number(int(MessageIcon::Critical)) + u' ' +
                     FileWriteErrorText(ini_, SystemErrorText(childWithLimit ? EFBIG : ENOSPC)));
        QCOMPARE(bytes(), before);
        QCOMPARE(testing::FolderEntries(dir_.path()), QStringList(QFileInfo(ini_).fileName()));
    }
};

QTEST_MAIN(SettingsUpdateTest)
#include "tst_settingsupdate.moc"
