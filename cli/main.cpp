// varnel-cli: the client's reports, requests and journal for a scheduler, without a window. It
// runs on the client's program folder and settings with the client's widget-free libraries.
#include "cli/Commands.h"
#include "core/AppContext.h"
#include "core/NumberLocale.h"
#include "filesave/ReplacingFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace varnel::cli {
namespace {

const QString kCommon =
    QStringLiteral("Общие параметры:\n"
                   "  --program-folder ПАПКА  папка программы (настройки, рабочий каталог,\n"
                   "                          каталоги отправки и приема)\n"
                   "  --json                  JSON, один объект в строке, вместо CSV\n"
                   "  --help                  эта справка\n");

const QString kStatuses =
    QStringLiteral("Код завершения: 0 - все сделки прошли проверку или приняты реестром;\n"
                   "1 - есть отклоненные строки или сделки; 2 - ошибка (файл не читается,\n"
                   "неверные параметры, запрос не отправлен); 3 - нет ответа за время --wait.\n");

void print(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

QString programHelp()
{
    QString text = QStringLiteral(
        "Использование: varnel-cli [--program-folder ПАПКА] [--json] КОМАНДА [ПАРАМЕТРЫ]\n"
        "Отчеты о сделках, запросы и журнал отправок клиента Varnel без окон.\n\nКоманды:\n");
    for (const Subcommand& command : Subcommands())
        text += QStringLiteral("  %1  %2\n").arg(command.name.leftJustified(9), command.summary);
    text += QStringLiteral("\nvarnel-cli КОМАНДА --help: параметры команды.\n"
                           "  --version  версия программы\n\n") +
            kCommon + u'\n' + kStatuses;
    return text;
}

// The program folder and its settings file, as the client finds them.
bool useProgramFolder(const QString& given)
{
    QString folder = given.isEmpty() ? DefaultProgramFolder() : given;
    folder = QDir(folder).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        Say(QStringLiteral("Папка программы ") + folder +
            QStringLiteral(" не существует (запустите varnel или укажите --program-folder)"));
        return false;
    }
    ChooseProgramFolder(folder);
    SetSettingsFilePath(QString());
    if (!QFileInfo(SettingsFilePath()).isFile()) {
        Say(QStringLiteral("Нет файла настроек ") + SettingsFilePath());
        return false;
    }
    const QString user = QueryLoginName();
    SetUserName(user.isEmpty() ? QStringLiteral("@default") : user);
    return true;
}

int run(QStringList arguments)
{
    // The options before the command are the program's.
    QString programFolder;
    bool json = false;
    while (!arguments.isEmpty() && arguments.first().startsWith(QStringLiteral("--"))) {
        const QString option = arguments.takeFirst();
        if (option == u"--version") {
            print(stdout, QStringLiteral("varnel-cli ") + VersionString() + u'\n');
            return kExitDone;
        }
        if (option == u"--help") {
            print(stdout, programHelp());
            return kExitDone;
        }
        if (option == u"--json") {
            json = true;
        } else if (option == u"--program-folder" && !arguments.isEmpty()) {
            programFolder = arguments.takeFirst();
        } else if (option.startsWith(QStringLiteral("--program-folder="))) {
            programFolder = option.mid(int(qstrlen("--program-folder=")));
        } else {
            Say(QStringLiteral("неизвестный параметр ") + option);
            return kExitFailure;
        }
    }
    if (arguments.isEmpty()) {
        print(stderr, programHelp());
        return kExitFailure;
    }
    const QString name = arguments.takeFirst();
    const Subcommand* command = nullptr;
    for (const Subcommand& c : Subcommands()) {
        if (c.name == name)
            command = &c;
    }
    if (!command) {
        Say(QStringLiteral("неизвестная команда ") + name + QStringLiteral(" (varnel-cli --help)"));
        return kExitFailure;
    }
    Arguments parsed;
    const Outcome outcome = parsed.parse(arguments, command->options + CommonOptions());
    if (!outcome.done()) {
        Say(name + QStringLiteral(": ") + outcome.failure + QStringLiteral(" (varnel-cli ") + name +
            QStringLiteral(" --help)"));
        return kExitFailure;
    }
    if (parsed.has(QStringLiteral("help"))) {
        QString text = command->help + u'\n';
        for (const OptionSpec& option : command->options) {
            const QString head = QStringLiteral("  --") + option.name +
                                 (option.value ? u' ' + option.valueName : QString());
            text += head.leftJustified(24) + u' ' + option.help + u'\n';
        }
        print(stdout, text + u'\n' + kCommon + u'\n' + kStatuses);
        return kExitDone;
    }
    if (parsed.has(QStringLiteral("program-folder")))
        programFolder = parsed.value(QStringLiteral("program-folder"));
    json = json || parsed.has(QStringLiteral("json"));
    if (!useProgramFolder(programFolder))
        return kExitFailure;

    QuietDialogs dialogs;
    SetApplicationDialogProvider(&dialogs);
    const CommandContext context{parsed, json, dialogs};
    const int status = command->run(context);
    SetApplicationDialogProvider(nullptr);
    std::fflush(stdout);
    return status;
}

} // namespace

QList<OptionSpec> CommonOptions()
{
    return {{QStringLiteral("program-folder"), true, QStringLiteral("ПАПКА"), QString()},
            {QStringLiteral("json"), false, QString(), QString()},
            {QStringLiteral("help"), false, QString(), QString()}};
}

