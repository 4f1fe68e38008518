// Every JScript statement form, with what each line prints.
import "units/helpers.js"
var total = 0, ratio = 0.5, list[4]
var a = 1 var b = 2

function Twice(n) { return n * 2; }
function Add(&acc, n) { acc += n }
function Label(n) {
  if (n < 0) return "negative";
  return "n=" + IntToStr(n);
}
function Early() {
  ShowMessage("before return");
  return;
  ShowMessage("never");
}

ShowMessage(a + b);                      // => 3
ShowMessage("tab\tx\x41\\n");            // => tabtxA\n
ShowMessage(Helper(1));                  // => 101
for (var i = 0; i < 3; i++) ShowMessage(i);   // => 0 // => 1 // => 2
ShowMessage(i);                          // => 3
for (i = 10; i > 2; i -= 4) ShowMessage(i)    // => 10 // => 6
for (;;) { i++; if (i > 4) break; }
ShowMessage(i);                          // => 5
ShowMessage(Twice(21));                  // => 42
Add(total, 7); Add(total, 1);
ShowMessage(total);                      // => 8
total *= 3; total /= 4; total -= 1; total--; total++
ShowMessage(total);                      // => 5
ShowMessage(Label(-1) + " " + Label(4)); // => negative n=4
Early();                                 // => before return
var j = 5;
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
switch (j + 10) { case 1: ShowMessage("one"); default: ShowMessage("default"); } // => default
if (j == 1 && !(j != 1)) ShowMessage("yes"); else ShowMessage("no");   // => yes
if (j > 1 || false) ShowMessage("yes")
else ShowMessage("no")                   // => no
list[0] = 4; list[3] = list[0] * 2;
ShowMessage(list[3]);                    // => 8
undeclared = "made on first use";
ShowMessage(undeclared);                 // => made on first use
ShowMessage(7 % 3);                      // => 1
ShowMessage(1 << 4);                     // => 16
ShowMessage(256 >> 2);                   // => 64
ShowMessage(6 ^ 3);                      // => 5
ShowMessage(3 - -2);                     // => 5
ShowMessage(ratio * 4);                  // => 2
ShowMessage(0x1F);                       // => 31
ShowMessage(3 in [1, 3..5]);             // => True
{
  ShowMessage("block");                  // => block
}
try {
  ShowMessage(10 div (j - 1));
} except {
  ShowMessage("caught " + ExceptionClassName);  // => caught EDivByZero
}
try ShowMessage("body"); finally ShowMessage("finally");  // => body // => finally
