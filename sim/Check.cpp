#include "Check.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>
#include <vector>

#include <fmt/format.h>

#include "Host.h"
#include "INIClass.h"

namespace sim {
namespace {

const char* const Main = "Veltrask";
const char* const DontKill = "Veltrask_DontFlipKillPresets";
const char* const Rotate = "Veltrask_RotateUpwardsPresets";
const char* const Keys[] = {"CheckInterval", "ChecksCount", "ScriptCheckingInterval"};

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::size_t Distance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// " (did you mean X?)" when a known name is close to `name`.
template <class Names> std::string Suggest(const std::string& name, const Names& known)
{
    std::string best;
    std::size_t best_distance = 4;
    for (const auto& item : known) {
        const std::string candidate = item;
        const std::size_t d = Distance(Lower(name), Lower(candidate));
        if (d < best_distance) {
            best_distance = d;
            best = candidate;
        }
    }
    return best.empty() ? "" : " (did you mean '" + best + "'?)";
}

bool Whole_Number(const std::string& text, long long& value)
{
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && errno != ERANGE && value >= INT32_MIN && value <= INT32_MAX;
}

}  // namespace

int Check_Settings(const std::string& path, std::FILE* out, std::FILE* err)
{
    INIClass ini;
    std::string error;
    if (!standin::Load_Ini_File(path, ini, error)) {
        std::fprintf(err, "%s\n", error.c_str());
        return 2;
    }
    int warnings = 0;
    auto warn = [&](int line, const std::string& what) {
        const std::string where = line > 0 ? fmt::format("{}:{}", path, line) : path;  // 0: the whole file
        std::fprintf(out, "%s\n", fmt::format("{}: warning: {}", where, what).c_str());
        ++warnings;
    };

    const auto contents = standin::Ini_Contents(ini);
    const standin::IniSectionView* main = nullptr;
    std::map<std::string, std::vector<std::pair<std::string, int>>> lists;  // section -> (name, line)
    for (const auto& section : contents) {
        const std::string name = section.Name;
        const int first_line = section.Entries.empty() ? 0 : section.Entries.front().Line;
        if (Lower(name) == Lower(Main)) {
            main = &section;
        } else if (Lower(name) == Lower(DontKill) || Lower(name) == Lower(Rotate)) {
            const std::string key = Lower(name) == Lower(DontKill) ? DontKill : Rotate;
            for (const auto& entry : section.Entries) {
                lists[key].emplace_back(entry.Value, entry.Line);
            }
        } else if (Lower(name).rfind("veltrask", 0) == 0) {
            warn(first_line, fmt::format("unknown section [{}]: the plug-in never reads it{}", name,
                                         Suggest(name, std::vector<std::string>{Main, DontKill, Rotate})));
        }
    }

    if (main == nullptr) {
        warn(0, "no [Veltrask] section: CheckInterval 2, ChecksCount 4 and ScriptCheckingInterval 1.0 apply");
    } else {
        for (const auto& entry : main->Entries) {
            const std::string key = entry.Name;
            const std::string value = entry.Value;
            const int line = entry.Line;
            if (Lower(key) == "checkinterval") {
                long long n = 0;
                if (!Whole_Number(value, n)) {
                    warn(line, fmt::format("CheckInterval '{}' is not a whole number: the plug-in uses 2", value));
                } else if (n <= 0) {
                    warn(line, fmt::format("CheckInterval {} scans every vehicle on every tick", n));
                }
            } else if (Lower(key) == "checkscount") {
                long long n = 0;
                if (!Whole_Number(value, n)) {
                    warn(line, fmt::format("ChecksCount '{}' is not a whole number: the plug-in uses 4", value));
                } else if (n <= 1) {
                    warn(line, fmt::format("ChecksCount {} kills a flipped vehicle at its first check", n));
                }
            } else if (Lower(key) == "scriptcheckinginterval") {
                char* end = nullptr;
                const float f = std::strtof(value.c_str(), &end);
                if (value.empty() || *end != '\0') {
                    warn(line, fmt::format("ScriptCheckingInterval '{}' is not a number: the plug-in uses 1.0", value));
                } else if (std::isnan(f)) {
                    warn(line, "ScriptCheckingInterval is not a number (NaN): every check comes at the next tick");
                } else if (f <= 0) {
                    warn(line, fmt::format("ScriptCheckingInterval {:g} makes every check come at the next tick", f));
                }
            } else {
                warn(line, fmt::format("unknown key '{}' in [Veltrask]: ignored{}", key, Suggest(key, Keys)));
            }
        }
    }

    for (const auto& [section, entries] : lists) {
        std::map<std::string, int> seen;
        for (const auto& [name, line] : entries) {
            if (name.empty()) {
                warn(line, fmt::format("empty preset name in [{}]", section));
            } else if (name.find('"') != std::string::npos || name.find('\'') != std::string::npos) {
                warn(line, fmt::format("preset name {} has quotes: they are part of the name", name));
            }
            if (seen.count(name) != 0) {
                warn(line, fmt::format("preset '{}' is listed twice in [{}] (line {})", name, section, seen[name]));
            } else {
                seen[name] = line;
            }
        }
    }
    for (const auto& [name, line] : lists[Rotate]) {
        for (const auto& [other, other_line] : lists[DontKill]) {
            if (name == other) {
                warn(line, fmt::format("preset '{}' is in both lists (also line {}): it is turned upright", name, other_line));
                break;
            }
        }
    }
    if (warnings == 0) {
        std::fprintf(out, "%s: no findings\n", path.c_str());
    }
    return warnings == 0 ? 0 : 1;
}

}  // namespace sim
