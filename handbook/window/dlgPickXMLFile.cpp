#include "handbook/window/dlgPickXMLFile.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/PickSeam.h"
#include "core/SettingKeys.h"
#include "core/XmlLoad.h"
#include "handbook/PickDefinition.h"
#include "handbook/PickModel.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>

#include <new>

namespace varnel {
namespace {

// Design size and the search row, in twips.
constexpr int kDesignWidth = 10500;
constexpr int kDesignHeight = 6600;
constexpr int kFindLeft = 60; // left edge of lblFind; the same margin on the right
constexpr int kFindTop = 30;
constexpr int kFindHeight = 345;
constexpr int kFindFrameWidth = 3300;   // lblFind, behind the "поиск" caption
constexpr int kNextFrameWidth = 960;    // lblFind3, behind "след"
constexpr int kInsideFrameWidth = 1800; // lblFind2, behind "внутри строк"
constexpr int kGridLeft = 60;
constexpr int kGridTop = 400;

// A small filled triangle pointing up ("Asc") or down ("Desc"), in the colour of the header's
// text, drawn for the screen's pixel ratio.
QIcon SortTriangle(bool up)
{
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    const int side = 12;
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor colour = QGuiApplication::palette().color(QPalette::ButtonText);
    colour.setAlphaF(0.7f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    QPolygonF triangle;
    if (up)
        triangle << QPointF(2, 9) << QPointF(10, 9) << QPointF(6, 3);
    else
        triangle << QPointF(2, 3) << QPointF(10, 3) << QPointF(6, 9);
    painter.drawPolygon(triangle);
    painter.end();
    return QIcon(pixmap);
}

// The cursor shows the wait while a large handbook is read.
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QFrame* MakeFrame(QWidget* parent, const QString& name)
{
    auto* frame = new QFrame(parent);
    frame->setObjectName(name);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    return frame;
}

} // namespace

dlgPickXMLFile::dlgPickXMLFile(QWidget* parent)
    : PickDialogBase(parent, QSize(kDesignWidth, kDesignHeight))
{
    setObjectName(QStringLiteral("dlgPickXMLFile"));
    setMinimumSize(
        toPixels(2 * kFindLeft + kFindFrameWidth + kNextFrameWidth + kInsideFrameWidth + 1500),
        toPixels(3000));

    imlSort_.insert(QStringLiteral("Asc"), SortTriangle(true));
    imlSort_.insert(QStringLiteral("Desc"), SortTriangle(false));

    lblFind_ = MakeFrame(this, QStringLiteral("lblFind"));
    lblFind3_ = MakeFrame(this, QStringLiteral("lblFind3"));
    lblFind2_ = MakeFrame(this, QStringLiteral("lblFind2"));

    lblFind4_ = new QLabel(QStringLiteral("поиск"), lblFind_);
    lblFind4_->setObjectName(QStringLiteral("lblFind4"));

    txtFind_ = new QLineEdit(this);
    txtFind_->setObjectName(QStringLiteral("txtFind"));
    txtFind_->setToolTip(QStringLiteral("вводите текст для поиска. F3 - поиск след."));

    cmdFindNext_ = new QPushButton(QStringLiteral("след"), lblFind3_);
    cmdFindNext_->setObjectName(QStringLiteral("cmdFindNext"));
    cmdFindNext_->setToolTip(QStringLiteral("Искать следующую запись (F3)"));
    cmdFindNext_->setAutoDefault(false);
    cmdFindNext_->setEnabled(false);

    chkFind_ = new QCheckBox(QStringLiteral("внутри строк"), lblFind2_);
    chkFind_->setObjectName(QStringLiteral("chkFind"));

    stbInfo_ = new QStatusBar(this);
    stbInfo_->setObjectName(QStringLiteral("stbInfo"));
    panel1_ = new QLabel(stbInfo_);
    panel1_->setObjectName(QStringLiteral("stbInfoPanel1"));
    panel1_->setMinimumWidth(toPixels(1800));
    panel2_ = new QLabel(stbInfo_);
    panel2_->setObjectName(QStringLiteral("stbInfoPanel2"));
    panel2_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    stbInfo_->addWidget(panel1_);
    stbInfo_->addWidget(panel2_, 1);

    lvGrid_->horizontalHeader()->setSectionsClickable(true);
    lvGrid_->horizontalHeader()->setSortIndicatorShown(false);
    connect(lvGrid_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int section) { sortByColumn(section + 1); });
    connect(txtFind_, &QLineEdit::textChanged, this, &dlgPickXMLFile::searchFromFirstRow);
    connect(chkFind_, &QCheckBox::clicked, this, &dlgPickXMLFile::toggleSearchInside);
    connect(cmdFindNext_, &QPushButton::clicked, this, &dlgPickXMLFile::findNext);

