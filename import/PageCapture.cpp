#include "import/UOrvantaImport.h"

namespace pelliport {

// Placeholder until the page capture is built.
TOrvantaImport::FlowEnd TOrvantaImport::PageCaptureImport() { return FlowEnd::Normal; }

}  // namespace pelliport
