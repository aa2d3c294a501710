// Temporary: the options, the status panel and the start of a run get their
// bodies with the options (this whole file is replaced then). Until then
// the timers call these and nothing happens.
#include "app/MainApplicationDialog.h"

void MainApplicationDialog::SaveOptions() {}

void MainApplicationDialog::UpdateStatusPanel() {}

void MainApplicationDialog::StartBackupRun(bool) {}
