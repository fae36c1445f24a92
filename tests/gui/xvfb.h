// A private X server for a test (Xvfb on a display number it picks itself),
// screenshots read as pixels, and xdotool for real input.
#ifndef GUI_XVFB_H
#define GUI_XVFB_H

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

// Starts a program; its process id, or -1.
inline pid_t Spawn(const std::vector<std::string>& argv, int keepFd = -1) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (keepFd < 0) posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

inline int WaitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline int Run(const std::vector<std::string>& argv) {
    pid_t pid = Spawn(argv);
    return pid < 0 ? -1 : WaitFor(pid);
}

class Xvfb {
public:
    // Starts the server and sets DISPLAY; false when it cannot start.
    bool Start(int width = 800, int height = 600) {
        int fds[2];
        if (pipe(fds) != 0) return false;
        // -displayfd: the server picks a free display number and writes it here.
        std::string fd = std::to_string(fds[1]);
        std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        std::vector<std::string> argv = {"Xvfb", "-displayfd", fd, "-screen", "0", screen, "-nolisten", "tcp", "-noreset"};
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            execvp("Xvfb", args.data());
            _exit(127);
        }
        close(fds[1]);
        if (pid_ < 0) {
            close(fds[0]);
            return false;
        }
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) return false;
        display_ = ":" + number;
        setenv("DISPLAY", display_.c_str(), 1);
        return true;
    }

    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            WaitFor(pid_);
            pid_ = -1;
        }
    }

    ~Xvfb() { Stop(); }

    const std::string& Display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

struct Pixel {
    unsigned char r, g, b;
    bool operator==(const Pixel& o) const { return r == o.r && g == o.g && b == o.b; }
};

struct Image {
    int width = 0, height = 0;
    std::vector<Pixel> pixels;
    Pixel At(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

// The whole screen, through xwd and netpbm; also saved as PNG when `png` is given.
inline bool Screenshot(Image& image, const std::string& folder, const std::string& png = "") {
    std::string ppm = folder + "/screen.ppm";
    std::string command = "xwd -root -silent | xwdtopnm 2>/dev/null | ppmtoppm > '" + ppm + "'";
    if (system(command.c_str()) != 0) return false;
    if (!png.empty() && system(("pnmtopng '" + ppm + "' > '" + png + "' 2>/dev/null").c_str()) != 0) return false;
    FILE* f = fopen(ppm.c_str(), "rb");
    if (!f) return false;
    int maxval = 0;
    bool ok = fscanf(f, "P6 %d %d %d", &image.width, &image.height, &maxval) == 3 && maxval == 255 && fgetc(f) != EOF;
    if (ok) {
        image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
        ok = fread(image.pixels.data(), 3, image.pixels.size(), f) == image.pixels.size();
    }
    fclose(f);
    return ok;
}

// The smallest box around the pixels inside `area` that differ from `background`.
struct Bounds {
    int left = -1, top = -1, right = -1, bottom = -1;  // right and bottom exclusive
    bool Empty() const { return left < 0; }
};

inline Bounds Differing(const Image& image, int x0, int y0, int x1, int y1, Pixel background) {
    Bounds b;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            if (x < 0 || y < 0 || x >= image.width || y >= image.height || image.At(x, y) == background) continue;
            if (b.Empty()) b = Bounds{x, y, x + 1, y + 1};
            if (x < b.left) b.left = x;
            if (y < b.top) b.top = y;
            if (x + 1 > b.right) b.right = x + 1;
            if (y + 1 > b.bottom) b.bottom = y + 1;
        }
    return b;
}

#endif
