// Which of the four kinds a request is, by marker words anywhere in it.
#pragma once

#include <string_view>

#include "platform/platform.h"

namespace pelliport {

enum class RequestKind { None, PageCapture, Domain, Identification, AddInError };

// Searches the whole text, ignoring case (the platform's upper-case mapping),
// for "html", "domain", "DO_VORANDTIMPORT" and "OrvantaBrowserAddInErrorTitle";
// the first of these in that order that occurs decides.
RequestKind FindRequestKind(Platform& platform, std::u16string_view text);

}  // namespace pelliport
