#include "import/UOrvantaImport.h"

namespace pelliport {

// Placeholder until the identification request is built.
void TOrvantaImport::IdentificationRequest(const std::string&) {}

}  // namespace pelliport
