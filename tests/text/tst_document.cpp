#include "core/AppContext.h"
#include "core/AtomicSave.h"
#include "core/Error.h"
#include "core/Settings.h"
#include "core/Windows1251.h"
#include "tests/support/FaultInjection.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/ShellOverrides.h"
#include "text/TextEncoding.h"
#include "text/window/TextCommands.h"
#include "text/window/frmDocument.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

#include <cerrno>
#include <memory>
#include <optional>

#include <unistd.h>

using namespace varnel;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Types text as key presses into the editor at its cursor.
void type(QPlainTextEdit* edit, const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        // A character beyond the basic plane arrives as one key with both halves.
        const qsizetype n = text.at(i).isHighSurrogate() ? 2 : 1;
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text.mid(i, n));
        QCoreApplication::sendEvent(edit, &press);
        i += n - 1;
    }
}

// Puts the editor's cursor right after the first occurrence of marker.
void placeCursorAfter(QPlainTextEdit* edit, const QString& marker)
{
    const QTextCursor found = edit->document()->find(marker);
    QVERIFY2(!found.isNull(), qPrintable(marker));
    QTextCursor c(edit->document());
    c.setPosition(found.selectionEnd());
    edit->setTextCursor(c);
}

QByteArray cp1251(const QString& text)
{
    QByteArray out;
    for (QChar c : text) {
        bool ok = false;
        out.append(ToWindows1251(c.unicode(), &ok));
        if (!ok)
            qFatal("not in Windows-1251");
    }
    return out;
}

} // namespace

class TestDocument : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void untouchedFileSavesByteForByte_data();
    void untouchedFileSavesByteForByte();
    void typingIntoWindows1251XmlKeepsUntouchedBytes();
    void characterOutsideTheEncoding_data();
    void characterOutsideTheEncoding();
    void incompleteTextIsNotInThatEncoding_data();
    void incompleteTextIsNotInThatEncoding();
    void editedSettingsFileReadsBack();
    void saveNeverWritesInPlace_data();
    void saveNeverWritesInPlace();

    void changeMarkerFollowsTypingAndSaving();
    void plainSaveAfterSaveAsWritesWhereTheTitlePoints();
    void closingAChangedDocumentAsks_data();
    void closingAChangedDocumentAsks();
    void closingTheFrameRunsTheQuestionPerWindow();
    void loadFailuresAreShownAndLeaveTheWindowAsItWas();
    void saveFailureKeepsTheChangeMarker();

    void printsToPdf();
    void bodyKeepsATwentyTwipMargin();

private:
    QString path(const QString& name) const { return dir_->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir_;
    std::optional<testing::ScopedProgramFolder> folder_;
    std::optional<testing::ScopedSettingsFile> settings_;
};

void TestDocument::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    folder_.emplace(dir_->path());
    settings_.emplace(path(QStringLiteral("varnel_client.ini")));
}

void TestDocument::cleanup()
{
    settings_.reset();
    folder_.reset();
    dir_.reset();
}

