#pragma once

// The folders the viewer suites run in.

#include "core/AppContext.h"
#include "core/TempFiles.h"

#include <QString>
#include <QTemporaryDir>

namespace varnel::test {

// The shipped files as the program folder, and a folder of the test's own as the temporary
// folder for as long as this lives.
class ViewerFolders {
public:
    ViewerFolders()
    {
        SetProgramFolder(QStringLiteral(VARNEL_SOURCE_DIR "/dist"));
        SetTemporaryFolder(dir_.path());
    }
    ~ViewerFolders() { SetTemporaryFolder(QString()); }
    ViewerFolders(const ViewerFolders&) = delete;
    ViewerFolders& operator=(const ViewerFolders&) = delete;

    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
};

} // namespace varnel::test
