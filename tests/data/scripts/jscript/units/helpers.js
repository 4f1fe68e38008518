// A unit: its functions join the program that imports it.
function Helper(x) { return x + 100; }
