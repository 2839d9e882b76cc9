#pragma once

// The file helpers of the merge tests: those of tests/support/TestFiles.h, a write that fails
// the test when it cannot be made.

#include "tests/support/TestFiles.h"

#include <QTest>

namespace {

using varnel::testing::ReadBytes;

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QVERIFY(varnel::testing::WriteBytes(path, bytes));
}

[[maybe_unused]] QMap<QString, QByteArray> Snapshot(const QString& folder)
{
    return varnel::testing::FolderSnapshot(folder);
}

} // namespace
