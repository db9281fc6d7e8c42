#include "Match.h"

#include <algorithm>
#include <cstring>
#include <cmath>

#include "Contract.h"
#include "Overloaded.h"
#include "INIClass.h"
#include "StringClass.h"

namespace sim {

namespace {

constexpr double Radians = 3.14159265358979323846 / 180.0;

}  // namespace

// Rz(yaw) * Ry(pitch) * Rx(roll): rolled about its own length axis, then pitched, then turned
// to its heading about the vertical. The rows of the result are the host's matrix rows.
Matrix3D Transform_Of(const Orientation& pose, const double position[3])
{
    const double cr = std::cos(pose.Roll * Radians), sr = std::sin(pose.Roll * Radians);
    const double cp = std::cos(pose.Pitch * Radians), sp = std::sin(pose.Pitch * Radians);
    const double cy = std::cos(pose.Yaw * Radians), sy = std::sin(pose.Yaw * Radians);
    const double r[3][3] = {
        {cy * cp, cy * sp * sr - sy * cr, cy * sp * cr + sy * sr},
        {sy * cp, sy * sp * sr + cy * cr, sy * sp * cr - cy * sr},
        {-sp, cp * sr, cp * cr},
    };
    Matrix3D m;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            m.Row[i][j] = static_cast<float>(r[i][j]);
        }
        m.Row[i][3] = static_cast<float>(position[i]);
    }
    return m;
}

bool Reads_Flipped(const Matrix3D& transform) { return ::Reads_Flipped(transform.getRotationY()); }

bool Is_Flip_Kill(const char* script) { return script != nullptr && std::strcmp(script, FLIP_KILL_SCRIPT_NAME) == 0; }

const char* Happened_Name(Happened what)
{
    switch (what) {
    case Happened::Journal: return "journal";
    case Happened::Settings: return "settings";
    case Happened::Spawn: return "spawn";
    case Happened::Flip: return "flip";
    case Happened::Upright: return "upright";
    case Happened::Destroy: return "destroy";
    case Happened::Invulnerable: return "invulnerable";
    case Happened::Reload: return "reload";
    case Happened::LevelLoad: return "level-load";
    case Happened::GameOver: return "game-over";
    case Happened::Skipped: return "skipped";
    }
    return "unknown";
}

// Each match plays in a world of its own: ids, serials, the clock and the journal start as in a
// process that never played, whatever matches came before.
Match::Match(int rate) : Rate(rate > 0 ? rate : 30) { standin::New_World(); }

Match::~Match() = default;

text::Status Match::Load_Plugin(const standin::PluginFile& file)
{
    standin::Clear_Journal();
    if (text::Status loaded = Plugin.Load(file); !loaded) {
        return loaded;
    }
    Drain_Journal();
    for (Observer* o : Observers) {
        o->On_Loaded();
    }
    return {};
}

void Match::Apply_Settings(INIClass& ini, const std::string& path, bool reload)
{
    Held.Apply(ini);
    Tell(reload ? Happened::Reload : Happened::Settings, nullptr, &path, &ini);
    standin::Raise_Global_Settings(&ini);
    Drain_Journal();
}

void Match::Level_Load()
{
    if (standin::Game_Running()) {
        Tell(Happened::LevelLoad, nullptr);
        standin::Shut_Down_Level();  // the old level's objects go at the old level's time
        Drain_Journal();
    }
    standin::Load_Level(Rate);
    LevelStartTick = TickCount;
    Drain_Journal();
}

ScriptableGameObj* Match::Spawn(const sim::Spawn& spawn)
{
    const Matrix3D transform = Transform_Of(spawn.Pose, spawn.Position);
    ScriptableGameObj* obj =
        spawn.IsVehicle
            ? static_cast<ScriptableGameObj*>(standin::Create_Vehicle(spawn.Name.c_str(), spawn.Preset.c_str(), spawn.Mode, transform))
            : standin::Create_Object(spawn.Name.c_str(), spawn.Preset.c_str(), transform);
    if (obj == nullptr) {
        return nullptr;
    }
    const int id = standin::Object_Id(obj);
    ObjectRecord& record = ById[id];
    record.Info.Id = id;
    record.Info.Name = spawn.Name;
    record.Info.Preset = spawn.Preset;
    record.Info.IsVehicle = spawn.IsVehicle;
    record.Info.Mode = spawn.Mode;
    record.Object = obj;
    record.Pose = spawn.Pose;
    ByName[spawn.Name] = id;
    Tell(Happened::Spawn, &record);
    return obj;
}

ObjectRecord* Match::Named(const std::string& name)
{
    const auto named = ByName.find(name);
    return named != ByName.end() ? &ById.at(named->second) : nullptr;
}

const ObjectRecord* Match::Record_Of(int id) const
{
    const auto found = ById.find(id);
    return found != ById.end() ? &found->second : nullptr;
}

bool Match::Set_Pose(const std::string& name, const Orientation& pose) { return Turn(name, &pose, Happened::Flip); }

bool Match::Upright(const std::string& name) { return Turn(name, nullptr, Happened::Upright); }

// Turns a live object to `pose` (null: back on its wheels, keeping its heading) where it stands,
// the plug-in's lifts included.
bool Match::Turn(const std::string& name, const Orientation* pose, Happened what)
{
    ObjectRecord* record = Named(name);
    if (record == nullptr) {
        return false;
    }
    Orientation upright;
    upright.Yaw = record->Pose.Yaw;
    record->Pose = pose != nullptr ? *pose : upright;
    const Vector3 at = Commands->Get_Position(record->Object);
    const double position[3] = {at.X, at.Y, at.Z};
    standin::Place(record->Object, Transform_Of(record->Pose, position));
    Tell(what, record);
    return true;
}

