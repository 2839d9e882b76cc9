#pragma once

#include <QString>

namespace varnel {

// Process-wide values fixed at start-up.

// The product title: application name of the placement store, caption of message boxes.
inline const QString kAppTitle = QStringLiteral("Varnel");

// Folder of the running executable (without a trailing separator), unless a test or the
// command-line program's --program-folder set another.
QString ProgramFolder();
// Points the program folder elsewhere for the rest of the run. Only tests do, and they use
// testing::ScopedProgramFolder (tests/support/Overrides.h), which puts the folder back; this
// setter is built into the test support library, not into the program.
void SetProgramFolder(const QString& folder);
// The program folder the command-line program was told to run on (--program-folder), for the
// rest of its run; a test's folder still comes first. An empty folder goes back to the
// executable's.
void ChooseProgramFolder(const QString& folder);

// Full path of the settings file; program folder + "/varnel_client.ini" unless set otherwise.
QString SettingsFilePath();
void SetSettingsFilePath(const QString& path);

// Login name fixed at start-up ("@default" when it could not be determined).
QString UserName();
void SetUserName(const QString& name);

// The login name of the process owner, at most 255 characters; empty when it cannot be had.
QString QueryLoginName();

// Version of this build: "2.1.0", and its parts.
QString VersionString();
int VersionMajor();
int VersionMinor();
int VersionPatch();

} // namespace varnel
