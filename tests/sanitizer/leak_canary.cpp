// Leaks on purpose, from the places the client's own code runs from: a timer's slot and a
// button's click handler, called by Qt's event loop. Run under the project's leak
// suppressions, LeakSanitizer must still report both: a suppression that names a library the
// event loop runs through would hide every leak of the client's slots.
#include <QApplication>
#include <QPushButton>
#include <QTimer>

namespace {

// The block's address is dropped at once; the stack it passed through is overwritten after,
// so that no stale copy keeps it reachable.
[[gnu::noinline]] void LeakBlock()
{
    char* volatile block = new char[2000];
    block[0] = 1;
    block = nullptr;
}

[[gnu::noinline]] void ClearStack()
{
    volatile char scratch[16384];
    for (char& c : const_cast<char(&)[16384]>(scratch))
        c = 0;
}

void Leak()
{
    LeakBlock();
    ClearStack();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QPushButton button;
    QObject::connect(&button, &QPushButton::clicked, [] { Leak(); });
    QTimer::singleShot(0, &app, [&button] {
        Leak();
        button.click();
        QCoreApplication::quit();
    });
    return app.exec();
}
