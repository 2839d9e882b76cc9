#include "shell/ClientParts.h"
#include "shell/frmMain.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // The viewers' browser engine, loaded on first use, shares its drawing contexts with Qt.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    varnel::PrepareClientApplication();
    varnel::RegisterClientParts();

    // Creating the main window runs start-up; a refused start-up has already closed it.
    varnel::frmMain window;
    if (window.startupRefused())
        return 1;
    window.show();
    return app.exec();
}
