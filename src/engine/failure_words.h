// The report's words for why something failed. The platform layer and the file-system utilities
// only classify a failure (platform::FsReason); what the user reads is worded here, in the
// report's language, and the system's own text is used only for what no reason covers.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace talvex::build {

// Why the failure happened, as the report says it: the reason's words, or else the system's
// text (`message`), or else its error code.
std::string FailureReasonText(platform::FsReason reason, int code, std::string_view message);

inline std::string FailureReasonText(const platform::FsStatus& status) {
  return FailureReasonText(platform::ReasonOf(status), status.code, status.message);
}

}  // namespace talvex::build