void TestDocument::untouchedFileSavesByteForByte_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("lineEnd");

    const QString rusXml =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>\r\n<a>Привет\u00a0мир</a>\r\n");
    QTest::newRow("windows-1251 xml, CR LF, no-break space")
        << cp1251(rusXml.arg(QStringLiteral("windows-1251"))) << "windows-1251"
        << "\r\n";
    QTest::newRow("declared with single quotes and another alias")
        << cp1251(QStringLiteral("<?xml version='1.0' encoding = 'CP1251' ?>\n<a>Ж</a>"))
        << "windows-1251"
        << "\n";
    QTest::newRow("utf-8 with byte-order mark")
        << QByteArray("\xEF\xBB\xBF") + QStringLiteral("строка\r\nвторая\r\n").toUtf8() << "UTF-8"
        << "\r\n";
    QTest::newRow("utf-8 without declaration, LF")
        << QStringLiteral("Текст\nбез объявления\n").toUtf8() << "UTF-8"
        << "\n";
    QTest::newRow("utf-8 declared, old Mac line ends")
        << rusXml.arg(QStringLiteral("UTF-8"))
               .replace(QStringLiteral("\r\n"), QStringLiteral("\r"))
               .toUtf8()
        << "UTF-8"
        << "\r";
    QTest::newRow("undeclared windows-1251 text")
        << cp1251(QStringLiteral("Отчет\r\nбез объявления")) << "windows-1251"
        << "\r\n";
    QTest::newRow("declared utf-8 but not utf-8, unassigned byte 0x98")
        << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<a>\xC0\x98\xFF</a>")
        << "windows-1251"
        << "\r\n";
    QByteArray le("\xFF\xFE");
    for (QChar c : QStringLiteral("<a>Юникод</a>\r\n"))
        le.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    QTest::newRow("utf-16le with byte-order mark") << le << "UTF-16LE"
                                                   << "\r\n";
    QByteArray be;
    for (QChar c : QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<a>Ё</a>"))
        be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    QTest::newRow("utf-16be without byte-order mark") << be << "UTF-16BE"
                                                      << "\n";
    // A file that names no encoding and holds nothing beyond ASCII is Windows-1251, like
    // every other file of the client.
    QTest::newRow("empty file") << QByteArray() << "windows-1251"
                                << "\r\n";
    QTest::newRow("trailing blank lines") << QByteArray("a\r\n\r\n\r\n") << "windows-1251"
                                          << "\r\n";
}

void TestDocument::untouchedFileSavesByteForByte()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, encoding);
    QFETCH(QString, lineEnd);

    const QString file = path(QStringLiteral("doc.txt"));
    writeAll(file, bytes);
    frmDocument doc;
    doc.LoadFile(file);
    QCOMPARE(doc.textFormat().encoding, encoding);
    QCOMPARE(doc.textFormat().lineEnd, lineEnd);
    QVERIFY(!doc.isModified());

    const QString copy = path(QStringLiteral("copy.txt"));
    doc.SaveFile(copy);
    QCOMPARE(readAll(copy), bytes);
}

void TestDocument::typingIntoWindows1251XmlKeepsUntouchedBytes()
{
    const QString source = QStringLiteral(VARNEL_TEST_DATA_DIR "/doc_deals_1251.xml");
    const QString file = path(QStringLiteral("deals.xml"));
    QVERIFY(QFile::copy(source, file));
    const QByteArray original = readAll(file);

    frmDocument doc;
    doc.LoadFile(file);
    QVERIFY(doc.bodyText().contains(QStringLiteral("Сделка №1 — «тест»")));
    placeCursorAfter(doc.body(), QStringLiteral("<Note>"));
    type(doc.body(), QStringLiteral("Новая "));
    placeCursorAfter(doc.body(), QStringLiteral("</Deals>"));
    QTest::keyClick(doc.body(), Qt::Key_Return);
    type(doc.body(), QStringLiteral("<!-- Ё -->"));
    doc.SaveFile();

    QByteArray expected = original;
    expected.replace("<Note>", "<Note>" + cp1251(QStringLiteral("Новая ")));
    expected.replace("</Deals>", "</Deals>\r\n" + cp1251(QStringLiteral("<!-- Ё -->")));
    QCOMPARE(readAll(file), expected);
}

void TestDocument::characterOutsideTheEncoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("after");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("xml file takes a character reference")
        << QByteArray("<?xml version=\"1.0\" encoding=\"windows-1251\"?><a>\xC0</a>")
        << QStringLiteral("<a>А") << true
        << QByteArray("<?xml version=\"1.0\" encoding=\"windows-1251\"?><a>\xC0"
                      "&#228;&#128512;</a>");
    QTest::newRow("plain text refuses rather than dropping it")
        << QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2 <a>") << QStringLiteral("<a>") << false
        << QByteArray();
}

