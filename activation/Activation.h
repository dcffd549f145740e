#pragma once
// What an activation decides before and after its netsh runs, apart from any
// window or process: whether a set may run, the command lines it runs, and
// what the user is told when a run fails.
#include "activation/ActivationCheck.h"
#include "activation/IPSetValues.h"

#include <string>
#include <vector>

struct TActivationStep {
    std::string Label;   // "Setting the address", as the failure text names it
    std::string Command; // the netsh command line
    bool Started = false;
    bool TimedOut = false; // stopped by the time limit
    bool NotRun = false;   // left out: a run before it was stopped by the time limit
    int ExitCode = 0;
    std::vector<std::string> Output; // the last lines netsh printed
};

// The netsh runs of one apply take this long at most, together: a run still
// going then is stopped and the runs after it are left out. 60 s, or less
// where the environment's IPTAVIX_NETSH_TIME_LIMIT_MS asks for less (a
// test's seam, so that a test of the limit need not wait out a minute).
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
// non-zero exit code, stopped by the time limit, left out), with what netsh
// printed under the failed step; empty when every run ended with exit code 0.
std::string ActivationFailureText(const std::string& connection,
                                  const std::vector<TActivationStep>& steps);

// How an apply ended, from its runs and the adapter's check after them. The
// adapter decides: a set it shows is applied whatever netsh's exit codes
// (netsh ends with 1 also for "DHCP is already enabled on this interface.").
// Ok false: failed or not in effect, Message says why; Ok true with a
// Message: applied, with a note for the user.
struct TApplyOutcome {
    bool Ok = true;
    std::string Message;
};
// A DHCP set on a connection without link that shows DHCP on is stored, so
// applied too.
TApplyOutcome DecideApply(const TIPSetValues& set, const std::vector<TActivationStep>& steps,
                          const TCheckResult& check);
