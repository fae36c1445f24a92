// Processes: CreateProcessA, ResumeThread, the priority functions,
// GetExitCodeProcess, ExitProcess, and the current process and thread.
//
// A process is a Linux child. Created suspended, it waits before its exec
// until ResumeThread lets it go; if every handle to its thread closes first,
// it ends. Batch files (.bat, .cmd) run in the command interpreter: the
// program named by ComSpec, else `cmd` beside kernel32.dll. Windows
// priorities become nice values: the level a priority class and a thread's
// relative priority give, 8 being nice 0 (where Linux lets a process raise its
// own; a class it may not take is still reported as set).
#include "files.h"
#include "handles.h"
#include "images.h"

#include <platform/cp1252.h>
#include <platform/paths.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

extern char** environ;

namespace kernel32 {
namespace {

constexpr DWORD kClasses[] = {IDLE_PRIORITY_CLASS,         BELOW_NORMAL_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS,
                              ABOVE_NORMAL_PRIORITY_CLASS, HIGH_PRIORITY_CLASS,         REALTIME_PRIORITY_CLASS};
constexpr int kClassBase[] = {4, 6, 8, 10, 13, 24};

int ClassIndex(DWORD priorityClass) {
    for (int i = 0; i < 6; ++i)
        if (kClasses[i] == priorityClass) return i;
    return -1;
}

bool ValidThreadPriority(int p) { return (p >= -2 && p <= 2) || p == THREAD_PRIORITY_IDLE || p == THREAD_PRIORITY_TIME_CRITICAL; }

// Windows' scheduling level for a class and a thread's relative priority.
int Level(DWORD priorityClass, int relative) {
    int c = ClassIndex(priorityClass);
    bool realtime = priorityClass == REALTIME_PRIORITY_CLASS;
    if (relative == THREAD_PRIORITY_IDLE) return realtime ? 16 : 1;
    if (relative == THREAD_PRIORITY_TIME_CRITICAL) return realtime ? 31 : 15;
    return kClassBase[c < 0 ? 2 : c] + relative;
}

// Level 8 (a normal thread of a normal process) is nice 0, as Linux runs everything;
// 1 is 19, 15 (time critical) -6, 31 -20.
int NiceFor(int level) {
    int nice = level <= 8 ? (8 - level) * 19 / 7 : -(level - 8) * 20 / 23;
    return nice < -20 ? -20 : nice > 19 ? 19 : nice;
}

void Apply(pid_t tid, DWORD priorityClass, int relative) {
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceFor(Level(priorityClass, relative)));
}

// The current process's class and its threads' relative priorities.
struct Current {
    std::mutex lock;
    DWORD priorityClass = NORMAL_PRIORITY_CLASS;
    std::map<pid_t, int> relative;
};
Current& current() {
    static Current* c = new Current;
    return *c;
}

pid_t Tid() { return static_cast<pid_t>(syscall(SYS_gettid)); }

struct Child {
    std::mutex lock;
    pid_t pid = 0;
    int pidfd = -1;
    int resume = -1;  // write end of the pipe the suspended child waits on
    DWORD suspended = 0;
    DWORD priorityClass = NORMAL_PRIORITY_CLASS;
    int relative = 0;
    bool reaped = false;
    DWORD exitCode = STILL_ACTIVE;

    ~Child() {
        if (resume >= 0) close(resume);
        if (pidfd >= 0) close(pidfd);
    }
    // Reaps the child if it has ended; the caller holds the lock.
    void Poll(int milliseconds) {
        if (reaped) return;
        if (milliseconds != 0 && pidfd >= 0) {
            struct pollfd p{pidfd, POLLIN, 0};
            poll(&p, 1, milliseconds);
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            reaped = true;
            exitCode = WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status)) : 128u + static_cast<DWORD>(WTERMSIG(status));
        }
    }
};

