// The sending journal's window over a running journal: what it shows of a report and its
// receipt, its buttons following the choice, the filter, what it hands on, and a journal found
// damaged by the list.
#include "journal/JournalTable.h"
#include "journal/window/frmJournal.h"
#include "tests/journal/JournalTestSupport.h"
#include "tests/support/GoldenDump.h"
#include "ui/DateLineEdit.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

using namespace varnel;
using namespace varnel::testing;
using journal::RequestFilter;

class JournalWindowTest : public QObject {
    Q_OBJECT

private slots:
    void windowFollowsTheJournal();
    void damageFoundByTheList();
    void keyboardAlone();
    void participantOfTheDeals_data();
    void participantOfTheDeals();
    void correctionSettlesRejected_data();
    void correctionSettlesRejected();
    void columnsShowTheirTexts_data();
    void columnsShowTheirTexts();
};

namespace {

const QString kParticipant = QStringLiteral("MC0001200000");

// A report of three deals and its receipt: one accepted, one rejected, one without an answer.
QString sendAnswered(JournalFixture& f)
{
    const SimpleReportTable report = JournalFixture::Report(
        {{kParticipant, QStringLiteral("SNEN-AO1"), QStringLiteral("A-1"), QStringLiteral("R-1"),
          QStringLiteral("15.03.2024"), QStringLiteral("101.5")},
         {kParticipant, QStringLiteral("NO-SUCH"), QStringLiteral("A-2"), QStringLiteral("R-2"),
          QStringLiteral("15.03.2024"), QStringLiteral("99")},
         {kParticipant, QStringLiteral("SNEN-AO1"), QStringLiteral("A-3"), QStringLiteral("R-3"),
          QStringLiteral("15.03.2024"), QStringLiteral("98")}});
    RequestData data;
    data.report = &report;
    const QString deals = f.send(QStringLiteral("Deals"), data);
    f.receive(QFileInfo(deals).completeBaseName() + QStringLiteral(".msg"),
              Receipt(QStringLiteral("Receipts"), deals,
                      {QStringLiteral("<Receipt N=\"1\" Id=\"555\" Agreement=\"A-1\" "
                                      "Reference=\"R-1\" Status=\"Accepted\" />"),
                       QStringLiteral("<Receipt N=\"2\" Agreement=\"A-2\" Reference=\"R-2\" "
                                      "Status=\"Rejected\" Code=\"S14\" Text=\"(S14) Ценная "
                                      "бумага NO-SUCH не найдена в справочнике\" />")}));
    return deals;
}

// A deal of a report: participant, agreement, reference; the rest as any typed deal.
QStringList deal(const QString& participant, const QString& agreement, const QString& reference)
{
    return {participant, QStringLiteral("SNEN-AO1"),   agreement,
            reference,   QStringLiteral("15.03.2024"), QStringLiteral("100")};
}

// Sends a report of the deals and answers it: rows with their Status ("Accepted" or
// "Rejected"), one a deal. Returns the request's file name.
QString sendReport(JournalFixture& f, const QList<QStringList>& deals, const QStringList& statuses)
{
    const SimpleReportTable report = JournalFixture::Report(deals);
    RequestData data;
    data.report = &report;
    const QString file = f.send(QStringLiteral("Deals"), data);
    QStringList rows;
    for (int i = 0; i < statuses.size(); ++i) {
        const bool accepted = statuses.at(i) == u"Accepted";
        rows << QStringLiteral("<Receipt N=\"%1\" %2 Status=\"%3\" />")
                    .arg(i + 1)
                    .arg(accepted ? QStringLiteral("Id=\"%1\"").arg(700 + i)
                                  : QStringLiteral("Code=\"S14\" Text=\"(S14) не найдена\""),
                         statuses.at(i));
    }
    if (!rows.isEmpty())
        f.receive(QFileInfo(file).completeBaseName() + QStringLiteral(".msg"),
                  Receipt(QStringLiteral("Receipts"), file, rows));
    return file;
}

} // namespace

void JournalWindowTest::participantOfTheDeals_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QStringList>("participants");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("exported");
    QTest::newRow("options name none") << QString() << QStringList{kParticipant, kParticipant}
                                       << QStringLiteral("участник MC0001200000") << kParticipant;
    QTest::newRow("the deals' over the options'")
        << QStringLiteral("MC0009900000") << QStringList{kParticipant}
        << QStringLiteral("участник MC0001200000") << kParticipant;
    QTest::newRow("deals of several")
        << QString() << QStringList{kParticipant, QStringLiteral("MC0002300000"), kParticipant}
        << QStringLiteral("разные участники") << QStringLiteral("разные участники");
    QTest::newRow("deals without one") << kParticipant << QStringList{QString()}
                                       << QStringLiteral("участник MC0001200000") << kParticipant;
}