void TestDocument::characterOutsideTheEncoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, after);
    QFETCH(bool, saved);
    QFETCH(QByteArray, expected);

    ScriptedDialogs dialogs;
    const QString file = path(QStringLiteral("doc.xml"));
    writeAll(file, bytes);
    frmDocument doc;
    doc.LoadFile(file);
    QCOMPARE(doc.textFormat().encoding, QStringLiteral("windows-1251"));
    placeCursorAfter(doc.body(), after);
    type(doc.body(), QStringLiteral("ä") + QString::fromUcs4(U"\U0001F600"));
    TextCommands::Save(&doc);

    if (saved) {
        QCOMPARE(readAll(file), expected);
        QVERIFY(dialogs.shown().isEmpty());
        QVERIFY(!doc.isModified());
    } else {
        QCOMPARE(readAll(file), bytes);
        QCOMPARE(dialogs.shown().size(), 1);
        QCOMPARE(dialogs.last().icon, MessageIcon::Critical);
        QVERIFY(dialogs.last().text.contains(file));
        QVERIFY(doc.isModified());
    }
}

// Bytes that do not decode completely in the encoding they look like (a sequence cut off at the
// end, an odd byte of UTF-16, a lone surrogate) are Windows-1251: every byte is kept when the
// text is decoded and written again, also after an edit that makes the window encode it.
void TestDocument::incompleteTextIsNotInThatEncoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("encoding");

    QTest::newRow("windows-1251 ending in a UTF-8 lead byte")
        << cp1251(QStringLiteral("Total 5 р")) << "windows-1251";
    QTest::newRow("the single byte F2") << QByteArray("\xF2") << "windows-1251";
    QTest::newRow("UTF-8 cut in its last character")
        << (QStringLiteral("Итог").toUtf8() + QByteArray("\xD0")) << "windows-1251";
    QTest::newRow("byte-order mark, odd byte of UTF-16")
        << QByteArray("\xFF\xFE\x61\x00\x62", 5) << "windows-1251";
    QTest::newRow("UTF-16 declaration pattern, odd byte")
        << QByteArray("<\0?\0x\0m\0l\0 \0?\0>\0x", 17) << "windows-1251";
    QTest::newRow("UTF-16 with a lone surrogate")
        << QByteArray("\xFF\xFE\x61\x00\x00\xD8", 6) << "windows-1251";
    QTest::newRow("declared UTF-8, cut at the end")
        << (QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>") +
            QStringLiteral("д").toUtf8().left(1))
        << "windows-1251";
    QTest::newRow("complete UTF-8 stays UTF-8") << (QStringLiteral("Итог 5 р").toUtf8()) << "UTF-8";
    QTest::newRow("complete UTF-16 stays UTF-16")
        << QByteArray("\xFF\xFE\x61\x00\x3D\xD8\x00\xDE", 8) << "UTF-16LE";
}

void TestDocument::incompleteTextIsNotInThatEncoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, encoding);

    const DecodedText decoded = DecodeText(bytes);
    QCOMPARE(decoded.format.encoding, encoding);
    TextFormat asRead = decoded.format;
    asRead.lineEnd = QStringLiteral("\n"); // the text keeps its own line ends
    QCOMPARE(EncodeText(decoded.text, asRead), bytes);

    // Typing at the start makes the window write the text in its encoding: the tail survives.
    const QString file = path(QStringLiteral("t.txt"));
    writeAll(file, bytes);
    frmDocument doc;
    doc.LoadFile(file);
    QTextCursor start(doc.body()->document());
    doc.body()->setTextCursor(start);
    type(doc.body(), QStringLiteral("X"));
    doc.SaveFile();
    const QByteArray saved = readAll(file);
    const qsizetype markLength = decoded.format.byteOrderMark ? (encoding == u"UTF-8" ? 3 : 2) : 0;
    const QByteArray x = encoding.startsWith(u"UTF-16") ? QByteArray("X\0", 2) : QByteArray("X");
    QCOMPARE(saved, bytes.left(markLength) + x + bytes.mid(markLength));
}

