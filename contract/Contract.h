// What the plug-in promises, in one place: the names an operator writes and the host knows, the
// settings (their keys, their values at load and when missing, and how they are read), and the
// rules of what reads as flipped, when a scan is due, what a flipped vehicle gets and how it is
// turned. The plug-in is built on these, and the simulator, which predicts and explains what the
// plug-in does, calls these same rules rather than restating them.
//
// Header-only C++17 with no dependency beyond <cmath>: the plug-in includes it as it ships, so
// every rule here is inline and costs the plug-in nothing beyond the code it replaces.
#pragma once

#include <cmath>

// --- Names ---

// Section and key names of the settings file.
#define SETTINGS_SECTION "Veltrask"
#define DONT_FLIP_KILL_SECTION "Veltrask_DontFlipKillPresets"
#define ROTATE_UPWARDS_SECTION "Veltrask_RotateUpwardsPresets"
#define CHECK_INTERVAL_KEY "CheckInterval"
#define CHECKS_COUNT_KEY "ChecksCount"
#define SCRIPT_CHECKING_INTERVAL_KEY "ScriptCheckingInterval"

// The names the scripts are registered under, and attached by: one text for both.
#define FLIP_KILL_SCRIPT_NAME "Veltrask_Script"
#define ROTATE_UPWARDS_SCRIPT_NAME "RotateUpwards_Script"

// The only timer number either script starts or answers to.
const int CHECK_TIMER_NUMBER = 1;

// --- Settings ---

// The three numbers of the settings section.
struct SettingsValues
{
    int CheckInterval;            // least clock advance, in whole seconds, between two scans
    int ChecksCount;              // checks that find a vehicle flipped before it is killed
    float ScriptCheckingInterval; // seconds between two checks of one flipped vehicle
};

// From load until the first settings event; and for each key a settings event lacks.
// CheckInterval differs between the two: 3 at load, 2 when the key is absent.
constexpr SettingsValues SettingsAtLoad{3, 4, 1.0f};
constexpr SettingsValues SettingsWhenMissing{2, 4, 1.0f};

// One row per number: its key, its short label (a table's heading, a chart's legend), and where
// it lives in SettingsValues. A whole number is read with the host's Get_Int, a real one with
// Get_Float; exactly one of the two members is set. Whatever reads, shows or varies the settings
// goes through this table, in its order.
struct SettingSpec
{
    const char* Key;
    const char* Label;
    int SettingsValues::*Whole;
    float SettingsValues::*Real;
};

constexpr SettingSpec SettingsTable[] = {
    {CHECK_INTERVAL_KEY, "Interval", &SettingsValues::CheckInterval, nullptr},
    {CHECKS_COUNT_KEY, "Checks", &SettingsValues::ChecksCount, nullptr},
    {SCRIPT_CHECKING_INTERVAL_KEY, "Period", nullptr, &SettingsValues::ScriptCheckingInterval},
};
constexpr int SettingsCount = static_cast<int>(sizeof(SettingsTable) / sizeof(SettingsTable[0]));

// The numbers a settings event sets, in the table's order: each key of the settings section as
// the host reads it, or its value when missing. Nothing is checked or clamped.
template <class Ini> SettingsValues Read_Settings(const Ini& ini)
{
    SettingsValues values = SettingsWhenMissing;
    for (const SettingSpec& setting : SettingsTable) {
        if (setting.Whole != nullptr) {
            values.*setting.Whole = ini.Get_Int(SETTINGS_SECTION, setting.Key, SettingsWhenMissing.*setting.Whole);
        } else {
            values.*setting.Real = ini.Get_Float(SETTINGS_SECTION, setting.Key, SettingsWhenMissing.*setting.Real);
        }
    }
    return values;
}

// Calls `add(value)` for every entry's value in a list section, in file order, as the plug-in
// adds them to its sets: entry names are ignored, each value is one preset name exactly as the
// host returns it (a `Str`, the host's string type). Lists only grow: a later settings event
// adds its names to those already there.
template <class Str, class Ini, class Add> void For_Each_Listed(const Ini& ini, const char* section, Add&& add)
{
    const int count = ini.Entry_Count(section);
    for (int i = 0; i < count; ++i) {
        const char* entry = ini.Get_Entry(section, i);
        if (entry == nullptr) {
            continue;
        }
        Str value;
        ini.Get_String(value, section, entry, nullptr);
        add(value);
    }
}

