// Start-up of the client against a bare Qt window: each run is a fresh process that builds its
// window, shows it and ends once its first paint is done. The time runs from the parent's start
// of the process (so loading the libraries counts too) to the end of that paint, on the
// machine's steady clock both processes read; the time to the end of the process, its
// teardown included, is printed beside it. Run from the build: build/bench/bench_startup [runs].
#include "BenchFigures.h"
#include "core/AppContext.h"
#include "shell/ClientParts.h"
#include "shell/frmMain.h"
#include "tests/support/Overrides.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QMenuBar>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// The steady clock, in nanoseconds.
qint64 SteadyNow()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Ends the process once the window has painted, and prints when the paint was done: a timer of
// no delay runs after the paint of the whole window.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !painted_) {
            painted_ = true;
            QTimer::singleShot(0, qApp, [] {
                std::printf("%lld\n", static_cast<long long>(SteadyNow()));
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool painted_ = false;
};

int child(int argc, char** argv, bool client, const QString& folder)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    FirstPaint paint;
    if (!client) {
        QMainWindow window;
        window.menuBar()->addMenu(QStringLiteral("&Файл"));
        window.statusBar()->showMessage(QStringLiteral("ready"));
        window.installEventFilter(&paint);
        window.show();
        return app.exec();
    }
    varnel::PrepareClientApplication();
    varnel::testing::ScopedProgramFolder program(folder);
    varnel::testing::ScopedPlacementRoot store(folder + QStringLiteral("/store"));
    varnel::RegisterClientParts();
    varnel::frmMain window;
    window.installEventFilter(&paint);
    window.show();
    return app.exec();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && QByteArray(argv[1]) == "--child")
        return child(1, argv, QByteArray(argv[2]) == "client", QString::fromLocal8Bit(argv[3]));

    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, atoi(argv[1])) : 11;
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("store"));
    {
        QFile ini(dir.filePath(QStringLiteral("varnel_client.ini")));
        if (!ini.open(QIODevice::WriteOnly) || ini.write("[Main]\r\nLanguage=RU\r\n") <= 0)
            return 1;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    std::vector<double> painted[2];
    std::vector<double> ended[2];
    for (int i = 0; i < runs; ++i) {
        for (int kind = 0; kind < 2; ++kind) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            const qint64 start = SteadyNow();
            p.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"),
                     kind ? QStringLiteral("client") : QStringLiteral("bare"), dir.path()});
            bool read = false;
            const qint64 paint = p.waitForFinished(30000) && p.exitCode() == 0
                                     ? p.readAllStandardOutput().trimmed().toLongLong(&read)
                                     : 0;
            if (!read || paint < start) {
                std::fprintf(stderr, "run failed\n");
                return 1;
            }
            painted[kind].push_back(double(paint - start) / 1e6);
            ended[kind].push_back(double(SteadyNow() - start) / 1e6);
        }
    }
    const double bare = median(painted[0]);
    const double client = median(painted[1]);
    std::printf("start to first paint, median of %d runs: bare Qt window %.1f ms, client %.1f ms,"
                " ratio %.2f\n",
                runs, bare, client, client / bare);
    std::printf("start to the end of the process: bare Qt window %.1f ms, client %.1f ms,"
                " ratio %.2f\n",
                median(ended[0]), median(ended[1]), median(ended[1]) / median(ended[0]));
    varnel::bench::Begin("bench_startup");
    varnel::bench::Report("client start to first paint (median of " + std::to_string(runs) + ")",
                          client, "ms",
                          varnel::bench::TimesBaseline(1.3, "bare Qt window", bare, "ms"),
                          "bare Qt window " + varnel::bench::Amount(bare, "ms"));
    return 0;
}