void JournalWindowTest::participantOfTheDeals()
{
    QFETCH(QString, options);
    QFETCH(QStringList, participants);
    QFETCH(QString, shown);
    QFETCH(QString, exported);
    JournalFixture f(options);
    f.start();
    QList<QStringList> deals;
    for (const QString& p : participants)
        deals << deal(p, QStringLiteral("A-%1").arg(deals.size()), QString());
    const QString file = sendReport(f, deals, {});
    QVERIFY(!file.isEmpty());
    frmJournal window(f.journal(), {});
    QCOMPARE(window.requests().rows(), 1);
    QVERIFY2(window.requestText().startsWith(QStringLiteral("Запрос %1, %2. ").arg(file, shown)),
             qPrintable(window.requestText()));
    const journal::RequestTable table(window.requests());
    QList<TableCell> cells;
    table.rowCells(0, cells);
    QCOMPARE(cells.at(3).text, exported);
}

void JournalWindowTest::correctionSettlesRejected_data()
{
    // The first report: deal 1 accepted, deal 2 (of the agreement and reference given)
    // rejected. The second carries the correction, answered as given.
    QTest::addColumn<QString>("reference");
    QTest::addColumn<QStringList>("correction");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("settled");
    QTest::newRow("same reference")
        << QStringLiteral("R-2")
        << deal(kParticipant, QStringLiteral("A-2bis"), QStringLiteral("R-2"))
        << QStringLiteral("Accepted") << true;
    QTest::newRow("same agreement, no reference")
        << QString() << deal(kParticipant, QStringLiteral("A-2"), QString())
        << QStringLiteral("Accepted") << true;
    QTest::newRow("correction rejected again")
        << QStringLiteral("R-2") << deal(kParticipant, QStringLiteral("A-2"), QStringLiteral("R-2"))
        << QStringLiteral("Rejected") << false;
    QTest::newRow("another participant's deal")
        << QStringLiteral("R-2")
        << deal(QStringLiteral("MC0002300000"), QStringLiteral("A-2"), QStringLiteral("R-2"))
        << QStringLiteral("Accepted") << false;
    QTest::newRow("another reference")
        << QStringLiteral("R-2") << deal(kParticipant, QStringLiteral("A-2"), QStringLiteral("R-3"))
        << QStringLiteral("Accepted") << false;
}

void JournalWindowTest::correctionSettlesRejected()
{
    QFETCH(QString, reference);
    QFETCH(QStringList, correction);
    QFETCH(QString, status);
    QFETCH(bool, settled);
    JournalFixture f;
    f.start();
    const QString first =
        sendReport(f,
                   {deal(kParticipant, QStringLiteral("A-1"), QStringLiteral("R-1")),
                    deal(kParticipant, QStringLiteral("A-2"), reference)},
                   {QStringLiteral("Accepted"), QStringLiteral("Rejected")});
    const QString second = sendReport(f, {correction}, {status});
    QVERIFY(!first.isEmpty() && !second.isEmpty() && first != second);

    QList<journal::Attributes> offered;
    frmJournal::Actions actions;
    actions.correct = [&](ReportKind, const QList<journal::Attributes>& list) { offered = list; };
    frmJournal window(f.journal(), actions);
    QCOMPARE(window.requests().rows(), 2);
    window.selectRequest(1); // the first report, the older one
    QCOMPARE(window.requests().entry(1).file, first);
    const QModelIndex outcome = window.deals().index(1, journal::DealListModel::Outcome);
    const QModelIndex rejected = window.requests().index(1, journal::RequestListModel::Rejected);
    QCOMPARE(rejected.data().toInt(), 1);
    if (settled) {
        QCOMPARE(outcome.data().toString(), QStringLiteral("исправлена в запросе ") + second);
        QVERIFY(!outcome.data(Qt::ForegroundRole).isValid());
        QVERIFY(!rejected.data(Qt::ForegroundRole).isValid());
    } else {
        QCOMPARE(outcome.data().toString(), QStringLiteral("отклонена"));
        QVERIFY(rejected.data(Qt::ForegroundRole).isValid());
    }
    // Nothing settled is offered to correct again.
    QCOMPARE(window.button(QStringLiteral("cmdCorrect"))->isEnabled(), !settled);
    window.button(QStringLiteral("cmdCorrect"))->click();
    QCOMPARE(offered.size(), settled ? 0 : 1);

    // The filter of rejected deals lists the requests with a deal still to correct.
    window.setFilter(RequestFilter::Status::WithRejected);
    QStringList listed;
    for (int r = 0; r < window.requests().rows(); ++r)
        listed << window.requests().entry(r).file;
    QStringList expected;
    if (status == u"Rejected")
        expected << second;
    if (!settled)
        expected << first;
    QCOMPARE(listed, expected);
}

