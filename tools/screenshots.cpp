// Takes the README's screenshots of the real client on a copy of the demo program folder: the
// main window with a report, the handbook pick list, a receipt in the message viewer and the
// options dialog. It runs under an X server with a window manager (tools/screenshots.sh starts
// Xvfb and openbox) and photographs the whole screen with ImageMagick's import, so the window
// frames are in the picture as a user sees them.
//
//   make_screenshots <program folder> <output folder>
#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/SettingKeys.h"
#include "core/Settings.h"
#include "reports/ReportModel.h"
#include "reports/window/ReportEditorWindow.h"
#include "shell/ClientParts.h"
#include "shell/frmMain.h"
#include "tests/support/Overrides.h"
#include "ui/QtDialogs.h"
#include "viewer/window/BrowserWindow.h"
#include "viewer/window/HtmlView.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace varnel;

namespace {

QString g_out;

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void shoot(const QString& name)
{
    wait(400); // let the window manager draw the frames
    const QString file = g_out + u'/' + name + QStringLiteral(".png");
    if (QProcess::execute(QStringLiteral("import"),
                          {QStringLiteral("-window"), QStringLiteral("root"), file}) != 0)
        std::fprintf(stderr, "import failed for %s\n", qPrintable(file));
    else
        std::printf("%s\n", qPrintable(file));
}

// Boxes are answered Yes or OK, the file dialog with the path set before the command, and a
// modal dialog is photographed while open and then closed.
class Photographer : public DialogProvider {
public:
    QString nextPath;

    DialogResult show(QWidget*, const DialogRequest& request) override
    {
        DialogResult r;
        if (request.kind == DialogKind::Message)
            std::fprintf(stderr, "box: %s\n", qPrintable(request.text));
        r.path = std::exchange(nextPath, QString());
        r.answer = request.kind == DialogKind::Message
                       ? (request.buttons == MessageButtons::Ok ? Answer::Ok : Answer::Yes)
                       : (r.path.isEmpty() ? Answer::Cancel : Answer::Ok);
        return r;
    }
    int runModal(QDialog& dialog) override
    {
        QTimer::singleShot(0, &dialog, [&dialog] {
            wait(600);
            shoot(dialog.objectName());
            dialog.reject();
        });
        return dialog.exec();
    }
};

// The first instruments of the handbook: code, ISIN, registration number.
QList<QStringList> instruments(const QString& handbook, int count)
{
    QFile f(handbook);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringDecoder decode("windows-1251");
    const QString text = decode(f.readAll());
    static const QRegularExpression row(
        QStringLiteral("<Issue Code=\"([^\"]*)\"[^>]*ISIN=\"([^\"]*)\" RegNum=\"([^\"]*)\""));
    QList<QStringList> out;
    for (auto it = row.globalMatch(text); it.hasNext() && out.size() < count;) {
        const QRegularExpressionMatch m = it.next();
        out.append({m.captured(1), m.captured(2), m.captured(3)});
    }
    return out;
}

void type(ReportEditorWindow* w, const char* field, const QString& text)
{
    const int slot = w->editor().slotOfName(QString::fromLatin1(field));
    if (QLineEdit* box = w->txtEdit(slot)) {
        box->setText(text);
        w->checkField(slot);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_screenshots <program folder> <output folder>\n");
        return 2;
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    PrepareClientApplication();
    const QString program = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    g_out = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    QDir().mkpath(g_out);

    testing::ScopedProgramFolder folder(program);
    // The browser engine's plugin lies beside the client, not beside this program.
    SetPageViewPluginFolder(program + QStringLiteral("/plugins"));
    QTemporaryDir store;
    testing::ScopedPlacementRoot placements(store.path());
    Photographer photographer;
    SetDialogProvider(&photographer);

    // A current handbook, as "Найти справочник ЦБ" leaves it.
    const QString handbook = program + QStringLiteral("/work/ISSUELIST_20250310.msg");
    QFile::remove(handbook);
    QFile::copy(program + QStringLiteral("/receive/ISSUELIST_20250310.msg"), handbook);
    settings::kCurrentHandbookPath.write(handbook);
    settings::kCurrentHandbookTime.write(QStringLiteral("20250310093012"));
    settings::kParticipant.write(QStringLiteral("MC0001200000"));

    RegisterClientParts();
    frmMain main;
    main.resize(1240, 900);
    main.move(10, 10);
    main.show();
    wait(500);

    // A report of three deals.
    main.newDealReport();
    auto* report = qobject_cast<ReportEditorWindow*>(main.mdiArea()->currentSubWindow()->widget());
    const QStringList prices = {"101.25", "98.40", "1000.00"};
    const QStringList quantities = {"1500", "250", "40"};
    int n = 0;
    for (const QStringList& issue : instruments(handbook, 3)) {
        type(report, "Issue", issue[0]);
        type(report, "ISIN", issue[1]);
        type(report, "RegNum", issue[2]);
        type(report, "Agreement", QStringLiteral("Д-%1/26").arg(n + 17));
        type(report, "Reference", QStringLiteral("IN-%1").arg(n + 1, 4, 10, QLatin1Char('0')));
        type(report, "Price", prices[n]);
        type(report, "Qty", quantities[n]);
        report->addDeal();
        ++n;
    }
    main.mdiArea()->currentSubWindow()->showMaximized();
    shoot(QStringLiteral("report"));

    // The handbook pick list, opened from the Issue field.
    report->enterField(report->editor().slotOfName(QStringLiteral("Issue")));
    report->pickIntoField();
    wait(500); // the frame gives the report its focus back once the dialog has gone

    // A receipt in the message viewer.
    photographer.nextPath = program + QStringLiteral("/receive/DL1A2B.msg");
    main.browseIncomingMessages();
    if (auto* viewer = qobject_cast<BrowserWindow*>(main.mdiArea()->currentSubWindow()->widget())) {
        QEventLoop loop;
        bool loaded = false;
        QObject::connect(viewer, &BrowserWindow::pageLoaded, &loop, [&](bool ok) {
            loaded = ok;
            loop.quit();
        });
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
        if (!loaded)
            std::fprintf(stderr, "the receipt's page did not load\n");
        QMdiSubWindow* sub = main.mdiArea()->currentSubWindow();
        sub->showMaximized();
        main.mdiArea()->setActiveSubWindow(sub);
        sub->raise();
        wait(1500);
        shoot(QStringLiteral("receipt"));
    }

    // The options dialog.
    main.editOptions();

    report->model().clearRows(); // nothing to ask about on close
    main.close();
    SetDialogProvider(nullptr);
    return 0;
}
