// No way out of vsthost leaves an unfinished output file: on Ctrl-C, a
// termination signal, a crash (in a plug-in or anywhere) or a plug-in that
// ends the process, the temporary files go, one line says what happened, and
// the process ends as it would have otherwise: by the signal, whose status
// the shell reports as usual, or with ExitCode::PluginFailed.
#pragma once

void InstallExitCleanup();
