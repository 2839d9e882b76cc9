// Writes a securities handbook message for the demo program folder, the tests and the benches.
//
//   make_handbook [--instruments N] [--seed S] [--date yyyy-MM-ddTHH:mm:ss] <file>
//
// The demo handbook in dist/receive is made with the defaults:
//   make_handbook dist/receive/ISSUELIST_20250310.msg
// and the bench handbook with --instruments 100000.

#include "tools/HandbookGenerator.h"

#include <QCoreApplication>
#include <QStringList>

#include <clocale>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Numbers in the handbook keep "." whatever the desktop's locale is.
    std::setlocale(LC_NUMERIC, "C");
    varnel::tools::HandbookOptions options;
    QString output;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (a == QLatin1String("--instruments") && hasValue) {
            options.instruments = args.at(++i).toInt(&ok);
            ok = ok && options.instruments >= 0;
        } else if (a == QLatin1String("--seed") && hasValue) {
            options.seed = args.at(++i).toUInt(&ok);
        } else if (a == QLatin1String("--date") && hasValue) {
            options.stamp = QDateTime::fromString(args.at(++i), Qt::ISODate);
            ok = options.stamp.isValid();
        } else if (!a.startsWith(QLatin1String("--")) && output.isEmpty()) {
            output = a;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "make_handbook: bad argument %s\n", qPrintable(a));
            return 2;
        }
    }
    if (output.isEmpty()) {
        std::fprintf(stderr, "usage: make_handbook [--instruments N] [--seed S] "
                             "[--date yyyy-MM-ddTHH:mm:ss] <file>\n");
        return 2;
    }
    QString error;
    if (!varnel::tools::WriteHandbook(output, options, &error)) {
        std::fprintf(stderr, "make_handbook: %s: %s\n", qPrintable(output), qPrintable(error));
        return 1;
    }
    return 0;
}
