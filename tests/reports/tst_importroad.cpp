// The road of an import through the main window, as a user takes it: "Импорт сделок из файла"
// with no report open (the kind asked, a new report opened), a file whose columns need the
// mapping dialog, the refused rows listed, copied and saved; the next file of that shape without
// the dialog; a file whose every row is refused leaves the report as it was; a damaged file
// adds nothing and leaves no window; the report exported and imported back gives the same grid.
#include "core/Windows1251.h"
#include "reports/ReportModel.h"
#include "reports/window/ImportDialogs.h"
#include "reports/window/frmReport.h"
#include "shell/ClientParts.h"
#include "shell/Startup.h"
#include "shell/frmMain.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/ShellOverrides.h"

#include "MainWindowRoad.h"
#include "ReportTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QUuid>
#include <QtTest>

#include <optional>

using namespace varnel;
using namespace varnel::test;

namespace {

const QString kTitles = QStringLiteral("Участник;Код ЦБ;№ договора;Внутр. номер;Дата сделки;"
                                       "Дата расчетов;Направление;Цена ЦБ;Валюта цены;"
                                       "Количество;Трейдер\r\n");

// A back office's rows: count good ones from number first, and a bad price every fifth.
QByteArray BackOfficeFile(int first, int count, bool badEveryFifth)
{
    QString text = kTitles;
    for (int i = first; i < first + count; ++i) {
        const bool bad = badEveryFifth && i % 5 == 4;
        text += QStringLiteral("MC0001;SU26238RMFS4;Д-%1;R-%1;15.03.2024;18.03.2024;S;%2;RUB;%3;"
                               "Иванов\r\n")
                    .arg(i)
                    .arg(bad ? QStringLiteral("-1") : QStringLiteral("%1,25").arg(100 + i))
                    .arg(10 * i + 1);
    }
    return ToWindows1251(text, '?');
}

} // namespace

class ImportRoadTest : public MainWindowRoad {
    Q_OBJECT

    void trigger(const char* name) const
    {
        QAction* action = main_->findChild<QAction*>(QString::fromLatin1(name));
        QVERIFY2(action && action->isEnabled(), name);
        action->trigger();
    }
    // The result dialog: its rows checked, then closed.
    void expectRefused(int rows, const std::function<void(dlgImportResult&)>& more = {})
    {
        dialogs_->onModal([rows, more](QDialog& d) {
            auto& result = dynamic_cast<dlgImportResult&>(d);
            [&] { QCOMPARE(result.lvRefused()->model()->rowCount(), rows); }();
            if (more)
                more(result);
            return int(QDialog::Rejected);
        });
    }

private slots:
    void init() { startMainWindow(); }
    void cleanup() { closeMainWindow(); }

