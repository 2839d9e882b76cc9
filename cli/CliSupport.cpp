#include "cli/CliSupport.h"

#include "reconcile/Reconcile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <cstdio>

#include <unistd.h>

namespace varnel::cli {
namespace {

void writeErr(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void writeOut(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

// A cell as JSON: a number cell a number, a date its ISO text, any other its text.
QJsonValue jsonOf(const TableCell& cell)
{
    switch (cell.kind) {
    case TableCell::Kind::Empty: return QString();
    case TableCell::Kind::Text: return cell.text;
    case TableCell::Kind::Number: {
        bool ok = false;
        const qint64 whole = cell.text.toLongLong(&ok);
        if (ok)
            return whole;
        const double number = cell.text.toDouble(&ok);
        return ok ? QJsonValue(number) : QJsonValue(cell.text);
    }
    case TableCell::Kind::Date: return cell.date.toString(Qt::ISODate);
    }
    return QString();
}

} // namespace

void Say(const QString& text)
{
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    while (line.endsWith(u'\n'))
        line.chop(1);
    writeErr(QStringLiteral("varnel-cli: ") + line + u'\n');
}

// ---- Arguments

Outcome Arguments::parse(const QStringList& arguments, const QList<OptionSpec>& specs)
{
    const auto specOf = [&](const QString& name) -> const OptionSpec* {
        for (const OptionSpec& spec : specs) {
            if (spec.name == name)
                return &spec;
        }
        return nullptr;
    };
    bool options = true;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!options || !argument.startsWith(QStringLiteral("--"))) {
            if (options && argument.size() > 1 && argument.startsWith(u'-'))
                return Outcome::Failed(QStringLiteral("неизвестный параметр ") + argument);
            positional_ << argument;
            continue;
        }
        if (argument == u"--") {
            options = false;
            continue;
        }
        const qsizetype equals = argument.indexOf(u'=');
        const QString name = argument.mid(2, equals < 0 ? -1 : equals - 2);
        const OptionSpec* spec = specOf(name);
        if (!spec)
            return Outcome::Failed(QStringLiteral("неизвестный параметр --") + name);
        if (!spec->value) {
            if (equals >= 0)
                return Outcome::Failed(QStringLiteral("параметр --") + name +
                                       QStringLiteral(" не принимает значения"));
            values_[name];
            continue;
        }
        QString value;
        if (equals >= 0) {
            value = argument.mid(equals + 1);
        } else {
            if (i + 1 >= arguments.size())
                return Outcome::Failed(QStringLiteral("параметру --") + name +
                                       QStringLiteral(" нужно значение ") + spec->valueName);
            value = arguments.at(++i);
        }
        values_[name] << value;
    }
    return Outcome::Done();
}

// ---- Output

Output::Output(bool json, QList<OutputColumn> columns) : json_(json), columns_(std::move(columns))
{
}

void Output::titles()
{
    if (titled_ || json_)
        return;
    titled_ = true;
    QList<TableCell> cells;
    for (const OutputColumn& column : columns_)
        cells << TableCell::textCell(column.title);
    writeOut(CsvRecord(cells).toUtf8() + '\n');
}

void Output::row(const QList<TableCell>& cells, const QJsonObject& more)
{
    if (!json_) {
        titles();
        writeOut(CsvRecord(cells).toUtf8() + '\n');
        return;
    }
    QJsonObject object;
    for (qsizetype c = 0; c < columns_.size(); ++c)
        object.insert(columns_.at(c).key, jsonOf(cells.value(c)));
    for (auto it = more.begin(); it != more.end(); ++it)
        object.insert(it.key(), it.value());
    writeOut(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
}

void Output::finish()
{
    titles();
    std::fflush(stdout);
}

// ---- TerminalProgress

TerminalProgress::TerminalProgress() : terminal_(::isatty(STDERR_FILENO) == 1) {}

TerminalProgress::~TerminalProgress()
{
    if (shown_)
        writeErr(QStringLiteral("\r\x1b[K"));
}

void TerminalProgress::stage(const QString& text, qint64 total)
{
    text_ = text;
    total_ = total;
    percent_ = -1;
    show(text_);
}

void TerminalProgress::advance(qint64 done)
{
    if (total_ <= 0)
        return;
    const int percent = int(std::min<qint64>(100, done * 100 / total_));
    if (percent == percent_)
        return;
    percent_ = percent;
    show(text_ + QStringLiteral(": %1%").arg(percent));
}

void TerminalProgress::show(const QString& line)
{
    if (!terminal_)
        return;
    shown_ = true;
    writeErr(QStringLiteral("\r\x1b[K") + line);
}

// ---- QuietDialogs

DialogResult QuietDialogs::show(QWidget*, const DialogRequest& request)
{
    DialogResult result;
    if (request.kind != DialogKind::Message)
        return result; // cancelled: nobody picks a file here
    Say(request.text);
    result.answer = answer_ && OffersAnswer(request.buttons, *answer_)
                        ? *answer_
                        : EscapeAnswer(request.buttons);
    return result;
}

int QuietDialogs::runModal(QDialog&)
{
    return 0; // rejected
}

// ---- The program folder

QString DefaultProgramFolder()
{
    const QString own = QCoreApplication::applicationDirPath();
    const QFileInfo ownFolder(own);
    if (QFileInfo(QDir(own).filePath(QStringLiteral("varnel_client.ini"))).isFile() &&
        ownFolder.isWritable())
        return own;
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (!data.startsWith(u'/'))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/varnel");
}

std::optional<int> ParseSeconds(const QString& text)
{
    bool ok = false;
    const int seconds = text.toInt(&ok);
    // At most a fortnight: the timer counts milliseconds in an int.
    if (!ok || seconds < 0 || seconds > 14 * 24 * 3600 || text.startsWith(u'+'))
        return std::nullopt;
    return seconds;
}

bool PeriodOptions(const Arguments& arguments, QDate& since, QDate& until)
{
    for (const auto& [option, date] :
         {std::pair{QStringLiteral("since"), &since}, std::pair{QStringLiteral("until"), &until}}) {
        if (!arguments.has(option))
            continue;
        const QDate parsed = reconcile::PeriodDate(arguments.value(option));
        if (!parsed.isValid()) {
            Say(QStringLiteral("--") + option +
                QStringLiteral(": дата ГГГГ-ММ-ДД или ДД.ММ.ГГГГ, а не ") +
                arguments.value(option));
            return false;
        }
        *date = parsed;
    }
    return true;
}

} // namespace varnel::cli
