#include "core/AppContext.h"
#include "core/Error.h"
#include "core/Values.h"
#include "tests/support/Overrides.h"
#include "tests/support/ScriptedDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

using namespace varnel;

class TestValues : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void getTagValue_data();
    void getTagValue();
    void parseDateAccepts_data();
    void parseDateAccepts();
    void parseDateRefuses_data();
    void parseDateRefuses();
    void isoDates_data();
    void isoDates();
    void decimalSeparators_data();
    void decimalSeparators();
    void escapeXmlAttribute_data();
    void escapeXmlAttribute();
    void getFileExtension_data();
    void getFileExtension();
    void browseForFolder_data();
    void browseForFolder();
    void browseForFolderOpensAtTheNamedFolder_data();
    void browseForFolderOpensAtTheNamedFolder();
    void joinPath_data();
    void joinPath();

    void cleanupTestCase();

private:
    QTemporaryDir dir_;
    std::optional<testing::ScopedProgramFolder> folder_;
    std::optional<testing::ScopedSettingsFile> settings_;
};

void TestValues::initTestCase()
{
    // No settings file: the date message comes with its built-in text.
    QVERIFY(dir_.isValid());
    folder_.emplace(dir_.path());
    settings_.emplace(dir_.filePath("varnel_client.ini"));
}

void TestValues::cleanupTestCase()
{
    settings_.reset();
    folder_.reset();
}

void TestValues::cleanup()
{
    QLocale::setDefault(QLocale::system());
}

void TestValues::getTagValue_data()
{
    QTest::addColumn<QString>("descriptor");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("middle key") << "name=Price;type=N"
                                << "type="
                                << "N";
    QTest::newRow("absent key") << "name=Price;type=N"
                                << "fmt="
                                << "";
    QTest::newRow("empty value") << "name=;type=N"
                                 << "name="
                                 << "";
    QTest::newRow("last key with closing ;") << "name=Price;type=N;"
                                             << "type="
                                             << "N";
    QTest::newRow("full descriptor") << "name=Date;type=D;fmt=dd.mm.yyyy;def=%DATE%;empty=;pick="
                                     << "def="
                                     << "%DATE%";
    QTest::newRow("empty text") << ""
                                << "name="
                                << "";
    QTest::newRow("letter case counts") << "Name=Price"
                                        << "name="
                                        << "";
    QTest::newRow("plain substring search finds the earlier value") << "def=xname=1;name=Price"
                                                                    << "name="
                                                                    << "1";
}

void TestValues::getTagValue()
{
    QFETCH(QString, descriptor);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QCOMPARE(GetTagValue(descriptor, key), value);
}

void TestValues::parseDateAccepts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::newRow("short parts, two-digit year") << "5.3.16" << QDate(2016, 3, 5);
    QTest::newRow("slashes") << "05/03/2016" << QDate(2016, 3, 5);
    QTest::newRow("mixed separators") << "05/03.2016" << QDate(2016, 3, 5);
    QTest::newRow("blanks around") << "  05.03.2016 " << QDate(2016, 3, 5);
    QTest::newRow("blanks inside parts") << "05 . 03 . 2016" << QDate(2016, 3, 5);
    QTest::newRow("leap day") << "29.02.2016" << QDate(2016, 2, 29);
    QTest::newRow("leap day of 2000") << "29.02.2000" << QDate(2000, 2, 29);
    QTest::newRow("three-digit year") << "31.12.999" << QDate(2999, 12, 31);
    QTest::newRow("year zero") << "1.1.0" << QDate(2000, 1, 1);
    QTest::newRow("year counted by its value, not by what was typed")
        << "05.03.0016" << QDate(2016, 3, 5);
    QTest::newRow("four-digit year kept") << "05.03.1999" << QDate(1999, 3, 5);
    QTest::newRow("leading zeros beyond five digits") << "0000005.03.2016" << QDate(2016, 3, 5);
    QTest::newRow("plus sign") << "+5.3.2016" << QDate(2016, 3, 5);
    QTest::newRow("thirty days in April") << "30.04.2016" << QDate(2016, 4, 30);
}

