#pragma once

#include "filesave/NumberedError.h"

namespace varnel {

// Error numbers of the merge tool, as its users know them.
inline constexpr int kIniErrSubscript = 9;         // absent key, malformed line, bad combined key
inline constexpr int kIniErrInvalidArgument = 5;   // absent key by section/name, empty key name
inline constexpr int kIniErrDuplicate = 457;       // a name entered twice
inline constexpr int kIniErrFileNotFound = 53;     // input file missing
inline constexpr int kIniErrPermissionDenied = 70; // file exists but may not be read or replaced
inline constexpr int kIniErrPathFileAccess = 75;   // file cannot be opened or created
inline constexpr int kIniErrPathNotFound = 76;     // folder of the output file missing
inline constexpr int kIniErrDeviceIo = 57;         // writing or reading failed midway

// A failure of the merge tool: its number and the text shown to the user.
class IniError : public NumberedError {
public:
    using NumberedError::NumberedError;
};

} // namespace varnel
