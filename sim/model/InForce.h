// What the plug-in holds after the settings events so far, built by the contract's own rules: the
// three numbers of the last event (the values at load before any), and every entry of both lists
// as the plug-in's sets hold them. The sets only grow and every event inserts each listed name
// again, so a name listed twice in one file is held twice, and a reload of the same file holds
// every name once more. The simulator keeps one of these per match (the match owns it) and every
// output that says what is in force reads it.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

#include "Contract.h"

class INIClass;

namespace sim {

// The numbers in force and the lists' sizes: what a report keeps of a moment.
struct HeldSettings
{
    SettingsValues Values = SettingsAtLoad;
    std::size_t DontFlipKill = 0;   // entries held, repeats included
    std::size_t RotateUpwards = 0;
};

class InForce
{
public:
    InForce() = default;
    // Entries point into the model's own names: a copy would point into the original's.
    InForce(const InForce&) = delete;
    InForce& operator=(const InForce&) = delete;

    // One settings event: the numbers as the plug-in reads them, every listed name added.
    void Apply(const INIClass& ini);

    const SettingsValues& Values() const { return Numbers; }
    // Every entry the plug-in's set holds, in the order inserted, repeats included.
    const std::vector<const std::string*>& Entries(PresetList list) const { return Of(list).Entries; }
    // Each name of a list once, in the order first listed.
    const std::vector<const std::string*>& Distinct(PresetList list) const { return Of(list).FirstListed; }
    bool Listed(PresetList list, const std::string& preset) const;
    // What the scan gives a flipped vehicle of this preset in a scanned mode (the contract's rule).
    Treatment Treatment_Of(const std::string& preset) const
    {
        return ::Treatment_Of([&](PresetList list) { return Listed(list, preset); });
    }
    bool Is_Exempt(const std::string& preset) const { return Treatment_Of(preset) == Treatment::LeftAlone; }
    bool Is_Rotated(const std::string& preset) const { return Treatment_Of(preset) == Treatment::TurnedUpright; }
    HeldSettings Held() const { return {Numbers, Entries(PresetList::DontFlipKill).size(), Entries(PresetList::RotateUpwards).size()}; }

private:
    struct List
    {
        std::vector<const std::string*> Entries;
        std::vector<const std::string*> FirstListed;
        std::unordered_set<const std::string*> Members;
    };
    const List& Of(PresetList list) const { return Lists[list == PresetList::DontFlipKill ? 0 : 1]; }

    SettingsValues Numbers = SettingsAtLoad;
    std::unordered_set<std::string> Names;  // every name either list holds, once; nodes stay put
    List Lists[2];
};

}  // namespace sim
