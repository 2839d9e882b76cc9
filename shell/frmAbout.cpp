#include "shell/frmAbout.h"

#include "core/AppContext.h"

#include <QApplication>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace varnel {

frmAbout::frmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Varnel"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_DesktopIcon);
    auto* picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    const int side = style()->pixelMetric(QStyle::PM_LargeIconSize) * 3 / 2;
    picIcon->setPixmap(icon.pixmap(QSize(side, side), devicePixelRatio()));
    picIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblTitle->setText(kAppTitle);

    auto* lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                            .arg(VersionMajor())
                            .arg(VersionMinor())
                            .arg(VersionPatch()));

    auto* lblDescription = new QLabel(QStringLiteral("Клиентский модуль"), this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));

    auto* Label1 = new QLabel(
        QStringLiteral("Отчеты о внебиржевых сделках с ценными бумагами для торгового реестра"),
        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);

    auto* cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->addWidget(picIcon, 0, 0, 4, 1);
    grid->addWidget(lblTitle, 0, 1);
    grid->addWidget(lblVersion, 1, 1);
    grid->addWidget(lblDescription, 2, 1);
    grid->addWidget(Label1, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    grid->addLayout(buttons, 4, 0, 1, 2);
    grid->setColumnMinimumWidth(1, 320);

    // A fixed-size box: it cannot be resized or maximized.
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace varnel
