#include "SimSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace test {

namespace fs = std::filesystem;

std::string Quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

Result Run_Sim(const std::string& arguments, const std::string& prefix)
{
    static int next = 0;
    const fs::path err = fs::temp_directory_path() /
                         ("veltrask-sim-err-" + std::to_string(::getpid()) + "-" + std::to_string(next++));
    // A simulator built for another word size runs through the same emulator as the tests.
    const std::string emulator = VELTRASK_EMULATOR;
    const std::string command = prefix + (emulator.empty() ? "" : emulator + " ") + Quoted(VELTRASK_SIM_PATH) + " " +
                                arguments + " 2>" + Quoted(err.string());
    Result r{-1, "", ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return r;
    }
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        r.Out.append(buffer, n);
    }
    const int status = pclose(pipe);
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(err);
    r.Err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    fs::remove(err);
    return r;
}

Scratch::Scratch()
{
    static int next = 0;
    Dir = fs::temp_directory_path() / ("veltrask-test-" + std::to_string(::getpid()) + "-" + std::to_string(next++));
    fs::create_directories(Dir);
}

Scratch::~Scratch()
{
    std::error_code ignored;
    fs::remove_all(Dir, ignored);
}

std::string Scratch::Write(const std::string& name, const std::string& text) const
{
    fs::create_directories((Dir / name).parent_path());
    std::ofstream(Dir / name, std::ios::binary) << text;
    return (Dir / name).string();
}

std::string Scratch::Read(const std::string& name) const
{
    std::ifstream in(Dir / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace test
