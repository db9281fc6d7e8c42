#include "Random.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <queue>
#include <unordered_map>
#include <vector>

#include <fmt/format.h>

#include "Contract.h"
#include "Progress.h"
#include "Text.h"

namespace sim {
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

enum class Kind
{
    Ordinary,
    Rotated,
    Exempt,
    Ignored,
};

enum Outcome
{
    Killed,
    Righted,
    RecoveredAlone,
    LeftLying,
    IgnoredMode4,
    StillFlipped,
    OutcomeCount,
};

const char* const OutcomeNames[OutcomeCount] = {
    "killed", "turned upright by the plug-in", "recovered alone", "exempt: left lying until it got up",
    "ignored (mode 4)", "still flipped at the end"};

// Time from the flip to the outcome, counted exactly in ticks.
struct Distribution
{
    std::map<std::int64_t, std::int64_t> Ticks;
    std::int64_t Count = 0;

    void Add(std::int64_t ticks)
    {
        ++Ticks[ticks];
        ++Count;
    }
    double Quantile(double q, int rate) const
    {
        const auto wanted = static_cast<std::int64_t>(std::ceil(q * static_cast<double>(Count)));
        std::int64_t seen = 0;
        for (const auto& [ticks, count] : Ticks) {
            seen += count;
            if (seen >= std::max<std::int64_t>(wanted, 1)) {
                return static_cast<double>(ticks) / rate;
            }
        }
        return 0;
    }
    std::string Row(int rate) const
    {
        if (Count == 0) {
            return fmt::format("{:>7}", 0);
        }
        return fmt::format("{:>7}  {:>8.2f} {:>8.2f} {:>8.2f} {:>8.2f}", Count, static_cast<double>(Ticks.begin()->first) / rate,
                           Quantile(0.5, rate), Quantile(0.9, rate), static_cast<double>(Ticks.rbegin()->first) / rate);
    }
};

struct Car
{
    std::string Name;
    std::string Preset;
    Kind Category = Kind::Ordinary;
    int Id = -1;             // the current object, -1 while waiting to respawn
    int Incident = 0;        // counts flips; scheduled events carry the one they belong to
    bool Flipped = false;
    bool Open = false;       // an incident without its outcome yet
    std::int64_t FlipTick = 0;
    double PlannedRecovery = -1;  // when it would right itself, or -1
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
    RandomMatch(Match& match, const ActiveSettings& settings, const RandomOptions& options)
        : Game(match), Options(options), Random(options.Seed)
    {
        const std::vector<std::string> ordinary = {"Heavy_Tank", "Medium_Tank", "Armoured_Car", "Field_Truck"};
        std::vector<std::string> exempt;
        for (const std::string& p : settings.DontFlipKill) {
            if (!settings.Is_Rotated(p)) {
                exempt.push_back(p);
            }
        }
        for (int i = 0; i < options.Vehicles; ++i) {
            Car car;
            car.Name = fmt::format("V{:05}", i + 1);
            const double pick = Random.Uniform();
            if (pick < 0.05) {
                car.Category = Kind::Ignored;
                car.Preset = ordinary[Random.Index(ordinary.size())];
            } else if (pick < 0.25 && !settings.RotateUpwards.empty()) {
                car.Category = Kind::Rotated;
                car.Preset = settings.RotateUpwards[Random.Index(settings.RotateUpwards.size())];
            } else if (pick < 0.40 && !exempt.empty()) {
                car.Category = Kind::Exempt;
                car.Preset = exempt[Random.Index(exempt.size())];
            } else {
                car.Preset = ordinary[Random.Index(ordinary.size())];
            }
            Cars.push_back(car);
        }
    }