// A settings file of plain ASCII is Windows-1251: a Russian value typed into it reads back as
// typed through the settings reader.
void TestDocument::editedSettingsFileReadsBack()
{
    const QString ini = SettingsFilePath();
    QVERIFY(QFile::copy(QStringLiteral(VARNEL_PROGRAM_DIR "/varnel_client.ini"), ini));
    QVERIFY(QFile::setPermissions(ini, QFile::ReadOwner | QFile::WriteOwner));
    frmDocument doc;
    doc.LoadFile(ini);
    QCOMPARE(doc.textFormat().encoding, QStringLiteral("windows-1251"));
    placeCursorAfter(doc.body(), QStringLiteral("Participant="));
    type(doc.body(), QStringLiteral("Участник №1"));
    doc.SaveFile();
    QCOMPARE(ReadSetting(QStringLiteral("Main"), QStringLiteral("Participant"), QString()),
             QStringLiteral("Участник №1"));
    QCOMPARE(ReadSetting(QStringLiteral("Main"), QStringLiteral("Language"), QString()),
             QStringLiteral("RU"));
    QVERIFY(readAll(ini).contains(cp1251(QStringLiteral("Participant=Участник №1\r\n"))));
}

// Where the folder cannot take a new file beside the old one, or the disk is full, the save is
// refused with the reason and the file stays as it was: it is never written in place.
void TestDocument::saveNeverWritesInPlace_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("folder without room for another file") << "files";
    QTest::newRow("full disk") << "bytes";
    QTest::newRow("file-size limit") << "limit";
    QTest::newRow("folder that may not be written") << "permissions";
}

