#pragma once
// Top-level windows: show, close, the modal loop, menus and their keyboard
// shortcuts, and keyboard navigation between controls.
#include "toolkit/Controls.h"
#include "toolkit/StdCtrls.h"

class TMainMenu;
class TMenu;

enum class TFormBorder { bsSizeable, bsDialog, bsSingle, bsNone };
enum class TFormPosition { poDesigned, poScreenCenter };

struct TFormArgs {
    std::string Name;
    std::string Caption;
    int Width = 400, Height = 300; // outer size
    // When set, the client area's size, which then decides the outer size.
    int ClientWidth = 0, ClientHeight = 0;
    bool HasMenu = false; // a menu bar takes room from the outer size
    TFormPosition Position = TFormPosition::poScreenCenter;
    TFormBorder Border = TFormBorder::bsSizeable;
    bool SystemMenu = true, Minimize = true, Maximize = true;
    bool StayOnTop = false;
    TFontSpec Font;
};

class TForm : public TControl {
public:
    TForm(TComponent* owner, const TFormArgs& args);
    ~TForm() override;

    void Show();
    void Hide();
    // Closes the form: a modal one ends its loop with mrCancel, the main form
    // ends the application's loop, any other is hidden.
    void Close();
    TModalResult ShowModal();
    // Wakes the modal loop too: a result set while it waits in GetMessage
    // (a message sent from another thread or program) would wait for input.
    void SetModalResult(TModalResult result) {
        FModalResult = result;
        if (FModal && Handle()) PostMessageA(Handle(), WM_NULL, 0, 0);
    }
    TModalResult ModalResult() const { return FModalResult; }
    bool IsModal() const { return FModal; }

    void SetMenu(TMainMenu* menu);
    TMainMenu* Menu() const { return FMenu; }
    // Rebuilds the keyboard shortcuts from every menu the form owns.
    void UpdateShortCuts();

    // Called before closing; set `canClose` false to keep the form open.
    std::function<void(TComponent* sender, bool& canClose)> OnCloseQuery;
    std::function<void(TComponent* sender)> OnShow;
    std::function<void(TComponent* sender)> OnFirstPaint;
    // Pressed by Enter (unless another button has the focus) and by Esc;
    // a form without them leaves both keys to its controls.
    TButton* DefaultButton = nullptr; // not owned: a control of the form
    TButton* CancelButton = nullptr;  // not owned: a control of the form

    const char* ClassName() const override { return "TForm"; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    bool MenuCommand(UINT id) override;
    TMenu* FindMenuOf(UINT command) const;

private:
    static bool FilterMessage(void* context, MSG& msg);
    TMainMenu* FMenu = nullptr; // not owned: a component of the form
    TAccelHandle FAccelerators;
    TModalResult FModalResult = TModalResult::mrNone;
    bool FModal = false;
    bool FPainted = false;
    TFormPosition FPosition;
};

// The form a control sits on, or null.
TForm* GetParentForm(TControl* control);
// Set by start-up: the form whose closing ends the program.
extern TForm* MainForm;
