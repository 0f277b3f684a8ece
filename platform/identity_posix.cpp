// Who runs the host on Linux and other POSIX systems: the host name and
// the effective user's login name.
#include <pwd.h>
#include <unistd.h>

#include "platform/system_seams.h"
#include "platform/system_posix.h"

namespace pelliport {
namespace {

using posix::Widen;

class PosixIdentity final : public Identity {
 public:
  std::optional<std::u16string> ComputerName() override {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return std::nullopt;
    return Widen(name);
  }

  std::optional<std::u16string> UserName() override {
    const passwd* pw = getpwuid(geteuid());
    if (pw == nullptr || pw->pw_name == nullptr) return std::nullopt;
    return Widen(pw->pw_name);
  }
};

}  // namespace

Identity& SystemIdentity() {
  static PosixIdentity identity;
  return identity;
}

}  // namespace pelliport
