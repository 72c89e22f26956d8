// The trampoline script and process start of UpdateInstaller.
#include "selfupdate/TextUtil.h"
#include "selfupdate/UpdateInstaller.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;
#endif

namespace fs = std::filesystem;

namespace selfupdate {

namespace {

// The user's Gemini API key is for the application alone: no installer, script or program the
// updater starts inherits it, since what they run came from the network.
constexpr const char* WithheldVariable = "GEMINI_API_KEY";

#ifdef _WIN32
constexpr const char* LineEnd = "\r\n";

bool isWithheld(const wchar_t* entry) {
    const std::wstring name = TextUtil::widen(WithheldVariable) + L"=";
    return _wcsnicmp(entry, name.c_str(), name.size()) == 0;
}

// This process's environment block without the withheld variable.
std::wstring childEnvironment() {
    std::wstring block;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; entry && *entry; entry += wcslen(entry) + 1) {
        if (!isWithheld(entry))
            block.append(entry, wcslen(entry) + 1);
    }
    if (strings)
        FreeEnvironmentStringsW(strings);
    block.push_back(L'\0');
    return block;
}

// Started detached and without a console; nobody waits for it, so both handles close at once.
bool startDetached(const std::string& commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::wstring command = TextUtil::widen(commandLine);
    std::wstring environment = childEnvironment();
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | DETACHED_PROCESS | CREATE_UNICODE_ENVIRONMENT,
                        environment.data(), nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
#else
constexpr const char* LineEnd = "\n";

// This process's environment without the withheld variable; the pointers stay environ's own.
std::vector<char*> childEnvironment() {
    const std::string name = std::string(WithheldVariable) + "=";
    std::vector<char*> entries;
    for (char** entry = environ; entry && *entry; ++entry) {
        if (std::strncmp(*entry, name.c_str(), name.size()) != 0)
            entries.push_back(*entry);
    }
    entries.push_back(nullptr);
    return entries;
}

// The replaced executable's permission bits for chmod; owner rights when they cannot be read.
std::string modeText(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status))
        return "u+rwx";
    char text[8];
    std::snprintf(text, sizeof(text), "%04o", unsigned(status.permissions() & fs::perms::mask));
    return text;
}
#endif

} // namespace

std::string UpdateInstaller::quoteArg(const std::string& arg) {
#ifdef _WIN32
    if (arg.empty())
        return "\"\"";
    if (arg.find_first_of(" \t\n\v\"") == std::string::npos)
        return arg;
    std::string quoted = "\"";
    for (char c : arg)
        quoted += c == '"' ? std::string("\\\"") : std::string(1, c);
    return quoted + "\"";
#else
    std::string quoted = "'";
    for (char c : arg)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
#endif
}

std::string UpdateInstaller::formatCommand(const std::string& program,
                                           const std::vector<std::string>& args) {
    std::string command = quoteArg(program);
    for (const std::string& arg : args)
        command += " " + quoteArg(arg);
    return command;
}

std::vector<std::string> UpdateInstaller::splitArguments(const std::string& args) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (char c : args) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && std::isspace(static_cast<unsigned char>(c))) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

std::string UpdateInstaller::setupStepLine(const std::string& packagePath,
                                           const std::string& args) {
#ifdef _WIN32
    std::string line = "start \"\" /WAIT \"" + packagePath + "\"";
    return args.empty() ? line : line + " " + args;
#else
    // Words from the catalog are passed as they are, never read by the shell.
    return formatCommand(packagePath, splitArguments(args));
#endif
}

// The copy goes to a new file beside the target and is renamed over it only when complete (a
// rename within one folder is atomic), so a killed trampoline leaves the old or the new file.
std::string UpdateInstaller::copyStepLine(const std::string& stagedPath,
                                          const std::string& targetPath) {
#ifdef _WIN32
    const std::string part = "\"" + targetPath + ReplacementSuffix + "\"";
    return "copy /y \"" + stagedPath + "\" " + part + " >nul && move /y " + part + " \"" +
           targetPath + "\" >nul";
#else
    const std::string part = quoteArg(targetPath + ReplacementSuffix);
    return "cp -f -- " + quoteArg(stagedPath) + " " + part + " && chmod " + modeText(targetPath) +
           " -- " + part + " && sync -- " + part + " && mv -f -- " + part + " " +
           quoteArg(targetPath) + " || { rm -f -- " + part + "; false; }";
#endif
}