class Process : public KernelObject {
  public:
    explicit Process(std::shared_ptr<Child> child) : child_(std::move(child)) {}
    DWORD Wait(DWORD milliseconds) override {
        std::lock_guard hold(child_->lock);
        if (milliseconds == INFINITE) {
            while (!child_->reaped) child_->Poll(-1);
        } else {
            child_->Poll(milliseconds > INT_MAX ? INT_MAX : static_cast<int>(milliseconds));
        }
        return child_->reaped ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    std::shared_ptr<Child> child_;
};

class MainThread : public KernelObject {
  public:
    explicit MainThread(std::shared_ptr<Child> child) : child_(std::move(child)) {}
    ~MainThread() override {
        std::lock_guard hold(child_->lock);
        if (child_->resume >= 0) close(child_->resume), child_->resume = -1;  // never resumed: it ends
    }
    DWORD ThreadId() const override { return static_cast<DWORD>(child_->pid); }
    DWORD Wait(DWORD milliseconds) override { return Process(child_).Wait(milliseconds); }
    std::shared_ptr<Child> child_;
};

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(platform::cp1252::ToLower(static_cast<unsigned char>(c)));
    return s;
}

std::string Extension(const std::string& name) {
    size_t slash = name.find_last_of("\\/");
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : Lower(name.substr(dot));
}

bool IsFile(const std::string& native) {
    struct stat st;
    return stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

bool Runnable(const std::string& native) {
    int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char magic[4] = {};
    ssize_t n = read(fd, magic, 4);
    close(fd);
    return n >= 2 && (memcmp(magic, "\177ELF", 4) == 0 || (magic[0] == '#' && magic[1] == '!'));
}

// A program name as CreateProcessA finds it: a path as written (".exe" tried
// when there is no extension), a bare name in the caller's folder, the current
// folder, the system folder and PATH.
bool FindProgram(const std::string& name, std::string& native) {
    std::vector<std::string> names = {name};
    if (Extension(name).empty()) names.push_back(name + ".exe");
    bool hasPath = name.find_first_of("\\/") != std::string::npos || (name.size() >= 2 && name[1] == ':');
    std::vector<std::string> folders;
    if (!hasPath) {
        Image exe, system;
        if (FindImage(nullptr, exe)) folders.push_back(FolderOf(exe.path));
        folders.push_back(".");
        if (FindImage(SystemModule(), system)) folders.push_back(FolderOf(system.path));
        if (const char* path = getenv("PATH"))
            for (std::string all = path; !all.empty();) {
                size_t colon = all.find(':');
                folders.push_back(all.substr(0, colon));
                all = colon == std::string::npos ? "" : all.substr(colon + 1);
            }
    } else {
        folders.push_back("");
    }
    for (const std::string& folder : folders)
        for (const std::string& n : names) {
            std::string candidate;
            std::string full = folder.empty() ? n : folder + "/" + n;
            // Linux programs have no extension; a file without one counts only when it can run.
            if (NativeName(full.c_str(), candidate) == ERROR_SUCCESS && IsFile(candidate) &&
                (!Extension(n).empty() || Runnable(candidate))) {
                native = candidate;
                return true;
            }
        }
    return false;
}

// The command interpreter: ComSpec, else `cmd` in the system folder.
bool Interpreter(std::string& native) {
    if (const char* named = getenv("ComSpec"); named && *named && NativeName(named, native) == ERROR_SUCCESS && IsFile(native))
        return true;
    Image system;
    if (!FindImage(SystemModule(), system)) return false;
    native = FolderOf(system.path) + "/cmd";
    return IsFile(native);
}

// Splits the command line's first word as Windows does: a quoted name, or
// the shortest run up to a blank that names a program.
DWORD Resolve(LPCSTR application, const std::string& line, std::string& program, std::string& rest) {
    if (application) {
        if (!FindProgram(application, program)) return ERROR_FILE_NOT_FOUND;
        rest = line;
        return ERROR_SUCCESS;
    }
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) return ERROR_PATH_NOT_FOUND;
    if (line[start] == '"') {
        size_t close = line.find('"', start + 1);
        std::string name = line.substr(start + 1, close == std::string::npos ? std::string::npos : close - start - 1);
        if (!FindProgram(name, program)) return ERROR_FILE_NOT_FOUND;
        rest = close == std::string::npos ? "" : line.substr(close + 1);
        return ERROR_SUCCESS;
    }
    for (size_t at = start;;) {
        size_t blank = line.find_first_of(" \t", at);
        std::string name = line.substr(start, blank == std::string::npos ? std::string::npos : blank - start);
        if (FindProgram(name, program)) {
            rest = blank == std::string::npos ? "" : line.substr(blank);
            return ERROR_SUCCESS;
        }
        if (blank == std::string::npos) return ERROR_FILE_NOT_FOUND;
        at = line.find_first_not_of(" \t", blank);
        if (at == std::string::npos) return ERROR_FILE_NOT_FOUND;
    }
}

