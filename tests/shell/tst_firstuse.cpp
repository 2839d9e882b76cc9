// The client as a new user meets it: the windows of every part in the main window, on a program
// folder of the shipped files with nothing stored from an earlier run, driven through the main
// window's commands and the dialog facade.
#include "core/AppContext.h"
#include "core/PickSeam.h"
#include "core/SettingKeys.h"
#include "core/Settings.h"
#include "core/Values.h"
#include "handbook/window/dlgPick.h"
#include "handbook/window/dlgPickXMLFile.h"
#include "journal/Journal.h"
#include "reports/ReportModel.h"
#include "reports/window/ReportEditorWindow.h"
#include "revoke/window/RevocationDialog.h"
#include "shell/Startup.h"
#include "shell/frmMain.h"
#include "shell/frmOptions.h"
#include "tests/support/MainWindowSuite.h"
#include "tests/support/ProgramFolder.h"
#include "text/window/frmDocument.h"
#include "ui/WindowPlacement.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTranslator>
#include <QtTest>

#include <algorithm>

using namespace varnel;

namespace {

// The patterns of each entry of a file dialog's filter ("xml-files (*.xml);;all files (*)").
QList<QStringList> filterPatterns(const QString& filter)
{
    QList<QStringList> entries;
    static const QRegularExpression patterns(QStringLiteral("\\(([^)]*)\\)\\s*$"));
    for (const QString& entry : filter.split(QStringLiteral(";;"))) {
        const QRegularExpressionMatch m = patterns.match(entry);
        entries.append(m.hasMatch() ? m.captured(1).split(u' ', Qt::SkipEmptyParts)
                                    : QStringList());
    }
    return entries;
}

// What a new user types into a deal: a participant code and an ISIN of 12 characters, a
// registry's dates and amounts, a counterparty's name.
const QHash<QString, QString>& usualValues()
{
    static const QHash<QString, QString> values = {
        {"Participant", "MC0000000000"},
        {"Issue", "RU000A0JX0J2"},
        {"ISIN", "RU000A0JX0J2"},
        {"RegNum", "4-01-00000-A"},
        {"Agreement", "ДГ-2025/000000"},
        {"Reference", "REF-2025-000000"},
        {"TradeDate", "31.12.2025"},
        {"SettleDate", "31.12.2025"},
        {"SettleDate1", "31.12.2025"},
        {"SettleDate2", "31.12.2025"},
        {"Side", "B"},
        {"Counterparty", "MC0000000000"},
        {"CounterpartyName", "ООО «Финансовая компания»"},
        {"Price", "1000.2500"},
        {"Currency", "RUB"},
        {"SettlCurrency", "RUB"},
        {"Qty", "1000000"},
        {"QtyFrac", "0.5"},
        {"Amount", "1,000,250,000.00"},
        {"SettlAmount", "1,000,250,000.00"},
        {"RepurchaseAmount", "1,012,345,678.00"},
        {"AccruedInt", "12,345.67"},
        {"RepoDays", "365"},
        {"RepoRate", "12.5"},
        {"Discount", "10.00"},
        {"Settle", "1"},
        {"Block", "0"},
        {"TradePlace", "OTC"},
        {"Comment", "Примечание к сделке"},
    };
    return values;
}

// Each column of the view shows its title and the given share of its cells whole.
QString cutColumns(QTableView& view, double share)
{
    QStringList cut;
    QCoreApplication::processEvents();
    const QAbstractItemModel* model = view.model();
    for (int c = 0; c < model->columnCount(); ++c) {
        if (view.isColumnHidden(c))
            continue;
        QList<int> cells;
        for (int r = 0; r < model->rowCount(); ++r) {
            const QString text = model->index(r, c).data().toString();
            const int margin =
                view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
            cells.append(view.fontMetrics().horizontalAdvance(text) + 2 * margin +
                         (view.showGrid() ? 1 : 0));
        }
        std::sort(cells.begin(), cells.end());
        const int cell = cells.isEmpty() ? 0 : cells.at(int((cells.size() - 1) * share));
        const int title = view.horizontalHeader()->sectionSizeHint(c);
        const int width = view.horizontalHeader()->sectionSize(c);
        if (width < std::max(title, cell))
            cut << QStringLiteral("%1: %2 px, title %3, value %4 (%5 twips needed)")
                       .arg(model->headerData(c, Qt::Horizontal).toString())
                       .arg(width)
                       .arg(title)
                       .arg(cell)
                       .arg(int(std::ceil(std::max(title, cell) * 1440.0 / view.logicalDpiX())));
    }
    return cut.join(QStringLiteral("; "));
}

} // namespace