    void Play(std::FILE* err)
    {
        for (std::size_t i = 0; i < Cars.size(); ++i) {
            Spawn(i);
        }
        const auto total = static_cast<std::int64_t>(std::llround(Options.Length * Game.Tick_Rate()));
        Progress progress(err, Options.Progress, Options.Length);
        for (std::int64_t k = 0; k < total; ++k) {
            while (!Queue.empty() && Queue.top().Time <= Game.Now()) {
                const Scheduled due = Queue.top();
                Queue.pop();
                Handle(due);
            }
            Game.Tick();
            progress.Update(static_cast<double>(k) / static_cast<double>(total), Game.Now());
        }
        progress.Done(Game.Now());
        const double seconds = progress.Seconds();
        std::fprintf(err, "%s\n",
                     fmt::format("veltrask-sim: {} ticks with {} vehicles in {:.2f} s: {:.0f} ticks/s, {:.3g} vehicle-ticks/s",
                                 total, Cars.size(), seconds, static_cast<double>(total) / seconds,
                                 static_cast<double>(total) * static_cast<double>(Cars.size()) / seconds)
                         .c_str());
    }

    void On(const Happening& h) override
    {
        const standin::JournalEntry* j = h.Entry;
        if (j == nullptr) {
            return;
        }
        const auto found = ByObject.find(j->Object);
        if (found == ByObject.end()) {
            return;
        }
        const std::size_t index = found->second;
        Car& car = Cars[index];
        if (j->What == standin::Event::Destroyed) {
            ByObject.erase(found);
            car.Id = -1;
            if (car.Open) {
                Close(car, Killed, h.Tick);
                if (car.PlannedRecovery > h.Time) {
                    WouldHaveRecovered.Add(std::llround((car.PlannedRecovery - h.Time) * Game.Tick_Rate()));
                }
            }
            car.Flipped = false;
            Schedule(h.Time + RespawnDelay, index, Due::Respawn);
        } else if (j->What == standin::Event::TransformSet) {
            car.Flipped = Reads_Flipped(j->Transform);
            if (!car.Flipped && car.Open) {
                Close(car, Righted, h.Tick);
                Schedule(h.Time + Random.Exponential(MeanUpright), index, Due::Flip);
            }
        }
    }

    void Print(std::FILE* out, const ActiveSettings& settings) const
    {
        const int rate = Game.Tick_Rate();
        std::int64_t flips = 0;
        for (const Distribution& d : Outcomes) {
            flips += d.Count;
        }
        std::string text = fmt::format(
            "Random match: seed {}, {} vehicles, {:g} s at {} ticks/s\n"
            "Settings: {}\n"
            "  CheckInterval {}, ChecksCount {}, ScriptCheckingInterval {:g}\n"
            "Vehicles: {} ordinary, {} turned upright, {} exempt, {} in mode 4\n"
            "Flips: {}\n\n"
            "{:<35} {:>7}  {:>8} {:>8} {:>8} {:>8}\n",
            Options.Seed, Cars.size(), Options.Length, rate, Options.SettingsPath.empty() ? "none" : Printable(Options.SettingsPath),
            settings.CheckInterval, settings.ChecksCount, settings.ScriptCheckingInterval, Count(Kind::Ordinary),
            Count(Kind::Rotated), Count(Kind::Exempt), Count(Kind::Ignored), flips, "outcome (seconds from the flip)", "count",
            "min", "median", "p90", "max");
        for (int o = 0; o < OutcomeCount; ++o) {
            text += fmt::format("{:<35} {}\n", OutcomeNames[o], Outcomes[o].Row(rate));
        }
        const std::int64_t killed = Outcomes[Killed].Count;
        text += fmt::format("\nKilled though they would soon have recovered alone: {} of {} ({:.1f}%)\n",
                            WouldHaveRecovered.Count, killed,
                            killed == 0 ? 0.0 : 100.0 * static_cast<double>(WouldHaveRecovered.Count) / static_cast<double>(killed));
        if (WouldHaveRecovered.Count > 0) {
            text += fmt::format("{:<35} {}\n", "would have been up after a further", WouldHaveRecovered.Row(rate));
        }
        std::fputs(text.c_str(), out);
    }

