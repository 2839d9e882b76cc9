#include "IniError.h"

namespace varnel {

IniError::IniError(int number, QString description)
    : number_(number), description_(std::move(description)),
      utf8_(description_.toUtf8().toStdString())
{
}

} // namespace varnel
