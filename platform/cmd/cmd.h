// cmd: the command interpreter. It runs batch files and single commands in
// the dialect of Windows' cmd.exe, on the kernel32 stand-in's files,
// folders and processes.
#ifndef CMD_CMD_H
#define CMD_CMD_H

#include <windows.h>

#include <string>
#include <vector>

namespace cmd {

struct Word {
    std::string text;  // quotes removed
    bool quoted = false;
};

// The words of a command line; quotes group blanks and are removed.
std::vector<Word> Words(const std::string& line);

// Prints a line to standard output or standard error, ended as the console ends lines.
void Out(const std::string& line);
void Error(const std::string& line);

// The system's text for a Windows error, without its line end.
std::string ErrorText(DWORD code);

// A name's full Windows path, as cmd shows it in its messages.
std::string FullPath(const std::string& name);

// The file and folder commands: each takes the words after the command name
// and returns the error level it leaves.
int Delete(const std::vector<Word>& args);
int RemoveFolder(const std::vector<Word>& args);
int MakeFolder(const std::vector<Word>& args);
int ChangeFolder(const std::vector<Word>& args);
int Type(const std::vector<Word>& args);

// A command line (a batch file runs to its end) and commands read from
// standard input; each returns the error level it ends with.
int RunCommand(const std::string& line, bool echo);
int RunInteractive();

// Whether a file or folder of that name (wildcards allowed in the last part) exists.
bool Exists(const std::string& name);

}  // namespace cmd

#endif
