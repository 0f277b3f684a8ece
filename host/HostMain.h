// The host's main routine: one framed request from standard input, handed to
// the import engine; the process's exit code as the result.
#pragma once

#include "platform/platform.h"

namespace pelliport {

int RunHost(Platform& platform);

// The program as started: the host for a browser's request, or one of the
// options for people (--check, --version, --help) when the first argument is
// one. The browsers pass arguments of their own (Chromium the caller's
// origin, and on Windows --parent-window=...; Firefox the manifest's path and
// the add-in's id); the host ignores them.
int RunProgram(Platform& platform);

// The text of --help.
std::u16string HelpText();

}  // namespace pelliport
