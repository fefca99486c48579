#include "platform/remote/SshProcess.h"

#include "platform/remote/ErrorTail.h"
#include "platform/windows/WideText.h"

#include <atomic>
#include <mutex>
#include <vector>
#include <windows.h>

namespace tandrel::platform::remote {

struct SshProcess::Handles {
    HANDLE process = nullptr;
    HANDLE input = nullptr;  // our end of ssh's standard input
    HANDLE output = nullptr; // our end of ssh's standard output
    HANDLE errors = nullptr; // our end of ssh's error output
    HANDLE errorReader = nullptr;
    std::mutex mutex; // guards ending the process
    std::atomic<bool> ended = false;
    ErrorTail errorTail;
    std::once_flag errorsDone;

    // Once ssh has ended, what it wrote is in the pipe; a ProxyCommand it
    // started may hold the pipe open longer, so the wait is bounded.
    void FinishErrors()
    {
        std::call_once(errorsDone, [this] {
            if (!errorReader)
                return;
            if (WaitForSingleObject(errorReader, 500) == WAIT_TIMEOUT) {
                CancelSynchronousIo(errorReader);
                WaitForSingleObject(errorReader, INFINITE);
            }
            CloseHandle(errorReader);
            errorReader = nullptr;
        });
    }
};

namespace {

void CloseIf(HANDLE& handle)
{
    if (handle)
        CloseHandle(handle);
    handle = nullptr;
}

// One argument as the C runtime's command-line parser reads it back.
void AppendQuoted(std::wstring& line, const std::wstring& argument)
{
    if (!line.empty())
        line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            line.append(backslashes * 2 + 1, L'\\');
        else
            line.append(backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

// This process's environment block with `extra` put in.
bool EnvironmentBlock(const SshProcess::Environment& extra, std::vector<wchar_t>& block)
{
    std::vector<std::pair<std::wstring, std::wstring>> entries;
    if (wchar_t* strings = GetEnvironmentStringsW()) {
        for (const wchar_t* p = strings; *p; p += wcslen(p) + 1) {
            const std::wstring entry = p;
            // Names such as "=C:" begin with '='; the name ends at the next one.
            const auto equals = entry.find(L'=', 1);
            entries.emplace_back(entry.substr(0, equals), equals == std::wstring::npos ? L"" : entry.substr(equals + 1));
        }
        FreeEnvironmentStringsW(strings);
    }
    for (const auto& [name, value] : extra) {
        std::wstring wideName;
        std::wstring wideValue;
        if (!ToWide(name, wideName) || !ToWide(value, wideValue))
            return false;
        bool replaced = false;
        for (auto& entry : entries) {
            if (SameName(entry.first, wideName)) {
                entry.second = wideValue;
                replaced = true;
            }
        }
        if (!replaced)
            entries.emplace_back(wideName, wideValue);
    }
    block.clear();
    for (const auto& [name, value] : entries) {
        block.insert(block.end(), name.begin(), name.end());
        block.push_back(L'=');
        block.insert(block.end(), value.begin(), value.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return true;
}

DWORD WINAPI CollectErrors(void* parameter)
{
    auto& handles = *static_cast<SshProcess::Handles*>(parameter);
    char buffer[1024];
    DWORD count = 0;
    while (ReadFile(handles.errors, buffer, sizeof buffer, &count, nullptr) && count > 0)
        handles.errorTail.Append(std::string_view(buffer, count));
    return 0;
}

// A pipe whose one end the child inherits; `childReads` says which.
bool MakePipe(HANDLE& ours, HANDLE& childs, bool childReads)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 256 * 1024))
        return false;
    ours = childReads ? write : read;
    childs = childReads ? read : write;
    SetHandleInformation(ours, HANDLE_FLAG_INHERIT, 0);
    return true;
}

} // namespace

SshProcess::SshProcess(std::unique_ptr<Handles> handles) : m_handles(std::move(handles)) {}

std::unique_ptr<SshProcess> SshProcess::Start(const std::vector<std::string>& arguments,
                                              const Environment& environment, std::string& error)
{
    if (arguments.empty()) {
        error = "no program to start";
        return nullptr;
    }
    std::wstring commandLine;
    for (const auto& argument : arguments) {
        std::wstring wide;
        if (!ToWide(argument, wide)) {
            error = "an argument for ssh is not valid UTF-8";
            return nullptr;
        }
        AppendQuoted(commandLine, wide);
    }
    std::vector<wchar_t> block;
    if (!EnvironmentBlock(environment, block)) {
        error = "an environment value for ssh is not valid UTF-8";
        return nullptr;
    }

    auto handles = std::make_unique<Handles>();
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    HANDLE childErrors = nullptr;
    if (!MakePipe(handles->input, childInput, true) || !MakePipe(handles->output, childOutput, false) ||
        !MakePipe(handles->errors, childErrors, false)) {
        error = "Cannot make the channel to ssh: " + SystemMessage(GetLastError());
        for (HANDLE* h : {&childInput, &childOutput, &childErrors, &handles->input, &handles->output, &handles->errors})
            CloseIf(*h);
        return nullptr;
    }

    // Only the three pipe ends are handed to ssh, whatever else is inheritable.
    HANDLE inherited[3] = {childInput, childOutput, childErrors};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> attributeBuffer(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeBuffer.data());
    InitializeProcThreadAttributeList(attributes, 1, 0, &size);
    UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited, nullptr,
                              nullptr);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = childInput;
    startup.StartupInfo.hStdOutput = childOutput;
    startup.StartupInfo.hStdError = childErrors;
    startup.lpAttributeList = attributes;
    // With a console (the command line), ssh asks there; without one (the
    // window) it gets none of its own and asks through SSH_ASKPASS.
    DWORD flags = EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT;
    if (!GetConsoleWindow())
        flags |= CREATE_NO_WINDOW;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags, block.data(),
                                        nullptr, &startup.StartupInfo, &info);
    const DWORD startError = GetLastError();
    DeleteProcThreadAttributeList(attributes);
    CloseIf(childInput);
    CloseIf(childOutput);
    CloseIf(childErrors);
    if (!started) {
        error = "Cannot start '" + arguments[0] + "': " + SystemMessage(startError);
        CloseIf(handles->input);
        CloseIf(handles->output);
        CloseIf(handles->errors);
        return nullptr;
    }
    CloseHandle(info.hThread);
    handles->process = info.hProcess;
    handles->errorReader = CreateThread(nullptr, 0, CollectErrors, handles.get(), 0, nullptr);
    return std::unique_ptr<SshProcess>(new SshProcess(std::move(handles)));
}

