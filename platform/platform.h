// The host's seams to the operating system, one per part of the system it
// uses. Each seam has one implementation per system (*_posix.cpp,
// *_win32.cpp); none knows anything of the product. `Platform` bundles one
// of each, so that code takes what it needs from one parameter
// (`platform.files.OpenFile(...)`); a test replaces only the seam it
// steers (see testing/FakePlatform.h).
#pragma once

#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/identity.h"
#include "platform/socket.h"
#include "platform/streams.h"
#include "platform/text.h"
#include "platform/user_settings.h"

namespace pelliport {

struct Platform {
  Streams& streams;
  Text& text;
  Files& files;
  Clock& time;
  Desktop& desktop;
  Identity& identity;
  UserSettings& settings;
  Network& network;

  // The same bundle with one seam replaced.
  Platform With(Streams& seam) const { return {seam, text, files, time, desktop, identity, settings, network}; }
  Platform With(Text& seam) const { return {streams, seam, files, time, desktop, identity, settings, network}; }
  Platform With(Files& seam) const { return {streams, text, seam, time, desktop, identity, settings, network}; }
  Platform With(Clock& seam) const { return {streams, text, files, seam, desktop, identity, settings, network}; }
  Platform With(Desktop& seam) const { return {streams, text, files, time, seam, identity, settings, network}; }
  Platform With(Identity& seam) const { return {streams, text, files, time, desktop, seam, settings, network}; }
  Platform With(UserSettings& seam) const { return {streams, text, files, time, desktop, identity, seam, network}; }
  Platform With(Network& seam) const { return {streams, text, files, time, desktop, identity, settings, seam}; }
};

// The real seams of this build.
Platform& SystemPlatform();

}  // namespace pelliport
