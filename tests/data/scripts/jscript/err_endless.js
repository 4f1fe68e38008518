// options: --steps 7
// A loop without end is stopped by the step budget.
while (true) ShowMessage("again");  // => again // => again // => again // raises: EvmStepLimitExceeded: Script stopped after 7 steps
