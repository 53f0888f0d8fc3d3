// One run of Setup, whoever watches it: the command line understood, one Setup at a time, an
// upgrade cut short earlier finished or rolled back, the licence, the installed product checked,
// its programs asked to quit and waited for, the upgrade, the outcome told, and after a person's
// run Setup removed. A person's run and an unattended one take the very same steps and log them
// alike; they differ only in the presenter, which shows the dialogs or shows nothing.
#pragma once

#include "run/CommandLine.h"
#include "run/RunPresenter.h"

// Runs Setup as `line` asks, presented by `presenter`, every step recorded in the run's log as it
// happens. Every ending is decided here; returns its exit code.
[[nodiscard]] int RunSetup(const CommandLine& line, RunPresenter& presenter);
