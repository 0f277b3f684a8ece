#include "import/UOrvantaImport.h"

namespace pelliport {

// Placeholder until the add-in error report is built.
void TOrvantaImport::AddInErrorReport() {}

}  // namespace pelliport
