#include "editor/o_QVIPEdit.h"

#include "toolkit/SysUtils.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

TPartKeyAction FilterPartKey(char key, size_t textLength, size_t selectionLength) {
    (void)selectionLength; // a full part takes no digit, even over a selection
    if (key == '\b') return TPartKeyAction::Pass;
    if (key == '\r') return TPartKeyAction::Commit;
    if (key >= '0' && key <= '9' && textLength < 3) return TPartKeyAction::Pass;
    return TPartKeyAction::Discard;
}

namespace {

// A part converts as a whole: leading blanks, an optional sign, decimal
// digits and nothing else, within 32 bits. Anything else counts as 256.
int PartValue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i == text.size()) return 256;
    for (size_t k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9') return 256;
    errno = 0;
    long long value = std::strtoll(text.c_str() + start, nullptr, 10);
    if (errno == ERANGE || value > INT_MAX || value < INT_MIN) return 256;
    return static_cast<int>(value);
}

} // namespace

TParsedIP ParseIPText(const std::string& text) {
    TParsedIP result;
    std::array<size_t, 3> dots{0, 0, 0};
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '.') {
            if (result.DotCount < 3) dots[static_cast<size_t>(result.DotCount)] = i;
            ++result.DotCount;
        }
    if (result.DotCount != 3) {
        result.Parts = {256, 256, 256, 256};
        return result;
    }
    result.Parts[0] = PartValue(text.substr(0, dots[0]));
    result.Parts[1] = PartValue(text.substr(dots[0] + 1, dots[1] - dots[0] - 1));
    result.Parts[2] = PartValue(text.substr(dots[1] + 1, dots[2] - dots[1] - 1));
    result.Parts[3] = PartValue(text.substr(dots[2] + 1));
    result.Valid = true;
    // A negative part is refused like one above 255.
    for (int part : result.Parts)
        if (part > 255 || part < 0) result.Valid = false;
    return result;
}

TqvIPEdit::TqvIPEdit(TComponent* owner, TControl* parent, const TControlArgs& args)
    : TControl(owner, nullptr), FArgs(args) {
    FArgs.Width = 219;
    FArgs.Height = 21;
    FArgs.TabStop = false; // the part editors take the focus
    SetBounds(FArgs.Left, FArgs.Top, FArgs.Width, FArgs.Height);
    if (parent) SetParent(parent);
}

TqvIPEdit::~TqvIPEdit() { FPartEditors.clear(); }

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
}

void TqvIPEdit::AddPartEditor() {
    auto editor = std::make_unique<TEdit>(nullptr, this,
                                          TControlArgs{.Left = FNextLeft, .Width = IPEditorWidth,
                                                       .Height = Height()});
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
    auto* dot = new TLabel(this, this, {.Left = FNextLeft, .Width = 1, .Height = Height(),
                                        .Caption = ".", .Font = &dotFont});
    // Auto-size: as wide as the dot in its font.
    HDC dc = GetDC(dot->Handle());
    HGDIOBJ old = SelectObject(dc, dot->Font());
    SIZE size{};
    GetTextExtentPoint32A(dc, ".", 1, &size);
    SelectObject(dc, old);
    ReleaseDC(dot->Handle(), dc);
    dot->SetBounds(FNextLeft, 0, size.cx, Height());
    FNextLeft += size.cx;
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
    for (auto& editor : FPartEditors) editor->SetEnabled(enabled);
}

std::string TqvIPEdit::PartsText() const {
    std::string text;
    for (size_t i = 0; i < FPartEditors.size(); ++i)
        text += (i ? "." : "") + FPartEditors[i]->Text();
    return text;
}

void TqvIPEdit::Clear() {
    FUpdating = true;
    for (auto& editor : FPartEditors) editor->SetText("");
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
    DWORD start = 0, end = 0;
    SendMessageA(editor->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    switch (FilterPartKey(key, editor->Text().size(), end - start)) {
    case TPartKeyAction::Pass:
        break;
    case TPartKeyAction::Discard:
        key = 0;
        break;
    case TPartKeyAction::Commit:
        SetIP(PartsText());
        break;
    }
}

void TqvIPEdit::PartExit(TComponent* sender) {
    if (static_cast<TEdit*>(sender)->Tag == 4) SetIP(PartsText());
}
