#include "app/LogonTask.h"

#include "base/ComScope.h"
#include "base/Exceptions.h"
#include "base/SysUtils.h"

#include <windows.h>
#include <oleauto.h>
#include <taskschd.h>

#include <utility>

// The logon trigger's interface, which MinGW-w64's taskschd.h leaves out.
MIDL_INTERFACE("72dade38-fae4-4b3e-baf4-5d009af02b1c")
ILogonTrigger : public ITrigger {
public:
    virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR * delay) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_UserId(BSTR * user) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_UserId(BSTR user) = 0;
};
__CRT_UUID_DECL(ILogonTrigger, 0x72dade38, 0xfae4, 0x4b3e, 0xba, 0xf4, 0x5d, 0x00, 0x9a, 0xf0, 0x2b,
                0x1c)

namespace {

// One COM interface pointer, released once.
template <typename T> class TComPtr {
public:
    TComPtr() = default;
    ~TComPtr() { Reset(); }
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    T* operator->() const { return FPtr; }
    T* Get() const { return FPtr; }
    explicit operator bool() const { return FPtr != nullptr; }
    // For an out parameter: what was held is released first.
    T** Put() {
        Reset();
        return &FPtr;
    }
    void Reset() {
        if (FPtr) FPtr->Release();
        FPtr = nullptr;
    }
    template <typename U> HRESULT As(TComPtr<U>& other) const {
        return FPtr->QueryInterface(__uuidof(U), reinterpret_cast<void**>(other.Put()));
    }

private:
    T* FPtr = nullptr;
};

class TBstr {
public:
    explicit TBstr(const std::wstring& text)
        : FText(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    TBstr() = default;
    ~TBstr() { SysFreeString(FText); }
    TBstr(const TBstr&) = delete;
    TBstr& operator=(const TBstr&) = delete;
    BSTR Get() const { return FText; }
    BSTR* Put() {
        SysFreeString(FText);
        FText = nullptr;
        return &FText;
    }
    std::wstring Text() const { return FText ? std::wstring(FText, SysStringLen(FText)) : L""; }

private:
    BSTR FText = nullptr;
};

void Check(HRESULT hr, const char* step) {
    if (FAILED(hr))
        throw Exception(Format("The Task Scheduler refused %s: %s (0x%08lX)", step,
                               Trim(SysErrorMessage(static_cast<DWORD>(hr))).c_str(),
                               static_cast<unsigned long>(hr)));
}

const wchar_t TaskFolder[] = L"\\";

class TSystemTaskStore : public TTaskStore {
public:
    TSystemTaskStore() {
        Check(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                               reinterpret_cast<void**>(FService.Put())),
              "to start");
        VARIANT empty;
        VariantInit(&empty);
        Check(FService->Connect(empty, empty, empty, empty), "the connection");
        TBstr root(TaskFolder);
        Check(FService->GetFolder(root.Get(), FFolder.Put()), "to open its folder");
    }

