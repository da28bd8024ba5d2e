#pragma once

namespace lumorra {

// Qt's accessibility bridge looks for the desktop's session bus when the first widget changes.
// Where no session bus runs (no address in the environment, no bus socket in the runtime
// directory, no bus started for this X display), libdbus would "autolaunch" one: run
// dbus-launch and wait for it, during every start, for a bus no screen reader is on. This
// tells the bridge at once that there is none, and only then.
//
// Call it once the application object exists; it makes the bridge look now, then leaves the
// environment as it was, so the programs this one starts see the environment it was given.
void lookForSessionBusWithoutAutolaunch();

} // namespace lumorra
