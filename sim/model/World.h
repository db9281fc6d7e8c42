// The random world: what the simulator assumes of the players and the terrain, for the whole
// match or for one preset of the operator's fleet.
#pragma once

#include <string>

namespace sim {

// How the random world behaves. None of it is the plug-in's: it is what the simulator assumes of
// the players and the terrain, so the report prints it and the command line can change it.
struct World
{
    double FlipEvery = 180;       // mean seconds an upright vehicle stands before it flips
    double NoseDown = 0.1;        // share of flips that leave a vehicle on its nose, not its roof
    double RecoverShare = 0.5;    // share of flips that right themselves alone ...
    double RecoverFrom = 0.5;     // ... this many seconds after the flip
    double RecoverTo = 12;        // ... to this many, uniformly
    double Respawn = 10;          // seconds from a kill to the vehicle's return
    // Relative shares of ordinary, turned-upright, exempt and mode-4 vehicles. A kind whose list
    // is empty in the settings at the start goes to the ordinary ones.
    double Mix[4] = {60, 20, 15, 5};
};

// One preset of the operator's own fleet: its share of the vehicles, the mode they play in, and
// the world as it is for them (the command line's, unless the fleet file says otherwise).
struct FleetPreset
{
    std::string Preset;
    double Share = 1;
    unsigned int Mode = 0;
    World Assumed;
    int Line = 0;
};

}  // namespace sim
