#include "reports/ReportDocument.h"

#include "core/AppContext.h"
#include "core/Dialogs.h"
#include "core/Error.h"
#include "core/SettingKeys.h"
#include "core/Settings.h"
#include "messages/DocumentWriters.h"
#include "reports/ReportFile.h"
#include "reports/ReportModel.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace varnel {
namespace {

// A part of a report being read: a few hundredths of a second of reading.
constexpr int kLoadPartRows = 2000;

bool sameFile(const QString& a, const QString& b)
{
    const QFileInfo fa(a);
    const QFileInfo fb(b);
    if (fa.absoluteFilePath() == fb.absoluteFilePath())
        return true;
    const QString ca = fa.canonicalFilePath();
    return !ca.isEmpty() && ca == fb.canonicalFilePath();
}

} // namespace

ReportDocument::ReportDocument(ReportKind kind, QObject* parent)
    : QObject(parent), kind_(kind), rows_(new ReportModel(kind == ReportKind::Repo, this))
{
    rows_->setColumns({ReportColumn::rowNumber()});
    const auto count = [this] { emit rowCountChanged(rowCount()); };
    connect(rows_, &QAbstractItemModel::rowsInserted, this, count);
    connect(rows_, &QAbstractItemModel::rowsRemoved, this, count);
    connect(rows_, &QAbstractItemModel::modelReset, this, count);
}

ReportDocument::~ReportDocument() = default;

void ReportDocument::setLongStepRunner(LongStepRunner runner)
{
    runner_ = std::move(runner);
}

void ReportDocument::runLong(const QString& what, const std::function<void()>& work)
{
    if (!runner_) {
        work();
        return;
    }
    runner_(what, work);
}

int ReportDocument::rowCount() const
{
    return rows_->rows();
}

Outcome ReportDocument::buildFromLayout()
{
    rows_->setColumns({ReportColumn::rowNumber()});
    try {
        layout_ = ReadReportLayout(LayoutPathOf(kind_), TraitsOf(kind_).slotCount);
    } catch (const Error& e) {
        layout_ = ReportLayout();
        if (!layoutFailed_) {
            layoutFailed_ = true;
            emit layoutFailedChanged(true);
        }
        return Outcome::Failed(e.description());
    }
    QList<ReportColumn> columns{ReportColumn::rowNumber()};
    const QString widths = QLatin1String(settings::kReportGridSection);
    for (const LayoutField& f : layout_.fields) {
        if (!f.visible)
            continue;
        ReportColumn c = ReportColumn::of(f);
        if (!f.name.isEmpty())
            c.widthTwips = ReadSettingInt(widths, f.name, f.widthTwips);
        columns.append(c);
    }
    rows_->setColumns(columns);
    if (layoutFailed_) {
        layoutFailed_ = false;
        emit layoutFailedChanged(false);
    }
    return Outcome::Done();
}

void ReportDocument::setFileName(const QString& path)
{
    if (fileName_ == path)
        return;
    fileName_ = path;
    emit fileNameChanged(path);
}

void ReportDocument::setChanged(bool changed)
{
    if (changed_ == changed)
        return;
    changed_ = changed;
    emit changedChanged(changed);
}

void ReportDocument::setFileUnreadable(bool unreadable)
{
    if (fileUnreadable_ == unreadable)
        return;
    fileUnreadable_ = unreadable;
    emit fileUnreadableChanged(unreadable);
}

Outcome ReportDocument::load(const QString& path)
{
    setFileName(path);
    setFileUnreadable(false);
    rows_->clearRows();
    if (!QFileInfo::exists(path))
        return Outcome::Done();
    emit loadStarted(path);
    const QList<ReportColumn> columns = rows_->columns();
    try {
        runLong(QStringLiteral("Загружается файл ") + path + QStringLiteral("..."), [&] {
            ReadReportRowsInParts(path, columns, kLoadPartRows, [this](QList<QStringList>&& part) {
                // Into the rows on the document's own thread, whichever thread reads.
                QMetaObject::invokeMethod(this, [this, part = std::move(part)]() mutable {
                    rows_->appendRows(std::move(part));
                });
            });
        });
        // The parts the reading thread handed over last, not taken in yet.
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    } catch (const Error& e) {
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        rows_->clearRows();
        setFileUnreadable(true);
        return Outcome::Failed(e.description());
    }
    rows_->renumberRows();
    return Outcome::Done();
}

Outcome ReportDocument::isCorrect() const
{
    return IsReportCorrect(*rows_);
}