    void Register(const std::wstring& name, const TLogonTaskDefinition& task) override {
        TComPtr<ITaskDefinition> definition;
        Check(FService->NewTask(0, definition.Put()), "a new task");

        TComPtr<IPrincipal> principal;
        Check(definition->get_Principal(principal.Put()), "the task's account");
        TBstr user(task.UserId);
        Check(principal->put_UserId(user.Get()), "the task's account");
        Check(principal->put_LogonType(TASK_LOGON_INTERACTIVE_TOKEN), "the task's logon type");
        Check(principal->put_RunLevel(task.HighestPrivileges ? TASK_RUNLEVEL_HIGHEST
                                                             : TASK_RUNLEVEL_LUA),
              "the highest privileges");

        TComPtr<ITaskSettings> settings;
        Check(definition->get_Settings(settings.Put()), "the task's settings");
        const VARIANT_BOOL battery = task.BatteryConditions ? VARIANT_TRUE : VARIANT_FALSE;
        Check(settings->put_DisallowStartIfOnBatteries(battery), "the battery conditions");
        Check(settings->put_StopIfGoingOnBatteries(battery), "the battery conditions");
        TBstr limit(task.TimeLimit);
        Check(settings->put_ExecutionTimeLimit(limit.Get()), "the time limit");

        TComPtr<ITriggerCollection> triggers;
        Check(definition->get_Triggers(triggers.Put()), "the task's triggers");
        TComPtr<ITrigger> trigger;
        Check(triggers->Create(TASK_TRIGGER_LOGON, trigger.Put()), "a logon trigger");
        TComPtr<ILogonTrigger> logon;
        Check(trigger.As(logon), "a logon trigger");
        Check(logon->put_UserId(user.Get()), "the logon trigger's account");

        TComPtr<IActionCollection> actions;
        Check(definition->get_Actions(actions.Put()), "the task's actions");
        TComPtr<IAction> action;
        Check(actions->Create(TASK_ACTION_EXEC, action.Put()), "a program to run");
        TComPtr<IExecAction> exec;
        Check(action.As(exec), "a program to run");
        TBstr path(task.Path), arguments(task.Arguments);
        Check(exec->put_Path(path.Get()), "the program's path");
        Check(exec->put_Arguments(arguments.Get()), "the program's arguments");

        TBstr taskName(name);
        VARIANT userVariant, empty;
        VariantInit(&empty);
        VariantInit(&userVariant);
        userVariant.vt = VT_BSTR;
        userVariant.bstrVal = user.Get(); // not owned by the variant: never cleared
        TComPtr<IRegisteredTask> registered;
        Check(FFolder->RegisterTaskDefinition(
                  taskName.Get(), definition.Get(), TASK_CREATE_OR_UPDATE, userVariant, empty,
                  TASK_LOGON_INTERACTIVE_TOKEN, empty, registered.Put()),
              "to register the task");
    }

    std::optional<TLogonTaskDefinition> Read(const std::wstring& name) override {
        TBstr taskName(name);
        TComPtr<IRegisteredTask> registered;
        const HRESULT found = FFolder->GetTask(taskName.Get(), registered.Put());
        if (found == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
            found == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
            return std::nullopt;
        Check(found, "to read the task");
        TComPtr<ITaskDefinition> definition;
        Check(registered->get_Definition(definition.Put()), "to read the task");

        TLogonTaskDefinition task;
        TComPtr<IPrincipal> principal;
        Check(definition->get_Principal(principal.Put()), "to read the task's account");
        TASK_RUNLEVEL_TYPE level = TASK_RUNLEVEL_LUA;
        Check(principal->get_RunLevel(&level), "to read the task's run level");
        task.HighestPrivileges = level == TASK_RUNLEVEL_HIGHEST;

        TComPtr<ITaskSettings> settings;
        Check(definition->get_Settings(settings.Put()), "to read the task's settings");
        VARIANT_BOOL disallow = VARIANT_TRUE, stop = VARIANT_TRUE;
        Check(settings->get_DisallowStartIfOnBatteries(&disallow), "to read the task's settings");
        Check(settings->get_StopIfGoingOnBatteries(&stop), "to read the task's settings");
        task.BatteryConditions = disallow != VARIANT_FALSE || stop != VARIANT_FALSE;
        TBstr limit;
        Check(settings->get_ExecutionTimeLimit(limit.Put()), "to read the task's settings");
        task.TimeLimit = limit.Text();

        TComPtr<ITriggerCollection> triggers;
        Check(definition->get_Triggers(triggers.Put()), "to read the task's triggers");
        LONG count = 0;
        Check(triggers->get_Count(&count), "to read the task's triggers");
        for (LONG i = 1; i <= count && task.UserId.empty(); ++i) { // the collection counts from 1
            TComPtr<ITrigger> trigger;
            TASK_TRIGGER_TYPE2 type = TASK_TRIGGER_EVENT;
            if (FAILED(triggers->get_Item(i, trigger.Put())) || FAILED(trigger->get_Type(&type)) ||
                type != TASK_TRIGGER_LOGON)
                continue;
            TComPtr<ILogonTrigger> logon;
            TBstr user;
            if (SUCCEEDED(trigger.As(logon)) && SUCCEEDED(logon->get_UserId(user.Put())))
                task.UserId = user.Text();
        }

        TComPtr<IActionCollection> actions;
        Check(definition->get_Actions(actions.Put()), "to read the task's actions");
        Check(actions->get_Count(&count), "to read the task's actions");
        for (LONG i = 1; i <= count && task.Path.empty(); ++i) {
            TComPtr<IAction> action;
            TComPtr<IExecAction> exec;
            if (FAILED(actions->get_Item(i, action.Put())) || FAILED(action.As(exec))) continue;
            TBstr path, arguments;
            if (SUCCEEDED(exec->get_Path(path.Put()))) task.Path = path.Text();
            if (SUCCEEDED(exec->get_Arguments(arguments.Put()))) task.Arguments = arguments.Text();
        }
        if (task.UserId.empty() || task.Path.empty()) return std::nullopt;
        return task;
    }

    void Remove(const std::wstring& name) override {
        TBstr taskName(name);
        const HRESULT hr = FFolder->DeleteTask(taskName.Get(), 0);
        if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
            hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
            return;
        Check(hr, "to delete the task");
    }

private:
    TComScope FCom; // first in, last out: the pointers below are released before it ends
    TComPtr<ITaskService> FService;
    TComPtr<ITaskFolder> FFolder;
};

} // namespace

std::unique_ptr<TTaskStore> SystemTaskStore() {
    return std::make_unique<TSystemTaskStore>();
}

namespace {
TTaskStoreSource taskStoreSource = nullptr;
}

void SetTaskStoreSource(TTaskStoreSource source) {
    taskStoreSource = source;
}

std::unique_ptr<TTaskStore> OpenTaskStore() {
    return taskStoreSource ? taskStoreSource() : SystemTaskStore();
}

std::wstring CurrentUserId() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) RaiseLastOSError();
    struct TTokenClose {
        HANDLE Handle;
        ~TTokenClose() { CloseHandle(Handle); }
    } token{raw};
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!GetTokenInformation(token.Handle, TokenUser, buffer, sizeof(buffer), &size))
        RaiseLastOSError();
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, name,
                           &nameSize, domain, &domainSize, &use))
        RaiseLastOSError();
    return domainSize ? std::wstring(domain) + L"\\" + name : std::wstring(name);
}