void JournalWindowTest::windowFollowsTheJournal()
{
    JournalFixture f;
    f.start();
    const QString deals = sendAnswered(f);
    QString corrected, revoked, opened;
    frmJournal::Actions actions;
    actions.correct = [&](ReportKind kind, const QList<journal::Attributes>& list) {
        corrected = QStringLiteral("%1:").arg(int(kind));
        for (const journal::Attributes& deal : list)
            corrected += journal::ValueOf(deal, u"Agreement") + u'/' +
                         journal::ValueOf(deal, u"Issue") + u'/' +
                         journal::ValueOf(deal, u"TradeDate") + u' ';
    };
    actions.revoke = [&](bool repo, const QList<QStringList>& rows) {
        revoked = QString::number(repo);
        for (const QStringList& r : rows)
            revoked += u':' + r.join(u',');
    };
    actions.openAnswer = [&](const QString& path) { opened = path; };
    frmJournal window(f.journal(), actions);
    window.show();

    // The newest request is chosen, its deals shown below.
    QCOMPARE(window.requests().rows(), 1);
    const auto cell = [&](int column) {
        return window.requests().index(0, column).data().toString();
    };
    QCOMPARE(cell(journal::RequestListModel::Kind), QStringLiteral("Отчет"));
    QCOMPARE(cell(journal::RequestListModel::File), deals);
    QCOMPARE(QStringList({cell(3), cell(4), cell(5), cell(6)}), QStringList({"3", "1", "1", "1"}));
    QCOMPARE(window.deals().rows(), 3);
    QCOMPARE(window.deals().index(1, journal::DealListModel::Outcome).data().toString(),
             QStringLiteral("отклонена"));
    QVERIFY(window.requestText().contains(QFileInfo(deals).completeBaseName() +
                                          QStringLiteral(".msg")));
    QVERIFY(window.button(QStringLiteral("cmdCorrect"))->isEnabled());
    QVERIFY(!window.button(QStringLiteral("cmdRevoke"))->isEnabled());
    // The request's file is named at random: the dump names it DLxxxx; the period is the week
    // up to today.
    const QString shape = QStringLiteral("dd.MM.yyyy");
    QString golden;
    QVERIFY2(MatchesGolden(
                 DumpWidgetTexts(window)
                     .replace(QFileInfo(deals).completeBaseName(), QStringLiteral("DLxxxx"))
                     .replace(QDate::currentDate().addDays(-7).toString(shape),
                              QStringLiteral("<неделя назад>"))
                     .replace(QDate::currentDate().toString(shape), QStringLiteral("<сегодня>")),
                 QStringLiteral(VARNEL_GOLDEN_DIR "/frmJournal.txt"), &golden),
             qPrintable(golden));

    // Revoking needs an accepted deal among those chosen.
    window.selectDeals({1, 2});
    QVERIFY(!window.button(QStringLiteral("cmdRevoke"))->isEnabled());
    window.selectDeals({0, 1});
    QVERIFY(window.button(QStringLiteral("cmdRevoke"))->isEnabled());
    window.button(QStringLiteral("cmdRevoke"))->click();
    QCOMPARE(revoked, QStringLiteral("0:555,A-1,R-1,MC0001200000,"));
    window.button(QStringLiteral("cmdCorrect"))->click();
    QCOMPARE(corrected, QStringLiteral("0:A-2/NO-SUCH/2024-03-15 "));
    window.button(QStringLiteral("cmdOpenAnswer"))->click();
    QCOMPARE(opened,
             f.folder().receive(QFileInfo(deals).completeBaseName() + QStringLiteral(".msg")));

    // The filter: by state, and by the period the request was sent in.
    const struct {
        RequestFilter::Status status;
        QDate from;
        int rows;
    } filters[] = {{RequestFilter::Status::WithRejected, {}, 1},
                   {RequestFilter::Status::Accepted, {}, 0},
                   {RequestFilter::Status::Waiting, QDate::currentDate(), 1},
                   {RequestFilter::Status::All, QDate::currentDate().addDays(1), 0},
                   {RequestFilter::Status::AnswersOnly, {}, 0}};
    for (const auto& filter : filters) {
        window.setFilter(filter.status, filter.from, filter.from);
        QCOMPARE(window.requests().rows(), filter.rows);
        QCOMPARE(window.button(QStringLiteral("cmdCorrect"))->isEnabled(),
                 filter.rows > 0 && filter.status != RequestFilter::Status::AnswersOnly);
    }
    // A period typed: the filter follows a whole date once typing is done; a text that names
    // none is marked and leaves the filter as it was.
    const QDate today = QDate::currentDate();
    const struct {
        QString keys;
        bool marked;
        QDate from; // the filter's afterwards
        int rows;
    } typed[] = {{today.addDays(1).toString(QStringLiteral("d.M.yy")), false, today.addDays(1), 0},
                 {QStringLiteral("31.02.2026"), true, today.addDays(1), 0},
                 {today.toString(QStringLiteral("ddMMyyyy")), false, today, 1}};
    window.setFilter(RequestFilter::Status::All, QDate::currentDate().addDays(-7),
                     QDate::currentDate());
    auto* from = window.findChild<DateLineEdit*>(QStringLiteral("dtFrom"));
    QVERIFY(from && from->isEnabled());
    for (const auto& t : typed) {
        from->setFocus();
        from->selectAll();
        QTest::keyClicks(from, t.keys);
        QTest::keyClick(from, Qt::Key_Return);
        QCOMPARE(from->isWholeDate(), !t.marked);
        QCOMPARE(window.filter().from, t.from);
        QCOMPARE(window.requests().rows(), t.rows);
    }
    window.setFilter(RequestFilter::Status::All);
    QCOMPARE(window.stateText(), QStringLiteral("Запросов: 1"));

    // The list goes to a file: CSV when the name says so, else a workbook; a folder that
    // cannot take it says why and is left as it was.
    const QString csvPath = f.folder().work(QStringLiteral("list.csv"));
    const QString bookPath = f.folder().work(QStringLiteral("list"));
    const QString missing = f.folder().work(QStringLiteral("no-such/list.xlsx"));
    for (const QString& path : {csvPath, bookPath, missing}) {
        f.dialogs().choosePath(path);
        window.button(QStringLiteral("cmdExport"))->click();
    }
    QFile csv(csvPath);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.read(3), QByteArray("\xEF\xBB\xBF"));
    QCOMPARE(QString::fromUtf8(csv.readAll()).section(u'\n', 0, 0),
             QStringLiteral("Время;Вид;Файл;Участник;Сделок;Принято;Отклонено;Ждут ответа;"
                            "Код;Сообщение реестра\r"));
    csv.seek(0);
    QCOMPARE(QString::fromUtf8(csv.readAll()).section(u';', 10),
             QStringLiteral("Отчет;%1;MC0001200000;3;1;1;1;;\r\n").arg(deals));
    QFile book(bookPath + QStringLiteral(".xlsx"));
    QVERIFY(book.open(QIODevice::ReadOnly));
    QCOMPARE(book.read(2), QByteArray("PK"));
    QVERIFY2(f.dialogs().last().text.contains(missing), qPrintable(f.dialogs().last().text));
    QVERIFY(!QFileInfo::exists(f.folder().work(QStringLiteral("no-such"))));

    // A new answer reaches the open window: the request stays chosen.
    f.receive(QFileInfo(deals).completeBaseName() + QStringLiteral("_2.msg"),
              Receipt(QStringLiteral("Receipts"), deals,
                      {QStringLiteral("<Receipt N=\"3\" Id=\"556\" Status=\"Accepted\" />")}));
    QCOMPARE(window.requests().index(0, journal::RequestListModel::Waiting).data().toInt(), 0);
    QCOMPARE(window.deals().index(2, journal::DealListModel::RegistryId).data().toString(),
             QStringLiteral("556"));
}

