// Report files as a report window loads them: any bytes either give rows for the grid or the
// loading rule's error, never a crash, a hang or a row of the wrong width.
#include "core/Error.h"
#include "reports/ReportFile.h"
#include "reports/ReportModel.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

varnel::ReportColumn column(const char* name, const char* type, const char* def)
{
    varnel::ReportColumn c;
    c.name = QString::fromLatin1(name);
    c.type = QString::fromLatin1(type);
    c.def = QString::fromLatin1(def);
    c.slot = 0;
    return c;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_report_file";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static QTemporaryDir dir;
    static const QList<varnel::ReportColumn> columns{varnel::ReportColumn::rowNumber(),
                                                     column("Agreement", "", ""),
                                                     column("TradeDate", "D", "%DATE%"),
                                                     column("Price", "N", "0"),
                                                     column("", "", "x"),
                                                     column("Comment", "", "")};
    const QString path = dir.filePath(QStringLiteral("report.xml"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    try {
        const QList<QStringList> rows = varnel::ReadReportRows(path, columns);
        for (const QStringList& row : rows) {
            if (row.size() != columns.size())
                std::abort();
        }
    } catch (const varnel::Error&) {
    }
    return 0;
}
