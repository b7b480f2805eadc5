// x17b2pavo: converts one X17B energy-dispersive scan into a PAVO powder data file.
#include "convert/driver.h"
#include "platform/arguments.h"
#include "recio/recio.h"

int main(int argc, char** argv) {
  const platform::Arguments arguments =
      platform::CommandLineArguments(argc, argv, platform::Wildcards::kKeep);
  recio::Start(arguments.argc, arguments.argv);
  convert::RunConversion();
}
