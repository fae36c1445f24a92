// The resource compiler on any input: a resource script or a message file
// either compiles or fails with an error naming the place, nothing else.
#include <compiler.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string folder;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    char pattern[] = "/tmp/rc-fuzz.XXXXXX";
    if (!mkdtemp(pattern))
        std::abort();
    folder = pattern;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    bool messages = data[0] & 1;
    std::string path = folder + (messages ? "/input.mc" : "/input.rc");
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    try {
        std::vector<rc::Resource> resources =
            messages ? rc::CompileMessageFile(path) : rc::CompileScript(path, rc::Options{{folder}});
        rc::NoteSource(resources, path);
    } catch (const rc::Error &) {
        // An input error, reported as such.
    }
    return 0;
}
