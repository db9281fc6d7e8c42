// The settings files of one run, each read once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "TextFile.h"

class INIClass;

namespace sim {

// The settings files one run reads (--settings, --reload, a scenario's settings and reload
// statements), each read once however often it is named, the one way above everywhere: as the
// plug-in will see it, with what --check says of it written to `warnings` the first time.
class SettingsCache
{
public:
    explicit SettingsCache(std::FILE* warnings) : Warnings(warnings) {}

    // The file at `path`, shared by every use; or the finding that refuses it.
    text::Expected<std::shared_ptr<INIClass>> Read(const std::string& path);

private:
    // A file by its device and inode, so that two names of one file read as one; by its name
    // when it is no regular file (standard input, a pipe).
    using Identity = std::tuple<std::uint64_t, std::uint64_t, std::string>;
    std::FILE* Warnings;
    std::map<Identity, std::shared_ptr<INIClass>> Known;
};

}  // namespace sim
