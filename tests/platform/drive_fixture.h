// A fresh per-user folder whose drive table maps C: to a fresh folder.
#ifndef PLATFORM_DRIVE_FIXTURE_H
#define PLATFORM_DRIVE_FIXTURE_H

#include <windows.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class DriveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/drive_tests.XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root_ = name;
        drive_ = root_ / "c";
        std::filesystem::create_directories(drive_);
        std::filesystem::create_directories(root_ / "user");
        std::ofstream(root_ / "user" / "drives") << "C=" << drive_.string() << "\n";
        Save("PLATFORM_USER_DIR", (root_ / "user").string());
    }
    void TearDown() override {
        for (auto& [name, value] : saved_) {
            if (value.first) setenv(name.c_str(), value.second.c_str(), 1);
            else unsetenv(name.c_str());
        }
        std::error_code ignored;
        std::filesystem::permissions(drive_, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(root_, ignored);
    }
    void Save(const std::string& name, const std::string& value) {
        if (!saved_.count(name)) {
            const char* old = getenv(name.c_str());
            saved_[name] = {old != nullptr, old ? old : ""};
        }
        setenv(name.c_str(), value.c_str(), 1);
    }
    // A file under C: given by its Windows path below the drive.
    std::filesystem::path Native(const std::string& below) const {
        std::string p = below;
        for (char& c : p)
            if (c == '\\') c = '/';
        return drive_ / p;
    }
    void Write(const std::string& below, const std::string& text) {
        std::filesystem::create_directories(Native(below).parent_path());
        std::ofstream(Native(below), std::ios::binary) << text;
    }
    std::string Read(const std::string& below) const {
        std::ifstream in(Native(below), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::filesystem::path root_, drive_;
    std::map<std::string, std::pair<bool, std::string>> saved_;
};

#endif