    setTabOrder(txtFind_, cmdFindNext_);
    setTabOrder(cmdFindNext_, chkFind_);
    setTabOrder(chkFind_, lvGrid_);
    txtFind_->setFocus();

    watchKeys(this);
    arrange();
}

dlgPickXMLFile::~dlgPickXMLFile() = default;

QString dlgPickXMLFile::Pick(const PickRequest& request)
{
    dlgPickXMLFile dialog(request.parent ? request.parent->window() : nullptr);
    return dialog.PickData(request.source, request.currentText, request.xTwips, request.yTwips,
                           request.settingsKey);
}

QString dlgPickXMLFile::PickData(const QString& sTag, const QString& sText, int x, int y,
                                 const QVariant& vKey)
{
    Q_UNUSED(sText)
    sortColumn_ = 1;
    ascending_ = false;
    setLastFound(-1);
    beginPick(vKey.toString());

    const bool ready = RunTrapped(parentWidget(), kAppTitle, [&] {
        QString dataFile;
        if (PickTagReadsHandbook(sTag)) {
            dataFile = CurrentHandbookPath();
            if (dataFile.isEmpty())
                Fail(QStringLiteral("Текущий справочник ЦБ не установлен. Используйте режим "
                                    "'Найти справочник ЦБ'"));
        }
        restoreSize();
        model_->setColumns({});

        const QString definition = PickDefinitionPath(sTag);
        if (!QFileInfo(definition).isFile())
            Fail(QStringLiteral("Файл ") + definition + QStringLiteral(" не найден"));
        const QList<PickColumn> columns = ReadPickDefinition(definition);
        model_->setColumns(columns);
        QList<int> widths;
        for (int c = 0; c < columns.size(); ++c)
            widths.append(storedColumnWidth(c, columns.at(c).widthTwips));
        applyColumnWidths(widths);

        // The file's first row is selected as it loads; the sort keeps it selected, so the list
        // opens on the file's first instrument wherever the sort has put it.
        LoadFile(dataFile);
        if (!columns.isEmpty())
            sortByColumn(1);
        fitToColumns();
        placeAt(x, y);
    });
    if (!ready)
        return QString();

    runPick();
    return resultText();
}

void dlgPickXMLFile::LoadFile(const QString& sFileName)
{
    model_->clearRows();
    setLastFound(-1);
    const bool exists = !sFileName.isEmpty() && QFileInfo(sFileName).isFile();
    if (exists) {
        setStatus(2, QStringLiteral("Загружается файл ") + sFileName + QStringLiteral("..."));
        QString failure;
        try {
            const WaitCursor wait;
            XmlChildReader reader(sFileName);
            model_->beginRows(QFileInfo(sFileName).size());
            XmlElement row;
            while (reader.next(row))
                model_->appendElement(row);
            model_->endRows();
        } catch (const Error& e) {
            failure = e.description();
        } catch (const std::bad_alloc&) {
            failure = QStringLiteral("Недостаточно памяти для загрузки файла ") + sFileName;
        } catch (const std::exception& e) {
            failure = QString::fromLocal8Bit(e.what());
        }
        if (!failure.isNull()) {
            // A handbook that is not well-formed is not shown in part.
            model_->endRows();
            model_->clearRows();
            Dialogs::Critical(parentWidget() ? parentWidget() : this, failure, kAppTitle);
            setStatus(1, QStringLiteral("Записей: 0"));
            setStatus(2, failure);
            return;
        }
    }
    if (model_->rowTotal() > 0)
        selectRow(0);
    setStatus(1, QStringLiteral("Записей: ") + QString::number(model_->rowTotal()));
    if (sFileName.isEmpty())
        setStatus(2, QString());
    else if (exists)
        setStatus(2, QStringLiteral("Загружен файл ") + sFileName);
    else
        setStatus(2, QStringLiteral("Файл ") + sFileName + QStringLiteral(" не найден"));
}

int dlgPickXMLFile::lastFoundRow() const
{
    return lastFound_ < 0 ? -1 : model_->rowOfDocumentIndex(lastFound_);
}

QString dlgPickXMLFile::statusText(int panel) const
{
    if (panel == 1)
        return panel1_->text();
    if (panel == 2)
        return panel2_->text();
    return QString();
}

void dlgPickXMLFile::setStatus(int panel, const QString& text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    (panel == 1 ? panel1_ : panel2_)->setText(shown);
    if (panel == 2)
        panel2_->setToolTip(shown);
}

void dlgPickXMLFile::sortByColumn(int column)
{
    const QList<PickColumn>& columns = model_->columns();
    if (column < 1 || column > columns.size())
        return;
    model_->setSortImage(-1, QIcon());
    if (column != sortColumn_) {
        sortColumn_ = column;
        ascending_ = true;
    } else {
        ascending_ = !ascending_;
    }
    lblFind4_->setText(QStringLiteral("поиск: ") + columns.at(column - 1).title);
    model_->sortByColumn(column - 1, ascending_);
    model_->prepareSearch(column - 1);
    model_->setSortImage(
        column - 1, imlSort_.value(ascending_ ? QStringLiteral("Desc") : QStringLiteral("Asc")));
    const QModelIndex current = lvGrid_->selectionModel()->currentIndex();
    if (current.isValid())
        lvGrid_->scrollTo(current);
}

void dlgPickXMLFile::search(int from)
{
    const QString text = txtFind_->text();
    if (text.isEmpty())
        return;
    const int row = model_->findRow(sortColumn_ - 1, text, chkFind_->isChecked(), from);
    if (row < 0)
        return;
    setLastFound(model_->documentIndexOf(row));
    selectRow(row);
}

void dlgPickXMLFile::selectRow(int row)
{
    const QModelIndex index = model_->index(row, 0);
    lvGrid_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    lvGrid_->scrollTo(index);
}

void dlgPickXMLFile::searchFromFirstRow()
{
    setLastFound(-1);
    search(0);
}

void dlgPickXMLFile::toggleSearchInside()
{
    if (txtFind_->text().isEmpty())
        return;
    setLastFound(-1);
    search(0);
}

void dlgPickXMLFile::findNext()
{
    if (lastFound_ < 0)
        return;
    search(model_->rowOfDocumentIndex(lastFound_) + 1);
}

void dlgPickXMLFile::setLastFound(int documentIndex)
{
    lastFound_ = documentIndex;
    showFindNextState();
}

void dlgPickXMLFile::showFindNextState()
{
    cmdFindNext_->setEnabled(lastFound_ >= 0 && !txtFind_->text().isEmpty());
}

bool dlgPickXMLFile::previewKey(int key)
{
    if (key == Qt::Key_F3) {
        findNext();
        return true;
    }
    return PickDialogBase::previewKey(key);
}

bool dlgPickXMLFile::eventFilter(QObject* watched, QEvent* event)
{
    // The arrows and page keys of the search box move through the list, so that a row can be
    // chosen without leaving what was typed.
    if (watched == txtFind_ && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown: QCoreApplication::sendEvent(lvGrid_, event); return true;
        default: break;
        }
    }
    return PickDialogBase::eventFilter(watched, event);
}