class FirstUseTest : public testing::MainWindowSuite {
    Q_OBJECT

    std::unique_ptr<testing::TestProgramFolder> folder_;

    QAction* act(const char* name) const
    {
        return main_->findChild<QAction*>(QString::fromLatin1(name));
    }
    QMdiSubWindow* current() const { return main_->mdiArea()->currentSubWindow(); }
    ReportEditorWindow* newReport(bool repo = false)
    {
        main_->pressToolbarButton(repo ? QStringLiteral("NewRepoReport")
                                       : QStringLiteral("NewReport"));
        return qobject_cast<ReportEditorWindow*>(current()->widget());
    }
    frmDocument* openText(const QString& name, const QByteArray& text = "text\n")
    {
        const QString path = folder_->work(name);
        testing::WriteBytes(path, text);
        dialogs_->choosePath(path);
        act("mnuFileOpen")->trigger();
        return qobject_cast<frmDocument*>(current()->widget());
    }
    // The request of the file dialog shown last.
    DialogRequest lastFileDialog() const
    {
        for (qsizetype i = dialogs_->shown().size() - 1; i >= 0; --i) {
            if (dialogs_->shown().at(i).kind != DialogKind::Message)
                return dialogs_->shown().at(i);
        }
        return {};
    }

private slots:
    void initTestCase()
    {
        // The client holds a translator of Qt's own texts beside its own.
        QCoreApplication::installTranslator(new QTranslator(qApp));
    }

    void init()
    {
        QFile shipped(QStringLiteral(VARNEL_SOURCE_DIR "/dist/varnel_client.ini"));
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        folder_ = std::make_unique<testing::TestProgramFolder>(
            QString::fromLatin1(shipped.readAll()).split(QStringLiteral("\r\n")));
        folder_->useShippedLayouts();
        QVERIFY(QFile::copy(QStringLiteral(VARNEL_SOURCE_DIR "/dist/issuelist_pick.xml"),
                            folder_->file(QStringLiteral("issuelist_pick.xml"))));
        QCOMPARE(openClient(), StartupResult::Running);
        // The first start on a screen of 1600 x 1000.
        main_->setGeometry(FirstStartMainGeometry(QRect(0, 0, 1600, 1000), QSize()));
        main_->show();
        QCoreApplication::processEvents();
    }

    void cleanup()
    {
        closeClient();
        folder_.reset();
    }

