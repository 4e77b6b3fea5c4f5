/*
 * SPDX-License-Identifier: LGPL-2.1-or-later
 *
 * run_marks.cpp - the run boundaries that the feed service daemon marks: a run
 * starts the download policy afresh, and the first statement that fails within
 * a run is logged as a warning with SQLite's message.
 */
#include "feedserviceutils_internal.h"
#include "feedserviceutils_runs.h"

#include <atomic>

namespace {

/* Outside a run (the widget's process, a daemon between runs) failed statements go
 * to the debug log only; inside one, the first also to the warnings. */
enum class RunState { None, Running, FailureLogged };
std::atomic<RunState> run_state{RunState::None};

} // namespace

bool fsu::first_statement_failure() {
    RunState running = RunState::Running;
    return run_state.compare_exchange_strong(running, RunState::FailureLogged);
}

extern "C" {

void feedserviceutils_run_begin(void) {
    /* The daemon knows no settings: every run counts as one of the same settings, so
     * hosts found unreachable stay held back for their two minutes. */
    fsu::begin_run(std::string());
    run_state = RunState::Running;
}

void feedserviceutils_run_end(void) {
    run_state = RunState::None;
}

} // extern "C"
