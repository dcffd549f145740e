#pragma once
// A control for one IPv4 address: four small part editors with a large dot
// between neighbours. The address is checked when it is assigned to IP.
#include "base/AddressText.h"
#include "toolkit/StdCtrls.h"

#include <array>
#include <memory>
#include <vector>

// What the part editors do with a typed character: take it, drop it, commit
// the address (Enter), or drop it and move to the next part ("." or Space in
// a part that holds digits) or the previous one (Backspace in an empty part).
enum class TPartKeyAction { Pass, Discard, Commit, NextPart, PreviousPart };
TPartKeyAction FilterPartKey(char key, size_t textLength, size_t selectionLength);
// Where the caret goes in a part that the keyboard moves into.
enum class TPartCaret { SelectAll, Start, End };
// A part's text after pasting `pasted` over the selection [selStart, selEnd):
// only what typing could have produced, digits up to three in the part.
std::string PastedPartText(const std::string& text, size_t selStart, size_t selEnd,
                           const std::string& pasted);

class TqvIPEdit : public TControl {
public:
    // Without a parent nothing is built; the parts are built on the first
    // parent (SetParent).
    TqvIPEdit(TComponent* owner, TControl* parent, const TControlArgs& args);
    ~TqvIPEdit() override;

    void SetParent(TControl* parent);

    const std::string& IP() const { return FIP; }
    // Checks and spreads an address; raises "IP Address %s is invalid!".
    void SetIP(const std::string& text);
    int IPFirstPart() const { return FParts[0]; }
    int IPSecondPart() const { return FParts[1]; }
    int IPThirdPart() const { return FParts[2]; }
    int IPFourthPart() const { return FParts[3]; }
    int IPEditorWidth = 30;

    TNotifyEvent OnIPChange;
    TNotifyEvent OnIPFirstPartChange, OnIPSecondPartChange, OnIPThirdPartChange,
        OnIPFourthPartChange;

    void SetEnabled(bool enabled) override;
    // The four parts' texts joined by dots, as Enter commits them.
    std::string PartsText() const;
    // True when the user typed into a part since the last assignment.
    bool PartsEdited() const { return FPartsEdited; }
    // Empties the parts and the stored text (an assignment of "" cannot).
    void Clear();
    // Enter, or leaving the fourth part: the parts' text is assigned to IP;
    // four empty parts empty the field instead.
    void Commit();
    // True when all four parts are empty: the field holds no address.
    bool PartsEmpty() const;
    // What a paste into a part brings: a whole address fills the four parts,
    // anything else only what typing could have produced.
    void PastePart(TEdit* editor, const std::string& pasted);
    TEdit* PartEditor(int index) const { return FPartEditors.at(static_cast<size_t>(index)).get(); }
    // The keys that move between parts: Left at the start, Right at the end,
    // Home and End. True when the key moved the focus.
    bool PartNavigate(TEdit* editor, WPARAM key);
    // After a typed character went in: a third digit at the end of the part
    // moves on to the next part.
    void PartTyped(TEdit* editor, const std::string& before);
    // What assistive technology reads for the field; each part is named
    // "<name>, part N of 4".
    void SetAccessibleName(const std::string& name) override;

    const char* ClassName() const override { return "TqvIPEdit"; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void DpiChanged(int oldDpi) override;

private:
    void CreateParts();
    void AddPartEditor();
    void AddDot();
    // Sizes a dot to its text at `left`; its width.
    int PlaceDot(TControl* dot, int left) const;
    void UpdatePartEditors();
    void PartChange(TComponent* sender);
    void PartKeyPress(TComponent* sender, char& key);
    void PartExit(TComponent* sender);
    bool CommitsOnLeaving(HWND next) const;
    // Moves the focus to part `index` (0 to 3) without committing on the way:
    // the keyboard moving between parts does not leave the field.
    void MoveToPart(int index, TPartCaret caret);

    TControlArgs FArgs;
    std::string FIP;
    int FNextLeft = 0;
    bool FPartsCreated = false;
    bool FUpdating = false;
    bool FPartsEdited = false;
    bool FMovingBetweenParts = false;
    std::array<int, 3> FDotPositions{0, 0, 0};
    std::vector<std::unique_ptr<TEdit>> FPartEditors; // owned by the list
    int FDotCount = 0;
    std::array<int, 4> FParts{0, 0, 0, 0};
};
