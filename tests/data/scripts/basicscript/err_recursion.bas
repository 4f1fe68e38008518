' Endless recursion is stopped by the depth guard.
Function Down(n)
  Return Down(n + 1)  ' raises: EStackOverflow: Script routines nested too deeply (more than 1000 calls)
End Function
Down(0)
