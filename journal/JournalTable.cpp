#include "journal/JournalTable.h"

#include "journal/JournalModels.h"

#include <algorithm>

namespace varnel::journal {

QStringList RequestTable::columnTitles() const
{
    return {QStringLiteral("Время"),     QStringLiteral("Вид"),
            QStringLiteral("Файл"),      QStringLiteral("Участник"),
            QStringLiteral("Сделок"),    QStringLiteral("Принято"),
            QStringLiteral("Отклонено"), QStringLiteral("Ждут ответа"),
            QStringLiteral("Код"),       QStringLiteral("Сообщение реестра")};
}

int RequestTable::rowCount() const
{
    return list_.rows();
}

void RequestTable::rowCells(int row, QList<TableCell>& cells) const
{
    const RequestEntry& e = list_.entry(row);
    const auto number = [](int n) { return TableCell::numberCell(QString::number(n)); };
    cells = {TableCell::textCell(SentTimeText(e.sent)),
             TableCell::textCell(RequestKindTitle(e)),
             TableCell::textCell(e.file),
             TableCell::textCell(ParticipantText(e)),
             number(e.deals),
             number(e.accepted),
             number(e.rejected),
             e.answerOnly ? TableCell::empty() : number(std::max(e.waiting(), 0)),
             TableCell::textCell(e.code),
             TableCell::textCell(e.text)};
}

} // namespace varnel::journal
