// Both revocation dialogs driven through the main window's commands with scripted dialogs:
// their texts, the checks as the user meets them, the Id check on leaving the field, and the
// requests they leave in the send folder.
#include "core/AppContext.h"
#include "core/PlacementStore.h"
#include "revoke/window/RevocationDialog.h"
#include "shell/Startup.h"
#include "shell/frmMain.h"
#include "tests/messages/TestSupport.h"
#include "tests/support/GoldenDump.h"
#include "tests/support/MainWindowSuite.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

#include <optional>

using namespace varnel;

namespace {

using Row = QMap<QString, QString>;

// The document element's attributes and the attributes of each row element of a request.
struct Request {
    Row root;
    QList<Row> rows;
};

Row attributesOf(xmlNode* node)
{
    Row out;
    for (xmlAttr* a = node->properties; a; a = a->next) {
        xmlChar* v = xmlNodeListGetString(node->doc, a->children, 1);
        out.insert(QString::fromUtf8(reinterpret_cast<const char*>(a->name)),
                   QString::fromUtf8(reinterpret_cast<const char*>(v)));
        xmlFree(v);
    }
    return out;
}

Request parseRequest(const QString& path, bool* ok)
{
    Request r;
    test::XmlDocPtr doc = test::parseDocument(path);
    *ok = bool(doc);
    if (!doc)
        return r;
    xmlNode* root = xmlDocGetRootElement(doc.get());
    r.root = attributesOf(root);
    r.root.insert(QStringLiteral("#name"),
                  QString::fromUtf8(reinterpret_cast<const char*>(root->name)));
    for (xmlNode* n = root->children; n; n = n->next) {
        if (n->type == XML_ELEMENT_NODE)
            r.rows.append(attributesOf(n));
    }
    return r;
}

template <typename T> T* child(QDialog& d, const char* name)
{
    T* w = d.findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qWarning("no control %s", name);
    return w;
}

void type(QDialog& d, const char* field, const QString& text)
{
    child<QLineEdit>(d, field)->setText(text);
}

void press(QDialog& d, const char* button)
{
    child<QPushButton>(d, button)->click();
}

QString text(QDialog& d, const char* field)
{
    return child<QLineEdit>(d, field)->text();
}

void clickRow(QDialog& d, int row)
{
    auto* view = child<QTableView>(d, "lvDeals");
    const QRect cell = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
}

} // namespace

class RevokeDialogsTest : public testing::MainWindowSuite {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;

    QString folder(const char* name) const { return dir_->filePath(QString::fromLatin1(name)); }
    QStringList files(const char* name) const
    {
        return QDir(folder(name)).entryList(QDir::Files | QDir::Hidden);
    }
    void writeSettings(const QString& participant)
    {
        test::useSettings(dir_->path(), {"[Main]", "Participant=" + participant, "Language=RU",
                                         "[Path]", "FolderWork=.\\work", "FolderSend=.\\send"});
    }
    // Opens the dialog through its command; the action acts on it while it is open. Returns
    // the dialog's result, -1 when it was not opened.
    int open(RevocationKind kind, std::function<void(RevocationDialog&)> action)
    {
        int result = -1;
        dialogs_->onModal([&](QDialog& d) {
            action(static_cast<RevocationDialog&>(d));
            result = d.result();
            return result;
        });
        if (kind == RevocationKind::Repo)
            main_->revokeRepoDeals(); // the item is hidden in the menu
        else
            main_->findChild<QAction*>(QStringLiteral("mnuRevokeDeal"))->trigger();
        return result;
    }
    // The one request in the send folder, parsed.
    Request sentRequest(const QString& prefix)
    {
        const QStringList sent = files("send");
        if (sent.size() != 1) {
            qWarning() << "send folder:" << sent;
            return {};
        }
        const QRegularExpression name(QStringLiteral("^%1[0-9A-F]{1,4}\\.xml$").arg(prefix));
        if (!name.match(sent.first()).hasMatch())
            qWarning() << "request name" << sent.first();
        bool ok = false;
        Request r = parseRequest(QDir(folder("send")).filePath(sent.first()), &ok);
        if (!ok)
            qWarning("the request does not parse");
        return r;
    }

