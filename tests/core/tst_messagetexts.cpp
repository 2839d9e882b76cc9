#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/MessageTexts.h"
#include "core/Settings.h"
#include "core/Values.h"
#include "tests/support/Overrides.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

using namespace varnel;

namespace {

QString ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<absent>");
    return QString::fromUtf8(file.readAll());
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
}

} // namespace

class TestMessageTexts : public QObject {
    Q_OBJECT
private slots:
    void init();

    void rotateLog_data();
    void rotateLog();
    void rotateLogReportsAStepThatFails();
    void messageText_data();
    void messageText();
    void dateMessageFollowsTheLanguage_data();
    void dateMessageFollowsTheLanguage();
    void fillMessage_data();
    void fillMessage();
    void versionComment();
    void stockMessages();

private:
    QString log(const QString& suffix = QString()) const
    {
        return dir_->filePath(QStringLiteral("varnel.log") + suffix);
    }
    void storeStockTexts();

    std::unique_ptr<QTemporaryDir> dir_;
    std::optional<testing::ScopedProgramFolder> folder_;
    std::optional<testing::ScopedSettingsFile> settings_;
};

void TestMessageTexts::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    folder_.emplace(dir_->path());
    settings_.emplace(dir_->filePath("varnel_client.ini"));
}

void TestMessageTexts::storeStockTexts()
{
    for (const StockMessage& m : StockMessages()) {
        WriteSetting("ErrorMessage", m.code + "_RU", m.ru);
        WriteSetting("ErrorMessage", m.code + "_EN", m.en);
    }
}

void TestMessageTexts::rotateLog_data()
{
    // Contents of varnel.log, .1 and .2 before and after; "-" means absent.
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("log and first generation")
        << QStringList{"log", "one", "-"} << QStringList{"-", "log", "one"};
    QTest::newRow("only the log") << QStringList{"log", "-", "-"} << QStringList{"-", "log", "-"};
    QTest::newRow("all three: the oldest goes")
        << QStringList{"log", "one", "two"} << QStringList{"-", "log", "one"};
    QTest::newRow("log and second generation")
        << QStringList{"log", "-", "two"} << QStringList{"-", "log", "two"};
    QTest::newRow("no log changes nothing")
        << QStringList{"-", "one", "two"} << QStringList{"-", "one", "two"};
    QTest::newRow("nothing at all") << QStringList{"-", "-", "-"} << QStringList{"-", "-", "-"};
}

void TestMessageTexts::rotateLog()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    const QStringList suffixes{"", ".1", ".2"};
    for (int i = 0; i < 3; ++i) {
        if (before[i] != "-")
            WriteFile(log(suffixes[i]), before[i].toUtf8());
    }
    RotateLog();
    for (int i = 0; i < 3; ++i) {
        const QString expected = after[i] == "-" ? QStringLiteral("<absent>") : after[i];
        QCOMPARE(ReadFile(log(suffixes[i])), expected);
    }
}

void TestMessageTexts::rotateLogReportsAStepThatFails()
{
    // A second generation that cannot be deleted (a folder with content stands in for a file
    // held open by its writer): the failure names the file, and nothing has moved.
    WriteFile(log(), "log");
    WriteFile(log(".1"), "one");
    QDir(dir_->path()).mkpath("varnel.log.2/held");
    try {
        RotateLog();
        QFAIL("no failure");
    } catch (const Error& e) {
        QCOMPARE(e.number(), 514);
        QVERIFY2(e.description().startsWith("Не удалось удалить файл журнала " + log(".2")),
                 qPrintable(e.description()));
    }
    QCOMPARE(ReadFile(log()), QString("log"));
    QCOMPARE(ReadFile(log(".1")), QString("one"));
}

void TestMessageTexts::messageText_data()
{
    QTest::addColumn<QString>("language"); // "-" leaves the key out
    QTest::addColumn<bool>("stock");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expected");
    const QString def = "(S18) Не указана валюта (по умолчанию)";
    QTest::newRow("EN with the stock texts") << "EN" << true << "S18"
                                             << "(S18) No field Currency in the message";
    QTest::newRow("RU with the stock texts") << "RU" << true << "S18"
                                             << "(S18) Не указана валюта";
    QTest::newRow("no language setting reads RU") << "-" << true << "S18"
                                                  << "(S18) Не указана валюта";
    QTest::newRow("EN without stored texts gives the default") << "EN" << false << "S18" << def;
    QTest::newRow("code outside the stock table") << "EN" << true << "S26" << def;
    QTest::newRow("unknown language") << "DE" << true << "S18" << def;
}

