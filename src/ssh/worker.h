// The worker thread's body. Internal to this folder.
#pragma once

#include "ssh/session.h"

namespace remote::ssh {

// Runs one session to its end on the calling thread, writing the status
// cell, the verdict slot and the output queue in `shared`.
void run_worker(SshWorkerConfig config, SessionShared& shared);

}  // namespace remote::ssh
