#pragma once

#include <QString>

#include <exception>
#include <string>

namespace varnel {

// Number of every failure raised with one of the client's own texts.
inline constexpr int kClientErrorNumber = 514;

// A failure of the client: a number and the text the user is shown.
class Error : public std::exception {
public:
    Error(int number, QString description);
    explicit Error(QString description) : Error(kClientErrorNumber, std::move(description)) {}

    int number() const noexcept { return number_; }
    const QString& description() const noexcept { return description_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    int number_;
    QString description_;
    std::string utf8_;
};

// Raises the client's own failure (number 514) with the given text.
[[noreturn]] void Fail(const QString& description);

} // namespace varnel
