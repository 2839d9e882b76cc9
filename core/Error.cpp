#include "core/Error.h"

namespace varnel {

Error::Error(int number, QString description)
    : number_(number), description_(std::move(description)), utf8_(description_.toStdString())
{
}

void Fail(const QString& description)
{
    throw Error(kClientErrorNumber, description);
}

void FailOverflow()
{
    throw Error(kOverflowErrorNumber, kOverflowText);
}

} // namespace varnel
