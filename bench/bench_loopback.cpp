// Times the loopback registry on generated requests of the shape the client writes, each run
// a child process (VarnelLoopback --once on a fresh copy of the folders), next to
// `xmllint --noout --stream` on the same request in the same run:
//   1. a report of 10,000 deals, all accepted, answered with its receipt;
//   2. the same report once more, every deal a duplicate of one accepted before;
//   3. the revocation of the 10,000 deals by their Reference;
//   4. 100 MB of junk, refused.
//
//   bench_loopback [folder]     work folder (default: a temporary one)

#include "BenchFigures.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace bench = varnel::bench;

namespace {

constexpr int kDeals = 10000;

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

QByteArray frame(const QString& body)
{
    QStringEncoder cp1251("windows-1251");
    return cp1251.encode(QStringLiteral("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n"
                                        "<!-- Message has been generated with Varnel Client "
                                        "version 2.1.0 -->\r\n") +
                         body);
}

// The columns of the shipped deal layout in their order, as the client writes a row: the
// empty-marked cells (QtyFrac 0, AccruedInt 0, Block 0) left out.
QByteArray dealsRequest()
{
    QString body = QStringLiteral("<deals Language=\"RU\">\r\n");
    for (int i = 0; i < kDeals; ++i) {
        body += QStringLiteral(
                    "<deal Participant=\"MC0001200000\" Issue=\"SNEN-AO%1\" ISIN=\"RU000ZV0%2\" "
                    "RegNum=\"1-01-%3-A\" Agreement=\"Д-%4/24\" Reference=\"IN-%5\" "
                    "TradeDate=\"2024-03-15\" SettleDate=\"2024-03-18\" Side=\"%6\" "
                    "Counterparty=\"MC00%7\" CounterpartyName=\"ООО &quot;Контрагент "
                    "№%7&quot;\" Price=\"%8.25\" Currency=\"RUB\" Qty=\"%9\" Amount=\"%10\" "
                    "SettlCurrency=\"RUB\" SettlAmount=\"%10\" Settle=\"1\" TradePlace=\"OTC\" "
                    "Comment=\"сделка %5, расчеты Т+1\" />\r\n")
                    .arg(i % 40)
                    .arg(i % 10000, 4, 10, QLatin1Char('0'))
                    .arg(i % 99999, 5, 10, QLatin1Char('0'))
                    .arg(i)
                    .arg(i, 6, 10, QLatin1Char('0'))
                    .arg(i % 2 ? u'S' : u'B')
                    .arg(i % 500, 4, 10, QLatin1Char('0'))
                    .arg(100 + i % 900)
                    .arg(10 + i % 1000)
                    .arg((100 + i % 900) * (10 + i % 1000));
    }
    return frame(body + QStringLiteral("</deals>\r\n"));
}

QByteArray revokeRequest()
{
    QString body = QStringLiteral("<RevokeDeals Language=\"RU\" >\r\n");
    for (int i = 0; i < kDeals; ++i)
        body += QStringLiteral("<RevokeDeal Reference=\"IN-%1\" Participant=\"MC0001200000\" "
                               "Reason=\"ошибка ввода\" />\r\n")
                    .arg(i, 6, 10, QLatin1Char('0'));
    return frame(body + QStringLiteral("</RevokeDeals>\r\n"));
}

void writeJunk(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        std::exit(1);
    QByteArray block(1 << 20, '\0');
    quint32 x = 12345;
    for (char& c : block) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 24);
    }
    for (int i = 0; i < 100; ++i)
        file.write(block);
}

bool copyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    const QDir source(from);
    for (const QFileInfo& info :
         source.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QString target = to + u'/' + info.fileName();
        if (info.isDir() ? !copyFolder(info.filePath(), target)
                         : !QFile::copy(info.filePath(), target))
            return false;
    }
    return true;
}

struct Measure {
    double seconds = 0;
    double peakMb = 0;
    int status = -1;
};

