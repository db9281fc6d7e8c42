// Running veltrask-sim as a user would, and a scratch folder for the files a test writes.
#pragma once

#include <filesystem>
#include <string>

namespace test {

struct Result
{
    int Status;
    std::string Out;
    std::string Err;
};

// Runs the simulator with `arguments` (shell words), capturing both streams. `prefix` comes
// before the command in the shell, as in "ulimit -f 1;".
Result Run_Sim(const std::string& arguments, const std::string& prefix = "");

// A folder of its own for files a test writes, removed with everything in it.
class Scratch
{
public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    // Writes `text` to `name` in the folder and returns its path.
    std::string Write(const std::string& name, const std::string& text) const;
    std::string Path(const std::string& name) const { return (Dir / name).string(); }
    std::string Read(const std::string& name) const;

private:
    std::filesystem::path Dir;
};

// The text quoted for the shell.
std::string Quoted(const std::string& text);

}  // namespace test
