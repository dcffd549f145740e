#include "toolkit/StdCtrls.h"

#include "toolkit/Forms.h"

#include <algorithm>

TButton::TButton(TComponent* owner, TControl* parent, const TControlArgs& args)
    : TControl(owner, parent) {
    CreateWnd("BUTTON", BS_PUSHBUTTON, 0, args);
    if (args.Align == TAlign::alNone) FitText();
}

void TButton::FitText() {
    // The caption and the frame's margins fit; a wider button grows about its
    // centre.
    const std::string text = Caption();
    if (text.empty()) return;
    RECT r = BoundsFittingText(RECT{Left(), Top(), Left() + Width(), Top() + Height()},
                               TextWidth(text) + Scale(12), TTextAnchor::Center);
    if (r.right - r.left != Width()) SetBounds(r.left, r.top, r.right - r.left, Height());
}

void TButton::DpiChanged(int) {
    if (Align() == TAlign::alNone) FitText();
}

void TButton::Click() {
    if (OnClick) OnClick(this);
    if (ModalResult != TModalResult::mrNone)
        if (TForm* form = GetParentForm(this)) form->SetModalResult(ModalResult);
}

void TButton::CommandNotify(WORD code) {
    if (code == BN_CLICKED) Click();
}

TCheckBox::TCheckBox(TComponent* owner, TControl* parent, const TControlArgs& args)
    : TControl(owner, parent) {
    CreateWnd("BUTTON", BS_AUTOCHECKBOX, 0, args);
}

