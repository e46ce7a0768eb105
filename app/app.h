// The desktop program's entry.
#pragma once

namespace qm {

// Starts Qt, loads main_window, raises its created event, shows it and runs
// the event loop. Only the program's name is passed on to Qt: the program
// takes no options. Returns 0 should the loop ever end; normally the process
// ends inside the window's close handler.
int app_main(char* program_name);

}  // namespace qm
