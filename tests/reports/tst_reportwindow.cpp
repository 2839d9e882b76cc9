// The two report editor windows: building from the layout, the default participant, editing
// deals, loading, saving and closing (their fields: tst_reportfields, their geometry:
// tst_reportgeometry).
#include "core/Error.h"
#include "core/PickSeam.h"
#include "core/PlacementStore.h"
#include "core/Settings.h"
#include "core/Twips.h"
#include "filesave/ReplacingFile.h"
#include "reports/ReportModel.h"
#include "reports/window/frmReport.h"
#include "tests/support/ScriptedDialogs.h"
#include "ui/DatePicker.h"

#include "ReportWindowSupport.h"
#include "tests/support/GoldenDump.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace varnel;
using namespace varnel::test;

class ReportWindowTest : public QObject, private ReportWindowRun {
    Q_OBJECT

    // A report of n deals with a date column, written by the window itself.
    QString savedReport(const Window& w, int rows, const QString& name)
    {
        QList<QStringList> all;
        const int width = w->model().columnCount();
        for (int r = 0; r < rows; ++r) {
            QStringList cells(width);
            cells[0] = QString::number(r + 1);
            for (int c = 1; c < width; ++c) {
                const ReportColumn& col = w->model().column(c);
                cells[c] =
                    col.type == u"D" ? QStringLiteral("05.03.2016") : col.name + QString::number(r);
            }
            all.append(cells);
        }
        w->model().resetRows(all);
        const QString path = folder_->file(name);
        if (!w->SaveFileAs(path))
            return QString();
        return path;
    }

private slots:
    void init() { startRun(); }
    void cleanup() { endRun(); }

