// A unit: its functions join the program that includes it.
int Helper(int x) { return x + 100; }
{}
