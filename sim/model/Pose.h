// How the simulator places an object: its orientation, and everything a spawn says of it.
#pragma once

#include <string>

namespace sim {

struct Orientation
{
    double Roll = 0;   // about the object's X axis, degrees
    double Pitch = 0;  // about Y
    double Yaw = 0;    // about the vertical Z axis (heading)
};

struct Spawn
{
    std::string Name;
    std::string Preset;
    bool IsVehicle = true;
    unsigned int Mode = 0;
    double Position[3] = {0, 0, 0};
    Orientation Pose;
};

}  // namespace sim
