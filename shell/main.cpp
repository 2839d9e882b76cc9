#include "core/AppContext.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(varnel::kAppTitle);
    QApplication::setApplicationVersion(varnel::VersionString());

    QApplication::setWindowIcon(varnel::frmMain::ApplicationIcon());

    // Creating the main window runs start-up; a refused start-up has already closed it.
    varnel::frmMain window;
    if (window.startupRefused())
        return 1;
    window.show();
    return app.exec();
}