void JournalWindowTest::damageFoundByTheList()
{
    JournalFixture f;
    f.start();
    sendAnswered(f);
    // The file is damaged while the client runs, after the journal read it over: the list
    // finds it, and the journal sets it aside and begins anew.
    QVERIFY(WriteBytes(journal::JournalStore::FileIn(f.journalFolder()), QByteArray(4096, 'x')));
    frmJournal window(f.journal(), {});
    QCOMPARE(window.requests().rows(), 0);
    QVERIFY2(window.stateText().startsWith(QStringLiteral("Журнал отправок не прочитан: ")),
             qPrintable(window.stateText()));
    f.journal().waitForSync();
    QCOMPARE(window.stateText(), QStringLiteral("Запросов: 0"));
    QCOMPARE(f.notices().size(), 1);
    QVERIFY2(f.notices().first().startsWith(QStringLiteral("Журнал отправок был поврежден")),
             qPrintable(f.notices().first()));
}

// With the keyboard alone: Tab leaves the request list for the deals and the deals for the
// buttons, the arrows choose a deal, and "Удалить в реестре" is reached by Tab and by its
// mnemonic.
void JournalWindowTest::keyboardAlone()
{
    JournalFixture f;
    f.start();
    sendAnswered(f);
    int revocations = 0;
    frmJournal::Actions actions;
    actions.revoke = [&](bool, const QList<QStringList>&) { ++revocations; };
    frmJournal window(f.journal(), actions);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    window.lvRequests()->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(window.lvRequests()->hasFocus());
    QTest::keyClick(window.lvRequests(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), window.lvDeals());
    QCOMPARE(window.requests().rows(), 1); // the chosen request stayed

    // The first deal (accepted) chosen with the arrows, then Tab on to the revoke button.
    QTest::keyClick(window.lvDeals(), Qt::Key_Down);
    QTest::keyClick(window.lvDeals(), Qt::Key_Up);
    QVERIFY(window.button(QStringLiteral("cmdRevoke"))->isEnabled());
    QWidget* focus = window.lvDeals();
    for (int i = 0; i < 4 && focus != window.button(QStringLiteral("cmdRevoke")); ++i) {
        QTest::keyClick(focus, Qt::Key_Tab);
        focus = QApplication::focusWidget();
        QVERIFY(focus && focus != window.lvDeals());
    }
    QCOMPARE(focus, window.button(QStringLiteral("cmdRevoke")));
    QTest::keyClick(focus, Qt::Key_Space);
    QCOMPARE(revocations, 1);

    // Its mnemonic is a letter of the Russian layout, no other control of the window's.
    const auto mnemonic = [](const QString& text) {
        const qsizetype at = text.indexOf(u'&');
        return at >= 0 && at + 1 < text.size() ? text.at(at + 1).toLower() : QChar();
    };
    const QChar letter = mnemonic(window.button(QStringLiteral("cmdRevoke"))->text());
    QVERIFY(letter.unicode() >= 0x430 && letter.unicode() <= 0x44F);
    for (const QAbstractButton* b : window.findChildren<QAbstractButton*>()) {
        if (b != window.button(QStringLiteral("cmdRevoke")))
            QVERIFY2(mnemonic(b->text()) != letter, qPrintable(b->text()));
    }
}

