#include "Random.h"

#include <optional>
#include <map>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <queue>
#include <unordered_map>

#include <fmt/format.h>

#include "Clock.h"
#include "Contract.h"
#include "Overloaded.h"
#include "Progress.h"
#include "Text.h"

namespace sim {

std::int64_t Distribution::Quantile(double q) const
{
    const auto wanted = std::max<std::int64_t>(static_cast<std::int64_t>(std::ceil(q * static_cast<double>(Count))), 1);
    std::int64_t seen = 0;
    for (const auto& [value, count] : Values) {
        seen += count;
        if (seen >= wanted) {
            return value;
        }
    }
    return 0;
}

std::vector<const INIClass*> Settings_Handed(const RandomOptions& options)
{
    std::vector<const INIClass*> handed{options.Settings.get()};
    for (const TimedSettings& reload : options.Reloads) {
        handed.push_back(reload.Ini.get());
    }
    return handed;
}


namespace {

// splitmix64: small, fast, and the same sequence on every machine for a seed.
class Rng
{
public:
    explicit Rng(std::uint64_t seed) : State(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (State += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    double Between(double low, double high) { return low + (high - low) * Uniform(); }
    double Exponential(double mean) { return -mean * std::log(1.0 - Uniform()); }
    std::size_t Index(std::size_t n) { return static_cast<std::size_t>(Uniform() * static_cast<double>(n)); }

private:
    std::uint64_t State;
};

enum Kind
{
    Ordinary,
    Rotated,
    Exempt,
    Ignored,  // mode 4
};

// Turning steps that make more than a full turn: a vehicle still flipped after them is not going
// to come upright by turning.

// One vehicle of the random world, across its lives: what the world did to it and what became of
// its flips. What the plug-in did to its current object is that object's line in the match's
// ledger (ObjectRecord): its scripts, checks, steps, height and whether it reads flipped.
//   Id >= 0 while an object is in play; Open while a flip awaits its outcome (so Id >= 0);
//   Flipped while it lies flipped as the world sees it, read by the flip test or not.
struct Car
{
    std::string Name;
    std::string Preset;
    Kind Category = Ordinary;
    int Id = -1;                 // the current object, -1 while waiting to respawn
    int Incident = 0;            // counts flips; scheduled recoveries carry the one they belong to
    bool Flipped = false;        // lying flipped, whatever the plug-in reads
    bool Open = false;           // a flip without its outcome yet
    bool ReadsFlipped = false;   // the plug-in's test read this flip's pose as flipped
    std::int64_t FlipTick = 0;
    double PlannedRecovery = -1; // when it would right itself, or -1
    int ChecksAtFlip = 0;        // checks its flip-kill script had counted when this flip began
    const World* Assumed = nullptr;  // how the world treats it: its fleet preset's, or the match's
    int Fleet = -1;              // its preset in the operator's fleet, or -1
};

enum class Due
{
    Flip,
    Recover,
    Respawn,
};

struct Scheduled
{
    double Time;
    std::uint64_t Sequence;
    std::size_t Car;
    int Incident;
    Due What;
    bool operator>(const Scheduled& o) const { return Time != o.Time ? Time > o.Time : Sequence > o.Sequence; }
};

class RandomMatch : public Observer
{
public:
    RandomMatch(Match& match, const RandomOptions& options, RandomResult& result)
        : Game(match), Options(options), World(options.Assumed), Out(result), Random(options.Seed)
    {
    }

    void On(const Happening& h) override
    {
        const standin::JournalEntry* j = h.Entry();
        if (j == nullptr) {
            return;
        }
        const auto found = ByObject.find(j->Object);
        if (found != ByObject.end()) {
            On_Journal(found->second, *j, h);
        }
    }

    void Choose_Vehicles();
    // The operator's own fleet: each vehicle of a preset drawn by its share, of the kind the
    // settings make it.
    void Choose_From_Fleet();
    void Play(std::FILE* err);
    void Finish_Open();

private:
    void On_Journal(std::size_t index, const standin::JournalEntry& j, const Happening& h);
    // The ledger's line for the car's object in play.
    const ObjectRecord& Line(const Car& car) const { return *Game.Record_Of(car.Id); }
    void On_Destroyed(std::size_t index, const Happening& h);
    void Schedule(double time, std::size_t index, Due what)
    {
        Queue.push(Scheduled{time, Sequence++, index, Cars[index].Incident, what});
    }
    void Spawn(std::size_t index);
    void Handle(const Scheduled& due);
    void Flip(std::size_t index);
    void Recover(std::size_t index);
    // Why the plug-in never looked at a flip it had no script for, or NotYetFound.
    // The car's open flip as far as the scan sees it, before the plug-in's work on it.
    OpenFlip Flip_Of(const Car& car) const;
    // `during`: decided while the match ran, not left open at its end.
    void Close(Car& car, Outcome outcome, std::int64_t tick, bool during = true)
    {
        car.Open = false;
        Out.Outcomes[outcome].Add(tick - car.FlipTick);
        if (car.Fleet >= 0) {
            RandomResult::PresetFigures& p = Out.Presets[static_cast<std::size_t>(car.Fleet)];
            ++p.Outcomes[outcome];
            p.LyingTicks += tick - car.FlipTick;
            if (outcome == UnseenNotFlipped) {
                ++p.UnreadFlips;
                p.UnreadLyingTicks += tick - car.FlipTick;
            }
        }
        if (car.Category == Ordinary && car.ReadsFlipped) {
            ++Out.KillableFlips;
            Out.KillableLyingTicks += tick - car.FlipTick;
        }
        if (during) {
            Out.Timeline.push_back(Decided{tick, tick - car.FlipTick, outcome});
        }
    }

    Match& Game;
    const RandomOptions& Options;
    const sim::World& World;
    RandomResult& Out;
    Rng Random;
    const InForce& Now() const { return Game.In_Force(); }  // the settings in force
    std::vector<Car> Cars;
    std::unordered_map<int, std::size_t> ByObject;
    std::priority_queue<Scheduled, std::vector<Scheduled>, std::greater<Scheduled>> Queue;
    std::uint64_t Sequence = 0;
};

void RandomMatch::Choose_Vehicles()
{
    Out.Start = Now().Held();
    if (!Options.Fleet.empty()) {
        Choose_From_Fleet();
        return;
    }
    // The built-in ordinary presets, less any the operator lists at the start or in a reload (the
    // lists only grow): an ordinary vehicle is one the settings leave to be killed.
    std::vector<std::string> ordinary;
    InForce listed;
    for (const INIClass* ini : Settings_Handed(Options)) {
        if (ini != nullptr) {
            listed.Apply(*ini);
        }
    }
    for (const char* preset : {"Heavy_Tank", "Medium_Tank", "Armoured_Car", "Field_Truck"}) {
        if (listed.Treatment_Of(preset) == Treatment::FlipKilled) {
            ordinary.emplace_back(preset);
        } else {
            Out.OrdinaryLeftOut.emplace_back(preset);
        }
    }
    for (int n = 1; ordinary.empty(); ++n) {
        const std::string preset = fmt::format("Ordinary_Preset_{}", n);
        if (listed.Treatment_Of(preset) == Treatment::FlipKilled) {
            ordinary.push_back(preset);
        }
    }
    // Each listed name once, in the order first listed.
    std::vector<std::string> rotated;
    for (const std::string* p : Now().Distinct(PresetList::RotateUpwards)) {
        rotated.push_back(*p);
    }
    std::vector<std::string> exempt;
    for (const std::string* p : Now().Distinct(PresetList::DontFlipKill)) {
        if (Now().Is_Exempt(*p)) {
            exempt.push_back(*p);
        }
    }
    const std::vector<std::string>* lists[4] = {&ordinary, &rotated, &exempt, &ordinary};
    double total = 0;
    for (double share : World.Mix) {
        total += share;
    }
    for (int k = 0; k < 4; ++k) {
        Out.KindEmpty[k] = lists[k]->empty();
    }
    for (int i = 0; i < Options.Vehicles; ++i) {
        Car car;
        car.Name = fmt::format("V{:05}", i + 1);
        car.Assumed = &World;
        double pick = Random.Uniform() * total;
        int kind = 0;
        while (kind < 3 && pick >= World.Mix[kind]) {
            pick -= World.Mix[kind];
            ++kind;
        }
        // A product rounded up to the whole total (with shares near the smallest doubles) runs
        // past every share: it belongs to the last kind that has one.
        while (kind > 0 && World.Mix[kind] == 0) {
            --kind;
        }
        if (lists[kind]->empty()) {
            kind = Ordinary;
        }
        car.Category = static_cast<Kind>(kind);
        car.Preset = (*lists[kind])[Random.Index(lists[kind]->size())];
        ++Out.Kinds[kind];
        Cars.push_back(car);
    }
}

void RandomMatch::Choose_From_Fleet()
{
    double total = 0;
    for (const FleetPreset& p : Options.Fleet) {
        total += p.Share;
        Out.Presets.push_back(RandomResult::PresetFigures{p.Preset});
    }
    for (int i = 0; i < Options.Vehicles; ++i) {
        Car car;
        car.Name = fmt::format("V{:05}", i + 1);
        double pick = Random.Uniform() * total;
        std::size_t f = 0;
        while (f + 1 < Options.Fleet.size() && pick >= Options.Fleet[f].Share) {
            pick -= Options.Fleet[f].Share;
            ++f;
        }
        while (f > 0 && Options.Fleet[f].Share == 0) {
            --f;
        }
        const FleetPreset& preset = Options.Fleet[f];
        car.Preset = preset.Preset;
        car.Assumed = &preset.Assumed;
        car.Fleet = static_cast<int>(f);
        const Treatment treatment = Now().Treatment_Of(preset.Preset);
        car.Category = !Is_Scanned_Mode(preset.Mode)            ? Ignored
                       : treatment == Treatment::TurnedUpright ? Rotated
                       : treatment == Treatment::LeftAlone     ? Exempt
                                                               : Ordinary;
        ++Out.Kinds[car.Category];
        ++Out.Presets[f].Vehicles;
        Cars.push_back(car);
    }
}

void RandomMatch::Play(std::FILE* err)
{
    for (std::size_t i = 0; i < Cars.size(); ++i) {
        Spawn(i);
    }
    Progress progress(err, Options.Progress, Options.Length);
    std::size_t next_reload = 0;
    // The world acts before each tick, and not after the last: the match ends with it. The
    // operator's reloads are handed over at their time all the same, the last one at the end, as
    // a scenario's are.
    Game.Run(Ticks_Of(Options.Length, Game.Tick_Rate()), progress, [&](bool after_last) {
        for (; next_reload < Options.Reloads.size() && Options.Reloads[next_reload].Tick <= Game.Ticks(); ++next_reload) {
            const TimedSettings& reload = Options.Reloads[next_reload];
            Game.Apply_Settings(*reload.Ini, reload.Path, true);
            Out.Changes.push_back(TimedSettings{Game.Now(), Game.Ticks(), reload.Path, nullptr});
            Out.InForceAfter.push_back(Now().Held());
        }
        if (after_last) {
            return;
        }
        while (!Queue.empty() && Queue.top().Time <= Game.Now()) {
            const Scheduled due = Queue.top();
            Queue.pop();
            Handle(due);
        }
    });
    Out.WallSeconds = progress.Seconds();
}

// A flip is seen by the plug-in while one of its scripts has the vehicle: a script that leaves a
// vehicle lying found it reading as upright, and from there the plug-in does not see that flip.
void RandomMatch::On_Journal(std::size_t index, const standin::JournalEntry& j, const Happening& h)
{
    Car& car = Cars[index];
    std::visit(Overloaded{
                   [&](const standin::events::TransformSet& e) {
                       car.Flipped = h.Record->ReadsFlipped;
                       if (!car.Flipped && car.Open) {
                           const double tilt = std::acos(std::clamp(static_cast<double>(e.Transform.Row[2][2]), -1.0, 1.0)) *
                                               180 / 3.14159265358979323846;
                           Out.RightedTiltMin = std::min(Out.RightedTiltMin, tilt);
                           Out.RightedTiltMax = std::max(Out.RightedTiltMax, tilt);
                           Close(car, Righted, h.Tick);
                           Schedule(h.Time + Random.Exponential(car.Assumed->FlipEvery), index, Due::Flip);
                       }
                   },
                   [&](const standin::events::Destroyed&) { On_Destroyed(index, h); },
                   [](const auto&) {},
               },
               j.Data);
}

void RandomMatch::On_Destroyed(std::size_t index, const Happening& h)
{
    Car& car = Cars[index];
    const ObjectRecord& line = *h.Record;
    ByObject.erase(car.Id);
    car.Id = -1;
    if (car.Open) {
        // A script that came during an earlier flip and never saw the vehicle upright, because it
        // righted itself and flipped again between two checks, counted on from where it was.
        const bool reflip = line.FlipKill && line.KillScriptFlip != line.Flip;
        if (reflip) {
            Out.KeptChecks.Add(car.ChecksAtFlip);
        }
        Close(car, reflip ? KilledAfterReflip : Killed, h.Tick);
        if (car.PlannedRecovery > h.Time) {
            Out.WouldHaveRecovered.Add(std::llround((car.PlannedRecovery - h.Time) * Game.Tick_Rate()));
            if (car.Fleet >= 0) {
                ++Out.Presets[static_cast<std::size_t>(car.Fleet)].NeedlessKills;
            }
        }
    }
    car.Flipped = false;
    Schedule(h.Time + World.Respawn, index, Due::Respawn);
}

void RandomMatch::Spawn(std::size_t index)
{
    Car& car = Cars[index];
    sim::Spawn spawn;
    spawn.Name = car.Name;
    spawn.Preset = car.Preset;
    spawn.Mode = car.Fleet >= 0 ? Options.Fleet[static_cast<std::size_t>(car.Fleet)].Mode
                 : car.Category == Ignored ? ExemptVehicleMode
                                           : 0;
    spawn.Position[0] = static_cast<double>(index % 100) * 10.0;
    spawn.Position[1] = static_cast<double>(index / 100) * 10.0;
    spawn.Pose.Yaw = Random.Between(0, 360);
    ScriptableGameObj* obj = Game.Spawn(spawn);
    car.Id = standin::Object_Id(obj);
    ByObject[car.Id] = index;
    car.Flipped = false;
    Schedule(Game.Now() + Random.Exponential(car.Assumed->FlipEvery), index, Due::Flip);
}

void RandomMatch::Handle(const Scheduled& due)
{
    Car& car = Cars[due.Car];
    switch (due.What) {
    case Due::Respawn: Spawn(due.Car); break;
    case Due::Flip:
        if (car.Id >= 0 && !car.Flipped) {
            Flip(due.Car);
        }
        break;
    case Due::Recover:
        // Not when killed or turned upright before it could right itself.
        if (car.Id >= 0 && due.Incident == car.Incident && car.Flipped) {
            Recover(due.Car);
        }
        break;
    }
}

void RandomMatch::Flip(std::size_t index)
{
    Car& car = Cars[index];
    Orientation pose;
    const sim::World& world = *car.Assumed;
    if (Random.Uniform() < world.NoseDown) {
        pose.Pitch = Random.Between(80, 100);
    } else {
        pose.Roll = Random.Between(95, 265);
    }
    pose.Yaw = Random.Between(0, 360);
    ++car.Incident;
    car.Flipped = true;
    car.Open = true;
    car.FlipTick = Game.Ticks();
    car.PlannedRecovery = -1;
    car.ChecksAtFlip = Line(car).Checks;
    ++Out.Flips;
    if (car.Fleet >= 0) {
        ++Out.Presets[static_cast<std::size_t>(car.Fleet)].Flips;
    }
    Game.Set_Pose(car.Name, pose);
    car.ReadsFlipped = Line(car).ReadsFlipped;
    if (Random.Uniform() < world.RecoverShare) {
        car.PlannedRecovery = Game.Now() + Random.Between(world.RecoverFrom, world.RecoverTo);
        Schedule(car.PlannedRecovery, index, Due::Recover);
    }
}

void RandomMatch::Recover(std::size_t index)
{
    Car& car = Cars[index];
    Game.Upright(car.Name);
    car.Flipped = false;
    if (car.Open) {
        // A script still attached from the flip before was with this one from the start.
        const Outcome why = Line(car).Carries_Script() ? RecoveredAlone : Open_Outcome(Flip_Of(car));
        Close(car, why == EndNotYetFound ? RecoveredAlone : why, Game.Ticks());
    }
    Schedule(Game.Now() + Random.Exponential(car.Assumed->FlipEvery), index, Due::Flip);
}

OpenFlip RandomMatch::Flip_Of(const Car& car) const
{
    OpenFlip flip;
    flip.Scanned = car.Category != Ignored;
    flip.ReadsFlipped = car.ReadsFlipped;
    flip.Exempt = Now().Is_Exempt(car.Preset);
    return flip;
}

void RandomMatch::Finish_Open()
{
    const std::int64_t end = Game.Ticks();
    for (Car& car : Cars) {
        if (!car.Open) {
            ++Out.AtEnd[car.Id < 0 ? EndRespawning : EndUpright];
            continue;
        }
        const ObjectRecord& line = Line(car);
        OpenFlip flip = Flip_Of(car);
        flip.Turning = line.Turning;
        flip.Steps = line.Steps;
        flip.BeingChecked = line.FlipKill;
        const Outcome why = Open_Outcome(flip);
        if (why == LiftedWithoutEnd) {
            Out.HighestLift = std::max(Out.HighestLift, line.Height);
        }
        ++Out.AtEnd[EndLying];
        ++Out.LyingAtEnd[why];
        Close(car, why, end, false);
    }
}

}  // namespace

text::Status Play_Random(const standin::PluginFile& plugin, const RandomOptions& options, const std::vector<Observer*>& also,
                         RandomResult& result, std::FILE* err)
{
    result = RandomResult();
    result.Options = options;
    Match match(options.Rate);
    RandomMatch random(match, options, result);
    match.Observe(&random);
    for (Observer* observer : also) {
        match.Observe(observer);
    }
    if (text::Status loaded = match.Load_Plugin(plugin); !loaded) {
        return loaded;
    }
    if (options.Settings != nullptr) {
        match.Apply_Settings(*options.Settings, options.SettingsPath, false);
    }
    match.Level_Load();
    random.Choose_Vehicles();
    random.Play(err);
    random.Finish_Open();
    match.Finish();
    result.ScanTicks = match.Walk_Ticks();
    return {};
}

}  // namespace sim
