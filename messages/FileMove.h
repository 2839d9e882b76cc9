#pragma once

#include <QString>

namespace varnel {

// Moves a finished request file to its place in the send folder so that it appears there
// complete and at once, and never in place of a file already there.
//
// On one file system the file is renamed without replacing anything. Across file systems it
// is copied under a hidden name the transport does not pick up (".name.xxxxxxxx.part"),
// flushed to disk, renamed into place the same way, and only then removed from its old place.
// A target that already exists, or any other failure, raises an Error that says what happened;
// the source file then stays where it was and nothing is left in the target folder.
void MoveRequestFile(const QString& source, const QString& target);

} // namespace varnel
