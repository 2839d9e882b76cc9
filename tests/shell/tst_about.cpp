#include "core/AppContext.h"
#include "shell/frmAbout.h"
#include "tests/support/GoldenDump.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace varnel;

class TestAbout : public QObject {
    Q_OBJECT

private slots:
    void showsTitleAndVersion_data();
    void showsTitleAndVersion();
    void isFixedAndClosesWithOk();
    void textsMatchTheGoldenDump();
};

void TestAbout::showsTitleAndVersion_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("text");

    QTest::newRow("title") << "lblTitle"
                           << "Varnel";
    QTest::newRow("version") << "lblVersion"
                             << QStringLiteral("Version %1.%2.%3")
                                    .arg(VersionMajor())
                                    .arg(VersionMinor())
                                    .arg(VersionPatch());
    QTest::newRow("description") << "lblDescription"
                                 << "Клиентский модуль";
}

void TestAbout::showsTitleAndVersion()
{
    QFETCH(QString, label);
    QFETCH(QString, text);

    frmAbout about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About Varnel"));
    auto* l = about.findChild<QLabel*>(label);
    QVERIFY(l);
    QCOMPARE(l->text(), text);
}

void TestAbout::isFixedAndClosesWithOk()
{
    // The release the build defines, in three parts.
    QCOMPARE(
        VersionString(),
        QStringLiteral("%1.%2.%3").arg(VersionMajor()).arg(VersionMinor()).arg(VersionPatch()));

    frmAbout about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QCOMPARE(about.minimumSize(), about.maximumSize());
    QVERIFY(!about.findChild<QLabel*>(QStringLiteral("Label1"))->text().isEmpty());
    auto* icon = about.findChild<QLabel*>(QStringLiteral("picIcon"));
    QVERIFY(icon && !icon->pixmap().isNull());

    QTest::mouseClick(about.findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
    QVERIFY(!about.isVisible());
    QCOMPARE(about.result(), int(QDialog::Accepted));
}

void TestAbout::textsMatchTheGoldenDump()
{
    frmAbout about;
    VARNEL_COMPARE_GOLDEN(about, VARNEL_GOLDEN_DIR "/frmAbout.txt");
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
