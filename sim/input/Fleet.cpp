#include "Fleet.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include <fmt/format.h>

#include "Text.h"

namespace sim {

text::Status Parse_Recover_Time(const std::string& text, World& world)
{
    const std::size_t dots = text.find("..");
    double from = 0;
    double to = 0;
    if (dots == std::string::npos || !Parse_Finite(text.substr(0, dots), from) || !Parse_Finite(text.substr(dots + 2), to) ||
        from < 0 || to < from) {
        return text::Failure("--recover-time takes seconds as FROM..TO, 0 <= FROM <= TO (for instance 0.5..12), not '" + text + "'");
    }
    world.RecoverFrom = from;
    world.RecoverTo = to;
    return {};
}

text::Status Parse_Mix(const std::string& text, World& world)
{
    double shares[4];
    std::size_t start = 0;
    double total = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t colon = i < 3 ? text.find(':', start) : text.size();
        if (colon == std::string::npos || !Parse_Finite(text.substr(start, colon - start), shares[i]) || shares[i] < 0) {
            return text::Failure("--mix takes four shares ORDINARY:TURNED:EXEMPT:MODE4 (for instance 60:20:15:5), not '" + text + "'");
        }
        total += shares[i];
        start = colon + 1;
    }
    if (total <= 0) {
        return text::Failure("--mix needs a share above 0, not '" + text + "'");
    }
    if (!std::isfinite(total)) {
        return text::Failure("--mix takes shares that add up to a finite number, not '" + text + "'");
    }
    std::copy(shares, shares + 4, world.Mix);
    return {};
}

text::Status Check_World(const World& world)
{
    if (!(world.FlipEvery > 0) || !std::isfinite(world.FlipEvery)) {
        return text::Failure(fmt::format("--flip-every takes seconds above 0, not {}", world.FlipEvery));
    }
    if (!(world.NoseDown >= 0 && world.NoseDown <= 1)) {
        return text::Failure(fmt::format("--nose-down takes a share from 0 to 1, not {}", world.NoseDown));
    }
    if (!(world.RecoverShare >= 0 && world.RecoverShare <= 1)) {
        return text::Failure(fmt::format("--recover-share takes a share from 0 to 1, not {}", world.RecoverShare));
    }
    if (!(world.Respawn >= 0) || !std::isfinite(world.Respawn)) {
        return text::Failure(fmt::format("--respawn takes seconds from 0, not {}", world.Respawn));
    }
    return {};
}

text::Expected<std::vector<FleetPreset>> Load_Fleet(const std::string& path, const World& base)
{
    const text::Expected<std::string> content = text::Read_Text_File(path);
    if (!content) {
        return content.Error();
    }
    const std::string shown = text::Shown_Name(path);
    std::vector<FleetPreset> fleet;
    std::map<std::string, int> lines;
    std::optional<text::Diagnostic> fault;
    text::For_Each_Line(*content, [&](int number, std::string_view view) {
        const auto fail = [&](const std::string& what) {
            fault = text::Diagnostic{shown, number, 0, text::Severity::Error, what};
            return false;
        };
        std::string line(view.substr(text::After_Byte_Order_Mark(view)));
        line = line.substr(0, line.find('#'));
        std::vector<std::string> words;
        for (std::size_t at = line.find_first_not_of(" \t"); at != std::string::npos; at = line.find_first_not_of(" \t", at)) {
            const std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
            words.push_back(line.substr(at, end - at));
            at = end;
        }
        if (words.empty()) {
            return true;
        }
        FleetPreset preset;
        preset.Preset = words[0];
        preset.Assumed = base;
        preset.Line = number;
        if (words.size() < 2 || !Parse_Finite(words[1], preset.Share) || !(preset.Share >= 0)) {
            return fail("a preset and its share of the vehicles, a number from 0 (\"Heavy_Tank 30\"), then options");
        }
        if (lines.count(preset.Preset) != 0) {
            return fail(fmt::format("preset {} is in the fleet twice (line {})", preset.Preset, lines[preset.Preset]));
        }
        for (std::size_t w = 2; w < words.size(); w += 2) {
            const std::string& option = words[w];
            if (w + 1 >= words.size()) {
                return fail("option '" + option + "' has no value");
            }
            const std::string& value = words[w + 1];
            double number_value = 0;
            if (option == "recover-time") {
                if (const text::Status parsed = Parse_Recover_Time(value, preset.Assumed); !parsed) {
                    return fail(parsed.Error().Message.substr(2));  // without the command line's dashes
                }
                continue;
            }
            if (!Parse_Finite(value, number_value)) {
                return fail("option '" + option + "' takes a number, not '" + value + "'");
            }
            if (option == "mode" && number_value >= 0 && number_value <= 4294967295.0 && number_value == std::floor(number_value)) {
                preset.Mode = static_cast<unsigned int>(number_value);
            } else if (option == "flip-every") {
                preset.Assumed.FlipEvery = number_value;
            } else if (option == "nose-down") {
                preset.Assumed.NoseDown = number_value;
            } else if (option == "recover-share") {
                preset.Assumed.RecoverShare = number_value;
            } else if (option == "mode") {
                return fail("mode takes a whole number from 0 to 4294967295, not '" + value + "'");
            } else {
                return fail("unknown option '" + option + "' (mode, flip-every, nose-down, recover-share, recover-time)");
            }
        }
        if (const text::Status checked = Check_World(preset.Assumed); !checked) {
            return fail(checked.Error().Message.substr(2));  // "flip-every takes ...", without the command line's dashes
        }
        if (fleet.size() == 10000) {
            return fail("more than 10000 presets");
        }
        lines[preset.Preset] = number;
        fleet.push_back(preset);
        return true;
    });
    if (fault) {
        return *fault;
    }
    double total = 0;
    for (const FleetPreset& p : fleet) {
        total += p.Share;
    }
    if (!(total > 0) || !std::isfinite(total)) {
        return text::Diagnostic{shown, 0, 0, text::Severity::Error, "the fleet's shares add up to no vehicle (or beyond any number)"};
    }
    return fleet;
}

}  // namespace sim
