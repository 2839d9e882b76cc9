#include "core/AppContext.h"
#include "core/AtomicSave.h"
#include "core/Settings.h"
#include "filesave/ReplacingFile.h"
#include "shell/frmOptions.h"
#include "tests/support/GoldenDump.h"
#include "tests/support/Overrides.h"
#include "tests/support/ScriptedDialogs.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

using namespace varnel;

namespace {

QStringList settingsLines()
{
    QFile f(SettingsFilePath());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromLatin1(f.readAll())
                            .split(QRegularExpression(QStringLiteral("\r?\n")), Qt::SkipEmptyParts);
    return lines;
}

QLineEdit* edit(const frmOptions& dlg, const char* name)
{
    auto* e = dlg.findChild<QLineEdit*>(QString::fromLatin1(name));
    if (!e)
        qFatal("no field %s", name);
    return e;
}

QPushButton* button(const frmOptions& dlg, const char* name)
{
    auto* b = dlg.findChild<QPushButton*>(QString::fromLatin1(name));
    if (!b)
        qFatal("no button %s", name);
    return b;
}

} // namespace

class TestOptions : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void okWritesTheNineSettingsInOrder();
    void fieldsShowWhatIsStored();
    void storedLanguageSelectsItsItem_data();
    void storedLanguageSelectsItsItem();
    void applyEnabling_data();
    void applyEnabling();
    void applySavesAndRefreshesTheStatusBar();
    void cancelKeepsWhatApplySaved();
    void browseButtons_data();
    void browseButtons();
    void ctrlTabCyclesTheTabs();
    void tabGoesFromEachFieldToItsButton();
    void folderChoiceOpensAtTheFieldsFolder_data();
    void folderChoiceOpensAtTheFieldsFolder();
    void textsMatchTheGoldenDump();
    void failedWriteIsShownAndTheDialogStays_data();
    void failedWriteIsShownAndTheDialogStays();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::optional<testing::ScopedProgramFolder> folder_;
    std::optional<testing::ScopedSettingsFile> settings_;
};

void TestOptions::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    folder_.emplace(dir_->path());
    settings_.emplace(dir_->filePath(QStringLiteral("varnel_client.ini")));
}

void TestOptions::cleanup()
{
    settings_.reset();
    folder_.reset();
    dir_.reset();
}

