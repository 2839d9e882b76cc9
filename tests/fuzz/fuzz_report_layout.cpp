// Report layout files as the report windows read them: any bytes either give a layout or the
// loading rule's (or the layout check's) error, never a crash or a hang.
#include "core/AppContext.h"
#include "core/Error.h"
#include "reports/ReportLayout.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_report_layout";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("deals_struct_client.xml"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    try {
        const varnel::ReportLayout layout = varnel::ReadReportLayout(path, 29);
        for (const varnel::LayoutField& field : layout.fields)
            (void)field.descriptor();
    } catch (const varnel::Error&) {
    }
    return 0;
}
