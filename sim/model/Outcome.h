// What became of a flip, in the words and JSON keys every output uses, and the rules that decide
// the outcomes the plug-in's contract alone cannot tell.
#pragma once

#include "Contract.h"

namespace sim {

// What can become of one flip. Each flip gets exactly one, when it is decided or at the end.
enum Outcome
{
    Killed,               // at its script's last check
    KilledAfterReflip,    // it righted itself and flipped again between two checks: the count went on
    Righted,              // turned by the plug-in until it reads upright
    RecoveredAlone,
    UnseenMode4,          // the scan skips vehicles in mode 4
    UnseenNotFlipped,     // its pose does not read as flipped (on its nose, at its heading)
    UnseenExempt,         // an exempt preset, not also listed for turning
    LiftedWithoutEnd,     // on its nose: every turn about its own length axis leaves it flipped
    EndBeingChecked,      // undecided at the end: found, its checks not yet done
    EndBeingTurned,
    EndNotYetFound,       // flipped after the last scan that could have found it
    OutcomeCount,
};

// Name in the report, and key in the JSON summary.
const char* Outcome_Label(Outcome outcome);
const char* Outcome_Key(Outcome outcome);

// A vehicle being turned upright that still reads as flipped after this many steps is lifted
// without end: a full turn about its own length axis (and one step more) never righted it, as
// on its nose, where every turn leaves it reading flipped. Fewer steps is simply mid-turn.
constexpr int FullTurnSteps = 360 / TurnStepDegrees + 1;
inline bool Is_Lifted_Without_End(int steps) { return steps >= FullTurnSteps; }

// A flip still open (at the end, or as the vehicle got up by itself), as far as the plug-in
// took it.
struct OpenFlip
{
    bool Scanned = true;        // its mode is one the scan looks at
    bool ReadsFlipped = true;   // its pose reads as flipped
    bool Exempt = false;        // its preset is left alone by the settings in force
    bool Turning = false;       // found for turning upright
    int Steps = 0;              // turning steps so far
    bool BeingChecked = false;  // found for killing: its checks go on
};

// What an open flip is: the plug-in's work under way first, then why the scan never took it up
// (in the order the scan asks), else not yet found.
inline Outcome Open_Outcome(const OpenFlip& flip)
{
    if (flip.Turning) {
        return Is_Lifted_Without_End(flip.Steps) ? LiftedWithoutEnd : EndBeingTurned;
    }
    if (flip.BeingChecked) {
        return EndBeingChecked;
    }
    if (!flip.Scanned) {
        return UnseenMode4;
    }
    if (!flip.ReadsFlipped) {
        return UnseenNotFlipped;
    }
    return flip.Exempt ? UnseenExempt : EndNotYetFound;
}

}  // namespace sim
