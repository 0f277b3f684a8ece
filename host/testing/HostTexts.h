// The host's own texts that its process tests look for, in UTF-8 as the
// recorded boxes and the log give them back.
#pragma once

#include <string>

namespace pelliport::testing {

inline const std::string kCaption = "Orvanta Browser Add-In | Fehler";
inline const std::string kNotSent =
    "Fehler: \n\rEs konnte keine Verbindung zu Orvanta hergestellt werden.\r\n\r\n"
    "Bitte prüfen Sie, ob Orvanta gestartet wurde.";
inline const std::string kParseError = "Fehler beim Parsen";

}  // namespace pelliport::testing
