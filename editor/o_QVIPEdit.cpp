#include "editor/o_QVIPEdit.h"

#include "base/SysUtils.h"

#include <algorithm>

TPartKeyAction FilterPartKey(char key, size_t textLength, size_t selectionLength) {
    if (key == '\b') return textLength ? TPartKeyAction::Pass : TPartKeyAction::PreviousPart;
    if (key == '\r') return TPartKeyAction::Commit;
    // A digit typed over a selection replaces it: what counts is the result.
    if (key >= '0' && key <= '9')
        return textLength - std::min(selectionLength, textLength) < 3 ? TPartKeyAction::Pass
                                                                      : TPartKeyAction::Discard;
    if (key == '.' || key == ' ')
        return textLength ? TPartKeyAction::NextPart : TPartKeyAction::Discard;
    // Ctrl+C, Ctrl+V, Ctrl+X and Ctrl+Z reach the edit's clipboard handling;
    // what a paste brings is filtered there.
    if (key == 0x03 || key == 0x16 || key == 0x18 || key == 0x1A) return TPartKeyAction::Pass;
    return TPartKeyAction::Discard;
}

std::string PastedPartText(const std::string& text, size_t selStart, size_t selEnd,
                           const std::string& pasted) {
    selEnd = std::min(selEnd, text.size());
    selStart = std::min(selStart, selEnd);
    const size_t kept = text.size() - (selEnd - selStart);
    std::string digits;
    for (char c : pasted)
        if (c >= '0' && c <= '9' && kept + digits.size() < 3) digits += c;
    return text.substr(0, selStart) + digits + text.substr(selEnd);
}

namespace {

// A part editor: the edit control, whose pastes go through the control.
class TPartEdit : public TEdit {
public:
    TPartEdit(TqvIPEdit* owner, const TControlArgs& args)
        : TEdit(nullptr, owner, args), FOwner(owner) {}

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        // The edit control pastes Shift+Insert and Ctrl+V itself, without
        // always sending WM_PASTE: all three come here.
        const bool keyDown = msg == WM_KEYDOWN;
        const bool shift = keyDown && Down(VK_SHIFT), control = keyDown && Down(VK_CONTROL);
        const bool shiftInsert = keyDown && wParam == VK_INSERT && shift && !control;
        if (msg == WM_PASTE || shiftInsert || (msg == WM_CHAR && wParam == 0x16)) {
            FOwner->PastePart(this, ClipboardText());
            return 0;
        }
        // Keys with a modifier keep their meaning inside the part.
        if (keyDown && !shift && !control && !Down(VK_MENU) && FOwner->PartNavigate(this, wParam))
            return 0;
        if (msg == WM_CHAR && wParam >= '0' && wParam <= '9') {
            const std::string before = Text();
            LRESULT result = TEdit::WndProc(msg, wParam, lParam);
            FOwner->PartTyped(this, before);
            return result;
        }
        return TEdit::WndProc(msg, wParam, lParam);
    }

private:
    static bool Down(int key) { return GetKeyState(key) & 0x8000; }
    static std::string ClipboardText() {
        std::string text;
        if (!OpenClipboard(nullptr)) return text;
        if (HANDLE data = GetClipboardData(CF_TEXT))
            if (const char* chars = static_cast<const char*>(GlobalLock(data))) {
                text = chars;
                GlobalUnlock(data);
            }
        CloseClipboard();
        return text;
    }
    TqvIPEdit* FOwner; // not owned: the control this part belongs to
};

} // namespace

TqvIPEdit::TqvIPEdit(TComponent* owner, TControl* parent, const TControlArgs& args)
    : TControl(owner, nullptr), FArgs(args) {
    FArgs.Width = 219;
    FArgs.Height = 21;
    FArgs.TabStop = false; // the part editors take the focus
    SetBounds(FArgs.Left, FArgs.Top, FArgs.Width, FArgs.Height);
    if (parent) SetParent(parent);
}

TqvIPEdit::~TqvIPEdit() {
    FPartEditors.clear();
}

void TqvIPEdit::SetParent(TControl* parent) {
    if (!parent || Handle()) return;
    AssignParent(parent);
    CreateWnd(CustomClass("TqvIPEdit"), WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, FArgs);
    CreateParts();
}

void TqvIPEdit::CreateParts() {
    if (FPartsCreated) return;
    AddPartEditor();
    AddDot();
    AddPartEditor();
    AddDot();
    AddPartEditor();
    AddDot();
    AddPartEditor();
    FPartsCreated = true;
    SetWidth(FNextLeft); // the sum of the children's widths
    if (!AccessibleName().empty()) SetAccessibleName(AccessibleName());
}

