// The host's main routine: one framed request from standard input, handed to
// the import engine; the process's exit code as the result.
#pragma once

#include "platform/platform.h"

namespace pelliport {

int RunHost(Platform& platform);

}  // namespace pelliport
