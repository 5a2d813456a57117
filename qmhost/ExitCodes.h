// The exit status of every qmhost command.
#ifndef QMHOST_EXITCODES_H
#define QMHOST_EXITCODES_H

enum ExitCode {
  kExitClean = 0,    // everything went cleanly
  kExitFailure = 1,  // a file was damaged, could not be read or written, or nothing was chosen
  kExitUsage = 2,    // the command line is wrong, or the plug-in module can't be loaded
};

#endif  // QMHOST_EXITCODES_H