bool Match::Destroy(const std::string& name)
{
    ObjectRecord* record = Named(name);
    if (record == nullptr) {
        return false;
    }
    Tell(Happened::Destroy, record);
    standin::Destroy_Object(record->Object);
    Drain_Journal();
    return true;
}

bool Match::Make_Invulnerable(const std::string& name)
{
    ObjectRecord* record = Named(name);
    if (record == nullptr) {
        return false;
    }
    standin::Set_Invulnerable(record->Object, true);
    Tell(Happened::Invulnerable, record);
    return true;
}

void Match::Tell_Skipped(Happened what, const std::string& name)
{
    Happening h;
    h.Time = Now();
    h.Tick = TickCount;
    h.Event = Happened_Name(Happened::Skipped);
    h.Kind = happened::Skipped{Happened_Name(what), &name};
    for (Observer* o : Observers) {
        o->On(h);
    }
}

void Match::Tick()
{
    ++TickCount;
    const std::int64_t walks = standin::Object_List_Walks();
    standin::Tick();
    if (standin::Object_List_Walks() != walks) {
        WalkTicks.push_back(TickCount);
    }
    Drain_Journal();
}

void Match::Finish()
{
    // The host takes every object down before it unloads the plug-in; that is the end of the
    // game, not news about any one vehicle.
    Tell(Happened::GameOver, nullptr);
    Plugin.Unload();
    Drain_Journal();
    for (Observer* o : Observers) {
        o->On_End(Now());
    }
}

void Match::Tell(Happened what, ObjectRecord* record, const std::string* settings, const INIClass* ini)
{
    Happening h;
    h.Time = Now();
    h.Tick = TickCount;
    h.Event = Happened_Name(what);
    const Orientation* pose = record != nullptr ? &record->Pose : nullptr;
    switch (what) {
    case Happened::Journal: break;  // told by Drain_Journal
    case Happened::Settings: h.Kind = happened::Settings{settings, ini, &Held}; break;
    case Happened::Spawn: h.Kind = happened::Spawn{pose}; break;
    case Happened::Flip: h.Kind = happened::Flip{pose}; break;
    case Happened::Upright: h.Kind = happened::Upright{pose}; break;
    case Happened::Destroy: h.Kind = happened::Destroy{}; break;
    case Happened::Invulnerable: h.Kind = happened::Invulnerable{}; break;
    case Happened::Reload: h.Kind = happened::Reload{settings, ini, &Held}; break;
    case Happened::LevelLoad: h.Kind = happened::LevelLoad{}; break;
    case Happened::GameOver: h.Kind = happened::GameOver{}; break;
    case Happened::Skipped: return;  // told by Tell_Skipped
    }
    if (record != nullptr) {
        h.Object = &record->Info;
        h.Record = record;
        Enter(*record, h);
    }
    for (Observer* o : Observers) {
        o->On(h);
    }
}

void Match::Enter(ObjectRecord& record, const Happening& h)
{
    // The simulator's own turns: the pose is the record's, as the simulator just set it.
    const double origin[3] = {0, 0, 0};
    if (h.Pose() != nullptr) {
        record.ReadsFlipped = Reads_Flipped(Transform_Of(record.Pose, origin));
        if (h.What() == Happened::Flip) {
            ++record.Flip;
            record.Steps = 0;
        }
        return;
    }
    const standin::JournalEntry* j = h.Entry();
    if (j == nullptr) {
        return;
    }
    namespace events = standin::events;
    std::visit(Overloaded{
                   [&](const events::ScriptAttached& e) {
                       if (Is_Flip_Kill(e.Script)) {
                           record.FlipKill = true;
                           record.KillScriptFlip = record.Flip;
                           record.Checks = 0;
                       } else {
                           record.Turning = true;
                       }
                   },
                   [&](const events::ScriptDetached& e) {
                       if (Is_Flip_Kill(e.Script)) {
                           record.FlipKill = false;
                           record.KillScriptFlip = -1;
                           record.Checks = 0;
                       } else {
                           record.Turning = false;
                       }
                   },
                   [&](const events::TimerExpired& e) { record.Checks += Is_Flip_Kill(e.Script) ? 1 : 0; },
                   [&](const events::TransformSet& e) {
                       ++record.Steps;
                       record.ReadsFlipped = Reads_Flipped(e.Transform);
                   },
                   [&](const events::PositionSet& e) { record.Height = e.Position.Z; },
                   [](const auto&) {},
               },
               j->Data);
}

void Match::Drain_Journal()
{
    const standin::Journal& journal = standin::Get_Journal();
    for (const standin::JournalEntry& entry : journal) {
        Happening h;
        h.Tick = LevelStartTick + entry.Tick;
        h.Time = static_cast<double>(h.Tick) / Rate;
        h.Event = standin::Event_Name(entry.What());
        h.Kind = happened::Journal{&entry};
        const auto found = ById.find(entry.Object);
        if (found != ById.end()) {
            h.Object = &found->second.Info;
            h.Record = &found->second;
            Enter(found->second, h);
        }
        for (Observer* o : Observers) {
            o->On(h);
        }
    }
    // Forget the objects that went, so memory follows the number of live objects.
    for (const standin::JournalEntry& entry : journal) {
        if (entry.What() == standin::Event::Destroyed) {
            const auto found = ById.find(entry.Object);
            if (found != ById.end()) {
                const auto named = ByName.find(found->second.Info.Name);
                if (named != ByName.end() && named->second == entry.Object) {
                    ByName.erase(named);
                }
                ById.erase(found);
            }
        }
    }
    standin::Clear_Journal();
}

}  // namespace sim
