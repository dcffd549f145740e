#include "fileinfo/o_LinkLabel.h"

#include <shellapi.h>

namespace {
TShellExecuteA shellSource = nullptr;
const TFontSpec LinkFont{"MS Sans Serif", -11, false, true};
} // namespace

void SetShellExecuteSource(TShellExecuteA source) { shellSource = source; }

HINSTANCE CallShellExecute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                           LPCSTR directory, INT show) {
    return (shellSource ? shellSource : ShellExecuteA)(owner, verb, file, parameters, directory, show);
}

TqvLinkLabel::TqvLinkLabel(TComponent* owner, TControl* parent, const TControlArgs& args,
                           DWORD align)
    : TLabel(owner, parent,
             [&] {
                 TControlArgs a = args;
                 a.Font = &LinkFont; // its own font: underlined
                 return a;
             }(),
             align) {
    SetCursor(IDC_HAND);
}

void TqvLinkLabel::Click() {
    if (OnClick) OnClick(this);
    if (LinkType == ltURL)
        CallShellExecute(nullptr, "open", URL.c_str(), "", "", SW_SHOWMAXIMIZED);
    else
        CallShellExecute(nullptr, "open", "iexplore.exe", ("mailto:" + MailAddress).c_str(), "",
                         SW_HIDE);
}

void TqvLinkLabel::CommandNotify(WORD code) {
    if (code == STN_CLICKED) Click();
}

HBRUSH TqvLinkLabel::CtlColor(HDC dc) {
    SetTextColor(dc, RGB(0, 0, 255));
    SetBkMode(dc, TRANSPARENT);
    return GetSysColorBrush(COLOR_BTNFACE);
}
