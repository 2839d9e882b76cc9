#pragma once

#include <QString>

#include <exception>
#include <string>
#include <utility>

namespace varnel {

// A failure as both programs raise it: a number the user may know it by and the text the user
// is shown. The client's Error (core/Error.h) and the merge tool's IniError (merge/IniError.h)
// are this class under their own names, so that each program's traps catch only its own.
class NumberedError : public std::exception {
public:
    NumberedError(int number, QString description)
        : number_(number), description_(std::move(description)), utf8_(description_.toStdString())
    {
    }

    int number() const noexcept { return number_; }
    const QString& description() const noexcept { return description_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    int number_;
    QString description_;
    std::string utf8_;
};

} // namespace varnel
