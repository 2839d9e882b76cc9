// VarnelLoopback: the transport and the registry for one program folder, for rehearsing the
// whole road of a report without a network.
//
//   VarnelLoopback --program-folder DIR         the folders of DIR/varnel_client.ini
//   VarnelLoopback --send DIR --receive DIR     or given directly
//   options: --archive DIR, --handbook FILE, --once, --interval-ms N
//
// Runs until SIGTERM or SIGINT. With --once it answers what is there and exits: 0 when
// nothing waits, 1 when something waits for another try (a folder missing, a full disk),
// 2 for a command line or an archive it cannot use.

#include "ClientSettings.h"
#include "Log.h"
#include "Registry.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <clocale>
#include <csignal>
#include <cstdio>

#include <sys/socket.h>
#include <unistd.h>

using namespace loopback;

namespace {

std::atomic_bool g_stop{false};
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    g_stop.store(true);
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

int fail(const QString& text)
{
    std::fprintf(stderr, "VarnelLoopback: %s\n", qPrintable(text));
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The application object takes the C locale from the environment; numbers in answers and
    // files keep "." whatever the desktop's locale is.
    std::setlocale(LC_NUMERIC, "C");
    QCoreApplication::setApplicationName(QStringLiteral("VarnelLoopback"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays the transport and the registry for one program folder: takes each request "
        "from the send folder into the archive and answers it into the receive folder."));
    parser.addHelpOption();
    const QCommandLineOption programFolder(
        QStringLiteral("program-folder"),
        QStringLiteral("Read FolderSend and FolderReceive from DIR/varnel_client.ini."),
        QStringLiteral("DIR"));
    const QCommandLineOption send(QStringLiteral("send"), QStringLiteral("The send folder."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption receive(QStringLiteral("receive"),
                                     QStringLiteral("The receive folder."), QStringLiteral("DIR"));
    const QCommandLineOption archive(
        QStringLiteral("archive"),
        QStringLiteral("Where requests, answers, the database and the log are kept (default: "
                       "a folder archive beside the send folder)."),
        QStringLiteral("DIR"));
    const QCommandLineOption handbook(
        QStringLiteral("handbook"),
        QStringLiteral("The handbook served and checked against (default: the newest handbook "
                       "in the archive's handbook folder)."),
        QStringLiteral("FILE"));
    const QCommandLineOption once(QStringLiteral("once"),
                                  QStringLiteral("Answer what is there, then exit."));
    const QCommandLineOption interval(QStringLiteral("interval-ms"),
                                      QStringLiteral("How often the send folder is looked at "
                                                     "(default 500)."),
                                      QStringLiteral("N"), QStringLiteral("500"));
    parser.addOptions({programFolder, send, receive, archive, handbook, once, interval});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    RegistryOptions options;
    if (parser.isSet(programFolder)) {
        ClientFolders folders;
        QString reason;
        const QString dir = QFileInfo(parser.value(programFolder)).absoluteFilePath();
        if (!ReadClientFolders(dir, folders, reason) &&
            !(parser.isSet(send) && parser.isSet(receive)))
            return fail(reason);
        options.send = folders.send;
        options.receive = folders.receive;
    }
    if (parser.isSet(send))
        options.send = parser.value(send);
    if (parser.isSet(receive))
        options.receive = parser.value(receive);
    if (options.send.isEmpty() || options.receive.isEmpty())
        return fail(QStringLiteral("give --program-folder DIR, or --send DIR and --receive DIR "
                                   "(see --help)"));
    options.send = QFileInfo(options.send).absoluteFilePath();
    options.receive = QFileInfo(options.receive).absoluteFilePath();
    options.archive = parser.isSet(archive)
                          ? QFileInfo(parser.value(archive)).absoluteFilePath()
                          : QFileInfo(options.send).absolutePath() + QStringLiteral("/archive");
    if (parser.isSet(handbook))
        options.handbook = QFileInfo(parser.value(handbook)).absoluteFilePath();
    bool intervalOk = false;
    const int intervalMs = parser.value(interval).toInt(&intervalOk);
    if (!intervalOk || intervalMs < 10)
        return fail(QStringLiteral("--interval-ms takes a number of milliseconds from 10 up"));

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return fail(QStringLiteral("cannot set up the signal handling"));
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // A file-size limit makes a write fail (File too large), which is logged and tried again,
    // instead of ending the registry at its first log line.
    std::signal(SIGXFSZ, SIG_IGN);

    Log log;
    Registry registry(options, log);
    registry.setStopFlag(&g_stop);
    QString error;
    if (!registry.start(error))
        return fail(error);

    if (parser.isSet(once)) {
        registry.poll();
        const bool idle = registry.idle();
        registry.stop();
        return idle || g_stop.load() ? 0 : 1;
    }

    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    QTimer timer;
    timer.setInterval(intervalMs);
    QObject::connect(&timer, &QTimer::timeout, &app, [&] {
        registry.poll();
        if (g_stop.load())
            QCoreApplication::quit();
    });
    timer.start();
    QTimer::singleShot(0, &app, [&] { registry.poll(); });
    const int code = app.exec();
    registry.stop();
    return code;
}
