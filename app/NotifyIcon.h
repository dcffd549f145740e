#pragma once
// The program's icon in the notification area: added while the object lives,
// added again when the area is not ready yet (for a while) and when Explorer
// starts anew; its tooltip and balloons; what the user does to it.
#include "toolkit/Controls.h"

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>

// Same signature as Shell_NotifyIconW; tests replace the shell here.
using TShellNotifyIcon = BOOL(WINAPI*)(DWORD message, PNOTIFYICONDATAW data);
void SetShellNotifyIconSource(TShellNotifyIcon source); // nullptr: the real call

// A hidden window of its own receives the icon's messages.
class TNotifyIcon : public TControl {
public:
    // Adds the icon; where the area does not take it yet, tries again every
    // AddRetryMs for AddRetryLimitMs.
    TNotifyIcon(TComponent* owner, HICON icon, const std::string& tip);
    ~TNotifyIcon() override;

    static constexpr UINT AddRetryMs = 1000;
    static constexpr UINT AddRetryLimitMs = 30000;

    bool Shown() const { return FShown; }
    // UTF-8; cut by the caller to what the tooltip holds.
    void SetTip(const std::string& tip);
    // A balloon of the shell's, with the program's title.
    void ShowBalloon(const std::string& title, const std::string& text);

    // A right click, Shift+F10 or the menu key on the icon: where the menu goes.
    std::function<void(int x, int y)> OnContextMenu;
    // A left click, or Enter on the icon.
    std::function<void()> OnSelect;
    // The retries ended without the icon.
    std::function<void()> OnGiveUp;

    // One more attempt to add the icon (what the retry timer does); true
    // when it is shown.
    bool TryAdd();

    const char* ClassName() const override { return "TNotifyIcon"; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    NOTIFYICONDATAW Data(UINT flags) const;
    void StartRetries();
    HICON FIcon; // not owned: a shared resource icon
    std::wstring FTip;
    bool FShown = false;
    bool FVersion4 = false; // the shell took NOTIFYICON_VERSION_4
    DWORD FRetryStart = 0;
    UINT FTaskbarCreated;
};
