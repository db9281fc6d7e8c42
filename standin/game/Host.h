// The stand-in host's own interface: what the simulator and the tests use to run a game
// around a plug-in. Plug-ins never see this; they see only the declarations in host/. Each
// concern has a header of its own; this one is all of them.
#pragma once

#include "CallNote.h"
#include "Game.h"
#include "IniFiles.h"
#include "Journal.h"
