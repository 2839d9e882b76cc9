#include "core/AppContext.h"
#include "core/PlacementStore.h"
#include "core/Settings.h"
#include "tests/support/Overrides.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

using namespace varnel;

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void readSetting_data();
    void readSetting();
    void readSettingOfAnotherFile();
    void writtenValueIsReadAtOnce();
    void noSettingsFileGivesDefaults();
    void failedWriteIsSilent();

    void readSettingInt_data();
    void readSettingInt();

    void resolvePath_data();
    void resolvePath();

    void singleToText_data();
    void singleToText();
    void saveColumnWidths();

    void placementStore();

private:
    void put(const QByteArray& bytes)
    {
        QFile f(SettingsFilePath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    QByteArray get() const
    {
        QFile f(SettingsFilePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::optional<testing::ScopedProgramFolder> m_folder;
    std::optional<testing::ScopedSettingsFile> m_settings;
};

void TestSettings::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_folder.emplace(m_dir->path());
    m_settings.emplace(m_dir->filePath("varnel_client.ini"));
}

void TestSettings::cleanup()
{
    m_settings.reset();
    m_folder.reset();
}

void TestSettings::readSetting_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("def");
    QTest::addColumn<QString>("expected");
    const QByteArray file =
        QByteArray("[Main]\r\nParticipant=  1234  \r\nLanguage=\r\nQuoted=\" EN \"\r\nNul=ab") +
        QByteArray(1, '\0') + QByteArray("cd\r\n\r\n[Path]\r\nFolderWork=.\\work\r\n");
    QTest::newRow("blanks around value") << file << "Participant"
                                         << ""
                                         << "1234";
    QTest::newRow("empty value gives default") << file << "Language"
                                               << "RU"
                                               << "RU";
    QTest::newRow("empty value with empty default") << file << "Language"
                                                    << ""
                                                    << "";
    QTest::newRow("quotes dropped, blanks in them kept") << file << "Quoted"
                                                         << ""
                                                         << " EN ";
    QTest::newRow("cut at nul") << file << "Nul"
                                << ""
                                << "ab";
    QTest::newRow("key of another section") << file << "FolderWork"
                                            << "x"
                                            << "x";
    QTest::newRow("missing key") << file << "Absent"
                                 << "default text"
                                 << "default text";
}

void TestSettings::readSetting()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, key);
    QFETCH(QString, def);
    QFETCH(QString, expected);
    put(file);
    QCOMPARE(ReadSetting("Main", key, def), expected);
}

void TestSettings::readSettingOfAnotherFile()
{
    put("[Main]\r\nLanguage=RU\r\n");
    const QString other = m_dir->filePath("other.ini");
    QFile f(other);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Main]\r\nLanguage=EN\r\n");
    f.close();
    QCOMPARE(ReadSetting("Main", "Language", "", other), "EN");
    QCOMPARE(ReadSetting("Main", "Language", ""), "RU");
    QCOMPARE(ReadSetting("Main", "Language", "", QString()), "RU");
}

void TestSettings::writtenValueIsReadAtOnce()
{
    put("[Main]\r\nLanguage=RU\r\nParticipant=1\r\n");
    QCOMPARE(ReadSetting("Main", "Language", ""), "RU");
    WriteSetting("Main", "Language", "EN");
    QCOMPARE(ReadSetting("Main", "Language", ""), "EN");
    QCOMPARE(get(), QByteArray("[Main]\r\nLanguage=EN\r\nParticipant=1\r\n"));
    // An editor outside the program changes the file: the next read sees it.
    put("[Main]\r\nLanguage=RU\r\n");
    QCOMPARE(ReadSetting("Main", "Language", ""), "RU");
    // 2046 characters at most come back.
    WriteSetting("Path", "FolderWork", QString(3000, u'ж'));
    QCOMPARE(ReadSetting("Path", "FolderWork", ""), QString(2046, u'ж'));
}

void TestSettings::noSettingsFileGivesDefaults()
{
    QCOMPARE(ReadSetting("Main", "Language", "RU"), "RU");
    QCOMPARE(ReadSetting("Main", "Participant", ""), "");
    QCOMPARE(ReadSettingInt("Grid_Reports", "Price", 1500), 1500);
    QVERIFY(!QFileInfo::exists(SettingsFilePath()));
    // The first write creates it.
    WriteSetting("IssueList", "CurrentHandbookPath", "/x/h.msg");
    QCOMPARE(get(), QByteArray("[IssueList]\r\nCurrentHandbookPath=/x/h.msg\r\n"));
}

void TestSettings::failedWriteIsSilent()
{
    m_settings.emplace(m_dir->filePath("missing/varnel_client.ini"));
    WriteSetting("Main", "Language", "EN");
    QCOMPARE(ReadSetting("Main", "Language", "RU"), "RU");
    QVERIFY(!QFileInfo::exists(m_dir->filePath("missing")));
}

void TestSettings::readSettingInt_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("width") << QByteArray("1440") << 1440;
    QTest::newRow("width with text after it") << QByteArray("1440twips") << 1440;
    QTest::newRow("zero is absent") << QByteArray("0") << 900;
    QTest::newRow("text is absent") << QByteArray("abc") << 900;
    QTest::newRow("negative is absent") << QByteArray("-20") << 900;
    QTest::newRow("sign is absent") << QByteArray("+20") << 900;
    QTest::newRow("hexadecimal is absent") << QByteArray("0x20") << 900;
    QTest::newRow("empty is absent") << QByteArray("") << 900;
    QTest::newRow("too large is absent") << QByteArray("99999999999") << 900;
    QTest::newRow("one") << QByteArray("1") << 1;
}

