// A block is closed by a brace. // error: 4:1: '}' expected
function F() {
  ShowMessage(1);
