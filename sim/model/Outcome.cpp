#include "Outcome.h"

namespace sim {

const char* Outcome_Label(Outcome outcome)
{
    switch (outcome) {
    case Killed: return "killed at its last check";
    case KilledAfterReflip: return "killed after a re-flip [1]";
    case Righted: return "turned until it reads upright [4]";
    case RecoveredAlone: return "recovered alone";
    case UnseenMode4: return "never seen: mode 4";
    case UnseenNotFlipped: return "never seen: not read as flipped [2]";
    case UnseenExempt: return "never seen: exempt preset";
    case LiftedWithoutEnd: return "lifted without end [3]";
    case EndBeingChecked: return "at the end: still being checked";
    case EndBeingTurned: return "at the end: still being turned";
    case EndNotYetFound: return "at the end: not yet found by a scan";
    case OutcomeCount: break;
    }
    return "?";
}

const char* Outcome_Key(Outcome outcome)
{
    switch (outcome) {
    case Killed: return "killed";
    case KilledAfterReflip: return "killed_after_reflip";
    case Righted: return "turned_upright";
    case RecoveredAlone: return "recovered_alone";
    case UnseenMode4: return "never_seen_mode_4";
    case UnseenNotFlipped: return "never_seen_not_read_as_flipped";
    case UnseenExempt: return "never_seen_exempt";
    case LiftedWithoutEnd: return "lifted_without_end";
    case EndBeingChecked: return "end_being_checked";
    case EndBeingTurned: return "end_being_turned";
    case EndNotYetFound: return "end_not_yet_found";
    case OutcomeCount: break;
    }
    return "?";
}

}  // namespace sim
