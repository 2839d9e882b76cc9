// The report document with no window at all: built from the shipped layout, edited, checked,
// saved and loaded back; many deals appended at once; the failures it hands back; and its rows
// under Qt's model tester through all of that.
#include "reports/ReportDocument.h"
#include "reports/ReportModel.h"
#include "tests/support/ScriptedDialogs.h"

#include "ReportTestSupport.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

using namespace varnel;
using namespace varnel::test;

namespace {

QStringList goodDeal(const ReportDocument& d, const QString& reference)
{
    return deal(d, {{"Participant", "MC0001"},
                    {"Issue", "SU26238RMFS4"},
                    {"Agreement", "AG-" + reference},
                    {"Reference", reference},
                    {"TradeDate", "05.03.2016"},
                    {"SettleDate", "06.03.2016"},
                    {"Price", "101.25"},
                    {"Qty", "10"},
                    {"Currency", "RUB"}});
}

} // namespace

class ReportDocumentTest : public QObject, private ReportRun {
    Q_OBJECT

private slots:
    void init() { startRun(); }
    void cleanup() { endRun(); }

    // Build, edit, check, save, load back: the same rows, the flag and the signals as the
    // windows see them, and nothing shown on the way.
    void roundTrip()
    {
        ReportDocument doc(ReportKind::Deals);
        QAbstractItemModelTester tester(&doc.rows(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(&doc, &ReportDocument::changedChanged);
        QSignalSpy count(&doc, &ReportDocument::rowCountChanged);
        QVERIFY(doc.buildFromLayout().done());
        QVERIFY(doc.rows().columnCount() > 20);
        QVERIFY(!doc.layoutFailed());

        for (const char* ref : {"R-1", "R-2", "R-3"})
            QCOMPARE(doc.addDeal(goodDeal(doc, QString::fromLatin1(ref))).failure, QString());
        QCOMPARE(doc.rowCount(), 3);
        QVERIFY(doc.isChanged());
        QCOMPARE(changed.size(), 1);
        QCOMPARE(count.last().first().toInt(), 3);
        // The duplicate rules against the rows, and a changed row against the others only.
        QVERIFY(doc.addDeal(goodDeal(doc, QStringLiteral("R-2"))).failure.startsWith("(S52)"));
        QCOMPARE(doc.changeDeal(1, goodDeal(doc, QStringLiteral("R-2"))).failure, QString());
        QVERIFY(
            doc.changeDeal(1, goodDeal(doc, QStringLiteral("R-3"))).failure.startsWith("(S52)"));
        doc.deleteDeal(0);
        QCOMPARE(doc.rows().cell(0, 0), QStringLiteral("1"));
        QCOMPARE(doc.rowCount(), 2);

        QVERIFY(doc.isCorrect().done());
        const QString path = folder_->file(QStringLiteral("work/doc.xml"));
        QSignalSpy named(&doc, &ReportDocument::fileNameChanged);
        QVERIFY(doc.saveAs(path).done());
        QCOMPARE(doc.fileName(), path);
        QCOMPARE(named.size(), 1);
        QVERIFY(!doc.isChanged());
        const QByteArray saved = ReadBytes(path);

        ReportDocument again(ReportKind::Deals);
        QVERIFY(again.buildFromLayout().done());
        QVERIFY(again.load(path).done());
        QCOMPARE(again.rowCount(), 2);
        // Every value comes back; a field left empty comes back as its layout default, a
        // number's in its field's picture ("0.00" for a "#,##0.00" field's "0").
        for (int r = 0; r < 2; ++r) {
            for (int c = 0; c < doc.rows().columnCount(); ++c) {
                const ReportColumn& column = doc.rows().column(c);
                const QString def =
                    column.type == u"N" ? NumberDefaultText(column.def, column.format) : column.def;
                const QString cell = doc.rows().cell(r, c);
                QCOMPARE(again.rows().cell(r, c), cell.isEmpty() ? def : cell);
            }
        }
        QVERIFY(!again.isChanged());
        // Saved to its own file with no dialog, then loaded and saved once more: byte for
        // byte the same.
        QVERIFY(again.save().done());
        const QByteArray settled = ReadBytes(path);
        QVERIFY(settled.size() >= saved.size());
        QVERIFY(again.load(path).done());
        QVERIFY(again.save().done());
        QCOMPARE(ReadBytes(path), settled);
        QVERIFY(dialogs_->shown().isEmpty());
    }

    // What an import needs: every value through its field check as the editor runs it, the deal
    // check against the rows and the deals checked before, then one append: one insertion and
    // one change of the flag for all of them.
    void manyDealsAtOnce()
    {
        ReportDocument doc(ReportKind::Repo);
        QAbstractItemModelTester tester(&doc.rows(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(doc.buildFromLayout().done());
        const int price = doc.rows().columnOfName(QStringLiteral("Price"));
        const FieldCheck typed = doc.checkField(price, QStringLiteral(" 1234,5 "), QDate());
        QVERIFY(typed.passed());
        QCOMPARE(typed.text, QStringLiteral("1234.50"));
        QVERIFY(!doc.checkField(price, QStringLiteral("12a"), QDate()).passed());

        // The deals checked before the append answer the duplicate rules with the rows.
        CheckedDeals keys(doc.rows());
        QList<QStringList> deals;
        for (int i = 0; i < 2000; ++i) {
            QStringList d = goodDeal(doc, QStringLiteral("IM-%1").arg(i));
            d[doc.rows().columnOfName(QStringLiteral("Amount")) - 1] = QStringLiteral("1000");
            d[doc.rows().columnOfName(QStringLiteral("RepurchaseAmount")) - 1] =
                QStringLiteral("1010");
            QCOMPARE(doc.checkDeal(d, keys, DealCheckMode::Add).failure, QString());
            keys.remember(d);
            deals.append(d);
        }
        QVERIFY(doc.checkDeal(deals.first(), keys, DealCheckMode::Add).failure.startsWith("(S52)"));

        QSignalSpy inserted(&doc.rows(), &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(&doc, &ReportDocument::changedChanged);
        doc.appendDeals(deals);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(doc.rowCount(), 2000);
        QCOMPARE(doc.rows().cell(1999, 0), QStringLiteral("2000"));
        // The rows' own index knows them now.
        QVERIFY(doc.addDeal(deals.at(1500)).failure.startsWith("(S52)"));
    }

    // Every failure comes back as text, never as a box: the window decides what to show.
    void failuresComeBack()
    {
        ReportDocument doc(ReportKind::Deals);
        QVERIFY(doc.buildFromLayout().done());
        const QString path = folder_->file(QStringLiteral("broken.xml"));
        QVERIFY(WriteBytes(path, "<deals><deal Reference=\"A\"/><deal"));
        QSignalSpy unreadable(&doc, &ReportDocument::fileUnreadableChanged);
        const Outcome loaded = doc.load(path);
        QVERIFY(loaded.failed());
        QVERIFY(loaded.failure.startsWith(QStringLiteral("Ошибка загрузки файла ") + path));
        QCOMPARE(doc.rowCount(), 0);
        QCOMPARE(doc.fileName(), path);
        QVERIFY(doc.fileUnreadable());
        QCOMPARE(unreadable.size(), 1);
        // No name chosen: let go, nothing written.
        dialogs_->cancelNext();
        QCOMPARE(doc.save().status, Outcome::Status::Cancelled);
        QCOMPARE(ReadBytes(path), QByteArray("<deals><deal Reference=\"A\"/><deal"));

        // A date the save refuses, with its text; the file bound is untouched.
        QVERIFY(doc.addDeal(goodDeal(doc, QStringLiteral("R-1"))).done());
        QStringList bad = goodDeal(doc, QStringLiteral("R-1"));
        bad[doc.rows().columnOfName(QStringLiteral("TradeDate")) - 1] =
            QStringLiteral("31.04.2016");
        doc.rows().setDeal(0, bad);
        const Outcome refused = doc.saveAs(folder_->file(QStringLiteral("work/bad.xml")));
        QVERIFY(refused.failed());
        QCOMPARE(refused.failure, QStringLiteral("(C10) Недопустимый формат даты: 31.04.2016"));
        QVERIFY(!QFile::exists(folder_->file(QStringLiteral("work/bad.xml"))));

        // A layout that cannot be read marks the document.
        QFile::remove(folder_->file(QStringLiteral("repo_deals_struct_client.xml")));
        ReportDocument repo(ReportKind::Repo);
        QSignalSpy failed(&repo, &ReportDocument::layoutFailedChanged);
        const Outcome built = repo.buildFromLayout();
        QVERIFY(built.failed() && built.failure.endsWith(QStringLiteral(" не найден")));
        QVERIFY(repo.layoutFailed());
        QCOMPARE(failed.size(), 1);
        QVERIFY(dialogs_->shown().size() == 1); // only the save dialog above
    }
};

QTEST_MAIN(ReportDocumentTest)
#include "tst_reportdocument.moc"
