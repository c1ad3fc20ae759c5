// veltro.exe: the restoration engine started by the front end, also usable on
// its own from a shell. See CommandLine.h for the command line.

#include "engine/CommandLine.h"

#include <iostream>

int main(int argc, char** argv)
{
    return veltro::RunCommandLine(argc, argv, std::cout, std::cerr);
}