void TestOptions::okWritesTheNineSettingsInOrder()
{
    frmOptions dlg;
    edit(dlg, "txtParticipant")->setText(QStringLiteral("MC0001"));
    dlg.findChild<QComboBox*>(QStringLiteral("cmbLanguage"))->setCurrentIndex(1);
    edit(dlg, "txtDealsSchema")->setText(QStringLiteral("d.xsl"));
    edit(dlg, "txtDealsRevokeSchema")->setText(QStringLiteral("r.xsl"));
    edit(dlg, "txtILSubscribeSchema")->setText(QStringLiteral("s.xsl"));
    edit(dlg, "txtIssueListSchema")->setText(QStringLiteral("i.xsl"));
    edit(dlg, "txtFolderWork")->setText(QStringLiteral("/w "));
    edit(dlg, "txtFolderSend")->setText(QStringLiteral("./send"));
    edit(dlg, "txtFolderReceive")->setText(QStringLiteral("/r"));
    dlg.show();
    QTest::mouseClick(button(dlg, "cmdOK"), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QVERIFY(!dlg.isVisible());

    // Values go in as they stand (the blank after /w included) and in the dialog's save order.
    const QStringList expected = {
        QStringLiteral("[Main]"),
        QStringLiteral("Participant=MC0001"),
        QStringLiteral("Language=EN"),
        QStringLiteral("[Path]"),
        QStringLiteral("SchemaIssueList=i.xsl"),
        QStringLiteral("SchemaIssueListSubscr=s.xsl"),
        QStringLiteral("SchemaDeals=d.xsl"),
        QStringLiteral("SchemaDealsRevoke=r.xsl"),
        QStringLiteral("FolderWork=/w "),
        QStringLiteral("FolderSend=./send"),
        QStringLiteral("FolderReceive=/r"),
    };
    QCOMPARE(settingsLines(), expected);
}

void TestOptions::fieldsShowWhatIsStored()
{
    const QStringList values = {"P1", "EN", "d", "r", "s", "i", "w", "o", "c"};
    for (int i = 0; i < kOptionFieldCount; ++i) {
        const OptionSetting& s = OptionsModel::Fields().at(i);
        WriteSetting(s.section, s.key, values.at(i));
    }
    frmOptions dlg;
    for (int i = 0; i < kOptionFieldCount; ++i) {
        const OptionSetting& s = OptionsModel::Fields().at(i);
        QWidget* w = dlg.fieldWidget(s.field);
        QCOMPARE(w->objectName(), s.control);
        const QString shown = s.field == OptionField::Language
                                  ? qobject_cast<QComboBox*>(w)->currentText()
                                  : qobject_cast<QLineEdit*>(w)->text();
        QCOMPARE(shown, values.at(i));
    }
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Настройка параметров системы"));
}

void TestOptions::storedLanguageSelectsItsItem_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("writtenOnOk");

    QTest::newRow("lower case with blanks") << " en "
                                            << "EN"
                                            << "EN";
    QTest::newRow("mixed case") << "Ru"
                                << "RU"
                                << "RU";
    QTest::newRow("not in the list") << "DE"
                                     << ""
                                     << "";
    QTest::newRow("absent") << ""
                            << ""
                            << "";
    // Only blanks are trimmed: a no-break space is part of the value.
    QTest::newRow("no-break space after") << QStringLiteral("EN\u00a0") << ""
                                          << "";
}

void TestOptions::storedLanguageSelectsItsItem()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(QString, writtenOnOk);

    WriteSetting(QStringLiteral("Main"), QStringLiteral("Language"), stored);
    frmOptions dlg;
    auto* language = dlg.findChild<QComboBox*>(QStringLiteral("cmbLanguage"));
    QVERIFY(!language->isEditable());
    QCOMPARE(language->count(), 2);
    QCOMPARE(language->currentText(), shown);
    QCOMPARE(language->currentIndex() < 0, shown.isEmpty());

    QTest::mouseClick(button(dlg, "cmdOK"), Qt::LeftButton);
    QVERIFY(settingsLines().contains(QStringLiteral("Language=") + writtenOnOk));
}

void TestOptions::applyEnabling_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("same value") << "txtFolderSend"
                                << "/send"
                                << "/send" << false;
    QTest::newRow("blank after a folder") << "txtFolderSend"
                                          << "/send"
                                          << "/send " << false;
    QTest::newRow("tab after a folder") << "txtFolderSend"
                                        << "/send"
                                        << "/send\t" << true;
    QTest::newRow("blanks around") << "txtParticipant"
                                   << "MC1"
                                   << "  MC1 " << false;
    QTest::newRow("letter case counts") << "txtParticipant"
                                        << "MC1"
                                        << "mc1" << true;
    QTest::newRow("another folder") << "txtFolderReceive"
                                    << "/in"
                                    << "/in2" << true;
    QTest::newRow("emptied") << "txtIssueListSchema"
                             << "i.xsl"
                             << "" << true;
    QTest::newRow("typed where nothing is stored") << "txtDealsSchema"
                                                   << ""
                                                   << "x" << true;
}

