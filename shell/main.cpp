#include "core/AppContext.h"
#include "shell/ClientParts.h"
#include "shell/frmMain.h"
#include "ui/QtDialogs.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv)
{
    // The viewers' browser engine, loaded on first use, shares its drawing contexts with Qt.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(varnel::kAppTitle);
    QApplication::setApplicationVersion(varnel::VersionString());

    QApplication::setWindowIcon(varnel::frmMain::ApplicationIcon());
    varnel::InstallQtDialogs();

    // The client speaks Russian, and so do Qt's own buttons and file dialogs ("Да", "Нет",
    // "Отмена" under a Russian question). Without the translations they stay English.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    varnel::RegisterClientParts();

    // Creating the main window runs start-up; a refused start-up has already closed it.
    varnel::frmMain window;
    if (window.startupRefused())
        return 1;
    window.show();
    return app.exec();
}
