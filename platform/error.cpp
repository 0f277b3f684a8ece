#include "platform/error.h"

#include <new>

#include "platform/utf.h"

namespace pelliport {

HostError::HostError(std::u16string kind, std::u16string message)
    : kind_(std::move(kind)), message_(std::move(message)), what_(EncodeUtf8(message_)) {}

FailureDescription DescribeCurrentFailure() {
  try {
    throw;
  } catch (const HostError& error) {
    return {error.Kind(), error.Message()};
  } catch (const std::bad_alloc&) {
    return {u"EOutOfMemory", u"Zu wenig Arbeitsspeicher"};
  } catch (const std::exception& error) {
    return {u"Exception", DecodeUtf8Lenient(error.what())};
  } catch (...) {
    return {u"Exception", u"Unbekannter Fehler"};
  }
}

}  // namespace pelliport