SshProcess::~SshProcess()
{
    Stop();
    m_handles->FinishErrors();
    CloseIf(m_handles->input);
    CloseIf(m_handles->output);
    CloseIf(m_handles->errors);
    CloseIf(m_handles->process);
}

bool SshProcess::Write(std::string_view bytes, std::string& error)
{
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
        if (!WriteFile(m_handles->input, bytes.data(), chunk, &written, nullptr)) {
            error = "Cannot write to ssh: " + SystemMessage(GetLastError());
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

std::ptrdiff_t SshProcess::Read(char* buffer, std::size_t size, std::string& error)
{
    DWORD count = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1 << 20));
    if (ReadFile(m_handles->output, buffer, wanted, &count, nullptr))
        return static_cast<std::ptrdiff_t>(count);
    const DWORD failure = GetLastError();
    if (failure == ERROR_BROKEN_PIPE || failure == ERROR_OPERATION_ABORTED)
        return 0;
    error = "Cannot read from ssh: " + SystemMessage(failure);
    return -1;
}

void SshProcess::Stop()
{
    std::lock_guard lock(m_handles->mutex);
    if (!m_handles->ended) {
        TerminateProcess(m_handles->process, 1);
        WaitForSingleObject(m_handles->process, INFINITE);
        m_handles->ended = true;
    }
}

std::string SshProcess::Wait()
{
    {
        std::lock_guard lock(m_handles->mutex);
        if (!m_handles->ended) {
            WaitForSingleObject(m_handles->process, INFINITE);
            m_handles->ended = true;
        }
    }
    m_handles->FinishErrors();
    DWORD code = 0;
    GetExitCodeProcess(m_handles->process, &code);
    return "ssh exited with status " + std::to_string(code);
}

std::string SshProcess::ErrorOutput() const
{
    return m_handles->errorTail.Text();
}

} // namespace tandrel::platform::remote