void TestValues::parseDateAccepts()
{
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QCOMPARE(ParseDate(text), date);
}

void TestValues::parseDateRefuses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("description");
    const QString c10 = QStringLiteral("(C10) Недопустимый формат даты: ");
    auto refused = [&](const char* row, const QString& text) {
        QTest::newRow(row) << text << 514 << c10 + text;
    };
    refused("not a leap year", "29.02.2015");
    refused("century not a leap year", "29.02.1900");
    refused("31 April", "31.04.2016");
    refused("message form", "2016-03-05");
    refused("no year", "5.3");
    refused("text kept as typed", " 5.3 ");
    refused("empty", "");
    refused("empty day", ".3.2016");
    refused("day zero", "0.3.2016");
    refused("day 32", "32.1.2016");
    refused("month 13", "5.13.2016");
    refused("month zero", "5.0.2016");
    refused("negative day", "-5.3.2016");
    refused("letters", "a.b.c");
    refused("exponent", "1e1.3.2016");
    refused("hexadecimal", "&H5.3.2016");
    refused("fraction in the year", "5.3.2016.5");
    refused("thousands separator", "5.3.2,016");
    refused("sign without digits", "5.3.-");
    refused("negative year", "5.3.-16");
    refused("year past 9999", "5.3.10000");
    refused("non-numeric year beats an overflowing day", "99999.3.x");
    QTest::newRow("day beyond 16 bits") << "32768.3.2016" << 6 << "Overflow";
    QTest::newRow("month beyond 16 bits") << "5.99999999999.2016" << 6 << "Overflow";
    QTest::newRow("year beyond 16 bits") << "5.3.40000" << 6 << "Overflow";
    QTest::newRow("negative beyond 16 bits") << "5.3.-32769" << 6 << "Overflow";
}

void TestValues::parseDateRefuses()
{
    QFETCH(QString, text);
    QFETCH(int, number);
    QFETCH(QString, description);
    try {
        const QDate date = ParseDate(text);
        QFAIL(qPrintable("accepted as " + date.toString(Qt::ISODate)));
    } catch (const Error& e) {
        QCOMPARE(e.number(), number);
        QCOMPARE(e.description(), description);
    }
}

void TestValues::isoDates_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("iso");
    QTest::addColumn<QString>("display");
    QTest::newRow("ordinary") << QDate(2016, 3, 5) << "2016-03-05"
                              << "05.03.2016";
    QTest::newRow("end of year") << QDate(2016, 12, 31) << "2016-12-31"
                                 << "31.12.2016";
    QTest::newRow("no date") << QDate() << ""
                             << "  .  .    ";
}

void TestValues::isoDates()
{
    QFETCH(QDate, date);
    QFETCH(QString, iso);
    QFETCH(QString, display);
    QCOMPARE(FormatIsoDate(date), iso);
    QCOMPARE(IsoToDisplayDate(iso), display);
}

void TestValues::decimalSeparators_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("separator");
    for (const char* locale : {"ru_RU", "en_US", "de_DE", "C"}) {
        const QString sys = QString(locale) == "ru_RU" || QString(locale) == "de_DE" ? "," : ".";
        QTest::addRow("%s whole number", locale) << locale << "1234" << sys << sys;
        QTest::addRow("%s comma", locale) << locale << "1,5" << sys << ",";
        QTest::addRow("%s point", locale) << locale << "1.5" << sys << ".";
        QTest::addRow("%s point wins", locale) << locale << "1,000.5" << sys << ".";
    }
}

void TestValues::decimalSeparators()
{
    QFETCH(QString, locale);
    QFETCH(QString, number);
    QFETCH(QString, system);
    QFETCH(QString, separator);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(SystemDecimalSeparator(), system);
    QCOMPARE(DecimalSeparatorOf(number), separator);
}

void TestValues::escapeXmlAttribute_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("all five") << "A&B<\"x\">"
                              << "A&amp;B&lt;&quot;x&quot;&gt;";
    QTest::newRow("apostrophe") << "O'Neil"
                                << "O&apos;Neil";
    QTest::newRow("entity text escaped once") << "&amp;"
                                              << "&amp;amp;";
    QTest::newRow("Cyrillic untouched") << "ОФЗ «26207»"
                                        << "ОФЗ «26207»";
}

