// The interpreter: batch files line by line (labels, GOTO, IF, ECHO, REM,
// SET, EXIT, variables), single commands, and programs it starts and waits for.
#include "cmd.h"

#include <platform/paths.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include <unistd.h>

namespace cmd {
namespace {

struct Batch {
    std::string path;                 // its full Windows path (%0)
    std::vector<std::string> params;  // %1 ... as written, quotes kept
    std::vector<std::string> lines;
    size_t next = 0;
};

struct State {
    bool echo = true;
    int level = 0;
    bool exit = false;
};

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

std::string Unquote(const std::string& s) {
    return s.size() >= 2 && s.front() == '"' && s.back() == '"' ? s.substr(1, s.size() - 2) : s;
}

// %~ modifiers of a parameter: f full path, d drive, p path, n name, x extension.
std::string Modified(const std::string& value, const std::string& modifiers) {
    std::string plain = Unquote(value);
    if (modifiers.empty()) return plain;
    std::string full = FullPath(plain);
    size_t slash = full.find_last_of('\\');
    std::string folder = slash == std::string::npos ? "" : full.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? full : full.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    std::string out;
    for (char m : modifiers) {
        switch (m) {
        case 'f': out += full; break;
        case 'd': out += folder.substr(0, 2); break;
        case 'p': out += folder.size() > 2 ? folder.substr(2) : folder; break;
        case 'n': out += name.substr(0, dot); break;
        case 'x': out += dot == std::string::npos ? "" : name.substr(dot); break;
        default: break;
        }
    }
    return out;
}

// %0-%9, %*, %~dpnxf0-9, %% and %NAME%: what cmd.exe replaces before it reads a line.
std::string Expand(const std::string& line, const Batch* batch) {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '%' || i + 1 >= line.size()) {
            out += line[i];
            continue;
        }
        char c = line[i + 1];
        if (batch && c == '%') {
            out += '%';
            ++i;
        } else if (batch && c >= '0' && c <= '9') {
            size_t n = static_cast<size_t>(c - '0');
            out += n == 0 ? batch->path : n <= batch->params.size() ? batch->params[n - 1] : "";
            ++i;
        } else if (batch && c == '*') {
            for (size_t p = 0; p < batch->params.size(); ++p) out += (p ? " " : "") + batch->params[p];
            ++i;
        } else if (batch && c == '~') {
            size_t j = i + 2;
            std::string modifiers;
            while (j < line.size() && strchr("fdpnx", line[j])) modifiers += line[j++];
            if (j < line.size() && line[j] >= '0' && line[j] <= '9') {
                size_t n = static_cast<size_t>(line[j] - '0');
                std::string value = n == 0 ? batch->path : n <= batch->params.size() ? batch->params[n - 1] : "";
                out += Modified(value, modifiers);
                i = j;
            } else {
                out += '%';
            }
        } else {
            size_t close = line.find('%', i + 1);
            if (close == std::string::npos) {
                if (!batch) out += '%';
                continue;
            }
            std::string name = line.substr(i + 1, close - i - 1);
            const char* value = name.empty() ? nullptr : getenv(name.c_str());
            if (value) out += value;
            else if (!batch) out += line.substr(i, close - i + 1);  // the command line keeps unknown names
            i = close;
        }
    }
    return out;
}

// The next word of `s` from `at`, quotes kept; stops at blanks, and at '=' when asked.
std::string NextToken(const std::string& s, size_t& at, bool stopAtEquals = false) {
    while (at < s.size() && (s[at] == ' ' || s[at] == '\t')) ++at;
    std::string out;
    bool quoted = false;
    for (; at < s.size(); ++at) {
        char c = s[at];
        if (c == '"') quoted = !quoted;
        else if (!quoted && (c == ' ' || c == '\t' || (stopAtEquals && c == '='))) break;
        out += c;
    }
    return out;
}

std::string Prompt() {
    char here[MAX_PATH];
    return GetCurrentDirectoryA(sizeof here, here) ? std::string(here) + ">" : ">";
}

int Run(State& state, const std::string& line, Batch* batch);

int RunBatchFile(State& state, const std::string& name, const std::string& rest);

