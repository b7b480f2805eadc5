// POSIX implementation of the command line's arguments: the shell has expanded them already,
// and they are bytes as the names of files are.
#include "platform/arguments.h"

namespace platform {

Arguments CommandLineArguments(int argc, char** argv, Wildcards /*wildcards*/) {
  return Arguments{argc, argv};
}

}  // namespace platform
