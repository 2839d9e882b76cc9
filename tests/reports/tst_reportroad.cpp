// The road of a report through the main window: new report, deals, save, close, open again,
// change, save and send; the file in the send folder is the saved document byte for byte.
#include "core/Settings.h"
#include "reports/ReportModel.h"
#include "reports/window/frmReport.h"
#include "shell/ClientParts.h"
#include "shell/Startup.h"
#include "shell/frmMain.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/ShellOverrides.h"

#include "MainWindowRoad.h"
#include "ReportTestSupport.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QUuid>
#include <QtTest>

#include <optional>

using namespace varnel;
using namespace varnel::test;

class ReportRoadTest : public MainWindowRoad {
    Q_OBJECT

    QAction* act(const char* name) const
    {
        return main_->findChild<QAction*>(QString::fromLatin1(name));
    }
    static void set(ReportEditorWindow* w, const char* name, const QString& text)
    {
        const int slot = w->editor().slotOfName(QString::fromLatin1(name));
        QLineEdit* box = w->txtEdit(slot);
        QVERIFY2(box, name);
        box->setText(text);
        // As when the user leaves the field.
        QVERIFY(w->checkField(slot));
    }
    static void addDeal(ReportEditorWindow* w, const QString& reference, const QString& price)
    {
        set(w, "Issue", QStringLiteral("SU26238RMFS4"));
        set(w, "Agreement", QStringLiteral("ДОГ/") + reference);
        set(w, "Reference", reference);
        set(w, "Price", price);
        set(w, "Qty", QStringLiteral("100"));
        set(w, "Currency", QStringLiteral("RUB"));
        if (w->kind() == ReportKind::Repo) {
            set(w, "Amount", QStringLiteral("10125.00"));
            set(w, "RepurchaseAmount", QStringLiteral("10200.00"));
            set(w, "RepoDays", QStringLiteral("14"));
        }
        w->addDeal();
    }
    QStringList sendFolder() const
    {
        return QDir(folder_->file(QStringLiteral("send"))).entryList(QDir::Files);
    }

private slots:
    void init()
    {
        startMainWindow({QStringLiteral("[Main]"), QStringLiteral("Participant=MC0001"),
                         QStringLiteral("Language=RU"), QStringLiteral("[Path]"),
                         QStringLiteral("FolderWork=.\\work"), QStringLiteral("FolderSend=.\\send"),
                         QStringLiteral("FolderReceive=.\\receive")});
    }

    void cleanup() { closeMainWindow(); }

    void road_data()
    {
        QTest::addColumn<bool>("repo");
        QTest::newRow("deals") << false;
        QTest::newRow("repo deals") << true;
    }

    void road()
    {
        QFETCH(bool, repo);
        const QString caption =
            repo ? QStringLiteral("[New Report REPO 1]") : QStringLiteral("[New Report 1]");
        (repo ? act("mnuReportNewRepo") : act("mnuReportNew"))->trigger();
        ReportEditorWindow* w = active();
        QVERIFY(w);
        QCOMPARE(w->objectName(), QLatin1String(repo ? "frmReportRepo" : "frmReport"));
        QCOMPARE(w->windowTitle(), caption);
        QVERIFY(act("mnuReportSave")->isEnabled());
        QVERIFY(act("mnuReportSend")->isEnabled());

        addDeal(w, QStringLiteral("R-1"), QStringLiteral("101.25"));
        addDeal(w, QStringLiteral("R-2"), QStringLiteral("99.5"));
        QCOMPARE(w->model().rows(), 2);
        QCOMPARE(w->windowTitle(), caption + QStringLiteral(" * "));
        QVERIFY(dialogs_->shown().isEmpty());

        // Save as, into the work folder the dialog starts in.
        const QString path = folder_->file(QStringLiteral("work/отчет 1.xml"));
        dialogs_->choosePath(path);
        act("mnuReportSaveAs")->trigger();
        QCOMPARE(dialogs_->last().title, QStringLiteral("Сохранить отчет в файле"));
        QCOMPARE(dialogs_->last().directory, folder_->file(QStringLiteral("work")));
        QCOMPARE(w->windowTitle(), path);
        const QByteArray first = ReadBytes(path);
        QVERIFY(first.contains(repo ? "<RepoDeal Participant=\"MC0001\""
                                    : "<deal Participant=\"MC0001\""));

        // Closing a saved report asks nothing.
        main_->mdiArea()->currentSubWindow()->close();
        QTRY_COMPARE(windows(), 0);
        QCOMPARE(dialogs_->shown().size(), 1);

        // Open it again, twice: the second time the open window comes to the front.
        dialogs_->choosePath(path);
        (repo ? act("mnuReportOpenRepo") : act("mnuReportOpen"))->trigger();
        w = active();
        QVERIFY(w);
        QCOMPARE(w->model().rows(), 2);
        QCOMPARE(w->windowTitle(), path);
        w->selectRow(1);
        w->showDealOfRow(1);
        set(w, "Price", QStringLiteral("102"));
        w->changeSelectedDeal();
        QCOMPARE(w->windowTitle(), path + QStringLiteral(" * "));
        dialogs_->choosePath(path);
        (repo ? act("mnuReportOpenRepo") : act("mnuReportOpen"))->trigger();
        QCOMPARE(windows(), 1);
        QCOMPARE(active(), w);
        // The other kind's command does not find it.
        dialogs_->choosePath(path);
        (repo ? act("mnuReportOpen") : act("mnuReportOpenRepo"))->trigger();
        QCOMPARE(windows(), 2);
        main_->mdiArea()->currentSubWindow()->close();
        QTRY_COMPARE(windows(), 1);
        main_->mdiArea()->setActiveSubWindow(main_->mdiArea()->subWindowList().first());

        // Save in place, then send: the sent file is the saved one byte for byte.
        act("mnuReportSave")->trigger();
        QCOMPARE(w->windowTitle(), path);
        const QByteArray saved = ReadBytes(path);
        QVERIFY(saved != first);
        QVERIFY(saved.contains("Price=\"102.00\""));
        // The export proposes the report's own name with the workbook's extension, beside it.
        dialogs_->cancelNext();
        act("mnuReportExport")->trigger();
        QCOMPARE(dialogs_->last().directory, folder_->file(QStringLiteral("work/отчет 1.xlsx")));
        dialogs_->answer(Answer::Yes);
        act("mnuReportSend")->trigger();
        const QStringList sent = sendFolder();
        QCOMPARE(sent.size(), 1);
        QVERIFY(sent.first().startsWith(repo ? QStringLiteral("DR") : QStringLiteral("DL")));
        QCOMPARE(ReadBytes(folder_->file(QStringLiteral("send/")) + sent.first()), saved);
        QVERIFY(dialogs_->texts().contains(QStringLiteral("Отправить данный отчет ?")));
        QVERIFY(dialogs_->last().text.startsWith(
            QStringLiteral("Запрос ") +
            (repo ? QStringLiteral("RepoDeals") : QStringLiteral("Deals")) +
            QStringLiteral(" отправлен:\r\n")));
        QCOMPARE(w->windowTitle(), path); // sending touches nothing of the report
    }

