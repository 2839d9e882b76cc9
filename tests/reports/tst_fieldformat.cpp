// Number and date pictures, exact reading of typed numbers and the decimal type's capacity.
#include "reports/FieldFormat.h"
#include "reports/FieldRules.h"
#include "reports/ReportModel.h"

#include "ReportTestSupport.h"

#include <QLocale>
#include <QtTest>

using namespace varnel;

namespace {

FieldNumber number(const QString& text)
{
    const std::optional<FieldNumber> n = ReadFieldNumber(text);
    return n ? *n : FieldNumber{};
}

ReportColumn numberColumn(const QString& format, const QString& def = QString())
{
    ReportColumn c;
    c.name = QStringLiteral("Amount");
    c.type = QStringLiteral("N");
    c.format = format;
    c.def = def;
    return c;
}

} // namespace

class FieldFormatTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void numberPictures_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("shown");
        const auto row = [](const char* typed, const char* picture, const char* shown) {
            QTest::addRow("%s in %s", typed, picture)
                << QString::fromUtf8(typed) << QString::fromUtf8(picture)
                << QString::fromUtf8(shown);
        };
        row("1234.5", "0", "1235");
        row("1234.4", "0", "1234");
        row("-2.5", "0", "-3"); // half away from zero
        row("1234.5", "0.00", "1234.50");
        row("0.005", "0.00", "0.01");
        row("-0.004", "0.00", "0.00"); // no negative zero
        row("1234567.891", "#,##0.00", "1234567.89");
        row("999.995", "#,##0.00", "1000.00");
        row("0.5", "#,##0.00", "0.50");
        row("12.3", "0.00########", "12.30");
        row("12.123456789012", "0.00########", "12.123456789");
        row("12.12345678915", "0.00########", "12.1234567892");
        row("0.1", "0.##########", "0.1");
        row("3", "0.##########", "3");
        row("0.125", "0.00%", "12.50%");
        row("7", "000", "007");
        row("1234.5", "Fixed", "1234.50");
        row("1234.5", "Standard", "1234.50");
        row("1234.5", "\"RUB \"0.00", "RUB1234.50"); // blanks never stay in a number field
        row("1234.5", "abc", "1234.5");              // no placeholders: the plain number
        row("1e3", "0.00", "1000.00");
        row("99999999999999999999.9999999999", "0.0000000000", "99999999999999999999.9999999999");
    }

    void numberPictures()
    {
        QFETCH(QString, typed);
        QFETCH(QString, picture);
        QFETCH(QString, shown);
        QVERIFY(ReadFieldNumber(typed).has_value());
        QCOMPARE(FormatNumberPicture(number(typed), picture), shown);
    }

    // Without a picture a number shows its plain text, read exactly: no leading zeros, no
    // trailing zeros after the point, no point with nothing after it; the text it gives reads
    // back as itself.
    void plainText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("plain");
        QTest::newRow("comma") << "1234,5"
                               << "1234.5";
        QTest::newRow("trailing zeros") << "12.50"
                                        << "12.5";
        QTest::newRow("numeric(26,10)") << "1234567890123456.1234567890"
                                        << "1234567890123456.123456789";
        QTest::newRow("leading zeros") << "007.10"
                                       << "7.1";
        QTest::newRow("nothing after the point") << "12."
                                                 << "12";
        QTest::newRow("signs") << "+5"
                               << "5";
        QTest::newRow("negative") << " -0.75 "
                                  << "-0.75";
        QTest::newRow("bare point") << ".5"
                                    << "0.5";
        QTest::newRow("exponent") << "1.5e-3"
                                  << "0.0015";
        QTest::newRow("negative zero") << "-0.00"
                                       << "0";
    }

    void plainText()
    {
        QFETCH(QString, typed);
        QFETCH(QString, plain);
        QCOMPARE(PlainNumberText(number(typed)), plain);
        QCOMPARE(PlainNumberText(number(PlainNumberText(number(typed)))), plain);
    }

    void capacity_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("fits");
        QTest::newRow("largest") << "79228162514264337593543950335" << true;
        QTest::newRow("one more") << "79228162514264337593543950336" << false;
        QTest::newRow("30 digits") << "100000000000000000000000000000" << false;
        QTest::newRow("28 decimals") << "0.1234567890123456789012345678" << true;
        QTest::newRow("29 decimals") << "0.12345678901234567890123456789" << false;
        QTest::newRow("29 digits with decimals") << "1234567890123456789.0123456789" << true;
        QTest::newRow("trailing zeros do not count")
            << "1.000000000000000000000000000000000" << true;
        QTest::newRow("huge exponent") << "1e400000" << false;
        QTest::newRow("tiny exponent") << "1e-400000" << false;
    }

    void capacity()
    {
        QFETCH(QString, typed);
        QFETCH(bool, fits);
        const std::optional<FieldNumber> n = ReadFieldNumber(typed);
        QVERIFY(n.has_value());
        QCOMPARE(FitsReportDecimal(n->value), fits);
        // Whatever the user typed, formatting it never blows up.
        QVERIFY(!FormatNumberPicture(*n, QStringLiteral("#,##0.00")).isEmpty());
    }

    void notNumbers_data()
    {
        QTest::addColumn<QString>("typed");
        for (const char* t : {"", "abc", "12abc", "1.2.3", "--1", "1e", "e5", "1 2,3,4", "0x10"})
            QTest::newRow(t) << QString::fromLatin1(t);
    }

    void notNumbers()
    {
        QFETCH(QString, typed);
        QVERIFY(!ReadFieldNumber(typed).has_value());
    }

    // A "#,##0.00" value keeps "." as its separator and no grouping under every locale: a
    // locale that groups with "," must not turn 1234.5 into 1.234.50.
    void numberFieldUnderLocales_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        for (const char* locale : {"C", "en_US", "ru_RU", "de_DE", "fr_FR", "de_CH"}) {
            const QString l = QString::fromLatin1(locale);
            QTest::addRow("%s 1234.5", locale) << l << "1234.5"
                                               << "1234.50";
            QTest::addRow("%s 1234,5", locale) << l << "1234,5"
                                               << "1234.50";
            QTest::addRow("%s 1234567", locale) << l << "1234567"
                                                << "1234567.00";
        }
        QTest::newRow("en_US grouped") << "en_US"
                                       << "1,234.5"
                                       << "1234.50";
        QTest::newRow("ru_RU grouped by blanks") << "ru_RU"
                                                 << "1 234,5"
                                                 << "1234.50";
        QTest::newRow("ru_RU point") << "ru_RU"
                                     << "1234.56"
                                     << "1234.56";
    }

    void numberFieldUnderLocales()
    {
        QFETCH(QString, locale);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QLocale::setDefault(QLocale(locale));
        const FieldCheck check = CheckFieldValue(numberColumn(QStringLiteral("#,##0.00")), typed,
                                                 ReportKind::Deals, QDate(2024, 3, 7));
        QVERIFY2(check.passed(), qPrintable(check.failure));
        QCOMPARE(check.text, stored);
        // The editor's default goes through the same picture.
        QCOMPARE(
            InitialEditorValue(numberColumn(QStringLiteral("#,##0.00"), QStringLiteral("1234.5")),
                               ReportKind::Deals, QDate()),
            QStringLiteral("1234.50"));
    }

    void datePictures_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty") << ""
                               << "07.03.2024";
        QTest::newRow("dd.mm.yyyy") << "dd.mm.yyyy"
                                    << "07.03.2024";
        QTest::newRow("d.m.yy") << "d.m.yy"
                                << "7.3.24";
        QTest::newRow("upper case") << "DD.MM.YYYY"
                                    << "07.03.2024";
        QTest::newRow("slashes") << "dd/mm/yyyy"
                                 << "07/03/2024";
        QTest::newRow("quoted") << "dd.mm.yyyy \"г.\""
                                << "07.03.2024 г.";
        QTest::newRow("escaped") << "\\d dd"
                                 << "d 07";
        QTest::newRow("long runs") << "ddd.mmmm.yyyyy"
                                   << "07.03.2024";
    }

    void datePictures()
    {
        QFETCH(QString, picture);
        QFETCH(QString, shown);
        QCOMPARE(FormatDatePicture(QDate(2024, 3, 7), picture), shown);
    }
};

QTEST_MAIN(FieldFormatTest)
#include "tst_fieldformat.moc"
