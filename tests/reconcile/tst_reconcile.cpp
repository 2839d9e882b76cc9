// The reconciliation of a file with the journal: every state a deal of the file can take, what
// counts as the same value, and the deals the file lacks, on one file and journal per case.
#include "ReconcileTestSupport.h"

#include "tests/support/ProgramFolder.h"
#include "tests/support/ScriptedDialogs.h"

#include <QTest>

using namespace varnel;
using namespace varnel::testing;

class ReconcileTest : public QObject {
    Q_OBJECT

private slots:
    void states_data();
    void states();
    void failures();
    void table();
};

void ReconcileTest::states_data()
{
    QTest::addColumn<QStringList>("file");
    QTest::addColumn<QStringList>("history");
    QTest::addColumn<QString>("lines");
    QTest::addColumn<bool>("settled"); // all accepted and equal, nothing missing

    const QStringList r1{"R-1"};
    QTest::newRow("not sent") << r1 << QStringList() << "MC0001 R-1 не отправлена" << false;
    QTest::newRow("waiting") << r1 << QStringList{"R-1=wait"} << "MC0001 R-1 ждет ответа" << false;
    QTest::newRow("accepted") << r1 << QStringList{"R-1=ok"} << "MC0001 R-1 принята 1-1" << true;
    QTest::newRow("rejected") << r1 << QStringList{"R-1=S16"} << "MC0001 R-1 отклонена S16"
                              << false;
    QTest::newRow("rejected, then accepted")
        << r1 << QStringList{"R-1=S16", "R-1=ok"} << "MC0001 R-1 принята 2-1 [2]" << true;
    QTest::newRow("a later duplicate leaves the acceptance")
        << r1 << QStringList{"R-1=ok", "R-1=S52"} << "MC0001 R-1 принята 1-1 [2]" << true;
    QTest::newRow("by agreement, a later duplicate leaves the acceptance")
        << QStringList{"@A-9"} << QStringList{"@A-9=ok", "@A-9=S54"}
        << "MC0001 договор A-9 принята 1-1 [2]" << true;
    QTest::newRow("a later rejection of another code has the last word")
        << r1 << QStringList{"R-1=ok", "R-1=S16"} << "MC0001 R-1 отклонена S16 [2]" << false;
    QTest::newRow("sent again, no answer yet")
        << r1 << QStringList{"R-1=ok", "R-1=wait"} << "MC0001 R-1 ждет ответа [2]" << false;
    QTest::newRow("numbers written otherwise")
        << QStringList{"R-1;Price=101,5;Amount=1015"} << QStringList{"R-1=ok"}
        << "MC0001 R-1 принята 1-1" << true;
    QTest::newRow("a date written otherwise")
        << QStringList{"R-1;TradeDate=7/3/24"} << QStringList{"R-1=ok"} << "MC0001 R-1 принята 1-1"
        << true;
    QTest::newRow("a number that differs")
        << QStringList{"R-1;Price=101,6"} << QStringList{"R-1=ok"}
        << "MC0001 R-1 расходится 1-1 Price: 101.60 / 101.50" << false;
    QTest::newRow("a text that differs in letter case")
        << QStringList{"R-1;Issue=snen-ao1"} << QStringList{"R-1=ok"}
        << "MC0001 R-1 расходится 1-1 Issue: snen-ao1 / SNEN-AO1" << false;
    QTest::newRow("a field the request left out")
        << QStringList{"R-1;Amount="} << QStringList{"R-1=ok;Amount=1015"}
        << "MC0001 R-1 расходится 1-1 Amount:  / 1015" << false;
    QTest::newRow("revoked") << r1 << QStringList{"R-1=ok", "revoke R-1"}
                             << "MC0001 R-1 удалена в реестре 1-1" << false;
    QTest::newRow("revoked, then reported anew")
        << r1 << QStringList{"R-1=ok", "revoke R-1", "R-1=ok"} << "MC0001 R-1 принята 3-1 [2]"
        << true;
    QTest::newRow("missing from the file") << r1 << QStringList{"R-1=ok R-2=ok @A-7=ok R-4=S16"}
                                           << "MC0001 R-1 принята 1-1\nMC0001 R-2 нет в файле 1-2\n"
                                              "MC0001 договор A-7 нет в файле 1-3"
                                           << false;
    QTest::newRow("revoked, rejected since or traded outside the period: not missing")
        << r1
        << QStringList{"R-1=ok R-2=ok R-3=ok;TradeDate=2024-03-08 R-5=ok", "revoke R-2", "R-5=S16"}
        << "MC0001 R-1 принята 1-1" << true;
    QTest::newRow("a key is its participant's")
        << r1 << QStringList{"R-1=ok;Participant=MC0002"}
        << "MC0001 R-1 не отправлена\nMC0002 R-1 нет в файле 1-1" << false;
    QTest::newRow("a deal with a Reference is not the deal of its Agreement")
        << QStringList{"@A-R-1"} << QStringList{"R-1=ok"}
        << "MC0001 договор A-R-1 не отправлена\nMC0001 R-1 нет в файле 1-1" << false;
    QTest::newRow("repo reports are another kind")
        << r1 << QStringList{"repo R-1=ok"} << "MC0001 R-1 не отправлена" << false;
}