std::wstring LogonTaskName(const std::wstring& userId) {
    std::wstring user = userId;
    for (wchar_t& c : user)
        if (c == L'\\' || c == L'/') c = L'-';
    return L"IP Tavix Ver2 at logon of " + user;
}

TLogonTaskDefinition LogonTaskFor(const std::wstring& userId, const std::wstring& exePath) {
    TLogonTaskDefinition task;
    task.UserId = userId;
    task.Path = exePath;
    task.Arguments = L"/tray";
    task.HighestPrivileges = true;
    task.BatteryConditions = false;
    task.TimeLimit = L"PT0S";
    return task;
}

TLogonTask::TLogonTask(TTaskStore& store, std::wstring userId, std::wstring exePath)
    : FStore(store), FUserId(std::move(userId)), FExePath(std::move(exePath)) {}

bool TLogonTask::Registered() {
    const std::optional<TLogonTaskDefinition> task = FStore.Read(LogonTaskName(FUserId));
    if (!task) return false;
    TLogonTaskDefinition wanted = LogonTaskFor(FUserId, FExePath);
    // The scheduler may hand the path back in another case or quoted.
    std::wstring path = task->Path;
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"')
        path = path.substr(1, path.size() - 2);
    const bool samePath =
        CompareStringOrdinal(path.c_str(), -1, FExePath.c_str(), -1, TRUE) == CSTR_EQUAL;
    const bool sameUser =
        CompareStringOrdinal(task->UserId.c_str(), -1, FUserId.c_str(), -1, TRUE) == CSTR_EQUAL;
    return samePath && sameUser && task->Arguments == wanted.Arguments && task->HighestPrivileges &&
           !task->BatteryConditions;
}

void TLogonTask::Register() {
    FStore.Register(LogonTaskName(FUserId), LogonTaskFor(FUserId, FExePath));
}

void TLogonTask::Unregister() {
    if (Registered()) FStore.Remove(LogonTaskName(FUserId));
}
