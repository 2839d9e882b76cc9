// The handbook's registrations with the main window: "Найти справочник ЦБ" and status panel 1,
// and the two pick lists behind the report editors' pick seam.
#include "HandbookTestSupport.h"

#include "core/PickSeam.h"
#include "handbook/PickModel.h"
#include "handbook/window/dlgPick.h"
#include "handbook/window/dlgPickXMLFile.h"
#include "reports/ReportModel.h"
#include "reports/window/ReportEditorWindow.h"
#include "shell/Startup.h"
#include "shell/frmMain.h"
#include "tests/support/MainWindowSuite.h"

#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTableView>
#include <QtTest>

using namespace varnel;
using namespace varnel::test;

class tst_HandbookParts : public testing::MainWindowSuite {
    Q_OBJECT

    std::unique_ptr<Sandbox> box_;

private slots:
    void init()
    {
        box_ = std::make_unique<Sandbox>();
        QCOMPARE(openClient(), StartupResult::Running);
    }

    void cleanup()
    {
        closeClient();
        box_.reset();
    }

    void findHandbookShowsItInTheStatusBar()
    {
        QCOMPARE(main_->StatusInfo(1), QStringLiteral("Справочник ЦБ не установлен"));
        QVERIFY(
            WriteBytes(box_->receive("ISSUELIST.msg"), HandbookXml({{{"Code", "SU26207RMFS9"}}})));
        dialogs_->answer(Answer::Yes);
        main_->findHandbook();
        const QString copy = box_->work("ISSUELIST.msg");
        QCOMPARE(main_->StatusInfo(1),
                 QStringLiteral("Справочник ЦБ: ") + copy + QStringLiteral(" (") +
                     GeneralDateTimeText(QFileInfo(copy).lastModified()) + u')');
        // The question names the file's date as the status bar does.
        QVERIFY(dialogs_->last().text.contains(
            GeneralDateTimeText(QFileInfo(box_->receive("ISSUELIST.msg")).lastModified())));

        // The command's failures carry the application title, not the main window's caption.
        dialogs_->clear();
        main_->findHandbook();
        QCOMPARE(dialogs_->last().title, kAppTitle);
        QCOMPARE(main_->StatusInfo(1).left(15), QStringLiteral("Справочник ЦБ: "));
    }

    void picksGoThroughTheSeam()
    {
        QVERIFY(QFile::copy(QStringLiteral(VARNEL_SOURCE_DIR "/dist/issuelist_pick.xml"),
                            box_->path("issuelist_pick.xml")));
        QVERIFY(WriteBytes(
            box_->work("h.msg"),
            HandbookXml({{{"Code", "B"}, {"ISIN", "RU000A0JX0J2"}, {"RegNum", "4B02-01-00001-A"}},
                         {{"Code", "A"}, {"ISIN", "RU0009029540"}, {"RegNum", "1-02-00002-B"}}})));
        WriteSetting("IssueList", "CurrentHandbookPath", box_->work("h.msg"));

        PickRequest request;
        request.source = QStringLiteral("issuelist_pick.xml");
        request.currentText = QStringLiteral("old");
        request.settingsKey = QStringLiteral("Pick_Issue");
        request.parent = main_.get();
        QCOMPARE(PickListOf(request.source), PickList::Handbook);
        dialogs_->onModal([](QDialog& d) {
            auto& pick = dynamic_cast<dlgPickXMLFile&>(d);
            pick.pickRowAt(pick.lvGrid()->visualRect(pick.model()->index(1, 0)).center());
            return int(QDialog::Accepted);
        });
        const QStringList lines = Pick(PickList::Handbook, request).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.value(0), QStringLiteral("B"));
        QCOMPARE(lines.value(3), QStringLiteral("RU000A0JX0J2"));
        QCOMPARE(lines.value(4), QStringLiteral("4B02-01-00001-A"));

        request.source = QStringLiteral("RUB\tРоссийский рубль|USD\tДоллар США");
        request.settingsKey = QStringLiteral("Pick_Currency");
        QCOMPARE(PickListOf(request.source), PickList::Fixed);
        dialogs_->onModal([](QDialog& d) {
            auto& pick = dynamic_cast<dlgPick&>(d);
            pick.pickRowAt(pick.lvGrid()->visualRect(pick.model()->index(1, 0)).center());
            return int(QDialog::Accepted);
        });
        QCOMPARE(Pick(PickList::Fixed, request), QStringLiteral("USD\r\nДоллар США"));

        // Esc: nothing picked, so the field keeps its text.
        dialogs_->onModal([](QDialog& d) {
            QTest::keyClick(&d, Qt::Key_Escape);
            return int(QDialog::Rejected);
        });
        QCOMPARE(Pick(PickList::Fixed, request), QString());
    }

    // The road of a pick as a user takes it with the shipped files: find the demo handbook,
    // open a deal report, pick an issue (Issue, ISIN and RegNum filled from the chosen row),
    // then a currency from its fixed list.
    void dealReportPicksFromTheShippedHandbook()
    {
        for (const char* name : {"deals_struct_client.xml", "issuelist_pick.xml"})
            QVERIFY(QFile::copy(QStringLiteral(VARNEL_SOURCE_DIR "/dist/") + name,
                                box_->path(QString::fromLatin1(name))));
        QVERIFY(
            QFile::copy(QStringLiteral(VARNEL_SOURCE_DIR "/dist/receive/ISSUELIST_20250310.msg"),
                        box_->receive("ISSUELIST_20250310.msg")));
        dialogs_->answer(Answer::Yes);
        main_->findHandbook();
        QVERIFY(main_->StatusInfo(1).contains(box_->work("ISSUELIST_20250310.msg")));

        main_->newDealReport();
        QMdiSubWindow* sub = main_->mdiArea()->currentSubWindow();
        QVERIFY(sub);
        auto* report = qobject_cast<ReportEditorWindow*>(sub->widget());
        QVERIFY(report);
        const auto field = [report](const char* name) {
            return report->txtEdit(report->editor().slotOfName(QString::fromLatin1(name)));
        };

        QString chosen;
        dialogs_->onModal([&chosen](QDialog& d) {
            auto& pick = dynamic_cast<dlgPickXMLFile&>(d);
            // Sorted by the first column; the search finds the first code starting "SU".
            pick.txtFind()->setText(QStringLiteral("su"));
            const QModelIndex current = pick.lvGrid()->currentIndex();
            chosen = pick.model()->cellAt(current.row(), 0).toString();
            pick.pickSelectedRow();
            return int(QDialog::Accepted);
        });
        report->enterField(report->editor().slotOfName(QStringLiteral("Issue")));
        report->pickIntoField();
        QVERIFY2(chosen.startsWith(QStringLiteral("SU")), qPrintable(chosen));
        QCOMPARE(field("Issue")->text(), chosen);
        QCOMPARE(field("ISIN")->text().size(), 12);
        QVERIFY(field("ISIN")->text().startsWith(QStringLiteral("RU")));
        QVERIFY(!field("RegNum")->text().isEmpty());

        dialogs_->onModal([](QDialog& d) {
            auto& pick = dynamic_cast<dlgPick&>(d);
            pick.pickRowAt(pick.lvGrid()->visualRect(pick.model()->index(1, 0)).center());
            return int(QDialog::Accepted);
        });
        report->enterField(report->editor().slotOfName(QStringLiteral("Currency")));
        report->pickIntoField();
        QCOMPARE(field("Currency")->text(), QStringLiteral("USD"));
        report->model().clearRows();
    }
};

QTEST_MAIN(tst_HandbookParts)
#include "tst_handbookparts.moc"
