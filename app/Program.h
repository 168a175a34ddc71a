#pragma once

namespace sonari {

// The desktop program: one copy per user (a second start restores the first one's window and
// ends), the sound devices, the main window with its dialogs, the event loop. Returns the exit
// status.
int RunProgram(int argc, char** argv);

} // namespace sonari