void TestOptions::applyEnabling()
{
    QFETCH(QString, field);
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(bool, enabled);

    WriteSetting(QStringLiteral("Main"), QStringLiteral("Language"), QStringLiteral("RU"));
    OptionSetting setting;
    for (const OptionSetting& s : OptionsModel::Fields()) {
        if (s.control == field)
            setting = s;
    }
    WriteSetting(setting.section, setting.key, stored);

    frmOptions dlg;
    QPushButton* apply = button(dlg, "cmdApply");
    auto* timer = dlg.findChild<QTimer*>(QStringLiteral("Timer1"));
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 1000);
    QVERIFY(apply->isEnabled());
    dlg.showApplyState();
    QVERIFY(!apply->isEnabled());

    QLineEdit* e = edit(dlg, field.toLatin1().constData());
    e->setText(typed);
    dlg.showApplyState();
    QCOMPARE(apply->isEnabled(), enabled);

    // Changing it back disables Apply again.
    e->setText(stored);
    dlg.showApplyState();
    QVERIFY(!apply->isEnabled());

    // The language list counts as well.
    dlg.findChild<QComboBox*>(QStringLiteral("cmbLanguage"))->setCurrentIndex(1);
    dlg.showApplyState();
    QVERIFY(apply->isEnabled());
}

void TestOptions::applySavesAndRefreshesTheStatusBar()
{
    frmOptions dlg;
    QSignalSpy status(&dlg, &frmOptions::statusInfo);
    dlg.show();
    auto* language = dlg.findChild<QComboBox*>(QStringLiteral("cmbLanguage"));

    language->setCurrentIndex(1);
    QTest::mouseClick(button(dlg, "cmdApply"), Qt::LeftButton);
    QVERIFY(dlg.isVisible());
    QCOMPARE(ReadSetting(QStringLiteral("Main"), QStringLiteral("Language"), QString()),
             QStringLiteral("EN"));
    QCOMPARE(status.size(), 1);
    QCOMPARE(status.at(0).at(0).toInt(), 2);
    QCOMPARE(status.at(0).at(1).toString(), QStringLiteral("язык сообщ: EN"));

    // With no language chosen the panel falls back to RU.
    language->setCurrentIndex(-1);
    dlg.showApplyState();
    QVERIFY(button(dlg, "cmdApply")->isEnabled());
    QTest::mouseClick(button(dlg, "cmdApply"), Qt::LeftButton);
    QCOMPARE(status.size(), 2);
    QCOMPARE(status.at(1).at(1).toString(), QStringLiteral("язык сообщ: RU"));
    dlg.showApplyState();
    QVERIFY(!button(dlg, "cmdApply")->isEnabled());
}