// Arguments the way a C runtime splits a Windows command line.
std::vector<std::string> SplitArguments(const std::string& s) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i >= s.size()) break;
        std::string arg;
        bool quoted = false;
        for (; i < s.size() && (quoted || (s[i] != ' ' && s[i] != '\t')); ++i) {
            size_t slashes = 0;
            while (i < s.size() && s[i] == '\\') ++slashes, ++i;
            if (i < s.size() && s[i] == '"') {
                arg.append(slashes / 2, '\\');
                if (slashes % 2) arg += '"';
                else quoted = !quoted;
            } else {
                arg.append(slashes, '\\');
                if (i < s.size()) arg += s[i];
                else break;
            }
        }
        out.push_back(arg);
    }
    return out;
}

DWORD Start(LPCSTR application, LPSTR commandLine, DWORD flags, LPVOID environment, LPCSTR directory,
            const STARTUPINFOA* startup, PROCESS_INFORMATION& info) {
    constexpr DWORD kConsoleFlags = DETACHED_PROCESS | CREATE_NEW_CONSOLE | CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP |
                                    CREATE_DEFAULT_ERROR_MODE;
    DWORD classBits = flags & (IDLE_PRIORITY_CLASS | BELOW_NORMAL_PRIORITY_CLASS | NORMAL_PRIORITY_CLASS |
                               ABOVE_NORMAL_PRIORITY_CLASS | HIGH_PRIORITY_CLASS | REALTIME_PRIORITY_CLASS);
    if (flags & (DEBUG_PROCESS | DEBUG_ONLY_THIS_PROCESS | CREATE_UNICODE_ENVIRONMENT)) return ERROR_CALL_NOT_IMPLEMENTED;
    if (flags & ~(classBits | kConsoleFlags | CREATE_SUSPENDED)) return ERROR_INVALID_PARAMETER;
    if (classBits && ClassIndex(classBits) < 0) return ERROR_INVALID_PARAMETER;
    if (!startup || startup->cb < sizeof(STARTUPINFOA)) return ERROR_INVALID_PARAMETER;
    if (!application && !commandLine) return ERROR_INVALID_PARAMETER;
    std::string line = commandLine ? commandLine : "";
    std::string program, rest;
    if (DWORD err = Resolve(application, line, program, rest)) return err;

    std::vector<std::string> argv;
    std::string extension = Extension(program);
    if (extension == ".bat" || extension == ".cmd") {
        std::string shell, windows;
        if (!Interpreter(shell)) return ERROR_FILE_NOT_FOUND;
        if (DWORD err = platform::ToWindowsPath(program, windows)) return err;
        argv = {shell, "/c", "\"" + windows + "\"" + rest};
        program = shell;
    } else {
        if (!Runnable(program)) return ERROR_BAD_EXE_FORMAT;
        argv = application ? SplitArguments(line) : SplitArguments(line);
        if (argv.empty()) argv.push_back(program);
    }
    std::string folder;
    if (directory) {
        if (DWORD err = NativeName(directory, folder)) return err;
        struct stat st;
        if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_DIRECTORY;
    }
    std::vector<std::string> env;
    if (environment)
        for (const char* p = static_cast<const char*>(environment); *p; p += strlen(p) + 1) env.push_back(p);
    std::vector<char*> args, envp;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    bool hidden = (startup->dwFlags & STARTF_USESHOWWINDOW) && startup->wShowWindow == SW_HIDE;
    DWORD priorityClass = classBits ? classBits : NORMAL_PRIORITY_CLASS;
    int nice = NiceFor(Level(priorityClass, 0));
    bool suspended = flags & CREATE_SUSPENDED;

    int gate[2] = {-1, -1};
    if (suspended && pipe2(gate, O_CLOEXEC) != 0) return platform::ErrorFromErrno(errno);
    int failed[2];
    if (pipe2(failed, O_CLOEXEC) != 0) {
        if (suspended) close(gate[0]), close(gate[1]);
        return platform::ErrorFromErrno(errno);
    }
    pid_t pid = fork();
    if (pid < 0) {
        DWORD err = platform::ErrorFromErrno(errno);
        if (suspended) close(gate[0]), close(gate[1]);
        close(failed[0]), close(failed[1]);
        return err;
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here on.
        setpriority(PRIO_PROCESS, 0, nice);
        if (suspended) {
            close(gate[1]);
            char go = 0;
            ssize_t n;
            while ((n = read(gate[0], &go, 1)) < 0 && errno == EINTR) {
            }
            if (n != 1) _exit(1);
        }
        if (hidden) {
            int null = open("/dev/null", O_RDWR);
            if (null >= 0) dup2(null, 0), dup2(null, 1), dup2(null, 2);
        }
        if (!folder.empty() && chdir(folder.c_str()) != 0) {
            int e = errno;
            ssize_t ignored = write(failed[1], &e, sizeof e);
            (void)ignored;
            _exit(127);
        }
        execve(program.c_str(), args.data(), environment ? envp.data() : environ);
        int e = errno;
        ssize_t ignored = write(failed[1], &e, sizeof e);
        (void)ignored;
        _exit(127);
    }
    close(failed[1]);
    if (suspended) close(gate[0]);
    setpriority(PRIO_PROCESS, static_cast<id_t>(pid), nice);  // the class holds from the start, run or not
    auto child = std::make_shared<Child>();
    child->pid = pid;
    child->pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    child->resume = suspended ? gate[1] : -1;
    child->suspended = suspended ? 1 : 0;
    child->priorityClass = priorityClass;
    if (!suspended) {
        // A child that started for real has run its exec: learn whether it worked.
        int e = 0;
        ssize_t n;
        while ((n = read(failed[0], &e, sizeof e)) < 0 && errno == EINTR) {
        }
        close(failed[0]);
        if (n == sizeof e) {
            waitpid(pid, nullptr, 0);
            child->reaped = true;
            return platform::ErrorFromErrno(e);
        }
    } else {
        close(failed[0]);
    }
    info.hProcess = AddHandle(std::make_shared<Process>(child));
    info.hThread = AddHandle(std::make_shared<MainThread>(child));
    if (!info.hProcess || !info.hThread) return ERROR_NOT_ENOUGH_MEMORY;
    info.dwProcessId = static_cast<DWORD>(pid);
    info.dwThreadId = static_cast<DWORD>(pid);
    return ERROR_SUCCESS;
}

