' options: --steps 7
' A loop without end is stopped by the step budget.
While True
  ShowMessage("again")  ' => again ' => again ' => again ' raises: EvmStepLimitExceeded: Script stopped after 7 steps
Wend
