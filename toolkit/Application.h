#pragma once
// The application object: its title, its help file and the one place where
// failures are shown to the user.
#include "base/Classes.h"

#include <windows.h>

#include <exception>
#include <functional>
#include <string>

class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    std::string Title;
    std::string HelpFile;
    // Set on the command line, where nobody may be there to answer a box:
    // every message and error goes here instead, and a question is answered
    // with its safe button (Cancel, No).
    std::function<void(const std::string& text)> MessageSink;

    // The message as the error box shows it: a full stop is appended when the
    // last character sorts after '.'.
    static std::string ErrorText(const std::string& message);
    // The error box of the event loop: owner the active window, caption Title.
    void ShowException(const std::exception& e);
    // Shows the exception being handled; call it from inside a catch block.
    void HandleCurrentException();
    // A plain message box with Title as caption and one OK button.
    int ShowMessage(const std::string& text, UINT flags = MB_OK);
    // The text of the "Application Error" box shown when start-up fails.
    static std::string StartupErrorText(const std::exception& e);
    void ShowStartupError(const std::exception& e);

    // Message loop helpers.
    void ProcessMessages();
    int Run(); // until WM_QUIT; returns its exit code
    void Terminate();
    bool Terminated() const { return FTerminated; }

    // Filters a message before dispatch (accelerators, dialog keys); forms
    // register themselves here while they are alive.
    using TMessageFilter = bool (*)(void* context, MSG& msg);
    void AddMessageFilter(void* context, TMessageFilter filter);
    void RemoveMessageFilter(void* context);

    const char* ClassName() const override { return "TApplication"; }

private:
    bool HandleMessage(MSG& msg);
    bool FTerminated = false;
    struct Filter {
        void* Context;
        TMessageFilter Func;
    };
    std::vector<Filter> FFilters;
};

// The one application object, alive for the whole program.
extern TApplication* Application;

const char* ExceptionKind(const std::exception& e);