void ReconcileTest::states()
{
    QFETCH(QStringList, file);
    QFETCH(QStringList, history);
    QFETCH(QString, lines);
    QFETCH(bool, settled);

    TestProgramFolder folder({"[Main]", "Participant=MC0001", "[Path]", "FolderWork=.\\work"});
    folder.useShippedLayouts();
    {
        JournalHistory journal(folder.work("journal"));
        for (const QString& step : history) {
            if (step.startsWith(QStringLiteral("revoke ")))
                journal.revoke(step.mid(7));
            else
                journal.report(step);
        }
    }
    const QString path = folder.file("deals.csv");
    QVERIFY(WriteDealsFile(path, file));

    reconcile::ReconcileQuery query;
    query.path = path;
    query.today = QDate(2024, 3, 11);
    reconcile::ReconcileResult result;
    NoProgress progress;
    const Outcome outcome = reconcile::Reconcile(query, progress, result);
    QVERIFY2(outcome.done(), qPrintable(outcome.failure));
    QCOMPARE(result.refusedRows, 0);
    QCOMPARE(Dump(result), lines);
    QCOMPARE(reconcile::AllAcceptedAndEqual(result), settled);
    int counted = 0;
    for (const int n : result.counts)
        counted += n;
    QCOMPARE(counted, int(result.lines.size()));
    QCOMPARE(result.since, QDate(2024, 3, 7));
    QCOMPARE(result.until, QDate(2024, 3, 7));
}

