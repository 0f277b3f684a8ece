// Failures of the host: an error kind name (such as "EFCreateError") and a
// message, both as the log and the user see them.
#pragma once

#include <exception>
#include <string>

namespace pelliport {

class HostError : public std::exception {
 public:
  HostError(std::u16string kind, std::u16string message);
  const std::u16string& Kind() const noexcept { return kind_; }
  const std::u16string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  std::u16string kind_;
  std::u16string message_;
  std::string what_;  // UTF-8 of the message
};

struct FailureDescription {
  std::u16string kind;
  std::u16string message;
};

// Kind name and message of the exception being handled; call it only inside
// a catch block. Out of memory is "EOutOfMemory"; any other foreign
// exception is "Exception" with its what() text.
FailureDescription DescribeCurrentFailure();

}  // namespace pelliport
