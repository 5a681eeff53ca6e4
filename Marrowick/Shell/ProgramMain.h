#pragma once

#include <functional>

namespace marrowick {

class MarrowickApp;

// Points in the program's start where a test of the whole start can step in.
struct ProgramMainHooks {
    // After the single-instance claim, before the sources and settings load.
    std::function<void()> beforeLoading;
    // After the application object is built, before the event loop runs.
    std::function<void(MarrowickApp &)> beforeLoop;
};

// The program, as main() runs it: claims the single instance, loads and starts the shell and
// runs the event loop. Returns the exit status.
int runProgram(int argc, char *argv[], const ProgramMainHooks &hooks = {});

} // namespace marrowick
