#include "toolkit/Application.h"

#include "base/SysUtils.h"

#include <algorithm>

TApplication* Application = nullptr;

TApplication::TApplication() : TComponent(nullptr) {
    if (!Application) Application = this;
}

TApplication::~TApplication() {
    if (Application == this) Application = nullptr;
}

std::string TApplication::ErrorText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

const char* ExceptionKind(const std::exception& e) {
    if (auto* ex = dynamic_cast<const Exception*>(&e)) return ex->ClassName();
    if (dynamic_cast<const std::bad_alloc*>(&e)) return "EOutOfMemory";
    return "Exception";
}

void TApplication::ShowException(const std::exception& e) {
    if (MessageSink) return MessageSink(ErrorText(e.what()));
    ::MessageBoxA(GetActiveWindow(), ErrorText(e.what()).c_str(), Title.c_str(),
                  MB_OK | MB_ICONSTOP);
}

void TApplication::HandleCurrentException() {
    try {
        throw;
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        ShowException(Exception("Unknown failure"));
    }
}

int TApplication::ShowMessage(const std::string& text, UINT flags) {
    if (MessageSink) {
        MessageSink(text);
        switch (flags & MB_TYPEMASK) {
        case MB_OK:
            return IDOK;
        case MB_YESNO:
            return IDNO;
        default:
            return IDCANCEL;
        }
    }
    return ::MessageBoxA(GetActiveWindow(), text.c_str(), Title.c_str(), flags);
}

std::string TApplication::StartupErrorText(const std::exception& e) {
    std::string exe = ApplicationExeName();
    std::string module = exe.substr(ExtractFilePath(exe).size());
    return Format("Exception %s in module %s.\r\n", ExceptionKind(e), module.c_str()) +
           ErrorText(e.what());
}

void TApplication::ShowStartupError(const std::exception& e) {
    if (MessageSink) return MessageSink(StartupErrorText(e));
    ::MessageBoxA(nullptr, StartupErrorText(e).c_str(), "Application Error",
                  MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

void TApplication::AddMessageFilter(void* context, TMessageFilter filter) {
    FFilters.push_back({context, filter});
}

void TApplication::RemoveMessageFilter(void* context) {
    FFilters.erase(std::remove_if(FFilters.begin(), FFilters.end(),
                                  [&](const Filter& f) { return f.Context == context; }),
                   FFilters.end());
}

bool TApplication::HandleMessage(MSG& msg) {
    // Newest filter first: a modal dialog sees its keys before the main window.
    std::vector<Filter> filters = FFilters;
    for (auto it = filters.rbegin(); it != filters.rend(); ++it)
        if (it->Func(it->Context, msg)) return true;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            FTerminated = true;
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        HandleMessage(msg);
    }
}

int TApplication::Run() {
    MSG msg;
    for (;;) {
        BOOL r = GetMessageA(&msg, nullptr, 0, 0);
        if (r == 0 || r == -1) break;
        HandleMessage(msg);
    }
    FTerminated = true;
    return static_cast<int>(msg.wParam);
}

void TApplication::Terminate() {
    FTerminated = true;
    PostQuitMessage(0);
}
