// The same small program in each of the four languages: a function, a procedure with a
// by-reference parameter, a loop, a condition, a case and a string built up.
var i, total, s;

function Square(n) { return n * n; }

function AddTo(&acc, n) { acc = acc + n; }

total = 0;
s = "";
for (i = 1; i <= 5; i++) {
  AddTo(total, Square(i));
  if (i % 2 == 0) s = s + "e"; else s = s + "o";
}
ShowMessage(total);                // => 55
ShowMessage(s);                    // => oeoeo
switch (total) {
  case 55: ShowMessage("fifty-five");   // => fifty-five
  default: ShowMessage("other");
}
ShowMessage(-total div 4 + 0.5);   // => -12.5
ShowMessage(FormatFloat("0.00", total / 8));  // => 6.88
