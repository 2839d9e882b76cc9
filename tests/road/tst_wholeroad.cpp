// The road a new user rehearses offline, driven through the main window with scripted dialogs
// while the loopback registry answers in this process: request the handbook and make it
// current, compose a report picking its instrument from the handbook, send it with a deal the
// registry rejects and read the receipt; see it in the sending journal, correct the rejected
// deal from there and send it again until it is accepted; revoke the accepted deal from the
// journal, and revoke it again by hand.
#include "core/AppContext.h"
#include "core/Settings.h"
#include "core/TempFiles.h"
#include "handbook/PickModel.h"
#include "handbook/window/dlgPickXMLFile.h"
#include "journal/Journal.h"
#include "journal/window/frmJournal.h"
#include "reports/ReportModel.h"
#include "reports/window/ReportEditorWindow.h"
#include "shell/ClientParts.h"
#include "shell/Startup.h"
#include "shell/frmMain.h"
#include "tests/support/MainWindowSuite.h"
#include "tests/support/Overrides.h"

#include "Log.h"
#include "Registry.h"

#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QStringDecoder>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

using namespace varnel;

namespace {

QString readCp1251(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    QStringDecoder decode("windows-1251");
    return decode(f.readAll());
}

bool copyTree(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    for (const QFileInfo& e :
         QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = to + u'/' + e.fileName();
        if (e.isDir() ? !copyTree(e.filePath(), target) : !QFile::copy(e.filePath(), target))
            return false;
    }
    return true;
}

} // namespace

class WholeRoadTest : public testing::MainWindowSuite {
    Q_OBJECT

    QTemporaryDir dir_;
    std::optional<testing::ScopedProgramFolder> program_;
    std::optional<testing::ScopedSettingsFile> settings_;
    std::optional<testing::ScopedPlacementRoot> placements_;
    loopback::Log log_;
    std::unique_ptr<loopback::Registry> registry_;

    QString path(const QString& name) const { return dir_.filePath(name); }

    // The answers the registry has put in the receive folder whose names start with prefix.
    QStringList answers(const QString& prefix) const
    {
        return QDir(path("receive"))
            .entryList({prefix + QStringLiteral("*.msg")}, QDir::Files, QDir::Name);
    }

    // The registry takes what the client placed in the send folder and answers it.
    void registryRound()
    {
        QVERIFY(registry_->poll() >= 1);
        QVERIFY(QDir(path("send")).entryList(QDir::Files).isEmpty());
    }

    ReportEditorWindow* activeReport() const
    {
        QMdiSubWindow* sub = main_->mdiArea()->currentSubWindow();
        return sub ? qobject_cast<ReportEditorWindow*>(sub->widget()) : nullptr;
    }

    // The sending journal's window, opened from the menu, once the journal has taken in what
    // has come.
    frmJournal* journalWindow()
    {
        main_->showSendingJournal();
        main_->findChild<journal::Journal*>()->waitForSync();
        QMdiSubWindow* sub = main_->mdiArea()->currentSubWindow();
        return sub ? qobject_cast<frmJournal*>(sub->widget()) : nullptr;
    }

    // The journal's row of the request sent as file, -1 when it is not listed.
    static int rowOf(frmJournal* w, const QString& file)
    {
        for (int r = 0; r < w->requests().rows(); ++r) {
            if (w->requests().entry(r).file == file)
                return r;
        }
        return -1;
    }

    // The file the last request was placed as, from the pipeline's notice.
    QString lastSent() const
    {
        return QFileInfo(dialogs_->last().text.section(QStringLiteral("\r\n"), 1)).fileName();
    }

    static void type(ReportEditorWindow* w, const char* field, const QString& text)
    {
        const int slot = w->editor().slotOfName(QString::fromLatin1(field));
        QVERIFY2(w->txtEdit(slot), field);
        w->txtEdit(slot)->setText(text);
        QVERIFY(w->checkField(slot)); // as when the user leaves the field
    }

    static QString field(ReportEditorWindow* w, const char* name)
    {
        return w->txtEdit(w->editor().slotOfName(QString::fromLatin1(name)))->text();
    }

