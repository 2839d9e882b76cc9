#pragma once

#include <QString>

#include <exception>
#include <string>

namespace varnel {

// Numbers of the failures the client raises. Every failure with one of the client's own texts
// has the first; the others are the platform's numbers for the same conditions.
inline constexpr int kClientErrorNumber = 514;
inline constexpr int kOverflowErrorNumber = 6;      // a number beyond its 16-bit range
inline constexpr int kFileNotFoundErrorNumber = 53; // a file to be examined is not there

// The text of the overflow failure.
inline const QString kOverflowText = QStringLiteral("Overflow");

// Caption of the main window's failure traps and of its commands' traps (with its trailing
// blank).
inline const QString kMainTrapCaption = QStringLiteral("Error! ");

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

// Raises the overflow failure (number 6, "Overflow").
[[noreturn]] void FailOverflow();

} // namespace varnel