    // Sending does not check the report: a bad date stops the pipeline with the C10 text and
    // nothing reaches the send folder.
    void sendingAnUncheckedReport()
    {
        act("mnuReportNew")->trigger();
        ReportEditorWindow* w = active();
        QList<QStringList> rows{{"1"}};
        for (int c = 1; c < w->model().columnCount(); ++c)
            rows[0].append(w->model().column(c).type == u"D" ? QStringLiteral("31.04.2016")
                                                             : QString());
        w->model().resetRows(rows);
        dialogs_->answer(Answer::Yes);
        act("mnuReportSend")->trigger();
        QCOMPARE(dialogs_->texts().value(1),
                 QStringLiteral("(C10) Недопустимый формат даты: 31.04.2016"));
        QVERIFY(sendFolder().isEmpty());
    }

    // A report file that cannot be read opens empty; saving it then never writes the empty
    // report over the file unless the user chooses that file and says Yes to a question that
    // names what is lost. Without a Yes the file stays byte for byte.
    void unreadableReportIsNotSavedOver()
    {
        act("mnuReportNew")->trigger();
        const QString path = folder_->file(QStringLiteral("work/broken.xml"));
        addDeal(active(), QStringLiteral("R-1"), QStringLiteral("101.25"));
        QVERIFY(active()->SaveFileAs(path));
        active()->model().clearRows();
        main_->mdiArea()->currentSubWindow()->close();
        QTRY_COMPARE(windows(), 0);
        QByteArray bytes = ReadBytes(path);
        bytes.insert(bytes.indexOf("<deal ") + 3, '\x01'); // one bad byte
        QVERIFY(WriteBytes(path, bytes));
        dialogs_->clear();

        dialogs_->choosePath(path);
        act("mnuReportOpen")->trigger();
        ReportEditorWindow* w = active();
        QVERIFY(w);
        QVERIFY(dialogs_->last().text.startsWith(QStringLiteral("Ошибка загрузки файла ")));
        QCOMPARE(w->model().rows(), 0);
        QCOMPARE(w->fileName(), path);

        // Save asks for a name, as for a new report; cancelled, nothing is written.
        dialogs_->cancelNext();
        act("mnuReportSave")->trigger();
        QCOMPARE(dialogs_->last().kind, DialogKind::SaveFile);
        QCOMPARE(dialogs_->last().title, QStringLiteral("Save Report As"));
        QCOMPARE(ReadBytes(path), bytes);

        // The same file again: the question names the risk; No keeps the file.
        dialogs_->choosePath(path);
        dialogs_->answer(Answer::No);
        act("mnuReportSave")->trigger();
        QCOMPARE(dialogs_->last().icon, MessageIcon::Question);
        QVERIFY2(dialogs_->last().text.contains(path) &&
                     dialogs_->last().text.contains(QStringLiteral("не удалось загрузить")) &&
                     dialogs_->last().text.contains(QStringLiteral("будет потеряно")),
                 qPrintable(dialogs_->last().text));
        QCOMPARE(ReadBytes(path), bytes);
        // Save As onto it asks the same.
        dialogs_->answer(Answer::No);
        QVERIFY(!w->SaveFileAs(path));
        QCOMPARE(ReadBytes(path), bytes);

        // Another file: saved there, and the window belongs to it from then on.
        const QString other = folder_->file(QStringLiteral("work/other.xml"));
        dialogs_->choosePath(other);
        act("mnuReportSave")->trigger();
        QVERIFY(QFile::exists(other));
        QCOMPARE(w->fileName(), other);
        QCOMPARE(ReadBytes(path), bytes);

        // The user's own choice: opened again, the file is replaced after a Yes.
        dialogs_->choosePath(path);
        act("mnuReportOpen")->trigger();
        dialogs_->choosePath(path);
        dialogs_->answer(Answer::Yes);
        act("mnuReportSave")->trigger();
        QVERIFY(ReadBytes(path) != bytes);
        QVERIFY(!active()->isChanged());
    }

