#pragma once
// Whether a set's gateway answers once the set is in effect: ICMP echo
// requests through the IP Helper, and what the user is told either way.
#include "activation/IPSetValues.h"

#include <windows.h>

#include <functional>
#include <string>

// Passes the time until the handle is signalled or the milliseconds are over
// (a window serves its messages meanwhile); a null handle: the time alone.
using TEchoWait = std::function<void(HANDLE object, DWORD milliseconds)>;

enum class TEchoResult {
    Reply,   // with its round trip
    NoReply, // timed out, or the host or network is unreachable
    NotSent, // the system would not send it (no ICMP socket for this user under Wine)
};
// One echo request to `address` (a dotted quad) that ends within
// `timeoutMs`. Same contract as the IP Helper's answer; tests replace it here.
using TEchoRequest = TEchoResult (*)(const std::string& address, DWORD timeoutMs,
                                     const TEchoWait& wait, unsigned& roundTripMs);
void SetEchoRequest(TEchoRequest request); // nullptr: IcmpSendEcho2

struct TGatewayAnswer {
    bool Answered = false;
    unsigned RoundTripMs = 0;
    bool Asked = true; // false: no request could be sent, so nothing is known
};

// Echo requests are sent this often, this many times, until one is answered.
constexpr DWORD EchoIntervalMs = 1000;
constexpr int EchoCount = 3;

// True for a static set with a gateway: the one kind there is to ask.
bool HasGatewayToProbe(const TIPSetValues& set);
// Up to three echo requests to the set's gateway within three seconds,
// stopping at the first reply. Where none could be sent the answer is not
// known, and the user is not told the gateway is silent.
TGatewayAnswer ProbeGateway(const TIPSetValues& set, const TEchoWait& wait);

// "Gateway 10.0.0.1 answers (2 ms)", for the status bar.
std::string GatewayAnswersText(const TIPSetValues& set, unsigned roundTripMs);
// The warning when it does not.
std::string GatewaySilentText(const TIPSetValues& set);
