#include "ipsets/f_KeepSettings.h"

#include "base/SysUtils.h"

namespace {

TFormArgs KeepArgs() {
    TFormArgs a;
    a.Name = "FrmKeepSettings";
    a.Caption = "Keep these network settings?";
    a.ClientWidth = 400;
    a.ClientHeight = 150;
    a.Border = TFormBorder::bsDialog;
    a.Minimize = false;
    a.Maximize = false;
    a.StayOnTop = true; // over whatever the user went on with meanwhile
    return a;
}

// The countdown's timer, and how often it looks at the clock.
constexpr UINT_PTR CountdownTimer = 1;
constexpr UINT CountdownTickMs = 200;

} // namespace

TFrmKeepSettings::TFrmKeepSettings(TComponent* owner, const TIPSetValues& set,
                                   const std::string& note, unsigned seconds,
                                   const TKeepSignal* keep)
    : TForm(owner, KeepArgs()), FKeep(keep), FLimitMs(seconds * 1000) {
    memText = new TMemo(
        this, this,
        {.Left = 12, .Top = 10, .Width = 376, .Height = 62, .TabStop = false, .Name = "memText"},
        ES_READONLY | ES_MULTILINE, 0);
    std::vector<std::string> lines{Format("The IP set \"%s\" is in effect on \"%s\".",
                                          set.Name.c_str(), set.Connection.c_str())};
    if (!note.empty()) lines.push_back(note);
    memText->SetLines(lines);
    lblCountdown = new TLabel(this, this,
                              {.Left = 12,
                               .Top = 80,
                               .Width = 376,
                               .Height = 16,
                               .Caption = CountdownText(seconds),
                               .Name = "lblCountdown"});
    FShown = seconds;
    btnKeep = new TButton(
        this, this,
        {.Left = 212, .Top = 114, .Width = 84, .Height = 25, .Caption = "Keep", .Name = "btnKeep"});
    btnKeep->ModalResult = TModalResult::mrYes;
    btnGoBack = new TButton(this, this,
                            {.Left = 304,
                             .Top = 114,
                             .Width = 84,
                             .Height = 25,
                             .Caption = "Go Back",
                             .Name = "btnGoBack"});
    btnGoBack->ModalResult = TModalResult::mrNo;
    DefaultButton = btnKeep;
    CancelButton = btnGoBack;
    OnShow = [this](TComponent*) { btnKeep->SetFocus(); };
}

TKeepAnswer TFrmKeepSettings::Ask() {
    FStart = GetTickCount();
    FAnswer = TKeepAnswer::GoBack; // the close button and Esc go back
    SetTimer(Handle(), CountdownTimer, CountdownTickMs, nullptr);
    const TModalResult result = ShowModal();
    KillTimer(Handle(), CountdownTimer);
    if (result == TModalResult::mrYes) return TKeepAnswer::Keep;
    return FAnswer;
}

void TFrmKeepSettings::Tick() {
    if (!IsModal() || ModalResult() != TModalResult::mrNone) return;
    if (FKeep && FKeep->Kept()) {
        SetModalResult(TModalResult::mrYes);
        return;
    }
    const unsigned left = SecondsLeft(FLimitMs, GetTickCount() - FStart);
    if (left == 0) {
        FAnswer = TKeepAnswer::NoAnswer;
        SetModalResult(TModalResult::mrCancel);
        return;
    }
    if (left != FShown) {
        FShown = left;
        lblCountdown->SetCaption(CountdownText(left));
    }
}

LRESULT TFrmKeepSettings::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER && wParam == CountdownTimer) {
        Tick();
        return 0;
    }
    return TForm::WndProc(msg, wParam, lParam);
}