void TestDocument::saveNeverWritesInPlace()
{
    QFETCH(QString, fault);
    std::unique_ptr<testing::SmallDisk> disk;
    QString folder = dir_->filePath(QStringLiteral("docs"));
    QVERIFY(QDir().mkpath(folder));
    if (fault == u"files" || fault == u"bytes") {
        disk = std::make_unique<testing::SmallDisk>(64 * 1024, fault == u"files" ? 8 : 0);
        VARNEL_REQUIRE_DISK(*disk);
        folder = disk->path();
    }
    if (fault == u"permissions" && ::geteuid() == 0)
        QSKIP("root may write into every folder");
    const QString file = folder + QStringLiteral("/notes.txt");
    const QByteArray old = QByteArray("old notes\r\n").repeated(200);
    writeAll(file, old);

    ScriptedDialogs dialogs;
    frmDocument doc;
    doc.LoadFile(file);
    type(doc.body(), QStringLiteral("new "));
    if (fault == u"files")
        disk->useUpFiles();
    if (fault == u"bytes")
        disk->fill();
    if (fault == u"permissions")
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    QString shown;
    if (fault == u"limit") {
        const auto child = testing::RunWithFileSizeLimit(1000, [&] {
            ScriptedDialogs inChild;
            TextCommands::Save(&doc);
            return inChild.shown().isEmpty() ? QString() : inChild.last().text;
        });
        QVERIFY(child);
        shown = *child;
    } else {
        TextCommands::Save(&doc);
        QCOMPARE(dialogs.shown().size(), 1);
        QCOMPARE(dialogs.last().icon, MessageIcon::Critical);
        shown = dialogs.last().text;
    }
    if (fault == u"permissions")
        QVERIFY(
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString expected = fault == u"bytes" ? SystemErrorText(ENOSPC)
                             : fault == u"limit"
                                 ? SystemErrorText(EFBIG)
                                 : QStringLiteral("в его папке нельзя создать новый файл (") +
                                       SystemErrorText(fault == u"files" ? ENOSPC : EACCES) +
                                       QStringLiteral(")");
    QCOMPARE(shown, QStringLiteral("Не удалось сохранить файл ") + file + QStringLiteral(" : ") +
                        expected + QStringLiteral("; файл оставлен без изменений"));
    QCOMPARE(readAll(file), old);
    QCOMPARE(testing::FolderEntries(folder), QStringList(QStringLiteral("notes.txt")));
    QVERIFY(doc.isModified());
}

void TestDocument::changeMarkerFollowsTypingAndSaving()
{
    const QString file = path(QStringLiteral("note.txt"));
    writeAll(file, "line\n");
    frmDocument doc;
    doc.LoadFile(file);
    QCOMPARE(doc.windowTitle(), file);
    QCOMPARE(doc.filePath(), file);

    QTest::keyClicks(doc.body(), QStringLiteral("ab"));
    QCOMPARE(doc.windowTitle(), file + QStringLiteral(" * "));
    QVERIFY(doc.isModified());

    doc.SaveFile();
    QCOMPARE(doc.windowTitle(), file);
    QVERIFY(!doc.isModified());
    QCOMPARE(readAll(file), QByteArray("abline\n"));

    QTest::keyClick(doc.body(), Qt::Key_Backspace);
    QCOMPARE(doc.windowTitle(), file + QStringLiteral(" * "));
}

void TestDocument::plainSaveAfterSaveAsWritesWhereTheTitlePoints()
{
    ScriptedDialogs dialogs;
    const QString a = path(QStringLiteral("a.txt"));
    const QString b = path(QStringLiteral("b.txt"));
    writeAll(a, "original\n");

    dialogs.choosePath(a);
    std::unique_ptr<frmDocument> doc(TextCommands::Open(nullptr));
    QVERIFY(doc);
    QCOMPARE(dialogs.last().kind, DialogKind::OpenFile);
    QCOMPARE(dialogs.last().title, QStringLiteral("Open"));
    // Files without an extension are listed too.
    QCOMPARE(dialogs.last().filter, QStringLiteral("All Files (*)"));

    QTest::keyClicks(doc->body(), QStringLiteral("1"));
    dialogs.choosePath(b);
    TextCommands::SaveAs(doc.get(), nullptr);
    QCOMPARE(dialogs.last().kind, DialogKind::SaveFile);
    QCOMPARE(dialogs.last().title, QStringLiteral("Save As"));
    QCOMPARE(dialogs.last().filter, QStringLiteral("All Files (*)"));
    QCOMPARE(doc->windowTitle(), b);
    QCOMPARE(readAll(b), QByteArray("1original\n"));

    QTest::keyClicks(doc->body(), QStringLiteral("2"));
    TextCommands::Save(doc.get());
    QCOMPARE(readAll(b), QByteArray("12original\n"));
    QCOMPARE(readAll(a), QByteArray("original\n"));
    QCOMPARE(doc->windowTitle(), b);
    QCOMPARE(doc->filePath(), b);

    // Cancelling save-as changes nothing.
    QTest::keyClicks(doc->body(), QStringLiteral("3"));
    dialogs.cancelNext();
    TextCommands::SaveAs(doc.get(), nullptr);
    QCOMPARE(readAll(b), QByteArray("12original\n"));
    QVERIFY(doc->isModified());
    QCOMPARE(dialogs.pending(), 0);
}

void TestDocument::closingAChangedDocumentAsks_data()
{
    QTest::addColumn<bool>("changed");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("writeProtected");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QByteArray>("onDisk");

    QTest::newRow("unchanged closes without a word")
        << false << -1 << false << true << QByteArray("x\n");
    QTest::newRow("yes saves and closes")
        << true << int(Answer::Yes) << false << true << QByteArray("Zx\n");
    QTest::newRow("no discards and closes")
        << true << int(Answer::No) << false << true << QByteArray("x\n");
    QTest::newRow("cancel keeps the window")
        << true << int(Answer::Cancel) << false << false << QByteArray("x\n");
    QTest::newRow("yes with a failing save keeps the window")
        << true << int(Answer::Yes) << true << false << QByteArray("x\n");
}

void TestDocument::closingAChangedDocumentAsks()
{
    QFETCH(bool, changed);
    QFETCH(int, answer);
    QFETCH(bool, writeProtected);
    QFETCH(bool, closes);
    QFETCH(QByteArray, onDisk);

    ScriptedDialogs dialogs;
    const QString file = path(QStringLiteral("c.txt"));
    writeAll(file, "x\n");
    auto* doc = new frmDocument;
    doc->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<frmDocument> alive(doc);
    doc->LoadFile(file);
    doc->show();
    if (changed)
        QTest::keyClicks(doc->body(), QStringLiteral("Z"));
    if (writeProtected)
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner));
    if (answer >= 0)
        dialogs.answer(Answer(answer));

    QCOMPARE(doc->close(), closes);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(alive.isNull(), closes);
    QCOMPARE(readAll(file), onDisk);
    QCOMPARE(dialogs.pending(), 0);

    if (!changed) {
        QVERIFY(dialogs.shown().isEmpty());
    } else {
        const DialogRequest& q = dialogs.shown().first();
        QCOMPARE(q.text, QStringLiteral("Вы внесли изменения в файл. Сохранить файл ") + file +
                             QStringLiteral(" ?"));
        QCOMPARE(q.title, QStringLiteral("Varnel"));
        QCOMPARE(q.icon, MessageIcon::Question);
        QCOMPARE(q.buttons, MessageButtons::YesNoCancel);
        QCOMPARE(dialogs.shown().size(), writeProtected ? 2 : 1);
        if (writeProtected)
            QCOMPARE(dialogs.last().icon, MessageIcon::Critical);
    }
    delete alive.data();
}

