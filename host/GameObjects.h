// The host's game objects, the game data and the list of all objects.
#pragma once

#include "HostApi.h"
#include "Math.h"

// Game objects are the host's: plug-ins only hold pointers to them and pass them back.
class ScriptableGameObj
{
public:
    HOST_API virtual ~ScriptableGameObj();

    ScriptableGameObj(const ScriptableGameObj&) = delete;
    ScriptableGameObj& operator=(const ScriptableGameObj&) = delete;

protected:
    ScriptableGameObj() = default;
};

class SmartGameObj : public ScriptableGameObj
{
public:
    HOST_API SmartGameObj();
    HOST_API ~SmartGameObj() override;
};

class VehicleGameObj : public SmartGameObj
{
public:
    HOST_API VehicleGameObj();
    HOST_API ~VehicleGameObj() override;
};

// A singly linked list node and list of the host's.
template <class T> class SLNode
{
public:
    SLNode* Next() const { return NextNode; }
    T* Data() const { return Object; }

    SLNode* NextNode;
    T* Object;
};

template <class T> class SList
{
public:
    SLNode<T>* Head() const { return HeadNode; }

    SLNode<T>* HeadNode;
    SLNode<T>* TailNode;
};

class GameObjManager
{
public:
    // Every object of the running game, in order of creation.
    HOST_API static SList<SmartGameObj> SmartGameObjList;
};

// The game in progress.
class cGameData
{
public:
    // Whole seconds of game time since the level started; rises while a game runs.
    int Get_Elapsed_Seconds() const { return ElapsedSeconds; }

    int ElapsedSeconds;
};

// The running game, or null while none runs.
HOST_API cGameData* The_Game();

// The object as a vehicle, or null when it is not one.
HOST_API VehicleGameObj* As_VehicleGameObj(ScriptableGameObj* obj);

// A vehicle's mode; 0 for an object that is not a vehicle.
HOST_API unsigned int Get_Vehicle_Mode(ScriptableGameObj* obj);

HOST_API Matrix3D Get_Transform(ScriptableGameObj* obj);
HOST_API void Set_Transform(ScriptableGameObj* obj, const Matrix3D& transform);
