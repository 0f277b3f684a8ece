// The POSIX seams, each from its own file; platform_posix.cpp bundles them.
#pragma once

#include "platform/platform.h"

namespace pelliport::posix {

Streams& SystemStreams();
Text& SystemText();
Files& SystemFiles();
Clock& SystemClock();
Desktop& SystemDesktop();
Identity& SystemIdentity();
UserSettings& SystemUserSettings();

}  // namespace pelliport::posix
