// The rules of the revocation dialogs without their widgets: the Id test, and what Add, Edit,
// a row click and Delete do with the fields and the list, in the order of their checks.
#include "core/Error.h"
#include "revoke/RevocationForm.h"
#include "tests/messages/TestSupport.h"
#include "tests/support/ScriptedDialogs.h"

#include <QAbstractItemModelTester>
#include <QTemporaryDir>
#include <QtTest>

using namespace varnel;

Q_DECLARE_METATYPE(RevocationKind)
Q_DECLARE_METATYPE(RevocationFields)

namespace {

RevocationFields make(const QString& id, const QString& agreement, const QString& reference,
                      const QString& direction, const QString& participant,
                      const QString& reason = QString())
{
    return {id, agreement, reference, direction, participant, reason};
}

// The description of the failure the action raises; empty when it raises none.
template <typename F> QString failureOf(F&& action)
{
    try {
        action();
    } catch (const Error& e) {
        return e.description();
    }
    return QString();
}

} // namespace

class RevocationFormTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    test::ScopedProgramSettings program_{dir_.path()};

    void setParticipant(const QString& value)
    {
        test::useSettings(dir_.path(), {"[Main]", "Participant=" + value, "Language=RU"});
    }

private slots:
    void init() { setParticipant(QStringLiteral("MC0001")); }

    void idCheck_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        const auto row = [](const char* tag, const QString& text, bool accepted) {
            QTest::newRow(tag) << text << accepted;
        };
        row("empty", "", true);
        row("digits", "123", true);
        row("blanks around", "  123  ", true);
        row("plus", "+5", true);
        row("minus with blanks", " -42 ", true);
        row("leading zeros", "007", true);
        row("beyond 64 bits", "123456789012345678901234567890", true);
        row("blanks only", "   ", false);
        row("point", "12.5", false);
        row("comma", "1,5", false);
        row("thousands", "1,000", false);
        row("letters", "12a", false);
        row("exponent", "1e5", false);
        row("hex prefix", "&H1F", false);
        row("octal prefix", "&O17", false);
        row("c hex", "0x1F", false);
        row("currency", "$5", false);
        row("rouble sign", "5₽", false);
        row("parentheses", "(5)", false);
        row("trailing sign", "5-", false);
        row("blank after sign", "- 5", false);
        row("sign alone", "-", false);
        row("two signs", "+-5", false);
        row("inner blank", "1 000", false);
        row("tab", "\t5", false);
        row("no-break space", QStringLiteral("\u00A05"), false);
        row("arabic-indic digits", QStringLiteral("\u0661\u0662"), false);
        row("fullwidth digits", QStringLiteral("\uFF11\uFF12"), false);
    }

    void idCheck()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QCOMPARE(RevocationForm::IsIdAccepted(text), accepted);
    }

    // Each case: the fields typed, the participant of the options, the message of the first
    // check that fails (or none), and the fields afterwards, trimmed whether or not it failed.
    void add_data()
    {
        QTest::addColumn<RevocationKind>("kind");
        QTest::addColumn<RevocationFields>("typed");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("message");
        QTest::addColumn<RevocationFields>("after");
        const auto D = RevocationKind::Deal;
        const auto R = RevocationKind::Repo;

        QTest::newRow("deal: trimmed, reason kept as typed")
            << D << make("  12 ", " A-1 ", " ", "", " MC9 ", "  why ") << "MC0001"
            << "" << make("12", "A-1", "", "", "MC9", "  why ");
        QTest::newRow("only spaces are trimmed")
            << D << make("\t12", "", "", "", "MC9\t") << "MC0001"
            << "" << make("\t12", "", "", "", "MC9\t");
        QTest::newRow("cleared participant is refilled")
            << D << make("12", "", "", "", "   ") << "MC0001"
            << "" << make("12", "", "", "", "MC0001");
        QTest::newRow("no participant anywhere")
            << D << make(" 12 ", "", "", "", " ") << "" << ParticipantMissingText()
            << make("12", "", "", "", "");
        QTest::newRow("participant is checked before the keys")
            << D << make("", "", "", "", "") << "" << ParticipantMissingText()
            << make("", "", "", "", "");
        QTest::newRow("no key") << D << make(" ", " ", " ", "", "") << "MC0001" << KeyMissingText(D)
                                << make("", "", "", "", "MC0001");
        QTest::newRow("repo: direction I") << R << make("", "A", "", " I ", "") << "MC0001"
                                           << "" << make("", "A", "", "I", "MC0001");
        QTest::newRow("repo: direction S") << R << make("5", "", "", "S", "P") << "MC0001"
                                           << "" << make("5", "", "", "S", "P");
        QTest::newRow("repo: lower case direction")
            << R << make("5", "", "", "i", "P") << "MC0001" << DirectionInvalidText()
            << make("5", "", "", "i", "P");
        QTest::newRow("repo: empty direction")
            << R << make("5", "", "", " ", "P") << "MC0001" << DirectionInvalidText()
            << make("5", "", "", "", "P");
        QTest::newRow("repo: word direction")
            << R << make("5", "", "", "Initial", "P") << "MC0001" << DirectionInvalidText()
            << make("5", "", "", "Initial", "P");
        QTest::newRow("repo: keys before direction, without Direction in the text")
            << R << make("", "", "", "x", "P") << "MC0001" << KeyMissingText(D)
            << make("", "", "", "x", "P");
    }

    void add()
    {
        QFETCH(RevocationKind, kind);
        QFETCH(RevocationFields, typed);
        QFETCH(QString, setting);
        QFETCH(QString, message);
        QFETCH(RevocationFields, after);
        setParticipant(setting);

        RevocationForm form(kind);
        RevocationFields f = typed;
        QCOMPARE(failureOf([&] { form.Add(f); }), message);
        QCOMPARE(f, after);
        QCOMPARE(form.list().rowCount(), message.isEmpty() ? 1 : 0);
        if (message.isEmpty()) {
            const QStringList expected =
                kind == RevocationKind::Repo
                    ? QStringList{after.id, after.agreement, after.reference, after.direction,
                                  after.participant}
                    : QStringList{after.id, after.agreement, after.reference, after.participant,
                                  after.reason};
            QCOMPARE(form.list().row(0), expected);
        }
    }

    // Rows keep the order they were added in; Delete and Edit act on the row named, and on no
    // row at all when none is selected.
    void editAndDelete()
    {
        RevocationForm deal(RevocationKind::Deal);
        QAbstractItemModelTester tester(&deal.list(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (const char* id : {"1", "2", "3"}) {
            RevocationFields f = make(QString::fromLatin1(id), "", "", "", "", "first reason");
            deal.Add(f);
        }

        RevocationFields untouched = make(" 9 ", "", "", "", " ");
        deal.Edit(untouched, -1);
        QCOMPARE(untouched, make(" 9 ", "", "", "", " "));

        RevocationFields f = make(" 22 ", "AG", "", "", "", "other reason");
        deal.Edit(f, 1);
        QCOMPARE(f.participant, QStringLiteral("MC0001"));
        QCOMPARE(deal.list().row(1), QStringList({"22", "AG", "", "MC0001", "first reason"}));

        RevocationFields clicked = make("", "", "", "", "", "typed reason");
        deal.FillFromRow(clicked, 1);
        QCOMPARE(clicked, make("22", "AG", "", "", "MC0001", "typed reason"));

        RevocationFields none = make("", "", "", "", "P");
        QCOMPARE(failureOf([&] { deal.Edit(none, 0); }), KeyMissingText(RevocationKind::Deal));

        deal.Delete(7);
        deal.Delete(0);
        QCOMPARE(deal.list().rowCount(), 2);
        QCOMPARE(deal.list().cell(0, 0), QStringLiteral("22"));
        QCOMPARE(deal.list().cell(1, 0), QStringLiteral("3"));
    }

    // Edit names a repo part by any of four fields and does not test the direction.
    void repoEdit()
    {
        RevocationForm repo(RevocationKind::Repo);
        RevocationFields f = make("5", "", "", "I", "P");
        repo.Add(f);

        f = make("", "AG", "", "", "P");
        repo.Edit(f, 0);
        QCOMPARE(repo.list().row(0), QStringList({"", "AG", "", "", "P"}));

        f = make("", "", "", " s ", "");
        repo.Edit(f, 0);
        QCOMPARE(repo.list().row(0), QStringList({"", "", "", "s", "MC0001"}));

        f = make("", "", "", "", "P");
        QCOMPARE(failureOf([&] { repo.Edit(f, 0); }), KeyMissingText(RevocationKind::Repo));
        QCOMPARE(repo.list().row(0), QStringList({"", "", "", "s", "MC0001"}));

        RevocationFields clicked;
        repo.FillFromRow(clicked, 0);
        QCOMPARE(clicked, make("", "", "", "s", "MC0001"));
    }

    // An empty list never reaches the pipeline: no question is asked.
    void emptyListIsNotSent()
    {
        ScriptedDialogs dialogs;
        RevocationForm form(RevocationKind::Repo);
        QCOMPARE(failureOf([&] { form.Send(QStringLiteral("Short"), nullptr); }), EmptyListText());
        QVERIFY(dialogs.shown().isEmpty());
    }
};

QTEST_GUILESS_MAIN(RevocationFormTest)
#include "tst_revocationform.moc"
