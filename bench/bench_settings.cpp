// Time per call of ReadSetting, ReadSettingInt and WriteSetting on a settings file of 300 keys
// spread over ten sections, as a long-used client's file looks. Run: build/bench/bench_settings
#include "BenchFigures.h"
#include "core/AppContext.h"
#include "core/Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <functional>

using namespace varnel;

namespace {

// Ten sections of 30 keys: paths, column widths and Russian message texts, Windows-1251.
QByteArray MakeFile()
{
    QByteArray out = "; Varnel client settings\r\n\r\n";
    QStringEncoder cp1251("windows-1251");
    const QByteArray russian =
        cp1251.encode(QString::fromUtf8("(S17) Значение поля %1% не соответствует "
                                        "справочнику ценных бумаг"));
    for (int s = 0; s < 10; ++s) {
        // One section has a Russian name, as users' own sections may have.
        if (s == 7)
            out += cp1251.encode(QString::fromUtf8("[Раздел7]\r\n"));
        else
            out += "[Section" + QByteArray::number(s) + "]\r\n";
        for (int k = 0; k < 30; ++k) {
            out += "Key" + QByteArray::number(s * 30 + k) + "=";
            switch (k % 3) {
            case 0: out += ".\\work\\folder" + QByteArray::number(k) + "\\files"; break;
            case 1: out += QByteArray::number(1000 + k * 15); break;
            default: out += "\"" + russian + "\""; break;
            }
            out += "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

double MicrosPerCall(int calls, const std::function<void()>& call)
{
    for (int i = 0; i < calls / 10; ++i)
        call();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i)
        call();
    const std::chrono::duration<double, std::micro> spent =
        std::chrono::steady_clock::now() - start;
    return spent.count() / calls;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    SetSettingsFilePath(dir.filePath("varnel_client.ini"));
    const QByteArray content = MakeFile();
    {
        QFile f(SettingsFilePath());
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            return 1;
    }
    std::printf("settings file: %lld bytes, 300 keys in 10 sections (%s)\n",
                static_cast<long long>(content.size()), qPrintable(dir.path()));

    struct Read {
        const char* what;
        const char* section;
        const char* key;
    };
    const Read reads[] = {
        {"ReadSetting, key near the start", "Section0", "Key1"},
        {"ReadSetting, key in the middle", "Section5", "Key165"},
        {"ReadSetting, key near the end", "Section9", "Key298"},
        {"ReadSetting, other letter case", "SECTION9", "key298"},
        {"ReadSetting, Russian section, other case", "РАЗДЕЛ7", "Key215"},
        {"ReadSetting, missing key (whole file)", "Section9", "Absent"},
        {"ReadSetting, missing section (whole file)", "Nowhere", "Key1"},
    };
    volatile qsizetype sink = 0;
    // The least a read does: open the file and read its bytes.
    const double fileUs = MicrosPerCall(20000, [&] {
        QFile f(SettingsFilePath());
        if (f.open(QIODevice::ReadOnly))
            sink = sink + f.readAll().size();
    });
    const std::string baseline = "file read " + bench::Amount(fileUs, "us");
    bench::Begin("bench_settings");
    for (const Read& r : reads) {
        const QString section = QString::fromUtf8(r.section);
        const QString key = QString::fromLatin1(r.key);
        const double us =
            MicrosPerCall(20000, [&] { sink = sink + ReadSetting(section, key, "d").size(); });
        bench::Report(r.what, us, "us", bench::AtMost(50, "us"), baseline);
    }
    const double intUs =
        MicrosPerCall(20000, [&] { sink = sink + ReadSettingInt("Section9", "Key295", 1000); });
    bench::Report("ReadSettingInt, key near the end", intUs, "us", bench::AtMost(50, "us"),
                  baseline);

    int n = 0;
    const double writeUs = MicrosPerCall(
        500, [&] { WriteSetting("Section5", "Key166", QString::number(1000 + (n++ % 50))); });
    // A write replaces the file and syncs it to the disk.
    bench::Report("WriteSetting, replace one key (middle)", writeUs / 1000, "ms",
                  bench::AtMost(5, "ms"), baseline);
    const double readAfter =
        MicrosPerCall(20000, [&] { sink = sink + ReadSetting("Section5", "Key166", "d").size(); });
    bench::Report("ReadSetting of that key after the writes", readAfter, "us",
                  bench::AtMost(50, "us"), baseline);
    return 0;
}
