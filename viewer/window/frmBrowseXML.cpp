#include "viewer/window/frmBrowseXML.h"

#include "core/AppContext.h"

#include <QFileInfo>

namespace varnel {

frmBrowseXML::frmBrowseXML(QWidget* parent)
    : BrowserWindow(ChildKind::BrowseXML, QStringLiteral("Просмотр сообщения"), parent)
{
    setObjectName(QStringLiteral("frmBrowseXML"));
}

void frmBrowseXML::BrowseDoc(const QString& sDocType, const QString& sFileName)
{
    docType_ = sDocType;
    if (show_)
        show_(this);
    else
        show();
    restorePlacement();
    const QString base =
        QFileInfo(originalFile_.isEmpty() ? sFileName : originalFile_).absolutePath();
    navigate(sFileName, base);
}

QString frmBrowseXML::placementApplication() const
{
    return kAppTitle + QStringLiteral("brw") + docType_;
}

QString frmBrowseXML::exportName() const
{
    return kAppTitle + u'_' + docType_;
}

} // namespace varnel
