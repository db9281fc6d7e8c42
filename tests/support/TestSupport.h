// What the tests share: the plug-in loaded as the host loads it, settings from text, the clock,
// transforms and the journal.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Host.h"
#include "PluginLoader.h"
#include "INIClass.h"
#include "MemoryManager.h"
#include "Said.h"

namespace test {

long long Live_Blocks();

// A transform rolled `degrees` about the object's X axis, at `position`.
Matrix3D Rolled(double degrees, Vector3 position = {0, 0, 0});
// A transform pitched `degrees` about the world's Y axis.
Matrix3D Pitched(double degrees, Vector3 position = {0, 0, 0});
// A transform whose getRotationY() is exactly `angle`.
Matrix3D With_Rotation_Y(float angle);

// The journal entries of one kind, for one object (or any, with -1).
std::vector<standin::JournalEntry> Events(standin::Event what, int object = -1);
// The game times of those entries.
std::vector<double> Times(standin::Event what, int object = -1);

const char* const FlipKill = "Veltrask_Script";
const char* const RotateUpwards = "RotateUpwards_Script";

// Times at which `script` was attached to `obj` (or any object).
std::vector<double> Attached(const char* script, int object = -1);

// Every block the memory manager serves and releases while it lives, in order, with the length
// the journal had at that moment (so blocks can be placed among the host's events).
class BlockLog
{
public:
    struct Block
    {
        bool Released;
        const char* Start;
        std::size_t Bytes;
        standin::memory::Kind Kind;
        std::size_t JournalLength;

        bool Holds(const void* p) const
        {
            const char* c = static_cast<const char*>(p);
            return c >= Start && c < Start + Bytes;
        }
    };

    BlockLog();
    ~BlockLog();
    BlockLog(const BlockLog&) = delete;
    BlockLog& operator=(const BlockLog&) = delete;

    std::vector<Block> Releases() const;
    // The blocks served and not released since the log began, in the order they were served.
    std::vector<Block> Still_Live() const;

    std::vector<Block> Blocks;

private:
    static void Tell(bool released, const void* block, std::size_t bytes, standin::memory::Kind kind, void* context);

    struct Pause
    {
        explicit Pause(const BlockLog& log) : Log(log) { Log.Reading = true; }
        ~Pause() { Log.Reading = false; }
        const BlockLog& Log;
    };
    mutable bool Reading = false;
};

// Ticks until the game time reaches `seconds`.
void Run_Until(double seconds);

// Loads the built plug-in before each test and unloads it after, then checks that every
// block it took from the memory manager was given back and no script is left.
class PluginTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Raises the global-settings event with settings parsed from `text`.
    void Settings(const std::string& text);

    VehicleGameObj* Vehicle(const char* preset, const Matrix3D& transform, unsigned int mode = 0);

    standin::LoadedPlugin plugin;
    long long blocks_before = 0;
};

}  // namespace test