int If(State& state, const std::string& text, Batch* batch) {
    size_t at = 0, before = 0;
    std::string word = NextToken(text, at);
    bool ignoreCase = false, negate = false, holds = false;
    if (Lower(word) == "/i") ignoreCase = true, before = at, word = NextToken(text, at);
    if (Lower(word) == "not") negate = true, before = at, word = NextToken(text, at);
    std::string lower = Lower(word);
    if (lower == "exist") {
        holds = Exists(Unquote(NextToken(text, at)));
    } else if (lower == "errorlevel") {
        holds = state.level >= atoi(NextToken(text, at).c_str());
    } else if (lower == "defined") {
        holds = getenv(NextToken(text, at).c_str()) != nullptr;
    } else {
        // a==b: the two sides compare as written, quotes and all.
        at = before;
        std::string left = NextToken(text, at, true);
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
        if (text.compare(at, 2, "==") != 0) {
            Error("The syntax of the command is incorrect.");
            return 1;
        }
        at += 2;
        std::string right = NextToken(text, at, true);
        holds = ignoreCase ? lstrcmpiA(left.c_str(), right.c_str()) == 0 : left == right;
    }
    std::string command = Trim(text.substr(std::min(at, text.size())));
    if (command.empty()) {
        Error("The syntax of the command is incorrect.");
        return 1;
    }
    return holds != negate ? Run(state, command, batch) : state.level;
}

int Goto(State& state, const std::string& text, Batch* batch) {
    size_t at = 0;
    std::string label = NextToken(text, at);
    if (!label.empty() && label[0] == ':') label.erase(0, 1);
    if (!batch) return state.level;
    if (Lower(label) == "eof") {
        batch->next = batch->lines.size();
        return state.level;
    }
    // From the line after the GOTO to the end, then from the top, as cmd.exe looks.
    size_t count = batch->lines.size();
    for (size_t k = 0; k < count; ++k) {
        size_t i = (batch->next + k) % count;
        std::string l = Trim(batch->lines[i]);
        if (l.empty() || l[0] != ':') continue;
        size_t p = 1;
        if (Lower(NextToken(l, p)) == Lower(label)) {
            batch->next = i + 1;
            return state.level;
        }
    }
    Error("The system cannot find the batch label specified - " + label);
    batch->next = batch->lines.size();
    return 1;
}

int Echo(State& state, const std::string& rest, char separator) {
    std::string text = Trim(rest);
    if (separator == ' ' || separator == 0) {
        if (text.empty()) {
            Out(state.echo ? "ECHO is on." : "ECHO is off.");
            return state.level;
        }
        if (Lower(text) == "on" || Lower(text) == "off") {
            state.echo = Lower(text) == "on";
            return state.level;
        }
    }
    Out(separator == ' ' || separator == 0 ? text : rest);
    return state.level;
}

int Set(const std::string& text) {
    std::string t = Trim(text);
    size_t equals = t.find('=');
    if (t.empty() || equals == std::string::npos) {
        for (char** e = environ; *e; ++e)
            if (t.empty() || lstrcmpiA(std::string(*e).substr(0, t.size()).c_str(), t.c_str()) == 0) Out(*e);
        return 0;
    }
    std::string name = Unquote(t.substr(0, equals)), value = t.substr(equals + 1);
    if (value.empty()) unsetenv(name.c_str());
    else setenv(name.c_str(), value.c_str(), 1);
    return 0;
}

