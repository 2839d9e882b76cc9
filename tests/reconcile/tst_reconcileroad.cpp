// The whole road of a day's file in the reconciliation window, with the loopback registry
// program answering: the file reported with one bad deal, reconciled (one rejected, the rest
// accepted), the rejected deal corrected through "Отправить неотправленные", reconciled again.
#include "ReconcileTestSupport.h"

#include "reconcile/window/frmReconcile.h"
#include "reports/ReportDocument.h"
#include "reports/ReportModel.h"
#include "tests/journal/JournalTestSupport.h"

#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace varnel;
using namespace varnel::testing;
using reconcile::State;

class ReconcileRoadTest : public QObject {
    Q_OBJECT

private slots:
    void reportCorrectAndReconcile();
};

void ReconcileRoadTest::reportCorrectAndReconcile()
{
    JournalFixture fx(QStringLiteral("MC0001"));
    for (const char* name : {"deals_struct_client.xml", "repo_deals_struct_client.xml"})
        QVERIFY(QFile::copy(QStringLiteral(VARNEL_SOURCE_DIR "/dist/") + QLatin1String(name),
                            fx.folder().file(QLatin1String(name))));
    const QString handbook = fx.folder().file("handbook.msg");
    QVERIFY(WriteBytes(handbook, "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n"
                                 "<IssueList Language=\"RU\" Count=\"1\">\r\n"
                                 "<Issue Code=\"SNEN-AO1\" />\r\n</IssueList>\r\n"));
    fx.start();

    // The registry answers every request placed, and the journal takes the answers in.
    const auto registryAnswers = [&] {
        QProcess registry;
        registry.start(QStringLiteral(LOOPBACK_PATH),
                       {"--program-folder", fx.folder().path(), "--handbook", handbook, "--once"});
        QVERIFY(registry.waitForFinished(60000));
        QCOMPARE(registry.exitCode(), 0);
        fx.journal().sync();
        fx.journal().waitForSync();
    };

    // What the user does in the new report the window opens: corrects the issue the registry
    // did not know, and sends the report.
    int reports = 0;
    frmReconcile::Actions actions;
    actions.send = [&](ReportKind kind, const QList<QStringList>& deals) {
        ReportDocument report(kind);
        QVERIFY(report.buildFromLayout().done());
        report.appendDeals(deals);
        const int issue = report.rows().columnOfName(QStringLiteral("Issue"));
        for (int r = 0; r < report.rowCount(); ++r) {
            QStringList fields = report.rows().rowCells(r)->mid(1);
            if (reports > 0 && fields.at(issue - 1) == u"X") {
                fields[issue - 1] = QStringLiteral("SNEN-AO1");
                QCOMPARE(report.changeDeal(r, fields).failure, QString());
            }
        }
        ++reports;
        QVERIFY(!fx.send(QStringLiteral("Deals"), {&report.rows()}).isEmpty());
    };
    frmReconcile window(actions);
    window.show();

    const QString file = fx.folder().file("day.csv");
    QVERIFY(WriteDealsFile(file, {"R-1", "R-2;Issue=X", "R-3", "@A-4"}));
    QVERIFY(window.reconcileFile(file));
    QCOMPARE(window.result()->count(State::NotSent), 4);
    QVERIFY(window.countsText().contains("не отправлена 4"));

    // Reported with the bad deal as it is.
    window.button("cmdSend")->click();
    QCOMPARE(reports, 1);
    registryAnswers();
    QVERIFY(window.reconcileFile(file));
    const reconcile::ReconcileResult* result = window.result();
    QCOMPARE(result->count(State::Accepted), 3);
    QCOMPARE(result->count(State::Rejected), 1);
    QCOMPARE(result->lines.at(1).decisiveRequest()->code, QStringLiteral("S14"));
    QVERIFY(!reconcile::AllAcceptedAndEqual(*result));
    window.setStateFilter(State::Rejected);
    QCOMPARE(window.lines().rowCount(), 1);
    QVERIFY2(window.lineText().startsWith("Сделка MC0001 R-2, строка 3 файла: отклонена"),
             qPrintable(window.lineText()));

    // Corrected through "Отправить неотправленные": only the rejected deal goes.
    window.button("cmdSend")->click();
    QCOMPARE(reports, 2);
    registryAnswers();
    QVERIFY(window.reconcileFile(file));
    result = window.result();
    QCOMPARE(result->count(State::Accepted), 3);
    QCOMPARE(result->count(State::Differs), 1);
    QCOMPARE(reconcile::DifferencesText(result->lines.at(1).differences()),
             QStringLiteral("Код ЦБ: в файле X, в отчете SNEN-AO1"));

    // The back office corrects its file too: everything accepted and equal, the rejection
    // still shown among the deal's requests.
    QVERIFY(WriteDealsFile(file, {"R-1", "R-2", "R-3", "@A-4"}));
    window.setStateFilter(std::nullopt);
    window.button("cmdAgain")->click();
    result = window.result();
    QCOMPARE(result->count(State::Accepted), 4);
    QVERIFY(reconcile::AllAcceptedAndEqual(*result));
    QVERIFY2(window.countsText().endsWith("Все сделки файла приняты реестром"),
             qPrintable(window.countsText()));
    window.selectLine(1);
    QCOMPARE(window.requests().rowCount(), 2);
    QCOMPARE(window.requests().index(0, reconcile::SentRequestModel::Outcome).data().toString(),
             QStringLiteral("отклонена"));
    QCOMPARE(window.requests().index(1, reconcile::SentRequestModel::Outcome).data().toString(),
             QStringLiteral("принята"));
    QVERIFY(!window.button("cmdSend")->isEnabled());

    // The list exported as shown.
    const QString exported = fx.folder().file("сверка.csv");
    fx.dialogs().choosePath(exported);
    window.button("cmdExport")->click();
    const QStringList rows = QString::fromUtf8(ReadBytes(exported)).split("\r\n");
    QCOMPARE(rows.size(), 6); // the titles, four deals, the end of the last line
    QVERIFY2(rows.at(2).contains(";принята;"), qPrintable(rows.at(2)));
}

QTEST_MAIN(ReconcileRoadTest)
#include "tst_reconcileroad.moc"
