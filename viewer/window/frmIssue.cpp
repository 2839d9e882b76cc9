#include "viewer/window/frmIssue.h"

#include "answers/IncomingMessage.h"
#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/SettingKeys.h"
#include "core/TempFiles.h"
#include "core/Values.h"
#include "ui/BusyTask.h"
#include "viewer/ViewerFiles.h"

#include <QFileInfo>
#include <QLabel>

namespace varnel {
frmIssue::frmIssue(QWidget* parent)
    : BrowserWindow(ChildKind::IssueList, QStringLiteral("Справочник инструментов"), parent)
{
    setObjectName(QStringLiteral("frmIssue"));
    lblLoadFail_ = new QLabel(this);
    lblLoadFail_->setObjectName(QStringLiteral("lblLoadFail"));
    lblLoadFail_->hide();
}

bool frmIssue::loadFailed() const
{
    return lblLoadFail_->text() == u"1";
}

void frmIssue::LoadHandbook(QWidget* dialogParent)
{
    // No name chosen (cancelled) loads nothing and says nothing; the window is not kept.
    bool loaded = false;
    RunTrapped(dialogParent, kAppTitle, [&] {
        const QString proposed = TrimSpaces(CurrentHandbookPath());
        const QString path = Dialogs::OpenFile(
            dialogParent, QStringLiteral("Открыть справочник инструментов"), proposed,
            QStringLiteral("msg-files (*.msg);;xml-files (*.xml);;all files (*)"));
        if (path.isEmpty())
            return;
        if (!IsViewerExtension(path))
            Fail(WrongViewerExtensionText());
        // Reading a whole market's handbook and making its copy takes a moment: beside the
        // user-interface thread.
        HandbookFile handbook;
        TemporaryFolder();
        RunBusy(dialogParent, kAppTitle, [&](BusyProgress& progress) {
            progress.stage(QStringLiteral("Чтение справочника ") + path);
            handbook = PrepareHandbookFile(path);
        });
        adoptTemporaryFiles(handbook.copy.files());
        setCopyOrigin(handbook.origin);
        navigate(handbook.shown, QFileInfo(path).absolutePath());
        loaded = true;
    });
    if (!loaded)
        lblLoadFail_->setText(QStringLiteral("1"));
}

QString frmIssue::placementApplication() const
{
    return kAppTitle + QStringLiteral("_IssueList");
}

QString frmIssue::exportName() const
{
    return kAppTitle + QStringLiteral("_IssueList");
}

} // namespace varnel