int Program(State& state, const std::string& line) {
    size_t at = 0;
    std::string first = Unquote(NextToken(line, at));
    std::string ext = Lower(first.substr(first.find_last_of('.') == std::string::npos ? first.size() : first.find_last_of('.')));
    if ((ext == ".bat" || ext == ".cmd") && GetFileAttributesA(first.c_str()) != INVALID_FILE_ATTRIBUTES)
        return RunBatchFile(state, first, line.substr(at));
    std::string copy = line;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    fflush(stdout);
    if (!CreateProcessA(nullptr, copy.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) {
            Error("'" + first + "' is not recognized as an internal or external command,\noperable program or batch file.");
            return 9009;
        }
        Error(ErrorText(err));
        return 1;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return static_cast<int>(code);
}

// One command, its variables already replaced.
int Run(State& state, const std::string& raw, Batch* batch) {
    std::string line = Trim(raw);
    if (line.empty()) return state.level;
    size_t end = 0;
    while (end < line.size() && !strchr(" \t.=,;/(:\"", line[end])) ++end;
    if (end == 0 && line[0] == '"') end = std::string::npos;
    std::string name = Lower(line.substr(0, end == std::string::npos ? 0 : end));
    char separator = end < line.size() ? line[end] : 0;
    std::string rest = end < line.size() ? line.substr(end + 1) : "";
    std::string args = end < line.size() ? line.substr(end) : "";
    if (name == "rem") return state.level;
    if (name == "echo") return Echo(state, rest, separator == '\t' ? ' ' : separator);
    if (name == "goto") return Goto(state, args, batch);
    if (name == "if") return If(state, args, batch);
    if (name == "set") return Set(args);
    if (name == "del" || name == "erase") return Delete(Words(args));
    if (name == "rd" || name == "rmdir") return RemoveFolder(Words(args));
    if (name == "md" || name == "mkdir") return MakeFolder(Words(args));
    if (name == "cd" || name == "chdir") return ChangeFolder(Words(args));
    if (name == "type") return Type(Words(args));
    if (name == "cls" || name == "title") return state.level;
    if (name == "exit") {
        std::vector<Word> w = Words(args);
        size_t i = !w.empty() && lstrcmpiA(w[0].text.c_str(), "/b") == 0 ? 1 : 0;
        state.exit = true;
        return i < w.size() ? atoi(w[i].text.c_str()) : state.level;
    }
    return Program(state, line);
}

int RunBatch(State& state, Batch& batch) {
    while (batch.next < batch.lines.size() && !state.exit) {
        std::string line = batch.lines[batch.next++];
        std::string text = Trim(line);
        bool quiet = false;
        while (!text.empty() && text[0] == '@') quiet = true, text = Trim(text.substr(1));
        if (text.empty() || text[0] == ':') continue;  // labels and :: remarks
        text = Expand(text, &batch);
        if (state.echo && !quiet) {
            Out("");
            Out(Prompt() + text);
        }
        state.level = Run(state, text, &batch);
    }
    return state.level;
}

int RunBatchFile(State& state, const std::string& name, const std::string& rest) {
    std::ifstream in(std::string([&] {
                         std::string native;
                         platform::ToNativePath(name, native);
                         return native;
                     }()),
                     std::ios::binary);
    if (!in) {
        Error("The batch file cannot be found.");
        return 1;
    }
    Batch batch;
    batch.path = name;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // CR LF lines, and LF alone
        batch.lines.push_back(line);
    }
    size_t at = 0;
    for (std::string w; !(w = NextToken(rest, at)).empty();) batch.params.push_back(w);
    return RunBatch(state, batch);
}

}  // namespace

std::vector<Word> Words(const std::string& line) {
    std::vector<Word> out;
    size_t at = 0;
    for (std::string w; !(w = NextToken(line, at)).empty();) {
        Word word;
        word.quoted = w.find('"') != std::string::npos;
        for (char c : w)
            if (c != '"') word.text += c;
        out.push_back(word);
    }
    return out;
}

void Out(const std::string& line) {
    std::cout << line << "\n" << std::flush;
}

void Error(const std::string& line) {
    std::cerr << line << "\n" << std::flush;
}

std::string ErrorText(DWORD code) {
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                   nullptr);
    std::string s = text;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s.empty() ? "Error " + std::to_string(code) : s;
}

std::string FullPath(const std::string& name) {
    std::string native, windows;
    if (platform::ToNativePath(name, native) == ERROR_SUCCESS && platform::ToWindowsPath(native, windows) == ERROR_SUCCESS)
        return windows;
    return name;
}

// A command line: one command, or a batch file run to its end.
int RunCommand(const std::string& line, bool echo) {
    State state;
    state.echo = echo;
    return Run(state, Expand(line, nullptr), nullptr);
}

// Commands from standard input, one a line, each after the prompt.
int RunInteractive() {
    State state;
    std::string line;
    for (;;) {
        std::cout << Prompt() << std::flush;
        if (!std::getline(std::cin, line)) break;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        state.level = Run(state, Expand(line, nullptr), nullptr);
        if (state.exit) break;
        Out("");
    }
    return state.level;
}

}  // namespace cmd