    // Every caption, label, hint and button of both windows, once.
    void texts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("frmReport") << int(ReportKind::Deals);
        QTest::newRow("frmReportRepo") << int(ReportKind::Repo);
    }

    void texts()
    {
        QFETCH(int, kind);
        Window w = open(ReportKind(kind));
        QVERIFY(!w->loadFailed());
        w->setWindowTitle(QStringLiteral("[New Report 1]"));
        w->resize(w->sizeHint());
        w->show();
        QString dump = testing::DumpWidgetTexts(*w);
        dump.replace(today(), QStringLiteral("<today>"));
        QString message;
        if (!testing::MatchesGolden(dump,
                                    QStringLiteral(VARNEL_GOLDEN_DIR "/") +
                                        QString::fromLatin1(TraitsOf(ReportKind(kind)).windowName) +
                                        QStringLiteral(".txt"),
                                    &message))
            QFAIL(qPrintable(message));
        QVERIFY(dialogs_->shown().isEmpty());
    }

    // Hidden fields keep their slot; widths come from the settings when a usable one is there.
    void buildFromLayout()
    {
        folder_->setLayout("deals_struct_client.xml",
                           {"Name=\"Participant\" Title=\"Участник\" Width=\"1300\"",
                            "Name=\"Secret\" Title=\"Скрыто\" Visible=\"0\"",
                            "Name=\"Price\" Title=\"Цена\" Width=\"wide\" Align=\"R\" Type=\"N\"",
                            "Name=\"Side\" Title=\"Сторона\" Width=\"900\" Align=\"C\"",
                            "Name=\"Stored\" Title=\"С сохраненной\" Width=\"900\""});
        WriteSetting(QStringLiteral("Grid_Reports"), QStringLiteral("Side"), QStringLiteral("0"));
        WriteSetting(QStringLiteral("Grid_Reports"), QStringLiteral("Stored"),
                     QStringLiteral("2100"));
        Window w = open(ReportKind::Deals);
        const ReportModel& m = w->model();
        QCOMPARE(m.columnCount(), 5);
        QCOMPARE(m.column(0).widthTwips, 500);
        QCOMPARE(m.column(2).name, QStringLiteral("Price"));
        QCOMPARE(m.column(2).slot, 2);
        QCOMPARE(m.column(2).widthTwips, 1000);
        QCOMPARE(m.column(3).widthTwips, 900);  // a stored 0 is no width
        QCOMPARE(m.column(4).widthTwips, 2100); // a stored width wins
        QVERIFY(!w->txtEdit(1)->isVisibleTo(w.get()));
        QVERIFY(!w->lblEdit(1)->isVisibleTo(w.get()));
        QCOMPARE(w->lblEdit(2)->text(), QStringLiteral("Цена   "));
        QCOMPARE(w->lblEdit(2)->property("tag").toString(), QStringLiteral("Price"));
        QCOMPARE(w->txtEdit(2)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        // Centred columns keep a left-justified editor.
        QCOMPARE(w->txtEdit(3)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
        QCOMPARE(m.headerData(3, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() &
                     Qt::AlignHorizontal_Mask,
                 Qt::AlignHCenter);
        QCOMPARE(w->grid()->horizontalHeader()->sectionSize(4),
                 TwipsToPixels(2100, w->logicalDpiX()));
        // The layout's initial values only: the configured participant is not filled in yet.
        QCOMPARE(w->txtEdit(0)->text(), QString());
    }

    void defaultParticipant_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("frmReport") << int(ReportKind::Deals);
        QTest::newRow("frmReportRepo") << int(ReportKind::Repo);
    }

    // The configured participant fills an empty Participant field when a deal is added, changed
    // or shown and when the fields are cleared; a window just built, or one that loaded a
    // report without deals, shows the layout's initial value.
    void defaultParticipant()
    {
        QFETCH(int, kind);
        Window w = open(ReportKind(kind));
        const QString deals = kind == int(ReportKind::Repo) ? "RepoDeals" : "Deals";
        QCOMPARE(get(w, "Participant"), QString());
        const QString empty = folder_->file(QStringLiteral("empty.xml"));
        WriteBytes(empty, ("<" + deals + " Language=\"RU\" />").toUtf8());
        w->LoadFile(empty);
        QCOMPARE(w->model().rows(), 0);
        QCOMPARE(get(w, "Participant"), QString());
        QVERIFY(dialogs_->shown().isEmpty());

        w->clearFields();
        QCOMPARE(get(w, "Participant"), QStringLiteral("MC0001"));
        set(w, "Participant", QString());
        fillDeal(w, QStringLiteral("R-1"));
        w->addDeal();
        const int participant = w->model().columnOfName(QStringLiteral("Participant"));
        QCOMPARE(w->model().cell(0, participant), QStringLiteral("MC0001"));
        set(w, "Participant", QString());
        w->changeSelectedDeal();
        QCOMPARE(get(w, "Participant"), QStringLiteral("MC0001"));
        QVERIFY(dialogs_->shown().isEmpty());

        // A deal of a file without a participant is shown with the configured one; its cell
        // keeps what the file had.
        const QString one = folder_->file(QStringLiteral("one.xml"));
        WriteBytes(one, ("<" + deals + "><d Reference=\"X\" /></" + deals + ">").toUtf8());
        w->LoadFile(one);
        QCOMPARE(w->model().cell(0, participant), QString());
        QCOMPARE(get(w, "Participant"), QStringLiteral("MC0001"));
        w->model().clearRows();
    }

    void layoutFailures_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("layout"); // empty: no layout file
        QTest::addColumn<QString>("messagePart");
        const int deals = int(ReportKind::Deals);
        QTest::newRow("missing") << deals << QByteArray() << " не найден";
        QTest::newRow("malformed") << deals << QByteArray("<x><y></x>") << "Строка: 1";
        QStringList many;
        for (int i = 0; i < 30; ++i)
            many << QStringLiteral("Name=\"F%1\"").arg(i);
        QTest::newRow("30 fields for 29 slots") << deals << layoutXml(many) << "полей в нем 30";
        QTest::newRow("25 fields for 24 slots")
            << int(ReportKind::Repo) << layoutXml(many.mid(0, 25)) << "полей в нем 25";
        QTest::newRow("semicolon") << deals << layoutXml({"Name=\"A\" Format=\"0;0\""}) << "\";\"";
    }

    // A layout the window cannot show is reported once, and the window is marked (lblLoadFail
    // "1") so that the main window discards it instead of showing half a report: a layout with
    // more fields than the window has slots as well.
    void layoutFailures()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, layout);
        QFETCH(QString, messagePart);
        const QString path = folder_->file(QLatin1String(TraitsOf(ReportKind(kind)).layoutFile));
        QFile::remove(path);
        if (!layout.isEmpty())
            WriteBytes(path, layout);
        Window w = open(ReportKind(kind));
        QVERIFY(w->loadFailed());
        QCOMPARE(w->findChild<QLabel*>(QStringLiteral("lblLoadFail"))->text(), QStringLiteral("1"));
        QCOMPARE(dialogs_->shown().size(), 1);
        QCOMPARE(dialogs_->last().icon, MessageIcon::Critical);
        QVERIFY2(lastText().contains(path) && lastText().contains(messagePart),
                 qPrintable(lastText()));
        // Closing it saves neither widths nor placement.
        w->close();
        QCOMPARE(ReadSetting(QStringLiteral("Grid_Reports"), QStringLiteral("1"), QString()),
                 QString());
    }

    void addChangeDelete()
    {
        Window w = open(ReportKind::Deals);
        w->setWindowTitle(QStringLiteral("[New Report 1]"));
        QVERIFY(!w->button("cmdEdit")->isEnabled());
        QVERIFY(!w->button("cmdDel")->isEnabled());
        w->changeSelectedDeal();
        QCOMPARE(lastText(), QStringLiteral("Не выбрана текущая сделка"));
        w->deleteSelectedDeal();
        QCOMPARE(lastText(), QStringLiteral("Не выбрана текущая сделка"));

        for (const char* ref : {"R-1", "R-2", "R-3"}) {
            fillDeal(w, QString::fromLatin1(ref));
            w->addDeal();
        }
        QCOMPARE(w->model().rows(), 3);
        QCOMPARE(w->windowTitle(), QStringLiteral("[New Report 1] * "));
        QVERIFY(w->isChanged());
        QCOMPARE(w->statusText(1), QStringLiteral("Записей: 3"));
        QCOMPARE(w->selectedRow(), 2);
        QVERIFY(w->button("cmdEdit")->isEnabled());

        // The same editors once more: the Reference is in the report already.
        const int shown = int(dialogs_->shown().size());
        w->addDeal();
        QCOMPARE(lastText(), QStringLiteral("(S52) Сделка участника MC0001 с внутренним номером "
                                            "R-3 уже существует в базе данных"));
        QCOMPARE(int(dialogs_->shown().size()), shown + 1);
        QCOMPARE(w->model().rows(), 3);

        // Change the selected row; its own Reference does not count against it.
        set(w, "Price", QStringLiteral("99.5"));
        w->changeSelectedDeal();
        QCOMPARE(int(dialogs_->shown().size()), shown + 1);
        const int price = w->model().columnOfName(QStringLiteral("Price"));
        QCOMPARE(w->model().cell(2, price), QStringLiteral("99.5"));
        QCOMPARE(w->windowTitle().count(QStringLiteral(" * ")), 1);
        // Changing it to another row's Reference is refused.
        set(w, "Reference", QStringLiteral("R-1"));
        w->changeSelectedDeal();
        QVERIFY(lastText().startsWith(QStringLiteral("(S52)")));
        QCOMPARE(w->model().cell(2, w->model().columnOfName(QStringLiteral("Reference"))),
                 QStringLiteral("R-3"));

        // Delete row 2 of 3: the former row 3 becomes row 2 and is shown.
        w->selectRow(1);
        dialogs_->answer(Answer::No);
        w->deleteSelectedDeal();
        QCOMPARE(lastText(), QStringLiteral("Удалить текущую сделку ?"));
        QCOMPARE(dialogs_->last().buttons, MessageButtons::YesNo);
        QCOMPARE(w->model().rows(), 3);
        dialogs_->answer(Answer::Yes);
        w->deleteSelectedDeal();
        QCOMPARE(w->model().rows(), 2);
        QCOMPARE(w->model().cell(1, 0), QStringLiteral("2"));
        QCOMPARE(w->model().cell(1, w->model().columnOfName(QStringLiteral("Reference"))),
                 QStringLiteral("R-3"));
        QCOMPARE(get(w, "Reference"), QStringLiteral("R-3"));
        QCOMPARE(w->statusText(1), QStringLiteral("Записей: 2"));

        // Deleting down to nothing leaves the editors as they were.
        for (int i = 0; i < 2; ++i) {
            w->selectRow(0);
            dialogs_->answer(Answer::Yes);
            w->deleteSelectedDeal();
        }
        QCOMPARE(w->model().rows(), 0);
        QCOMPARE(w->statusText(1), QStringLiteral("Записей: 0"));
        QCOMPARE(get(w, "Reference"), QStringLiteral("R-3"));
        QVERIFY(!w->button("cmdDel")->isEnabled());
    }

    void showAndClear()
    {
        Window w = open(ReportKind::Repo);
        fillDeal(w, QStringLiteral("R-1"));
        set(w, "Comment", QStringLiteral("первая"));
        w->addDeal();
        QCOMPARE(w->model().rows(), 1);
        w->clearFields();
        QCOMPARE(get(w, "Reference"), QString());
        QCOMPARE(get(w, "Qty"), QStringLiteral("0"));           // a number without a default
        QCOMPARE(get(w, "AccruedInt"), QStringLiteral("0.00")); // the default in its picture
        QCOMPARE(get(w, "Currency"), QStringLiteral("RUB"));
        QCOMPARE(get(w, "TradeDate"), QString()); // a date without a default empties
        QCOMPARE(get(w, "Participant"), QStringLiteral("MC0001"));
        w->showDealOfRow(0);
        QCOMPARE(get(w, "Reference"), QStringLiteral("R-1"));
        QCOMPARE(get(w, "Comment"), QStringLiteral("первая"));
        // A double click on empty space does nothing.
        w->clearFields();
        w->showDealAt(QPoint(5, 5000));
        QCOMPARE(get(w, "Reference"), QString());
    }

    void loadFile()
    {
        Window w = open(ReportKind::Deals);
        const QString missing = folder_->file(QStringLiteral("new.xml"));
        w->LoadFile(missing);
        QCOMPARE(w->windowTitle(), missing);
        QCOMPARE(w->fileName(), missing);
        QCOMPARE(w->statusText(1), QStringLiteral("Записей: 0"));

        const QString path = folder_->file(QStringLiteral("two.xml"));
        WriteBytes(path, "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<deals>\r\n"
                         "<deal Reference=\"A\" Price=\"1.5\" TradeDate=\"2024-03-07\" />\r\n"
                         "<deal Reference=\"B\" Extra=\"x\" />\r\n</deals>\r\n");
        w->LoadFile(path);
        QCOMPARE(w->model().rows(), 2);
        QCOMPARE(w->selectedRow(), 0);
        QCOMPARE(get(w, "Reference"), QStringLiteral("A"));
        QCOMPARE(get(w, "TradeDate"), QStringLiteral("07.03.2024"));
        QCOMPARE(w->statusText(1), QStringLiteral("Записей: 2"));
        QCOMPARE(w->statusText(2), QString());
        QVERIFY(!w->isChanged());
        // A deal without a date shows the layout's default, which the save refuses.
        QVERIFY(!w->SaveFile());
        QCOMPARE(lastText(), QStringLiteral("(C10) Недопустимый формат даты: %DATE%"));
        QCOMPARE(w->statusText(2), lastText());

        // A broken file: its text, no rows, a window still usable.
        WriteBytes(path, "<deals><deal Reference=\"A\"/><deal");
        w->LoadFile(path);
        QVERIFY(lastText().startsWith(QStringLiteral("Ошибка загрузки файла ") + path));
        QCOMPARE(w->model().rows(), 0);
        QCOMPARE(w->fileName(), path);
        fillDeal(w, QStringLiteral("R"));
        w->addDeal();
        QCOMPARE(w->model().rows(), 1);
    }

    // A big report comes into the grid in parts as it is read, beside the window: the same
    // rows, numbered, the first deal shown; a file cut short after its first parts leaves no
    // rows of it, however many had come in.
    void bigReportInParts_data()
    {
        QTest::addColumn<bool>("cut");
        QTest::newRow("whole file") << false;
        QTest::newRow("cut short near its end") << true;
    }
    void bigReportInParts()
    {
        QFETCH(bool, cut);
        Window w = open(ReportKind::Deals);
        const QString path = savedReport(w, 9500, QStringLiteral("big.xml"));
        QVERIFY(!path.isEmpty());
        if (cut) {
            QByteArray bytes = ReadBytes(path);
            bytes.chop(40);
            QVERIFY(WriteBytes(path, bytes));
        }
        Window again = open(ReportKind::Deals);
        QAbstractItemModelTester tester(&again->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&again->model(), &QAbstractItemModel::rowsInserted);
        again->LoadFile(path);
        QVERIFY2(inserted.size() >= (cut ? 1 : 4), qPrintable(QString::number(inserted.size())));
        QCOMPARE(again->fileName(), path);
        QVERIFY(!again->isChanged());
        if (cut) {
            QVERIFY(lastText().startsWith(QStringLiteral("Ошибка загрузки файла ") + path));
            QCOMPARE(again->model().rows(), 0);
            QCOMPARE(again->statusText(1), QStringLiteral("Записей: 0"));
            QVERIFY(again->document().fileUnreadable());
            return;
        }
        QCOMPARE(again->model().rows(), 9500);
        QCOMPARE(again->statusText(1), QStringLiteral("Записей: 9500"));
        QCOMPARE(again->statusText(2), QString());
        for (int r : {0, 1999, 2000, 7777, 9499})
            QCOMPARE(*again->model().rowCells(r), *w->model().rowCells(r));
        QCOMPARE(again->selectedRow(), 0);
        QCOMPARE(get(again, "Reference"), QStringLiteral("Reference0"));
        QVERIFY(dialogs_->shown().isEmpty());
    }

    // A numeric(26,10) price goes through the field check, the grid, the file and back
    // without a digit changed.
    void numbersSurvive()
    {
        Window w = open(ReportKind::Repo);
        fillDeal(w, QStringLiteral("R-1"));
        const int price = w->editor().slotOfName(QStringLiteral("Price"));
        w->txtEdit(price)->setText(QStringLiteral("1234567890123456.1234567891"));
        QVERIFY(w->checkField(price));
        QCOMPARE(w->txtEdit(price)->text(), QStringLiteral("1234567890123456.1234567891"));
        w->addDeal();
        const QString path = folder_->file(QStringLiteral("repo.xml"));
        QVERIFY(w->SaveFileAs(path));
        QVERIFY(ReadBytes(path).contains("Price=\"1234567890123456.1234567891\""));
        QVERIFY(ReadBytes(path).contains("<RepoDeals Language=\"RU\">"));
        Window again = open(ReportKind::Repo);
        again->LoadFile(path);
        QCOMPARE(get(again, "Price"), QStringLiteral("1234567890123456.1234567891"));
        const int column = w->model().columnOfName(QStringLiteral("Price"));
        QCOMPARE(again->model().cell(0, column), w->model().cell(0, column));
    }

    void saving()
    {
        Window w = open(ReportKind::Deals);
        w->setWindowTitle(QStringLiteral("[New Report 1]"));
        fillDeal(w, QStringLiteral("R-1"));
        w->addDeal();
        // Cancelled: false and nothing said.
        dialogs_->cancelNext();
        QVERIFY(!w->SaveFile());
        QCOMPARE(dialogs_->last().kind, DialogKind::SaveFile);
        QCOMPARE(dialogs_->last().title, QStringLiteral("Save Report As"));
        QCOMPARE(dialogs_->last().directory, folder_->file(QStringLiteral("work")));
        QCOMPARE(w->fileName(), QString());
        QVERIFY(w->isChanged());

        const QString path = folder_->file(QStringLiteral("work/r.xml"));
        dialogs_->choosePath(path);
        QVERIFY(w->SaveFile());
        QCOMPARE(w->windowTitle(), path);
        QVERIFY(!w->isChanged());
        const QByteArray saved = ReadBytes(path);
        QVERIFY(saved.startsWith("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n"));
        QVERIFY(saved.contains("<deal Participant=\"MC0001\" Issue=\"SU26238RMFS4\""));
        QVERIFY(saved.contains(QStringLiteral("TradeDate=\"%1\"")
                                   .arg(QDate::currentDate().toString(Qt::ISODate))
                                   .toLatin1()));
        // Save again: straight to the file, no dialog.
        const int shown = int(dialogs_->shown().size());
        QVERIFY(w->SaveFile());
        QCOMPARE(int(dialogs_->shown().size()), shown);
        QCOMPARE(ReadBytes(path), saved);

        // A report saved with no deals at all.
        Window empty = open(ReportKind::Deals);
        QVERIFY(empty->SaveFileAs(folder_->file(QStringLiteral("empty.xml"))));
        QCOMPARE(ReadBytes(folder_->file(QStringLiteral("empty.xml"))).split('\n').size(), 5);
    }

    // Saving over a report in place never destroys it: a refused date or a write that fails
    // half-way leaves the old file byte for byte and nothing beside it.
    void failedSaveKeepsTheOldFile()
    {
        Window w = open(ReportKind::Deals);
        const QString path = savedReport(w, 9500, QStringLiteral("big.xml"));
        QVERIFY(!path.isEmpty());
        const QByteArray before = ReadBytes(path);
        QVERIFY(before.size() > 1000000);
        const int date = w->model().columnOfName(QStringLiteral("TradeDate"));
        QStringList row = w->model().fieldCells(9000);
        row[date - 1] = QStringLiteral("31.04.2016");
        w->model().setDeal(9000, row);
        QVERIFY(!w->SaveFile());
        QCOMPARE(lastText(), QStringLiteral("(C10) Недопустимый формат даты: 31.04.2016"));
        QCOMPARE(ReadBytes(path), before);

        // A disk that fills up while the file is being written.
        row[date - 1] = QStringLiteral("01.05.2016");
        w->model().setDeal(9000, row);
        rlimit old{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
        filesave::IgnoreFileSizeSignal(); // as the client does where it starts
        rlimit small = old;
        small.rlim_cur = 256 * 1024;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const bool saved = w->SaveFile();
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!saved);
        QVERIFY2(lastText().startsWith(QStringLiteral("Не удалось записать файл ") + path),
                 qPrintable(lastText()));
        QCOMPARE(w->statusText(2), lastText());
        QCOMPARE(ReadBytes(path), before);
        QCOMPARE(
            QDir(folder_->path()).entryList({QStringLiteral(".*big*")}, QDir::Files | QDir::Hidden),
            QStringList());
    }

    void closePrompt()
    {
        {
            Window w = open(ReportKind::Deals);
            QVERIFY(w->close()); // unchanged: nothing asked
            QVERIFY(dialogs_->shown().isEmpty());
        }
        Window w = open(ReportKind::Deals);
        fillDeal(w, QStringLiteral("R-1"));
        w->addDeal();
        w->LoadFile(folder_->file(QStringLiteral("c.xml")));
        fillDeal(w, QStringLiteral("R-1"));
        w->addDeal();
        dialogs_->answer(Answer::Cancel);
        QVERIFY(!w->close());
        QCOMPARE(lastText(), QStringLiteral("Вы внесли изменения в отчет. Сохранить файл ") +
                                 folder_->file(QStringLiteral("c.xml")) + QStringLiteral(" ?"));
        QCOMPARE(dialogs_->last().buttons, MessageButtons::YesNoCancel);
        QCOMPARE(dialogs_->last().icon, MessageIcon::Question);
        // Yes with a save that fails keeps the window.
        QFile::remove(folder_->file(QStringLiteral("c.xml")));
        QDir(folder_->path()).mkdir(QStringLiteral("c.xml"));
        dialogs_->answer(Answer::Yes);
        QVERIFY(!w->close());
        QDir(folder_->path()).rmdir(QStringLiteral("c.xml"));
        dialogs_->answer(Answer::Yes);
        QVERIFY(w->close());
        QVERIFY(QFileInfo::exists(folder_->file(QStringLiteral("c.xml"))));
    }
};

QTEST_MAIN(ReportWindowTest)
#include "tst_reportwindow.moc"
