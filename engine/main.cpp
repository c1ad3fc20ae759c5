// veltro.exe: the restoration engine started by the front end, also usable on
// its own from a shell. See CommandLine.h for the command line.

#include "engine/CommandLine.h"
#include "engine/Files.h"

#include <csignal>
#include <iostream>

int main(int argc, char** argv)
{
    // Whoever reads the progress lines may stop reading (a pipe into
    // "head"): the restoration still finishes and writes its output.
    std::signal(SIGPIPE, SIG_IGN);
    // Stopped from the program's Cancel or a shell's Ctrl+C: no temporary left.
    veltro::InstallSignalCleanup();
    return veltro::RunCommandLine(argc, argv, std::cout, std::cerr);
}
