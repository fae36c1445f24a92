// faults.h: the runner's torture mode (see faults.cpp).
#ifndef HALVORIN_RUNNER_FAULTS_H
#define HALVORIN_RUNNER_FAULTS_H

namespace halvorin::runner {

// Counts host service calls and fails one, as TORTURE_FAULT and
// TORTURE_COUNTS in the environment ask; does nothing without them.
void InstallTortureHooks();

} // namespace halvorin::runner

#endif
