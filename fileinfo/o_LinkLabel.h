#pragma once
// A label that looks like a hyperlink and opens a web or mail address.
#include "toolkit/StdCtrls.h"

#include <windows.h>

enum TqvLinkType : BYTE { ltURL = 0, ltMailAddress = 1 };

// Same signature as ShellExecuteA; tests replace the shell here.
using TShellExecuteA = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
void SetShellExecuteSource(TShellExecuteA source); // nullptr: the real shell
HINSTANCE CallShellExecute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                           LPCSTR directory, INT show);

class TqvLinkLabel : public TLabel {
public:
    TqvLinkLabel(TComponent* owner, TControl* parent, const TControlArgs& args,
                 DWORD align = SS_LEFT);
    std::string URL;
    std::string MailAddress;
    TqvLinkType LinkType = ltURL;
    // The click event first, then the link is opened.
    void Click();
    const char* ClassName() const override { return "TqvLinkLabel"; }

protected:
    void CommandNotify(WORD code) override;
    HBRUSH CtlColor(HDC dc) override;
};
