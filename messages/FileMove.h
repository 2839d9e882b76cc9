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
// the source file then stays where it was and nothing is left in the target folder. An original
// that cannot be removed after the copy is in place takes the copy back out of the target
// folder, and the move fails likewise; only a copy that is gone by then (taken by the
// transport) leaves the move made and the original behind.
//
// Every step follows the fault plan of filesave::testing, as the atomic save does.
void MoveRequestFile(const QString& source, const QString& target);

} // namespace varnel