void JournalWindowTest::columnsShowTheirTexts_data()
{
    QTest::addColumn<bool>("deals"); // the deals of the first request, else the requests
    QTest::newRow("requests") << false;
    QTest::newRow("deals") << true;
}

void JournalWindowTest::columnsShowTheirTexts()
{
    QFETCH(bool, deals);
    JournalFixture f;
    f.start();
    // A rejected deal with the registry's reason, and its correction in a later report.
    sendAnswered(f);
    sendReport(f, {deal(kParticipant, QStringLiteral("A-2"), QStringLiteral("R-2"))},
               {QStringLiteral("Accepted")});
    frmJournal window(f.journal(), {});
    window.resize(window.sizeHint());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.selectRequest(1);
    QTableView* view = deals ? window.lvDeals() : window.lvRequests();
    QVERIFY(view->model()->rowCount() > 0);
    QHeaderView* header = view->horizontalHeader();
    QVERIFY(header->stretchLastSection());
    // At the size the window first opens with, every column shows its title and its longest
    // text whole, the last one included.
    int last = -1;
    for (int c = 0; c < view->model()->columnCount(); ++c) {
        if (view->isColumnHidden(c))
            continue;
        last = c;
        const int needed =
            std::max(header->sectionSizeHint(c),
                     static_cast<const QAbstractItemView*>(view)->sizeHintForColumn(c));
        QVERIFY2(header->sectionSize(c) >= needed,
                 qPrintable(QStringLiteral("%1: %2 < %3")
                                .arg(view->model()->headerData(c, Qt::Horizontal).toString())
                                .arg(header->sectionSize(c))
                                .arg(needed)));
    }
    QVERIFY(header->sectionViewportPosition(last) + header->sectionSize(last) <=
            view->viewport()->width());
}

QTEST_MAIN(JournalWindowTest)
#include "tst_journalwindow.moc"
