#pragma once

#include "CIniMngr.h"

#include <QString>
#include <QStringList>

#include <cstdio>

namespace varnel {

// Splits a command line given as one string (the text after the program name) into its
// arguments: blanks separate them; an argument opened by a double quote runs to the next
// double quote, which is removed, and the next argument starts right after it; a quote that
// is never closed raises error 5.
QStringList SplitCommandLine(const QString& commandLine);

// Splits a text at CR LF pairs only. A text that ends with CR LF has a last empty line; an
// empty text has no lines at all.
QStringList SplitAtCrLf(const QString& text);

// Reads a whole Windows-1251 file and splits it at CR LF pairs.
QStringList ReadIniLines(const QString& path);

// Writes lines joined with CR LF, without a line break after the last, as Windows-1251.
// The new text goes into a file beside the target that replaces it only once complete and
// synced, so a failed write (a full disk included) is raised and leaves the old file whole and
// nothing beside it.
void WriteIniLines(const QString& path, const QStringList& lines);

// Gives every key of `base` that `values` also holds the value from `values`.
void MergeValues(CIniMngr& base, const CIniMngr& values);

// The option, given after the three paths, that keeps the value file's own keys.
inline constexpr char kKeepValueKeysOption[] = "--keep-value-keys";

// Adds to `lines` (the text of `base` as SaveLines gives it) every key of `values` that `base`
// lacks, with its value as the value file writes it. A key whose section `base` has goes into
// the first block of that section, after its last key line (after the header when the block
// has none), where a profile reader looks for it; the other sections follow at the end of the
// text in the value file's order, each after a blank line, ahead of the empty line that a
// final line break leaves. Keys keep the value file's order within their section.
void AddValueOnlyKeys(QStringList& lines, const CIniMngr& base, const CIniMngr& values);

// One merge run: base file, value file and optional output file (the base file otherwise).
// Of the later arguments only kKeepValueKeysOption means something (the value file's own keys
// are added to the result instead of dropped, see AddValueOnlyKeys); the rest are ignored.
// The first failure is raised and nothing further is written.
void RunMerge(const QStringList& arguments);

// The program: runs the merge and reports a failure with its number and description on
// `errors`. Returns the process exit status: 0 after success, 1 after a failure.
int QuilmerMain(const QStringList& arguments, std::FILE* errors);

// The same for a program handed its whole command line as one string, program name first.
int QuilmerMainFromCommandLine(const QString& commandLine, std::FILE* errors);

} // namespace varnel
