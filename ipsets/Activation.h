#pragma once
// What an activation decides before and after its netsh runs, apart from any
// window or process: whether a set may run, the command lines it runs, and
// what the user is told when a run fails.
#include "ipsets/IPSetValues.h"

#include <string>
#include <vector>

struct TActivationStep {
    std::string Label;   // "Setting the address", as the failure text names it
    std::string Command; // the netsh command line
    bool Started = false;
    int ExitCode = 0;
};

// Why `set` must not run, in the words the user is shown; "" when it may.
std::string ActivationRefusal(const TIPSetValues& set);

// The netsh runs of `set`, in order; each runs whatever the one before did.
std::vector<TActivationStep> ActivationSteps(const TIPSetValues& set);

// What the user is told after runs of which some failed (not started or a
// non-zero exit code); empty when every run ended with exit code 0.
std::string ActivationFailureText(const std::string& connection,
                                  const std::vector<TActivationStep>& steps);
