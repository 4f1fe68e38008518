// Every C++Script statement form, with what each line prints.
#include "units/helpers.cpp"
#define LIMIT 3
#define GREETING "hello"
int total = 0, scale = 10, grid[2][3];
float ratio = 0.5;

int Twice(int n) { return n * 2; }
void Add(int &acc, int n = 1) { acc += n; }
string Label(int n) {
  if (n < 0) return "negative";
  return "n=" + IntToStr(n);
}
void Early() {
  ShowMessage("before return");
  return;
  ShowMessage("never");
}

{
  int i, j = 5, list[4];
  bool flag = true;
  string s = "tab\tx\x41\\n";
  ShowMessage(GREETING);                   // => hello
  ShowMessage(s);                          // => tabtxA\n
  ShowMessage(Helper(1));                  // => 101
  for (i = 0; i < LIMIT; i++) ShowMessage(i);   // => 0 // => 1 // => 2
  ShowMessage(i);                          // => 3
  for (i = 10, j = 0; i > j; i -= 4, j++) ShowMessage(i * 100 + j); // => 1000 // => 601
  for (;;) { j++; if (j > 4) break; }
  ShowMessage(j);                          // => 5
  ShowMessage(Twice(21));                  // => 42
  Add(total, 7);
  Add(total);
  ShowMessage(total);                      // => 8
  total *= 3; total /= 4;
  ShowMessage(total);                      // => 6
  total -= 1; total--; total++; total++;
  ShowMessage(total);                      // => 6
  ShowMessage(Label(-1) + " " + Label(4)); // => negative n=4
  Early();                                 // => before return
  do { j--; } while (j > 2);
  ShowMessage(j);                          // => 2
  do j++; while (j < 0);
  ShowMessage(j);                          // => 3
  while (j < 6) j += 2;
  ShowMessage(j);                          // => 7
  while (true) { j--; if (j % 2 == 0) continue; if (j < 3) break; }
  ShowMessage(j);                          // => 1
  switch (j) {
    case 0: ShowMessage("zero");
    case 1, 2: ShowMessage("one or two");  // => one or two
    default: ShowMessage("other");
  }
  switch (j + 10) { case 1: ShowMessage("one"); default: { ShowMessage("default"); } } // => default
  if (j == 1 && !(j != 1)) ShowMessage("yes"); else ShowMessage("no");   // => yes
  if (j > 1 || flag == false) ShowMessage("yes"); else ShowMessage("no"); // => no
  list[0] = 4; list[3] = list[0] * 2;
  ShowMessage(list[3]);                    // => 8
  grid[1][2] = 12;
  ShowMessage(grid[1][2] + grid[0][0]);    // => 12
  ShowMessage(7 % 3);                      // => 1
  ShowMessage(1 << 4);                     // => 16
  ShowMessage(256 >> 2);                   // => 64
  ShowMessage(6 ^ 3);                      // => 5
  ShowMessage(7 div 2);                    // => 3
  ShowMessage(3 - -2);                     // => 5
  ShowMessage(ratio * 4);                  // => 2
  ShowMessage(0x1F);                       // => 31
  ShowMessage("a""b");                     // => ab
  ShowMessage(3 in [1, 3..5]);             // => True
  int late = 4;
  ShowMessage(late);                       // => 4
  ;
  {
    ShowMessage("block");                  // => block
  }
  try {
    ShowMessage(10 div (j - 1));
  } except {
    ShowMessage("caught " + ExceptionClassName);  // => caught EDivByZero
  }
  try {
    ShowMessage("body");                   // => body
  } finally {
    ShowMessage("finally");                // => finally
  }
  exit;
  ShowMessage("after exit");
}
