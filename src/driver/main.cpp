// The label sample program: no arguments, paths relative to the working directory.
#include <iostream>

#include "driver/label_run.h"
#include "platform/safe_output.h"

int main() {
  // Ctrl-C or a kill leaves no half-written label behind.
  pagewright::InstallInterruptCleanup();
  return pagewright::RunLabelProgram(std::cout);
}
