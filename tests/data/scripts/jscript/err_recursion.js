// Endless recursion is stopped by the depth guard.
function Down(n) { return Down(n + 1); }  // raises: EStackOverflow: Script routines nested too deeply (more than 1000 calls)
Down(0);