    void Finish_Open()
    {
        for (Car& car : Cars) {
            if (car.Open) {
                const Outcome o = car.Category == Kind::Exempt ? LeftLying : car.Category == Kind::Ignored ? IgnoredMode4 : StillFlipped;
                Close(car, o, Game.Ticks());
            }
        }
    }

private:
    static constexpr double MeanUpright = 180.0;   // seconds between flips
    static constexpr double RecoverChance = 0.5;   // that a flip rights itself
    static constexpr double RespawnDelay = 10.0;

    int Count(Kind kind) const
    {
        return static_cast<int>(std::count_if(Cars.begin(), Cars.end(), [&](const Car& c) { return c.Category == kind; }));
    }

    void Schedule(double time, std::size_t index, Due what)
    {
        Queue.push(Scheduled{time, Sequence++, index, Cars[index].Incident, what});
    }

    void Spawn(std::size_t index)
    {
        Car& car = Cars[index];
        sim::Spawn spawn;
        spawn.Name = car.Name;
        spawn.Preset = car.Preset;
        spawn.Mode = car.Category == Kind::Ignored ? ExemptVehicleMode : 0;
        spawn.Position[0] = static_cast<double>(index % 100) * 10.0;
        spawn.Position[1] = static_cast<double>(index / 100) * 10.0;
        spawn.Pose.Yaw = Random.Between(0, 360);
        ScriptableGameObj* obj = Game.Spawn(spawn);
        car.Id = standin::Object_Id(obj);
        ByObject[car.Id] = index;
        car.Flipped = false;
        Schedule(Game.Now() + Random.Exponential(MeanUpright), index, Due::Flip);
    }

    void Handle(const Scheduled& due)
    {
        Car& car = Cars[due.Car];
        switch (due.What) {
        case Due::Respawn: Spawn(due.Car); break;
        case Due::Flip: {
            if (car.Id < 0 || car.Flipped) {
                break;
            }
            Orientation pose;
            if (Random.Uniform() < 0.1) {
                pose.Pitch = Random.Between(80, 100);  // on its nose
            } else {
                pose.Roll = Random.Between(95, 265);
            }
            pose.Yaw = Random.Between(0, 360);
            ++car.Incident;
            car.Flipped = true;
            car.Open = true;
            car.FlipTick = Game.Ticks();
            car.PlannedRecovery = -1;
            Game.Set_Pose(car.Name, pose);
            if (Random.Uniform() < RecoverChance) {
                car.PlannedRecovery = Game.Now() + Random.Between(0.5, 12.0);
                Schedule(car.PlannedRecovery, due.Car, Due::Recover);
            }
            break;
        }
        case Due::Recover:
            if (car.Id < 0 || due.Incident != car.Incident || !car.Flipped) {
                break;  // killed or turned upright before it could right itself
            }
            Game.Upright(car.Name);
            car.Flipped = false;
            if (car.Open) {
                const Outcome o = car.Category == Kind::Exempt ? LeftLying : car.Category == Kind::Ignored ? IgnoredMode4 : RecoveredAlone;
                Close(car, o, Game.Ticks());
            }
            Schedule(Game.Now() + Random.Exponential(MeanUpright), due.Car, Due::Flip);
            break;
        }
    }

    void Close(Car& car, Outcome outcome, std::int64_t tick)
    {
        car.Open = false;
        Outcomes[outcome].Add(tick - car.FlipTick);
    }

    Match& Game;
    RandomOptions Options;
    Rng Random;
    std::vector<Car> Cars;
    std::unordered_map<int, std::size_t> ByObject;
    std::priority_queue<Scheduled, std::vector<Scheduled>, std::greater<Scheduled>> Queue;
    std::uint64_t Sequence = 0;
    Distribution Outcomes[OutcomeCount];
    Distribution WouldHaveRecovered;
};

}  // namespace

void Run_Random(Match& match, const ActiveSettings& settings, const RandomOptions& options, std::FILE* out, std::FILE* err)
{
    RandomMatch random(match, settings, options);
    match.Observe(&random);
    random.Play(err);
    random.Finish_Open();
    match.Finish();
    if (options.Report) {
        random.Print(out, settings);
    }
}

}  // namespace sim
