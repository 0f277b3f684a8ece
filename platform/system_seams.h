// The seams of this build's system, each defined in its own file
// (streams_posix.cpp, streams_win32.cpp, ...); platform_posix.cpp and
// platform_win32.cpp bundle them.
#pragma once

#include "platform/platform.h"

namespace pelliport {

Streams& SystemStreams();
Text& SystemText();
Files& SystemFiles();
Clock& SystemClock();
Desktop& SystemDesktop();
Identity& SystemIdentity();
UserSettings& SystemUserSettings();

}  // namespace pelliport
