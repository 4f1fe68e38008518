// The label sample program: no arguments, paths relative to the working directory.
#include <iostream>

#include "driver/label_run.h"

int main() {
  return pagewright::RunLabelProgram(std::cout);
}
