#pragma once
// The question after a set that goes back unless kept is in effect: "Keep
// these network settings?", counting down, with Keep and Go Back. The time
// running out is an answer of its own: the user may have lost the connection
// they worked over.
#include "activation/IPSetValues.h"
#include "activation/KeepOrGoBack.h"
#include "toolkit/Forms.h"

class TFrmKeepSettings : public TForm {
public:
    // `note` (the gateway's answer) is shown under the set; `keep`, when
    // given, is a /keep run's answer too.
    TFrmKeepSettings(TComponent* owner, const TIPSetValues& set, const std::string& note,
                     unsigned seconds, const TKeepSignal* keep);

    TMemo* memText;
    TLabel* lblCountdown;
    TButton* btnKeep;
    TButton* btnGoBack;

    // Shows the dialog until an answer or the end of the time.
    TKeepAnswer Ask();

    const char* ClassName() const override { return "TFrmKeepSettings"; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void Tick();
    const TKeepSignal* FKeep; // not owned: the caller's, alive while the dialog asks
    DWORD FLimitMs;
    DWORD FStart = 0;
    unsigned FShown = 0; // the seconds the countdown shows
    TKeepAnswer FAnswer = TKeepAnswer::GoBack;
};