void TestSettings::readSettingInt()
{
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    put("[Grid_Reports]\r\nPrice=" + value + "\r\n");
    QCOMPARE(ReadSettingInt("Grid_Reports", "Price", 900), expected);
    QCOMPARE(ReadSettingInt("Grid_Reports", "Amount", 900), 900);
}

void TestSettings::resolvePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    const QString folder = QStringLiteral("<folder>");
    QTest::newRow("empty") << "" << folder;
    QTest::newRow("blanks") << "   " << folder;
    QTest::newRow("dot") << "." << folder;
    QTest::newRow("dot backslash") << ".\\" << folder;
    QTest::newRow("dot slash") << "./" << folder;
    QTest::newRow("dot with blanks") << "  .\\  " << folder;
    QTest::newRow("relative") << ".\\work" << folder + "/work";
    QTest::newRow("relative with slash") << "./work" << folder + "/work";
    QTest::newRow("relative deeper") << ".\\work\\sub" << folder + "/work/sub";
    QTest::newRow("relative with blanks") << " .\\send " << folder + "/send";
    QTest::newRow("relative with trailing separator") << ".\\work\\" << folder + "/work/";
    QTest::newRow("windows absolute") << "C:\\x"
                                      << "C:\\x";
    QTest::newRow("absolute") << "/var/varnel/in "
                              << "/var/varnel/in";
    QTest::newRow("plain name") << "work"
                                << "work";
    QTest::newRow("parent") << "..\\work"
                            << "..\\work";
    QTest::newRow("tab is not trimmed") << "\t.\\work"
                                        << "\t.\\work";
}

void TestSettings::resolvePath()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    expected.replace("<folder>", m_dir->path());
    QCOMPARE(ResolvePath(path), expected);
}

void TestSettings::singleToText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("whole") << 1440.0 << "1440";
    QTest::newRow("half") << 1234.5 << "1234.5";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative") << -15.0 << "-15";
    QTest::newRow("below one") << 0.5 << "0.5";
    QTest::newRow("single precision") << 100.1 << "100.1";
    QTest::newRow("seven digits") << 1.0 / 3.0 << "0.3333333";
    QTest::newRow("rounded to single") << 1234.5678 << "1234.568";
    QTest::newRow("largest plain") << 9999999.0 << "9999999";
    QTest::newRow("exponent") << 12345678.0 << "1.234568E+07";
    QTest::newRow("small plain") << 0.0001 << "0.0001";
    QTest::newRow("small exponent") << 0.00001 << "1E-05";
}

void TestSettings::singleToText()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(SingleToText(value), expected);
}

void TestSettings::saveColumnWidths()
{
    put("[Grid_Reports]\r\nPrice=1\r\n; kept\r\n[Other]\r\n");
    SaveColumnWidths({{"name=Price;type=N;fmt=;def=;empty=;pick=", 1440},
                      {";type=D", 1234.5},
                      {"name=Цена;type=N", 900}},
                     "Grid_Reports");
    QCOMPARE(get(),
             QByteArray("[Grid_Reports]\r\nPrice=1440\r\n2=1234.5\r\n\xD6\xE5\xED\xE0=900\r\n"
                        "; kept\r\n[Other]\r\n"));
    QCOMPARE(ReadSettingInt("Grid_Reports", "цена", 1000), 900);
    QCOMPARE(ReadSettingInt("Grid_Reports", "2", 1000), 1234);
}

void TestSettings::placementStore()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    std::optional<testing::ScopedPlacementRoot> store;
    store.emplace(root.path());
    QCOMPARE(PlacementStore::Read("Varnel", "MainLeft", "1000"), "1000");
    PlacementStore::Write("Varnel", "MainLeft", "1500");
    PlacementStore::Write("Varnel_Reports", "MainLeft", "2500");
    QCOMPARE(PlacementStore::Read("Varnel", "MainLeft", "1000"), "1500");
    QCOMPARE(PlacementStore::Read("Varnel_Reports", "MainLeft", "1000"), "2500");
    QCOMPARE(PlacementStore::Read("Varnel_Reports", "MainTop", "1000"), "1000");
    PlacementStore::Write("Varnel", "MainLeft", "1600");
    QCOMPARE(PlacementStore::Read("Varnel", "MainLeft", "1000"), "1600");

    // It lands in the given folder, under the organisation, in group Settings.
    const QString file = root.filePath("Varnel/Varnel.ini");
    QVERIFY(QFileInfo::exists(file));
    QSettings direct(file, QSettings::IniFormat);
    QCOMPARE(direct.value("Settings/MainLeft").toString(), "1600");
    // An application name with a separator stays one file in that folder.
    PlacementStore::Write("Varnel/Pick_x", "Pick_xWidth", "5000");
    QCOMPARE(PlacementStore::Read("Varnel/Pick_x", "Pick_xWidth", ""), "5000");
    QVERIFY(QFileInfo::exists(root.filePath("Varnel/Varnel_Pick_x.ini")));

    // Back at the user's own folder the test values are not there.
    store.reset();
    QSettings user(QSettings::IniFormat, QSettings::UserScope, "Varnel", "Varnel");
    QVERIFY(!user.fileName().startsWith(root.path()));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
