#pragma once

#include "viewer/window/BrowserWindow.h"

#include <functional>

namespace varnel {

// The incoming message viewer: one window per opened message, showing the message's temporary
// copy through the stylesheet of its kind. Each kind keeps a placement of its own.
class frmBrowseXML : public BrowserWindow {
    Q_OBJECT

public:
    explicit frmBrowseXML(QWidget* parent = nullptr);

    // The message the user chose, whose folder relative stylesheet addresses are taken from.
    void setOriginalFile(const QString& path) { originalFile_ = path; }
    QString originalFile() const { return originalFile_; }

    // How the window is shown (put into the main window's frame); without one it shows itself.
    void setShowHandler(std::function<void(QWidget* window)> handler)
    {
        show_ = std::move(handler);
    }

    // Stores the kind and the file, shows the window, restores the kind's placement and loads
    // the page. Raises when the file cannot be shown (the window then shows why).
    void BrowseDoc(const QString& sDocType, const QString& sFileName);
    QString docType() const { return docType_; }

protected:
    QString placementApplication() const override;
    QString exportName() const override;

private:
    QString docType_;
    QString originalFile_;
    std::function<void(QWidget*)> show_;
};

} // namespace varnel