void TestValues::escapeXmlAttribute()
{
    QFETCH(QString, value);
    QFETCH(QString, escaped);
    QCOMPARE(EscapeXmlAttribute(value), escaped);
}

void TestValues::getFileExtension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("extension");
    QTest::newRow("ending in a point") << "report."
                                       << "";
    QTest::newRow("no point") << "report"
                              << "";
    QTest::newRow("last point counts") << "a.tar.xml"
                                       << "xml";
    QTest::newRow("point in a folder name") << "C:\\a.b\\file"
                                            << "b\\file";
    QTest::newRow("blanks trimmed") << "  msg.MSG  "
                                    << "MSG";
    QTest::newRow("tab is not a blank") << "\tmsg.\t"
                                        << "\t";
    QTest::newRow("leading point") << ".xml"
                                   << "xml";
    QTest::newRow("empty") << ""
                           << "";
}

void TestValues::getFileExtension()
{
    QFETCH(QString, path);
    QFETCH(QString, extension);
    QCOMPARE(GetFileExtension(path), extension);
}

void TestValues::browseForFolder_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::newRow("confirmed") << "/home/user/Рабочий каталог";
    QTest::newRow("cancelled") << "";
}

void TestValues::browseForFolder()
{
    QFETCH(QString, chosen);
    ScriptedDialogs dialogs;
    dialogs.choosePath(chosen);
    QCOMPARE(BrowseForFolder(nullptr, "Выберите каталог"), chosen);
    QCOMPARE(dialogs.shown().size(), 1);
    QCOMPARE(dialogs.last().kind, DialogKind::Folder);
    QCOMPARE(dialogs.last().title, QString("Выберите каталог"));
}

void TestValues::browseForFolderOpensAtTheNamedFolder_data()
{
    QTest::addColumn<QString>("start"); // relative to the test folder; "-" for none
    QTest::addColumn<bool>("used");
    QTest::newRow("an existing folder") << "named" << true;
    QTest::newRow("a folder that is not there") << "missing" << false;
    QTest::newRow("a file, not a folder") << "file.txt" << false;
    QTest::newRow("none") << "-" << false;
}

void TestValues::browseForFolderOpensAtTheNamedFolder()
{
    QFETCH(QString, start);
    QFETCH(bool, used);
    QVERIFY(QDir(dir_.path()).mkpath("named"));
    QFile file(dir_.filePath("file.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    ScriptedDialogs dialogs;
    const QString path = start == "-" ? QString() : dir_.filePath(start);
    QVERIFY(BrowseForFolder(nullptr, "Каталог приема", path).isEmpty());
    const QString opened = dialogs.last().directory;
    if (used) {
        QCOMPARE(opened, path);
    } else {
        // Otherwise at the desktop, or at home where there is no desktop folder: never at a
        // folder that is not there, which would open home with the name typed in.
        QVERIFY2(QFileInfo(opened).isDir(), qPrintable(opened));
        const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        QVERIFY(opened == desktop || opened == QDir::homePath());
    }
}

void TestValues::joinPath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("joined");
    QTest::newRow("plain") << "/data/send"
                           << "DL1A.xml"
                           << "/data/send/DL1A.xml";
    QTest::newRow("folder with its separator") << "/data/send/"
                                               << "DL1A.xml"
                                               << "/data/send/DL1A.xml";
    QTest::newRow("the root") << "/"
                              << ".x.tmp"
                              << "/.x.tmp";
    QTest::newRow("no folder") << ""
                               << "DL1A.xml"
                               << "DL1A.xml";
    QTest::newRow("a name with folders") << "/p"
                                         << "work/a.xml"
                                         << "/p/work/a.xml";
}

void TestValues::joinPath()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, joined);
    QCOMPARE(JoinPath(folder, name), joined);
}

QTEST_GUILESS_MAIN(TestValues)
#include "tst_values.moc"