void TestDocument::closingTheFrameRunsTheQuestionPerWindow()
{
    ScriptedDialogs dialogs;
    QMdiArea area;
    area.resize(800, 600);
    area.show();
    const QString one = path(QStringLiteral("one.txt"));
    const QString two = path(QStringLiteral("two.txt"));
    writeAll(one, "1");
    writeAll(two, "2");
    for (const QString& f : {one, two}) {
        auto* doc = new frmDocument;
        doc->LoadFile(f);
        area.addSubWindow(doc)->show();
        QTest::keyClicks(doc->body(), QStringLiteral("+"));
    }

    // Cancel for the first window asked keeps it; No for the other lets it go.
    dialogs.answer(Answer::Cancel);
    dialogs.answer(Answer::No);
    area.closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(dialogs.texts().size(), 2);
    QCOMPARE(area.subWindowList().size(), 1);

    dialogs.answer(Answer::Yes);
    area.closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(area.subWindowList().size(), 0);
    QCOMPARE(dialogs.pending(), 0);
    const QByteArray a = readAll(one), b = readAll(two);
    QVERIFY2((a == "+1") != (b == "+2"), "exactly one window saved");
}

void TestDocument::loadFailuresAreShownAndLeaveTheWindowAsItWas()
{
    ScriptedDialogs dialogs;
    const QString missing = path(QStringLiteral("missing.txt"));
    dialogs.choosePath(missing);
    QCOMPARE(TextCommands::Open(nullptr), nullptr);
    QCOMPARE(dialogs.shown().size(), 2);
    QCOMPARE(dialogs.last().icon, MessageIcon::Critical);
    QCOMPARE(dialogs.last().title, kMainTrapCaption);
    QVERIFY(dialogs.last().text.contains(missing));

    dialogs.cancelNext();
    QCOMPARE(TextCommands::Open(nullptr), nullptr);
    QCOMPARE(dialogs.shown().size(), 3);

    const QString file = path(QStringLiteral("kept.txt"));
    writeAll(file, "kept");
    frmDocument doc;
    doc.LoadFile(file);
    QVERIFY_THROWS_EXCEPTION(Error, doc.LoadFile(path(QStringLiteral("nowhere/x.txt"))));
    QCOMPARE(doc.windowTitle(), file);
    QCOMPARE(doc.filePath(), file);
    QCOMPARE(doc.bodyText(), QStringLiteral("kept"));
}

