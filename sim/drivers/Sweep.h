// A settings sweep: the same random match played once for each value of one setting, to show
// the trade-off between killing early and killing what would have got up alone.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "Random.h"

namespace sim {

struct SweepSpec
{
    std::string Key;             // a key of the settings table, as the table spells it
    std::vector<double> Values;  // in the order given
    std::string Key2;            // a second setting, for a grid of both; empty for none
    std::vector<double> Values2;
    int Seeds = 1;               // matches per value: the seed, the seed + 1, ...

    // The settings' points: every value of Key, each with every value of Key2.
    std::size_t Points() const { return Values.size() * (Key2.empty() ? 1 : Values2.size()); }
};

// What a sweep should find: settings whose figure meets a bound (needless<=10%, lying<=6,
// kills>=100), the best of them named.
struct SweepTarget
{
    std::string Figure;  // needless (percent of kills), lying (s a decided flip lies), kills
    bool AtMost = true;
    double Bound = 0;
};

// "needless<=10%", "lying<=6", "kills>=50"; or what is wrong with it.
text::Expected<SweepTarget> Parse_Target(const std::string& text);
// Adds a second setting to `spec` from another KEY=VALUES, or says what is wrong with it.
text::Status Add_Sweep_Axis(const std::string& text, SweepSpec& spec);

// KEY=FROM..TO (steps of 1), KEY=FROM..TO:STEP, or KEY=V1,V2,...; at most 50 values, each one
// the plug-in can hold (whole numbers for the whole-number keys); or what is wrong with it.
text::Expected<SweepSpec> Parse_Sweep(const std::string& text);

// A point's values: "4" or "4, 0.5"; with `equals`, each with its key ("KEY = 4").
std::string Point_Text(const SweepSpec& spec, std::size_t point, const char* equals = nullptr);
// A value as the settings file holds it: whole numbers without a point.
std::string Value_Text(const std::string& key, double value);

// Told after each match of a sweep: its point and its result.
using Played = std::function<void(std::size_t point, const RandomResult& result)>;

// Plays `base` once per value and seed (value by value, each with seeds from base's own up),
// with the key set to the value in the settings at the start (reloads play as written). Fails
// when the plug-in cannot be loaded.
text::Status Run_Sweep(const standin::PluginFile& plugin, const RandomOptions& base, const SweepSpec& spec, std::FILE* err,
                       std::vector<RandomResult>& results, const Played& played = {});

}  // namespace sim