void TestOptions::cancelKeepsWhatApplySaved()
{
    frmOptions dlg;
    dlg.show();
    edit(dlg, "txtParticipant")->setText(QStringLiteral("A1"));
    QTest::mouseClick(button(dlg, "cmdApply"), Qt::LeftButton);
    edit(dlg, "txtParticipant")->setText(QStringLiteral("B2"));
    edit(dlg, "txtFolderWork")->setText(QStringLiteral("/lost"));
    QTest::mouseClick(button(dlg, "cmdCancel"), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QCOMPARE(ReadSetting(QStringLiteral("Main"), QStringLiteral("Participant"), QString()),
             QStringLiteral("A1"));
    QCOMPARE(ReadSetting(QStringLiteral("Path"), QStringLiteral("FolderWork"), QStringLiteral("-")),
             QStringLiteral("-"));
}

void TestOptions::browseButtons_data()
{
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("title");

    const int file = int(DialogKind::OpenFile);
    const int folder = int(DialogKind::Folder);
    QTest::newRow("deals schema") << "cmdDealsSchema"
                                  << "txtDealsSchema" << file
                                  << "Файл-схема уведомления о приеме отчетов";
    QTest::newRow("revoke schema") << "cmdDealsRevokeShema"
                                   << "txtDealsRevokeSchema" << file
                                   << "Файл-схема уведомления о приеме запроса на удаление сделок";
    QTest::newRow("subscribe schema")
        << "cmdILSubscribeSchema"
        << "txtILSubscribeSchema" << file << "Файл-схема уведомления о подписке на справочник ЦБ";
    QTest::newRow("issue list schema")
        << "cmdIssueListSchema"
        << "txtIssueListSchema" << file << "Файл-схема для просмотра справочника ЦБ";
    QTest::newRow("work folder") << "cmdFolderWork"
                                 << "txtFolderWork" << folder << "Рабочий каталог";
    QTest::newRow("send folder") << "cmdFolderSend"
                                 << "txtFolderSend" << folder << "Каталог отправки";
    QTest::newRow("receive folder") << "cmdFolderReceive"
                                    << "txtFolderReceive" << folder << "Каталог приема";
}

void TestOptions::browseButtons()
{
    QFETCH(QString, buttonName);
    QFETCH(QString, field);
    QFETCH(int, kind);
    QFETCH(QString, title);

    ScriptedDialogs dialogs;
    frmOptions dlg;
    dlg.show();
    QLineEdit* e = edit(dlg, field.toLatin1().constData());
    e->setText(QStringLiteral("before"));
    QPushButton* browse = button(dlg, buttonName.toLatin1().constData());
    QCOMPARE(browse->text(), QStringLiteral("..."));

    dialogs.cancelNext();
    browse->click();
    QCOMPARE(e->text(), QStringLiteral("before"));
    QCOMPARE(int(dialogs.last().kind), kind);
    QCOMPARE(dialogs.last().title, title);
    if (kind == int(DialogKind::OpenFile))
        QCOMPARE(dialogs.last().filter, QStringLiteral("xsl-files (*.xsl);;all files (*)"));

    dialogs.choosePath(QStringLiteral("/chosen/path"));
    browse->click();
    QCOMPARE(e->text(), QStringLiteral("/chosen/path"));
    QCOMPARE(dialogs.pending(), 0);
    QVERIFY(dialogs.texts().isEmpty());
}

void TestOptions::ctrlTabCyclesTheTabs()
{
    frmOptions dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    auto* tabs = dlg.findChild<QTabWidget*>(QStringLiteral("tbsOptions"));
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->currentIndex(), 0);

    QWidget* participant = edit(dlg, "txtParticipant");
    QWidget* schema = edit(dlg, "txtDealsSchema");
    QTest::keyClick(participant, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(tabs->currentIndex(), 1);
    QTest::keyClick(participant, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(tabs->currentIndex(), 0);

    // Ctrl+Shift+Tab goes back a tab, from the first to the last, inside the tab pages too
    // (it arrives as Backtab, or as Tab with Shift).
    tabs->setCurrentIndex(1);
    QWidget* folder = edit(dlg, "txtFolderWork");
    folder->setFocus();
    QTest::keyClick(folder, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(tabs->currentIndex(), 0);
    QTest::keyClick(tabs, Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(tabs->currentIndex(), 1);
    QTest::keyClick(folder, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(tabs->currentIndex(), 0);
    QVERIFY(schema->isVisible());
    QVERIFY(!folder->isVisible());
}

void TestOptions::tabGoesFromEachFieldToItsButton()
{
    frmOptions dlg;
    dlg.show();
    // The focus chain of the widgets Tab stops at, from the participant field on.
    QStringList order;
    QWidget* start = edit(dlg, "txtParticipant");
    QWidget* w = start;
    do {
        // The tab bar's own scroll buttons are parts of the tab strip.
        if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty() &&
            !w->objectName().startsWith(QStringLiteral("qt_")) &&
            !qobject_cast<QTabBar*>(w->parentWidget()))
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w && w != start);
    const QStringList expected = {"txtParticipant",
                                  "cmbLanguage",
                                  "tbsOptions",
                                  "txtDealsSchema",
                                  "cmdDealsSchema",
                                  "txtDealsRevokeSchema",
                                  "cmdDealsRevokeShema",
                                  "txtILSubscribeSchema",
                                  "cmdILSubscribeSchema",
                                  "txtIssueListSchema",
                                  "cmdIssueListSchema",
                                  "txtFolderWork",
                                  "cmdFolderWork",
                                  "txtFolderSend",
                                  "cmdFolderSend",
                                  "txtFolderReceive",
                                  "cmdFolderReceive",
                                  "cmdOK",
                                  "cmdCancel",
                                  "cmdApply"};
    QCOMPARE(order.join(u' '), expected.join(u' '));
}

void TestOptions::folderChoiceOpensAtTheFieldsFolder_data()
{
    QTest::addColumn<QString>("typed");  // %1 is the test folder
    QTest::addColumn<QString>("opened"); // the same; "-" for the desktop or home
    QTest::newRow("a folder that exists") << "%1/in"
                                          << "%1/in";
    QTest::newRow("blanks around it") << "  %1/in "
                                      << "%1/in";
    QTest::newRow("from the program folder") << ".\\in"
                                             << "%1/in";
    QTest::newRow("a folder that is not there") << "%1/gone"
                                                << "-";
    QTest::newRow("empty") << ""
                           << "-";
}

void TestOptions::folderChoiceOpensAtTheFieldsFolder()
{
    QFETCH(QString, typed);
    QFETCH(QString, opened);
    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("in")));
    const auto fill = [this](QString text) { return text.replace("%1", dir_->path()); };
    ScriptedDialogs dialogs;
    frmOptions dlg;
    edit(dlg, "txtFolderReceive")->setText(fill(typed));
    dialogs.cancelNext();
    button(dlg, "cmdFolderReceive")->click();
    const QString directory = dialogs.last().directory;
    if (opened == "-") {
        QVERIFY2(QFileInfo(directory).isDir(), qPrintable(directory));
        QVERIFY(!directory.startsWith(dir_->path()));
    } else {
        QCOMPARE(QDir(directory), QDir(fill(opened)));
    }
    QCOMPARE(edit(dlg, "txtFolderReceive")->text(), fill(typed));
}

void TestOptions::textsMatchTheGoldenDump()
{
    // Every label with the field it names, every hint, the tab captions and hints and the page
    // frame captions.
    frmOptions dlg;
    VARNEL_COMPARE_GOLDEN(dlg, VARNEL_GOLDEN_DIR "/frmOptions.txt");
}

void TestOptions::failedWriteIsShownAndTheDialogStays_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("OK") << "cmdOK";
    QTest::newRow("Apply") << "cmdApply";
}

// A disk that fills while the settings are written: the failure is shown, the dialog stays
// open with what was typed, and the settings file is as it was.
void TestOptions::failedWriteIsShownAndTheDialogStays()
{
    QFETCH(QString, button);
    WriteSetting(QStringLiteral("Main"), QStringLiteral("Participant"), QStringLiteral("OLD"));
    QFile f(SettingsFilePath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();

    ScriptedDialogs dialogs;
    frmOptions dlg;
    QSignalSpy status(&dlg, &frmOptions::statusInfo);
    edit(dlg, "txtParticipant")->setText(QStringLiteral("NEW"));
    dlg.show();
    filesave::testing::FaultPlan plan;
    plan.failWriteAfter = 10;
    filesave::testing::SetFaultPlan(plan);
    QTest::mouseClick(dlg.findChild<QPushButton*>(button), Qt::LeftButton);
    filesave::testing::SetFaultPlan({});

    QCOMPARE(dialogs.shown().size(), 1);
    QCOMPARE(dialogs.last().icon, MessageIcon::Critical);
    QCOMPARE(dialogs.last().text, FileWriteErrorText(SettingsFilePath(), SystemErrorText(ENOSPC)));
    QVERIFY(dlg.isVisible());
    QCOMPARE(edit(dlg, "txtParticipant")->text(), QStringLiteral("NEW"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList(QStringLiteral("varnel_client.ini")));
    // Apply still refreshes the language panel: a write before the failed one may have changed
    // the language.
    QCOMPARE(status.size(), button == u"cmdApply" ? 1 : 0);
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