std::string UpdateInstaller::trampolineText(const std::string& stepLine,
                                            const std::string& relaunchCommand) const {
#ifdef _WIN32
    const std::int64_t ownPid = std::int64_t(GetCurrentProcessId());
#else
    const std::int64_t ownPid = std::int64_t(::getpid());
#endif
    const std::string pid =
        std::to_string(m_options.waitProcessId > 0 ? m_options.waitProcessId : ownPid);
    std::vector<std::string> lines;
#ifdef _WIN32
    lines = {"@echo off",
             "setlocal",
             ":wait_loop",
             "tasklist /fi \"pid eq " + pid + "\" 2>nul | find \"" + pid + "\" >nul",
             "if \"%ERRORLEVEL%\"==\"0\" (",
             "    timeout /t 1 /nobreak >nul 2>&1",
             "    goto wait_loop",
             ")",
             stepLine,
             "if %ERRORLEVEL% EQU 0 ("};
    if (!relaunchCommand.empty())
        lines.push_back("    start \"\" " + relaunchCommand);
    lines.push_back(")");
    lines.push_back("del \"%~f0\"");
#else
    lines = {"#!/bin/sh",   "while kill -0 " + pid + " 2>/dev/null; do",
             "    sleep 1", "done",
             stepLine,      "if [ $? -eq 0 ]; then"};
    // sh needs a command inside the branch; ":" does nothing.
    lines.push_back(relaunchCommand.empty() ? "    :" : "    " + relaunchCommand + " &");
    lines.push_back("fi");
    lines.push_back("rm -f -- \"$0\"");
#endif
    std::string text;
    for (const std::string& line : lines)
        text += line + LineEnd;
    return text;
}

std::string UpdateInstaller::writeTrampoline(const std::string& packagePath, const char* name,
                                             const std::string& stepLine,
                                             const std::string& relaunchCommand) const {
    fs::path dir = fs::u8path(packagePath).parent_path();
    if (dir.empty())
        dir = ".";
    const fs::path script = dir / name;
    std::error_code ec;
    fs::remove(script, ec);
    {
        std::ofstream out(script, std::ios::binary | std::ios::trunc);
        out << trampolineText(stepLine, relaunchCommand);
        out.close();
        if (!out)
            return std::string();
    }
#ifndef _WIN32
    fs::permissions(script, fs::perms::owner_all, fs::perm_options::replace, ec);
    if (ec)
        return std::string();
#endif
    return script.u8string();
}

std::string UpdateInstaller::trampolineCommandLine(const std::string& scriptPath) {
#ifdef _WIN32
    return "cmd.exe /c \"" + scriptPath + "\"";
#else
    return "/bin/sh " + quoteArg(scriptPath);
#endif
}

bool UpdateInstaller::launchTrampoline(const std::string& scriptPath) {
#ifdef _WIN32
    return startDetached(trampolineCommandLine(scriptPath));
#else
    return spawnDetachedProcess("/bin/sh", {scriptPath});
#endif
}

bool UpdateInstaller::spawnDetachedProcess(const std::string& program,
                                           const std::vector<std::string>& args) {
#ifdef _WIN32
    return startDetached(formatCommand(program, args));
#else
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    // Its own session, no terminal input, default signal handling: it must outlive us.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    pid_t pid = 0;
    // An executable the system cannot run fails here (glibc reports the exec error).
    std::vector<char*> environment = childEnvironment();
    const int error =
        posix_spawn(&pid, program.c_str(), &files, &attributes, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (error != 0)
        return false;
    // Nobody waits for it otherwise; reaping keeps it from lingering as a zombie while we run.
    std::thread([pid] {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
#endif
}

} // namespace selfupdate
