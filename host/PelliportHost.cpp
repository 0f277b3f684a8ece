// PelliportHost: started by the browser for one native-messaging request.
#include "host/HostMain.h"

int main() { return pelliport::RunProgram(pelliport::SystemPlatform()); }
