#pragma once

#include "platform/result.h"

namespace zarn::platform {

// "{system message, trailing white space removed} (os error {code})".
Error os_error(int code);

// The error of the last failed system call of this thread (errno, or GetLastError on Windows).
Error last_os_error();

}  // namespace zarn::platform