    // Sends a revocation of one deal Id through the deal revocation dialog.
    void revoke(const QString& id)
    {
        dialogs_->onModal([id](QDialog& d) {
            d.findChild<QLineEdit*>(QStringLiteral("txtID"))->setText(id);
            d.findChild<QPushButton*>(QStringLiteral("cmdAdd"))->click();
            // The enabling timer's tick makes "Отправить запрос" available.
            QMetaObject::invokeMethod(&d, "showListEnabling");
            d.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
            return d.result();
        });
        dialogs_->answer(Answer::Yes); // "Отправить запрос на удаление указанных сделок ?"
        dialogs_->answer(Answer::Ok); // "Запрос RevokeDeals отправлен: ..."
        main_->revokeDeals();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QVERIFY(copyTree(QStringLiteral(VARNEL_SOURCE_DIR "/dist"), dir_.path()));
        // The receive folder starts empty: everything in it comes from the registry.
        QDir(path("receive")).removeRecursively();
        for (const char* sub : {"work", "send", "receive", "store", "temp"})
            QDir(dir_.path()).mkpath(QString::fromLatin1(sub));
        program_.emplace(dir_.path());
        settings_.emplace(path("varnel_client.ini"));
        placements_.emplace(path("store"));
        WriteSetting("Main", "Participant", "MC0001200000");
        SetTemporaryFolder(path("temp"));

        loopback::RegistryOptions options;
        options.send = path("send");
        options.receive = path("receive");
        options.archive = path("archive");
        options.handbook = QStringLiteral(VARNEL_SOURCE_DIR "/dist/receive/ISSUELIST_20250310.msg");
        log_.setEcho(false);
        registry_ = std::make_unique<loopback::Registry>(options, log_);
        QString error;
        QVERIFY2(registry_->start(error), qPrintable(error));

        QCOMPARE(openClient(RegisterClientParts, QStringLiteral("road-")), StartupResult::Running);
        main_->show();
    }

    void cleanupTestCase()
    {
        // Nothing left to ask about on close.
        for (QMdiSubWindow* sub : main_->mdiArea()->subWindowList()) {
            if (auto* w = qobject_cast<ReportEditorWindow*>(sub->widget()))
                w->model().clearRows();
        }
        const int unused = closeClient();
        registry_.reset();
        SetTemporaryFolder(QString());
        QCOMPARE(unused, 0);
    }

    void handbookRequestedAndMadeCurrent()
    {
        dialogs_->answer(Answer::Yes); // "Отправить запрос на получение справочника ... ?"
        dialogs_->answer(Answer::Ok); // "Запрос GetIssueList отправлен: ..."
        main_->requestHandbook();
        registryRound();
        const QStringList handbook = answers(QStringLiteral("GIL"));
        QCOMPARE(handbook.size(), 1);

        dialogs_->answer(Answer::Yes); // "Сделать найденный справочник текущим ?"
        main_->findHandbook();
        QCOMPARE(dialogs_->last().title, QStringLiteral("Подтверждение"));
        const QString current = ReadSetting("IssueList", "CurrentHandbookPath", QString());
        QCOMPARE(QFileInfo(current).absoluteFilePath(),
                 QFileInfo(path("work/") + handbook.first()).absoluteFilePath());
        QVERIFY(main_->StatusInfo(1).startsWith(QStringLiteral("Справочник ЦБ: ") + current));
    }

