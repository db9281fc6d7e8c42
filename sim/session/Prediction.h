// What the plug-in will do, foretold from outside by its contract (contract/Contract.h): when its
// scans fall, and which vehicles it leaves alone or turns upright, each per the settings in force
// at the time. Whether a vehicle reads as flipped is in its ledger line (ObjectRecord). The plug-in tells nobody any of this, so the simulator's story
// and chart ask here, and the tests hold these predictions against what the plug-in did.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Match.h"

namespace sim {

class Prediction : public Observer
{
public:
    explicit Prediction(int rate) : Rate(rate) {}
    void On(const Happening& h) override;
    void On_End(double time) override { End = time; }

    // Whether a flipped vehicle gets no script at all from the scan, by the settings in force
    // now: mode 4, or an exempt preset that is not also listed for turning upright.
    bool Left_Alone(const ObjectInfo& object) const;
    // Whether a flipped vehicle gets the rotate-upwards script rather than the flip-kill one.
    bool Turned_Upright(const ObjectInfo& object) const { return Settings().Is_Rotated(object.Preset); }

    // The match ticks at which the plug-in scanned, up to the end of the match: the first tick
    // whose clock (whole seconds since the level began) is CheckInterval past the last scan's,
    // the interval being the one in force; a level load starts clock and last scan from 0.
    std::vector<std::int64_t> Scan_Ticks() const;
    std::vector<double> Scan_Times() const;

    // What the plug-in holds now; while the match lasts.
    const InForce& Settings_Now() const { return Settings(); }

private:
    int Rate;
    double End = 0;
    const InForce* Held = nullptr;  // the match's model, once settings came
    InForce AtLoad;                 // before any
    const InForce& Settings() const { return Held != nullptr ? *Held : AtLoad; }
    struct Change
    {
        std::int64_t Tick;
        bool LevelLoad;
        int CheckInterval;
    };
    std::vector<Change> Changes;  // settings and level loads, in order
};

}  // namespace sim
