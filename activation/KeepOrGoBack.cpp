#include "activation/KeepOrGoBack.h"

#include "base/SysUtils.h"

const char* const KeepEventName = "IPTavixVer2.KeepNetworkSettings";

unsigned KeepWaitSeconds() {
    return ShortenedLimit("IPTAVIX_KEEP_SECONDS", 30);
}

unsigned SecondsLeft(DWORD limitMs, DWORD elapsedMs) {
    if (elapsedMs >= limitMs) return 0;
    return (limitMs - elapsedMs + 999) / 1000;
}

std::string CountdownText(unsigned secondsLeft) {
    return Format("Going back to the previous settings in %u %s.", secondsLeft,
                  secondsLeft == 1 ? "second" : "seconds");
}

std::string WentBackText(const TIPSetValues& set, TKeepAnswer answer, unsigned seconds,
                         const std::string& backFailure) {
    const std::string why =
        answer == TKeepAnswer::NoAnswer
            ? Format("Nobody kept the IP set \"%s\" within %u seconds", set.Name.c_str(), seconds)
            : Format("The IP set \"%s\" was not kept", set.Name.c_str());
    if (!backFailure.empty())
        return why + Format(", but the previous settings of \"%s\" could not be put back:\r\n%s",
                            set.Connection.c_str(), backFailure.c_str());
    return why + Format(": \"%s\" has its previous settings again.", set.Connection.c_str());
}

std::string NothingToGoBackToText(const TIPSetValues& set) {
    return Format("The IP set \"%s\" goes back unless it is kept, but the present settings of "
                  "\"%s\" could not be read, so there would be nothing to go back to. Nothing "
                  "was changed.",
                  set.Name.c_str(), set.Connection.c_str());
}

namespace {

// Every session's runs share the global name (a remote administrator's /keep
// reaches a run a scheduled task started); where the global namespace is
// refused, the session's own.
const char* const Namespaces[] = {"Global\\", "Local\\"};

} // namespace

TKeepSignal::TKeepSignal() {
    for (const char* space : Namespaces) {
        // Manual reset: one /keep answers every run waiting at that time.
        FEvent.Reset(
            CreateEventA(nullptr, TRUE, FALSE, (std::string(space) + KeepEventName).c_str()));
        if (FEvent) break;
    }
    // A /keep run before this one began waiting answered an earlier run.
    if (FEvent && GetLastError() == ERROR_ALREADY_EXISTS) ResetEvent(FEvent.Get());
}

bool TKeepSignal::Kept() const {
    return FEvent && WaitForSingleObject(FEvent.Get(), 0) == WAIT_OBJECT_0;
}

bool KeepWaitingRuns() {
    bool any = false;
    for (const char* space : Namespaces) {
        const TKernelHandle event(
            OpenEventA(EVENT_MODIFY_STATE, FALSE, (std::string(space) + KeepEventName).c_str()));
        if (event) any = SetEvent(event.Get()) || any;
    }
    return any;
}