    void layoutFailureDiscardsTheWindow_data()
    {
        QTest::addColumn<bool>("repo");
        QTest::addColumn<int>("fields"); // 0: no layout file
        QTest::addColumn<QString>("messageEnd");
        QTest::newRow("no layout") << false << 0 << " не найден";
        QTest::newRow("30 fields for 29 slots")
            << false << 30 << "полей в нем 30, а окно отчета вмещает не больше 29";
        QTest::newRow("25 fields for 24 slots")
            << true << 25 << "полей в нем 25, а окно отчета вмещает не больше 24";
    }

    // A window whose layout it cannot build, a layout with more fields than it has slots among
    // them, is never shown half built: the failure is told once and its number is spent. A
    // layout that fills every slot opens.
    void layoutFailureDiscardsTheWindow()
    {
        QFETCH(bool, repo);
        QFETCH(int, fields);
        QFETCH(QString, messageEnd);
        const ReportKind kind = repo ? ReportKind::Repo : ReportKind::Deals;
        const char* layout = TraitsOf(kind).layoutFile;
        QStringList lines;
        for (int i = 0; i < fields; ++i)
            lines << QStringLiteral("Name=\"F%1\" Title=\"Поле %1\"").arg(i);
        if (fields == 0)
            QFile::remove(folder_->file(QLatin1String(layout)));
        else
            folder_->setLayout(layout, lines);
        QAction* command = act(repo ? "mnuReportNewRepo" : "mnuReportNew");
        command->trigger();
        QCOMPARE(windows(), 0);
        QCOMPARE(dialogs_->shown().size(), 1);
        QCOMPARE(dialogs_->last().icon, MessageIcon::Critical);
        QVERIFY2(dialogs_->texts().value(0).endsWith(messageEnd),
                 qPrintable(dialogs_->texts().value(0)));

        const int slotCount = TraitsOf(kind).slotCount;
        folder_->setLayout(layout, lines.mid(0, slotCount));
        if (fields == 0)
            folder_->useShippedLayouts();
        command->trigger();
        QCOMPARE(active()->windowTitle(), QString::fromLatin1(TraitsOf(kind).newCaption).arg(2));
        QCOMPARE(main_->newReportCount(kind), 2);
        QCOMPARE(active()->findChild<QLabel*>(QStringLiteral("lblLoadFail"))->text(),
                 QStringLiteral("0"));
        if (fields > 0)
            QVERIFY(active()->txtEdit(slotCount - 1)->isVisibleTo(active()));
        QCOMPARE(dialogs_->shown().size(), 1);
    }

    // A report window that becomes the active one puts the focus in its first field.
    void activationFocusesTheFirstField()
    {
        main_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main_.get()));
        act("mnuReportNew")->trigger();
        ReportEditorWindow* first = active();
        QTRY_COMPARE(QApplication::focusWidget(), first->txtEdit(0));
        first->txtEdit(5)->setFocus();
        QTRY_COMPARE(first->currentSlot(), 5);
        act("mnuReportNewRepo")->trigger();
        ReportEditorWindow* second = active();
        QTRY_COMPARE(QApplication::focusWidget(), second->txtEdit(0));
        main_->mdiArea()->setActiveSubWindow(main_->mdiArea()->subWindowList().first());
        QTRY_COMPARE(QApplication::focusWidget(), first->txtEdit(0));
        QCOMPARE(first->currentSlot(), 0);
    }

    // Closing the client asks about each changed report; Cancel keeps everything open.
    void closingTheClient()
    {
        act("mnuReportNewRepo")->trigger();
        addDeal(active(), QStringLiteral("R-1"), QStringLiteral("100"));
        dialogs_->answer(Answer::Cancel);
        QVERIFY(!main_->close());
        QCOMPARE(windows(), 1);
        // A report without a file is named by its caption.
        QCOMPARE(
            dialogs_->last().text,
            QStringLiteral("Вы внесли изменения в отчет. Сохранить файл [New Report REPO 1] ?"));
        dialogs_->answer(Answer::No);
        QVERIFY(main_->close());
        main_.reset();
    }
};

QTEST_MAIN(ReportRoadTest)
#include "tst_reportroad.moc"
