#pragma once

#include "filesave/NumberedError.h"

#include <QString>

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
class Error : public NumberedError {
public:
    using NumberedError::NumberedError;
    explicit Error(QString description) : NumberedError(kClientErrorNumber, std::move(description))
    {
    }
};

// Raises the client's own failure (number 514) with the given text.
[[noreturn]] void Fail(const QString& description);

// Raises the overflow failure (number 6, "Overflow").
[[noreturn]] void FailOverflow();

} // namespace varnel
