#pragma once
// Buttons, group boxes, panels, labels, edits and check boxes.
#include "toolkit/Controls.h"

enum class TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

class TButton : public TControl {
public:
    TButton(TComponent* owner, TControl* parent, const TControlArgs& args);
    // A click also closes a modal form with this result when not mrNone.
    TModalResult ModalResult = TModalResult::mrNone;
    void Click();
    const char* ClassName() const override { return "TButton"; }

protected:
    void CommandNotify(WORD code) override;
    void DpiChanged(int oldDpi) override;

private:
    void FitText();
};

class TCheckBox : public TControl {
public:
    TCheckBox(TComponent* owner, TControl* parent, const TControlArgs& args);
    bool Checked() const;
    void SetChecked(bool checked); // fires OnClick like a user's click
    const char* ClassName() const override { return "TCheckBox"; }

protected:
    void CommandNotify(WORD code) override;
};

class TGroupBox : public TControl {
public:
    TGroupBox(TComponent* owner, TControl* parent, const TControlArgs& args);
    RECT ClientRectForChildren() const override;
    const char* ClassName() const override { return "TGroupBox"; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};

enum class TBevelCut { bvNone, bvLowered, bvRaised };

class TPanel : public TCustomControl {
public:
    TPanel(TComponent* owner, TControl* parent, const TControlArgs& args,
           TBevelCut outer = TBevelCut::bvRaised, TBevelCut inner = TBevelCut::bvNone);
    RECT ClientRectForChildren() const override;
    bool ParentColor = false;
    const char* ClassName() const override { return "TPanel"; }

protected:
    void Paint(HDC dc) override;

private:
    TBevelCut FOuter, FInner;
};

class TLabel : public TControl {
public:
    TLabel(TComponent* owner, TControl* parent, const TControlArgs& args, DWORD align = SS_LEFT);
    const char* ClassName() const override { return "TLabel"; }

protected:
    void CommandNotify(WORD code) override;
    void DpiChanged(int oldDpi) override;

private:
    void FitText();
};

class TEdit : public TControl {
public:
    // `extraStyle` adds ES_* styles (ES_MULTILINE, ES_READONLY, ...).
    TEdit(TComponent* owner, TControl* parent, const TControlArgs& args, DWORD extraStyle = 0,
          DWORD exStyle = WS_EX_CLIENTEDGE);
    std::string Text() const { return Caption(); }
    void SetText(const std::string& text) { SetCaption(text); }
    void SelectAll();
    // The selected characters [Start, End); the caret alone when they meet.
    struct TSelection {
        size_t Start = 0, End = 0;
    };
    TSelection Selection() const;
    void SetSelection(size_t start, size_t end);
    TNotifyEvent OnChange;
    // Every typed character, before the edit takes it; set it to 0 to discard it.
    std::function<void(TComponent* sender, char& key)> OnKeyPress;
    TNotifyEvent OnExit; // the edit lost the focus
    // While OnExit runs: the window taking the focus (null: none of this
    // program's, or the window is going away).
    HWND NextFocus() const { return FNextFocus; }
    int Tag = 0;
    const char* ClassName() const override { return "TEdit"; }

protected:
    void CommandNotify(WORD code) override;
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    HWND FNextFocus = nullptr;
};

// A multi-line edit that holds lines.
class TMemo : public TEdit {
public:
    TMemo(TComponent* owner, TControl* parent, const TControlArgs& args, DWORD extraStyle = 0,
          DWORD exStyle = WS_EX_CLIENTEDGE);
    void SetLines(const std::vector<std::string>& lines);
    std::vector<std::string> Lines() const;
    const char* ClassName() const override { return "TMemo"; }
};
