// A request given as the bytes the browser sends, decoded as the main routine
// decodes them before it hands the text to the engine.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace pelliport::testing {

// The request's text; ill-formed UTF-8 gives the empty text.
inline std::u16string RequestText(Platform& platform, std::string_view bytes) {
  std::u16string text;
  if (!platform.text.Utf8ToUnicode(bytes, text)) text.clear();
  return text;
}

}  // namespace pelliport::testing
