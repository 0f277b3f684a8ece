// The platform on Linux and other POSIX systems: the bundle of its seams.
#include <signal.h>

#include <clocale>

#include "platform/system_seams.h"

namespace pelliport {
namespace {

// A write to a pipe whose reader has gone fails with EPIPE, which the host
// handles as a write failure, instead of ending the process by SIGPIPE.
void IgnoreBrokenPipes() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace

Platform& SystemPlatform() {
  // The locale first: the text seam reads its character set, the clock
  // formats in it.
  static const bool prepared = (std::setlocale(LC_ALL, ""), IgnoreBrokenPipes(), true);
  static Network network;
  static Platform platform{SystemStreams(), SystemText(),     SystemFiles(),
                           SystemClock(),   SystemDesktop(),  SystemIdentity(),
                           SystemUserSettings(), network};
  (void)prepared;
  return platform;
}

}  // namespace pelliport