// A file that cannot be read, columns that match no field, a damaged journal: failed with a
// text; a row the import refuses is counted and keeps the file from being settled; a period
// leaves the deals traded outside it out.
void ReconcileTest::failures()
{
    TestProgramFolder folder({"[Main]", "Participant=MC0001", "[Path]", "FolderWork=.\\work"});
    folder.useShippedLayouts();
    NoProgress progress;
    reconcile::ReconcileResult result;
    reconcile::ReconcileQuery query;
    query.today = QDate(2024, 3, 11);

    query.path = folder.file("absent.csv");
    Outcome outcome = reconcile::Reconcile(query, progress, result);
    QVERIFY(outcome.failed());
    QVERIFY2(outcome.failure.contains("absent.csv"), qPrintable(outcome.failure));

    query.path = folder.file("strange.csv");
    QVERIFY(WriteBytes(query.path, "Что-то;Другое\r\n1;2\r\n"));
    outcome = reconcile::Reconcile(query, progress, result);
    QVERIFY(outcome.failed());
    QVERIFY2(outcome.failure.contains("не сопоставлены"), qPrintable(outcome.failure));

    // No journal yet: every deal not sent. A bad row is refused and counted.
    query.path = folder.file("deals.csv");
    QVERIFY(
        WriteDealsFile(query.path, {"R-1", "R-2;TradeDate=31.04.2024", "R-3;TradeDate=8.3.24"}));
    outcome = reconcile::Reconcile(query, progress, result);
    QVERIFY2(outcome.done(), qPrintable(outcome.failure));
    QVERIFY(!result.journalFound);
    QCOMPARE(result.refusedRows, 1);
    QCOMPARE(result.refused.first().row, 3);
    QCOMPARE(Dump(result), "MC0001 R-1 не отправлена\nMC0001 R-3 не отправлена");
    QCOMPARE(result.lines.at(1).row, 4);
    QCOMPARE(reconcile::DealsToSend(result).size(), 2);
    QCOMPARE(reconcile::CountsText(result),
             QStringLiteral("не отправлена 2, строк файла не прочитано 1"));

    // A period of one day leaves the other out; its dates as the command line takes them.
    QCOMPARE(reconcile::PeriodDate("2024-03-08"), QDate(2024, 3, 8));
    QCOMPARE(reconcile::PeriodDate("08.03.2024"), QDate(2024, 3, 8));
    QVERIFY(reconcile::PeriodDate("31.04.2024").isNull());
    QVERIFY(reconcile::PeriodDate("8/3/24").isNull());
    {
        JournalHistory journal(folder.work("journal"));
        journal.report("R-1=ok R-9=ok;TradeDate=2024-03-08");
    }
    query.since = query.until = reconcile::PeriodDate("08.03.2024");
    outcome = reconcile::Reconcile(query, progress, result);
    QVERIFY2(outcome.done(), qPrintable(outcome.failure));
    QCOMPARE(Dump(result), "MC0001 R-3 не отправлена\nMC0001 R-9 нет в файле 1-2");
    QCOMPARE(result.outsidePeriod, 1);
    QCOMPARE(reconcile::DealsToSend(result).size(), 1);

    // A damaged journal.
    query.since = query.until = QDate();
    QVERIFY(
        WriteBytes(journal::JournalStore::FileIn(folder.work("journal")), QByteArray(8192, 'x')));
    outcome = reconcile::Reconcile(query, progress, result);
    QVERIFY(outcome.failed());
    QVERIFY2(outcome.failure.startsWith("Журнал отправок не прочитан"),
             qPrintable(outcome.failure));
}

// The lines as the export and the command line write them: numbers and dates as such.
void ReconcileTest::table()
{
    TestProgramFolder folder({"[Main]", "Participant=MC0001", "[Path]", "FolderWork=.\\work"});
    folder.useShippedLayouts();
    {
        JournalHistory journal(folder.work("journal"));
        journal.report("R-1=ok R-2=S16 R-3=ok");
    }
    reconcile::ReconcileQuery query;
    query.path = folder.file("deals.csv");
    query.today = QDate(2024, 3, 11);
    QVERIFY(WriteDealsFile(query.path, {"R-1", "R-2;Price=3", "R-4"}));
    reconcile::ReconcileResult result;
    NoProgress progress;
    QVERIFY(reconcile::Reconcile(query, progress, result).done());
    const reconcile::ReconcileTable table(result);
    QCOMPARE(table.rowCount(), 4);
    QList<TableCell> cells;
    table.rowCells(0, cells);
    QCOMPARE(cells.at(3).kind, TableCell::Kind::Number);
    QCOMPARE(cells.at(3).text, "2");
    QCOMPARE(cells.at(4).date, QDate(2024, 3, 7));
    QCOMPARE(cells.at(6).text, "1-1");
    QCOMPARE(cells.at(7).date, QDate(2024, 3, 7));
    QCOMPARE(TableText(table).split(u'\n').value(2).split(u'\t').mid(5, 6).join(u'|'),
             "отклонена|||S16|отклонена|DL1.xml");
    table.rowCells(3, cells);
    QCOMPARE(cells.at(3).kind, TableCell::Kind::Empty);
    QCOMPARE(cells.at(5).text, "нет в файле");

    const QList<int> shown{1};
    const reconcile::ReconcileTable rejected(result, &shown);
    QCOMPARE(rejected.rowCount(), 1);
    const QString csv = folder.file("out.csv");
    WriteTableFile(csv, rejected, TableFormat::Csv);
    const QString written = QString::fromUtf8(ReadBytes(csv));
    QVERIFY2(written.contains("MC0001;R-2;A-R-2;3;07.03.2024;отклонена;;;S16;отклонена;DL1.xml;"),
             qPrintable(written));
}

QTEST_GUILESS_MAIN(ReconcileTest)
#include "tst_reconcile.moc"
