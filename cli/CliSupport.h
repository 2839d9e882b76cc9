#pragma once

#include "core/Dialogs.h"
#include "core/Outcome.h"
#include "core/Progress.h"
#include "tables/TableWriter.h"

#include <QDate>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace varnel::cli {

// The exit statuses of every subcommand (docs/automation.md, the manual page).
enum ExitStatus : int {
    kExitDone = 0,    // everything passed, was placed or was accepted
    kExitRefused = 1, // rows refused by the checks, deals rejected by the registry
    kExitFailure = 2, // a file or folder that cannot be read or written, bad arguments
    kExitNoAnswer = 3 // no answer within the time given to --wait
};

// A diagnostic line on standard error: "varnel-cli: " and the text, its CR LF made line ends.
void Say(const QString& text);

// The options a subcommand takes: each by its long name, with or without a value; a value
// option may be given more than once (--map).
struct OptionSpec {
    QString name;
    bool value = false;
    QString valueName; // for the help text
    QString help;
};

// A command line taken apart by the specs: options by name (the values in their order) and the
// other arguments in theirs. "--name value" and "--name=value"; "--" ends the options.
class Arguments {
public:
    // Failed with the text to show for an unknown option or a value missing.
    Outcome parse(const QStringList& arguments, const QList<OptionSpec>& specs);
    bool has(const QString& name) const { return values_.contains(name); }
    QString value(const QString& name) const { return values_.value(name).value(0); }
    QStringList values(const QString& name) const { return values_.value(name); }
    const QStringList& positional() const { return positional_; }

private:
    QHash<QString, QStringList> values_;
    QStringList positional_;
};

// What the program prints on standard output: a table, as CSV with its title row (the cells as
// the table files have them, tables/TableWriter.h, without the byte-order mark and with LF line
// ends) or as one JSON object a line, the columns' keys its names.
struct OutputColumn {
    QString key;
    QString title;
};
class Output {
public:
    Output(bool json, QList<OutputColumn> columns);
    // The title row is printed with the first row, or by finish() when there is none. more
    // adds to (or replaces in) the JSON object only.
    void row(const QList<TableCell>& cells, const QJsonObject& more = {});
    void finish();

private:
    void titles();
    bool json_;
    QList<OutputColumn> columns_;
    bool titled_ = false;
};

// The progress of a long step on standard error, one line rewritten in place, when standard
// error is a terminal; nothing otherwise.
class TerminalProgress final : public Progress {
public:
    TerminalProgress();
    ~TerminalProgress() override;
    void stage(const QString& text, qint64 total = 0) override;
    void advance(qint64 done) override;
    bool stopRequested() const override { return false; }

private:
    void show(const QString& line);
    bool terminal_;
    QString text_;
    qint64 total_ = 0;
    int percent_ = -1;
    bool shown_ = false;
};

// The dialog facade of a program with nobody in front of it: a message goes to standard error,
// a question gets the answer the command the user gave stands for (or the answer of a box
// closed without a choice), a file dialog is cancelled and a modal dialog rejected. Nothing
// ever waits for input.
class QuietDialogs final : public DialogProvider {
public:
    DialogResult show(QWidget* parent, const DialogRequest& request) override;
    int runModal(QDialog& dialog) override;
    // The answer every question gets from now on; nothing: as if closed without a choice.
    void answerQuestions(std::optional<Answer> answer) { answer_ = answer; }

private:
    std::optional<Answer> answer_;
};

// The program folder the program runs on when none is given: the executable's own when it
// holds a settings file and may be written (a build's program folder, the user's folder the
// launcher made), else the package's per-user folder, ${XDG_DATA_HOME:-~/.local/share}/varnel.
QString DefaultProgramFolder();

// The --since and --until options (yyyy-mm-dd or dd.mm.yyyy, as the reconciliation takes them)
// into since and until, each left as it is when not given; false (said) when one is no date.
bool PeriodOptions(const Arguments& arguments, QDate& since, QDate& until);

// A whole number of seconds for --wait; nothing when the text is none.
std::optional<int> ParseSeconds(const QString& text);

} // namespace varnel::cli