bool ReportDocument::mayReplace(const QString& path, QWidget* askParent) const
{
    if (!fileUnreadable_ || !sameFile(path, fileName_))
        return true;
    const QString question =
        QStringLiteral("Файл ") + path +
        QStringLiteral(" не удалось загрузить, и его сделок нет в этом отчете. Если сохранить "
                       "отчет в этот файл, прежнее содержимое файла будет потеряно.\r\n"
                       "Заменить файл ") +
        path + QStringLiteral(" отчетом из ") + QString::number(rowCount()) +
        QStringLiteral(" сделок ?");
    return Dialogs::AskYesNo(askParent, question, kAppTitle) == Answer::Yes;
}

Outcome ReportDocument::write(const QString& path)
{
    emit saveStarted(path);
    try {
        // The rows are only read meanwhile: nothing changes them while a step runs.
        runLong(QStringLiteral("Сохраняется файл ") + path + QStringLiteral("..."), [&] {
            if (const Outcome correct = isCorrect(); correct.failed())
                Fail(correct.failure);
            WriteDealsXml(path, *rows_);
        });
    } catch (const Error& e) {
        return Outcome::Failed(e.description());
    }
    setFileName(path);
    setFileUnreadable(false);
    setChanged(false);
    return Outcome::Done();
}

Outcome ReportDocument::save(QWidget* askParent)
{
    if (fileName_.isEmpty() || fileUnreadable_) {
        const QString chosen =
            Dialogs::SaveFile(askParent, QStringLiteral("Save Report As"), WorkFolder(),
                              ReportFileFilter(), ReportFileSuffix());
        if (chosen.isEmpty() || !mayReplace(chosen, askParent))
            return Outcome::Cancelled();
        if (!sameFile(chosen, fileName_)) {
            setFileName(chosen);
            setFileUnreadable(false);
        }
    }
    return write(fileName_);
}

Outcome ReportDocument::saveAs(const QString& path, QWidget* askParent)
{
    if (!mayReplace(path, askParent))
        return Outcome::Cancelled();
    return write(path);
}

FieldCheck ReportDocument::checkField(int column, const QString& text, const QDate& today) const
{
    if (column < 1 || column >= rows_->columnCount())
        return FieldCheck{text, QString()};
    return CheckFieldValue(rows_->column(column), text, kind_, today);
}

FieldCheck ReportDocument::checkField(int column, const QString& text, const QDate& today,
                                      const NumberReading& numbers) const
{
    if (column < 1 || column >= rows_->columnCount())
        return FieldCheck{text, QString()};
    return CheckFieldValue(rows_->column(column), text, kind_, today, numbers);
}

DealCheck ReportDocument::checkDeal(const QStringList& fields, const DealKeys& keys,
                                    DealCheckMode mode, int row) const
{
    const auto value = [&](const QString& name) {
        const int column = rows_->columnOfName(name);
        return column < 1 ? QString() : fields.value(column - 1);
    };
    return CheckDeal(kind_, value, keys, mode, row);
}

QString ReportDocument::participantOrDefault(const QString& text) const
{
    return participantOrDefault(text, DefaultParticipant());
}

QString ReportDocument::participantOrDefault(const QString& text, const QString& participant)
{
    return text.isEmpty() && !participant.isEmpty() ? participant : text;
}

void ReportDocument::applyDefaultParticipant(QStringList& fields, const QString& participant) const
{
    const int column = rows_->columnOfName(QStringLiteral("Participant"));
    if (column >= 1 && column <= fields.size())
        fields[column - 1] = participantOrDefault(fields.at(column - 1), participant);
}

Outcome ReportDocument::addDeal(const QStringList& fields, int* addedRow)
{
    if (DealCheck check = checkDeal(fields, *rows_, DealCheckMode::Add); !check.passed)
        return Outcome::Failed(std::move(check.failure));
    // The new row comes with its number, the others keep theirs.
    const int row = rows_->appendDeal(fields);
    if (addedRow)
        *addedRow = row;
    setChanged(true);
    return Outcome::Done();
}

Outcome ReportDocument::changeDeal(int row, const QStringList& fields)
{
    if (DealCheck check = checkDeal(fields, *rows_, DealCheckMode::Change, row); !check.passed)
        return Outcome::Failed(std::move(check.failure));
    rows_->setDeal(row, fields);
    setChanged(true);
    return Outcome::Done();
}

void ReportDocument::deleteDeal(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    rows_->removeDeal(row);
    rows_->renumberRows(row);
    setChanged(true);
}

void ReportDocument::appendDeals(const QList<QStringList>& deals)
{
    if (deals.isEmpty())
        return;
    rows_->appendDeals(deals);
    setChanged(true);
}

void ReportDocument::appendDeals(QList<QStringList>&& deals)
{
    if (deals.isEmpty())
        return;
    rows_->appendDeals(std::move(deals));
    setChanged(true);
}

} // namespace varnel