void TestDocument::saveFailureKeepsTheChangeMarker()
{
    ScriptedDialogs dialogs;
    const QString file = path(QStringLiteral("s.txt"));
    writeAll(file, "s");
    frmDocument doc;
    doc.LoadFile(file);
    QTest::keyClicks(doc.body(), QStringLiteral("t"));
    dialogs.choosePath(path(QStringLiteral("no/such/folder/s.txt")));
    TextCommands::SaveAs(&doc, nullptr);
    QCOMPARE(dialogs.texts().size(), 1);
    QCOMPARE(dialogs.last().icon, MessageIcon::Critical);
    QCOMPARE(doc.windowTitle(), file + QStringLiteral(" * "));
    QCOMPARE(doc.filePath(), file);
}

void TestDocument::printsToPdf()
{
    const QString file = path(QStringLiteral("print.txt"));
    writeAll(file, QStringLiteral("Печать\nвторая строка\n").toUtf8());
    frmDocument doc;
    doc.LoadFile(file);

    QStringList titles;
    testing::ScopedPageSetupDialog pageSetup(
        [&](QPrinter& printer, QWidget*, const QString& title) {
            titles << title;
            printer.setPageOrientation(QPageLayout::Landscape);
            return true;
        });
    TextCommands::PageSetup(nullptr);

    const QString pdf = path(QStringLiteral("out.pdf"));
    bool accept = false;
    bool setupKept = true;
    testing::ScopedPrintDialog print([&](QPrinter& printer, QWidget*, const QString& title) {
        titles << title;
        setupKept = setupKept && printer.pageLayout().orientation() == QPageLayout::Landscape;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return accept;
    });
    TextCommands::Print(&doc, nullptr);
    QVERIFY(!QFile::exists(pdf));

    accept = true;
    TextCommands::Print(&doc, nullptr);
    QCOMPARE(titles, (QStringList{QStringLiteral("Page Setup"), QStringLiteral("Print"),
                                  QStringLiteral("Print")}));
    QVERIFY(setupKept);
    QByteArray bytes = readAll(pdf);
    QVERIFY(bytes.size() > 100);
    QVERIFY(bytes.startsWith("%PDF"));

    // The same print from the window's own context menu, the one way a user reaches it.
    QVERIFY(QFile::remove(pdf));
    std::unique_ptr<QMenu> menu(doc.createContextMenu());
    auto* printItem = menu->findChild<QAction*>(QStringLiteral("actPrint"));
    QVERIFY(printItem);
    QCOMPARE(printItem->text(), QStringLiteral("Печать..."));
    QVERIFY(menu->findChild<QAction*>(QStringLiteral("actPageSetup")));
    printItem->trigger();
    QCOMPARE(titles.size(), 4);
    bytes = readAll(pdf);
    QVERIFY(bytes.startsWith("%PDF"));
}

void TestDocument::bodyKeepsATwentyTwipMargin()
{
    frmDocument doc;
    doc.resize(400, 300);
    doc.show();
    QVERIFY(QTest::qWaitForWindowExposed(&doc));
    const QRect g = doc.body()->geometry();
    const double pxPerTwipX = doc.logicalDpiX() / 1440.0;
    const double pxPerTwipY = doc.logicalDpiY() / 1440.0;
    QVERIFY(qAbs(g.left() - 20 * pxPerTwipX) <= 1);
    QVERIFY(qAbs(g.top() - 20 * pxPerTwipY) <= 1);
    QVERIFY(qAbs(g.width() - (400 - 40 * pxPerTwipX)) <= 1);
    QVERIFY(qAbs(g.height() - (300 - 40 * pxPerTwipY)) <= 1);

    doc.resize(200, 120);
    QVERIFY(qAbs(doc.body()->width() - (200 - 40 * pxPerTwipX)) <= 1);
    QVERIFY(qAbs(doc.body()->height() - (120 - 40 * pxPerTwipY)) <= 1);
}

QTEST_MAIN(TestDocument)
#include "tst_document.moc"
