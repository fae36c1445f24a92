// win32_rc -o OUT.cpp [-I DIR]... INPUT.rc|INPUT.mc
#include "compiler.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

int Usage() {
    fprintf(stderr, "usage: win32_rc -o OUTPUT.cpp [-I DIRECTORY]... INPUT.rc|INPUT.mc\n");
    return 2;
}

bool EndsWith(const std::string& s, const char* tail) {
    size_t n = strlen(tail);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string output, input;
    rc::Options options;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-o" && i + 1 < argc) output = argv[++i];
        else if (a == "-I" && i + 1 < argc) options.includeDirs.push_back(argv[++i]);
        else if (a.rfind("-I", 0) == 0 && a.size() > 2) options.includeDirs.push_back(a.substr(2));
        else if (a.empty() || a[0] == '-' || !input.empty()) return Usage();
        else input = a;
    }
    if (output.empty() || input.empty()) return Usage();
    try {
        std::vector<rc::Resource> resources =
            EndsWith(input, ".mc") ? rc::CompileMessageFile(input) : rc::CompileScript(input, options);
        std::string source = rc::NoteSource(resources, input);
        // Written aside and renamed, so a failed run never leaves a half-written source behind.
        std::string temporary = output + ".tmp";
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out << source;
            if (!out.flush()) {
                fprintf(stderr, "win32_rc: %s: cannot write the file\n", temporary.c_str());
                return 1;
            }
        }
        if (rename(temporary.c_str(), output.c_str()) != 0) {
            fprintf(stderr, "win32_rc: %s: cannot write the file\n", output.c_str());
            remove(temporary.c_str());
            return 1;
        }
    } catch (const rc::Error& e) {
        fprintf(stderr, "win32_rc: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        fprintf(stderr, "win32_rc: %s: %s\n", input.c_str(), e.what());
        return 1;
    }
    return 0;
}
