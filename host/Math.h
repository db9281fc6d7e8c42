// The host's vector and transform types.
#pragma once

#include "HostApi.h"

struct Vector3
{
    float X;
    float Y;
    float Z;
};

// An object's transform: three rows of four floats. Row i holds the i-th components of the
// object's x axis, y axis, z axis and translation, in that order.
class Matrix3D
{
public:
    float Row[3][4];

    // The rotation about the world's Y axis, in radians: the angle of the object's z axis from
    // the world's Z axis within the world's XZ plane.
    HOST_API float getRotationY() const;

    static Matrix3D Identity()
    {
        Matrix3D m = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
        return m;
    }
};