// --- The scan ---

// |rotation about Y| beyond this many radians is flipped (the float 1.3: 0x3FA66666).
const float FlipAngleLimit = 1.3f;

// Vehicles in this mode are never scanned.
const unsigned int ExemptVehicleMode = 4;

// Whether a rotation about the world's Y axis, as the host reports it, reads as flipped: its
// absolute value strictly above the limit. Exactly the limit, or a NaN, reads as upright.
inline bool Reads_Flipped(float rotation_y) { return std::fabs(rotation_y) > FlipAngleLimit; }

// Whether the scan looks at vehicles of this mode at all.
inline bool Is_Scanned_Mode(unsigned int mode) { return mode != ExemptVehicleMode; }

// Whether a scan is due at game clock `now` (whole seconds since the level began), the last one
// having run at `last`. The sum is formed in 64 bits: in 32 a huge interval would wrap negative
// and make every tick scan, the opposite of what an operator setting it wants.
inline bool Is_Scan_Due(long long now, int check_interval, int last)
{
    return now >= static_cast<long long>(check_interval) + static_cast<long long>(last);
}

// What the scan gives a flipped vehicle it looks at.
enum class Treatment
{
    LeftAlone,      // an exempt preset
    TurnedUpright,  // the rotate-upwards script
    FlipKilled,     // the flip-kill script
};

// Which list a preset may be in.
enum class PresetList
{
    DontFlipKill,
    RotateUpwards,
};

// What a flipped vehicle of a scanned mode gets, `listed(list)` saying whether its preset is in
// a list. The turning list is asked first and wins over the exempt one, which is asked only when
// the preset is not listed for turning.
template <class Listed> Treatment Treatment_Of(Listed&& listed)
{
    if (listed(PresetList::RotateUpwards)) {
        return Treatment::TurnedUpright;
    }
    return listed(PresetList::DontFlipKill) ? Treatment::LeftAlone : Treatment::FlipKilled;
}

// The script a treatment attaches, or null for none.
inline const char* Script_Of(Treatment treatment)
{
    return treatment == Treatment::TurnedUpright ? ROTATE_UPWARDS_SCRIPT_NAME
           : treatment == Treatment::FlipKilled  ? FLIP_KILL_SCRIPT_NAME
                                                 : nullptr;
}

// --- The flip-kill script ---

// Whether the check numbered `count` (from 1) kills: at check ChecksCount, or at the first when
// ChecksCount is 1 or less.
inline bool Is_Killing_Check(int count, int checks_count) { return count >= checks_count; }

// The damage it deals, and how.
const float KillDamage = 9999.0f;
#define KILL_WARHEAD "Death"

// --- The rotate-upwards script ---

// Every step period, while still flipped, a vehicle is rotated by the step angle about its own
// X axis and lifted by the step lift.
const float TurnStepPeriod = 0.5f;
const int TurnStepDegrees = 25;
// 25 degrees in radians, rounded to the nearest float and held as a double.
const double TurnStepAngle = 0.43633231520652771;
const double TurnStepLift = 3.0;

// One turning step of a transform (3 rows of 4 floats): the transform times the rotation through
// +TurnStepAngle about X. The new y axis is c*Y + s*Z and the new z axis c*Z - s*Y; the x axis
// and the translation stay. s and c are rounded to float first; each element is formed in double
// and rounded once when stored.
template <class Matrix> void Turn_Step(Matrix& m)
{
    const double s = static_cast<float>(std::sin(TurnStepAngle));
    const double c = static_cast<float>(std::cos(TurnStepAngle));
    for (int i = 0; i < 3; ++i) {
        const double a = m.Row[i][1];
        const double b = m.Row[i][2];
        m.Row[i][1] = static_cast<float>(a * c + b * s);
        m.Row[i][2] = static_cast<float>(b * c - a * s);
    }
}

// A height after one more lift.
inline float Lifted(float z) { return static_cast<float>(static_cast<double>(z) + TurnStepLift); }
