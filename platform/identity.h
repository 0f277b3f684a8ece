// Who runs the host: the computer's and the user's names.
#pragma once

#include <optional>
#include <string>

namespace pelliport {

class Identity {
 public:
  virtual ~Identity() = default;
  virtual std::optional<std::u16string> ComputerName() = 0;  // GetComputerNameW
  virtual std::optional<std::u16string> UserName() = 0;      // GetUserNameW
};

}  // namespace pelliport
