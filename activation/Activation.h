#pragma once
// What an activation decides before and after its netsh runs, apart from any
// window or process: whether a set may run, the command lines it runs, and
// what the user is told when a run fails.
#include "activation/IPSetValues.h"

#include <string>
#include <vector>

struct TActivationStep {
    std::string Label;   // "Setting the address", as the failure text names it
    std::string Command; // the netsh command line
    bool Started = false;
    bool TimedOut = false; // stopped by the time limit
    int ExitCode = 0;
    std::vector<std::string> Output; // the last lines netsh printed
};

// netsh runs this long at most before it is stopped: 60 s, or less where the
// environment's IPTAVIX_NETSH_TIME_LIMIT_MS asks for less (a test's seam, so
// that a test of the limit need not wait out a minute).
unsigned NetshTimeLimitMs();

// Why the addresses of a static set cannot work, naming the field, in words
// the editor and the activation both show; "" when they can. `field`, when
// given, receives the field's name ("IP address", "subnet mask", "gateway",
// "DNS server", "second DNS server").
std::string SetAddressRefusal(const TIPSetValues& set, std::string* field = nullptr);
// True for a static set whose gateway lies outside its address's subnet:
// allowed, but the editor asks first.
bool GatewayOutsideSubnet(const TIPSetValues& set);

// Why `set` must not run, in the words the user is shown; "" when it may.
std::string ActivationRefusal(const TIPSetValues& set);

// The netsh runs of `set`, in order; each runs whatever the one before did.
// The addresses are written in decimal, whatever zeros the stored text has.
std::vector<TActivationStep> ActivationSteps(const TIPSetValues& set);

// What the user is told after runs of which some failed (not started, a
// non-zero exit code, stopped by the time limit), with what netsh printed
// under the failed step; empty when every run ended with exit code 0.
std::string ActivationFailureText(const std::string& connection,
                                  const std::vector<TActivationStep>& steps);