    void reportSentAndAnswered()
    {
        main_->newDealReport();
        ReportEditorWindow* w = activeReport();
        QVERIFY(w);

        // Deal 1: the instrument picked from the current handbook.
        QString picked;
        dialogs_->onModal([&picked](QDialog& d) {
            auto& pick = dynamic_cast<dlgPickXMLFile&>(d);
            pick.txtFind()->setText(QStringLiteral("SU"));
            picked = pick.model()->cellAt(pick.lvGrid()->currentIndex().row(), 0).toString();
            pick.pickSelectedRow();
            return int(QDialog::Accepted);
        });
        w->enterField(w->editor().slotOfName(QStringLiteral("Issue")));
        w->pickIntoField();
        QVERIFY(picked.startsWith(QStringLiteral("SU")));
        picked_ = picked;
        QCOMPARE(field(w, "Issue"), picked);
        QVERIFY(!field(w, "ISIN").isEmpty());
        type(w, "Agreement", QStringLiteral("Д-1/26"));
        type(w, "Reference", QStringLiteral("IN-0001"));
        type(w, "Price", QStringLiteral("101.25"));
        type(w, "Qty", QStringLiteral("10"));
        w->addDeal();
        // Deal 2: an instrument the registry's handbook does not know.
        type(w, "Issue", QStringLiteral("NO-SUCH-ISSUE"));
        type(w, "ISIN", QString());
        type(w, "Agreement", QStringLiteral("Д-2/26"));
        type(w, "Reference", QStringLiteral("IN-0002"));
        w->addDeal();
        QCOMPARE(w->model().rowCount(), 2);

        dialogs_->answer(Answer::Yes); // "Отправить данный отчет ?"
        dialogs_->answer(Answer::Ok);  // "Запрос Deals отправлен: ..."
        main_->sendReport();
        registryRound();
        const QStringList receipts = answers(QStringLiteral("DL"));
        QCOMPARE(receipts.size(), 1);
        const QString receipt = readCp1251(path("receive/") + receipts.first());
        QVERIFY2(receipt.contains(QStringLiteral("Accepted=\"1\" Rejected=\"1\"")),
                 qPrintable(receipt));
        const QRegularExpressionMatch accepted =
            QRegularExpression(
                QStringLiteral("<Receipt N=\"1\" Id=\"(\\d+)\"[^>]*Status=\"Accepted\""))
                .match(receipt);
        QVERIFY2(accepted.hasMatch(), qPrintable(receipt));
        QVERIFY(receipt.contains(QStringLiteral("Code=\"S14\"")));
        dealId_ = accepted.captured(1);
        reportFile_ = lastSent();

        // The receipt opens in the message viewer as a receipts message.
        dialogs_->choosePath(path("receive/") + receipts.first());
        main_->browseIncomingMessages();
        ChildWindow* viewer = main_->activeChild();
        QVERIFY(viewer && viewer->childKind() == ChildKind::BrowseXML);
        // Here the browser engine's plugin is not beside the program: the viewer shows the
        // page in its plain view, and says so once in the status bar.
        QVERIFY2(main_->statusBar()->currentMessage().startsWith(
                     QStringLiteral("Модуль просмотра страниц не загружен")),
                 qPrintable(main_->statusBar()->currentMessage()));
        main_->statusBar()->clearMessage();
        dialogs_->choosePath(path("receive/") + receipts.first());
        main_->browseIncomingMessages();
        QCOMPARE(main_->statusBar()->currentMessage(), QString());
    }

    void rejectedDealSeenInTheJournal()
    {
        frmJournal* w = journalWindow();
        QVERIFY(w);
        // The first time, no larger than its area where it can be (the journal's own default
        // size took no heed of a small screen's area and left its buttons out of sight).
        const QMdiSubWindow* sub = main_->mdiArea()->currentSubWindow();
        const QSize area = main_->mdiArea()->viewport()->size();
        QCOMPARE(sub->size(), sub->sizeHint().boundedTo(area).expandedTo(sub->minimumSizeHint()));
        // Newest first: the report, then the handbook request, each with its answer.
        QCOMPARE(w->requests().rows(), 2);
        QCOMPARE(w->requests().entry(0).file, reportFile_);
        QCOMPARE(w->requests().entry(0).accepted, 1);
        QCOMPARE(w->requests().entry(0).rejected, 1);
        QCOMPARE(w->requests().entry(1).kind, QStringLiteral("GetIssueList"));
        QCOMPARE(w->requests().entry(1).accepted, 1);
        // The newest request is chosen, its deals below.
        QCOMPARE(w->deals().rows(), 2);
        QCOMPARE(w->deals().deal(0).registryId, dealId_);
        QCOMPARE(w->deals().deal(1).code, QStringLiteral("S14"));
        QVERIFY(w->button(QStringLiteral("cmdCorrect"))->isEnabled());
    }

