// The Windows seams, each from its own file; platform_win32.cpp bundles them.
#pragma once

#include "platform/system_win32.h"
#include "platform/platform.h"

namespace pelliport::win32 {

Streams& SystemStreams();
Text& SystemText();
Files& SystemFiles();
Clock& SystemClock();
Desktop& SystemDesktop();
Identity& SystemIdentity();
UserSettings& SystemUserSettings();

}  // namespace pelliport::win32