const QList<Subcommand>& Subcommands()
{
    static const OptionSpec kind{QStringLiteral("kind"), true, QStringLiteral("deals|repo"),
                                 QStringLiteral("вид отчета: сделки или сделки РЕПО")};
    static const OptionSpec map{
        QStringLiteral("map"), true, QStringLiteral("ЗАГОЛОВОК=ПОЛЕ"),
        QStringLiteral("столбец файла с этим заголовком - в это поле (имя или заголовок поля; "
                       "пустое поле: столбец не загружается); можно повторять")};
    static const OptionSpec wait{QStringLiteral("wait"), true, QStringLiteral("СЕКУНДЫ"),
                                 QStringLiteral("ждать ответа реестра и вывести результат "
                                                "каждой сделки")};
    static const QList<Subcommand> commands{
        {QStringLiteral("check"),
         QStringLiteral("проверить сделки файла, как импорт в отчет"),
         QStringLiteral("Использование: varnel-cli check --kind deals|repo [--map З=П]... ФАЙЛ\n"
                        "ФАЙЛ - таблица CSV или .xlsx (первая строка - заголовки столбцов) или\n"
                        "файл отчета. Каждая строка проходит проверки импорта окна отчета.\n"
                        "Выводит отклоненные строки: строка, поле, значение, ошибка."),
         {kind, map},
         RunCheck},
        {QStringLiteral("send"),
         QStringLiteral("отправить сделки файла одним запросом"),
         QStringLiteral("Использование: varnel-cli send --kind deals|repo [--map З=П]... "
                        "[--wait СЕКУНДЫ]\n"
                        "                      [--skip-refused] [--dry-run ФАЙЛ] ФАЙЛ\n"
                        "Сделки файла, прошедшие проверку, становятся запросом, как при отправке\n"
                        "отчета из окна; запрос записывается в журнал отправок. Если есть\n"
                        "отклоненные строки, ничего не отправляется."),
         {kind,
          map,
          wait,
          {QStringLiteral("skip-refused"), false, QString(),
           QStringLiteral("отправить прошедшие проверку, пропустив отклоненные")},
          {QStringLiteral("dry-run"), true, QStringLiteral("ФАЙЛ"),
           QStringLiteral("записать запрос в файл, ничего не отправляя")}},
         RunSend},
        {QStringLiteral("revoke"),
         QStringLiteral("запрос на удаление сделок в реестре"),
         QStringLiteral("Использование: varnel-cli revoke --kind deals|repo [--wait СЕКУНДЫ] "
                        "ID...\n"
                        "ID - номер сделки в реестре; для сделок РЕПО с частью: ID:I или ID:S.\n"
                        "Участник - из настроек, как в окне удаления сделок."),
         {kind,
          wait,
          {QStringLiteral("reply"), true, QStringLiteral("Short|Full"),
           QStringLiteral("формат ответа на запрос РЕПО (Short)")}},
         RunRevoke},
        {QStringLiteral("journal"),
         QStringLiteral("журнал отправок; journal take - принять ответы"),
         QStringLiteral("Использование: varnel-cli journal [--since ДАТА] [--until ДАТА]\n"
                        "                         [--state waiting|accepted|rejected|revoked] "
                        "[--deals]\n"
                        "       varnel-cli journal take\n"
                        "Запросы журнала (или их сделки), как их показывает окно журнала;\n"
                        "take принимает в журнал пришедшие ответы."),
         {{QStringLiteral("since"), true, QStringLiteral("ДАТА"),
           QStringLiteral("с этого дня (ГГГГ-ММ-ДД или ДД.ММ.ГГГГ)")},
          {QStringLiteral("until"), true, QStringLiteral("ДАТА"), QStringLiteral("по этот день")},
          {QStringLiteral("state"), true, QStringLiteral("СОСТОЯНИЕ"),
           QStringLiteral("ждут ответа, приняты, отклонены или удалены в реестре")},
          {QStringLiteral("deals"), false, QString(), QStringLiteral("сделки вместо запросов")}},
         RunJournal},
        {QStringLiteral("handbook"),
         QStringLiteral("запрос справочника ЦБ; поиск нового справочника"),
         QStringLiteral("Использование: varnel-cli handbook request|find\n"
                        "request - отправить запрос справочника ЦБ;\n"
                        "find - сделать текущим самый новый справочник каталога приема."),
         {},
         RunHandbook},
        {QStringLiteral("reconcile"),
         QStringLiteral("сверка файла сделок с журналом отправок"),
         QStringLiteral("Использование: varnel-cli reconcile --kind deals|repo [--since ДАТА] "
                        "[--until ДАТА]\n"
                        "                           [--map З=П]... ФАЙЛ\n"
                        "Каждая сделка файла (прочитанного, как его читает импорт) со своим\n"
                        "состоянием в журнале отправок: не отправлена, ждет ответа, принята\n"
                        "(номер в реестре), расходится (поля), отклонена (код), удалена в\n"
                        "реестре; и принятые за период сделки, которых нет в файле. Период -\n"
                        "дата сделки; без него - даты сделок файла. Код выхода 0, когда все\n"
                        "сделки файла приняты без расхождений и в файле ничего не недостает."),
         {kind,
          map,
          {QStringLiteral("since"), true, QStringLiteral("ДАТА"),
           QStringLiteral("сделки с этого дня (ГГГГ-ММ-ДД или ДД.ММ.ГГГГ)")},
          {QStringLiteral("until"), true, QStringLiteral("ДАТА"),
           QStringLiteral("сделки по этот день")}},
         RunReconcile},
    };
    return commands;
}

} // namespace varnel::cli

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Numbers in files keep "." whatever the user's locale; a save beyond a file-size limit
    // fails like a full disk instead of ending the program.
    varnel::UseCNumbers();
    varnel::filesave::IgnoreFileSizeSignal();
    QCoreApplication::setApplicationName(varnel::kAppTitle);
    QCoreApplication::setApplicationVersion(varnel::VersionString());
    return varnel::cli::run(app.arguments().mid(1));
}
