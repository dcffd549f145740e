#include "activation/GatewayProbe.h"

#include "base/AddressText.h"
#include "base/Handles.h"
#include "base/SysUtils.h"

// clang-format off
#include <winternl.h> // PIO_APC_ROUTINE, which icmpapi.h needs first
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on

#include <vector>

namespace {

struct TIcmpTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { IcmpCloseHandle(h); }
};
using TIcmpHandle = TUniqueHandle<HANDLE, TIcmpTraits>;

// Errors that say the request never left, rather than that nobody answered.
bool NotSentError(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_HANDLE || error == ERROR_NOT_ENOUGH_MEMORY;
}

TEchoResult IcmpEcho(const std::string& address, DWORD timeoutMs, const TEchoWait& wait,
                     unsigned& roundTripMs) {
    uint32_t value = 0;
    if (!ParseAddress(address, value)) return TEchoResult::NotSent;
    char payload[32] = "IPTavix gateway check";
    // The reply, the request's data echoed, room for an ICMP error and, for
    // a request that completes later, the I/O status the system writes.
    // Declared before the handle: closing the handle cancels a request still
    // pending, so the buffer must outlive it.
    std::vector<unsigned char> reply(sizeof(ICMP_ECHO_REPLY) + sizeof payload + 8 + 64);
    const TKernelHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    const TIcmpHandle icmp(IcmpCreateFile());
    if (!icmp || !done) return TEchoResult::NotSent;
    // The address in network byte order: its first part in the lowest byte.
    const IPAddr destination =
        (value >> 24) | ((value >> 8) & 0xFF00) | ((value << 8) & 0xFF0000) | (value << 24);
    DWORD replies = IcmpSendEcho2(icmp.Get(), done.Get(), nullptr, nullptr, destination, payload,
                                  sizeof payload, nullptr, reply.data(),
                                  static_cast<DWORD>(reply.size()), timeoutMs);
    if (replies == 0) {
        const DWORD error = GetLastError();
        if (NotSentError(error)) return TEchoResult::NotSent;
        if (error != ERROR_IO_PENDING) return TEchoResult::NoReply;
        // A little past the request's own time-out, which ends it either way.
        wait(done.Get(), timeoutMs + 100);
        if (WaitForSingleObject(done.Get(), 0) != WAIT_OBJECT_0) return TEchoResult::NoReply;
        replies = IcmpParseReplies(reply.data(), static_cast<DWORD>(reply.size()));
    }
    if (replies == 0) return TEchoResult::NoReply;
    const auto* echo = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.data());
    if (echo->Status != IP_SUCCESS || echo->Address != destination) return TEchoResult::NoReply;
    roundTripMs = echo->RoundTripTime;
    return TEchoResult::Reply;
}

TEchoRequest echoRequest = nullptr;

} // namespace

void SetEchoRequest(TEchoRequest request) {
    echoRequest = request;
}

bool HasGatewayToProbe(const TIPSetValues& set) {
    return !set.Dhcp && IsDottedQuad(NormalizedAddress(set.Gateway));
}

TGatewayAnswer ProbeGateway(const TIPSetValues& set, const TEchoWait& wait) {
    TGatewayAnswer answer;
    if (!HasGatewayToProbe(set)) return answer;
    const std::string gateway = NormalizedAddress(set.Gateway);
    const TEchoRequest request = echoRequest ? echoRequest : IcmpEcho;
    bool sent = false;
    for (int i = 0; i < EchoCount; ++i) {
        const DWORD start = GetTickCount();
        const TEchoResult result = request(gateway, EchoIntervalMs, wait, answer.RoundTripMs);
        if (result == TEchoResult::Reply) {
            answer.Answered = true;
            return answer;
        }
        sent = sent || result == TEchoResult::NoReply;
        // A request refused at once (no route yet) still waits its second,
        // so the three cover three seconds.
        const DWORD spent = GetTickCount() - start;
        if (i + 1 < EchoCount && spent < EchoIntervalMs) wait(nullptr, EchoIntervalMs - spent);
    }
    answer.Asked = sent;
    return answer;
}

std::string GatewayAnswersText(const TIPSetValues& set, unsigned roundTripMs) {
    const std::string time = roundTripMs == 0 ? "<1 ms" : Format("%u ms", roundTripMs);
    return Format("Gateway %s answers (%s)", NormalizedAddress(set.Gateway).c_str(), time.c_str());
}

std::string GatewaySilentText(const TIPSetValues& set) {
    return Format("The IP set \"%s\" is in effect on \"%s\", but its gateway %s does not answer.",
                  set.Name.c_str(), set.Connection.c_str(), NormalizedAddress(set.Gateway).c_str());
}