template <class F>
bool Succeeded(F&& body) {
    DWORD err;
    try {
        err = body();
    } catch (...) {
        err = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (err) SetLastError(err);
    return !err;
}

std::shared_ptr<Child> ChildOf(HANDLE handle) {
    auto object = LookUpHandle(handle);
    if (auto p = std::dynamic_pointer_cast<Process>(object)) return p->child_;
    if (auto t = std::dynamic_pointer_cast<MainThread>(object)) return t->child_;
    return nullptr;
}

}  // namespace
}  // namespace kernel32

using namespace kernel32;

HANDLE WINAPI GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

HANDLE WINAPI GetCurrentThread(void) { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)); }

DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                           BOOL, DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory,
                           LPSTARTUPINFOA startupInfo, LPPROCESS_INFORMATION processInformation) {
    return Succeeded([&]() -> DWORD {
        if (!processInformation) return ERROR_INVALID_PARAMETER;
        PROCESS_INFORMATION info{};
        DWORD err = Start(applicationName, commandLine, creationFlags, environment, currentDirectory, startupInfo, info);
        if (err) {
            if (info.hProcess) CloseHandle(info.hProcess);
            if (info.hThread) CloseHandle(info.hThread);
            return err;
        }
        *processInformation = info;
        return ERROR_SUCCESS;
    });
}

DWORD WINAPI ResumeThread(HANDLE thread) {
    auto t = std::dynamic_pointer_cast<MainThread>(LookUpHandle(thread));
    if (!t) {
        if (thread == GetCurrentThread() || (LookUpHandle(thread) && LookUpHandle(thread)->ThreadId())) return 0;
        SetLastError(ERROR_INVALID_HANDLE);
        return static_cast<DWORD>(-1);
    }
    std::lock_guard hold(t->child_->lock);
    DWORD previous = t->child_->suspended;
    if (previous > 0 && --t->child_->suspended == 0 && t->child_->resume >= 0) {
        ssize_t n;
        while ((n = write(t->child_->resume, "g", 1)) < 0 && errno == EINTR) {
        }
        close(t->child_->resume);
        t->child_->resume = -1;
    }
    return previous;
}