Measure runChild(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Measure m;
    m.seconds = timer.nsecsElapsed() / 1e9;
    m.peakMb = usage.ru_maxrss / 1024.0;
    m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m;
}

struct Case {
    const char* label;
    QString seed;      // the state the run starts from
    QString request;   // file name in the send folder
    QByteArray expect; // in the answer
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    QDir().mkpath(root);
    const std::string program = LOOPBACK_PATH;

    // Requests, and the states: empty, and with the 10,000 deals accepted.
    const QString empty = root + QStringLiteral("/empty");
    const QString accepted = root + QStringLiteral("/accepted");
    QDir(empty).removeRecursively();
    QDir(accepted).removeRecursively();
    for (const QString& base : {empty, accepted})
        for (const char* sub : {"/send", "/receive"})
            QDir().mkpath(base + QLatin1String(sub));
    const QByteArray deals = dealsRequest();
    const QByteArray revoke = revokeRequest();
    write(root + QStringLiteral("/DL1A2B.xml"), deals);
    write(root + QStringLiteral("/DL3C4D.xml"), deals);
    write(root + QStringLiteral("/RD5E6F.xml"), revoke);
    writeJunk(root + QStringLiteral("/DL9999.xml"));
    write(accepted + QStringLiteral("/send/DL0000.xml"), deals);
    const Measure seeded = runChild({program, "--send", qPrintable(accepted + "/send"), "--receive",
                                     qPrintable(accepted + "/receive"), "--once"});
    if (seeded.status != 0) {
        std::fprintf(stderr, "the registry failed on the seed (status %d)\n", seeded.status);
        return 1;
    }
    QFile::remove(accepted + QStringLiteral("/receive/DL0000.msg"));

    std::printf("requests: %d deals, %.1f MB; revocation %.1f MB; junk 100 MB\n\n", kDeals,
                deals.size() / 1e6, revoke.size() / 1e6);
    bench::Begin("bench_loopback");
    const Case cases[] = {
        {"10,000 deals, all accepted", empty, "DL1A2B.xml", "Accepted=\"10000\""},
        {"10,000 deals again, all duplicates", accepted, "DL3C4D.xml", "Rejected=\"10000\""},
        {"10,000 revocations", accepted, "RD5E6F.xml", "Accepted=\"10000\""},
        {"100 MB of junk, refused", empty, "DL9999.xml", "Code=\"S98\""},
    };
    int failures = 0;
    for (const Case& c : cases) {
        const QString file = root + u'/' + c.request;
        Measure best, lint;
        best.seconds = lint.seconds = 1e9;
        bool answered = true;
        for (int round = 0; round < 3; ++round) {
            const QString run = root + QStringLiteral("/run");
            QDir(run).removeRecursively();
            copyFolder(c.seed, run);
            QFile::copy(file, run + QStringLiteral("/send/") + c.request);
            const Measure m = runChild({program, "--send", qPrintable(run + "/send"), "--receive",
                                        qPrintable(run + "/receive"), "--once"});
            QFile answer(run + QStringLiteral("/receive/") +
                         QString(c.request).replace(".xml", ".msg"));
            answered = answered && m.status == 0 && answer.open(QIODevice::ReadOnly) &&
                       answer.read(4096).contains(c.expect);
            if (m.seconds < best.seconds)
                best = m;
            const Measure l = runChild({"xmllint", "--noout", "--stream", qPrintable(file)});
            if (l.seconds < lint.seconds)
                lint = l;
        }
        const bool fast = bench::Report(std::string("registry: ") + c.label + " (peak " +
                                            bench::Amount(best.peakMb, "MB") + ")" +
                                            (answered ? "" : ", answer missing or wrong"),
                                        answered ? best.seconds : NAN, "s", bench::AtMost(2, "s"),
                                        "xmllint --stream " + bench::Amount(lint.seconds, "s"));
        failures += !fast;
    }
    std::printf("\nEach registry run is a whole program: start, database, reading, judging, the\n"
                "answer kept in the archive and placed in the receive folder, each synced to "
                "disk.\n");
    return failures == 0 ? 0 : 1;
}
