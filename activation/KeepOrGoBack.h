#pragma once
// Keep or go back, apart from any window: how long a set waits to be kept,
// the countdown's words, what each answer leads to, and the named event
// through which `IPTavixVer2.exe /keep` answers a run that waits.
#include "activation/IPSetValues.h"
#include "base/Handles.h"

#include <windows.h>

#include <string>

// 30 s, or less where the environment's IPTAVIX_KEEP_SECONDS asks for less
// (a test's seam, so that a test of the going back need not wait 30 s).
unsigned KeepWaitSeconds();

// The whole seconds left of `limitMs` after `elapsedMs`, rounded up, so the
// countdown shows 30 at once and 1 in its last second.
unsigned SecondsLeft(DWORD limitMs, DWORD elapsedMs);
// "Going back to the previous settings in 30 seconds."
std::string CountdownText(unsigned secondsLeft);

enum class TKeepAnswer {
    Keep,
    GoBack,   // the user asked for it (Go Back, the close button, Esc)
    NoAnswer, // the time ran out: the user may have lost the connection they worked over
};
inline bool GoesBack(TKeepAnswer answer) {
    return answer != TKeepAnswer::Keep;
}

// What the user is told on their return after going back, by `answer`,
// from the outcome of the apply that went back ("" when it failed:
// `backFailure` says why, and is told instead).
std::string WentBackText(const TIPSetValues& set, TKeepAnswer answer, unsigned seconds,
                         const std::string& backFailure);

// Why a set that is to be kept or gone back from is not applied: the
// configuration before could not be read, so there would be nothing to go back to.
std::string NothingToGoBackToText(const TIPSetValues& set);

// The event a run waiting to be kept waits on; `/keep` signals it.
extern const char* const KeepEventName;

// Made by a run before it applies a set that waits to be kept; signalled by
// `/keep` (KeepWaitingRuns) from any process of the machine.
class TKeepSignal {
public:
    TKeepSignal();
    bool Valid() const { return static_cast<bool>(FEvent); }
    HANDLE Handle() const { return FEvent.Get(); }
    // True once `/keep` ran (since this signal was made).
    bool Kept() const;

private:
    TKernelHandle FEvent;
};

// Signals every run waiting to be kept; false when none waits.
bool KeepWaitingRuns();
