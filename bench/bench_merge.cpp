// Timing of the merge tool: a whole merge run of two files of 20,000 keys (about 1 MB each),
// its peak memory as a separate process, and additions of many keys to one section.
#include "BenchFigures.h"
#include "MergeRun.h"
#include "Windows1251.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

using namespace varnel;

namespace {

constexpr int kSections = 200;
constexpr int kKeysPerSection = 100;

// A settings file of kSections * kKeysPerSection keys; `upper` writes the names in capitals
// and `tag` marks the values, so the two files differ in every value.
QByteArray SettingsFile(bool upper, const char* tag)
{
    QString text;
    for (int s = 0; s < kSections; ++s) {
        const QString section = QStringLiteral("Раздел_%1").arg(s);
        text += QStringLiteral("; раздел номер %1\r\n[%2]\r\n")
                    .arg(s)
                    .arg(upper ? section.toUpper() : section);
        for (int k = 0; k < kKeysPerSection; ++k) {
            const QString key = QStringLiteral("Key_%1_Ключ_%2").arg(s).arg(k);
            text += (upper ? key.toUpper() : key) +
                    QStringLiteral(" = %1 value of key %2 in %3 ; note\r\n").arg(tag).arg(k).arg(s);
        }
    }
    return EncodeWindows1251(text);
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double AddKeysMs(int count)
{
    CIniMngr ini;
    ini.LoadLines({QStringLiteral("[Main]"), QStringLiteral("Last=1")});
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i)
        ini.ValueAdd(QStringLiteral("Main"), QStringLiteral("Key%1").arg(i), QStringLiteral("v"));
    QStringList lines;
    ini.SaveLines(lines);
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QString base = dir.filePath("base.ini");
    const QString values = dir.filePath("values.ini");
    const QString output = dir.filePath("out.ini");
    {
        const QByteArray baseBytes = SettingsFile(false, "base");
        const QByteArray valueBytes = SettingsFile(true, "merged");
        if (!WriteFile(base, baseBytes) || !WriteFile(values, valueBytes)) {
            std::fprintf(stderr, "cannot write the bench files\n");
            return 1;
        }
        std::printf("files: base %lld bytes, values %lld bytes, %d keys each\n",
                    static_cast<long long>(baseBytes.size()),
                    static_cast<long long>(valueBytes.size()), kSections * kKeysPerSection);
    }

    // In process: read both, parse, merge, write (atomically).
    std::vector<double> runs;
    for (int i = 0; i < 15; ++i) {
        QElapsedTimer timer;
        timer.start();
        RunMerge({base, values, output});
        runs.push_back(timer.nsecsElapsed() / 1e6);
    }
    const double mergeMs = Median(runs);
    std::printf("merge run in process: median %.1f ms, best %.1f ms\n", mergeMs,
                *std::min_element(runs.begin(), runs.end()));

    // As the program itself: wall time and peak resident memory of the process, next to cat
    // reading the same two files and writing the output.
    const auto timedOnce = [](const QString& program, const QStringList& args) {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        process.start(program, args);
        const bool ok =
            process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
        return ok ? timer.nsecsElapsed() / 1e6 : NAN;
    };
    // Best of five.
    const auto timedProcess = [&](const QString& program, const QStringList& args) {
        double best = timedOnce(program, args);
        for (int i = 1; i < 5; ++i)
            best = std::min(best, timedOnce(program, args));
        return best;
    };
    const double catMs = timedProcess(QStringLiteral("cat"), {base, values});
    // The program's own start: without arguments it says how to call it and ends.
    const double startMs = timedProcess(QStringLiteral(QUILMER_PATH), {});
    const double processMs = timedProcess(QStringLiteral(QUILMER_PATH), {base, values, output});
    double peakMb = 0;
#ifdef Q_OS_UNIX
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    peakMb = children.ru_maxrss / 1024.0;
#endif

    // Additions to one section: each new key goes straight after the header, so the cost per
    // addition must not grow with the number of keys already there.
    double perAdd[2] = {0, 0};
    for (const int count : {5000, 20000}) {
        std::vector<double> adds;
        for (int i = 0; i < 5; ++i)
            adds.push_back(AddKeysMs(count));
        perAdd[count == 20000] = Median(adds) * 1000.0 / count;
        std::printf("ValueAdd x %5d into one section: %.2f ms (%.3f us each)\n", count,
                    Median(adds), perAdd[count == 20000]);
    }

    const std::string catText = "cat of both files " + bench::Amount(catMs, "ms");
    bench::Begin("bench_merge");
    bench::Report("merge of two 20,000-key files, in process (median)", mergeMs, "ms",
                  bench::AtMost(100, "ms"), catText);
    bench::Report("Quilmer process, the same merge with its start (peak " +
                      bench::Amount(peakMb, "MB") + ")",
                  processMs, "ms", bench::AtMost(100 + startMs, "ms"),
                  catText + ", Quilmer's start alone " + bench::Amount(startMs, "ms"));
    bench::Report("ValueAdd into one section of 20,000 keys, per key", perAdd[1], "us",
                  bench::TimesBaseline(2, "the cost at 5,000", perAdd[0], "us"),
                  "at 5,000 keys " + bench::Amount(perAdd[0], "us"));
    return 0;
}
