// Handing the update worker to a front end and starting it.
#pragma once

#include "update_messages.h"
#include "win_types.h"

class CTovarinApp;

// Main thread. When the application has a worker that has no receiver yet
// and is not running: gives it the receiver and the application's -reboot
// flag, marks it running and starts its thread (clearing the mark again if
// the start fails). Both reach the worker before its thread exists, so its
// first message always finds them. TRUE when the worker's thread started.
BOOL StartUpdateWorker(CTovarinApp& app, CNotifyTarget* target);
