#include "MergeRun.h"

#include "filesave/ReplacingFile.h"

#include <QFile>

#include <clocale>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// Quilmer <base file> <value file> [<output file> [--keep-value-keys]]
// The base file keeps its layout and keys and takes over the values of the value file; the
// result replaces the output file, or the base file when no output file is given. Keys that
// only the value file has are dropped, unless --keep-value-keys follows the output file: then
// they are added to the result, each into its section (sections the base file lacks are
// appended). This is how a settings file shipped with a new version takes in a user's file
// without losing the keys the user's client wrote (stored column widths, message texts).
// Silent with exit status 0 on success; an error is written to standard error as its number and
// description, with exit status 1, and leaves every file as it was.
int main(int argc, char* argv[])
{
    // The system's reasons (a full disk, a file-size limit) in the user's language, as the
    // client gives them; numbers keep "." whatever the desktop's locale is, as in the other
    // programs.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    // A result beyond a file-size limit fails as a full disk would: error 5, files as they were.
    varnel::filesave::IgnoreFileSizeSignal();
#ifdef Q_OS_WIN
    // Windows hands over one command line, the program name first.
    (void)argc;
    (void)argv;
    return varnel::QuilmerMainFromCommandLine(QString::fromWCharArray(GetCommandLineW()), stderr);
#else
    // Here the arguments arrive already split; paths with blanks come as one argument.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QFile::decodeName(argv[i]));
    return varnel::QuilmerMain(arguments, stderr);
#endif
}
