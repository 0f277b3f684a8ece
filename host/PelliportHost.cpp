// PelliportHost: started by the browser for one native-messaging request.
#include <span>

#include "host/BrowserManifests.h"
#include "host/HostMain.h"

int main() {
  auto& platform = pelliport::SystemPlatform();
  // The installer's mode; a browser's arguments never start with it.
  if (const auto arguments = platform.ProgramArguments();
      !arguments.empty() && arguments.front() == pelliport::kWriteManifestsOption) {
    return pelliport::WriteBrowserManifests(platform, std::span(arguments).subspan(1));
  }
  return pelliport::RunHost(platform);
}