    std::optional<test::ScopedProgramSettings> program_;

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        for (const char* sub : {"work", "send", "store"})
            QDir(dir_->path()).mkdir(QString::fromLatin1(sub));
        program_.emplace(dir_->path());
        writeSettings(QStringLiteral("MC0001"));
        PlacementStore::SetRoot(folder("store"));
        QCOMPARE(openClient(), StartupResult::Running);
    }

    void cleanup()
    {
        const int unused = closeClient();
        program_.reset();
        QCOMPARE(unused, 0);
    }

    void textsAsOpened_data()
    {
        QTest::addColumn<RevocationKind>("kind");
        QTest::addColumn<QString>("name");
        QTest::newRow("deal") << RevocationKind::Deal << QStringLiteral("dlgRevokeDeal");
        QTest::newRow("repo") << RevocationKind::Repo << QStringLiteral("dlgRevokeDealRepo");
    }

    // Captions, labels, hints and the opening state: the participant of the options, send,
    // change and delete disabled, answer format Short.
    void textsAsOpened()
    {
        QFETCH(RevocationKind, kind);
        QFETCH(QString, name);
        QString dump;
        open(kind, [&](RevocationDialog& d) { dump = testing::DumpWidgetTexts(d); });
        QCOMPARE(dialogs_->last().kind, DialogKind::Modal);
        QCOMPARE(dialogs_->last().text, name);
        QString message;
        QVERIFY2(testing::MatchesGolden(
                     dump, QStringLiteral(VARNEL_GOLDEN_DIR "/") + name + QStringLiteral(".txt"),
                     &message),
                 qPrintable(message));
    }

    void threeRowsSent_data()
    {
        QTest::addColumn<RevocationKind>("kind");
        QTest::newRow("deal") << RevocationKind::Deal;
        QTest::newRow("repo") << RevocationKind::Repo;
    }

    // Three rows as a user enters them, one after another with the fields kept, then sent.
    void threeRowsSent()
    {
        QFETCH(RevocationKind, kind);
        const bool repo = kind == RevocationKind::Repo;
        const int result = open(kind, [&](RevocationDialog& d) {
            type(d, "txtID", QStringLiteral("  101 "));
            type(d, repo ? "txtDirection" : "txtReason",
                 repo ? QStringLiteral("I") : QStringLiteral("дубль"));
            press(d, "cmdAdd");
            type(d, "txtID", QString());
            type(d, "txtAgreement", QStringLiteral("Д-7/2016"));
            type(d, "txtParticipant", QString());
            if (repo)
                type(d, "txtDirection", QStringLiteral("S"));
            else
                type(d, "txtReason", QString());
            press(d, "cmdAdd");
            type(d, "txtAgreement", QString());
            type(d, "txtReference", QStringLiteral("R-3"));
            type(d, "txtParticipant", QStringLiteral("MC0002"));
            press(d, "cmdAdd");
            if (repo)
                child<QComboBox>(d, "cbAnswerMode")->setEditText(QStringLiteral(" Full "));
            QVERIFY2(dialogs_->texts().isEmpty(), qPrintable(dialogs_->texts().join(u'\n')));
            // Send follows the list at once, not at the timer's next tick.
            QVERIFY(child<QPushButton>(d, "OKButton")->isEnabled());
            dialogs_->answer(Answer::Yes);
            press(d, "OKButton");
        });
        QCOMPARE(result, int(QDialog::Accepted));
        const Request r = sentRequest(repo ? QStringLiteral("RR") : QStringLiteral("RD"));
        QCOMPARE(r.root.value(QStringLiteral("#name")),
                 repo ? QStringLiteral("RepoRevokeDeals") : QStringLiteral("RevokeDeals"));
        QCOMPARE(r.root.value(QStringLiteral("Language")), QStringLiteral("RU"));
        QCOMPARE(r.root.value(QStringLiteral("ReplyType"), QStringLiteral("(none)")),
                 repo ? QStringLiteral(" Full ") : QStringLiteral("(none)"));
        const QString p = QStringLiteral("Participant");
        const QString x = repo ? QStringLiteral("Direction") : QStringLiteral("Reason");
        const QList<Row> expected = {
            {{"Id", "101"}, {p, "MC0001"}, {x, repo ? "I" : "дубль"}},
            {{"Agreement", "Д-7/2016"}, {p, "MC0001"}, {x, repo ? "S" : ""}},
            {{"Reference", "R-3"}, {p, "MC0002"}, {x, repo ? "S" : ""}},
        };
        QCOMPARE(r.rows.size(), 3);
        for (int i = 0; i < 3; ++i) {
            Row want = expected.at(i);
            want.removeIf([](const auto& kv) { return kv.value().isEmpty(); });
            QCOMPARE(r.rows.at(i), want);
        }
        QVERIFY(files("work").isEmpty());
        QCOMPARE(dialogs_->shown().at(1).icon, MessageIcon::Question);
        QVERIFY(
            dialogs_->last().text.endsWith(QDir(folder("send")).filePath(files("send").first())));
    }

    void closesWhateverThePipelineDid_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<bool>("sendFolder");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("declined") << false << true << "";
        QTest::newRow("send folder missing") << true << false << "Каталог отправки не существует: ";
    }

    // Declining the confirmation or a failure in the pipeline closes the dialog all the same;
    // the list is lost and the next opening starts empty.
    void closesWhateverThePipelineDid()
    {
        QFETCH(bool, confirm);
        QFETCH(bool, sendFolder);
        QFETCH(QString, outcome);
        if (!sendFolder)
            QVERIFY(QDir(folder("send")).removeRecursively());
        int finished = 0;
        const int result = open(RevocationKind::Deal, [&](RevocationDialog& d) {
            connect(&d, &QDialog::finished, this, [&] { ++finished; });
            type(d, "txtID", QStringLiteral("5"));
            press(d, "cmdAdd");
            dialogs_->answer(confirm ? Answer::Yes : Answer::No);
            press(d, "OKButton");
        });
        QCOMPARE(finished, 1);
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(dialogs_->texts().size(), outcome.isEmpty() ? 1 : 2);
        if (!outcome.isEmpty())
            QVERIFY(dialogs_->last().text.startsWith(outcome));
        QVERIFY(files("work").isEmpty());
        int rows = -1;
        open(RevocationKind::Deal, [&](RevocationDialog& d) { rows = d.form().list().rowCount(); });
        QCOMPARE(rows, 0);
    }

    // Send, change and delete go off as soon as the last row has gone (and stay so at the
    // tick); a send that reaches the dialog all the same is refused and the dialog stays open.
    void sendingTheEmptiedList()
    {
        open(RevocationKind::Repo, [&](RevocationDialog& dialog) {
            QDialog& d = dialog;
            QSignalSpy finished(&d, &QDialog::finished);
            type(d, "txtID", QStringLiteral("5"));
            type(d, "txtDirection", QStringLiteral("I"));
            press(d, "cmdAdd");
            press(d, "cmdDel"); // nothing selected: nothing happens
            QCOMPARE(dialog.form().list().rowCount(), 1);
            child<QTableView>(d, "lvDeals")->selectRow(0);
            press(d, "cmdDel");
            QCOMPARE(dialog.form().list().rowCount(), 0);
            QCOMPARE(text(d, "txtID"), QStringLiteral("5"));
            for (const char* b : {"OKButton", "cmdEdit", "cmdDel"})
                QVERIFY(!child<QPushButton>(d, b)->isEnabled());
            QVERIFY(child<QPushButton>(d, "cmdAdd")->isEnabled());
            dialog.showListEnabling();
            QVERIFY(!child<QPushButton>(d, "OKButton")->isEnabled());
            dialog.sendList();
            QCOMPARE(dialogs_->texts(), QStringList{EmptyListText()});
            QCOMPARE(finished.count(), 0);
        });
        QVERIFY(files("send").isEmpty());
    }

    void refusals_data()
    {
        QTest::addColumn<RevocationKind>("kind");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("message");
        QTest::newRow("add, no participant anywhere") << RevocationKind::Deal << "cmdAdd"
                                                      << "" << ParticipantMissingText();
        QTest::newRow("repo edit, no key") << RevocationKind::Repo << "cmdEdit"
                                           << "MC0001" << KeyMissingText(RevocationKind::Repo);
    }

    // A refused Add or Edit as the user meets it: a stop box with OK and the program's title,
    // the list unchanged, and the trimming and participant fill done before the check left in
    // the fields.
    void refusals()
    {
        QFETCH(RevocationKind, kind);
        QFETCH(QString, button);
        QFETCH(QString, setting);
        QFETCH(QString, message);
        const bool repo = kind == RevocationKind::Repo;
        open(kind, [&](RevocationDialog& d) {
            type(d, "txtID", QStringLiteral("1"));
            if (repo)
                type(d, "txtDirection", QStringLiteral("I"));
            press(d, "cmdAdd");
            child<QTableView>(d, "lvDeals")->selectRow(0);
            writeSettings(setting);
            type(d, "txtID", QStringLiteral("  "));
            type(d, "txtAgreement", setting.isEmpty() ? QStringLiteral(" AG ") : QString());
            type(d, "txtParticipant", QStringLiteral("  "));
            if (repo)
                type(d, "txtDirection", QStringLiteral("   "));
            dialogs_->clear();
            press(d, qPrintable(button));
            QCOMPARE(dialogs_->texts(), QStringList{message});
            QCOMPARE(dialogs_->last().icon, MessageIcon::Critical);
            QCOMPARE(dialogs_->last().buttons, MessageButtons::Ok);
            QCOMPARE(dialogs_->last().title, kAppTitle);
            QCOMPARE(d.form().list().rowCount(), 1);
            QCOMPARE(d.form().list().row(0).at(0), QStringLiteral("1"));
            QCOMPARE(text(d, "txtID"), QString());
            QCOMPARE(text(d, "txtAgreement"), setting.isEmpty() ? QStringLiteral("AG") : QString());
            QCOMPARE(text(d, "txtParticipant"), setting);
            if (repo)
                QCOMPARE(text(d, "txtDirection"), QString());
        });
    }

    // A click on a row fills the fields (the deal reason stays as typed); Edit writes them back
    // into that row and keeps its reason; an added row is not selected.
    void rowClickAndEdit()
    {
        open(RevocationKind::Deal, [&](RevocationDialog& dialog) {
            QDialog& d = dialog;
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            for (const char* id : {"1", "2"}) {
                type(d, "txtID", QString::fromLatin1(id));
                type(d, "txtReason", QStringLiteral("причина ") + id);
                press(d, "cmdAdd");
            }
            QCOMPARE(dialog.selectedRow(), -1);
            type(d, "txtReason", QStringLiteral("другая"));
            clickRow(d, 0);
            QCOMPARE(text(d, "txtID"), QStringLiteral("1"));
            QCOMPARE(text(d, "txtReason"), QStringLiteral("другая"));
            type(d, "txtAgreement", QStringLiteral("AG"));
            press(d, "cmdEdit");
            QCOMPARE(dialog.form().list().row(0),
                     QStringList({"1", "AG", "", "MC0001", "причина 1"}));
            // Walking the list with the keys fills the fields as a click does.
            auto* view = child<QTableView>(d, "lvDeals");
            view->setFocus();
            QTest::keyClick(view, Qt::Key_Down);
            QCOMPARE(dialog.selectedRow(), 1);
            QCOMPARE(text(d, "txtID"), QStringLiteral("2"));
            QCOMPARE(text(d, "txtAgreement"), QString());

            // Deleting while the list holds the focus (a key, a screen reader's press action):
            // the fields are not touched, although the view moves its selection to the row
            // left; and no row is selected afterwards, so Edit cannot overwrite the row that
            // moved up with the texts of the one deleted.
            QVERIFY(view->hasFocus());
            press(d, "cmdDel");
            QCOMPARE(dialog.form().list().rowCount(), 1);
            QCOMPARE(text(d, "txtID"), QStringLiteral("2"));
            QCOMPARE(text(d, "txtAgreement"), QString());
            QCOMPARE(dialog.selectedRow(), -1);
            type(d, "txtAgreement", QStringLiteral("AG2"));
            press(d, "cmdEdit");
            QCOMPARE(dialog.form().list().rowCount(), 1);
            QCOMPARE(dialog.form().list().row(0).at(1), QStringLiteral("AG"));
            d.hide();
        });
        QVERIFY(dialogs_->texts().isEmpty());
    }

    // A refused Id keeps the focus in its field; the click or Tab that tried to leave does
    // nothing else. Closing stays possible, and Add does not repeat the check.
    void idCheckOnLeavingTheField()
    {
        const int result = open(RevocationKind::Deal, [&](RevocationDialog& dialog) {
            QDialog& d = dialog;
            d.show();
            d.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&d));
            auto* id = child<QLineEdit>(d, "txtID");
            id->setFocus();
            QTest::keyClicks(id, QStringLiteral("12.5"));
            QTest::mouseClick(child<QPushButton>(d, "cmdAdd"), Qt::LeftButton);
            QTRY_COMPARE(dialogs_->texts(), QStringList{IdFormatText()});
            QCOMPARE(dialogs_->last().icon, MessageIcon::Critical);
            QTRY_COMPARE(QApplication::focusWidget(), id);
            QCOMPARE(dialog.form().list().rowCount(), 0);

            id->setText(QStringLiteral("1e5"));
            QTest::keyClick(id, Qt::Key_Tab);
            QTRY_COMPARE(dialogs_->texts().size(), 2);
            QTRY_COMPARE(QApplication::focusWidget(), id);

            id->setText(QStringLiteral("  77 "));
            QTest::mouseClick(child<QPushButton>(d, "cmdAdd"), Qt::LeftButton);
            QCOMPARE(dialog.form().list().row(0).at(0), QStringLiteral("77"));
            QCOMPARE(text(d, "txtID"), QStringLiteral("77"));

            id->setFocus();
            id->setText(QStringLiteral("abc"));
            QTest::mouseClick(child<QPushButton>(d, "CancelButton"), Qt::LeftButton);
            QCoreApplication::processEvents();
            QCOMPARE(dialogs_->texts().size(), 2);
            QVERIFY(!d.isVisible());
        });
        QCOMPARE(result, int(QDialog::Rejected));
    }

    void hostileValuesSurvive_data()
    {
        QTest::addColumn<RevocationKind>("kind");
        QTest::addColumn<int>("rows");
        QTest::newRow("deal, 1000 rows") << RevocationKind::Deal << 1000;
        QTest::newRow("repo, 1000 rows") << RevocationKind::Repo << 1000;
    }

    // Markup characters, tabs, line breaks, Cyrillic and characters outside the code page,
    // a 10,000-character reason and 1,000 rows reach the registry character for character.
    void hostileValuesSurvive()
    {
        QFETCH(RevocationKind, kind);
        QFETCH(int, rows);
        const bool repo = kind == RevocationKind::Repo;
        const QString hostile =
            QStringLiteral("a&b \"q\" <x> 'y' \t tab\r\nline\rcr\nlf Ж € ł 中 😀 &amp;");
        const QString reply = QStringLiteral("F<u\"l&l\t");
        const QString longReason = QString(9991, u'я') + QStringLiteral("<&\"end\"> ");
        QList<Row> expected;
        const int result = open(kind, [&](RevocationDialog& d) {
            for (int i = 0; i < rows; ++i) {
                const QString n = QString::number(i);
                type(d, "txtID", n);
                type(d, "txtAgreement", hostile + n);
                type(d, "txtReference", QStringLiteral("Внутр\t") + n);
                type(d, "txtParticipant", QStringLiteral("Уч-") + hostile);
                if (repo)
                    type(d, "txtDirection", i % 2 ? QStringLiteral("S") : QStringLiteral("I"));
                else
                    type(d, "txtReason", i == 0 ? longReason : hostile + n);
                press(d, "cmdAdd");
                Row row{{"Id", n},
                        {"Agreement", hostile + n},
                        {"Reference", QStringLiteral("Внутр\t") + n},
                        {"Participant", QStringLiteral("Уч-") + hostile}};
                if (repo)
                    row.insert(QStringLiteral("Direction"), i % 2 ? "S" : "I");
                else
                    row.insert(QStringLiteral("Reason"),
                               i == 0 ? longReason.chopped(1) : hostile + n);
                expected.append(row);
            }
            if (repo)
                child<QComboBox>(d, "cbAnswerMode")->setEditText(reply);
            dialogs_->answer(Answer::Yes);
            press(d, "OKButton");
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(longReason.size(), 10000);
        const Request r = sentRequest(repo ? QStringLiteral("RR") : QStringLiteral("RD"));
        if (repo)
            QCOMPARE(r.root.value(QStringLiteral("ReplyType")), reply);
        QCOMPARE(r.rows.size(), rows);
        for (int i = 0; i < rows; ++i)
            QCOMPARE(r.rows.at(i), expected.at(i));
    }
};

QTEST_MAIN(RevokeDialogsTest)
#include "tst_revokedialogs.moc"