void TestMessageTexts::messageText()
{
    QFETCH(QString, language);
    QFETCH(bool, stock);
    QFETCH(QString, code);
    QFETCH(QString, expected);
    if (language != "-")
        WriteSetting("Main", "Language", language);
    if (stock)
        storeStockTexts();
    QCOMPARE(MessageText(code, "(S18) Не указана валюта (по умолчанию)"), expected);
}

void TestMessageTexts::dateMessageFollowsTheLanguage_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QString>("expected");
    QTest::newRow("EN, stock table stored")
        << QByteArray() << "(C10) Invalid date format: 31.04.2016";
    QTest::newRow("EN, empty section") << QByteArray("[Main]\r\nLanguage=EN\r\n[ErrorMessage]\r\n")
                                       << "(C10) Недопустимый формат даты: 31.04.2016";
    QTest::newRow("EN, stored text empty")
        << QByteArray("[Main]\r\nLanguage=EN\r\n[ErrorMessage]\r\nC10_EN=\r\n")
        << "(C10) Недопустимый формат даты: 31.04.2016";
    QTest::newRow("stored text without the value")
        << QByteArray("[Main]\r\nLanguage=EN\r\n[ErrorMessage]\r\nC10_EN=(C10) Bad date\r\n")
        << "(C10) Bad date";
    QTest::newRow("stored text with the value twice")
        << QByteArray("[Main]\r\nLanguage=EN\r\n[ErrorMessage]\r\nC10_EN=(C10) %1% / %1%\r\n")
        << "(C10) 31.04.2016 / 31.04.2016";
}

void TestMessageTexts::dateMessageFollowsTheLanguage()
{
    QFETCH(QByteArray, settings);
    QFETCH(QString, expected);
    if (settings.isEmpty()) {
        WriteSetting("Main", "Language", "EN");
        storeStockTexts();
    } else {
        WriteFile(SettingsFilePath(), settings);
    }
    try {
        ParseDate("31.04.2016");
        QFAIL("accepted");
    } catch (const Error& e) {
        QCOMPARE(e.description(), expected);
    }
}

void TestMessageTexts::fillMessage_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("filled");
    QTest::newRow("no placeholder") << "(S5) Не указан код участника"
                                    << "X"
                                    << ""
                                    << "(S5) Не указан код участника";
    QTest::newRow("first twice") << "%1% и %1%"
                                 << "12"
                                 << ""
                                 << "12 и 12";
    QTest::newRow("both, second first")
        << "(S52) A trade with Reference %2% of the Participant %1% already exists"
        << "MC001"
        << "R-7"
        << "(S52) A trade with Reference R-7 of the Participant MC001 already exists";
    QTest::newRow("value holding a placeholder stays as typed") << "%1% / %2%"
                                                                << "a%2%b"
                                                                << "c"
                                                                << "a%2%b / c";
    QTest::newRow("no second value") << "%1%-%2%"
                                     << "a"
                                     << ""
                                     << "a-";
    QTest::newRow("half placeholders untouched") << "%1 %2%%"
                                                 << "a"
                                                 << "b"
                                                 << "%1 b%";
}

void TestMessageTexts::fillMessage()
{
    QFETCH(QString, text);
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, filled);
    QCOMPARE(FillMessage(text, first, second), filled);
}

void TestMessageTexts::versionComment()
{
    QCOMPARE(VersionComment(), "<!-- Message has been generated with Varnel Client version " +
                                   VersionString() + " -->");
}

void TestMessageTexts::stockMessages()
{
    QStringList codes;
    for (const StockMessage& m : StockMessages()) {
        codes << m.code;
        const QString prefix = "(" + m.code + ") ";
        QVERIFY2(m.ru.startsWith(prefix) && m.en.startsWith(prefix), qPrintable(m.code));
        QCOMPARE(m.ru.count("%1%"), m.en.count("%1%"));
        QCOMPARE(m.ru.count("%2%"), m.en.count("%2%"));
    }
    QCOMPARE(codes, QStringList({"C10", "S1", "S2", "S3", "S4", "S5", "S13", "S16", "S17", "S18",
                                 "S52", "S54", "S55", "S59"}));
}

QTEST_GUILESS_MAIN(TestMessageTexts)
#include "tst_messagetexts.moc"
