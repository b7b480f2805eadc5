// x17b2pavo: converts one X17B energy-dispersive scan into a PAVO powder data file.
#include "convert/driver.h"
#include "recio/recio.h"

int main(int argc, char** argv) {
  recio::Start(argc, argv);
  convert::RunConversion();
}
