// Start-up and shutdown of the main window: refusals, title, status panels, placement.
#include "core/AppContext.h"
#include "core/PlacementStore.h"
#include "core/Settings.h"
#include "shell/InstanceLock.h"
#include "shell/Startup.h"
#include "shell/frmMain.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/ShellOverrides.h"
#include "ui/WindowPlacement.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include <algorithm>
#include <optional>

using namespace varnel;

class StartupTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::optional<testing::ScopedProgramSettings> program_;
    std::optional<testing::ScopedLoginName> login_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
    QString user_;

    QString ini() const { return dir_->filePath(QStringLiteral("varnel_client.ini")); }
    QString stored(const QString& key) const
    {
        return PlacementStore::Read(kAppTitle, key, QStringLiteral("absent"));
    }
    void setStored(const QString& key, const QString& value)
    {
        PlacementStore::Write(kAppTitle, key, value);
    }
    QString title() const { return MainWindowTitle(user_); }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        program_.emplace(dir_->path());
        QVERIFY(QFile::copy(QStringLiteral(VARNEL_TEST_DATA_DIR "/main_client.ini"), ini()));
        QFile(ini()).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        // A user name of its own keeps parallel runs from meeting at the instance lock.
        user_ = QStringLiteral("tst-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
        login_.emplace(user_);
        dialogs_ = std::make_unique<ScriptedDialogs>();
    }

    void cleanup()
    {
        dialogs_.reset();
        login_.reset();
        program_.reset();
    }

    void twipsFollowTheLogicalDpi_data()
    {
        QTest::addColumn<double>("twips");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<int>("pixels");
        QTest::newRow("96 dpi default left") << 1000.0 << 96.0 << 67;
        QTest::newRow("96 dpi default size") << 6500.0 << 96.0 << 433;
        QTest::newRow("one inch at 144 dpi") << 1440.0 << 144.0 << 144;
        QTest::newRow("negative (left of the screen)") << -1500.0 << 96.0 << -100;
    }
    void twipsFollowTheLogicalDpi()
    {
        QFETCH(double, twips);
        QFETCH(double, dpi);
        QFETCH(int, pixels);
        QCOMPARE(TwipsToPixels(twips, dpi), pixels);
        QCOMPARE(PixelsToTwips(pixels, 96.0), pixels * 15.0);
    }

    void startsWithTitleAndStatusPanels()
    {
        frmMain w;
        QCOMPARE(w.startupResult(), StartupResult::Running);
        QCOMPARE(w.windowTitle(), QStringLiteral("Varnel. Клиентский модуль (2.1) - ") + user_);
        QCOMPARE(UserName(), user_);
        QCOMPARE(w.StatusInfo(1), QStringLiteral("Справочник ЦБ не установлен"));
        // Language= is empty: the default RU.
        QCOMPARE(w.StatusInfo(2), QStringLiteral("язык сообщ: RU"));
        QVERIFY(!w.StatusInfo(3).isEmpty());
        QVERIFY(!w.StatusInfo(4).isEmpty());
        QVERIFY(dialogs_->shown().isEmpty());
        QVERIFY(w.findChild<QAction*>(QStringLiteral("mnuEDIExpExcel"))->isVisible());
    }

    void handbookPanel_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("installed");
        QTest::newRow("existing file") << QStringLiteral("hb.msg") << true;
        QTest::newRow("blanks around the path") << QStringLiteral("  hb.msg  ") << true;
        QTest::newRow("file gone") << QStringLiteral("gone.msg") << false;
        // Only blanks are trimmed: the no-break space names another file.
        QTest::newRow("no-break space after") << QStringLiteral("hb.msg\u00a0") << false;
        QTest::newRow("blank") << QStringLiteral("   ") << false;
    }
    void handbookPanel()
    {
        QFETCH(QString, setting);
        QFETCH(bool, installed);
        const QString path = dir_->filePath(QStringLiteral("hb.msg"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QString value = setting;
        if (!setting.trimmed().isEmpty())
            value.replace(setting.trimmed(), dir_->filePath(setting.trimmed()));
        WriteSetting(QStringLiteral("IssueList"), QStringLiteral("CurrentHandbookPath"), value);
        WriteSetting(QStringLiteral("Main"), QStringLiteral("Language"), QStringLiteral("EN"));

        frmMain w;
        const QString panel = w.StatusInfo(1);
        if (installed) {
            QVERIFY2(
                panel.startsWith(QStringLiteral("Справочник ЦБ: ") + path + QStringLiteral(" (")),
                qPrintable(panel));
            QVERIFY(panel.endsWith(u')'));
            QVERIFY(panel.contains(
                QFileInfo(path).lastModified().toString(QStringLiteral("HH:mm:ss"))));
        } else {
            QCOMPARE(panel, QStringLiteral("Справочник ЦБ не установлен"));
        }
        QCOMPARE(w.StatusInfo(2), QStringLiteral("язык сообщ: EN"));
    }

    void unknownUserGetsDefault()
    {
        login_.emplace(QString());
        frmMain w;
        QCOMPARE(dialogs_->texts(),
                 QStringList{QStringLiteral("Не удалось определить пользователя")});
        QCOMPARE(dialogs_->last().icon, MessageIcon::None);
        QCOMPARE(dialogs_->last().title, kAppTitle);
        QVERIFY(w.windowTitle().endsWith(QStringLiteral(" - @default")));
        QCOMPARE(UserName(), QStringLiteral("@default"));
    }

    void readOnlySettingsFileIsRefused()
    {
        QFile(ini()).setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        const QByteArray before = [&] {
            QFile f(ini());
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        frmMain w;
        QVERIFY(w.startupRefused());
        QVERIFY(!w.isVisible());
        QCOMPARE(
            dialogs_->texts(),
            QStringList{QStringLiteral("Файл ") + ini() +
                        QStringLiteral(
                            " не должен иметь атрибут 'read_only'. Снимите защиту от записи !")});
        QCOMPARE(dialogs_->last().title, QStringLiteral("Error! "));
        QCOMPARE(dialogs_->last().icon, MessageIcon::Critical);
        // Refused before the title is set; shutdown wrote back the restored placement.
        QCOMPARE(w.windowTitle(), kAppTitle);
        QVERIFY(stored(QStringLiteral("MainWidth")) != QStringLiteral("absent"));
        QFile f(ini());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        QFile(ini()).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }

    void secondClientIsRefused_data()
    {
        QTest::addColumn<QString>("otherTitle");
        QTest::newRow("same title") << QString();
        QTest::newRow("other case and blanks") << QStringLiteral("upper");
    }
    void secondClientIsRefused()
    {
        QFETCH(QString, otherTitle);
        const QString held =
            otherTitle.isEmpty() ? title() : QStringLiteral("  ") + title().toUpper() + u' ';
        InstanceLock first;
        QVERIFY(first.acquire(held));
        {
            frmMain second;
            QVERIFY(second.startupRefused());
            QCOMPARE(dialogs_->texts(),
                     QStringList{QStringLiteral("Клиентский модуль Varnel уже запущен !")});
            QCOMPARE(dialogs_->last().title, QStringLiteral("Error! "));
        }
        // The running client keeps its lock.
        QVERIFY(first.isHeld());
        QVERIFY(QFileInfo::exists(InstanceLock::LockFilePath(title())));
        first.release();
        frmMain third;
        QCOMPARE(third.startupResult(), StartupResult::Running);
    }

    void closedClientFreesItsTitle()
    {
        auto first = std::make_unique<frmMain>();
        QCOMPARE(first->startupResult(), StartupResult::Running);
        first->show();
        QVERIFY(first->close());
        first.reset();
        frmMain second;
        QCOMPARE(second.startupResult(), StartupResult::Running);
    }

    void crashedClientDoesNotBlock()
    {
        // A lock file whose owner process has ended.
        QProcess gone;
        gone.start(QStringLiteral("true"));
        QVERIFY(gone.waitForStarted());
        const qint64 pid = gone.processId();
        QVERIFY(gone.waitForFinished());
        QFile lock(InstanceLock::LockFilePath(title()));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(pid) + "\nVarnelClient\n" +
                   QSysInfo::machineHostName().toUtf8() + "\n");
        lock.close();
        frmMain w;
        QCOMPARE(w.startupResult(), StartupResult::Running);
    }

    void lockFileNames()
    {
        const QString a =
            InstanceLock::LockFilePath(QStringLiteral("Varnel. Клиентский модуль (2.1) - ivan"));
        QCOMPARE(
            InstanceLock::LockFilePath(QStringLiteral(" VARNEL. КЛИЕНТСКИЙ МОДУЛЬ (2.1) - IVAN ")),
            a);
        QVERIFY(InstanceLock::LockFilePath(
                    QStringLiteral("Varnel. Клиентский модуль (2.1) - ivan2")) != a);
        QVERIFY(InstanceLock::LockFilePath(QStringLiteral("a/b")) !=
                InstanceLock::LockFilePath(QStringLiteral("a_b")));
        const QString name =
            QFileInfo(InstanceLock::LockFilePath(QStringLiteral("x/../y:\\z*?"))).fileName();
        QVERIFY(!name.contains(u'/') && !name.contains(u'\\') && !name.contains(u':') &&
                !name.contains(u'*'));
    }

    void missingSettingsFileKeepsTheWindow()
    {
        QFile::remove(ini());
        frmMain w;
        QCOMPARE(w.startupResult(), StartupResult::Incomplete);
        QVERIFY(!w.startupRefused());
        QCOMPARE(dialogs_->shown().size(), 1);
        QVERIFY(dialogs_->last().text.contains(ini()));
        QCOMPARE(dialogs_->last().title, QStringLiteral("Error! "));
        QCOMPARE(w.windowTitle(), kAppTitle);
        QVERIFY(w.StatusInfo(1).isEmpty());
        QVERIFY(!QFile::exists(ini()));
    }

    void logGenerationsShift()
    {
        for (const char* name : {"varnel.log", "varnel.log.1"}) {
            QFile f(dir_->filePath(QString::fromLatin1(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(name);
        }
        frmMain w;
        QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("varnel.log"))));
        QFile second(dir_->filePath(QStringLiteral("varnel.log.2")));
        QVERIFY(second.open(QIODevice::ReadOnly));
        QCOMPARE(second.readAll(), QByteArray("varnel.log.1"));
    }

    void placementRestore_data()
    {
        QTest::addColumn<QStringList>("stored"); // left, top, width, height; empty = absent
        QTest::addColumn<QList<double>>("twips");
        // Each lies on the 800 x 600 screen of the headless runs (one that does not is pulled
        // onto it, below).
        QTest::newRow("stored") << QStringList{QStringLiteral("1500"), QStringLiteral("1500"),
                                               QStringLiteral("9000"), QStringLiteral("7500.5")}
                                << QList<double>{1500, 1500, 9000, 7500.5};
        QTest::newRow("decimal comma")
            << QStringList{QStringLiteral("1500,5"), QString(), QString(), QStringLiteral("7500,5")}
            << QList<double>{1500.5, 1000, 6500, 7500.5};
        QTest::newRow("not a number") << QStringList{QStringLiteral("abc"), QStringLiteral("1500"),
                                                     QString(), QStringLiteral("x")}
                                      << QList<double>{1000, 1500, 6500, 6500};
    }
    void placementRestore()
    {
        QFETCH(QStringList, stored);
        QFETCH(QList<double>, twips);
        const QStringList keys{QStringLiteral("MainLeft"), QStringLiteral("MainTop"),
                               QStringLiteral("MainWidth"), QStringLiteral("MainHeight")};
        for (int i = 0; i < stored.size(); ++i) {
            if (!stored.at(i).isEmpty())
                setStored(keys.at(i), stored.at(i));
        }
        frmMain w;
        const double dx = w.logicalDpiX();
        const double dy = w.logicalDpiY();
        const QRect expected(TwipsToPixels(twips[0], dx), TwipsToPixels(twips[1], dy),
                             TwipsToPixels(twips[2], dx), TwipsToPixels(twips[3], dy));
        QVERIFY(w.screen()->availableGeometry().contains(expected));
        QCOMPARE(w.pos(), expected.topLeft());
        QCOMPARE(w.size(), expected.size());
    }

    void firstWindowFitsItsMenuBar()
    {
        // Nothing stored: most of the screen, centred, at least 6500 x 6500, as wide as the whole
        // menu bar and with room for a text window, within the screen.
        frmMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect available = w.screen()->availableGeometry();
        const QRect r(w.pos(), w.size());
        QVERIFY(available.contains(r));
        QCOMPARE(r, FirstStartMainGeometry(available, r.size()));
        QVERIFY(w.width() >= TwipsToPixels(6500, w.logicalDpiX()));
        QVERIFY(w.height() >= TwipsToPixels(6500, w.logicalDpiY()));
        QVERIFY(w.width() >= w.menuBar()->sizeHint().width());
        // Every menu title is on the bar itself, none behind the overflow chevron.
        auto* chevron = w.menuBar()->findChild<QWidget*>(QStringLiteral("qt_menubar_ext_button"));
        QVERIFY(!chevron || !chevron->isVisible());
        QVERIFY(w.mdiArea()->height() >= std::min(480, available.height() / 2));
        // The size it opened with is what the next start finds.
        QVERIFY(w.close());
        frmMain again;
        QCOMPARE(again.size(), r.size());
    }

    void placementIsWrittenBackAsRead_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("the defaults") << QStringList{"1000", "1000", "6500", "6500"};
        QTest::newRow("odd values") << QStringList{"1234.5", "999", "7001", "5003"};
    }
    void placementIsWrittenBackAsRead()
    {
        // Twips rounded to pixels and back would move the window a little at every start.
        QFETCH(QStringList, stored);
        const QStringList keys{QStringLiteral("MainLeft"), QStringLiteral("MainTop"),
                               QStringLiteral("MainWidth"), QStringLiteral("MainHeight")};
        for (int i = 0; i < keys.size(); ++i)
            setStored(keys.at(i), stored.at(i));
        for (int run = 0; run < 2; ++run) {
            frmMain w;
            w.show();
            QCoreApplication::processEvents();
            QVERIFY(w.close());
            for (int i = 0; i < keys.size(); ++i)
                QCOMPARE(this->stored(keys.at(i)), stored.at(i));
        }
        // Moved, it is written where it went; the size it kept stays as read.
        frmMain w;
        w.show();
        w.move(w.pos() + QPoint(10, 0));
        QCoreApplication::processEvents();
        const int left = w.pos().x();
        QVERIFY(w.close());
        QCOMPARE(this->stored(keys.at(0)), SingleToText(PixelsToTwips(left, w.logicalDpiX())));
        QCOMPARE(this->stored(keys.at(2)), stored.at(2));
    }

    void storedPlacementIsPulledOntoTheScreen_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("right of the screen") << QStringList{"30000", "1000", "6500", "6500"};
        QTest::newRow("above and left") << QStringList{"-15000", "-3000", "6500", "6500"};
        QTest::newRow("below") << QStringList{"1500", "3000", "9000", "7500.5"};
        QTest::newRow("larger than the screen") << QStringList{"0", "0", "30000", "30000"};
    }
    void storedPlacementIsPulledOntoTheScreen()
    {
        QFETCH(QStringList, stored);
        const QStringList keys{QStringLiteral("MainLeft"), QStringLiteral("MainTop"),
                               QStringLiteral("MainWidth"), QStringLiteral("MainHeight")};
        for (int i = 0; i < keys.size(); ++i)
            setStored(keys.at(i), stored.at(i));
        frmMain w;
        const QRect available = w.screen()->availableGeometry();
        const QRect r(w.pos(), w.size());
        QVERIFY2(available.contains(r), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                       .arg(r.x())
                                                       .arg(r.y())
                                                       .arg(r.width())
                                                       .arg(r.height())));
        // A size that fits is kept.
        const QSize wanted(TwipsToPixels(stored.at(2).toDouble(), w.logicalDpiX()),
                           TwipsToPixels(stored.at(3).toDouble(), w.logicalDpiY()));
        QCOMPARE(r.size(), wanted.boundedTo(available.size()));
    }

    void fitMainWindow_data()
    {
        QTest::addColumn<QRect>("wanted");
        QTest::addColumn<QSize>("atLeast");
        QTest::addColumn<QRect>("fitted");
        const QRect screen(0, 0, 1280, 1000);
        QTest::newRow("inside stays")
            << QRect(67, 67, 433, 433) << QSize() << QRect(67, 67, 433, 433);
        QTest::newRow("grown to its room")
            << QRect(67, 67, 433, 433) << QSize(700, 560) << QRect(67, 67, 700, 560);
        QTest::newRow("grown and pulled up")
            << QRect(67, 600, 433, 433) << QSize(700, 560) << QRect(67, 440, 700, 560);
        QTest::newRow("off the right edge")
            << QRect(1200, 10, 400, 300) << QSize() << QRect(880, 10, 400, 300);
        QTest::newRow("left of the screen")
            << QRect(-500, 10, 400, 300) << QSize() << QRect(0, 10, 400, 300);
        QTest::newRow("larger than the screen") << QRect(-10, -10, 2000, 2000) << QSize() << screen;
    }
    void fitMainWindow()
    {
        QFETCH(QRect, wanted);
        QFETCH(QSize, atLeast);
        QFETCH(QRect, fitted);
        QCOMPARE(FitMainWindow(wanted, QRect(0, 0, 1280, 1000), atLeast), fitted);
    }

    void placementSavedOnClose_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("written");
        QTest::newRow("normal") << int(Qt::WindowNoState) << true;
        QTest::newRow("maximized") << int(Qt::WindowMaximized) << true;
        QTest::newRow("minimized") << int(Qt::WindowMinimized) << false;
    }
    void placementSavedOnClose()
    {
        QFETCH(int, state);
        QFETCH(bool, written);
        frmMain w;
        w.show();
        w.move(30, 45);
        w.resize(500, 400);
        w.setWindowState(Qt::WindowStates(state));
        QCoreApplication::processEvents();
        const QPoint pos = w.pos();
        const QSize size = w.size();
        const double dx = w.logicalDpiX();
        const double dy = w.logicalDpiY();
        QVERIFY(w.close());
        if (!written) {
            QCOMPARE(stored(QStringLiteral("MainLeft")), QStringLiteral("absent"));
            QCOMPARE(stored(QStringLiteral("MainHeight")), QStringLiteral("absent"));
            return;
        }
        QCOMPARE(stored(QStringLiteral("MainLeft")), SingleToText(PixelsToTwips(pos.x(), dx)));
        QCOMPARE(stored(QStringLiteral("MainTop")), SingleToText(PixelsToTwips(pos.y(), dy)));
        QCOMPARE(stored(QStringLiteral("MainWidth")),
                 SingleToText(PixelsToTwips(size.width(), dx)));
        QCOMPARE(stored(QStringLiteral("MainHeight")),
                 SingleToText(PixelsToTwips(size.height(), dy)));
        // What was written comes back at the next start.
        frmMain again;
        QCOMPARE(again.pos(), pos);
        QCOMPARE(again.size(), size);
    }

    void noSpreadsheetHidesTheExport()
    {
        testing::ScopedExcelAvailable noSpreadsheet(false);
        frmMain w;
        auto* item = w.findChild<QAction*>(QStringLiteral("mnuEDIExpExcel"));
        auto* button = w.findChild<QAction*>(QStringLiteral("ExpExcel"));
        QVERIFY(!item->isVisible());
        QVERIFY(!button->isVisible());
        QVERIFY(w.findChild<QAction*>(QStringLiteral("BrowseXML"))->isVisible());
    }

    // The demo program folder says so in its title, and runs beside the user's own client.
    void demoRunsBesideTheOwnClient()
    {
        const QString own = title();
        InstanceLock first;
        QVERIFY(first.acquire(own));
        WriteSetting(QStringLiteral("Main"), QStringLiteral("Demo"), QStringLiteral("1"));
        frmMain demo;
        QCOMPARE(demo.startupResult(), StartupResult::Running);
        QCOMPARE(demo.windowTitle(), own + QStringLiteral(" (демонстрация)"));
        QVERIFY(dialogs_->texts().isEmpty());
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