bool TCheckBox::Checked() const {
    return SendMessageA(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TCheckBox::SetChecked(bool checked) {
    if (Checked() == checked) return;
    SendMessageA(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    if (OnClick) OnClick(this);
}

void TCheckBox::CommandNotify(WORD code) {
    if (code == BN_CLICKED && OnClick) OnClick(this);
}

TGroupBox::TGroupBox(TComponent* owner, TControl* parent, const TControlArgs& args)
    : TControl(owner, parent) {
    CreateWnd("BUTTON", BS_GROUPBOX | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, WithoutTabStop(args));
}

RECT TGroupBox::ClientRectForChildren() const {
    // Below the caption line, two pixels in from the frame on every side.
    RECT r = TControl::ClientRectForChildren();
    HDC dc = GetDC(Handle());
    HGDIOBJ old = SelectObject(dc, Font() ? Font() : GetStockObject(DEFAULT_GUI_FONT));
    SIZE size{};
    GetTextExtentPoint32A(dc, "0", 1, &size);
    SelectObject(dc, old);
    ReleaseDC(Handle(), dc);
    r.top += size.cy;
    InflateRect(&r, -2, -2);
    return r;
}

LRESULT TGroupBox::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    // A group box is a container: it paints its own background so that the
    // controls inside it do not leave trails.
    if (msg == WM_ERASEBKGND) {
        RECT r;
        GetClientRect(Handle(), &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, GetSysColorBrush(COLOR_BTNFACE));
        return TRUE;
    }
    return TControl::WndProc(msg, wParam, lParam);
}

TPanel::TPanel(TComponent* owner, TControl* parent, const TControlArgs& args, TBevelCut outer,
               TBevelCut inner)
    : TCustomControl(owner, parent, WithoutTabStop(args), "TIPTavixPanel"),
      FOuter(outer), FInner(inner) {
    FCustomPaint = true;
}

RECT TPanel::ClientRectForChildren() const {
    RECT r = TControl::ClientRectForChildren();
    if (FOuter != TBevelCut::bvNone) InflateRect(&r, -1, -1);
    if (FInner != TBevelCut::bvNone) InflateRect(&r, -1, -1);
    return r;
}

void TPanel::Paint(HDC dc) {
    RECT r;
    GetClientRect(Handle(), &r);
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    UINT edge = 0;
    if (FOuter == TBevelCut::bvRaised) edge |= BDR_RAISEDOUTER;
    if (FOuter == TBevelCut::bvLowered) edge |= BDR_SUNKENOUTER;
    if (FInner == TBevelCut::bvRaised) edge |= BDR_RAISEDINNER;
    if (FInner == TBevelCut::bvLowered) edge |= BDR_SUNKENINNER;
    if (FOuter != TBevelCut::bvNone || FInner != TBevelCut::bvNone) DrawEdge(dc, &r, edge, BF_RECT);
    std::string text = Caption();
    if (!text.empty()) {
        HGDIOBJ old = SelectObject(dc, Font());
        SetBkMode(dc, TRANSPARENT);
        DrawTextA(dc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, old);
    }
}

TLabel::TLabel(TComponent* owner, TControl* parent, const TControlArgs& args, DWORD align)
    : TControl(owner, parent) {
    CreateWnd("STATIC", align | SS_NOTIFY | SS_NOPREFIX, 0, WithoutTabStop(args));
    if (args.Align == TAlign::alNone) FitText();
}

void TLabel::FitText() {
    // Never narrower than the text in the font in use: a right-aligned label
    // keeps its right edge where it was placed, a centred one its centre.
    const std::string text = Caption();
    if (text.empty()) return;
    const LONG style = GetWindowLongA(Handle(), GWL_STYLE) & SS_TYPEMASK;
    const TTextAnchor anchor = style == SS_RIGHT    ? TTextAnchor::Right
                               : style == SS_CENTER ? TTextAnchor::Center
                                                    : TTextAnchor::Left;
    RECT r = BoundsFittingText(RECT{Left(), Top(), Left() + Width(), Top() + Height()},
                               TextWidth(text), anchor);
    if (r.right - r.left != Width()) SetBounds(r.left, r.top, r.right - r.left, Height());
}

void TLabel::DpiChanged(int) {
    if (Align() == TAlign::alNone) FitText();
}

void TLabel::CommandNotify(WORD code) {
    if (code == STN_CLICKED && OnClick) OnClick(this);
}

TEdit::TEdit(TComponent* owner, TControl* parent, const TControlArgs& args, DWORD extraStyle,
             DWORD exStyle)
    : TControl(owner, parent) {
    // A multi-line edit wraps its lines instead of scrolling sideways.
    CreateWnd("EDIT", (extraStyle & ES_MULTILINE) ? extraStyle : ES_AUTOHSCROLL | extraStyle, exStyle,
              args);
}

void TEdit::CommandNotify(WORD code) {
    if (code == EN_CHANGE && OnChange) OnChange(this);
}

void TEdit::SelectAll() { SendMessageA(Handle(), EM_SETSEL, 0, -1); }

TEdit::TSelection TEdit::Selection() const {
    DWORD start = 0, end = 0;
    SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    return {start, end};
}

void TEdit::SetSelection(size_t start, size_t end) {
    SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
}

LRESULT TEdit::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CHAR && OnKeyPress) {
        char key = static_cast<char>(wParam);
        OnKeyPress(this, key);
        if (key == 0) return 0;
        wParam = static_cast<unsigned char>(key);
    } else if (msg == WM_KILLFOCUS && OnExit) {
        LRESULT result = TControl::WndProc(msg, wParam, lParam);
        FNextFocus = reinterpret_cast<HWND>(wParam);
        struct Forget {
            HWND& Wnd;
            ~Forget() { Wnd = nullptr; }
        } forget{FNextFocus};
        OnExit(this);
        return result;
    }
    return TControl::WndProc(msg, wParam, lParam);
}

TMemo::TMemo(TComponent* owner, TControl* parent, const TControlArgs& args, DWORD extraStyle,
             DWORD exStyle)
    : TEdit(owner, parent, args, ES_MULTILINE | ES_AUTOVSCROLL | extraStyle, exStyle) {}

void TMemo::SetLines(const std::vector<std::string>& lines) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\r\n" : "") + lines[i];
    SetText(text);
}

std::vector<std::string> TMemo::Lines() const {
    std::vector<std::string> lines;
    std::string text = Text();
    size_t start = 0;
    for (;;) {
        size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return lines;
}
