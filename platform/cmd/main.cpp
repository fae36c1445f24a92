// cmd [/q] [/c COMMAND...]: runs one command (a batch file runs to its end)
// and exits with its error level; without /c, reads commands from standard input.
#include "cmd.h"

#include <string>

int main(int argc, char** argv) {
    bool echo = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (lstrcmpiA(a.c_str(), "/q") == 0) {
            echo = false;
        } else if (lstrcmpiA(a.c_str(), "/c") == 0 || lstrcmpiA(a.c_str(), "/k") == 0) {
            std::string line;
            // The words come back together as a command line; one holding blanks (and no quotes) was quoted.
            for (int j = i + 1; j < argc; ++j) {
                std::string word = argv[j];
                bool quote = word.find_first_of(" \t") != std::string::npos && word.find('"') == std::string::npos;
                line += (j > i + 1 ? " " : "") + (quote ? "\"" + word + "\"" : word);
            }
            return cmd::RunCommand(line, echo);
        }
    }
    return cmd::RunInteractive();
}
