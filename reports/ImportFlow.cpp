#include "reports/ImportFlow.h"

#include "core/Error.h"
#include "core/Values.h"
#include "reports/ImportModels.h"
#include "reports/ReportDocument.h"
#include "reports/ReportModel.h"
#include "tables/TableReader.h"

#include <QFileInfo>

namespace varnel {

ImportRun::ImportRun(const ReportDocument& document, const QDate& today)
    : document_(document), today_(today)
{
}

ImportRun::~ImportRun() = default;

Outcome ImportRun::open(const QString& path, Progress& progress)
{
    path_ = path;
    titles_.clear();
    first_.clear();
    const Outcome outcome = Trapping([&] {
        progress.stage(QStringLiteral("Чтение файла ") + QFileInfo(path).fileName());
        reader_ = OpenTableFile(path);
        TableRecord titles;
        if (!reader_->next(titles))
            return;
        titles_ = titles.row();
        TableRecord record;
        while (first_.size() < ImportMappingModel::kPreviewRows && reader_->next(record))
            first_.append(record);
    });
    if (!outcome.done())
        return outcome;
    if (titles_.isEmpty())
        return Outcome::Failed(
            TableReadErrorText(path, QStringLiteral("в файле нет ни одной строки")));
    return outcome;
}

QList<QStringList> ImportRun::preview() const
{
    QList<QStringList> rows;
    for (const TableRecord& r : first_)
        rows.append(r.row(int(titles_.size())));
    return rows;
}

std::optional<ImportMapping> ImportRun::settledMapping() const
{
    if (std::optional<ImportMapping> remembered = RememberedMapping(document_, titles_))
        return remembered;
    MappingProposal proposed = proposal();
    if (proposed.complete)
        return std::move(proposed.mapping);
    return std::nullopt;
}

MappingProposal ImportRun::proposal() const
{
    return ProposeMapping(document_, titles_, today_);
}

void ImportRun::start(const ImportMapping& mapping)
{
    import_ = std::make_unique<DealImport>(document_, mapping, today_);
    document_.rows().holds(DealKey::Reference, QString(), -1); // the index of the rows, built here
}

Outcome ImportRun::check(Progress& progress)
{
    bool stopped = false;
    // The locale stays as it is while the file is checked.
    const DecimalSeparatorHold separator;
    const Outcome outcome = Trapping([&] {
        progress.stage(QStringLiteral("Проверка сделок из файла ") + QFileInfo(path_).fileName(),
                       reader_->total());
        for (const TableRecord& r : first_)
            import_->check(r);
        first_.clear();
        TableRecord record;
        for (int read = 1; reader_->next(record); ++read) {
            import_->check(record);
            if (read % 256 == 0) {
                progress.advance(reader_->done());
                if (progress.stopRequested()) {
                    stopped = true;
                    return;
                }
            }
        }
    });
    reader_.reset();
    return stopped ? Outcome::Cancelled() : outcome;
}

} // namespace varnel
