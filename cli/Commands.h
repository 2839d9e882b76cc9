#pragma once

#include "cli/CliSupport.h"

#include <QList>
#include <QString>

namespace varnel::cli {

// What every subcommand is handed: its arguments taken apart, the output format and the
// dialog facade of the program (a command sets the answer its questions get).
struct CommandContext {
    const Arguments& arguments;
    bool json = false;
    QuietDialogs& dialogs;
};

// One subcommand: its name, the line of the program's help, its own help (usage first), the
// options it takes besides the common ones, and what runs it. Returns the exit status. A new
// subcommand is one more entry of Subcommands().
struct Subcommand {
    QString name;
    QString summary;
    QString help;
    QList<OptionSpec> options;
    int (*run)(const CommandContext& context) = nullptr;
};
const QList<Subcommand>& Subcommands();

// The options every subcommand takes.
QList<OptionSpec> CommonOptions();

int RunCheck(const CommandContext& context);
int RunSend(const CommandContext& context);
int RunRevoke(const CommandContext& context);
int RunJournal(const CommandContext& context);
int RunHandbook(const CommandContext& context);
int RunReconcile(const CommandContext& context);

} // namespace varnel::cli
