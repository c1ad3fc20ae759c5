#pragma once

#include <QString>
#include <QStringList>

// Starting the restoration engine "veltro.exe" and waiting for it.
namespace engine {

// The words of one engine run: "-i" image, the switch ("-gorex", "-crax",
// "-fox" or "-crease") and the parameter file, "-o" output. Each path is one
// word, whatever blanks it holds.
QStringList Arguments(const QString& strSwitch, const QString& strImagePath,
                      const QString& strParamFile, const QString& strOutputPath);

// The command line as a person would read it:
// "veltro.exe -i IMAGE -gorex PARAMS -o OUTPUT" (paths inserted as they stand).
QString CommandLine(const QString& strSwitch, const QString& strImagePath,
                    const QString& strParamFile, const QString& strOutputPath);

// Where "veltro.exe" is looked for: the running program's directory, then the
// current directory, then each directory of PATH. Returns the first
// executable found, or an empty string.
QString FindEngine();
// Tests may point the lookup at another program directory (empty restores
// the running program's own).
void SetProgramDirOverride(const QString& strDir);

// Starts the engine with the given words (see Arguments) and waits until
// its process has ended, without a time limit. Returns 0 when it was started
// and has ended, whatever its exit status; 1 after showing "CreateProcess
// failed." when it could not be started. Meanwhile no user input reaches
// the program, its windows keep repainting, and a busy cursor shows. The
// engine's output is read as it arrives (never buffered without bound).
int Run(const QStringList& arguments);

// The last line the engine wrote to its standard error in the most recent
// run (empty if none).
QString LastEngineErrorLine();

} // namespace engine