void dlgPickXMLFile::showEvent(QShowEvent* event)
{
    PickDialogBase::showEvent(event);
    // Once the list has its size and rows laid out: the selected row in view.
    QTimer::singleShot(0, this, [this] {
        const QModelIndex current = lvGrid_->selectionModel()->currentIndex();
        if (current.isValid())
            lvGrid_->scrollTo(current);
    });
}

void dlgPickXMLFile::resizeEvent(QResizeEvent* event)
{
    PickDialogBase::resizeEvent(event);
    arrange();
}

void dlgPickXMLFile::arrange()
{
    if (!stbInfo_)
        return;
    const double perPixel = twipsPerPixel();
    const double innerWidth = width() * perPixel;
    const double innerHeight = height() * perPixel;
    const int statusHeight = stbInfo_->sizeHint().height();
    const double statusTwips = statusHeight * perPixel;
    const auto px = [this](double twips) { return toPixels(twips); };

    const double findWidth = std::max(
        0.0, innerWidth - (2 * kFindLeft + kFindFrameWidth + kNextFrameWidth + kInsideFrameWidth));
    const double txtLeft = kFindLeft + kFindFrameWidth;
    const double nextLeft = txtLeft + findWidth;
    const double insideLeft = nextLeft + kNextFrameWidth;

    lblFind_->setGeometry(px(kFindLeft), px(kFindTop), px(kFindFrameWidth), px(kFindHeight));
    lblFind4_->setGeometry(px(60), 0, px(kFindFrameWidth - 120), px(kFindHeight));
    txtFind_->setGeometry(px(txtLeft), px(kFindTop), px(findWidth), px(kFindHeight));
    lblFind3_->setGeometry(px(nextLeft), px(kFindTop), px(kNextFrameWidth), px(kFindHeight));
    cmdFindNext_->setGeometry(px(30), 0, px(kNextFrameWidth - 60), px(kFindHeight));
    lblFind2_->setGeometry(px(insideLeft), px(kFindTop), px(kInsideFrameWidth), px(kFindHeight));
    chkFind_->setGeometry(px(70), 0, px(kInsideFrameWidth - 140), px(kFindHeight));

    lvGrid_->setGeometry(px(kGridLeft), px(kGridTop), px(std::max(0.0, innerWidth - 120)),
                         px(std::max(0.0, innerHeight - statusTwips - 420)));
    stbInfo_->setGeometry(0, height() - statusHeight, width(), statusHeight);
}

} // namespace varnel
