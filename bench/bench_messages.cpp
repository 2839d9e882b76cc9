// Writes a 10,000-deal report of 25 columns with WriteDealsXml and, in the same run, the very
// same bytes with a plain buffered write, and prints both times and rates.
#include "BenchFigures.h"
#include "core/AppContext.h"
#include "messages/DocumentWriters.h"
#include "messages/SimpleData.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace varnel;

namespace {

constexpr int kDeals = 10000;
constexpr int kColumns = 25;
const int kRuns = qEnvironmentVariableIntValue("VARNEL_BENCH_RUNS") > 0
                      ? qEnvironmentVariableIntValue("VARNEL_BENCH_RUNS")
                      : 15;

SimpleReportTable makeReport()
{
    QStringList columns{QStringLiteral("name=;type=;fmt=;def=;empty=;pick=")};
    for (int c = 1; c < kColumns; ++c) {
        const char* type = c % 6 == 1 ? "D" : (c % 3 == 0 ? "N" : "C");
        const QString marker = c % 3 == 0 ? QStringLiteral("0") : QString();
        columns << QStringLiteral("name=Field%1;type=%2;fmt=;def=;empty=%3;pick=")
                       .arg(c)
                       .arg(QLatin1String(type))
                       .arg(marker);
    }
    SimpleReportTable t(columns);
    for (int r = 0; r < kDeals; ++r) {
        QStringList row{QString::number(r + 1)};
        for (int c = 1; c < kColumns; ++c) {
            if (c % 6 == 1)
                row << QStringLiteral("%1.%2.2016")
                           .arg(1 + r % 28, 2, 10, QChar(u'0'))
                           .arg(1 + c % 12, 2, 10, QChar(u'0'));
            else if (c % 3 == 0)
                row << (r % 10 == 0 ? QStringLiteral("0,00")
                                    : QStringLiteral("%1,%2").arg(r * 37 + c).arg(r % 100));
            else if (c % 4 == 0)
                row << QStringLiteral("ООО «Участник %1» & партнёры").arg(r % 500);
            else
                row << QStringLiteral("REF-%1-%2").arg(r).arg(c);
        }
        t.addRow(row);
    }
    return t;
}

double seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    SetSettingsFilePath(dir.filePath(QStringLiteral("varnel_client.ini")));
    {
        QFile ini(SettingsFilePath());
        if (!ini.open(QIODevice::WriteOnly) || ini.write("[Main]\r\nLanguage=RU\r\n") <= 0)
            return 1;
    }
    const SimpleReportTable report = makeReport();
    const QString written = dir.filePath(QStringLiteral("report.xml"));
    const QString plain = dir.filePath(QStringLiteral("plain.xml"));

    std::vector<double> writer;
    std::vector<double> plainWrite;
    std::vector<double> cellsOnly;
    QByteArray bytes;
    for (int run = 0; run < kRuns; ++run) {
        auto t0 = std::chrono::steady_clock::now();
        WriteDealsXml(written, report);
        writer.push_back(seconds(std::chrono::steady_clock::now() - t0));

        if (bytes.isEmpty()) {
            QFile f(written);
            if (!f.open(QIODevice::ReadOnly))
                return 1;
            bytes = f.readAll();
        }
        // The same bytes, line by line, through a buffered stream.
        t0 = std::chrono::steady_clock::now();
        std::FILE* out = std::fopen(QFile::encodeName(plain).constData(), "wb");
        if (!out)
            return 1;
        qsizetype from = 0;
        while (from < bytes.size()) {
            qsizetype end = bytes.indexOf('\n', from);
            end = end < 0 ? bytes.size() : end + 1;
            std::fwrite(bytes.constData() + from, 1, size_t(end - from), out);
            from = end;
        }
        std::fclose(out);
        plainWrite.push_back(seconds(std::chrono::steady_clock::now() - t0));

        // What the writer cannot avoid: asking the table for every cell.
        t0 = std::chrono::steady_clock::now();
        qsizetype chars = 0;
        for (int r = 0; r < report.rowCount(); ++r) {
            for (int c = 0; c < report.columnCount(); ++c)
                chars += report.cell(r, c).size();
        }
        cellsOnly.push_back(seconds(std::chrono::steady_clock::now() - t0));
        if (chars == 0)
            return 1;
    }

    const double mb = double(bytes.size()) / (1024.0 * 1024.0);
    std::printf("report: %d deals x %d columns, %lld bytes, %d runs\n", kDeals, kColumns,
                static_cast<long long>(bytes.size()), kRuns);
    auto line = [&](const char* what, double best, double mid) {
        std::printf("%-15s best %7.2f ms %7.1f MiB/s   median %7.2f ms %7.1f MiB/s\n", what,
                    best * 1000, mb / best, mid * 1000, mb / mid);
    };
    const double wBest = *std::min_element(writer.begin(), writer.end());
    const double pBest = *std::min_element(plainWrite.begin(), plainWrite.end());
    line("WriteDealsXml", wBest, median(writer));
    line("plain buffered", pBest, median(plainWrite));
    const double cBest = *std::min_element(cellsOnly.begin(), cellsOnly.end());
    std::printf("%-15s best %7.2f ms   median %7.2f ms\n", "cells read only", cBest * 1000,
                median(cellsOnly) * 1000);
    bench::Begin("bench_messages");
    bench::Report("WriteDealsXml, 10,000 deals x 25 columns (median)", median(writer) * 1e3, "ms",
                  bench::TimesBaseline(3, "plain write", median(plainWrite) * 1e3, "ms"),
                  "plain buffered write " + bench::Amount(median(plainWrite) * 1e3, "ms"));
    return 0;
}