    // Every file dialog offers every file under its "all files" entry (a name without a dot
    // included), opens where the user keeps such files, and gives a name typed without a
    // suffix the suffix of its files.
    void everyFileDialogShowsEveryFile_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("folder"); // under the program folder; "-": none given
        QTest::addColumn<QString>("suffix");
        QTest::newRow("open report") << "Загрузить отчет из файла"
                                     << "work"
                                     << "";
        QTest::newRow("open report, no work folder") << "Загрузить отчет из файла"
                                                     << "-"
                                                     << "";
        QTest::newRow("open repo report") << "Загрузить отчет РЕПО из файла"
                                          << "work"
                                          << "";
        QTest::newRow("save report as") << "Сохранить отчет в файле"
                                        << "work"
                                        << "xml";
        QTest::newRow("save a new report") << "Save Report As"
                                           << "work"
                                           << "xml";
        QTest::newRow("open text") << "Open"
                                   << "-"
                                   << "";
        QTest::newRow("save text as") << "Save As"
                                      << "-"
                                      << "txt";
        QTest::newRow("open message") << "Открыть сообщение"
                                      << "receive"
                                      << "";
        QTest::newRow("choose stylesheet") << "Файл-схема уведомления о приеме отчетов"
                                           << "-"
                                           << "";
    }
    void everyFileDialogShowsEveryFile()
    {
        QFETCH(QString, title);
        QFETCH(QString, folder);
        QFETCH(QString, suffix);
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        if (tag == QStringLiteral("open report, no work folder")) {
            // The sending journal's first round writes under the work folder on a thread of
            // its own: it ends before the folder goes.
            main_->findChild<journal::Journal*>()->waitForSync();
            QVERIFY(QDir(folder_->work()).removeRecursively());
        }
        if (tag.contains(QStringLiteral("report as")) || tag.contains(QStringLiteral("new report")))
            newReport();
        if (tag == QStringLiteral("save text as"))
            openText(QStringLiteral("note.txt"));
        dialogs_->cancelNext();
        if (tag.startsWith(QStringLiteral("open report")))
            act("mnuReportOpen")->trigger();
        else if (tag == QStringLiteral("open repo report"))
            main_->pressToolbarButton(QStringLiteral("OpenRepoReport"));
        else if (tag == QStringLiteral("save report as"))
            act("mnuReportSaveAs")->trigger();
        else if (tag == QStringLiteral("save a new report"))
            act("mnuReportSave")->trigger();
        else if (tag == QStringLiteral("open text"))
            act("mnuFileOpen")->trigger();
        else if (tag == QStringLiteral("save text as"))
            act("mnuFileSaveAs")->trigger();
        else if (tag == QStringLiteral("open message"))
            act("mnuEDIBrowseIn")->trigger();
        else {
            dialogs_->clear();
            dialogs_->onModal([this](QDialog& dialog) {
                dialogs_->cancelNext();
                dialog.findChild<QPushButton*>(QStringLiteral("cmdDealsSchema"))->click();
                return int(QDialog::Rejected);
            });
            act("mnuOptions")->trigger();
        }
        const DialogRequest r = lastFileDialog();
        QCOMPARE(r.title, title);
        QCOMPARE(r.defaultSuffix, suffix);
        if (folder == u'-')
            QVERIFY2(r.directory.isEmpty(), qPrintable(r.directory));
        else
            QCOMPARE(QDir(r.directory), QDir(folder_->file(folder)));
        const QList<QStringList> entries = filterPatterns(r.filter);
        QVERIFY2(!entries.isEmpty(), qPrintable(r.filter));
        QCOMPARE(entries.last(), QStringList{QStringLiteral("*")});
        for (const QStringList& patterns : entries)
            QVERIFY2(!patterns.contains(QStringLiteral("*.*")), qPrintable(r.filter));
        QCOMPARE(dialogs_->pending(), 0);
    }

    // A report saved under a name typed without ".xml" is written with it, and the open dialog
    // shows it under its first entry; a second report saved under that name asks first.
    void savedReportIsFoundAgain()
    {
        ReportEditorWindow* report = newReport();
        dialogs_->choosePath(folder_->work(QStringLiteral("отчёт_1")));
        act("mnuReportSave")->trigger();
        const QString saved = folder_->work(QStringLiteral("отчёт_1.xml"));
        QVERIFY(QFileInfo::exists(saved));
        QVERIFY(!QFileInfo::exists(folder_->work(QStringLiteral("отчёт_1"))));
        QCOMPARE(report->fileName(), saved);
        const QByteArray written = testing::ReadBytes(saved);

        dialogs_->cancelNext();
        act("mnuReportOpen")->trigger();
        const QList<QStringList> entries = filterPatterns(lastFileDialog().filter);
        QVERIFY(QDir::match(entries.first(), QStringLiteral("отчёт_1.xml")));
        QVERIFY(QDir::match(entries.last(), QStringLiteral("отчёт_2")));

        newReport();
        dialogs_->choosePath(folder_->work(QStringLiteral("отчёт_1")));
        dialogs_->answer(Answer::No);
        act("mnuReportSave")->trigger();
        QCOMPARE(dialogs_->last().text,
                 QStringLiteral("Файл ") + saved + QStringLiteral(" уже существует. Заменить ?"));
        QCOMPARE(testing::ReadBytes(saved), written);
    }

    // With nothing stored, a child window opens whole in the frame: the report's editor panel
    // and its buttons too.
    void childWindowsOpenWhole_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("deal report") << "deals";
        QTest::newRow("repo report") << "repo";
        QTest::newRow("text") << "text";
    }
    void childWindowsOpenWhole()
    {
        QFETCH(QString, kind);
        // Another window in front: the new one opens a title bar below and right of it.
        newReport();
        QWidget* window =
            kind == u"text" ? static_cast<QWidget*>(openText("a.txt")) : newReport(kind == u"repo");
        QCoreApplication::processEvents();
        QWidget* viewport = main_->mdiArea()->viewport();
        const QRect visible = viewport->rect();
        QVERIFY(visible.contains(current()->geometry()));
        QVERIFY(current()->width() > 600 && current()->height() > 400);
        for (QWidget* part : window->findChildren<QWidget*>()) {
            if (part->isVisible() && (qobject_cast<QPushButton*>(part) ||
                                      part->objectName() == QStringLiteral("grpEdit")))
                QVERIFY2(visible.contains(QRect(part->mapTo(viewport, QPoint()), part->size())),
                         qPrintable(part->objectName()));
        }
    }

    // While the window in front is maximized a new one opens maximized; the others keep their
    // sizes, and the one before comes back maximized when the new one closes. The main
    // window's title shows the child's title once.
    void maximizedFrameKeepsItsWindowsMaximized()
    {
        ReportEditorWindow* report = newReport();
        QMdiSubWindow* reportFrame = current();
        openText(QStringLiteral("b.txt"));
        QMdiSubWindow* textFrame = current();
        const QRect textPlace = textFrame->geometry();
        main_->mdiArea()->setActiveSubWindow(reportFrame);
        reportFrame->showMaximized();
        const QString base = MainWindowTitle(user_);
        QCOMPARE(main_->windowTitle(), base + QStringLiteral(" - [New Report 1]"));

        frmDocument* second = openText(QStringLiteral("c.txt"));
        QVERIFY(current()->isMaximized());
        QCOMPARE(current()->widget(), second);
        QCOMPARE(main_->windowTitle(), base + QStringLiteral(" - ") + folder_->work("c.txt"));
        QCOMPARE(textFrame->geometry(), textPlace);
        current()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(current()->widget(), report);
        QVERIFY(reportFrame->isMaximized());
    }

    // Exit asks every question before any window closes: Cancel keeps them all and the
    // program; once every answer lets go, they all close.
    void cancelledExitKeepsEveryWindow()
    {
        const QString savedPath = folder_->work(QStringLiteral("saved.xml"));
        ReportEditorWindow* changed = newReport();
        changed->document().appendDeals({QStringList()});
        QVERIFY(changed->isChanged());
        dialogs_->choosePath(savedPath);
        ReportEditorWindow* saved = newReport();
        QVERIFY(saved->SaveFile());
        frmDocument* edited = openText(QStringLiteral("edited.txt"));
        edited->body()->appendPlainText(QStringLiteral("more"));
        openText(QStringLiteral("plain.txt"));
        QCOMPARE(main_->mdiArea()->subWindowList().size(), 4);

        dialogs_->clear();
        dialogs_->answer(Answer::No);     // the changed report: not saved
        dialogs_->answer(Answer::Cancel); // the changed text: stay
        act("mnuFileExit")->trigger();
        QCOMPARE(dialogs_->shown().size(), 2);
        QVERIFY(main_->isVisible());
        QCOMPARE(main_->mdiArea()->subWindowList().size(), 4);
        QVERIFY(changed->isChanged());
        QVERIFY(edited->isModified());

        // The one answered before is asked again: nothing was decided while the frame stayed.
        dialogs_->answer(Answer::No);
        dialogs_->answer(Answer::Yes);
        act("mnuFileExit")->trigger();
        QCOMPARE(dialogs_->shown().size(), 4);
        QVERIFY(!main_->isVisible());
        QVERIFY(main_->mdiArea()->subWindowList().isEmpty());
        QVERIFY(testing::ReadBytes(folder_->work(QStringLiteral("edited.txt"))).contains("more"));
        QCOMPARE(QDir(folder_->work()).entryList({QStringLiteral("*.xml")}, QDir::Files),
                 QStringList{QStringLiteral("saved.xml")});
    }

    // Both revocation dialogs are a button away, beside each other on the toolbar.
    void revocationButtons_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("dialog");
        QTest::newRow("deals") << "RevokeDeal"
                               << "varnel::dlgRevokeDeal";
        QTest::newRow("repo deals") << "RevokeDealRepo"
                                    << "varnel::dlgRevokeDealRepo";
    }
    void revocationButtons()
    {
        QFETCH(QString, key);
        QFETCH(QString, dialog);
        QAction* button = main_->findChild<QAction*>(key);
        QVERIFY(button && button->isVisible() && button->isEnabled());
        QString shown;
        dialogs_->onModal([&shown](QDialog& d) {
            shown = QString::fromLatin1(d.metaObject()->className());
            return int(QDialog::Rejected);
        });
        button->trigger();
        QCOMPARE(shown, dialog);
        // The menu item of the repo dialog stays as it was: hidden.
        QVERIFY(!act("mnuRevokeDealRepo")->isVisible());
    }

    // The shipped layouts, pick definitions and lists show every title and a usual value
    // whole at their first start.
    void columnsShowTitlesAndValues_data()
    {
        QTest::addColumn<QString>("list");
        for (const char* list : {"deal report", "repo report", "deal revocation", "repo revocation",
                                 "currency pick", "handbook pick"})
            QTest::newRow(list) << QString::fromLatin1(list);
    }
    void columnsShowTitlesAndValues()
    {
        QFETCH(QString, list);
        QString cut;
        if (list.endsWith(QStringLiteral("report"))) {
            ReportEditorWindow* report = newReport(list.startsWith(QStringLiteral("repo")));
            QStringList fields;
            for (int c = 1; c < report->model().columnCount(); ++c)
                fields << usualValues().value(report->model().column(c).name, QStringLiteral("0"));
            report->model().appendDeal(fields);
            cut = cutColumns(*report->grid(), 1.0);
        } else if (list.endsWith(QStringLiteral("revocation"))) {
            std::unique_ptr<RevocationDialog> dialog;
            if (list.startsWith(QStringLiteral("repo")))
                dialog = std::make_unique<dlgRevokeDealRepo>(main_.get());
            else
                dialog = std::make_unique<dlgRevokeDeal>(main_.get());
            dialog->show();
            dialog->setFields({QStringLiteral("123456789012"), QStringLiteral("ДГ-2025/000000"),
                               QStringLiteral("REF-2025-000000"), QStringLiteral("S"),
                               QStringLiteral("MC0000000000"), QStringLiteral("ошибка ввода")});
            dialog->addToList();
            cut = cutColumns(*dialog->findChild<QTableView*>(QStringLiteral("lvDeals")), 1.0);
        } else {
            const bool handbook = list.startsWith(QStringLiteral("handbook"));
            if (handbook) {
                const QString copy = folder_->receive(QStringLiteral("ISSUELIST_20250310.msg"));
                QVERIFY(QFile::copy(
                    QStringLiteral(VARNEL_SOURCE_DIR "/dist/receive/ISSUELIST_20250310.msg"),
                    copy));
                settings::kCurrentHandbookPath.write(copy);
            }
            dialogs_->onModal([&cut](QDialog& dialog) {
                // Nine in ten of the handbook's values: its names may be longer than any list.
                cut = cutColumns(*dialog.findChild<QTableView*>(QStringLiteral("lvGrid")), 0.9);
                return int(QDialog::Rejected);
            });
            PickRequest request;
            request.parent = main_.get();
            request.settingsKey = QStringLiteral("Pick_Currency");
            if (handbook) {
                request.source = QStringLiteral("issuelist_pick.xml");
                dlgPickXMLFile::Pick(request);
            } else {
                ReportEditorWindow* report = newReport();
                const int currency = report->model().columnOfName(QStringLiteral("Currency"));
                request.source = report->model().column(currency).pick;
                dlgPick::Pick(request);
            }
            QCOMPARE(dialogs_->pending(), 0);
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut));
    }

    // Status panel 1 names the handbook's file; its whole path is in the tool tip.
    void handbookPanelNamesTheFile()
    {
        const QString deep = folder_->file(QStringLiteral(
            "receive/очень/длинный/путь/к/справочнику/ценных/бумаг/ISSUELIST_20250310.msg"));
        QVERIFY(QDir().mkpath(QFileInfo(deep).absolutePath()));
        QVERIFY(testing::WriteBytes(deep, "<IssueList />"));
        settings::kCurrentHandbookPath.write(deep);
        main_.reset();
        main_ = std::make_unique<frmMain>();
        const QString full = main_->StatusInfo(1);
        QVERIFY2(full.startsWith(QStringLiteral("Справочник ЦБ: ") + deep + QStringLiteral(" (")),
                 qPrintable(full));
        auto* panel = main_->findChild<QLabel*>(QStringLiteral("sbPanel1"));
        QCOMPARE(panel->text(), QStringLiteral("Справочник ЦБ: ISSUELIST_20250310.msg") +
                                    full.mid(full.lastIndexOf(QStringLiteral(" ("))));
        QCOMPARE(panel->toolTip(), full);
    }
};

QTEST_MAIN(FirstUseTest)
#include "tst_firstuse.moc"
