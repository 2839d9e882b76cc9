#pragma once

#include <QDialog>

namespace varnel {

// "About Varnel": the program's icon, title and version.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);
};

} // namespace varnel
