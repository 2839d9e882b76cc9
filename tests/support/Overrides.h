#pragma once

// Guards for the process-wide values that only tests change: each sets its value for its own
// lifetime and puts back what was there before, so no test leaves a value behind for the next.
// The guards of the send pipeline and of the shell are in MessagesOverrides.h and
// ShellOverrides.h beside this file.

#include "core/AppContext.h"
#include "core/Overrides.h"

#include <QString>

#include <utility>

namespace varnel::testing {

// Replaces the value in slot for the guard's lifetime.
template <class T> class ScopedOverride {
public:
    ScopedOverride(T& slot, T value) : slot_(slot), saved_(std::exchange(slot, std::move(value))) {}
    ~ScopedOverride() { slot_ = std::move(saved_); }
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

private:
    T& slot_;
    T saved_;
};

// The program folder (and with it the settings file, while no other path is set).
class ScopedProgramFolder : public ScopedOverride<QString> {
public:
    explicit ScopedProgramFolder(const QString& folder)
        : ScopedOverride(overrides::ProgramFolder(), folder)
    {
    }
};

// The settings file path, which start-up sets as well; afterwards the path is the program
// folder's file again, as the program starts with it.
class ScopedSettingsFile {
public:
    explicit ScopedSettingsFile(const QString& path) { SetSettingsFilePath(path); }
    ~ScopedSettingsFile() { SetSettingsFilePath(QString()); }
    ScopedSettingsFile(const ScopedSettingsFile&) = delete;
    ScopedSettingsFile& operator=(const ScopedSettingsFile&) = delete;
};

// The folder of the per-user placement store.
class ScopedPlacementRoot : public ScopedOverride<QString> {
public:
    explicit ScopedPlacementRoot(const QString& folder)
        : ScopedOverride(overrides::PlacementRoot(), folder)
    {
    }
};

} // namespace varnel::testing