void TqvIPEdit::SetAccessibleName(const std::string& name) {
    TControl::SetAccessibleName(name);
    for (size_t i = 0; i < FPartEditors.size(); ++i)
        FPartEditors[i]->SetAccessibleName(Format("%s, part %d of %d", name.c_str(),
                                                  static_cast<int>(i + 1),
                                                  static_cast<int>(FPartEditors.size())));
}

void TqvIPEdit::AddPartEditor() {
    // IPEditorWidth is at 96 DPI; FNextLeft and Height() are pixels.
    auto editor =
        std::make_unique<TPartEdit>(this, TControlArgs{.Width = IPEditorWidth, .Height = 21});
    editor->SetBounds(FNextLeft, 0, editor->Width(), Height());
    FNextLeft += editor->Width();
    // Narrow margins, so three digits fit in the part whatever the font.
    SendMessageA(editor->Handle(), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(1, 1));
    editor->OnChange = [this](TComponent* sender) { PartChange(sender); };
    editor->OnKeyPress = [this](TComponent* sender, char& key) { PartKeyPress(sender, key); };
    editor->OnExit = [this](TComponent* sender) { PartExit(sender); };
    FPartEditors.push_back(std::move(editor));
    FPartEditors.back()->Tag = static_cast<int>(FPartEditors.size());
}

void TqvIPEdit::AddDot() {
    static const TFontSpec dotFont{"MS Sans Serif", -21, false, false}; // 16 points
    auto* dot =
        new TLabel(this, this, {.Width = 1, .Height = 21, .Caption = ".", .Font = &dotFont});
    FNextLeft += PlaceDot(dot, FNextLeft);
}

int TqvIPEdit::PlaceDot(TControl* dot, int left) const {
    // Auto-size: as wide as the dot in its font.
    HDC dc = GetDC(dot->Handle());
    HGDIOBJ old = SelectObject(dc, dot->Font());
    SIZE size{};
    GetTextExtentPoint32A(dc, ".", 1, &size);
    SelectObject(dc, old);
    ReleaseDC(dot->Handle(), dc);
    dot->SetBounds(left, 0, size.cx, Height());
    return size.cx;
}

void TqvIPEdit::DpiChanged(int) {
    // The parts side by side again, at the new sizes of the editors and dots.
    int left = 0;
    for (int i = 0; i < ControlCount(); ++i) {
        TControl* child = Controls(i);
        if (dynamic_cast<TEdit*>(child)) {
            child->SetBounds(left, 0, child->Width(), Height());
            left += child->Width();
        } else {
            left += PlaceDot(child, left);
        }
    }
    FNextLeft = left;
    SetWidth(left);
}

LRESULT TqvIPEdit::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CTLCOLORSTATIC) { // the dots are transparent on the parent's colour
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    return TControl::WndProc(msg, wParam, lParam);
}

void TqvIPEdit::SetEnabled(bool enabled) {
    TControl::SetEnabled(enabled);
    for (auto& editor : FPartEditors)
        editor->SetEnabled(enabled);
}

std::string TqvIPEdit::PartsText() const {
    std::string text;
    for (size_t i = 0; i < FPartEditors.size(); ++i)
        text += (i ? "." : "") + FPartEditors[i]->Text();
    return text;
}

void TqvIPEdit::Clear() {
    FUpdating = true;
    for (auto& editor : FPartEditors)
        editor->SetText("");
    FUpdating = false;
    FIP.clear();
    FParts = {0, 0, 0, 0};
    FPartsEdited = false;
}

void TqvIPEdit::SetIP(const std::string& text) {
    if (SameText(text, FIP)) return;
    if (Trim(text).empty()) return;
    FIP = text;
    TParsedIP parsed = ParseIPText(FIP);
    FDotCount = parsed.DotCount;
    FParts = parsed.Parts;
    FPartsEdited = false;
    if (parsed.Valid) {
        UpdatePartEditors();
        if (OnIPChange) OnIPChange(this);
        return;
    }
    if (!FPartEditors.empty() && IsWindowVisible(Handle())) FPartEditors.front()->SetFocus();
    throw EConvertError(Format("IP Address %s is invalid!", FIP.c_str()));
}

void TqvIPEdit::UpdatePartEditors() {
    FUpdating = true;
    struct Done {
        bool& Flag;
        ~Done() { Flag = false; }
    } done{FUpdating};
    for (size_t i = 0; i < FPartEditors.size(); ++i) {
        std::string value = IntToStr(FParts[i]);
        // An editor set to what it already shows reports no change.
        if (FPartEditors[i]->Text() != value) FPartEditors[i]->SetText(value);
    }
}

void TqvIPEdit::PartChange(TComponent* sender) {
    auto* editor = static_cast<TEdit*>(sender);
    if (!FUpdating) FPartsEdited = true;
    TNotifyEvent* events[] = {&OnIPFirstPartChange, &OnIPSecondPartChange, &OnIPThirdPartChange,
                              &OnIPFourthPartChange};
    if (editor->Tag >= 1 && editor->Tag <= 4 && *events[editor->Tag - 1])
        (*events[editor->Tag - 1])(this);
}