BOOL WINAPI SetThreadPriority(HANDLE thread, int priority) {
    return Succeeded([&]() -> DWORD {
        if (!ValidThreadPriority(priority)) return ERROR_INVALID_PARAMETER;
        if (auto child = ChildOf(thread); child && std::dynamic_pointer_cast<MainThread>(LookUpHandle(thread))) {
            std::lock_guard hold(child->lock);
            child->relative = priority;
            Apply(child->pid, child->priorityClass, priority);
            return ERROR_SUCCESS;
        }
        pid_t tid = thread == GetCurrentThread() ? Tid() : 0;
        if (!tid)
            if (auto object = LookUpHandle(thread)) tid = static_cast<pid_t>(object->ThreadId());
        if (!tid) return ERROR_INVALID_HANDLE;
        std::lock_guard hold(current().lock);
        current().relative[tid] = priority;
        Apply(tid, current().priorityClass, priority);
        return ERROR_SUCCESS;
    });
}

int WINAPI GetThreadPriority(HANDLE thread) {
    if (auto t = std::dynamic_pointer_cast<MainThread>(LookUpHandle(thread))) {
        std::lock_guard hold(t->child_->lock);
        return t->child_->relative;
    }
    pid_t tid = thread == GetCurrentThread() ? Tid() : 0;
    if (!tid)
        if (auto object = LookUpHandle(thread)) tid = static_cast<pid_t>(object->ThreadId());
    if (!tid) {
        SetLastError(ERROR_INVALID_HANDLE);
        return THREAD_PRIORITY_ERROR_RETURN;
    }
    std::lock_guard hold(current().lock);
    auto it = current().relative.find(tid);
    return it == current().relative.end() ? THREAD_PRIORITY_NORMAL : it->second;
}

BOOL WINAPI SetPriorityClass(HANDLE process, DWORD priorityClass) {
    return Succeeded([&]() -> DWORD {
        if (ClassIndex(priorityClass) < 0) return ERROR_INVALID_PARAMETER;
        if (process == GetCurrentProcess()) {
            std::lock_guard hold(current().lock);
            current().priorityClass = priorityClass;
            // Linux keeps nice values per thread: every thread of the process takes the new level.
            if (DIR* tasks = opendir("/proc/self/task")) {
                while (dirent* e = readdir(tasks)) {
                    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
                    pid_t tid = static_cast<pid_t>(atoi(e->d_name));
                    auto it = current().relative.find(tid);
                    Apply(tid, priorityClass, it == current().relative.end() ? 0 : it->second);
                }
                closedir(tasks);
            }
            return ERROR_SUCCESS;
        }
        auto p = std::dynamic_pointer_cast<Process>(LookUpHandle(process));
        if (!p) return ERROR_INVALID_HANDLE;
        std::lock_guard hold(p->child_->lock);
        p->child_->priorityClass = priorityClass;
        Apply(p->child_->pid, priorityClass, p->child_->relative);
        return ERROR_SUCCESS;
    });
}

DWORD WINAPI GetPriorityClass(HANDLE process) {
    if (process == GetCurrentProcess()) {
        std::lock_guard hold(current().lock);
        return current().priorityClass;
    }
    auto p = std::dynamic_pointer_cast<Process>(LookUpHandle(process));
    if (!p) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    std::lock_guard hold(p->child_->lock);
    return p->child_->priorityClass;
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    return Succeeded([&]() -> DWORD {
        auto p = std::dynamic_pointer_cast<Process>(LookUpHandle(process));
        if (!p) return ERROR_INVALID_HANDLE;
        if (!exitCode) return ERROR_INVALID_PARAMETER;
        std::lock_guard hold(p->child_->lock);
        p->child_->Poll(0);
        *exitCode = p->child_->exitCode;
        return ERROR_SUCCESS;
    });
}

void WINAPI ExitProcess(UINT exitCode) {
    // exit() runs the loader's detach notices and the C++ teardown, as Windows tells the DLLs.
    exit(static_cast<int>(exitCode));
}
