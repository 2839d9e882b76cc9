#pragma once

#include <QtGlobal>

#include <clocale>
#if defined(Q_OS_UNIX)
#include <locale.h>
#endif

// The C library writes and reads numbers ("%g", strtod) by its numeric locale, and so do the C
// libraries on top of it: libxlsxwriter writes the cells of a workbook with printf, libxml2 turns
// XPath numbers into text with it. Qt's application object takes the whole C locale from the
// environment, so on a Russian desktop "53.37" would come out as "53,37". Numbers in files keep
// the C locale's "."; what the user sees follows QLocale, which does not depend on it.
namespace varnel {

// Puts the numeric part of the C locale back to "C" for the whole process. Each program calls
// it once, right after its application object is made.
void UseCNumbers();

// For as long as it lives, the C library writes and reads numbers in this thread with "." even
// where the process's numeric locale says otherwise (a host program that never called
// UseCNumbers). The workbook writers hold one while they write.
class CNumbersHere {
public:
    CNumbersHere();
    ~CNumbersHere();
    CNumbersHere(const CNumbersHere&) = delete;
    CNumbersHere& operator=(const CNumbersHere&) = delete;

private:
#if defined(Q_OS_UNIX)
    locale_t own_ = locale_t(0);
    locale_t previous_ = locale_t(0);
#endif
};

} // namespace varnel