    void rejectedDealCorrectedAndSentAgain()
    {
        frmJournal* w = journalWindow();
        w->button(QStringLiteral("cmdCorrect"))->click();
        // A new report window holds the rejected deal, ready to correct.
        ReportEditorWindow* report = activeReport();
        QVERIFY(report);
        QCOMPARE(report->windowTitle(), QStringLiteral("[New Report 2] * "));
        QCOMPARE(report->model().rowCount(), 1);
        // The deal is chosen and shown at once: "изменить" needs no click on the grid first.
        QCOMPARE(report->selectedRow(), 0);
        QCOMPARE(field(report, "Agreement"), QStringLiteral("Д-2/26"));
        QCOMPARE(field(report, "Issue"), QStringLiteral("NO-SUCH-ISSUE"));
        type(report, "Issue", picked_);
        report->changeSelectedDeal();
        QCOMPARE(report->model().cell(0, report->model().columnOfName(QStringLiteral("Issue"))),
                 picked_);

        dialogs_->answer(Answer::Yes); // "Отправить данный отчет ?"
        dialogs_->answer(Answer::Ok);  // "Запрос Deals отправлен: ..."
        main_->sendReport();
        const QString corrected = lastSent();
        registryRound();
        w = journalWindow();
        QCOMPARE(w->requests().entry(0).file, corrected);
        QCOMPARE(w->requests().entry(0).accepted, 1);
        QCOMPARE(w->requests().entry(0).rejected, 0);
        QCOMPARE(w->deals().deal(0).agreement, QStringLiteral("Д-2/26"));
        QVERIFY(!w->deals().deal(0).registryId.isEmpty());
    }

    void acceptedDealRevokedFromTheJournal()
    {
        frmJournal* w = journalWindow();
        w->selectRequest(rowOf(w, reportFile_));
        w->selectDeals({0});
        QString listed;
        dialogs_->onModal([&listed](QDialog& d) {
            auto* list = d.findChild<QTableView*>(QStringLiteral("lvDeals"));
            for (int c = 0; c < 5; ++c)
                listed += list->model()->index(0, c).data().toString() + u'|';
            d.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
            return d.result();
        });
        dialogs_->answer(Answer::Yes); // "Отправить запрос на удаление указанных сделок ?"
        dialogs_->answer(Answer::Ok); // "Запрос RevokeDeals отправлен: ..."
        w->button(QStringLiteral("cmdRevoke"))->click();
        QCOMPARE(listed, dealId_ + QStringLiteral("|Д-1/26|IN-0001|MC0001200000||"));
        registryRound();
        const QStringList receipts = answers(QStringLiteral("RD"));
        QCOMPARE(receipts.size(), 1);
        QVERIFY(readCp1251(path("receive/") + receipts.first())
                    .contains(QStringLiteral("Status=\"Accepted\"")));

        w = journalWindow();
        QCOMPARE(w->requests().entry(0).kind, QStringLiteral("RevokeDeals"));
        QCOMPARE(w->requests().entry(0).accepted, 1);
        w->selectRequest(rowOf(w, reportFile_));
        QCOMPARE(w->deals().index(0, journal::DealListModel::Outcome).data().toString(),
                 QStringLiteral("принята, удалена в реестре"));
        w->selectDeals({0});
        QVERIFY(!w->button(QStringLiteral("cmdRevoke"))->isEnabled());
    }

    void dealRevokedOnlyOnce()
    {
        // The same deal again, by hand: the registry has it revoked already.
        QVERIFY(!dealId_.isEmpty());
        revoke(dealId_);
        registryRound();
        const QStringList both = answers(QStringLiteral("RD"));
        QCOMPARE(both.size(), 2);
        QString second;
        for (const QString& name : both) {
            const QString text = readCp1251(path("receive/") + name);
            if (text.contains(QStringLiteral("Code=")))
                second = text;
        }
        QVERIFY2(second.contains(QStringLiteral("Code=\"S81\"")), qPrintable(second));
        frmJournal* w = journalWindow();
        QCOMPARE(w->requests().entry(0).rejected, 1);
        QCOMPARE(w->deals().deal(0).code, QStringLiteral("S81"));
    }

private:
    QString dealId_;
    QString reportFile_;
    QString picked_;
};

QTEST_MAIN(WholeRoadTest)
#include "tst_wholeroad.moc"
