#include "core/AppContext.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(varnel::kAppTitle);
    window.show();
    return app.exec();
}
