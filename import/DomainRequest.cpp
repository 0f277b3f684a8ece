#include "import/UOrvantaImport.h"

namespace pelliport {

// Placeholder until the domain request is built.
void TOrvantaImport::DomainRequest() {}

}  // namespace pelliport