void TqvIPEdit::PartKeyPress(TComponent* sender, char& key) {
    auto* editor = static_cast<TEdit*>(sender);
    const auto [start, end] = editor->Selection();
    const int index = editor->Tag - 1;
    switch (FilterPartKey(key, editor->Text().size(), end - start)) {
    case TPartKeyAction::Pass:
        break;
    case TPartKeyAction::Discard:
        key = 0;
        break;
    case TPartKeyAction::Commit:
        Commit();
        break;
    case TPartKeyAction::NextPart:
        key = 0;
        if (index < 3) MoveToPart(index + 1, TPartCaret::SelectAll);
        break;
    case TPartKeyAction::PreviousPart:
        key = 0;
        if (index > 0) MoveToPart(index - 1, TPartCaret::End);
        break;
    }
}

void TqvIPEdit::PartTyped(TEdit* editor, const std::string& before) {
    const std::string text = editor->Text();
    const auto [start, end] = editor->Selection();
    const int index = editor->Tag - 1;
    if (text != before && text.size() == 3 && start == 3 && end == 3 && index >= 0 && index < 3)
        MoveToPart(index + 1, TPartCaret::SelectAll);
}

bool TqvIPEdit::PartNavigate(TEdit* editor, WPARAM key) {
    const auto [start, end] = editor->Selection();
    const int index = editor->Tag - 1;
    const size_t length = editor->Text().size();
    switch (key) {
    case VK_LEFT:
        if (index <= 0 || start != 0 || end != 0) return false;
        MoveToPart(index - 1, TPartCaret::End);
        return true;
    case VK_RIGHT:
        if (index >= 3 || start != length || end != length) return false;
        MoveToPart(index + 1, TPartCaret::Start);
        return true;
    case VK_HOME:
        MoveToPart(0, TPartCaret::Start);
        return true;
    case VK_END:
        MoveToPart(3, TPartCaret::End);
        return true;
    default:
        return false;
    }
}

void TqvIPEdit::MoveToPart(int index, TPartCaret caret) {
    TEdit* target = FPartEditors.at(static_cast<size_t>(index)).get();
    FMovingBetweenParts = true;
    struct Done {
        bool& Flag;
        ~Done() { Flag = false; }
    } done{FMovingBetweenParts};
    target->SetFocus();
    const size_t length = target->Text().size();
    switch (caret) {
    case TPartCaret::SelectAll:
        target->SelectAll();
        break;
    case TPartCaret::Start:
        target->SetSelection(0, 0);
        break;
    case TPartCaret::End:
        target->SetSelection(length, length);
        break;
    }
}

void TqvIPEdit::PartExit(TComponent* sender) {
    auto* editor = static_cast<TEdit*>(sender);
    if (editor->Tag == 4 && !FMovingBetweenParts && CommitsOnLeaving(editor->NextFocus())) Commit();
}

bool TqvIPEdit::CommitsOnLeaving(HWND next) const {
    // Only a move to another control of the same visible form checks the
    // address: closing the form or switching to another program does not.
    HWND form = GetAncestor(Handle(), GA_ROOT);
    if (!next || !form || GetAncestor(next, GA_ROOT) != form || !IsWindowVisible(form))
        return false;
    TControl* target = TControl::FromHandle(next);
    return !target || target->CausesValidation;
}

bool TqvIPEdit::PartsEmpty() const {
    for (const auto& editor : FPartEditors)
        if (!editor->Text().empty()) return false;
    return true;
}

void TqvIPEdit::Commit() {
    // Four empty parts are an empty field, not the address "...".
    if (PartsEmpty()) {
        Clear();
        return;
    }
    // Stored in decimal: "010" means ten here, where netsh would read eight.
    SetIP(NormalizedAddress(PartsText()));
}

void TqvIPEdit::PastePart(TEdit* editor, const std::string& pasted) {
    const std::string whole = Trim(pasted);
    TParsedIP parsed = ParseIPText(whole);
    if (parsed.Valid) {
        // A whole address is spread over the four parts.
        for (size_t i = 0; i < FPartEditors.size(); ++i)
            FPartEditors[i]->SetText(IntToStr(parsed.Parts[i]));
        FPartEditors.back()->SetFocus();
        FPartEditors.back()->SetSelection(3, 3);
        return;
    }
    const auto [start, end] = editor->Selection();
    const std::string text = editor->Text();
    const std::string result = PastedPartText(text, start, end, pasted);
    if (result == text) return;
    editor->SetText(result);
    const size_t caret = result.size() - (text.size() - std::min<size_t>(end, text.size()));
    editor->SetSelection(caret, caret);
}
