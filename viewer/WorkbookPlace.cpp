#include "viewer/WorkbookPlace.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace varnel {
namespace {

QString g_folder;
WorkbookOpener g_opener;

const QString kBreak = QStringLiteral("\r\n");

bool OpenWithDesktop(const QString& path)
{
    if (QFileInfo(path).isDir())
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    // Where the desktop can say which application opens workbooks, none means none.
    const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (!query.isEmpty()) {
        QProcess process;
        process.start(query, {QStringLiteral("query"), QStringLiteral("default"),
                              QStringLiteral("application/"
                                             "vnd.openxmlformats-officedocument.spreadsheetml."
                                             "sheet")});
        if (process.waitForFinished(5000) && process.exitCode() == 0 &&
            process.readAllStandardOutput().trimmed().isEmpty())
            return false;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool Open(const QString& path)
{
    return g_opener ? g_opener(path) : OpenWithDesktop(path);
}

} // namespace

QString WorkbookFolder()
{
    if (!g_folder.isEmpty())
        return g_folder;
    // A workbook is the user's to keep: not in the temporary folder, which a restart empties.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir().mkpath(documents))
        return documents;
    return QDir::homePath();
}

void SetWorkbookFolder(const QString& folder)
{
    g_folder = folder;
}

void SetWorkbookOpener(WorkbookOpener opener)
{
    g_opener = std::move(opener);
}

void ShowWorkbook(QWidget* parent, const QString& path)
{
    if (Open(path))
        return;
    const Answer answer = Dialogs::AskYesNo(
        parent,
        QStringLiteral("Книга сохранена в файле:") + kBreak + path + kBreak + kBreak +
            QStringLiteral("Программа, которая открывает такие книги, не найдена: откройте "
                           "файл в программе для работы с таблицами.") +
            kBreak + kBreak + QStringLiteral("Показать папку с книгой?"),
        kAppTitle);
    if (answer == Answer::Yes)
        Open(QFileInfo(path).absolutePath());
}

} // namespace varnel