    void road()
    {
        const QString first = folder_->work(QStringLiteral("backoffice1.csv"));
        const QString second = folder_->work(QStringLiteral("backoffice2.csv"));
        const QString refused = folder_->work(QStringLiteral("refused.csv"));
        QVERIFY(WriteBytes(first, BackOfficeFile(0, 20, true)));
        QVERIFY(WriteBytes(second, BackOfficeFile(20, 10, false)));

        // No report open: the kind, the file, then the columns ("Трейдер" matches no field).
        dialogs_->onModal([](QDialog& d) {
            auto& kind = dynamic_cast<dlgImportKind&>(d);
            [&] { QVERIFY(kind.optDeals()->isChecked()); }();
            return int(QDialog::Accepted);
        });
        dialogs_->choosePath(first);
        dialogs_->onModal([](QDialog& d) {
            auto& mapping = dynamic_cast<dlgImportMapping&>(d);
            [&] {
                QCOMPARE(mapping.cmbField(10)->currentText(), QStringLiteral("не загружать"));
                QCOMPARE(mapping.cmbField(7)->currentText(), QStringLiteral("Цена ЦБ"));
                QVERIFY(mapping.lblUnfilled()->text().contains(QStringLiteral("«ISIN»")));
                // Two columns into one field cannot be taken.
                mapping.cmbField(10)->setCurrentIndex(mapping.cmbField(7)->currentIndex());
                QVERIFY(!mapping.cmdLoad()->isEnabled());
                QVERIFY(mapping.lblProblem()->text().contains(QStringLiteral("«Цена ЦБ»")));
                mapping.cmbField(10)->setCurrentIndex(0);
                QVERIFY(mapping.cmdLoad()->isEnabled());
            }();
            mapping.cmdLoad()->click();
            return mapping.result();
        });
        const QString refusedRows = folder_->work(QStringLiteral("refused.csv"));
        expectRefused(4, [this, refusedRows](dlgImportResult& result) {
            result.cmdCopy()->click();
            dialogs_->choosePath(refusedRows);
            result.cmdSave()->click();
        });
        trigger("mnuReportImport");
        ReportEditorWindow* w = active();
        QVERIFY(w);
        QCOMPARE(w->kind(), ReportKind::Deals);
        QCOMPARE(w->document().rowCount(), 16);
        QCOMPARE(w->statusText(1), QStringLiteral("Записей: 16"));
        QCOMPARE(w->statusText(2), QStringLiteral("Загружено 16 из 20, отклонено 4"));
        QCOMPARE(w->windowTitle(), QStringLiteral("[New Report 1] * "));
        QCOMPARE(w->model().cell(0, w->model().columnOfName(QStringLiteral("Price"))),
                 QStringLiteral("100.25"));
        // The value as the user's file gave it is a text: behind its apostrophe, as in CSV.
        const QString copied = QApplication::clipboard()->text();
        QVERIFY2(
            copied.startsWith(QStringLiteral("Строка\tПоле\tЗначение\tОшибка\n6\tЦена ЦБ\t'-1\t"
                                             "(S16) Поле Price (-1.00) должно иметь "
                                             "положительное значение\n")),
            qPrintable(copied));
        QVERIFY(ReadBytes(refused).startsWith("\xEF\xBB\xBF"));
        QCOMPARE(QString::fromUtf8(ReadBytes(refused).mid(3)).split(QStringLiteral("\r\n")).size(),
                 6);

        // The next file of that shape: into the active report, no mapping dialog.
        dialogs_->choosePath(second);
        trigger("mnuReportImport");
        QCOMPARE(w->document().rowCount(), 26);
        QCOMPARE(w->statusText(2), QStringLiteral("Загружено 10 из 10, отклонено 0"));

        // The same file again: every row repeats a Reference; the report stays as it was.
        w->document().discardChanges();
        const QString caption = w->windowTitle();
        dialogs_->choosePath(second);
        expectRefused(10);
        trigger("mnuReportImport");
        QCOMPARE(w->document().rowCount(), 26);
        QVERIFY(!w->document().isChanged());
        QCOMPARE(w->windowTitle(), caption);
        QCOMPARE(w->statusText(2), QStringLiteral("Загружено 0 из 10, отклонено 10"));

        // Exported and imported into a new report: the same grid; the flag untouched.
        const QString exported = folder_->work(QStringLiteral("export.xlsx"));
        dialogs_->choosePath(folder_->work(QStringLiteral("export")));
        trigger("mnuReportExport");
        // A report never saved is proposed under its caption, in the work folder.
        QCOMPARE(dialogs_->last().directory, folder_->work(QStringLiteral("[New Report 1].xlsx")));
        QVERIFY(!w->document().isChanged());
        QVERIFY(QFile::exists(exported));
        dialogs_->onModal([](QDialog& d) {
            dynamic_cast<dlgImportKind&>(d).optDeals()->setChecked(true);
            return int(QDialog::Accepted);
        });
        main_->mdiArea()->setActiveSubWindow(nullptr);
        dialogs_->choosePath(exported);
        trigger("mnuReportImport");
        ReportEditorWindow* back = active();
        QVERIFY(back && back != w);
        QCOMPARE(back->document().rowCount(), 26);
        for (int r = 0; r < 26; ++r)
            QCOMPARE(back->model().fieldCells(r), w->model().fieldCells(r));

        // A file whose every title is a field's: no dialog, although most fields have no
        // column; those get what a typed deal gets.
        const QString known = folder_->work(QStringLiteral("known.csv"));
        QString text = QString(kTitles).remove(QStringLiteral(";Трейдер"));
        text +=
            QStringLiteral("MC0001;SU26238RMFS4;Д-90;R-90;15.03.2024;18.03.2024;S;99,5;RUB;7\r\n");
        QVERIFY(WriteBytes(known, ToWindows1251(text, '?')));
        dialogs_->choosePath(known);
        trigger("mnuReportImport");
        QCOMPARE(back->document().rowCount(), 27);
        const auto cell = [&](const char* name) {
            return back->model().cell(26, back->model().columnOfName(QLatin1String(name)));
        };
        QCOMPARE(cell("Block"), QStringLiteral("0"));
        QCOMPARE(cell("Settle"), QStringLiteral("1"));
        QCOMPARE(cell("AccruedInt"), QStringLiteral("0.00"));
        QCOMPARE(cell("TradePlace"), QStringLiteral("OTC"));
        QCOMPARE(cell("QtyFrac"), QString());
    }

    // A file that cannot be read adds nothing and leaves no new report behind.
    void damagedFile()
    {
        const QString damaged = folder_->work(QStringLiteral("damaged.xlsx"));
        QVERIFY(WriteBytes(damaged, QByteArray("PK\x03\x04") + QByteArray(100, 'x')));
        dialogs_->onModal([](QDialog& d) {
            dynamic_cast<dlgImportKind&>(d).optRepo()->setChecked(true);
            return int(QDialog::Accepted);
        });
        dialogs_->choosePath(damaged);
        dialogs_->answer(Answer::Ok);
        trigger("mnuReportImport");
        QVERIFY2(dialogs_->last().text.startsWith(QStringLiteral("Не удалось прочитать файл ") +
                                                  damaged),
                 qPrintable(dialogs_->last().text));
        QCOMPARE(dialogs_->last().icon, MessageIcon::Critical);
        QCOMPARE(windows(), 0);
    }
};

QTEST_MAIN(ImportRoadTest)
#include "tst_importroad.moc"
