#pragma once

#include <QString>

#include <functional>

namespace varnel::testing {

// Points in SendRequest where a test may change the world, as another program could.
enum class SendStage {
    FoldersChecked, // both folders checked; the work file name not yet made
    WorkFileNamed,  // the work file name is made; the document not yet written
    BeforeMove,     // the document is written; argument: the work file
};

// Called at each stage with the work file (empty before it is named).
using SendStageHook = std::function<void(SendStage, const QString& workFile)>;

} // namespace varnel::testing
